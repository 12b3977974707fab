// The answers the training screen reports, and quiz mode: neutral marks,
// letters kept, the verdict after the click, hidden candidates with a hit
// and a miss.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "board/board_view.h"
#include "board/click_map.h"
#include "form/recording_services.h"
#include "library/move_row.h"
#include "library/testing/test_library.h"
#include "training/training_screen.h"

namespace sorabeku {
namespace {

using testing::MakeTestLibrary;
using testing::TestLibrary;

struct Recorder : AnswerListener {
  void OnBranchAnswer(const BranchAnswer& a) override { answers.push_back(a); }
  void OnProblemFinished(const ProblemFinished& f) override { finished.push_back(f); }
  std::vector<BranchAnswer> answers;
  std::vector<ProblemFinished> finished;
};

class QuizTest : public ::testing::Test {
 protected:
  QuizTest() : form(platform.services(), "/p/"), training(form, lib) {
    training.Install();
    training.SetAnswerListener(&events);
    training.SetAnswerClock([this] { return now; });
    lib.AddProblem(3, 1);
    lib.AddWorkedExample();  // base ends on row 3; 83 green (row 4), 102 red (row 8)
    // Problem 7: letters A (83) and B (102) on the two candidates' points.
    lib.AddProblem(7, 1);
    lib.AddRow({.mnb = 7, .col = 1, .pst = 45, .bto = kRootMarker});
    lib.AddRow({.mnb = 7, .col = 3, .pst = 83, .cmt = "A", .dix = 22});
    lib.AddRow({.mnb = 7, .col = 3, .pst = 102, .cmt = "B", .dix = 22});
    lib.AddRow({.mnb = 7, .col = 2, .pst = 64, .bfr = 1});
    lib.AddRow({.mnb = 7, .tes = 1, .col = 1, .pst = 83, .bfr = 2, .bto = 1});
    lib.AddRow({.mnb = 7, .tes = 1, .col = -1, .pst = 102, .bfr = 3, .bto = 1});
  }

  void Load(int mnb) {
    if (!lib.KuraQuery1().Active()) form.Create();
    ASSERT_TRUE(lib.KuraQuery1().Locate("MNB", {std::int64_t{mnb}}));
    form.DBGrid1CellClick();
  }
  void Click(PointIndex p) {
    const Rect r = LabelRect(p);
    form.Label1MouseDown(r.left, r.top, MouseButton::kLeft);
  }
  std::vector<int> Sounds() {
    std::vector<int> out(platform.sounds.begin() + seen_, platform.sounds.end());
    seen_ = platform.sounds.size();
    return out;
  }
  const Cell& At(PointIndex p) const { return form.screen.cells[p]; }
  const std::string& Panel() const { return form.screen.panels[0]; }

  RecordingServices platform;
  std::unique_ptr<TestLibrary> owned_ = MakeTestLibrary();
  TestLibrary& lib = *owned_;
  MainForm form;
  TrainingScreen training;
  Recorder events;
  std::int64_t now = 1000;

 private:
  std::size_t seen_ = 0;
};

TEST_F(QuizTest, WrongThenRightReportsEachAnswerAndEachLineEnd) {
  Load(12);
  now = 1500;
  form.CuteButton5Click();  // the branch point: 83 and 102
  now = 4000;
  Click(102);  // red: the line ends at once
  ASSERT_EQ(events.answers.size(), 1u);
  const BranchAnswer& wrong = events.answers[0];
  EXPECT_EQ(wrong.mnb, 12);
  EXPECT_EQ(wrong.branchRow, 3);
  EXPECT_EQ(wrong.chosenRow, 8);
  EXPECT_FALSE(wrong.right);
  EXPECT_TRUE(wrong.firstTry);
  EXPECT_EQ(wrong.millis, 2500);
  EXPECT_FALSE(wrong.quiz);
  ASSERT_EQ(events.finished.size(), 1u);
  EXPECT_FALSE(events.finished[0].solved);
  EXPECT_FALSE(events.finished[0].firstTry);
  EXPECT_EQ(events.finished[0].millis, 3000);

  form.CuteButton7Click();  // back to the branch point
  now = 5000;
  Click(83);
  ASSERT_EQ(events.answers.size(), 2u);
  EXPECT_TRUE(events.answers[1].right);
  EXPECT_FALSE(events.answers[1].firstTry);  // missed here before
  EXPECT_EQ(events.answers[1].chosenRow, 4);
  form.CuteButton5Click();
  now = 9000;
  form.CuteButton5Click();  // 85 "*" and 86: the end of the green line
  ASSERT_EQ(events.finished.size(), 2u);
  EXPECT_TRUE(events.finished[1].solved);  // the wrong answer is off the board
  EXPECT_FALSE(events.finished[1].firstTry);
  EXPECT_EQ(events.finished[1].millis, 8000);
}

TEST_F(QuizTest, ReloadingStartsAfreshAndAFirstTryIsReportedSo) {
  Load(12);
  form.CuteButton5Click();
  Click(102);
  form.CuteButton9Click();  // 元に戻す
  form.CuteButton5Click();
  Click(83);
  form.CuteButton5Click();
  form.CuteButton5Click();
  ASSERT_EQ(events.answers.size(), 2u);
  EXPECT_TRUE(events.answers[1].firstTry);
  ASSERT_EQ(events.finished.size(), 2u);
  EXPECT_TRUE(events.finished[1].solved);
  EXPECT_TRUE(events.finished[1].firstTry);
}

TEST_F(QuizTest, QuizJudgesAfterTheClickAndShowsTheWay) {
  form.practice.quiz = true;
  Load(12);
  Sounds();
  form.CuteButton5Click();
  EXPECT_EQ(At(83).text, kCandidateMark);
  EXPECT_EQ(At(83).colour, kNeutralText);
  EXPECT_EQ(At(102).colour, kNeutralText);
  EXPECT_EQ(Panel(), kChooseACandidate);
  Sounds();

  Click(102);
  EXPECT_EQ(Panel(), kWrongAnswer);
  EXPECT_EQ(Sounds(), std::vector<int>{kWrongSound});  // the end's chime does not cut it off
  EXPECT_EQ(At(102).text, "1");
  EXPECT_EQ(At(102).colour, kRedText);
  EXPECT_EQ(At(83).text, kCandidateMark);  // the right way, in green
  EXPECT_EQ(At(83).colour, kGreenText);
  EXPECT_TRUE(events.answers.back().quiz);
  EXPECT_TRUE(events.finished.back().quiz);

  Click(83);  // the green mark shows the way; it does not play
  EXPECT_EQ(form.state.Board[83], 0);
  EXPECT_EQ(events.answers.size(), 1u);

  form.CuteButton7Click();  // take back and try again: neutral again
  EXPECT_EQ(At(83).colour, kNeutralText);
  EXPECT_EQ(At(102).colour, kNeutralText);
  Sounds();
  Click(83);
  EXPECT_EQ(Panel(), kRightAnswer);
  EXPECT_EQ(Sounds(), std::vector<int>{kRightSound});
  EXPECT_EQ(At(83).colour, kGreenText);
  EXPECT_EQ(At(102).text, "");
}

TEST_F(QuizTest, QuizKeepsTheLettersOfTheDiagramOnTheCandidates) {
  form.practice.quiz = true;
  Load(7);
  form.CuteButton5Click();
  EXPECT_EQ(At(83).text, "A");
  EXPECT_EQ(At(102).text, "B");
  EXPECT_EQ(At(83).colour, kNeutralText);
  Click(102);  // a click on the letter answers
  EXPECT_EQ(Panel(), kWrongAnswer);
  EXPECT_EQ(form.state.Board[102], 1);
  EXPECT_EQ(At(83).text, "A");
  EXPECT_EQ(At(83).colour, kGreenText);
  form.CuteButton7Click();  // tried again: both letters offered again
  EXPECT_EQ(At(102).text, "B");
  EXPECT_EQ(At(102).colour, kNeutralText);

  form.practice.quiz = false;  // outside quiz mode the marks cover them
  form.CuteButton9Click();
  form.CuteButton5Click();
  EXPECT_EQ(At(83).text, kCandidateMark);
  EXPECT_EQ(At(83).colour, kGreenText);
}

TEST_F(QuizTest, HiddenCandidatesAHitAndAMiss) {
  form.practice.quiz = true;
  form.practice.hideCandidates = true;
  Load(12);
  form.CuteButton5Click();
  EXPECT_EQ(At(83).text, " ");
  EXPECT_EQ(At(102).text, " ");
  EXPECT_EQ(Panel(), kPlayYourMove);
  EXPECT_FALSE(training.ChooseCandidate(1));  // no numbers for hidden marks

  Click(45);  // a stone: nothing happens
  EXPECT_TRUE(events.answers.empty());
  Sounds();
  Click(100);  // an empty point that is no continuation: a miss
  EXPECT_EQ(Panel(), kNotRegistered);
  EXPECT_EQ(Sounds(), std::vector<int>{kWrongSound});
  EXPECT_EQ(form.state.Board[100], 0);
  ASSERT_EQ(events.answers.size(), 1u);
  EXPECT_EQ(events.answers[0].chosenRow, 0);
  EXPECT_FALSE(events.answers[0].right);
  EXPECT_EQ(At(83).text, kCandidateMark);  // now shown, neutral
  EXPECT_EQ(At(83).colour, kNeutralText);

  Click(83);
  EXPECT_EQ(Panel(), kRightAnswer);
  ASSERT_EQ(events.answers.size(), 2u);
  EXPECT_FALSE(events.answers[1].firstTry);

  form.CuteButton9Click();
  form.CuteButton5Click();
  Click(83);  // a hit without any mark on the board
  EXPECT_EQ(Panel(), kRightAnswer);
  EXPECT_EQ(form.state.Board[83], 1);
}

TEST_F(QuizTest, NumberKeysChooseTheNthCandidateInRowOrder) {
  Load(12);
  EXPECT_FALSE(training.ChooseCandidate(1));  // nothing offered yet
  form.CuteButton5Click();
  EXPECT_FALSE(training.ChooseCandidate(3));
  EXPECT_TRUE(training.ChooseCandidate(2));
  EXPECT_EQ(form.state.Board[102], 1);
}

TEST_F(QuizTest, SwitchingQuizOnRedrawsTheMarksOnOffer) {
  Load(7);
  form.CuteButton5Click();
  EXPECT_EQ(At(83).colour, kGreenText);
  form.practice.quiz = true;
  form.PracticeChanged();
  EXPECT_EQ(At(83).colour, kNeutralText);
  EXPECT_EQ(Panel(), kChooseACandidate);
  form.practice.hideCandidates = true;
  form.PracticeChanged();
  EXPECT_NE(At(102).text, kCandidateMark);
  EXPECT_EQ(Panel(), kPlayYourMove);
}

}  // namespace
}  // namespace sorabeku
