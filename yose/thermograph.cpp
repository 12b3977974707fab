#include "yose/thermograph.h"

#include <algorithm>
#include <optional>

namespace sorabeku::yose {

Thermograph Thermograph::Number(double value) {
  Thermograph g;
  g.left = g.right = WallLine::Constant(value);
  g.mean = value;
  g.temperature = kSettled;
  return g;
}

Thermograph Thermograph::Shifted(double points) const {
  if (points == 0) return *this;
  Thermograph g = *this;
  g.left = left.Plus(points);
  g.right = right.Plus(points);
  g.mean += points;
  return g;
}

Thermograph Thermograph::Negated() const {
  Thermograph g;
  g.left = right.Negated();
  g.right = left.Negated();
  g.mean = 0.0 - mean;  // 0 stays 0, not −0 (shown as "-0")
  g.temperature = temperature;
  return g;
}

Thermograph CombineOptions(const std::vector<Thermograph>& black,
                           const std::vector<Thermograph>& white, double standing) {
  return CombineOptions(black, white, [standing] { return standing; });
}

Thermograph CombineOptions(const std::vector<Thermograph>& black,
                           const std::vector<Thermograph>& white,
                           const std::function<double()>& standing) {
  std::optional<WallLine> blackBest, whiteBest;
  for (const Thermograph& g : black) blackBest = blackBest ? WallLine::Max(*blackBest, g.right) : g.right;
  for (const Thermograph& g : white) whiteBest = whiteBest ? WallLine::Min(*whiteBest, g.left) : g.left;
  return CombineWalls(blackBest ? &*blackBest : nullptr, whiteBest ? &*whiteBest : nullptr, standing);
}

Thermograph CombineWalls(const WallLine* blackBest, const WallLine* whiteBest,
                         const std::function<double()>& standing) {
  if (!blackBest && !whiteBest) return Thermograph::Number(standing());
  const WallLine left = blackBest ? blackBest->PlusSlope(-1) : WallLine::Constant(0);
  const WallLine right = whiteBest ? whiteBest->PlusSlope(1) : WallLine::Constant(0);
  const bool hot = blackBest && whiteBest && left.At(0) > right.At(0);
  if (!hot) {
    // Cold: the count stays where it stands unless a side can move it
    // without loss (taking dead stones off); a dame when both can move
    // to the same count.
    double value = standing();
    if (blackBest) value = std::max(value, left.At(0));
    if (whiteBest) value = std::min(value, right.At(0));
    Thermograph g = Thermograph::Number(value);
    if (blackBest && whiteBest && left.At(0) == right.At(0)) g.temperature = 0;
    return g;
  }
  const double t = WallLine::Difference(left, right).FirstNonPositive();
  Thermograph g;
  g.temperature = t;
  g.mean = left.At(t);
  g.left = left.ConstantFrom(t);
  g.right = right.ConstantFrom(t);
  return g;
}

}  // namespace sorabeku::yose
