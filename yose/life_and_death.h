// Life and death inside the local area: can the block at a cell be
// captured, with a given side to move, both sides playing only in the
// area (and free to pass)? Searched twice, once with the attacker winning
// every ko and once with the defender winning it.
#pragma once

#include <string>

#include "yose/local_area.h"

namespace sorabeku::yose {

enum class Fate { kLives, kDies, kKo };

// The fate of the block at `cell` of `board` (a position of `area`) with
// `toMove` to play. A block that is already gone dies. Throws
// SearchTooLarge when the search passes its bound.
Fate FateOfBlock(const LocalArea& area, const LocalBoard& board, int cell, Colour toMove);

// Whether a block left on the board when play has ended is dead: it has
// not two eyes of its own, and no move of its owner on one of its
// liberties joins it to a wall or takes stones. A quick judgement for the
// count of an ended position; FateOfBlock reads the block out in full.
bool DeadAtEnd(const LocalBoard& board, const std::vector<int>& area, int cell);

// "生き", "死に", "コウ".
std::string FateName(Fate fate);

}  // namespace sorabeku::yose
