#include "app/qt/cute_button.h"

#include <QPainter>

#include "app/qt/qt_look.h"

namespace sorabeku {
namespace {

// A one-pixel bevel inside `r`: light top-left and dark bottom-right when
// raised, the other way round when lowered.
void DrawBevel(QPainter& p, QRect r, const QColor& face, bool raised) {
  const QColor light = face.lighter(150);
  const QColor dark = face.darker(160);
  p.setPen(raised ? light : dark);
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(raised ? dark : light);
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
}

}  // namespace

CuteButton::CuteButton(const QString& caption, WinColour colour,
                       QWidget* parent)
    : QAbstractButton(parent), colour_(colour) {
  setText(caption);
  setFont(WindowFont());
}

void CuteButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor face = ToQColor(colour_);
  const QRect outer = rect().adjusted(0, 0, -1, -1);
  p.fillRect(rect(), face);
  p.setPen(face.darker(200));
  p.drawRect(outer);
  const bool pressed = isDown();
  DrawBevel(p, outer.adjusted(1, 1, -1, -1), face, !pressed);
  if (hover_ && !pressed) DrawBevel(p, outer.adjusted(2, 2, -2, -2), face, true);
  p.setPen(Qt::black);
  p.setFont(font());
  const QRect textRect = pressed ? rect().translated(1, 1) : rect();
  p.drawText(textRect, Qt::AlignCenter, text());
}

void CuteButton::enterEvent(QEnterEvent* event) {
  hover_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void CuteButton::leaveEvent(QEvent* event) {
  hover_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

}  // namespace sorabeku
