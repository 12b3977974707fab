// Ratings from answers, fingerprints, the schedule replayed from records
// (due order, older versions, renumbered problems) and the records
// window's figures for a made-up history.
#include "training/progress/review_schedule.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "training/progress/problem_fingerprint.h"
#include "training/progress/progress_figures.h"

namespace sorabeku::progress {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kDay0 = 20000 * kDay + 12 * 3600;  // noon UTC of LocalDay 20000

constexpr int Today(int day) { return 20000 + day; }

class ScheduleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  static AnswerRecord Finished(int mnb, const std::string& fpr, int day, bool right,
                               bool firstTry, int millis = 20'000) {
    return {"/lib", mnb, fpr, kDay0 + day * kDay, RecordKind::kFinished, right, firstTry,
            millis, true};
  }
  static AnswerRecord Answer(int mnb, const std::string& fpr, int day, bool right) {
    return {"/lib", mnb, fpr, kDay0 + day * kDay, RecordKind::kAnswer, right, right, 3000, true};
  }
};

TEST_F(ScheduleTest, RatingsFollowTheAnswers) {
  EXPECT_EQ(RatingOf(Finished(1, "a", 0, false, false)), Rating::kAgain);
  EXPECT_EQ(RatingOf(Finished(1, "a", 0, true, false)), Rating::kHard);
  EXPECT_EQ(RatingOf(Finished(1, "a", 0, true, true, kFastMillis + 1)), Rating::kGood);
  EXPECT_EQ(RatingOf(Finished(1, "a", 0, true, true, kFastMillis)), Rating::kEasy);
  // A fast wrong answer is still again.
  EXPECT_EQ(RatingOf(Finished(1, "a", 0, false, true, 10)), Rating::kAgain);
}

TEST_F(ScheduleTest, FingerprintSeesEditsButNotTheNumber) {
  std::vector<ProblemRow> rows = {{1, 1, 42, 0, 0, "", 0}, {2, 2, 43, 0, 0, "ab", 0}};
  const std::string base = ProblemFingerprint(rows);
  EXPECT_EQ(base.size(), 16u);
  EXPECT_EQ(ProblemFingerprint(rows), base);
  std::vector<ProblemRow> edited = rows;
  edited[1].cmt = "ac";
  EXPECT_NE(ProblemFingerprint(edited), base);
  std::vector<ProblemRow> swapped = {rows[1], rows[0]};
  EXPECT_NE(ProblemFingerprint(swapped), base);
  std::vector<ProblemRow> fewer = {rows[0]};
  EXPECT_NE(ProblemFingerprint(fewer), base);
}

TEST_F(ScheduleTest, DueProblemsComeInDueOrder) {
  ReviewSchedule s({
      Finished(5, "e", 0, true, true, 1000),    // easy: due day 16
      Finished(3, "c", 0, true, true),          // good: due day 3
      Finished(7, "g", 1, false, false),        // again: due day 2
      Finished(9, "i", 0, true, false),         // hard: due day 1
      Answer(11, "k", 0, false),                // answered, never finished: not scheduled
  });
  EXPECT_EQ(s.DueCount("/lib", Today(0)), 0);
  EXPECT_EQ(s.NextDue("/lib", Today(0)), nullptr);
  std::vector<int> order;
  for (const ReviewItem* item : s.Due("/lib", Today(3))) order.push_back(item->mnb);
  EXPECT_EQ(order, (std::vector<int>{9, 7, 3}));
  ASSERT_NE(s.NextDue("/lib", Today(3)), nullptr);
  EXPECT_EQ(s.NextDue("/lib", Today(3))->mnb, 9);
  EXPECT_EQ(s.DueCount("/lib", Today(16)), 4);
  EXPECT_EQ(s.DueCount("/other", Today(16)), 0);
  // The caller's filter leaves out a problem the library no longer holds.
  auto kept = [](const ReviewItem& item) { return item.mnb != 9; };
  EXPECT_EQ(s.NextDue("/lib", Today(3), kept)->mnb, 7);
}

TEST_F(ScheduleTest, EditedProblemStartsAfreshAndMovedProblemKeepsItsHistory) {
  ReviewSchedule s({Finished(5, "old", 0, false, false), Finished(8, "moved", 0, true, false)});
  s.Add(Finished(5, "new", 1, true, true));    // problem 5 edited
  s.Add(Finished(12, "moved", 1, true, true));  // problem 8 renumbered to 12
  const ReviewItem* old = s.Find("/lib", "old");
  ASSERT_NE(old, nullptr);
  EXPECT_TRUE(s.Superseded(*old));
  EXPECT_EQ(old->state.reviews, 1);  // its history stays
  EXPECT_EQ(s.Find("/lib", "new")->state.reviews, 1);
  const ReviewItem* moved = s.Find("/lib", "moved");
  EXPECT_EQ(moved->mnb, 12);
  EXPECT_EQ(moved->state.reviews, 2);
  EXPECT_FALSE(s.Superseded(*moved));
  for (const ReviewItem* item : s.Due("/lib", Today(100))) EXPECT_NE(item->fingerprint, "old");
}

TEST_F(ScheduleTest, FiguresOfAMadeUpHistory) {
  const std::vector<AnswerRecord> records = {
      Answer(5, "a", 0, true),     Answer(5, "a", 0, false),  Finished(5, "a", 0, true, false),
      Answer(1005, "b", 0, true),  Finished(1005, "b", 0, true, true),
      Answer(2005, "c", 1, false), Answer(2005, "c", 1, false), Answer(2005, "c", 1, true),
      Finished(2005, "c", 1, true, false), Answer(5, "a", 2, false), Finished(5, "a", 2, false, false),
      Finished(6, "d", 2, true, true),
      Finished(6, "d2", 3, true, true),  // problem 6 edited: "d" is an older version
  };
  const ReviewSchedule s(records);
  const ProgressFigures f = ComputeFigures(records, s, "/lib", Today(3));
  EXPECT_EQ(f.sections[1].tried, 2);          // 5 and 6 (as "d2")
  EXPECT_EQ(f.sections[1].solvedFirstTry, 1);  // 6; 5 was first solved after a miss
  EXPECT_EQ(f.sections[1].due, 1);            // 5: again on day 2, due day 3
  EXPECT_EQ(f.sections[2].tried, 1);
  EXPECT_EQ(f.sections[2].solvedFirstTry, 1);
  EXPECT_EQ(f.sections[3].tried, 1);
  EXPECT_EQ(f.sections[3].due, 1);  // hard on day 1: due day 2
  ASSERT_EQ(f.accuracy.size(), 3u);
  EXPECT_EQ(f.accuracy[0].day, 20000);
  EXPECT_EQ(f.accuracy[0].answers, 3);
  EXPECT_EQ(f.accuracy[0].right, 2);
  EXPECT_EQ(f.accuracy[1].answers, 3);
  EXPECT_EQ(f.accuracy[1].right, 1);
  ASSERT_EQ(f.mostMissed.size(), 2u);  // 2005 and 5 twice each; b never missed
  EXPECT_EQ(f.mostMissed[0].mnb, 5);
  EXPECT_EQ(f.mostMissed[0].misses, 2);
  EXPECT_EQ(f.mostMissed[1].mnb, 2005);
  EXPECT_EQ(ComputeFigures(records, s, "/lib", Today(3), 1).mostMissed.size(), 1u);
}

}  // namespace
}  // namespace sorabeku::progress
