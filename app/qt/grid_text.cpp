#include "app/qt/grid_text.h"

#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QTableView>
#include <algorithm>

#include "app/qt/qt_look.h"

namespace sorabeku {
namespace {

// The space a cell's text keeps from the cell's sides, as the item
// delegate lays it out: the focus frame's margin and one pixel, each side.
int CellPadding(const QTableView& view) {
  const int margin =
      view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
  // One pixel of grid line, and a few for the text layout, which places
  // glyphs at fractions of a pixel and cuts a text that is a fraction too
  // wide.
  return 2 * margin + 1 + 4;
}

// The space a header section keeps around its title.
int HeaderPadding(const QHeaderView& header) {
  const int margin = header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
  return 2 * margin + 2 + 4;
}

QString Cut(const QFontMetrics& metrics, const QString& text, int width) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  return metrics.elidedText(text, Qt::ElideRight, width);
}

QString ShownText(const QTableView& view, int row, int column) {
  return view.model()->index(row, column).data(Qt::DisplayRole).toString();
}

}  // namespace

int CellWidthFor(const QTableView& view, const QString& text) {
  return view.fontMetrics().horizontalAdvance(text) + CellPadding(view);
}

int HeaderWidthFor(const QTableView& view, const QString& title) {
  const QHeaderView& header = *view.horizontalHeader();
  return header.fontMetrics().horizontalAdvance(title) + HeaderPadding(header);
}

QString DrawnCellText(const QTableView& view, int row, int column) {
  return Cut(view.fontMetrics(), ShownText(view, row, column),
             view.columnWidth(column) - CellPadding(view));
}

QString DrawnHeaderText(const QTableView& view, int column) {
  const QHeaderView& header = *view.horizontalHeader();
  const QString title =
      view.model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
  return Cut(header.fontMetrics(), title,
             header.sectionSize(column) - HeaderPadding(header));
}

QString DrawnRowIndicator(const QTableView& view, int row) {
  const QHeaderView& header = *view.verticalHeader();
  const QString text =
      view.model()->headerData(row, Qt::Vertical, Qt::DisplayRole).toString();
  const int margin = header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
  return Cut(header.fontMetrics(), text, header.width() - 2 * margin);
}

QString DrawnLabelText(const QLabel& label) {
  return Cut(label.fontMetrics(), label.text(), label.width());
}

// The width inside the frame of `view` left for its columns: without the
// row indicator and, when the rows do not fit, the vertical scroll bar.
int ColumnSpace(const QTableView& view) {
  int space = view.width() - 2 * view.frameWidth() - view.verticalHeader()->width();
  const int rowsHeight = view.model()->rowCount() * view.verticalHeader()->defaultSectionSize() +
                         view.horizontalHeader()->height();
  if (rowsHeight > view.height() - 2 * view.frameWidth()) {
    space -= view.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &view);
  }
  return space;
}

void FitGridColumns(QTableView& view, const std::vector<GridColumn>& columns,
                    double scale) {
  QHeaderView& indicator = *view.verticalHeader();
  const QHeaderView& header = *view.horizontalHeader();
  const int margin = header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
  const int indicatorWidth =
      indicator.fontMetrics().horizontalAdvance(QStringLiteral("999")) + 2 * margin;
  if (indicator.width() != indicatorWidth) indicator.setFixedWidth(indicatorWidth);

  const int rows = view.model()->rowCount();
  std::vector<int> widths;
  int used = 0;
  for (const GridColumn& column : columns) {
    const int c = static_cast<int>(widths.size());
    int width = std::max(Scaled(column.width, scale), HeaderWidthFor(view, QString::fromStdString(column.title)));
    if (!column.elides) {
      for (int r = 0; r < rows; ++r) {
        width = std::max(width, CellWidthFor(view, ShownText(view, r, c)));
      }
      used += width;
    }
    widths.push_back(width);
  }
  // A single cutting column takes the space the numbers leave, as long as
  // its title still fits: the grid then needs no horizontal scrolling.
  const long cutting = std::count_if(columns.begin(), columns.end(),
                                     [](const GridColumn& c) { return c.elides; });
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const int title = HeaderWidthFor(view, QString::fromStdString(columns[c].title));
    const int left = ColumnSpace(view) - used;
    if (columns[c].elides && cutting == 1 && left >= title) widths[c] = left;
    if (view.columnWidth(static_cast<int>(c)) != widths[c]) {
      view.setColumnWidth(static_cast<int>(c), widths[c]);
    }
  }
}

}  // namespace sorabeku
