// A wall of a thermograph: a continuous piecewise linear function of the
// temperature t >= 0, given by its breakpoints and the slope after the
// last one. Values are dyadic fractions (halves, quarters, ...), which a
// double holds exactly, so equal values compare equal.
#pragma once

#include <vector>

namespace sorabeku::yose {

class WallLine {
 public:
  // The constant function v.
  static WallLine Constant(double v);

  double At(double t) const;
  // The slope just below t (t > 0) or at 0.
  double SlopeBelow(double t) const;
  // This function plus s·t.
  WallLine PlusSlope(double s) const;
  // This function plus a constant.
  WallLine Plus(double c) const;
  // The same up to t0, constant from t0 on.
  WallLine ConstantFrom(double t0) const;

  static WallLine Max(const WallLine& a, const WallLine& b);
  static WallLine Min(const WallLine& a, const WallLine& b);
  WallLine Negated() const;
  // a − b.
  static WallLine Difference(const WallLine& a, const WallLine& b);
  // The first t >= 0 where the function is <= 0; a negative number when it
  // never is.
  double FirstNonPositive() const;

  bool operator==(const WallLine& o) const = default;

 private:
  void Push(double t, double v);
  std::vector<double> t_{0.0};
  std::vector<double> v_{0.0};
  double tail_ = 0;  // slope after the last breakpoint
};

}  // namespace sorabeku::yose
