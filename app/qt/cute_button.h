// CuteButton: a panel-like button with a raised inner bevel in its own
// colour; a second raised bevel while the mouse is over it, a lowered one
// while it is pressed. A click is an ordinary click.
#pragma once

#include <QAbstractButton>

#include "form/win_colour.h"

namespace sorabeku {

class CuteButton : public QAbstractButton {
  Q_OBJECT
 public:
  CuteButton(const QString& caption, WinColour colour, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  WinColour colour_;
  bool hover_ = false;
};

}  // namespace sorabeku
