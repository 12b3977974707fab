// DataSetGridSource: a query result as the rows a grid shows (DBGrid1 over
// the contents, DBGrid2 and DBEdit1 over the problem rows).
//
// The grid reads whole rows, while a dataset shows one current row; so
// RowCount, which the window calls once after every event, reads every row
// into a snapshot (bound controls detached, the current row kept), and
// Text answers from that snapshot. While a row is being edited the snapshot
// is kept and the edited row shows its pending values.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/component/data_set.h"
#include "form/grid_source.h"

namespace sorabeku {

class DataSetGridSource final : public GridSource {
 public:
  // `rows` must outlive the source; it may be closed (no rows).
  explicit DataSetGridSource(kura::TDataSet& rows) : rows_(rows) {}

  // Takes a fresh snapshot of the rows and returns their number.
  int RowCount() const override;
  int CurrentRow() const override;
  // Makes `row` current; a pending edit of the row before is stored.
  void MoveTo(int row) override;
  // Field `field` of `row` in the last snapshot; "" outside it.
  std::string Text(int row, const std::string& field) const override;
  // Makes `row` current, writes `value` (empty clears the field) and stores
  // the row. Throws what the dataset throws (then the row is not stored
  // and its pending change is discarded).
  void SetText(int row, const std::string& field,
               const std::string& value) override;
  // Appends a row with the given fields, stores it and leaves it current.
  void Append(const std::map<std::string, std::string>& values) override;
  // Makes `row` current and deletes it; nothing outside the rows.
  void Delete(int row) override;

 private:
  void TakeSnapshot() const;
  void ReturnTo(int recNo) const;
  int FieldIndex(const std::string& field) const;
  void Assign(int index, const std::string& value);

  kura::TDataSet& rows_;
  mutable std::vector<std::vector<std::string>> snapshot_;
};

}  // namespace sorabeku
