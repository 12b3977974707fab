#include "training/progress/fsrs_scheduler.h"

#include <algorithm>
#include <cmath>

namespace sorabeku::progress {

namespace {

constexpr const std::array<double, 19>& w = kFsrs5Weights;

double ClampDifficulty(double d) { return std::clamp(d, 1.0, 10.0); }

int Grade(Rating rating) { return static_cast<int>(rating); }

}  // namespace

double Retrievability(double elapsedDays, double stability) {
  return std::pow(1.0 + kFactor * elapsedDays / stability, kDecay);
}

int IntervalDays(double stability) {
  double days = stability / kFactor * (std::pow(kRequestedRetention, 1.0 / kDecay) - 1.0);
  days = std::round(days * 1e6) / 1e6;  // S itself at 90 %, without the rounding noise
  return static_cast<int>(std::clamp(std::round(days), 1.0, double{kMaximumInterval}));
}

double InitialStability(Rating rating) { return w[Grade(rating) - 1]; }

double InitialDifficulty(Rating rating) {
  return ClampDifficulty(w[4] - std::exp(w[5] * (Grade(rating) - 1)) + 1.0);
}

double NextDifficulty(double difficulty, Rating rating) {
  const double delta = -w[6] * (Grade(rating) - 3);
  const double damped = difficulty + delta * (10.0 - difficulty) / 9.0;
  const double reverted = w[7] * InitialDifficulty(Rating::kEasy) + (1.0 - w[7]) * damped;
  return ClampDifficulty(reverted);
}

double NextStability(double stability, double difficulty, double retrievability,
                     Rating rating) {
  if (rating == Rating::kAgain) {
    const double lapse = w[11] * std::pow(difficulty, -w[12]) *
                         (std::pow(stability + 1.0, w[13]) - 1.0) *
                         std::exp(w[14] * (1.0 - retrievability));
    return std::min(stability, lapse);
  }
  const double hard = rating == Rating::kHard ? w[15] : 1.0;
  const double easy = rating == Rating::kEasy ? w[16] : 1.0;
  return stability * (1.0 + std::exp(w[8]) * (11.0 - difficulty) *
                                std::pow(stability, -w[9]) *
                                (std::exp(w[10] * (1.0 - retrievability)) - 1.0) * hard *
                                easy);
}

double SameDayStability(double stability, Rating rating) {
  return stability * std::exp(w[17] * (Grade(rating) - 3 + w[18]));
}

MemoryState Review(const MemoryState& state, Rating rating, int day) {
  MemoryState next = state;
  if (state.reviews == 0) {
    next.stability = InitialStability(rating);
    next.difficulty = InitialDifficulty(rating);
  } else {
    const int elapsed = day - state.lastDay;
    next.stability =
        elapsed <= 0 ? SameDayStability(state.stability, rating)
                     : NextStability(state.stability, state.difficulty,
                                     Retrievability(elapsed, state.stability), rating);
    next.difficulty = NextDifficulty(state.difficulty, rating);
    if (rating == Rating::kAgain) ++next.lapses;
  }
  next.lastDay = std::max(day, state.reviews == 0 ? day : state.lastDay);
  next.dueDay = next.lastDay + IntervalDays(next.stability);
  ++next.reviews;
  return next;
}

}  // namespace sorabeku::progress
