// The thermograph of a loop-free local game: its left wall (what Black's
// moves secure when every move is taxed t points), its right wall (the
// same for White), its mean value and its temperature. A settled position
// (a number: neither side's move gains) has constant walls and a
// temperature below zero; a dame (either side's move leaves the count as
// it is) has temperature 0.
#pragma once

#include <functional>
#include <vector>

#include "yose/wall_line.h"

namespace sorabeku::yose {

inline constexpr double kSettled = -1;  // the temperature reported for a number

struct Thermograph {
  WallLine left = WallLine::Constant(0);
  WallLine right = WallLine::Constant(0);
  double mean = 0;
  double temperature = kSettled;

  static Thermograph Number(double value);
  bool IsSettled() const { return temperature < 0; }
  // The same game with `points` more for Black (prisoners taken on the way).
  Thermograph Shifted(double points) const;
  // The same game with the colours turned (Black's gains are White's).
  Thermograph Negated() const;
  bool operator==(const Thermograph& o) const = default;
};

// The thermograph of a position from those of the positions Black's moves
// and White's moves lead to (prisoners already added), and the position's
// own count if play stopped here (`standing`). When neither side's best
// move gains on the standing count, the position is settled at that count
// (or at the nearest count a side can force by moving when the standing
// count misjudges it, as with dead stones not yet taken off).
Thermograph CombineOptions(const std::vector<Thermograph>& black,
                           const std::vector<Thermograph>& white, double standing);
// The same, asking for the standing count only when play has ended.
Thermograph CombineOptions(const std::vector<Thermograph>& black,
                           const std::vector<Thermograph>& white,
                           const std::function<double()>& standing);

// The same from the best of Black's options' right walls (the max) and the
// best of White's options' left walls (the min), null when a side has no
// move: a search can fold each option in as it comes.
Thermograph CombineWalls(const WallLine* blackBest, const WallLine* whiteBest,
                         const std::function<double()>& standing);

}  // namespace sorabeku::yose
