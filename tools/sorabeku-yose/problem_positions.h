// The branch points of a problem's game tree as positions the endgame
// solver can read: the stones on the board at that point (captures made
// by the solver's own rule) and the continuations offered there.
#pragma once

#include <string>
#include <vector>

#include "library/sgf_tree.h"
#include "yose/local_area.h"

namespace sorabeku::tool {

struct Continuation {
  int cell = 0;  // the first move (a cell of yose::CellAt)
  yose::Colour colour = yose::Colour::kNone;
  bool green = false;  // TE[1]: offered as the good answer
  bool red = false;    // BM[1]
  std::string comment;
  // The moves of the continuation's whole main line, the first included.
  std::vector<std::pair<int, yose::Colour>> line;
  yose::Position end{};  // the position at the end of that line
};

struct BranchPoint {
  int movesBefore = 0;  // moves played from the base diagram to here
  yose::Position position{};
  std::vector<Continuation> continuations;
};

// Thrown for a tree the solver cannot follow: a move on an occupied point
// or one that leaves its own stones without a liberty and captures nothing.
class LineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The base diagram of a root node (AB, AW).
yose::Position BasePosition(const SgfNode& root);

// Every point where the tree branches (or where a TE/BM continuation
// starts), in tree order. Throws LineError and SgfError.
std::vector<BranchPoint> BranchPoints(const SgfNode& root);

// The position after colour plays at cell; throws LineError when illegal.
yose::Position Played(const yose::Position& p, int cell, yose::Colour colour);

// "ob": the SGF letters of a cell.
std::string CellName(int cell);

}  // namespace sorabeku::tool
