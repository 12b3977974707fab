// Where the board is drawn in its widget: scaled by the window's scale, and
// moved right and down by the bands of the coordinates when they are shown.
// Painting and click mapping both go through this one transform, so that a
// click lands on the same point at every scale.
#pragma once

#include <optional>
#include <string>

#include "board/click_map.h"

namespace sorabeku {

// The bands around the board that hold the coordinates, in board pixels.
inline constexpr int kCoordinateTop = 16;   // column numbers 1-19
inline constexpr int kCoordinateLeft = 24;  // row numbers 一-十九

struct WidgetPoint {
  double x;
  double y;
};

struct BoardFrame {
  double scale = 1.0;
  bool coordinates = false;

  // Where the board square starts, in unscaled pixels.
  int left() const { return coordinates ? kCoordinateLeft : 0; }
  int top() const { return coordinates ? kCoordinateTop : 0; }
  // The whole drawing, bands included, in unscaled pixels.
  int width() const { return kBoardPixels + left(); }
  int height() const { return kBoardPixels + top(); }

  // The widget pixel of board pixel (x, y).
  WidgetPoint ToWidget(double x, double y) const {
    return {(x + left()) * scale, (y + top()) * scale};
  }
  // The label under widget pixel (x, y), or nothing (LabelAt).
  std::optional<PointIndex> LabelAtWidget(double x, double y) const;
};

// The coordinates as the comments write them ("2の一"): columns 1-19 from
// the left, rows 一-十九 from the top. `n` from 1.
std::string ColumnName(int n);
std::string RowName(int n);

}  // namespace sorabeku
