#include "app/qt/board_widget.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/qt/qt_look.h"
#include "board/click_map.h"

namespace sorabeku {
namespace {

constexpr int kLineLength = 504;
constexpr int kStarPoints[] = {98, 266, 434};

void PaintGrid(QPainter& p) {
  for (int i = 0; i < kBoardSize; ++i) {
    const int thickness = (i == 0 || i == kBoardSize - 1) ? 2 : 1;
    const int at = kGridOrigin + kCellPitch * i;
    p.fillRect(kGridOrigin, at, kLineLength, thickness, Qt::black);  // row
    p.fillRect(at, kGridOrigin, thickness, kLineLength, Qt::black);  // column
  }
  p.setPen(Qt::black);
  p.setBrush(Qt::black);
  for (int x : kStarPoints) {
    for (int y : kStarPoints) p.drawEllipse(QRect(x, y, 5, 5));
  }
}

void PaintLabel(QPainter& p, const Cell& cell, PointIndex point) {
  const Rect r = LabelRect(point);
  const QRect rect(r.left, r.top, r.width, r.height);
  if (cell.opaque) p.fillRect(rect, ToQColor(kBoardColour));
  if (cell.text.empty() || cell.text == " ") return;
  p.setFont(WindowFont(cell.bold));
  p.setPen(ToQColor(cell.colour));
  p.drawText(rect, Qt::AlignCenter, QString::fromStdString(cell.text));
}

}  // namespace

BoardWidget::BoardWidget(const ScreenModel& screen, const StonePictures& stones,
                         QWidget* parent)
    : QWidget(parent), screen_(screen), stones_(stones) {
  setFixedSize(kBoardPixels, kBoardPixels);
  // A click on the board takes the focus from a grid: the keys of the
  // training screen work again.
  setFocusPolicy(Qt::ClickFocus);
}

void BoardWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(0, 0, kBoardPixels, kBoardPixels, ToQColor(kBoardColour));
  PaintGrid(p);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  for (PointIndex n = 1; n <= kPointCount; ++n) {
    const Picture picture = screen_.cells[n].picture;
    if (picture == Picture::kNone) continue;
    const Rect r = PictureRect(n);
    p.drawPixmap(QRect(r.left, r.top, r.width, r.height),
                 picture == Picture::kBlack ? stones_.black() : stones_.white());
  }
  p.setRenderHint(QPainter::TextAntialiasing);
  for (PointIndex n = 1; n <= kPointCount; ++n) PaintLabel(p, screen_.cells[n], n);
}

void BoardWidget::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const auto point = LabelAt(at.x(), at.y());
  if (!point) return;  // only labels take clicks
  const Rect r = LabelRect(*point);
  emit labelPressed(r.left, r.top, event->button());
}

}  // namespace sorabeku
