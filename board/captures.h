// The board model's one rule: after a stone is placed, adjacent groups of
// the other colour without an empty neighbour are taken. The rule reads the
// board and names what the stone takes; the capture log (capture_log.h)
// takes those stones off the board and the screen and records them so that
// the move can be taken back.
#pragma once

#include <array>
#include <vector>

#include "form/main_state.h"

namespace sorabeku {

// Code given for a side that lies beyond the board edge.
inline constexpr int kEdgeCode = 3;

struct Neighbour {
  int Code = kEdgeCode;  // |Board| of the neighbour, or kEdgeCode
  PointIndex Point = 0;  // 0 beyond the edge
};

// The four neighbours of p (1..361) in the order above, below, left, right.
// Pure reading of state.Board; uses BoardWidth and PointCount.
std::array<Neighbour, 4> ComputeNeighbours(const MainState& state,
                                           PointIndex p);

// The stones one placed stone takes: their colour and their points in
// increasing point order (none: Colour 0, no points).
struct Captures {
  int Colour = 0;
  std::vector<PointIndex> Points;
};

// Every stone of the groups of the colour opposite to Board[p] that touch p
// and have no empty neighbour. The stone at p is never taken itself. Takes
// nothing unless p is on the board and |Board[p]| is 1 or 2. Reads
// state.Board only and changes nothing.
Captures CapturesOf(const MainState& state, PointIndex p);

}  // namespace sorabeku
