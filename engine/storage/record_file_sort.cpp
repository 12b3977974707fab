#include "engine/storage/record_file_sort.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <queue>

#include "engine/errors/kura_error.h"
#include "engine/storage/field_values.h"
#include "engine/storage/index_key.h"
#include "engine/storage/locale.h"
#include "engine/storage/storage_table.h"

namespace kura {
namespace {

// Bytes of records read or held per run during the file method.
constexpr std::uint32_t kRunBytes = 1048576;
// Bytes buffered per run while merging.
constexpr std::uint32_t kMergeBufferBytes = 65536;

// The sort key of a record: one index-key segment per sort field, then the
// record's row id as the 4-byte suffix. The full comparison includes the
// suffix (no two records compare equal), the group comparison does not.
class SortKeys {
 public:
  SortKeys(const std::vector<SortField>& fields, bool caseInsensitive,
           std::shared_ptr<const TableCollation> collation)
      : full_(MakeDef(fields, caseInsensitive, collation, false)),
        group_(MakeDef(fields, caseInsensitive, collation, true)) {}

  std::size_t Length() const { return full_.KeyLength(); }
  void Build(const std::uint8_t* record, std::uint8_t* out) const {
    BuildKey(full_.Def(), record, RecordRowId(record), out);
  }
  int Full(const std::uint8_t* a, const std::uint8_t* b) const { return full_(a, b); }
  bool SameGroup(const std::uint8_t* a, const std::uint8_t* b) const {
    return group_(a, b) == 0;
  }

 private:
  static KeyDef MakeDef(const std::vector<SortField>& fields, bool caseInsensitive,
                        std::shared_ptr<const TableCollation> collation, bool unique) {
    KeyDef def;
    for (const SortField& f : fields) {
      KeySegment seg;
      seg.type = f.field.type;
      seg.subtype = f.field.subtype;
      seg.slotOffset = f.field.offset;
      seg.storedSize = f.field.storedSize;
      seg.descending = f.descending;
      def.segments.push_back(seg);
    }
    def.caseInsensitive = caseInsensitive;
    def.unique = unique;
    def.collation = std::move(collation);
    return def;
  }

  KeyComparator full_;
  KeyComparator group_;
};

void SetRowId(std::uint8_t* record, std::int32_t rowId) {
  SetRecordHeader(record, RecordStatus(record), RecordLink(record), rowId);
}

// Applies the output rules to records offered in key order. The last
// output row is held back until the next row is placed (or the walk ends),
// so that accumulating into it, finishing its group and withdrawing it
// never touch a row already written out.
class OutputWalker {
 public:
  using Emit = std::function<void(const std::uint8_t* row)>;

  OutputWalker(const SortOptions& options, const SortKeys& keys, std::uint32_t length,
               Emit emit)
      : options_(options), keys_(keys), length_(length), emit_(std::move(emit)),
        last_(length), scratch_(length), prevKey_(keys.Length()) {}

  // Offers the next record in order; false when the walk must stop.
  bool Offer(const std::uint8_t* record, const std::uint8_t* key) {
    if (options_.rowLimit == 0) return false;
    const bool same = havePrev_ && keys_.SameGroup(prevKey_.data(), key);
    const bool first = !havePrev_;
    std::memcpy(prevKey_.data(), key, prevKey_.size());
    havePrev_ = true;
    if (!options_.grouping) {
      if (options_.distinct && same) return true;
      Place(record);
      return !LimitReached();
    }
    if (same) {
      std::memcpy(scratch_.data(), record, length_);
      options_.aggregate(AggregateMode::kAccumulate, scratch_.data(), last_.data());
      return true;
    }
    if (!first && LimitReached()) {
      // The group that reached the limit is complete: stop unless it is
      // withdrawn, in which case this record starts the next candidate.
      FinishGroup();
      if (LimitReached()) return false;
    }
    std::memcpy(scratch_.data(), record, length_);
    options_.aggregate(AggregateMode::kBegin, scratch_.data(), nullptr);
    if (!first) FinishGroup();
    Place(scratch_.data());
    return true;
  }

  // Completes the last group and emits the last output row.
  void Finish() {
    if (options_.grouping) FinishGroup();
    if (haveLast_) emit_(last_.data());
    haveLast_ = false;
  }

  std::int32_t Count() const { return count_; }

 private:
  bool LimitReached() const {
    return options_.rowLimit >= 0 && count_ >= options_.rowLimit;
  }

  void Place(const std::uint8_t* row) {
    if (haveLast_) emit_(last_.data());
    std::memcpy(last_.data(), row, length_);
    ++count_;
    SetRowId(last_.data(), count_);
    haveLast_ = true;
    lastFinished_ = false;
  }

  void FinishGroup() {
    if (!haveLast_ || lastFinished_) return;
    lastFinished_ = true;
    if (options_.groupEnd) options_.groupEnd(last_.data());
    if (options_.keep && !options_.keep(last_.data())) {
      haveLast_ = false;
      --count_;
    }
  }

  const SortOptions& options_;
  const SortKeys& keys_;
  std::uint32_t length_;
  Emit emit_;
  std::vector<std::uint8_t> last_;
  std::vector<std::uint8_t> scratch_;
  std::vector<std::uint8_t> prevKey_;
  bool havePrev_ = false;
  bool haveLast_ = false;
  bool lastFinished_ = false;
  std::int32_t count_ = 0;
};

// Record images with their keys, ordered by full comparison.
struct KeyedBlock {
  std::vector<std::uint8_t> keys;
  std::vector<std::uint32_t> order;

  void Build(const SortKeys& k, const std::uint8_t* records, std::size_t count,
             std::uint32_t length) {
    const std::size_t kl = k.Length();
    keys.resize(count * kl);
    for (std::size_t i = 0; i < count; ++i) k.Build(records + i * length, &keys[i * kl]);
    order.resize(count);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return k.Full(&keys[a * kl], &keys[b * kl]) < 0;
    });
  }
};

// The temporary run files of one sort; each is closed and deleted when the
// set goes away, also when the sort fails.
class RunFiles {
 public:
  RunFiles(TDataSession& session, bool inMemory, std::string table)
      : session_(session), inMemory_(inMemory), table_(std::move(table)) {}
  ~RunFiles() {
    for (auto& run : runs_) {
      try {
        run->Close();
        if (TFileHandler::Exists(session_.Files(), run->Path(), inMemory_)) {
          TFileHandler::Delete(session_.Files(), run->Path(), inMemory_, table_);
        }
      } catch (const EKuraEngineError&) {
        // A run file that cannot be removed is left behind; the sort's own
        // error (if any) is the one reported.
      }
    }
  }

  TFileHandler& Create() {
    const std::string dir = PrivateDirectoryOf(session_);
    std::string prefix = std::to_string(std::llabs(session_.GetEnv().ThreadId()));
    if (prefix.size() > 5) prefix.resize(5);
    std::string path;
    for (long n = 0;; ++n) {
      path = dir + prefix + std::to_string(n) + ".TMP";
      if (!TFileHandler::Exists(session_.Files(), path, inMemory_)) break;
    }
    FileOpenMode mode;
    mode.inMemory = inMemory_;
    mode.exclusive = true;
    mode.createNew = true;
    runs_.push_back(std::make_unique<TFileHandler>(session_.Files(), path, table_, mode));
    runs_.back()->Create();
    return *runs_.back();
  }

  std::size_t Size() const { return runs_.size(); }
  TFileHandler& At(std::size_t i) { return *runs_[i]; }

 private:
  TDataSession& session_;
  bool inMemory_;
  std::string table_;
  std::vector<std::unique_ptr<TFileHandler>> runs_;
};

// Reads the records of one run file in order through a buffer.
class RunReader {
 public:
  RunReader(TFileHandler& file, std::uint64_t records, std::uint32_t length,
            const SortKeys& keys)
      : file_(file), left_(records), length_(length), keys_(keys), key_(keys.Length()) {
    const std::uint32_t per = std::max<std::uint32_t>(1, kMergeBufferBytes / length);
    buffer_.resize(static_cast<std::size_t>(per) * length);
  }

  // Moves to the next record; false when the run is exhausted.
  bool Next() {
    if (pos_ == filled_) {
      if (left_ == 0) return false;
      const std::uint64_t take =
          std::min<std::uint64_t>(left_, buffer_.size() / length_);
      file_.ReadExact(offset_, buffer_.data(), take * length_);
      offset_ += take * length_;
      left_ -= take;
      filled_ = take;
      pos_ = 0;
    }
    current_ = buffer_.data() + pos_ * length_;
    ++pos_;
    keys_.Build(current_, key_.data());
    return true;
  }
  const std::uint8_t* Record() const { return current_; }
  const std::uint8_t* Key() const { return key_.data(); }

 private:
  TFileHandler& file_;
  std::uint64_t left_;
  std::uint32_t length_;
  const SortKeys& keys_;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint8_t> key_;
  std::uint64_t offset_ = 0;
  std::uint64_t filled_ = 0;
  std::uint64_t pos_ = 0;
  const std::uint8_t* current_ = nullptr;
};

std::int32_t SortInMemory(TDataFile& data, const SortKeys& keys, const SortOptions& options) {
  const std::uint32_t length = data.RecordLength();
  const std::vector<TRecord*>& cached = data.Cache().Sorted();
  std::vector<std::uint8_t> images(cached.size() * length);
  for (std::size_t i = 0; i < cached.size(); ++i) {
    std::memcpy(&images[i * length], cached[i]->Data(), length);
  }
  KeyedBlock block;
  block.Build(keys, images.data(), cached.size(), length);
  std::vector<std::uint8_t> out;
  out.reserve(images.size());
  OutputWalker walker(options, keys, length, [&](const std::uint8_t* row) {
    out.insert(out.end(), row, row + length);
  });
  for (std::uint32_t i : block.order) {
    if (!walker.Offer(&images[i * length], &block.keys[i * keys.Length()])) break;
  }
  walker.Finish();
  if (!out.empty()) data.Handler().Write(data.SlotOffset(1), out.data(), out.size());
  data.DropCache();
  return walker.Count();
}

std::int32_t SortThroughFiles(TDataSession& session, TDataFile& data, bool inMemory,
                              const std::string& table, const SortKeys& keys,
                              const SortOptions& options, std::int32_t* runCount) {
  data.WriteDirty();
  data.DropCache();
  const std::uint32_t length = data.RecordLength();
  const std::int32_t slots = data.RecordCount();
  const std::uint32_t n = std::max<std::uint32_t>(
      1, std::min<std::uint32_t>(session.settings.dataCacheRecords, kRunBytes / length));

  RunFiles runs(session, inMemory, table);
  std::vector<std::uint64_t> runSizes;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(n) * length);
  std::vector<std::uint8_t> sorted(buffer.size());
  for (std::int32_t first = 1; first <= slots; first += static_cast<std::int32_t>(n)) {
    const std::size_t count = std::min<std::size_t>(n, static_cast<std::size_t>(slots - first + 1));
    data.Handler().ReadExact(data.SlotOffset(first), buffer.data(), count * length);
    KeyedBlock block;
    block.Build(keys, buffer.data(), count, length);
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(&sorted[i * length], &buffer[block.order[i] * length], length);
    }
    runs.Create().Write(0, sorted.data(), count * length);
    runSizes.push_back(count);
  }
  *runCount = static_cast<std::int32_t>(runs.Size());

  std::vector<std::unique_ptr<RunReader>> readers;
  for (std::size_t i = 0; i < runs.Size(); ++i) {
    readers.push_back(std::make_unique<RunReader>(runs.At(i), runSizes[i], length, keys));
  }
  auto later = [&](RunReader* a, RunReader* b) { return keys.Full(a->Key(), b->Key()) > 0; };
  std::priority_queue<RunReader*, std::vector<RunReader*>, decltype(later)> heads(later);
  for (auto& r : readers) {
    if (r->Next()) heads.push(r.get());
  }

  std::vector<std::uint8_t> out;
  out.reserve(buffer.size());
  std::uint64_t written = 0;
  auto flush = [&] {
    if (out.empty()) return;
    data.Handler().Write(data.SlotOffset(1) + written * length, out.data(), out.size());
    written += out.size() / length;
    out.clear();
  };
  OutputWalker walker(options, keys, length, [&](const std::uint8_t* row) {
    out.insert(out.end(), row, row + length);
    if (out.size() >= buffer.size()) flush();
  });
  while (!heads.empty()) {
    RunReader* r = heads.top();
    heads.pop();
    if (!walker.Offer(r->Record(), r->Key())) break;
    if (r->Next()) heads.push(r);
  }
  walker.Finish();
  flush();
  return walker.Count();
}

// Sets the next record number (and empties the free chain, whose slots may
// have been cut off) through the header image, then marks it changed.
void SetRecordCount(TDataFile& data, std::int32_t count) {
  TDataFileHeader h = data.Header();
  h.nextRecordNumber = count + 1;
  h.firstFreeRecord = 0;
  std::uint8_t buf[kDataHeaderSize];
  EncodeDataHeader(h, buf);
  data.Handler().Write(0, buf, sizeof buf);
  data.ReloadHeader();
  data.MarkHeaderChanged();
}

}  // namespace

std::string PrivateDirectoryOf(TDataSession& session) { return session.WorkDirectory(); }

SortResult SortTable(TDataSession& session, TDataTable& table,
                     const std::vector<SortField>& fields, const SortOptions& options) {
  if (!table.Exclusive()) Raise(KURA_NEEDEXCLACCESS, {.table = table.Name()});
  SortResult result;
  const TIndexFileHeader& ih = table.Index().Header();
  if (ih.secondaryCount > 0 || ih.slots[0].fieldCount > 0) return result;
  if (fields.size() > kMaxSortFields) Raise(KURA_SQLPARSE, {.table = table.Name()});

  TDataFile& data = table.Data();
  const TDataFileHeader& h = data.Header();
  const SortKeys keys(fields, options.caseInsensitive,
                      TableCollation::For(h.languageId, h.sortId));
  const bool inMemory =
      static_cast<std::size_t>(data.RecordCount()) == data.Cache().Size();
  result.inMemory = inMemory;
  result.outputRows =
      inMemory ? SortInMemory(data, keys, options)
               : SortThroughFiles(session, data, table.Options().inMemory, table.Name(), keys,
                                  options, &result.runFiles);
  if (options.distinct || options.grouping || options.rowLimit >= 0) {
    data.Handler().Truncate(data.SlotOffset(result.outputRows + 1));
    SetRecordCount(data, result.outputRows);
  }
  table.Index().SetActiveRecordCount(result.outputRows);
  return result;
}

}  // namespace kura
