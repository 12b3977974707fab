#include "yose/move_value.h"

#include <algorithm>
#include <limits>

namespace sorabeku::yose {
namespace {

constexpr double kNoFollowUp = -std::numeric_limits<double>::infinity();

struct Side {
  double gote = 0;             // mean of the position after the move
  double sente = 0;            // mean after the move and the best answer
  double followUp = kNoFollowUp;  // temperature of the position after the move
};

// What one side's move leads to: its mean, its temperature (how hot the
// follow-up is), and the count once the other side has answered, read off
// the answerer's wall just below that temperature: the wall's line there
// is the count after the answer plus the tax on the moves played, so its
// value at t = 0 is the count (smaller play left counted at its mean).
Side SideOf(YoseSolver& solver, const LocalMove& move) {
  const Thermograph g = solver.Value(move);
  Side s;
  s.gote = s.sente = g.mean;
  if (g.IsSettled() || g.temperature <= 0) return s;
  s.followUp = g.temperature;
  const WallLine& answer = move.colour == Colour::kBlack ? g.right : g.left;
  const double t = g.temperature;
  s.sente = answer.At(t) - answer.SlopeBelow(t) * t;
  return s;
}

}  // namespace

std::vector<LocalMove> BestMoves(YoseSolver& solver, const LocalBoard& board, Colour c) {
  const Thermograph& g = solver.Solve(board);
  const double t = std::max(0.0, g.temperature);
  std::vector<LocalMove> moves = solver.Moves(board, c);
  std::vector<std::pair<double, double>> keys;
  for (const LocalMove& m : moves) {
    const Thermograph v = solver.Value(m);
    const double s = SignOf(c);
    keys.emplace_back(s * (c == Colour::kBlack ? v.right.At(t) : v.left.At(t)), s * v.mean);
  }
  std::vector<LocalMove> best;
  if (moves.empty()) return best;
  const auto top = *std::max_element(keys.begin(), keys.end());
  for (std::size_t i = 0; i < moves.size(); ++i) {
    if (keys[i] == top) best.push_back(moves[i]);
  }
  return best;
}

MoveValue ValueOf(YoseSolver& solver, const LocalBoard& board, const LocalMove* black,
                  const LocalMove* white) {
  const Thermograph& g = solver.Solve(board);
  MoveValue out;
  const bool bothBest = !black && !white;
  std::vector<LocalMove> bestB, bestW;
  if (!black) {
    bestB = BestMoves(solver, board, Colour::kBlack);
    if (!bestB.empty()) black = &bestB.front();
  }
  if (!white) {
    bestW = BestMoves(solver, board, Colour::kWhite);
    if (!bestW.empty()) white = &bestW.front();
  }
  if (!black || !white) {
    out.blackFirst = out.whiteFirst = g.mean;
    return out;
  }
  const Side b = SideOf(solver, *black);
  const Side w = SideOf(solver, *white);
  for (int h = 0; h < 4; ++h) {
    const bool bs = h == 0 || h == 1, ws = h == 0 || h == 2;
    MoveValue v;
    v.blackFirst = bs ? b.sente : b.gote;
    v.whiteFirst = ws ? w.sente : w.gote;
    v.deiri = v.blackFirst - v.whiteFirst;
    v.miai = (bs || ws) ? v.deiri : v.deiri / 2;
    const bool fits = h == 3 || ((bs == (b.followUp > v.miai)) && (ws == (w.followUp > v.miai)));
    if (!fits) continue;
    v.kind = bs && ws ? Kind::kDoubleSente : bs ? Kind::kBlackSente : ws ? Kind::kWhiteSente : Kind::kGote;
    if (g.temperature <= 0 && bothBest) v.kind = Kind::kSettled;
    return v;
  }
  return out;
}

std::string KindName(Kind kind, Colour mover) {
  switch (kind) {
    case Kind::kSettled: return "終わり";
    case Kind::kGote: return "後手";
    case Kind::kDoubleSente: return "両先手";
    case Kind::kBlackSente: return mover == Colour::kBlack ? "先手" : "逆ヨセ";
    case Kind::kWhiteSente: return mover == Colour::kWhite ? "先手" : "逆ヨセ";
  }
  return "";
}

}  // namespace sorabeku::yose
