// What a local endgame is worth, as the endgame books count it: the count
// after Black plays first and after White plays first (each side's sente
// answered), the difference of the two (出入り), the gain of one move
// (miai value: half the difference for gote, all of it for sente) and the
// kind of the position: gote, one side's sente (the other side's move is
// then a reverse sente), double sente, or settled.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "yose/yose_solver.h"

namespace sorabeku::yose {

enum class Kind { kSettled, kGote, kBlackSente, kWhiteSente, kDoubleSente };

struct MoveValue {
  Kind kind = Kind::kSettled;
  double blackFirst = 0;  // count after Black's move (and White's answer if sente)
  double whiteFirst = 0;  // count after White's move (and Black's answer if sente)
  double deiri = 0;       // blackFirst − whiteFirst
  double miai = 0;        // deiri / 2 for gote, deiri for sente
};

// The value of the position `board` when Black's first move is `black` and
// White's is `white` (nullptr: that side's best move). A move is sente
// when its follow-up gains more than the move itself: the books' rule,
// tried first with both moves sente, then one, then neither; the first
// consistent reading is taken.
MoveValue ValueOf(YoseSolver& solver, const LocalBoard& board, const LocalMove* black,
                  const LocalMove* white);

// The best local moves of colour c: those whose result is best when every
// move is taxed the position's temperature (then by mean).
std::vector<LocalMove> BestMoves(YoseSolver& solver, const LocalBoard& board, Colour c);

// "後手", "先手", "逆ヨセ", "両先手" or "終わり", for a move of colour c in a
// position of that kind.
std::string KindName(Kind kind, Colour mover);

}  // namespace sorabeku::yose
