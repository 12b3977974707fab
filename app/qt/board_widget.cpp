#include "app/qt/board_widget.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

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

// Column numbers above the board, row numbers beside it, in the bands of
// the frame (the painter is at the board square's corner).
void PaintCoordinates(QPainter& p, const BoardFrame& frame) {
  p.setFont(WindowFont());
  p.setPen(Qt::black);
  for (int i = 0; i < kBoardSize; ++i) {
    const int at = kGridOrigin + kCellPitch * i;
    p.drawText(QRect(at - kCellPitch / 2, -frame.top(), kCellPitch, frame.top()),
               Qt::AlignCenter, QString::number(i + 1));
    p.drawText(QRect(-frame.left(), at - kCellPitch / 2, frame.left(), kCellPitch),
               Qt::AlignCenter, QString::fromStdString(RowName(i + 1)));
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

void BoardWidget::SetFrame(const BoardFrame& frame) {
  frame_ = frame;
  setFixedSize(static_cast<int>(std::lround(frame.width() * frame.scale)),
               static_cast<int>(std::lround(frame.height() * frame.scale)));
  update();
}

void BoardWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), ToQColor(kBoardColour));
  // One transform for all that follows, as for the clicks (BoardFrame).
  p.scale(frame_.scale, frame_.scale);
  p.translate(frame_.left(), frame_.top());
  PaintGrid(p);
  PaintStones(p);
  p.setRenderHint(QPainter::TextAntialiasing);
  if (frame_.coordinates) PaintCoordinates(p, frame_);
  for (PointIndex n = 1; n <= kPointCount; ++n) PaintLabel(p, screen_.cells[n], n);
}

// At 1x on an ordinary screen the shipped bitmaps; at any other density a
// picture made for the stone's size on the screen, so that it stays sharp.
void BoardWidget::PaintStones(QPainter& p) {
  const double density = frame_.scale * devicePixelRatioF();
  const int pixels = static_cast<int>(std::lround(kCellPitch * density));
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  for (PointIndex n = 1; n <= kPointCount; ++n) {
    const Picture picture = screen_.cells[n].picture;
    if (picture == Picture::kNone) continue;
    const Rect r = PictureRect(n);
    const bool black = picture == Picture::kBlack;
    if (density == 1.0) {
      p.drawPixmap(QRect(r.left, r.top, r.width, r.height),
                   black ? stones_.black() : stones_.white());
    } else {
      const QPixmap& stone = stones_.Sized(black, pixels);
      p.drawPixmap(QRectF(r.left, r.top, r.width, r.height), stone,
                   QRectF(stone.rect()));
    }
  }
}

void BoardWidget::mousePressEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  const auto point = frame_.LabelAtWidget(at.x(), at.y());
  if (!point) return;  // only labels take clicks
  const Rect r = LabelRect(*point);
  emit labelPressed(r.left, r.top, event->button());
}

}  // namespace sorabeku
