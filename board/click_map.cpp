#include "board/click_map.h"

namespace sorabeku {

std::optional<PointIndex> LabelAt(int x, int y) {
  if (x < 4 || y < 9) return std::nullopt;
  const int column = (x - 4) / kCellPitch;
  const int row = (y - 9) / kCellPitch;
  if (column >= kBoardSize || row >= kBoardSize) return std::nullopt;
  const Rect r = LabelRect(PointOf(column, row));
  if (x >= r.left + r.width || y >= r.top + r.height) return std::nullopt;
  return PointOf(column, row);
}

}  // namespace sorabeku
