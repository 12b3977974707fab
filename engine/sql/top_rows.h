// ORDER BY with TOP n over a canned result: the result table is cut back to
// its first n rows in that order whenever it has grown by a batch, so that
// it never holds many more rows than n. After a cut, a row whose order
// values (numbers, dates and times) come after those of the n-th row is
// not written at all: it could not be among the first n.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/sql/canned_execution.h"
#include "engine/storage/record_file_sort.h"

namespace kura::sql {

class TopRows {
 public:
  explicit TopRows(const CannedRun& run);
  // Whether the result row `image` comes after the n rows kept so far (a
  // row equal to the n-th in every order value comes after it too: the
  // sort keeps the source order among equal rows).
  bool Beyond(const std::uint8_t* image) const;
  // After a row was appended to the result table: cuts it back when due.
  void Appended();
  // The select-list items (from 0) that the order reads.
  const std::vector<std::size_t>& OrderColumns() const { return columns_; }
  bool IsOrderColumn(std::size_t i) const {
    return std::find(columns_.begin(), columns_.end(), i) != columns_.end();
  }
  // Rows in the result table.
  std::int64_t Kept() const { return kept_; }

 private:
  void Cut();

  const CannedRun& run_;
  std::vector<SortField> order_;
  std::vector<std::size_t> columns_;
  std::int64_t batch_;
  std::int64_t kept_ = 0;
  std::vector<Value> last_;  // the order values of row n after a cut
};

// The result table's fields of the query's ORDER BY, with their directions.
std::vector<SortField> OrderFields(const CannedRun& run);

}  // namespace kura::sql
