#include "yose/thermograph.h"

#include <algorithm>

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

WallLine TaxedLeft(const std::vector<Thermograph>& black) {
  WallLine w = black.front().right;
  for (std::size_t i = 1; i < black.size(); ++i) w = WallLine::Max(w, black[i].right);
  return w.PlusSlope(-1);
}

WallLine TaxedRight(const std::vector<Thermograph>& white) {
  WallLine w = white.front().left;
  for (std::size_t i = 1; i < white.size(); ++i) w = WallLine::Min(w, white[i].left);
  return w.PlusSlope(1);
}

Thermograph CombineOptions(const std::vector<Thermograph>& black,
                           const std::vector<Thermograph>& white, double standing) {
  return CombineOptions(black, white, [standing] { return standing; });
}

Thermograph CombineOptions(const std::vector<Thermograph>& black,
                           const std::vector<Thermograph>& white,
                           const std::function<double()>& standing) {
  if (black.empty() && white.empty()) return Thermograph::Number(standing());
  WallLine left = black.empty() ? WallLine::Constant(0) : TaxedLeft(black);
  WallLine right = white.empty() ? WallLine::Constant(0) : TaxedRight(white);
  const bool hot = !black.empty() && !white.empty() && left.At(0) > right.At(0);
  if (!hot) {
    // Cold: the count stays where it stands unless a side can move it
    // without loss (taking dead stones off); a dame when both can move
    // to the same count.
    double value = standing();
    if (!black.empty()) value = std::max(value, left.At(0));
    if (!white.empty()) value = std::min(value, right.At(0));
    Thermograph g = Thermograph::Number(value);
    if (!black.empty() && !white.empty() && left.At(0) == right.At(0)) g.temperature = 0;
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
