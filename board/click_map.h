// Board geometry of the view and the mapping of a click to a point.
#pragma once

#include <optional>

#include "form/point.h"

namespace sorabeku {

inline constexpr int kBoardPixels = 536;  // the background square
inline constexpr int kCellPitch = 28;
inline constexpr int kGridOrigin = 16;    // first line, from the board's corner
inline constexpr int kLabelWidth = 26;
inline constexpr int kLabelHeight = 16;

struct Rect {
  int left;
  int top;
  int width;
  int height;
};

// The label rectangle of `point` (26 x 16 at 4 + 28c, 9 + 28r).
constexpr Rect LabelRect(PointIndex point) {
  return {4 + kCellPitch * ColumnOf(point), 9 + kCellPitch * RowOf(point),
          kLabelWidth, kLabelHeight};
}

// The picture cell of `point` (28 x 28 at 2 + 28c, 2 + 28r).
constexpr Rect PictureRect(PointIndex point) {
  return {2 + kCellPitch * ColumnOf(point), 2 + kCellPitch * RowOf(point),
          kCellPitch, kCellPitch};
}

// The point of a clicked label at (left, top) with the window scrolled by
// (scrollX, scrollY): column (sx + left - 3) div 28, row (sy + top - 8)
// div 28.
constexpr PointIndex PointOfLabel(int left, int top, int scrollX = 0,
                                  int scrollY = 0) {
  return PointOf((scrollX + left - 3) / kCellPitch,
                 (scrollY + top - 8) / kCellPitch);
}

// The label under board pixel (x, y), or nothing when (x, y) lies outside
// every label: only labels take clicks.
std::optional<PointIndex> LabelAt(int x, int y);

}  // namespace sorabeku
