#include "app/qt/grid_text.h"

#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QTableView>
#include <algorithm>

namespace sorabeku {
namespace {

// The space a cell's text keeps from the cell's sides, as the item
// delegate lays it out: the focus frame's margin and one pixel, each side.
int CellPadding(const QTableView& view) {
  const int margin =
      view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
  return 2 * margin + 1;  // and one pixel of grid line
}

// The space a header section keeps around its title.
int HeaderPadding(const QHeaderView& header) {
  const int margin = header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
  return 2 * margin + 2;
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
  return Cut(header.fontMetrics(), text, header.width() - HeaderPadding(header));
}

QString DrawnLabelText(const QLabel& label) {
  return Cut(label.fontMetrics(), label.text(), label.width());
}

void FitGridColumns(QTableView& view, const std::vector<GridColumn>& columns) {
  const int rows = view.model()->rowCount();
  for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
    int width = std::max(columns[c].width,
                         HeaderWidthFor(view, QString::fromStdString(columns[c].title)));
    if (!columns[c].elides) {
      for (int r = 0; r < rows; ++r) {
        width = std::max(width, CellWidthFor(view, ShownText(view, r, c)));
      }
    }
    if (view.columnWidth(c) != width) view.setColumnWidth(c, width);
  }
  QHeaderView& indicator = *view.verticalHeader();
  const int indicatorWidth =
      indicator.fontMetrics().horizontalAdvance(QStringLiteral("999")) +
      HeaderPadding(indicator);
  if (indicator.width() != indicatorWidth) indicator.setFixedWidth(indicatorWidth);
}

}  // namespace sorabeku
