// FilterTable: what a filter needs of the table it filters — slot counts,
// the active records, the indexes it may resolve comparisons through, key
// ranges counted and collected through those indexes, and records read for
// the record-by-record tests. The cursor layer implements it over a table's
// data and index files; tests implement it in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/expr/evaluator.h"
#include "engine/expr/sql_value.h"
#include "engine/storage/record_file_format.h"
#include "engine/storage/records_bitmap.h"

namespace kura {

// An index a comparison may be resolved through.
struct FilterIndex {
  int number = 0;            // 0 primary, 1..30 secondary (slot order)
  int firstField = 0;        // field number of the first key field
  bool caseInsensitive = false;
  std::uint32_t keyLength = 0;  // bytes per key, for the cost estimate
};

// A range of keys on the first key segment of an index, in the order of the
// values (the implementation swaps the bounds of a descending index and
// fills the bytes after the compared part).
enum class KeyRangeKind {
  kEqual,         // [low, low]
  kGreater,       // keys above low
  kGreaterEqual,  // [low, highest]
  kLess,          // keys below low (present values only)
  kLessEqual,     // [lowest present, low]
  kBetween,       // [low, high]
  kPrefix,        // strings whose first characters equal low.text
  kIsNull,        // keys whose presence byte is 0
  kNotNull,       // keys whose presence byte is 1
};

struct KeyRange {
  KeyRangeKind kind = KeyRangeKind::kEqual;
  sql::Value low;
  sql::Value high;
};

class FilterTable {
 public:
  virtual ~FilterTable() = default;

  // Number of slots in the data file (record numbers 1..SlotCount()).
  virtual std::uint32_t SlotCount() = 0;
  // Number of active (not deleted) records.
  virtual std::uint32_t ActiveRecordCount() = 0;
  // Sets the bits of the active records in `bitmap` (sized SlotCount()).
  virtual void MarkActiveRecords(TRecordsBitmap& bitmap) = 0;
  virtual std::uint32_t RecordLength() = 0;
  // True when the table has a locale (language id other than 0).
  virtual bool HasLocale() = 0;
  // True when field `fieldNo` holds text.
  virtual bool IsStringField(int fieldNo) = 0;
  // The indexes with key fields, in slot order (primary index first).
  virtual std::vector<FilterIndex> Indexes() = 0;

  // Number of keys of `index` inside `range`, through subtree counts.
  virtual std::uint64_t CountKeys(const FilterIndex& index, const KeyRange& range) = 0;
  // Sets the bit of every record whose key of `index` lies inside `range`.
  virtual void CollectKeys(const FilterIndex& index, const KeyRange& range,
                           TRecordsBitmap& bitmap) = 0;
  // Sets the bit of every record whose key lies below or above `range`
  // (the complement shortcut: the caller inverts the result).
  virtual void CollectOutside(const FilterIndex& index, const KeyRange& range,
                              TRecordsBitmap& bitmap) = 0;

  // The values of record n, read for a record-by-record test. The reference
  // stays valid until the next call.
  virtual const sql::RowAccessor& ReadRecord(std::uint32_t recordNo) = 0;
  // How the table's strings compare in record-by-record tests.
  virtual const sql::Collation& Collation() = 0;

  // Raw record images for scans, for tables that can hand them out. The
  // layout of the images (nullptr: none are offered, and FilterImages must
  // not be called).
  virtual const std::vector<TFieldDescriptor>* ImageLayout() { return nullptr; }
  // Clears the bit of every record n set in `records` for which
  // keep(n, image) is false, in ascending order of n. The image is valid
  // only during the call; `keep` may read records through ReadRecord.
  using ImageTest = std::function<bool(std::uint32_t recordNo, const std::uint8_t* image)>;
  virtual void FilterImages(TRecordsBitmap& /*records*/, const ImageTest& /*keep*/) {}
};

}  // namespace kura
