// Board points: 1..361, numbered column by column from the top-left corner.
#pragma once

namespace sorabeku {

// A board point, 1..361; 0 means no point.
using PointIndex = int;

inline constexpr int kBoardSize = 19;
inline constexpr int kPointCount = kBoardSize * kBoardSize;

// The point of column `column` and row `row`, both 0..18.
constexpr PointIndex PointOf(int column, int row) {
  return column * kBoardSize + row + 1;
}
// The column (0..18) of point 1..361.
constexpr int ColumnOf(PointIndex p) { return (p - 1) / kBoardSize; }
// The row (0..18) of point 1..361.
constexpr int RowOf(PointIndex p) { return (p - 1) % kBoardSize; }
// True for 1..361.
constexpr bool IsOnBoard(PointIndex p) { return p >= 1 && p <= kPointCount; }

}  // namespace sorabeku
