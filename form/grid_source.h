// The rows a grid shows: the problem library adapts its query datasets to
// this, and the window's table models read it.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "form/screen_model.h"

namespace sorabeku {

class GridSource {
 public:
  virtual ~GridSource() = default;
  // Rows of the result, and the current one (0-based; -1 when empty).
  virtual int RowCount() const = 0;
  virtual int CurrentRow() const = 0;
  // Makes `row` current (storing a pending edit of the row before).
  virtual void MoveTo(int row) = 0;
  // The text of field `field` (a column name such as "MNB") in `row`.
  virtual std::string Text(int row, const std::string& field) const = 0;
  // Writes `value` into `field` of `row` and stores the row. Throws the
  // engine's error when the value cannot be stored.
  virtual void SetText(int row, const std::string& field,
                       const std::string& value) = 0;
  // Appends a row with the given field values, stores it and makes it
  // current.
  virtual void Append(const std::map<std::string, std::string>& values) = 0;
  // Deletes `row` from the table; the row after it becomes current. Throws
  // the engine's error when the row cannot be deleted. The default throws
  // std::logic_error: rows that cannot be deleted.
  virtual void Delete(int row);
};

// A grid column: the field shown, its title and its least width in pixels.
// Every column grows to show its title whole, a column of numbers also
// every number; a text column that `elides` cuts long texts (the grid
// shows them whole as a tooltip).
struct GridColumn {
  std::string field;
  std::string title;
  int width;
  bool elides = false;
};

// The columns of the table of contents (DBGrid1) and of the problem rows
// (DBGrid2).
std::vector<GridColumn> ContentsColumns();
std::vector<GridColumn> ProblemRowColumns();

// The row of `rows` (from 0) whose comment the comment field shows and
// edits: the current row, or on the training screen the question row of
// `link` while the current row is the base diagram's end row. -1 when
// `rows` has none.
int CommentRow(const GridSource& rows, const CommentLink& link, bool training);

}  // namespace sorabeku
