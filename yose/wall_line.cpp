#include "yose/wall_line.h"

#include <algorithm>

namespace sorabeku::yose {

WallLine WallLine::Constant(double v) {
  WallLine w;
  w.v_[0] = v;
  return w;
}

double WallLine::At(double t) const {
  const std::size_t n = t_.size();
  if (t >= t_[n - 1]) return v_[n - 1] + tail_ * (t - t_[n - 1]);
  std::size_t i = 1;
  while (t_[i] < t) ++i;
  const double f = (t - t_[i - 1]) / (t_[i] - t_[i - 1]);
  return v_[i - 1] + f * (v_[i] - v_[i - 1]);
}

double WallLine::SlopeBelow(double t) const {
  const std::size_t n = t_.size();
  if (t > t_[n - 1] || n == 1) return tail_;
  std::size_t i = 1;
  while (i < n && t_[i] < t) ++i;
  if (i >= n) return tail_;
  return (v_[i] - v_[i - 1]) / (t_[i] - t_[i - 1]);
}

WallLine WallLine::PlusSlope(double s) const {
  WallLine w = *this;
  for (std::size_t i = 0; i < w.t_.size(); ++i) w.v_[i] += s * w.t_[i];
  w.tail_ += s;
  return w;
}

WallLine WallLine::Plus(double c) const {
  WallLine w = *this;
  for (double& v : w.v_) v += c;
  return w;
}

WallLine WallLine::ConstantFrom(double t0) const {
  WallLine w;
  w.v_[0] = v_[0];
  for (std::size_t i = 1; i < t_.size() && t_[i] < t0; ++i) w.Push(t_[i], v_[i]);
  if (t0 > 0) w.Push(t0, At(t0));
  w.tail_ = 0;
  return w;
}

// Appends a breakpoint, dropping the previous one when the three are on one line.
void WallLine::Push(double t, double v) {
  if (t <= t_.back()) return;
  const std::size_t n = t_.size();
  if (n >= 2) {
    const double s1 = (v_[n - 1] - v_[n - 2]) / (t_[n - 1] - t_[n - 2]);
    const double s2 = (v - v_[n - 1]) / (t - t_[n - 1]);
    if (s1 == s2) {
      t_.back() = t;
      v_.back() = v;
      return;
    }
  }
  t_.push_back(t);
  v_.push_back(v);
}

WallLine WallLine::Max(const WallLine& a, const WallLine& b) {
  std::vector<double> ts(a.t_);
  ts.insert(ts.end(), b.t_.begin(), b.t_.end());
  std::sort(ts.begin(), ts.end());
  ts.erase(std::unique(ts.begin(), ts.end()), ts.end());
  WallLine out;
  out.v_[0] = std::max(a.v_[0], b.v_[0]);
  for (std::size_t i = 0; i < ts.size(); ++i) {
    const double t0 = ts[i];
    const double d0 = a.At(t0) - b.At(t0);
    out.Push(t0, std::max(a.At(t0), b.At(t0)));
    if (i + 1 < ts.size()) {
      const double t1 = ts[i + 1];
      const double d1 = a.At(t1) - b.At(t1);
      if ((d0 < 0 && d1 > 0) || (d0 > 0 && d1 < 0)) {
        const double tc = t0 + d0 / (d0 - d1) * (t1 - t0);
        out.Push(tc, a.At(tc));
      }
      continue;
    }
    const double ds = a.tail_ - b.tail_;
    if ((d0 < 0 && ds > 0) || (d0 > 0 && ds < 0)) {
      const double tc = t0 - d0 / ds;
      out.Push(tc, a.At(tc));
      out.tail_ = std::max(a.tail_, b.tail_);
    } else if (d0 == 0) {
      out.tail_ = std::max(a.tail_, b.tail_);
    } else {
      out.tail_ = d0 > 0 ? a.tail_ : b.tail_;
    }
  }
  return out;
}

WallLine WallLine::Min(const WallLine& a, const WallLine& b) {
  return Max(a.Negated(), b.Negated()).Negated();
}

WallLine WallLine::Negated() const {
  WallLine w = *this;
  for (double& v : w.v_) v = 0.0 - v;  // 0 stays 0, not −0
  w.tail_ = 0.0 - w.tail_;
  return w;
}

WallLine WallLine::Difference(const WallLine& a, const WallLine& b) {
  std::vector<double> ts(a.t_);
  ts.insert(ts.end(), b.t_.begin(), b.t_.end());
  std::sort(ts.begin(), ts.end());
  ts.erase(std::unique(ts.begin(), ts.end()), ts.end());
  WallLine out;
  out.v_[0] = a.v_[0] - b.v_[0];
  for (std::size_t i = 1; i < ts.size(); ++i) out.Push(ts[i], a.At(ts[i]) - b.At(ts[i]));
  out.tail_ = a.tail_ - b.tail_;
  return out;
}

double WallLine::FirstNonPositive() const {
  if (v_[0] <= 0) return 0;
  for (std::size_t i = 1; i < t_.size(); ++i) {
    if (v_[i] <= 0) return t_[i - 1] + v_[i - 1] / (v_[i - 1] - v_[i]) * (t_[i] - t_[i - 1]);
  }
  if (tail_ < 0) return t_.back() + v_.back() / -tail_;
  return -1;
}

}  // namespace sorabeku::yose
