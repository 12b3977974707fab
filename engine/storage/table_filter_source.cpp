#include "engine/storage/table_filter_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/errors/kura_error.h"
#include "engine/storage/field_values.h"
#include "engine/storage/index_file_trees.h"
#include "engine/storage/index_key.h"
#include "engine/storage/locale.h"
#include "engine/storage/record_values.h"

namespace kura {
namespace {

using sql::Value;

// Key values of these fields are whole numbers (BCD: the value × 10 000);
// a bound between two of them is moved to the next one inside the range.
struct IntegerDomain {
  double scale;
  std::int64_t min;
  std::int64_t max;
};

std::optional<IntegerDomain> DomainOf(const TFieldDescriptor& f) {
  constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();
  switch (f.type) {
    case kFieldSmallInt: return IntegerDomain{1, -32768, 32767};
    case kFieldInteger: return IntegerDomain{1, INT32_MIN, INT32_MAX};
    case kFieldWord: return IntegerDomain{1, 0, 65535};
    case kFieldUInt32: return IntegerDomain{1, 0, 4294967295LL};
    case kFieldLargeInt: return IntegerDomain{1, kI64Min, kI64Max};
    case kFieldBcd: return IntegerDomain{10000, kI64Min, kI64Max};
    default: return std::nullopt;
  }
}

std::vector<std::uint8_t> Prefixed(std::vector<std::uint8_t> seg, std::size_t length) {
  seg.resize(length, 0);
  return seg;
}

}  // namespace

// One end of a range in the order of the values: absent (the range is open
// at that end), or a value with its inclusiveness.
struct TableFilterSource::Bound {
  bool present = false;
  Value value;
  bool inclusive = true;
};

// ---- rows and collation ------------------------------------------------------------

ReadLockScope::ReadLockScope(TDataTable& table) : table_(table) {
  if (!table.HoldsReadLock()) {
    changed_ = table.ReadLock();
    taken_ = table.HoldsReadLock();
  }
}

ReadLockScope::~ReadLockScope() {
  if (!taken_) return;
  try {
    table_.ReleaseReadLock();
  } catch (...) {
    // Releasing on an error path; the error being raised is the one to see.
  }
}

void ReadLockScope::Release() {
  if (!taken_) return;
  taken_ = false;
  table_.ReleaseReadLock();
}

void RecordRow::Set(const std::uint8_t* image) {
  image_.assign(image, image + table_.Data().RecordLength());
}

Value RecordRow::FieldValue(int, int fieldNo) const {
  TDataFile& data = table_.Data();
  if (fieldNo < 1 || fieldNo > static_cast<int>(data.Fields().size())) return Value::Null();
  const TFieldDescriptor& f = data.Field(fieldNo);
  Value v = ReadFieldValue(image_.data(), f);
  if (f.type == kFieldBlob && !v.null && table_.Blob() != nullptr) {
    ReadLockScope lock(table_);
    v.text = table_.Blob()->ReadValue(GetBlobRef(image_.data(), f));
    if (v.text.empty()) v = Value::NullOf(f.type, f.subtype);
  }
  return v;
}

class TableFilterSource::Row final : public sql::RowAccessor {
 public:
  explicit Row(TDataTable& table) : row(table) {}
  Value FieldValue(int tablePos, int fieldNo) const override {
    return row.FieldValue(tablePos, fieldNo);
  }
  RecordRow row;
};

class TableFilterSource::TableCollationAdapter final : public sql::Collation {
 public:
  explicit TableCollationAdapter(const TableCollation* c) : c_(c) {}
  int Compare(std::string_view a, std::string_view b) const override {
    // Empty texts (null strings compare as "") are ordered here: they come
    // first in every collation, and their views may hold no pointer.
    if (a.empty() || b.empty()) return int(!a.empty()) - int(!b.empty());
    if (c_ == nullptr || c_->IsByteOrder()) return sql::Collation::Compare(a, b);
    return c_->Compare(a, b);
  }
  int CodePage() const override { return c_ != nullptr ? c_->CodePage() : sql::Collation::CodePage(); }

 private:
  const TableCollation* c_;
};

TableFilterSource::TableFilterSource(TDataTable& table)
    : table_(table),
      row_(std::make_unique<Row>(table)),
      collation_(std::make_unique<TableCollationAdapter>(table.Data().Collation())) {}

TableFilterSource::~TableFilterSource() = default;

// ---- the table -------------------------------------------------------------------

std::uint32_t TableFilterSource::SlotCount() {
  return static_cast<std::uint32_t>(std::max(0, table_.Data().RecordCount()));
}

std::uint32_t TableFilterSource::ActiveRecordCount() {
  return static_cast<std::uint32_t>(std::max(0, table_.Index().ActiveRecordCount()));
}

std::uint32_t TableFilterSource::RecordLength() { return table_.Data().RecordLength(); }

bool TableFilterSource::HasLocale() { return table_.Data().Header().languageId != 0; }

bool TableFilterSource::IsStringField(int fieldNo) {
  const auto& fields = table_.Data().Fields();
  return fieldNo >= 1 && fieldNo <= static_cast<int>(fields.size()) &&
         fields[static_cast<std::size_t>(fieldNo - 1)].type == kFieldString;
}

// The deleted slots are the "Sys Deleted" keys with status 1, which sort
// after every active one.
void TableFilterSource::MarkActiveRecords(TRecordsBitmap& bitmap) {
  const std::uint32_t slots = SlotCount();
  if (bitmap.Size() <= slots) {
    bitmap.Resize(slots);
    bitmap.SetAll();
  } else {
    for (std::uint32_t n = 1; n <= slots; ++n) bitmap.Set(n);
  }
  if (ActiveRecordCount() == slots) return;
  TIndexTree& deleted = table_.Index().Trees().Tree(kSysDeletedSlot);
  std::uint8_t first[kSysDeletedKeyLength];
  BuildSysDeletedKey(kRecordDeleted, 0, first);
  std::memset(first + 1, 0, kSysDeletedKeyLength - 1);
  deleted.VisitRecords(deleted.Rank(first, false), deleted.Count(), [&](std::int32_t record) {
    ++entriesWalked_;
    bitmap.Clear(static_cast<std::uint32_t>(record));
  });
}

std::vector<FilterIndex> TableFilterSource::Indexes() {
  std::vector<FilterIndex> out;
  const TIndexFileHeader& h = table_.Index().Header();
  TIndexTrees& trees = table_.Index().Trees();
  for (int slot = 0; slot <= h.secondaryCount && slot < kSysDeletedSlot; ++slot) {
    const TIndexDescriptor& d = h.slots[static_cast<std::size_t>(slot)];
    if (d.fieldCount == 0 || !trees.Maintained(slot)) continue;
    out.push_back({slot, d.fieldNumbers[0], d.caseInsensitive != 0, d.keyLength});
  }
  return out;
}

TIndexTree& TableFilterSource::Tree(int number) { return table_.Index().Trees().Tree(number); }

const TFieldDescriptor& TableFilterSource::FirstField(int number) {
  const TIndexDescriptor& d = table_.Index().Header().slots[static_cast<std::size_t>(number)];
  return table_.Data().Field(d.fieldNumbers[0]);
}

const sql::RowAccessor& TableFilterSource::ReadRecord(std::uint32_t recordNo) {
  ++recordsRead_;
  // A table found changed on a cache miss gives no record; the read after
  // it comes from the refreshed file.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (TRecord* r = table_.ReadRecord(static_cast<std::int32_t>(recordNo), true)) {
      row_->row.Set(r->Data());
      return *row_;
    }
  }
  Raise(KURA_FILECORRUPT, {.table = table_.Name()});
}

const sql::Collation& TableFilterSource::Collation() { return *collation_; }

const std::vector<TFieldDescriptor>* TableFilterSource::ImageLayout() {
  return &table_.Data().Fields();
}

// One read lock for the whole scan, so that every image belongs to one
// state of the table. Each block of slots is read from the file in one
// call; the records the cache holds (changed and not yet written, or
// appended beyond the file's end) are laid over it, so the images are what
// record reads would give. The block is complete before any record of it
// is tested: reads made by `keep` cannot change what it holds.
void TableFilterSource::FilterImages(TRecordsBitmap& records, const ImageTest& keep) {
  constexpr std::uint32_t kScanBlockBytes = 64 * 1024;
  ReadLockScope lock(table_);
  TDataFile& data = table_.Data();
  const std::uint32_t length = data.RecordLength();
  const auto last = static_cast<std::uint32_t>(std::max(0, data.RecordCount()));
  const bool allowShort = (table_.Exclusive() || table_.InTransaction()) && data.Written();
  const std::uint32_t perBlock = std::max<std::uint32_t>(1, kScanBlockBytes / length);
  block_.resize(static_cast<std::size_t>(perBlock) * length);
  present_.resize(perBlock);
  for (std::uint32_t n = records.NextSet(1); n != 0;) {
    if (n > last) Raise(KURA_FILECORRUPT, {.table = table_.Name()});
    const std::uint32_t first = n;
    const std::uint32_t count = std::min(perBlock, last - first + 1);
    const std::size_t bytes = static_cast<std::size_t>(count) * length;
    const std::size_t got =
        data.Handler().Read(data.SlotOffset(static_cast<std::int32_t>(first)), block_.data(), bytes);
    if (got < bytes && !allowShort) Raise(KURA_READERR, {.table = table_.Name()});
    const auto whole = static_cast<std::uint32_t>(got / length);
    std::fill(present_.begin(), present_.begin() + whole, 1);
    std::fill(present_.begin() + whole, present_.begin() + count, 0);
    const std::vector<TRecord*>& cached = data.Cache().Sorted();
    auto c = std::lower_bound(cached.begin(), cached.end(), first,
                              [](const TRecord* r, std::uint32_t k) {
                                return static_cast<std::uint32_t>(r->Number()) < k;
                              });
    for (; c != cached.end() && static_cast<std::uint32_t>((*c)->Number()) < first + count; ++c) {
      const std::uint32_t i = static_cast<std::uint32_t>((*c)->Number()) - first;
      std::memcpy(block_.data() + static_cast<std::size_t>(i) * length, (*c)->Data(), length);
      present_[i] = 1;
    }
    for (; n != 0 && n < first + count; n = records.NextSet(n + 1)) {
      ++recordsRead_;
      const std::uint32_t i = n - first;
      if (!present_[i]) Raise(KURA_FILECORRUPT, {.table = table_.Name()});
      if (!keep(n, block_.data() + static_cast<std::size_t>(i) * length)) records.Clear(n);
    }
  }
}

// ---- key ranges --------------------------------------------------------------------

std::vector<std::uint8_t> TableFilterSource::Segment(int number, const Value& v) {
  TIndexTree& tree = Tree(number);
  const KeyDef& def = tree.Comparator().Def();
  const TFieldDescriptor& f = FirstField(number);
  scratch_.assign(table_.Data().RecordLength(), 0);
  std::int32_t rowId = 0;
  if (f.IsAutoIncrement()) {
    rowId = static_cast<std::int32_t>(v.integer);
  } else if (f.type == kFieldString) {
    // The constant as it is, without the trimming and case conversion of a
    // stored value: the key must order exactly like the compared text.
    scratch_[f.offset] = 1;
    std::memcpy(&scratch_[f.offset + 1u], v.text.data(),
                std::min<std::size_t>(v.text.size(), f.declaredSize));
  } else {
    StoreFieldValue(scratch_.data(), f, v, nullptr);
  }
  std::vector<std::uint8_t> seg(def.segments[0].Length());
  BuildKeySegment(def, def.segments[0], scratch_.data(), rowId, seg.data());
  return seg;
}

std::vector<std::uint8_t> TableFilterSource::NullSegment(int number) {
  TIndexTree& tree = Tree(number);
  const KeyDef& def = tree.Comparator().Def();
  scratch_.assign(table_.Data().RecordLength(), 0);
  std::vector<std::uint8_t> seg(def.segments[0].Length());
  BuildKeySegment(def, def.segments[0], scratch_.data(), 0, seg.data());
  return seg;
}

// The bytes after the first segment are filled so that the key comes before
// (or after) every key with that first segment in the index's order: 0x00 or
// 0xFF, whichever the comparison of that part ranks first. With a locale the
// presence byte decides a string segment, so the fill never reaches the
// locale's text comparison.
std::uint64_t TableFilterSource::RankOf(int number, const std::vector<std::uint8_t>& seg,
                                        bool after) {
  TIndexTree& tree = Tree(number);
  const KeyDef& def = tree.Comparator().Def();
  std::vector<std::uint8_t> key = Prefixed(seg, def.KeyLength());
  std::size_t at = def.segments[0].Length();
  auto fill = [&](std::size_t length, bool reversed) {
    const std::uint8_t low = reversed ? 0xFF : 0x00;
    std::memset(key.data() + at, after ? std::uint8_t(~low) : low, length);
    at += length;
  };
  for (std::size_t i = 1; i < def.segments.size(); ++i) {
    const bool reversed = def.descending || (!def.ByteOrder() && def.segments[i].descending);
    fill(def.segments[i].Length(), reversed);
  }
  if (!def.unique) fill(4, def.descending);
  return after ? tree.Rank(key.data(), true) : tree.Rank(key.data(), false);
}

// Keys of present values lie together at one end of the index, the nulls
// at the other.
RankSpan TableFilterSource::PresentSpan(int number) {
  const std::vector<std::uint8_t> nullSeg = NullSegment(number);
  const std::uint64_t total = Tree(number).Count();
  const std::uint64_t nb = RankOf(number, nullSeg, false);
  const std::uint64_t ne = RankOf(number, nullSeg, true);
  if (nb == ne) return {0, total};
  return nb == 0 ? RankSpan{ne, total} : RankSpan{0, nb};
}

std::optional<RankSpan> TableFilterSource::ValueSpan(int number, const Bound& loIn,
                                                     const Bound& hiIn) {
  const TFieldDescriptor& f = FirstField(number);
  Bound lo = loIn, hi = hiIn;
  bool empty = false;
  // Constants between two key values move to the next value inside.
  if (auto dom = DomainOf(f)) {
    auto settle = [&](Bound& b, bool isLow) {
      if (!b.present) return;
      const bool exactInt = sql::IsIntegerType(b.value.type) && dom->scale == 1;
      long double x = exactInt ? static_cast<long double>(b.value.integer)
                               : static_cast<long double>(b.value.AsDouble()) * dom->scale;
      long double m;
      if (isLow) m = b.inclusive ? std::ceil(x) : std::floor(x) + 1;
      else m = b.inclusive ? std::floor(x) : std::ceil(x) - 1;
      if (isLow ? m > dom->max : m < dom->min) {
        empty = true;
      } else if (isLow ? m <= dom->min : m >= dom->max) {
        b.present = false;
      } else {
        const auto k = static_cast<std::int64_t>(m);
        b.value = f.type == kFieldBcd ? Value::Float(static_cast<double>(k) / 10000.0, sql::kTypeBcd)
                                      : Value::Integer(k, f.type);
        b.inclusive = true;
      }
    };
    settle(lo, true);
    settle(hi, false);
  } else if (f.type == kFieldString) {
    // No stored text is longer than the declared size: a longer constant
    // orders just after its cut-off beginning.
    auto cut = [&](Bound& b, bool isLow) {
      if (!b.present || b.value.text.size() <= f.declaredSize) return;
      b.value.text.resize(f.declaredSize);
      b.inclusive = !isLow;
    };
    cut(lo, true);
    cut(hi, false);
  }
  if (empty) return RankSpan{0, 0};
  const KeyDef& def = Tree(number).Comparator().Def();
  const bool reversed = def.descending || def.segments[0].descending;
  const RankSpan present = PresentSpan(number);
  // In value order: lower bound -> first position, upper bound -> end.
  auto start = [&](const Bound& b) {
    return b.inclusive ? RankOf(number, Segment(number, b.value), false)
                       : RankOf(number, Segment(number, b.value), true);
  };
  auto stop = [&](const Bound& b) {
    return b.inclusive ? RankOf(number, Segment(number, b.value), true)
                       : RankOf(number, Segment(number, b.value), false);
  };
  RankSpan s = present;
  const Bound& first = reversed ? hi : lo;
  const Bound& last = reversed ? lo : hi;
  if (first.present) s.begin = std::max(s.begin, start(first));
  if (last.present) s.end = std::min(s.end, stop(last));
  if (s.end < s.begin) s.end = s.begin;
  return s;
}

namespace {

bool SameValue(const Value& a, const Value& b) {
  return a.type == b.type && a.subType == b.subType && a.null == b.null &&
         a.integer == b.integer && std::memcmp(&a.real, &b.real, sizeof a.real) == 0 &&
         a.text == b.text;
}

}  // namespace

const TableFilterSource::RememberedSpan* TableFilterSource::Remembered(int number,
                                                                      const KeyRange& range) {
  const std::int32_t data = table_.Data().Header().changeCounter;
  const std::int32_t index = table_.Index().Header().changeCounter;
  const std::uint32_t dropped = table_.DroppedChanges();
  if (data != spansData_ || index != spansIndex_ || dropped != spansDropped_) {
    spans_.clear();
    spansData_ = data;
    spansIndex_ = index;
    spansDropped_ = dropped;
  }
  for (const RememberedSpan& r : spans_) {
    if (r.number == number && r.range.kind == range.kind && SameValue(r.range.low, range.low) &&
        SameValue(r.range.high, range.high)) {
      return &r;
    }
  }
  return nullptr;
}

std::optional<RankSpan> TableFilterSource::Span(int number, const KeyRange& range) {
  if (const RememberedSpan* r = Remembered(number, range)) return r->span;
  std::optional<RankSpan> span = ComputeSpan(number, range);
  constexpr std::size_t kRemembered = 8;
  if (spans_.size() == kRemembered) spans_.erase(spans_.begin());
  spans_.push_back({number, range, span});
  return span;
}

std::optional<RankSpan> TableFilterSource::ComputeSpan(int number, const KeyRange& range) {
  Bound lo, hi;
  switch (range.kind) {
    case KeyRangeKind::kIsNull: {
      const std::vector<std::uint8_t> seg = NullSegment(number);
      return RankSpan{RankOf(number, seg, false), RankOf(number, seg, true)};
    }
    case KeyRangeKind::kNotNull: return PresentSpan(number);
    case KeyRangeKind::kEqual: lo = hi = {true, range.low, true}; break;
    case KeyRangeKind::kGreater: lo = {true, range.low, false}; break;
    case KeyRangeKind::kGreaterEqual: lo = {true, range.low, true}; break;
    case KeyRangeKind::kLess: hi = {true, range.low, false}; break;
    case KeyRangeKind::kLessEqual: hi = {true, range.low, true}; break;
    case KeyRangeKind::kBetween:
      lo = {true, range.low, true};
      hi = {true, range.high, true};
      break;
    case KeyRangeKind::kPrefix: {
      const std::string& p = range.low.text;
      const TFieldDescriptor& f = FirstField(number);
      if (p.size() > f.declaredSize) return RankSpan{0, 0};
      if (HasLocale() || Tree(number).Comparator().Def().caseInsensitive) return std::nullopt;
      // In byte order the texts beginning with p are those from p up to
      // (not including) p with its last byte raised by one.
      lo = {true, Value::String(p), true};
      std::string next = p;
      while (!next.empty() && static_cast<unsigned char>(next.back()) == 0xFF) next.pop_back();
      if (!next.empty()) {
        next.back() = static_cast<char>(static_cast<unsigned char>(next.back()) + 1);
        hi = {true, Value::String(next), false};
      }
      break;
    }
  }
  return ValueSpan(number, lo, hi);
}

void TableFilterSource::CollectSpan(int number, RankSpan span, TRecordsBitmap& bitmap) {
  VisitSpan(number, span, [&](std::int32_t record) { bitmap.Set(static_cast<std::uint32_t>(record)); });
}

void TableFilterSource::VisitSpan(int number, RankSpan span,
                                  const std::function<void(std::int32_t)>& visit) {
  Tree(number).VisitRecords(span.begin, span.end, [&](std::int32_t record) {
    ++entriesWalked_;
    visit(record);
  });
}

bool TableFilterSource::PrefixMatches(int number, const std::vector<std::uint8_t>& key,
                                      const std::string& prefix) {
  const KeyDef& def = Tree(number).Comparator().Def();
  const KeySegment& seg = def.segments[0];
  std::vector<std::uint8_t> s(key.begin(), key.begin() + static_cast<long>(seg.Length()));
  if (seg.descending && !def.descending && def.ByteOrder()) {
    for (std::size_t i = 0; i + 1 < s.size(); ++i) s[i] = std::uint8_t(~s[i]);
  }
  if (s[0] != 1) return false;
  std::string want = prefix;
  if (def.caseInsensitive) {
    const TableCollation* c = table_.Data().Collation();
    if (c != nullptr) want = c->ToUpper(want);
  }
  return want.size() <= s.size() - 1 && std::memcmp(s.data() + 1, want.data(), want.size()) == 0;
}

// A prefix in a locale's collation need not be one run of keys: every
// present key is looked at (the keys hold the text, no record is read).
void TableFilterSource::CollectPrefix(int number, const std::string& prefix,
                                      TRecordsBitmap* bitmap, std::uint64_t* count) {
  TIndexTree& tree = Tree(number);
  const RankSpan present = PresentSpan(number);
  IndexEntry e;
  for (std::uint64_t r = present.begin; r < present.end && tree.EntryAt(r, &e); ++r) {
    ++entriesWalked_;
    if (!PrefixMatches(number, e.key, prefix)) continue;
    if (bitmap) bitmap->Set(static_cast<std::uint32_t>(e.record));
    if (count) ++*count;
  }
}

std::uint64_t TableFilterSource::CountKeys(const FilterIndex& index, const KeyRange& range) {
  if (auto s = Span(index.number, range)) return s->Size();
  std::uint64_t n = 0;
  CollectPrefix(index.number, range.low.text, nullptr, &n);
  return n;
}

void TableFilterSource::CollectKeys(const FilterIndex& index, const KeyRange& range,
                                    TRecordsBitmap& bitmap) {
  bitmap.Resize(std::max(bitmap.Size(), SlotCount()));
  if (auto s = Span(index.number, range)) {
    CollectSpan(index.number, *s, bitmap);
  } else {
    CollectPrefix(index.number, range.low.text, &bitmap, nullptr);
  }
}

void TableFilterSource::CollectOutside(const FilterIndex& index, const KeyRange& range,
                                       TRecordsBitmap& bitmap) {
  bitmap.Resize(std::max(bitmap.Size(), SlotCount()));
  const std::optional<RankSpan> s = Span(index.number, range);
  const std::uint64_t total = Tree(index.number).Count();
  if (!s) {
    // Outside a prefix: every key that does not match it.
    PooledBitmap inside(bitmap.Size());
    CollectPrefix(index.number, range.low.text, &*inside, nullptr);
    CollectSpan(index.number, {0, total}, bitmap);
    inside->InvertAll();
    bitmap.IntersectWith(*inside);
    return;
  }
  CollectSpan(index.number, {0, s->begin}, bitmap);
  CollectSpan(index.number, {s->end, total}, bitmap);
}

}  // namespace kura
