// The training screen's events as records: what each event becomes, the
// problem known by its rows at the time of the event, and a records
// directory that cannot be written.
#include "training/progress/answer_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace sorabeku::progress {
namespace {

namespace fs = std::filesystem;

class RecorderTest : public ::testing::Test {
 protected:
  RecorderTest() {
    char pattern[] = "/tmp/answer_recorder_XXXXXX";
    root_ = mkdtemp(pattern);
  }
  ~RecorderTest() override { fs::remove_all(root_); }

  AnswerRecorder Recorder(LearnerProgress& progress) {
    return AnswerRecorder([&progress]() -> LearnerProgress& { return progress; },
                          {"/lib", [this](int mnb) { return fingerprints_[mnb]; },
                           [this] { return now_; },
                           [this](const std::string& m) { shown_.push_back(m); }});
  }

  fs::path root_;
  std::map<int, std::string> fingerprints_{{5, "00000000000000aa"}, {1005, "00000000000000bb"}};
  std::int64_t now_ = 1'765'000'000;
  std::vector<std::string> shown_;
};

TEST_F(RecorderTest, EventsBecomeRecordsOfTheProblemAsItIsThen) {
  LearnerProgress progress((root_ / "gakushu").string());
  AnswerRecorder recorder = Recorder(progress);
  recorder.OnBranchAnswer({.mnb = 5, .branchRow = 3, .chosenRow = 4, .right = false,
                           .firstTry = true, .millis = 2500, .quiz = true});
  fingerprints_[5] = "00000000000000cc";  // the problem edited in between
  now_ += 60;
  recorder.OnProblemFinished({.mnb = 5, .solved = true, .firstTry = false, .millis = 9000,
                              .quiz = false});
  recorder.OnProblemFinished({.mnb = 77, .solved = true});  // rows gone: nothing recorded

  const std::vector<AnswerRecord> want{
      {"/lib", 5, "00000000000000aa", 1'765'000'000, RecordKind::kAnswer, false, true, 2500, true},
      {"/lib", 5, "00000000000000cc", 1'765'000'060, RecordKind::kFinished, true, false, 9000,
       false}};
  EXPECT_EQ(progress.Records().ReadAll(), want);
  EXPECT_EQ(recorder.Taken(), 2);
  EXPECT_EQ(recorder.Stored(), 2);
  EXPECT_TRUE(shown_.empty());
  // The finished problem moved the schedule; the edited one's first
  // version is an older version now and never due.
  const ReviewItem* item = progress.Schedule().Find("/lib", "00000000000000cc");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->state.reviews, 1);
  EXPECT_TRUE(progress.Schedule().Superseded(*progress.Schedule().Find("/lib", "00000000000000aa")));
}

TEST_F(RecorderTest, UnwritableDirectoryShowsOneMessageAndTheScheduleGoesOn) {
  std::ofstream(root_ / "file") << "not a directory";
  LearnerProgress progress((root_ / "file" / "gakushu").string());
  (void)progress.Records().TakeErrorToShow();  // shown when it was opened
  AnswerRecorder recorder = Recorder(progress);
  // Opening already failed and was shown: the events add no second box.
  recorder.OnProblemFinished({.mnb = 1005, .solved = false, .millis = 1000});
  recorder.OnProblemFinished({.mnb = 5, .solved = true, .firstTry = true, .millis = 1000});
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(recorder.Stored(), 0);
  EXPECT_EQ(progress.DueCount("/lib", LocalDay(now_) + 1), 1);

  // A write that fails after a good start: one box, then silence.
  LearnerProgress fine((root_ / "gakushu").string());
  AnswerRecorder second = Recorder(fine);
  second.OnProblemFinished({.mnb = 5, .solved = true});
  ASSERT_EQ(second.Stored(), 1);
  for (const auto& e : fs::directory_iterator(root_ / "gakushu")) {
    fs::remove(e.path());
    fs::create_directory(e.path());
  }
  second.OnProblemFinished({.mnb = 5, .solved = true});
  second.OnBranchAnswer({.mnb = 5, .right = true});
  EXPECT_EQ(second.Stored(), 1);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].rfind(kCannotRecord, 0), 0u) << shown_[0];
}

}  // namespace
}  // namespace sorabeku::progress
