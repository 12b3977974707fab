// The board: one widget that paints the background, the grid lines, the
// star points, the stone pictures and the label texts of the screen model,
// back to front, and reports presses on a label.
#pragma once

#include <QWidget>

#include "app/qt/stone_pictures.h"
#include "board/board_frame.h"
#include "form/screen_model.h"

namespace sorabeku {

class BoardWidget : public QWidget {
  Q_OBJECT
 public:
  // `screen` and `stones` must outlive the widget.
  BoardWidget(const ScreenModel& screen, const StonePictures& stones,
              QWidget* parent);

  // The scale and the coordinates' bands; the widget takes the frame's size.
  void SetFrame(const BoardFrame& frame);
  const BoardFrame& frame() const { return frame_; }

 signals:
  // A mouse button went down on the label of a point, whose rectangle
  // starts at (left, top).
  void labelPressed(int left, int top, Qt::MouseButton button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void PaintStones(QPainter& p);

  const ScreenModel& screen_;
  const StonePictures& stones_;
  BoardFrame frame_;
};

}  // namespace sorabeku
