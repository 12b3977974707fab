// Exhaustive search of a local game: the thermograph of every position
// reachable by local play, kept in a transposition table. Ko is not
// resolved: in each search one side is taken to win every ko (the other
// side may never take a ko back), so that the search has no loops; the
// two searches differ exactly where a ko matters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "yose/area_symmetry.h"
#include "yose/local_area.h"
#include "yose/thermograph.h"

namespace sorabeku::yose {

// Positions kept at most in one search (memory stays bounded), and
// positions visited at most (time stays bounded: values that hold only on
// one line are searched again on the next).
inline constexpr std::size_t kMaxPositions = 3'000'000;
inline constexpr std::size_t kMaxVisits = 300'000;

class SearchTooLarge : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct LocalMove {
  int cell = 0;
  Colour colour = Colour::kNone;
  int captured = 0;
  LocalBoard after;
};

class YoseSolver {
 public:
  // `koWinner` may take kos; its opponent may not take one back.
  YoseSolver(const LocalArea& area, Colour koWinner);

  // The thermograph of a position of the area (values: the area's count
  // from here on, territory and prisoners taken from now on).
  // Throws SearchTooLarge past kMaxPositions.
  const Thermograph& Solve(const LocalBoard& board);
  // The local moves of colour c worth searching, with their results.
  std::vector<LocalMove> Moves(const LocalBoard& board, Colour c) const;
  // The standing count of a position once play has ended: its territory
  // in the area, after taking off (as prisoners) every block that dies
  // even when its owner moves first.
  int Standing(const LocalBoard& board) const;
  // True when some line came back to a position already on it (a loop
  // other than a plain ko): values touched by it are not exact.
  bool sawLoop() const { return sawLoop_; }
  std::size_t positions() const { return table_.size(); }
  // Answers every position from `twin` (a solver of the same area in
  // which the other side wins kos) by the colour-swapping symmetry `s`:
  // this position's value is the negation of its image's.
  void AnswerFrom(YoseSolver& twin, const AreaSymmetry& s) {
    twin_ = &twin;
    twinMap_ = s;
  }
  // The thermograph of a move's result, prisoners included.
  Thermograph Value(const LocalMove& m) { return Solve(m.after).Shifted(SignOf(m.colour) * m.captured); }

 private:
  static constexpr int kNoLoop = 1 << 30;
  bool PointlessSelfAtari(const LocalBoard& after, int cell) const;
  // Plays colour c at cell into `after` when the move is one worth
  // searching; `sealed` holds the board's sealed territories.
  bool TryMove(const LocalBoard& board, const LocalBoard::Sealed& sealed, int cell, Colour c,
               LocalBoard& after, int& captured) const;
  const Thermograph* Known(const LocalBoard& board) const;
  const Thermograph& Search(const LocalBoard& board, int depth, int& low);

  const LocalArea& area_;
  Colour koWinner_;
  std::vector<AreaSymmetry> symmetries_;  // those that keep the colours
  YoseSolver* twin_ = nullptr;
  AreaSymmetry twinMap_;
  std::unordered_map<std::uint64_t, Thermograph> table_;
  std::unordered_map<std::uint64_t, int> onPath_;  // positions of the line, by depth
  Thermograph uncached_;  // the last value that holds only on the current line
  bool sawLoop_ = false;
  std::size_t visits_ = 0;
};

}  // namespace sorabeku::yose
