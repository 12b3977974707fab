// The review scheduler: FSRS version 5 (the Free Spaced Repetition
// Scheduler of the open-spaced-repetition project) with its published
// default weights, over whole days.
//
// A problem's memory state is its stability S (the days after which the
// chance of recalling it has fallen to 90 %), its difficulty D in [1, 10]
// and the day it was last reviewed. Each review takes a rating (again,
// hard, good, easy) and gives the new state and the day the problem is due
// again: the last review plus the interval, which with the requested
// retention of 90 % is S rounded to whole days, at least 1 and at most
// 36 500. A review on the same day as the one before uses the short-term
// stability rule; difficulty moves as on any other day.
#pragma once

#include <array>

namespace sorabeku::progress {

enum class Rating { kAgain = 1, kHard = 2, kGood = 3, kEasy = 4 };

// The published default weights w0..w18 of FSRS-5.
inline constexpr std::array<double, 19> kFsrs5Weights = {
    0.40255, 1.18385, 3.173,  15.69105, 7.1949, 0.5345, 1.4604,
    0.0046,  1.54575, 0.1192, 1.01925,  1.9395, 0.11,   0.29605,
    2.2698,  0.2315,  2.9898, 0.51655,  0.6621};

inline constexpr double kDecay = -0.5;
inline constexpr double kFactor = 19.0 / 81.0;  // 0.9^(1/kDecay) - 1
inline constexpr double kRequestedRetention = 0.9;
inline constexpr int kMaximumInterval = 36500;

struct MemoryState {
  double stability = 0;
  double difficulty = 0;
  int lastDay = 0;   // day number of the last review
  int dueDay = 0;    // day number the problem is due again
  int reviews = 0;   // 0: never reviewed (the other fields mean nothing)
  int lapses = 0;    // reviews rated again after the first
};

// The chance of recall `elapsedDays` after a review that left stability S.
double Retrievability(double elapsedDays, double stability);
// Whole days until recall falls to the requested retention: S rounded,
// clamped to [1, kMaximumInterval].
int IntervalDays(double stability);
// Initial stability and difficulty of a first review.
double InitialStability(Rating rating);
double InitialDifficulty(Rating rating);
// Difficulty after a review rated `rating` (damped, reverted towards
// InitialDifficulty(kEasy), clamped to [1, 10]).
double NextDifficulty(double difficulty, Rating rating);
// Stability after a review `elapsedDays` (at least 1) after the last one.
double NextStability(double stability, double difficulty, double retrievability,
                     Rating rating);
// Stability after a second review on the same day.
double SameDayStability(double stability, Rating rating);

// The state after reviewing a problem in state `state` on day `day`
// (a day before the last review counts as the same day).
MemoryState Review(const MemoryState& state, Rating rating, int day);

}  // namespace sorabeku::progress
