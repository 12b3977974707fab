// TableFilterSource: what filters read of a real table. Key ranges on the
// first key segment of an index are turned into positions in the index's
// order (through subtree counts, without touching the leaves), counted from
// those positions and collected by walking the entries between them; the
// active records come from "Sys Deleted"; records are read into SQL values
// for the record-by-record tests, or handed out as raw images read in
// blocks straight from the data file for scans.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/expr/evaluator.h"
#include "engine/storage/filter_table.h"
#include "engine/storage/index_tree.h"
#include "engine/storage/storage_table.h"

namespace kura {

// Holds the table's read lock for its lifetime unless it is held already
// (then it leaves the lock to its holder). `Changed()` tells whether taking
// the lock found the table changed by others (its caches were dropped).
class ReadLockScope {
 public:
  explicit ReadLockScope(TDataTable& table);
  ~ReadLockScope();
  ReadLockScope(const ReadLockScope&) = delete;
  ReadLockScope& operator=(const ReadLockScope&) = delete;
  bool Changed() const { return changed_; }
  // Gives the lock back now (10242 when that fails).
  void Release();

 private:
  TDataTable& table_;
  bool taken_ = false;
  bool changed_ = false;
};

// Entries [begin, end) of an index, by their 0-based positions in its order.
struct RankSpan {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
  std::uint64_t Size() const { return end > begin ? end - begin : 0; }
};

class TableFilterSource final : public FilterTable {
 public:
  // `table` must be open and outlive the source.
  explicit TableFilterSource(TDataTable& table);
  ~TableFilterSource() override;

  std::uint32_t SlotCount() override;
  std::uint32_t ActiveRecordCount() override;
  void MarkActiveRecords(TRecordsBitmap& bitmap) override;
  std::uint32_t RecordLength() override;
  bool HasLocale() override;
  bool IsStringField(int fieldNo) override;
  std::vector<FilterIndex> Indexes() override;
  std::uint64_t CountKeys(const FilterIndex& index, const KeyRange& range) override;
  void CollectKeys(const FilterIndex& index, const KeyRange& range,
                   TRecordsBitmap& bitmap) override;
  void CollectOutside(const FilterIndex& index, const KeyRange& range,
                      TRecordsBitmap& bitmap) override;
  const sql::RowAccessor& ReadRecord(std::uint32_t recordNo) override;
  const sql::Collation& Collation() override;
  const std::vector<TFieldDescriptor>* ImageLayout() override;
  void FilterImages(TRecordsBitmap& records, const ImageTest& keep) override;

  // The positions of the keys of index `number` inside `range`. A prefix
  // on a table with a locale has no single span (nullopt): its keys are
  // found by looking at every present key.
  std::optional<RankSpan> Span(int number, const KeyRange& range);
  // Sets the record bits of the entries [span.begin, span.end) of index
  // `number`.
  void CollectSpan(int number, RankSpan span, TRecordsBitmap& bitmap);
  // Calls `visit` with the record of every entry [span.begin, span.end) of
  // index `number`, in index order.
  void VisitSpan(int number, RankSpan span, const std::function<void(std::int32_t)>& visit);

  // Records read and index entries walked since construction (for tests).
  std::uint64_t RecordsRead() const { return recordsRead_; }
  std::uint64_t EntriesWalked() const { return entriesWalked_; }

 private:
  class Row;
  class TableCollationAdapter;
  struct Bound;

  TIndexTree& Tree(int number);
  const TFieldDescriptor& FirstField(int number);
  // Builds the first key segment for `v` (a value of the field's kind).
  std::vector<std::uint8_t> Segment(int number, const sql::Value& v);
  std::vector<std::uint8_t> NullSegment(int number);
  // Number of keys ordered before every key whose first segment is `seg`
  // (after = false), or up to the last such key (after = true).
  std::uint64_t RankOf(int number, const std::vector<std::uint8_t>& seg, bool after);
  RankSpan PresentSpan(int number);
  std::optional<RankSpan> ValueSpan(int number, const Bound& lo, const Bound& hi);
  bool PrefixMatches(int number, const std::vector<std::uint8_t>& key,
                     const std::string& prefix);
  void CollectPrefix(int number, const std::string& prefix, TRecordsBitmap* bitmap,
                     std::uint64_t* count);

  // Spans asked for again while the table is unchanged (a filter asks for
  // the same one when it is analysed, when it weighs the complement and
  // when it collects) are answered from here; any change counted in the
  // data or index header forgets them.
  struct RememberedSpan {
    int number = 0;
    KeyRange range;
    std::optional<RankSpan> span;
  };
  std::optional<RankSpan> ComputeSpan(int number, const KeyRange& range);
  const RememberedSpan* Remembered(int number, const KeyRange& range);

  TDataTable& table_;
  std::vector<RememberedSpan> spans_;
  std::int32_t spansData_ = 0, spansIndex_ = 0;  // the counters they hold for
  std::uint32_t spansDropped_ = 0;
  std::unique_ptr<Row> row_;
  std::unique_ptr<TableCollationAdapter> collation_;
  std::vector<std::uint8_t> scratch_;
  std::vector<std::uint8_t> block_;    // FilterImages: slots of one block
  std::vector<std::uint8_t> present_;  // FilterImages: which slots hold an image
  std::uint64_t recordsRead_ = 0;
  std::uint64_t entriesWalked_ = 0;
};

// The values of one record image, for expression evaluation; BLOB and memo
// fields are read from the table's BLOB file. The image is copied.
class RecordRow final : public sql::RowAccessor {
 public:
  explicit RecordRow(TDataTable& table) : table_(table) {}
  void Set(const std::uint8_t* image);
  const std::uint8_t* Image() const { return image_.data(); }
  sql::Value FieldValue(int tablePos, int fieldNo) const override;

 private:
  TDataTable& table_;
  std::vector<std::uint8_t> image_;
};

}  // namespace kura
