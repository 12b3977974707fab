#include "yose/yose_solver.h"
#include <algorithm>

namespace sorabeku::yose {

YoseSolver::YoseSolver(const LocalArea& area, Colour koWinner) : area_(area), koWinner_(koWinner) {
  table_.reserve(1 << 16);
}

std::vector<LocalMove> YoseSolver::Moves(const LocalBoard& board, Colour c) const {
  std::vector<LocalMove> out;
  for (int cell : area_.cells) {
    if (board.at(cell) != Cell::kEmpty || board.IsOwnEye(cell, c)) continue;
    LocalMove m{cell, c, 0, board};
    const PlayResult r = m.after.Play(cell, c);
    if (!r.legal || (r.koCapture && c != koWinner_)) continue;
    m.captured = r.captured;
    out.push_back(std::move(m));
  }
  return out;
}

const Thermograph& YoseSolver::Solve(const LocalBoard& board) {
  int low = 0;
  return Search(board, 0, low);
}

// `low` becomes the shallowest depth of the line that this position's
// value depends on: a move back to a position on the line is not played
// (no position may repeat), so a value that met such a position holds only
// below it and is not kept in the table.
const Thermograph& YoseSolver::Search(const LocalBoard& board, int depth, int& low) {
  low = kNoLoop;
  const std::uint64_t key = board.hash();
  if (auto it = table_.find(key); it != table_.end()) return it->second;
  if (table_.size() >= kMaxPositions) {
    throw SearchTooLarge("the local search passed " + std::to_string(kMaxPositions) +
                         " positions; give a smaller region");
  }
  onPath_.emplace(key, depth);
  std::vector<Thermograph> black, white;
  for (Colour c : {Colour::kBlack, Colour::kWhite}) {
    for (const LocalMove& m : Moves(board, c)) {
      if (auto on = onPath_.find(m.after.hash()); on != onPath_.end()) {
        sawLoop_ = true;
        low = std::min(low, on->second);
        continue;
      }
      int childLow = kNoLoop;
      const Thermograph v = Search(m.after, depth + 1, childLow).Shifted(SignOf(m.colour) * m.captured);
      low = std::min(low, childLow);
      (c == Colour::kBlack ? black : white).push_back(v);
    }
  }
  onPath_.erase(key);
  Thermograph g = CombineOptions(black, white, Standing(board));
  if (low >= depth) {
    low = kNoLoop;
    return table_.emplace(key, std::move(g)).first->second;
  }
  uncached_ = std::move(g);  // the caller copies it before searching on
  return uncached_;
}

}  // namespace sorabeku::yose
