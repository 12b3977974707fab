#include "yose/local_analysis.h"

#include <set>

namespace sorabeku::yose {
namespace {

std::vector<int> CellsOf(const std::vector<LocalMove>& moves) {
  std::vector<int> out;
  for (const LocalMove& m : moves) out.push_back(m.cell);
  return out;
}

// The move of colour at cell among the moves the solver considers.
std::optional<LocalMove> FindMove(YoseSolver& s, const LocalBoard& b, int cell, Colour colour) {
  for (LocalMove& m : s.Moves(b, colour)) {
    if (m.cell == cell) return m;
  }
  // A move the search leaves out (filling one's own eye) is still a move.
  LocalMove m{cell, colour, 0, b};
  const PlayResult r = m.after.Play(cell, colour);
  if (!r.legal) return std::nullopt;
  m.captured = r.captured;
  return m;
}

bool SameValue(const MoveValue& a, const MoveValue& b) {
  return a.kind == b.kind && a.blackFirst == b.blackFirst && a.whiteFirst == b.whiteFirst;
}

// Lets the White-wins-ko solver answer from the Black one when the area
// is its own image with the colours swapped.
void Pair(const LocalArea& area, YoseSolver& black, YoseSolver& white) {
  for (const AreaSymmetry& s : FindSymmetries(area)) {
    if (s.swapsColours) {
      white.AnswerFrom(black, s);
      return;
    }
  }
}

}  // namespace

LocalResult AnalyseWith(YoseSolver& black, YoseSolver& white, const LocalArea& area);

LocalResult AnalysePosition(const LocalArea& area) {
  YoseSolver black(area, Colour::kBlack), white(area, Colour::kWhite);
  Pair(area, black, white);
  return AnalyseWith(black, white, area);
}

LocalResult AnalyseWith(YoseSolver& black, YoseSolver& white, const LocalArea& area) {
  LocalResult r;
  r.value = ValueOf(black, area.board, nullptr, nullptr);
  const MoveValue w = ValueOf(white, area.board, nullptr, nullptr);
  if (!SameValue(r.value, w)) r.ifWhiteWinsKo = w;
  r.bestBlack = CellsOf(BestMoves(black, area.board, Colour::kBlack));
  r.bestWhite = CellsOf(BestMoves(white, area.board, Colour::kWhite));
  r.loop = black.sawLoop() || white.sawLoop();
  r.positions = black.positions() + white.positions();
  return r;
}

MoveResult AnalyseMove(const LocalArea& area, int cell, Colour colour) {
  MoveResult out;
  YoseSolver black(area, Colour::kBlack), white(area, Colour::kWhite);
  Pair(area, black, white);
  out.position = AnalyseWith(black, white, area);
  const std::optional<LocalMove> mb = FindMove(black, area.board, cell, colour);
  if (!mb) {
    out.legal = false;
    return out;
  }
  const bool isBlack = colour == Colour::kBlack;
  out.value = ValueOf(black, area.board, isBlack ? &*mb : nullptr, isBlack ? nullptr : &*mb);
  const MoveValue w = ValueOf(white, area.board, isBlack ? &*mb : nullptr, isBlack ? nullptr : &*mb);
  if (!SameValue(out.value, w)) out.ifWhiteWinsKo = w;
  for (BlockFate f : AreaBlocks(area, mb->after)) {
    f.fate = FateOfBlock(area, mb->after, f.cell, Opponent(colour));
    out.fates.push_back(f);
  }
  return out;
}

std::vector<BlockFate> AreaBlocks(const LocalArea& area, const LocalBoard& board) {
  std::vector<BlockFate> out;
  std::set<int> seen;
  for (int start : area.cells) {
    const Cell v = board.at(start);
    if ((v != Cell::kBlack && v != Cell::kWhite) || seen.count(start)) continue;
    const bool wall = board.Liberties(start, kCells) == kCells;
    std::vector<int> todo{start};
    seen.insert(start);
    while (!todo.empty()) {
      const int at = todo.back();
      todo.pop_back();
      for (int step : kSteps) {
        if (board.at(at + step) == v && seen.insert(at + step).second) todo.push_back(at + step);
      }
    }
    if (!wall) out.push_back({start, v == Cell::kBlack ? Colour::kBlack : Colour::kWhite, Fate::kLives});
  }
  return out;
}

}  // namespace sorabeku::yose
