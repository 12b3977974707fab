// The scheduler against values worked out by hand from the FSRS-5
// formulas with the default weights (each computation in the comment).
#include "training/progress/fsrs_scheduler.h"

#include <gtest/gtest.h>

namespace sorabeku::progress {
namespace {

constexpr double kTol = 1e-6;

TEST(FsrsScheduler, FirstReviewOfEachRating) {
  // S0 = w[G-1]; D0 = w4 - e^(w5 (G-1)) + 1:
  //   again: D = 7.1949 - e^0 + 1 = 7.1949, S = 0.40255, due in round(0.40) → 1 day
  //   hard:  D = 8.1949 - e^0.5345 = 8.1949 - 1.706595 = 6.488305, S = 1.18385 → 1 day
  //   good:  D = 8.1949 - e^1.0690 = 8.1949 - 2.912466 = 5.282434, S = 3.173 → 3 days
  //   easy:  D = 8.1949 - e^1.6035 = 8.1949 - 4.970398 = 3.224502, S = 15.69105 → 16 days
  struct Case { Rating g; double s, d; int interval; };
  for (const Case& c : {Case{Rating::kAgain, 0.40255, 7.1949, 1},
                        Case{Rating::kHard, 1.18385, 6.488305268, 1},
                        Case{Rating::kGood, 3.173, 5.282434422, 3},
                        Case{Rating::kEasy, 15.69105, 3.224501589, 16}}) {
    const MemoryState s = Review({}, c.g, 100);
    EXPECT_NEAR(s.stability, c.s, kTol);
    EXPECT_NEAR(s.difficulty, c.d, kTol);
    EXPECT_EQ(s.lastDay, 100);
    EXPECT_EQ(s.dueDay, 100 + c.interval);
    EXPECT_EQ(s.reviews, 1);
  }
}

TEST(FsrsScheduler, GoodThenGoodOnTheDueDay) {
  // Good on day 0: S = 3.173, D = 5.282434. Good on day 3:
  //   R = (1 + 19/81 * 3 / 3.173)^-0.5 = (1.221778)^-0.5 = 0.904698
  //   S' = 3.173 * (1 + e^1.54575 * (11 - 5.282434) * 3.173^-0.1192
  //                 * (e^(1.01925 * 0.095302) - 1))
  //      = 3.173 * (1 + 4.691768 * 5.717566 * 0.871455 * 0.101977) = 10.738926
  //   D: delta 0, D' = 5.282434; D'' = 0.0046 * 3.224502 + 0.9954 * 5.282434 = 5.272968
  //   due: 3 + round(10.74) = 14
  MemoryState s = Review({}, Rating::kGood, 0);
  EXPECT_NEAR(Retrievability(3, s.stability), 0.904698211, kTol);
  s = Review(s, Rating::kGood, 3);
  EXPECT_NEAR(s.stability, 10.738925846, kTol);
  EXPECT_NEAR(s.difficulty, 5.272967931, kTol);
  EXPECT_EQ(s.dueDay, 14);
  EXPECT_EQ(s.lapses, 0);
}

TEST(FsrsScheduler, LapseShrinksStabilityAndRaisesDifficulty) {
  // Good on day 0, again on day 3 (R = 0.904698 as above):
  //   S' = min(3.173, 1.9395 * 5.282434^-0.11 * ((4.173)^0.29605 - 1) * e^(2.2698 * 0.095302))
  //      = min(3.173, 1.9395 * 0.832726 * 0.527339 * 1.241604) = 1.055561
  //   D: delta = -1.4604 * (1 - 3) = 2.9208; D' = 5.282434 + 2.9208 * 4.717566 / 9 = 6.813439
  //      D'' = 0.0046 * 3.224502 + 0.9954 * 6.813439 = 6.796933
  //   due: 3 + round(1.06) = 4
  MemoryState s = Review(Review({}, Rating::kGood, 0), Rating::kAgain, 3);
  EXPECT_NEAR(s.stability, 1.055561091, kTol);
  EXPECT_NEAR(s.difficulty, 6.796932580, kTol);
  EXPECT_EQ(s.dueDay, 4);
  EXPECT_EQ(s.lapses, 1);
  EXPECT_EQ(s.reviews, 2);
}

TEST(FsrsScheduler, SameDayReviewUsesTheShortTermRule) {
  // Good then again on the same day: S' = 3.173 * e^(0.51655 * (1 - 3 + 0.6621))
  //   = 3.173 * e^-0.691095 = 1.589764; D as for any lapse: 6.796933; due next day.
  // A same-day good grows it: 3.173 * e^(0.51655 * 0.6621) = 4.453...
  const MemoryState first = Review({}, Rating::kGood, 7);
  MemoryState s = Review(first, Rating::kAgain, 7);
  EXPECT_NEAR(s.stability, 1.589763507, kTol);
  EXPECT_NEAR(s.difficulty, 6.796932580, kTol);
  EXPECT_EQ(s.dueDay, 9);  // 7 + round(1.59)
  EXPECT_GT(Review(first, Rating::kGood, 7).stability, first.stability);
  // A clock set back counts as the same day and never moves the last review back.
  EXPECT_EQ(Review(first, Rating::kGood, 5).lastDay, 7);
}

TEST(FsrsScheduler, LongChainOfGoodReviewsOnTheirDueDays) {
  // Each step repeats the computation of GoodThenGoodOnTheDueDay with the
  // elapsed days t = the interval before it (R = 0.9 ± rounding):
  //   t=3 → S 10.738926, due 14; t=11 → 34.577624, due 49; t=35 → 100.748313, due 150;
  //   t=101 → 269.283835, due 419; t=269 → 669.309326, due 1088;
  //   t=669 → 1563.237654, due 2651. D falls by 0.0046 * (D - 3.2245) each time:
  //   5.272968, 5.263545, 5.254165, 5.244829, 5.235535, 5.226285.
  const double stability[] = {10.738925846, 34.577623501, 100.748312852,
                              269.283835151, 669.309326137, 1563.237654040};
  const int due[] = {14, 49, 150, 419, 1088, 2651};
  MemoryState s = Review({}, Rating::kGood, 0);
  for (int i = 0; i < 6; ++i) {
    s = Review(s, Rating::kGood, s.dueDay);
    EXPECT_NEAR(s.stability, stability[i], 1e-5) << "review " << i + 2;
    EXPECT_EQ(s.dueDay, due[i]) << "review " << i + 2;
  }
  EXPECT_NEAR(s.difficulty, 5.226284672, kTol);
}

TEST(FsrsScheduler, IntervalsAndDifficultyStayInTheirBounds) {
  EXPECT_EQ(IntervalDays(0.01), 1);
  EXPECT_EQ(IntervalDays(1e9), kMaximumInterval);
  EXPECT_EQ(IntervalDays(2.5), 3);  // with 90 % retention the interval is S itself
  double d = 1.0;
  for (int i = 0; i < 50; ++i) d = NextDifficulty(d, Rating::kEasy);
  EXPECT_GE(d, 1.0);
  for (int i = 0; i < 50; ++i) d = NextDifficulty(d, Rating::kAgain);
  EXPECT_LE(d, 10.0);
}

}  // namespace
}  // namespace sorabeku::progress
