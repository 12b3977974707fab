// What a grid draws of its texts: the width a column needs to show a text
// whole, and the text as drawn in a cell or a header (cut with "…" when it
// does not fit). The window sizes its columns with the first; the driver's
// dump reports the second, so that both use one measure.
#pragma once

#include <QString>
#include <vector>

#include "form/grid_source.h"

class QLabel;
class QTableView;

namespace sorabeku {

// The width of a cell of `view` that shows `text` whole.
int CellWidthFor(const QTableView& view, const QString& text);
// The width of a header section of `view` that shows `title` whole.
int HeaderWidthFor(const QTableView& view, const QString& title);

// The text of cell (row, column) as drawn: whole, or cut with "…".
QString DrawnCellText(const QTableView& view, int row, int column);
// The title of `column` as drawn in the horizontal header.
QString DrawnHeaderText(const QTableView& view, int column);
// The row indicator of `row` (from 0) as drawn in the vertical header.
QString DrawnRowIndicator(const QTableView& view, int row);
// A label's text as drawn: whole, or cut at its width, with "…" to show it.
QString DrawnLabelText(const QLabel& label);

// Sets the widths of `view`'s columns: each at least its designed width
// and its title's, columns that do not elide wide enough for every text in
// them; a grid's one cutting column takes the width the others leave when
// that holds its title. The row indicator is made wide enough for three
// digits.
void FitGridColumns(QTableView& view, const std::vector<GridColumn>& columns,
                    double scale = 1.0);

}  // namespace sorabeku
