// The local area of an endgame position: the points where local play
// happens, taken from a whole-board position and a region of points.
// The area holds the region's empty points and every block touching them
// whose liberties all lie in the region (such a block can be captured by
// local play). Every other block is a wall: it has a liberty outside and
// local play cannot take it. Empty points outside the area are territory
// of the colour that alone surrounds them, or open space.
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "yose/local_board.h"

namespace sorabeku::yose {

// The largest region solved: more empty points are refused, so that a
// search never runs for minutes or fills the memory.
inline constexpr int kMaxEmptyPoints = 16;
// Stones in the area that may be captured (and so become empty later).
inline constexpr int kMaxAreaPoints = 32;

class RegionTooLarge : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A whole 19×19 position: the colour on column x, row y at [x][y].
using Position = std::array<std::array<Colour, 19>, 19>;

struct LocalArea {
  LocalBoard board;        // the position, cells outside the area as walls
  std::vector<int> cells;  // the area's cells
  int emptyPoints = 0;
};

// The area of `region` (cells, see CellAt) in `position`. Throws
// RegionTooLarge with a message naming the size and the limit.
LocalArea MakeLocalArea(const Position& position, const std::vector<int>& region);

// The empty points within `steps` steps of the given points, walking over
// empty points only (the given points themselves when empty).
std::vector<int> RegionAround(const Position& position, const std::vector<int>& points, int steps);

// The empty points reachable from the given points over empty points.
std::vector<int> EnclosedRegion(const Position& position, const std::vector<int>& points);

}  // namespace sorabeku::yose
