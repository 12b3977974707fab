// The solver's answer for one local area: the value of the position with
// best play, the value of a given first move, the best moves, whether a
// ko decides it, and the fate of the groups inside the area afterwards.
#pragma once

#include <optional>
#include <vector>

#include "yose/life_and_death.h"
#include "yose/move_value.h"

namespace sorabeku::yose {

struct BlockFate {
  int cell = 0;  // the block's first cell
  Colour colour = Colour::kNone;
  Fate fate = Fate::kLives;
};

struct LocalResult {
  MoveValue value;              // with Black winning every ko
  std::optional<MoveValue> ifWhiteWinsKo;  // set when a ko changes the value
  bool loop = false;            // a line that repeats other than by a plain ko
  std::vector<int> bestBlack, bestWhite;   // best first moves (cells)
  std::size_t positions = 0;    // positions searched
};

// The position's value with best play by both sides.
LocalResult AnalysePosition(const LocalArea& area);

struct MoveResult {
  LocalResult position;         // the position before the move, best play
  MoveValue value;              // the move as the first move (Black winning kos)
  std::optional<MoveValue> ifWhiteWinsKo;
  std::vector<BlockFate> fates;  // after the move, the other side to play
  bool legal = true;
};

// The value of `colour` playing first at `cell`, and what becomes of each
// group in the area after it.
MoveResult AnalyseMove(const LocalArea& area, int cell, Colour colour);

// The blocks of stones inside the area (one cell each).
std::vector<BlockFate> AreaBlocks(const LocalArea& area, const LocalBoard& board);

}  // namespace sorabeku::yose
