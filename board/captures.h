// The board model's one rule: after a stone is placed, adjacent groups of
// the other colour without an empty neighbour are taken off and logged so
// that the move can be taken back.
#pragma once

#include <array>

#include "board/board_context.h"

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

// Takes off every group of the colour opposite to Board[p] that touches p
// and has no empty neighbour, clearing its cells and appending one capture
// record per stone in increasing point order. The stone at p is never
// taken itself. Does nothing unless |Board[p]| is 1 or 2.
//
// Record keys: with edit moves (EditCount > 0) MoveKey is EditCount and
// StoneNumber is moveNumber. Otherwise MoveKey is the TES of the current
// problem row and StoneNumber the TES of the last row before it that put a
// stone on the captured point; the problem rows are left on the row that
// was current. With no problem rows open, MoveKey is moveNumber and
// StoneNumber 0.
//
// A record goes to slot CaptureLogCount + 1, or to the first free slot when
// that one is still in use; when all 100 slots are used the stone is taken
// off without a record. Throws whatever the problem rows throw.
void RemoveCaptures(BoardContext& board, int moveNumber, PointIndex p);

// Puts back every logged stone whose MoveKey is `key`, slot by slot: board
// value, picture and, when withNumbers and StoneNumber > 0, its number in
// white on black or black on white. Frees the slots; ColourToPlay ends as
// the colour of the last stone put back.
void RestoreCaptures(BoardContext& board, int key, bool withNumbers);

}  // namespace sorabeku
