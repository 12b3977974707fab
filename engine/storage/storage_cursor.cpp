#include "engine/storage/storage_cursor.h"

#include <algorithm>
#include <cstring>

#include "engine/errors/kura_error.h"
#include "engine/storage/cursor_operation.h"
#include "engine/storage/field_values.h"
#include "engine/storage/index_file_trees.h"
#include "engine/storage/names.h"
#include "engine/storage/table_filter_source.h"

namespace kura {

TDataCursor::TDataCursor(TDataSession& session, TDataDirectory& directory)
    : session_(session), directory_(directory) {}

TDataCursor::~TDataCursor() {
  try {
    Close();
  } catch (...) {
    // Close() reports failures to callers that want them.
  }
}

// ---- open and close ------------------------------------------------------------

void TDataCursor::Open(const std::string& name, const CursorOpenOptions& options) {
  Close();
  TDataTable* t = directory_.OpenTable(
      name, {options.exclusive, options.readOnly, options.inMemory, options.temporary});
  table_ = t;
  options_ = options;
  try {
    image_.assign(t->Data().RecordLength(), 0);
    imageRecNo_ = 0;
    source_ = std::make_unique<TableFilterSource>(*t);
    row_ = std::make_unique<RecordRow>(*t);
    order_ = options.recordOrder ? kRecordOrder : 0;
    rangeActive_ = false;
    seen_ = TableCounters();
    RebuildVisible();
    state_ = AnyVisible() ? State::kBefore : State::kNowhere;
  } catch (...) {
    source_.reset();
    row_.reset();
    table_ = nullptr;
    directory_.CloseTable(t);
    throw;
  }
}

void TDataCursor::Create(const std::string& name, const CursorOpenOptions& options,
                         const DataFileDefinition& def, const TIndexFileHeader& index) {
  Close();
  TDataTable* t = directory_.CreateTable(
      name, {options.exclusive, options.readOnly, options.inMemory, options.temporary}, def,
      index);
  directory_.CloseTable(t);
  Open(name, options);
}

void TDataCursor::Close() {
  if (table_ == nullptr) return;
  TDataTable* t = table_;
  pendingBlobs_.clear();
  filters_.clear();
  source_.reset();
  row_.reset();
  table_ = nullptr;
  state_ = State::kNowhere;
  rangeActive_ = false;
  const std::int32_t locked = lockedRecord_;
  lockedRecord_ = 0;
  try {
    if (locked != 0) t->UnlockRecord(locked);
  } catch (...) {
    directory_.CloseTable(t);
    throw;
  }
  directory_.CloseTable(t);
}

const std::string& TDataCursor::TableName() const { return table_->Name(); }
const std::vector<TFieldDescriptor>& TDataCursor::Fields() const {
  return table_->Data().Fields();
}
int TDataCursor::FindField(std::string_view name) const { return table_->Data().FindField(name); }
std::uint32_t TDataCursor::RecordLength() const { return table_->Data().RecordLength(); }

// ---- order ----------------------------------------------------------------------

bool TDataCursor::InRecordOrder() const {
  if (order_ == kRecordOrder) return true;
  if (order_ != 0) return false;
  const TIndexFileHeader& h = table_->Index().Header();
  return !table_->Index().HasPrimaryFields() || h.slots[0].fieldCount == 0;
}

void TDataCursor::SetOrder(int number) {
  Restartable([&] { SetOrderAttempt(number); });
}

void TDataCursor::SetOrderAttempt(int number) {
  Operation op(*this);
  const TIndexFileHeader& h = table_->Index().Header();
  const bool valid = number == kRecordOrder || number == 0 ||
                     (number >= 1 && number <= h.secondaryCount &&
                      table_->Index().Trees().Maintained(number));
  if (!valid) Raise(KURA_OUTOFRANGE, {.table = table_->Name()});
  const bool wasOn = state_ == State::kOn;
  const std::int32_t rec = recNo_;
  order_ = number;
  rangeActive_ = false;
  RebuildVisible();
  if (wasOn) {
    const TRecord* r = Fetch(rec);
    PlaceBy(rec, InRecordOrder() ? std::vector<std::uint8_t>{} : KeyOfImage(r->Data()));
  } else {
    state_ = AnyVisible() ? State::kBefore : State::kNowhere;
  }
}

void TDataCursor::SetOrderByName(std::string_view name) {
  const std::string wanted = TrimBlanks(std::string(name));
  if (wanted.empty()) {
    SetOrder(0);
    return;
  }
  const TIndexFileHeader& h = table_->Index().Header();
  for (int i = 1; i <= h.secondaryCount; ++i) {
    if (EqualNoCase(TrimBlanks(h.slots[static_cast<std::size_t>(i)].name), wanted)) {
      SetOrder(i);
      return;
    }
  }
  Raise(KURA_INVALIDINDEXNAME, {.index = wanted, .table = table_->Name()});
}

// ---- range ------------------------------------------------------------------------

void TDataCursor::SetRange(std::span<const std::uint8_t> low, std::span<const std::uint8_t> high) {
  Restartable([&] { SetRangeAttempt(low, high); });
}

void TDataCursor::SetRangeAttempt(std::span<const std::uint8_t> low,
                                  std::span<const std::uint8_t> high) {
  Operation op(*this);
  if (InRecordOrder()) {
    rangeLow_.assign(low.begin(), low.end());
    rangeHigh_.assign(high.begin(), high.end());
    rangeActive_ = true;
    return;
  }
  const std::size_t length = ActiveTree().Comparator().KeyLength();
  rangeLow_.assign(low.begin(), low.begin() + static_cast<long>(std::min(length, low.size())));
  rangeHigh_.assign(high.begin(), high.begin() + static_cast<long>(std::min(length, high.size())));
  rangeLow_.resize(length, 0x00);
  rangeHigh_.resize(length, 0xFF);
  rangeActive_ = true;
  RebuildVisible();
  state_ = AnyVisible() ? State::kBefore : State::kNowhere;
}

void TDataCursor::CancelRange() {
  Restartable([&] { CancelRangeAttempt(); });
}

void TDataCursor::CancelRangeAttempt() {
  Operation op(*this);
  if (!rangeActive_) return;
  rangeActive_ = false;
  RebuildVisible();
  if (state_ == State::kOn) {
    PlaceBy(recNo_, key_);
  } else {
    state_ = AnyVisible() ? State::kBefore : State::kNowhere;
  }
}

// ---- filters and the visible set ---------------------------------------------------

FilterTable& TDataCursor::FilterSource() { return *source_; }

bool TDataCursor::Filtered() const {
  return std::any_of(filters_.begin(), filters_.end(),
                     [](const std::unique_ptr<TFilter>& f) { return f->Active(); });
}

TFilter& TDataCursor::AddFilter(const sql::TExpToken& condition, FilterOptions options) {
  Operation op(*this);
  // The analysis counts keys in the indexes; the visible set it leads to
  // is computed under the same read lock.
  ReadLockScope lock(*table_);
  filters_.push_back(std::make_unique<TFilter>(*source_, condition, options));
  return ApplyNewestFilter();
}

TFilter& TDataCursor::SetFilter(const sql::TExpToken& condition, FilterOptions options) {
  Operation op(*this);
  filters_.clear();
  return AddFilter(condition, options);
}

TFilter& TDataCursor::AddFilter(TFilter::Callback callback) {
  Operation op(*this);
  filters_.push_back(std::make_unique<TFilter>(*source_, std::move(callback)));
  return ApplyNewestFilter();
}

// A filter that cannot be applied (a read fails while its records are
// tested) is taken off again before the error goes on: the caller never
// learns of it, and a callback filter would otherwise outlive what it
// refers to.
TFilter& TDataCursor::ApplyNewestFilter() {
  try {
    filters_.back()->Activate();
    RebuildVisible();
  } catch (...) {
    filters_.pop_back();
    try {
      RebuildVisible();
    } catch (...) {
      // The visible set is rebuilt on the next refresh.
    }
    state_ = State::kNowhere;
    throw;
  }
  const bool any = Restartable([&] { return AnyVisible(); });
  state_ = any ? State::kBefore : State::kNowhere;
  return *filters_.back();
}

void TDataCursor::RemoveFilter(TFilter& filter) {
  auto it = std::find_if(filters_.begin(), filters_.end(),
                         [&](const std::unique_ptr<TFilter>& f) { return f.get() == &filter; });
  if (it == filters_.end()) Raise(KURA_NOSUCHFILTER, {.table = table_ ? table_->Name() : ""});
  filters_.erase(it);
  Refresh();
}

void TDataCursor::ClearFilters() {
  filters_.clear();
  if (table_ != nullptr) Refresh();
}

void TDataCursor::Refresh() {
  Restartable([&] { RefreshAttempt(); });
}

void TDataCursor::RefreshAttempt() {
  Operation op(*this);
  Resync();
}

TDataCursor::Counters TDataCursor::TableCounters() {
  Counters c;
  c.data = table_->Data().Header().changeCounter;
  c.index = table_->Index().Header().changeCounter;
  if (table_->Blob() != nullptr) c.blob = table_->Blob()->Header().changeCounter;
  return c;
}

void TDataCursor::SeeChanges() {
  if (TableCounters() == seen_) return;
  Resync();
}

// Rebuilds the visible set and stands again where the cursor stood: on its
// record, or beside the place where it was.
void TDataCursor::Resync() {
  RebuildVisible();
  switch (state_) {
    case State::kOn: PlaceBy(recNo_, key_); break;
    case State::kBefore:
    case State::kNowhere: state_ = AnyVisible() ? State::kBefore : State::kNowhere; break;
    case State::kAfter: state_ = AnyVisible() ? State::kAfter : State::kNowhere; break;
  }
}

// The base set is the active records (inside the range in an index order);
// each active filter narrows what the ones before it left.
void TDataCursor::BaseSet(TRecordsBitmap& base) {
  const std::uint32_t slots = source_->SlotCount();
  base.Resize(slots);
  base.ClearAll();
  source_->MarkActiveRecords(base);
  if (!InRecordOrder() && rangeActive_) {
    PooledBitmap inRange(slots);
    source_->CollectSpan(order_, {RangeBegin(), RangeEnd()}, *inRange);
    base.IntersectWith(*inRange);
  }
}

void TDataCursor::ForgetCounts() {
  ordinal_ = 0;
  lastVisible_.recNo = 0;
}

void TDataCursor::RebuildVisible() {
  ForgetCounts();
  if (!KeepsVisibleSet()) {
    visible_.Resize(0);
    seen_ = TableCounters();
    return;
  }
  // One state of the table for the whole computation: the indexes and the
  // records tested are read under one read lock.
  ReadLockScope lock(*table_);
  BaseSet(visible_);
  for (const auto& f : filters_) {
    if (!f->Active()) continue;
    f->Refresh(visible_);
    visible_.CopyFrom(f->Bitmap());
  }
  ReadAheadVisible();
  seen_ = TableCounters();
}

// A filter that leaves few records (the rows of one problem) has them read
// into the record cache while the read lock that computed it is still
// held, in runs as the cursor would read them: otherwise each run missed
// later takes a read lock of its own and reads the headers again. Sets of
// more than half the cache are left to be read as the cursor moves.
void TDataCursor::ReadAheadVisible() {
  if (!Filtered()) return;
  const std::uint32_t count = visible_.Count();
  if (count == 0 || count > table_->Data().Cache().Limit() / 2) return;
  for (std::uint32_t n = visible_.NextSet(1); n != 0; n = visible_.NextSet(n + 1)) {
    const auto recNo = static_cast<std::int32_t>(n);
    if (table_->Data().FindCached(recNo) == nullptr) table_->ReadRecordRun(recNo, RunFrom(recNo));
  }
}

// In an index order with a visible set, a step from the last visible
// record (its ordinal known and equal to the set's count) ends there
// instead of walking the entries that follow it to the end of the order.
bool TDataCursor::PastLastVisible(std::uint32_t nextOrdinal) const {
  return KeepsVisibleSet() && nextOrdinal != 0 && nextOrdinal > visible_.Count();
}

bool TDataCursor::AnyVisible() {
  if (KeepsVisibleSet()) return visible_.NextSet(1) != 0;
  return RangeEnd() > RangeBegin();
}

bool TDataCursor::Visible(std::int32_t recNo) const {
  if (!KeepsVisibleSet()) return true;
  return visible_.Test(static_cast<std::uint32_t>(recNo));
}

// ---- moving -----------------------------------------------------------------------

void TDataCursor::First() {
  Restartable([&] { FirstAttempt(); });
}

void TDataCursor::FirstAttempt() {
  Operation op(*this);
  state_ = AnyVisible() ? State::kBefore : State::kNowhere;
  ordinal_ = 0;
}

void TDataCursor::Last() {
  Restartable([&] { LastAttempt(); });
}

void TDataCursor::LastAttempt() {
  Operation op(*this);
  state_ = AnyVisible() ? State::kAfter : State::kNowhere;
  ordinal_ = 0;
}

bool TDataCursor::Next() {
  return Restartable([&] { return NextAttempt(); });
}

bool TDataCursor::NextAttempt() {
  Operation op(*this);
  if (state_ == State::kAfter) return false;
  if (state_ == State::kNowhere && !AnyVisible()) return false;
  const bool fromStart = state_ != State::kOn;
  const std::uint32_t ordinal = fromStart ? 1 : (ordinal_ ? ordinal_ + 1 : 0);
  bool found;
  if (InRecordOrder()) {
    const std::uint32_t n = visible_.NextSet(fromStart ? 1 : static_cast<std::uint32_t>(recNo_) + 1);
    found = n != 0;
    if (found) StandOn(static_cast<std::int32_t>(n), {});
  } else if (fromStart) {
    found = SeekEntry(RangeBegin(), true);
  } else if (PastLastVisible(ordinal)) {
    found = false;
  } else {
    fromKey_.assign(key_.begin(), key_.end());
    found = StepAlongChain(1) || SeekEntry(ActiveTree().Rank(walked_.data(), true), true);
    if (found) ExpectMovedPast(fromKey_, 1);
  }
  if (!found) {
    if (!fromStart && !InRecordOrder() && KeepsVisibleSet() && Visible(recNo_)) {
      lastVisible_ = {recNo_, key_, table_->DroppedChanges()};
    }
    state_ = AnyVisible() ? State::kAfter : State::kNowhere;
    return false;
  }
  ordinal_ = ordinal;
  return true;
}

bool TDataCursor::FindFirst(const std::function<bool(const sql::RowAccessor&)>& test) {
  Operation op(*this);
  const State state = state_;
  const std::int32_t recNo = recNo_, imageRecNo = imageRecNo_;
  std::vector<std::uint8_t> key = key_;
  const std::uint32_t ordinal = ordinal_;
  // A walk that meets a change by others is walked again from the start.
  if (Restartable([&] { return FindFirstAttempt(test); })) return true;
  // None: back where the cursor stood, its image untouched.
  state_ = state;
  recNo_ = recNo;
  imageRecNo_ = imageRecNo;
  key_ = std::move(key);
  mark_.place.page = 0;
  ordinal_ = ordinal;
  return false;
}

bool TDataCursor::FindFirstAttempt(const std::function<bool(const sql::RowAccessor&)>& test) {
  for (First(); Next();) {
    TRecord* r = Fetch(recNo_);
    const RecordPin pin(r);
    // One that others deleted unnoticed is skipped; Next sees it later.
    if (RecordStatus(r->Data()) != kRecordActive) continue;
    if (test(Row(r->Data()))) {
      LoadImage();
      return true;
    }
  }
  return false;
}

bool TDataCursor::Prior() {
  return Restartable([&] { return PriorAttempt(); });
}

bool TDataCursor::PriorAttempt() {
  Operation op(*this);
  if (state_ == State::kBefore) return false;
  if (state_ == State::kNowhere && !AnyVisible()) return false;
  const bool fromEnd = state_ != State::kOn;
  std::uint32_t ordinal = 0;
  if (fromEnd) ordinal = KeepsVisibleSet() ? visible_.Count() : static_cast<std::uint32_t>(RangeEnd() - RangeBegin());
  else if (ordinal_ > 1) ordinal = ordinal_ - 1;
  bool found;
  if (InRecordOrder()) {
    const std::uint32_t n =
        fromEnd ? visible_.PrevSet(visible_.Size())
                : (recNo_ > 1 ? visible_.PrevSet(static_cast<std::uint32_t>(recNo_) - 1) : 0);
    found = n != 0;
    if (found) StandOn(static_cast<std::int32_t>(n), {});
  } else if (fromEnd && lastVisible_.recNo != 0 && KeepsVisibleSet() &&
             lastVisible_.droppedChanges == table_->DroppedChanges() &&
             Visible(lastVisible_.recNo)) {
    StandOn(lastVisible_.recNo, lastVisible_.key);
    found = true;
  } else if (fromEnd) {
    const std::uint64_t r = RangeEnd();
    found = r > 0 && SeekEntry(r - 1, false);
  } else if (ordinal_ == 1 && KeepsVisibleSet()) {
    found = false;  // the first visible record: nothing before it is walked
  } else {
    fromKey_.assign(key_.begin(), key_.end());
    found = StepAlongChain(-1);
    if (!found) {
      const std::uint64_t r = ActiveTree().Rank(walked_.data(), false);
      found = r > 0 && SeekEntry(r - 1, false);
    }
    if (found) ExpectMovedPast(fromKey_, -1);
  }
  if (!found) {
    state_ = AnyVisible() ? State::kBefore : State::kNowhere;
    return false;
  }
  ordinal_ = ordinal;
  return true;
}

std::uint32_t TDataCursor::NthVisibleRecord(std::uint32_t n) const {
  // The smallest record number with n visible records up to it.
  std::uint32_t lo = 1, hi = visible_.Size();
  while (lo < hi) {
    const std::uint32_t mid = lo + (hi - lo) / 2;
    if (visible_.CountBelow(mid + 1) >= n) hi = mid;
    else lo = mid + 1;
  }
  return lo;
}

bool TDataCursor::MoveTo(std::uint32_t ordinal) {
  return Restartable([&] { return MoveToAttempt(ordinal); });
}

bool TDataCursor::MoveToAttempt(std::uint32_t ordinal) {
  Operation op(*this);
  if (ordinal == 0 || ordinal > RecordCount()) return false;
  if (InRecordOrder()) {
    StandOn(static_cast<std::int32_t>(NthVisibleRecord(ordinal)), {});
  } else if (!Filtered()) {
    IndexEntry e;
    if (!ActiveTree().EntryAt(RangeBegin() + ordinal - 1, &e)) return false;
    StandOn(e.record, std::move(e.key));
  } else {
    // The n-th visible entry: the index's counts do not know the filter.
    TIndexTree& tree = ActiveTree();
    const std::uint64_t end = RangeEnd();
    std::uint32_t seen = 0;
    IndexEntry e;
    for (std::uint64_t r = RangeBegin(); r < end && tree.EntryAt(r, &e); ++r) {
      if (Visible(e.record) && ++seen == ordinal) break;
    }
    if (seen != ordinal) return false;
    StandOn(e.record, std::move(e.key));
  }
  ordinal_ = ordinal;
  return true;
}

// ---- reading and counting -------------------------------------------------------

// Slots to read at record recNo on a cache miss: one in an index order;
// a run of the read-ahead size in record order; and while filtered, the run
// only up to its last visible record, so that a sparse filter (the rows of
// one problem) does not fill the cache with records it never shows.
std::int32_t TDataCursor::RunFrom(std::int32_t recNo) const {
  if (!KeepsVisibleSet()) return 1;
  const std::int32_t ahead = table_->Data().ReadAheadCount();
  if (!Filtered() || visible_.Size() == 0 || recNo < 1) return ahead;
  const std::uint32_t limit = std::min<std::uint32_t>(
      visible_.Size(), static_cast<std::uint32_t>(recNo) + static_cast<std::uint32_t>(ahead) - 1);
  const std::uint32_t last = visible_.PrevSet(limit);
  return last >= static_cast<std::uint32_t>(recNo)
             ? static_cast<std::int32_t>(last) - recNo + 1
             : 1;
}

TRecord* TDataCursor::Fetch(std::int32_t recNo) {
  if (TRecord* r = table_->ReadRecordRun(recNo, RunFrom(recNo))) return r;
  // A table found changed on a cache miss gives no record. The caches have
  // taken the change in; what the cursor worked out before (its visible
  // set, its place in the index) has not: a step that can start again does
  // so. Otherwise the record is read under the read lock, so that others
  // changing the table all the time cannot keep it from being read.
  if (table_->InRestartableRead()) throw TableChangedOnRead();
  ReadLockScope lock(*table_);
  if (TRecord* r = table_->ReadRecordRun(recNo, RunFrom(recNo))) return r;
  Raise(KURA_FILECORRUPT, {.table = table_->Name()});
}

void TDataCursor::LoadImage() {
  const TRecord* r = Fetch(recNo_);
  std::memcpy(image_.data(), r->Data(), image_.size());
  imageRecNo_ = recNo_;
}

ErrorCode TDataCursor::ReadCurrent(std::uint8_t* buffer, bool lock) {
  return Restartable([&] { return ReadCurrentAttempt(buffer, lock); });
}

ErrorCode TDataCursor::ReadCurrentAttempt(std::uint8_t* buffer, bool lock) {
  Operation op(*this);
  // A record that others deleted without this cursor noticing yet: the
  // table is taken in anew and the cursor moves on by the usual rule.
  if (state_ == State::kOn && RecordStatus(Fetch(recNo_)->Data()) != kRecordActive) {
    Resync();
  }
  switch (state_) {
    case State::kNowhere: return KURA_NOCURRREC;
    case State::kBefore: return KURA_BOF;
    case State::kAfter: return KURA_EOF;
    case State::kOn: break;
  }
  if (lock) {
    if (lockProtocol_ == TLockProtocol::lpPessimistic) LockCurrent();
    if (imageRecNo_ == recNo_ && !StoredEquals(recNo_, image_.data())) {
      Unlock();
      Raise(KURA_KEYORRECDELETED, {.table = table_->Name()});
    }
  }
  LoadImage();
  if (lock) {
    editImage_ = image_;
    editRecNo_ = recNo_;
  }
  if (buffer != nullptr) std::memcpy(buffer, image_.data(), image_.size());
  return 0;
}

// True when reading the current record again would give the image as it
// is: the cursor would see no change of the table first (strict change
// detection always looks at the files, so it never takes this path), and
// the cached record is still active and byte for byte the image.
bool TDataCursor::ImageIsCurrent() {
  if (table_ == nullptr || Strict() || state_ != State::kOn || imageRecNo_ != recNo_) {
    return false;
  }
  if (TableCounters() != seen_) return false;
  const TRecord* r = table_->Data().FindCached(recNo_);
  return r != nullptr && RecordStatus(r->Data()) == kRecordActive &&
         std::memcmp(r->Data(), image_.data(), image_.size()) == 0;
}

const std::uint8_t* TDataCursor::CurrentImage(ErrorCode& rc) {
  if (ImageIsCurrent()) {
    rc = 0;
    return image_.data();
  }
  rc = ReadCurrent();
  return rc == 0 ? image_.data() : nullptr;
}

std::uint32_t TDataCursor::RecordCount() {
  return Restartable([&] { return RecordCountAttempt(); });
}

std::uint32_t TDataCursor::RecordCountAttempt() {
  Operation op(*this);
  if (KeepsVisibleSet()) return visible_.Count();
  return static_cast<std::uint32_t>(RangeEnd() - RangeBegin());
}

std::uint32_t TDataCursor::CurrentOrdinal() {
  return Restartable([&] { return CurrentOrdinalAttempt(); });
}

std::uint32_t TDataCursor::CurrentOrdinalAttempt() {
  Operation op(*this);
  if (state_ != State::kOn) return 0;
  if (InRecordOrder()) return visible_.CountBelow(static_cast<std::uint32_t>(recNo_)) + 1;
  if (!Filtered()) {
    return static_cast<std::uint32_t>(ActiveTree().Rank(key_.data(), false) - RangeBegin() + 1);
  }
  if (ordinal_ == 0) {
    // Counted once by walking the visible entries before the current one.
    TIndexTree& tree = ActiveTree();
    const std::uint64_t at = tree.Rank(key_.data(), false);
    std::uint32_t n = 1;
    IndexEntry e;
    for (std::uint64_t r = RangeBegin(); r < at && tree.EntryAt(r, &e); ++r) n += Visible(e.record);
    ordinal_ = n;
  }
  return ordinal_;
}

// ---- placing ------------------------------------------------------------------------

void TDataCursor::StandOn(std::int32_t recNo, std::vector<std::uint8_t> key) {
  // The image belongs to the record it was read from while the cursor
  // stays there; a slot left and met again may hold another record.
  if (state_ != State::kOn || recNo != recNo_) imageRecNo_ = 0;
  state_ = State::kOn;
  recNo_ = recNo;
  key_ = std::move(key);
  mark_.place.page = 0;
}

void TDataCursor::StandOn(std::int32_t recNo, const std::uint8_t* key, std::size_t keyLength) {
  if (state_ != State::kOn || recNo != recNo_) imageRecNo_ = 0;
  state_ = State::kOn;
  recNo_ = recNo;
  key_.assign(key, key + keyLength);
  mark_.place.page = 0;
}

// On the record when it is visible; else on the next visible record after
// its place in the order; else on the last one before it; else nowhere.
// Then the record is read again.
void TDataCursor::PlaceBy(std::int32_t recNo, const std::vector<std::uint8_t>& key) {
  ordinal_ = 0;
  bool found = false;
  if (InRecordOrder()) {
    const auto n = static_cast<std::uint32_t>(std::max(recNo, 0));
    std::uint32_t at = 0;
    if (n > 0 && visible_.Test(n)) at = n;
    if (at == 0) at = visible_.NextSet(n + 1);
    if (at == 0 && n > 1) at = visible_.PrevSet(n - 1);
    if (at != 0) {
      StandOn(static_cast<std::int32_t>(at), {});
      found = true;
    }
  } else {
    if (recNo > 0 && recNo <= table_->Data().RecordCount() && Visible(recNo)) {
      const TRecord* r = Fetch(recNo);
      if (RecordStatus(r->Data()) == kRecordActive) {
        std::vector<std::uint8_t> own = KeyOfImage(r->Data());
        if (InRange(own.data())) {
          StandOn(recNo, std::move(own));
          found = true;
        }
      } else if (!key.empty()) {
        ExpectNoEntryFor(recNo, key);
      }
    }
    if (!found && !key.empty()) {
      // Whatever others changed, the entry found after (or before) the
      // place of `key` lies after (or before) it; one that does not is a
      // damaged tree, and standing on it could lead a walk back to where
      // it has been, for ever. (`key` may be the cursor's own key_, which
      // standing on an entry replaces: a copy is compared.)
      const std::vector<std::uint8_t> place = key;
      TIndexTree& tree = ActiveTree();
      found = SeekEntry(tree.Rank(place.data(), true), true);
      if (found) {
        ExpectMovedPast(place, 1);
      } else {
        const std::uint64_t r = tree.Rank(place.data(), false);
        found = r > 0 && SeekEntry(r - 1, false);
        if (found) ExpectMovedPast(place, -1);
      }
    }
  }
  if (!found) {
    state_ = State::kNowhere;
    if (AnyVisible()) state_ = State::kBefore;
    return;
  }
  LoadImage();
}

}  // namespace kura
