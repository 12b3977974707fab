// Scenarios of the training screen: clicks on the grid, the buttons, the
// board and timer ticks, each followed by what the user sees (board,
// numbers, marks, status texts, sounds, message boxes) and the state.
#include "training/training_screen.h"

#include <gtest/gtest.h>

#include <map>

#include "board/board_view.h"
#include "board/click_map.h"
#include "form/recording_services.h"
#include "library/move_row.h"
#include "library/sequence_walks.h"
#include "library/testing/test_library.h"

namespace sorabeku {
namespace {

using testing::FigureRow;
using testing::MakeTestLibrary;
using testing::TestLibrary;

constexpr WinColour kGreen = kGreenText;
constexpr WinColour kRed = kRedText;

class TrainingTest : public ::testing::Test {
 protected:
  TrainingTest() : form(platform.services(), "/p/"), training(form, lib) {
    training.Install();
  }

  // Creates the window (which opens the contents of section 1) and loads
  // problem `mnb` by a click on its contents row.
  void Load(int mnb) {
    if (!lib.KuraQuery1().Active()) form.Create();
    ASSERT_TRUE(lib.KuraQuery1().Locate("MNB", {std::int64_t{mnb}}));
    form.DBGrid1CellClick();
  }
  void Click(PointIndex p, MouseButton b = MouseButton::kLeft) {
    const Rect r = LabelRect(p);
    form.Label1MouseDown(r.left, r.top, b);
  }
  // Non-empty Board cells.
  std::map<int, int> Stones() const {
    std::map<int, int> out;
    for (int p = 1; p <= kPointCount; ++p) {
      if (form.state.Board[p] != 0) out[p] = form.state.Board[p];
    }
    return out;
  }
  // Points showing "●", with their colour.
  std::map<int, WinColour> Marks() const {
    std::map<int, WinColour> out;
    for (int p = 1; p <= kPointCount; ++p) {
      const Cell& c = form.screen.cells[p];
      if (c.text == kCandidateMark) out[p] = c.colour;
    }
    return out;
  }
  // Points whose label shows a number, with the number.
  std::map<int, std::string> Numbers() const {
    std::map<int, std::string> out;
    for (int p = 1; p <= kPointCount; ++p) {
      const std::string& t = form.screen.cells[p].text;
      if (!t.empty() && t[0] >= '0' && t[0] <= '9') out[p] = t;
    }
    return out;
  }
  // Sounds played since the last call.
  std::vector<int> Sounds() {
    std::vector<int> out(platform.sounds.begin() + soundsSeen_,
                         platform.sounds.end());
    soundsSeen_ = platform.sounds.size();
    return out;
  }
  int CurrentPst() { return RowInt(lib.KuraQuery2(), figure::PST); }
  const std::string& Panel(int i) const { return form.screen.panels[i]; }

  RecordingServices platform;
  std::unique_ptr<TestLibrary> owned_ = MakeTestLibrary();
  TestLibrary& lib = *owned_;
  MainForm form;
  TrainingScreen training;

 private:
  std::size_t soundsSeen_ = 0;
};

const std::map<int, int> kBase = {{45, 1}, {46, 2}, {64, 1}};

std::map<int, int> With(std::map<int, int> m,
                        std::initializer_list<std::pair<const int, int>> more) {
  for (const auto& [p, c] : more) m[p] = c;
  return m;
}

// ---------------------------------------------------------------------------
// The worked example, problem 12: base 45, 46, 64 (branch 1); A = 83, 84
// (branch 2); C = 85 "*", 86 (branch 3); B = 102 red (branch 4).

class WorkedExample : public TrainingTest {
 protected:
  void SetUp() override {
    lib.AddProblem(3, 1);
    lib.AddWorkedExample();
    Load(12);
  }
};

TEST_F(WorkedExample, LoadShowsTheBaseDiagramAndWaitsOnItsEndRow) {
  EXPECT_EQ(Stones(), kBase);
  EXPECT_EQ(form.screen.cells[45].picture, Picture::kBlack);
  EXPECT_EQ(form.screen.cells[46].picture, Picture::kWhite);
  EXPECT_TRUE(Numbers().empty());
  EXPECT_EQ(Sounds().back(), 2);
  EXPECT_EQ(Panel(0), "");
  EXPECT_EQ(form.state.CurrentProblem, 12);
  EXPECT_EQ(form.state.MoveNumber, 0);
  EXPECT_EQ(form.state.ColourToPlay, 1);
  EXPECT_EQ(form.state.CandidatesShown, 0);
  EXPECT_EQ(form.state.SequenceReplayed, 0);
  EXPECT_EQ(CurrentPst(), 64);
  EXPECT_TRUE(form.screen.grid2.attached);
  EXPECT_FALSE(lib.KuraQuery2().ControlsDisabled());
}

TEST_F(WorkedExample, StepAnswerStepToTheEndAndBack) {
  Sounds();
  form.CuteButton7Click();  // nothing stepped yet
  EXPECT_EQ(Panel(0), kNothingToTakeBack);
  EXPECT_EQ(Sounds(), std::vector<int>{0});

  form.CuteButton5Click();  // two continuations: marks, nothing played
  EXPECT_EQ(Marks(), (std::map<int, WinColour>{{83, kGreen}, {102, kRed}}));
  EXPECT_EQ(Stones(), kBase);
  EXPECT_EQ(Panel(0), kClickACircle);
  EXPECT_EQ(Sounds(), std::vector<int>{2});
  EXPECT_EQ(form.state.CandidatesShown, 1);

  form.CuteButton5Click();  // refused while marks are shown
  EXPECT_EQ(platform.messages.back(), kClickAPoint);
  EXPECT_EQ(Stones(), kBase);
  EXPECT_TRUE(Sounds().empty());

  Click(83);  // the green mark: first move of A
  EXPECT_TRUE(Marks().empty());
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}}));
  EXPECT_EQ(Numbers(), (std::map<int, std::string>{{83, "1"}}));
  EXPECT_EQ(Panel(0), kGoOn);
  EXPECT_EQ(Sounds(), std::vector<int>{0});
  EXPECT_EQ(form.state.CandidatesShown, 0);
  EXPECT_EQ(CurrentPst(), 83);

  form.CuteButton5Click();  // 84, then A's end row has one continuation
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}, {84, 2}}));
  EXPECT_EQ(Numbers(), (std::map<int, std::string>{{83, "1"}, {84, "2"}}));
  EXPECT_EQ(Panel(0), kGoOn);
  EXPECT_EQ(Sounds(), std::vector<int>{0});

  form.CuteButton5Click();  // 85 "*" plays 86 at once; the line ends
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}, {84, 2}, {85, 1}, {86, 2}}));
  EXPECT_EQ(form.screen.cells[86].text, "4");
  EXPECT_EQ(Panel(0), kSequenceOver);
  EXPECT_EQ(Sounds(), std::vector<int>{1});
  EXPECT_EQ(form.state.MoveNumber, 4);
  EXPECT_EQ(CurrentPst(), 86);

  form.CuteButton5Click();
  EXPECT_EQ(Panel(0), kNoFurtherMove);
  EXPECT_EQ(Sounds(), std::vector<int>{0});

  form.CuteButton7Click();  // takes 86 back; the comment of row 6 shows
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}, {84, 2}, {85, 1}}));
  EXPECT_EQ(form.screen.cells[86].picture, Picture::kNone);
  EXPECT_EQ(Panel(1), "*");
  EXPECT_TRUE(Sounds().empty());

  form.CuteButton7Click();  // back onto A's end row: its mark again
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}, {84, 2}}));
  EXPECT_EQ(Marks(), (std::map<int, WinColour>{{85, kGreen}}));
  EXPECT_EQ(Panel(0), kClickACircle);
  EXPECT_EQ(Sounds(), std::vector<int>{2});
  EXPECT_EQ(CurrentPst(), 84);
  EXPECT_EQ(form.state.CandidatesShown, 1);
}

TEST_F(WorkedExample, OneSequenceBackFromTheFirstSequence) {
  form.CuteButton5Click();
  Click(83);
  form.CuteButton5Click();
  Sounds();
  form.CuteButton1Click();
  EXPECT_EQ(Stones(), kBase);
  EXPECT_TRUE(Numbers().empty());
  EXPECT_EQ(Marks(), (std::map<int, WinColour>{{83, kGreen}, {102, kRed}}));
  EXPECT_EQ(Panel(0), kWentBackOneSequence);
  EXPECT_EQ(Sounds(), (std::vector<int>{2, 0}));
  EXPECT_EQ(CurrentPst(), 64);
  EXPECT_EQ(form.state.CandidatesShown, 1);

  form.CuteButton1Click();  // in the base diagram now
  EXPECT_EQ(Panel(0), kNothingToTakeBack);
  EXPECT_EQ(CurrentPst(), 64);
}

TEST_F(WorkedExample, RefusedSequenceBackLeavesTheCursorWhereItWas) {
  form.CuteButton1Click();  // right after loading: nothing to go back to
  EXPECT_EQ(Panel(0), kNothingToTakeBack);
  EXPECT_EQ(CurrentPst(), 64);
  form.CuteButton5Click();  // the base diagram's continuations, no replay
  EXPECT_EQ(Stones(), kBase);
  EXPECT_EQ(Marks(), (std::map<int, WinColour>{{83, kGreen}, {102, kRed}}));
}

TEST_F(WorkedExample, OneSequenceBackFromADeeperSequenceShowsItsParentsMarks) {
  form.CuteButton5Click();
  Click(83);
  form.CuteButton5Click();
  form.CuteButton5Click();  // now on 86, in C
  form.CuteButton1Click();
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}, {84, 2}}));
  EXPECT_EQ(Numbers(), (std::map<int, std::string>{{83, "1"}, {84, "2"}}));
  EXPECT_EQ(Marks(), (std::map<int, WinColour>{{85, kGreen}}));
  EXPECT_EQ(Panel(0), kWentBackOneSequence);
  EXPECT_EQ(CurrentPst(), 84);
}

TEST_F(WorkedExample, RedCandidateEndsTheLineAtOnce) {
  form.CuteButton5Click();
  Sounds();
  Click(102);
  EXPECT_EQ(form.state.Board[102], 1);  // |COL| for the answer click
  EXPECT_EQ(form.screen.cells[102].colour, kRedText);
  EXPECT_EQ(form.screen.cells[102].text, "1");
  EXPECT_EQ(Panel(0), kSequenceOver);
  EXPECT_EQ(Sounds(), (std::vector<int>{0, 1}));
}

TEST_F(WorkedExample, AutomaticReplayRunsOnTicksAndWaitsForAnswers) {
  Sounds();
  form.CuteButton10Click();  // branches at once: marks
  EXPECT_EQ(form.state.AutoPlay, 1);
  EXPECT_EQ(Marks().size(), 2u);
  form.Timer2Timer();  // each tick offers them again
  EXPECT_EQ(Sounds(), (std::vector<int>{2, 2}));
  platform.timer2 = false;
  Click(83);
  EXPECT_TRUE(platform.timer2);
  EXPECT_EQ(Panel(0), "");  // the replay goes on without the prompt
  form.Timer2Timer();
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}, {84, 2}}));
  EXPECT_EQ(Panel(0), kGoOn);
  form.Timer2Timer();
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}, {84, 2}, {85, 1}, {86, 2}}));
  EXPECT_EQ(Panel(0), kSequenceOver);
  EXPECT_EQ(form.state.AutoPlay, 0);
  EXPECT_TRUE(platform.timer2);
  form.Timer2Timer();  // switches itself off
  EXPECT_FALSE(platform.timer2);
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}, {84, 2}, {85, 1}, {86, 2}}));
}

// The timer runs from the start until it first fires with no replay on,
// and is off from then on; "手順表示" pressed inside a sequence turns it on
// again and the replay runs to the end of the line.
TEST_F(WorkedExample, AutomaticReplayStartedMidSequenceRunsToTheEnd) {
  form.Timer2Timer();
  ASSERT_FALSE(platform.timer2);
  form.CuteButton5Click();
  Click(83);
  ASSERT_FALSE(platform.timer2);
  form.CuteButton10Click();  // plays 84
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}, {84, 2}}));
  EXPECT_TRUE(platform.timer2);
  for (int tick = 0; platform.timer2 && tick < 10; ++tick) form.Timer2Timer();
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}, {84, 2}, {85, 1}, {86, 2}}));
  EXPECT_EQ(Panel(0), kSequenceOver);
  EXPECT_EQ(form.state.AutoPlay, 0);
  EXPECT_FALSE(platform.timer2);
}

TEST_F(WorkedExample, BackToTheStartStopsTheTimerAndReloads) {
  form.CuteButton10Click();
  Click(83);
  form.CuteButton9Click();
  EXPECT_FALSE(platform.timer2);
  EXPECT_EQ(Stones(), kBase);
  EXPECT_EQ(form.state.AutoPlay, 1);  // only the end of a line clears it
  form.CuteButton5Click();
  Click(83);
  EXPECT_TRUE(platform.timer2);
}

TEST_F(WorkedExample, GridRowClickRedrawsItsLineAndKeepsTheRow) {
  ASSERT_TRUE(lib.KuraQuery2().Locate("TNB", {std::int64_t{6}}));
  form.screen.panels[1] = "old";
  form.DBGrid2CellClick();
  EXPECT_EQ(Stones(), With(kBase, {{83, 1}, {84, 2}, {85, 1}, {86, 2}}));
  EXPECT_EQ(Numbers(), (std::map<int, std::string>{
                           {83, "1"}, {84, "2"}, {85, "3"}, {86, "4"}}));
  EXPECT_EQ(RowInt(lib.KuraQuery2(), figure::TNB), 6);
  EXPECT_EQ(Panel(1), "");
  EXPECT_EQ(form.state.SequenceReplayed, 1);
  EXPECT_EQ(form.state.MoveNumber, 4);
  EXPECT_TRUE(form.screen.grid2.attached);

  ASSERT_TRUE(lib.KuraQuery2().Locate("TNB", {std::int64_t{8}}));
  form.DBGrid2CellClick();  // line B: the red stone keeps a red number
  EXPECT_EQ(Stones(), With(kBase, {{102, 1}}));
  EXPECT_EQ(form.screen.cells[102].colour, kRedText);
}

TEST_F(WorkedExample, LongWalksDoNotScrollTheProblemGrid) {
  // Loading and redrawing walk over every row; the grid, detached
  // meanwhile, follows none of them.
  const auto before = lib.MovesWhileAttached();
  Load(12);
  ASSERT_TRUE(lib.KuraQuery2().Locate("TNB", {std::int64_t{6}}));
  const auto located = lib.MovesWhileAttached();
  form.DBGrid2CellClick();
  EXPECT_EQ(lib.MovesWhileAttached(), located);
  if (before) {
    EXPECT_LE(*located - *before, 2) << *located - *before;
  }
}

TEST_F(WorkedExample, StepForwardPlaysARedLineStoneWithItsSign) {
  lib.AddRow({.mnb = 12, .tes = 2, .col = -2, .pst = 103, .bfr = 5, .bto = 4});
  Load(12);
  form.CuteButton5Click();
  Click(102);
  form.CuteButton5Click();
  EXPECT_EQ(form.state.Board[103], -2);
  EXPECT_EQ(form.screen.cells[103].picture, Picture::kWhite);
  EXPECT_EQ(form.screen.cells[103].colour, kRedText);
}

// ---------------------------------------------------------------------------
// Free stones

TEST_F(WorkedExample, FreeStonesAreTakenBackNewestFirstWithTheirCaptures) {
  // A white free stone at 84 is surrounded by black free stones at 85,
  // 103, 65 and finally 83, which takes it.
  form.CuteButton5Click();  // marks shown
  Click(84, MouseButton::kRight);  // white 84 (column 4, row 7)
  EXPECT_TRUE(Marks().empty());
  EXPECT_EQ(form.state.CandidatesShown, 1);  // stays until reset or redraw
  Click(85);  // black 85 below it
  Click(103);  // black 103 to its right
  Click(65);   // black 65 to its left; 83 above is still empty
  EXPECT_EQ(form.state.Board[84], 2);
  Click(83);   // black 83 takes white 84
  EXPECT_EQ(form.state.Board[84], 0);
  EXPECT_EQ(form.state.EditCount, 5);
  form.CuteButton5Click();
  EXPECT_EQ(platform.messages.back(), kClickAPoint);

  form.CuteButton7Click();  // 83 goes, white 84 comes back
  EXPECT_EQ(form.state.Board[83], 0);
  EXPECT_EQ(form.state.Board[84], 2);
  EXPECT_EQ(form.screen.cells[84].picture, Picture::kWhite);
  for (int i = 0; i < 4; ++i) form.CuteButton7Click();
  EXPECT_EQ(Stones(), kBase);
  EXPECT_EQ(form.state.EditCount, 0);
  // Stepping was started (the first "1手進む"), so the next take-back steps
  // back through the rows; the base diagram's end stone goes.
  form.CuteButton7Click();
  EXPECT_EQ(form.state.Board[64], 0);
}

// A take-back of a capturing move puts the captured stone back with the
// number it was played with, in the text colour of its stone.
TEST_F(TrainingTest, TakingBackACaptureReturnsTheStoneWithItsNumber) {
  // White 83, 85 and 65 around 84; black plays 84 (1), white 103 (2) takes it.
  lib.AddProblem(5, 1);
  lib.AddRow({.mnb = 5, .col = 2, .pst = 83, .bto = kRootMarker});
  lib.AddRow({.mnb = 5, .col = 2, .pst = 85});
  lib.AddRow({.mnb = 5, .col = 2, .pst = 65, .bfr = 1});
  lib.AddRow({.mnb = 5, .tes = 1, .col = 1, .pst = 84, .bto = 1});
  lib.AddRow({.mnb = 5, .tes = 2, .col = 2, .pst = 103, .bfr = 2});
  Load(5);
  form.CuteButton5Click();
  form.CuteButton5Click();
  ASSERT_EQ(form.state.Board[103], 2);
  ASSERT_EQ(form.state.Board[84], 0);
  form.CuteButton7Click();
  EXPECT_EQ(form.state.Board[103], 0);
  EXPECT_EQ(form.state.Board[84], 1);
  EXPECT_EQ(form.screen.cells[84].picture, Picture::kBlack);
  EXPECT_EQ(form.screen.cells[84].text, "1");
  EXPECT_EQ(form.screen.cells[84].colour, kWhiteText);
}

TEST_F(WorkedExample, FreeStoneNeedsAnEmptyOrRedPoint) {
  Click(45);  // a stone lies there
  EXPECT_EQ(form.state.EditCount, 0);
  form.state.Board[100] = -1;
  Click(100, MouseButton::kMiddle);
  EXPECT_EQ(form.state.Board[100], 2);
  EXPECT_EQ(form.state.EditMoves[1].Pst, 100);
}

TEST_F(TrainingTest, TakeBackWithoutSteppingAfterFreeStonesIsRefused) {
  lib.AddWorkedExample();
  Load(12);
  Click(1);
  Click(2, MouseButton::kRight);
  Click(3);
  Sounds();
  form.CuteButton7Click();
  form.CuteButton7Click();
  form.CuteButton7Click();
  EXPECT_EQ(Stones(), kBase);
  EXPECT_TRUE(Sounds().empty());
  form.CuteButton7Click();
  EXPECT_EQ(Panel(0), kNothingToTakeBack);
  EXPECT_EQ(Stones(), kBase);
}

TEST_F(TrainingTest, FreeStonesStopWhenTheEditBufferIsFull) {
  lib.AddWorkedExample();
  Load(12);
  form.state.EditCount = kEditMoveSlots;
  Click(1);
  EXPECT_EQ(form.state.Board[1], 0);
  EXPECT_EQ(form.state.EditCount, kEditMoveSlots);
}

// ---------------------------------------------------------------------------
// Cases the rows or the moment leave open

TEST_F(TrainingTest, StepButtonsBeforeAnyProblemIsLoaded) {
  form.Create();
  form.CuteButton5Click();
  EXPECT_EQ(Panel(0), kNoFurtherMove);
  form.CuteButton7Click();  // "1手進む" counted as stepping
  EXPECT_EQ(Panel(0), kNothingToTakeBack);
  form.CuteButton1Click();
  EXPECT_EQ(Panel(0), kNothingToTakeBack);
  form.CuteButton10Click();
  EXPECT_EQ(form.state.AutoPlay, 0);
  form.DBGrid2CellClick();
  EXPECT_TRUE(Stones().empty());
}

TEST_F(TrainingTest, ProblemWithoutRowsDrawsNothing) {
  lib.AddProblem(5, 1);
  Load(5);
  EXPECT_EQ(Sounds().back(), 2);
  form.CuteButton5Click();
  EXPECT_EQ(Panel(0), kNoFurtherMove);
  form.CuteButton7Click();
  form.CuteButton1Click();
  form.DBGrid2CellClick();
  EXPECT_TRUE(Stones().empty());
  EXPECT_TRUE(form.screen.cells[0].IsReset());
}

TEST_F(TrainingTest, LastRowWithoutBranchNumberEndsTheLine) {
  lib.AddProblem(5, 1);
  lib.AddRow({.mnb = 5, .col = 1, .pst = 45, .bfr = 1, .bto = kRootMarker});
  lib.AddRow({.mnb = 5, .tes = 1, .col = 2, .pst = 83, .bto = 1});
  lib.AddRow({.mnb = 5, .tes = 2, .col = 1, .pst = 84});
  Load(5);
  form.CuteButton10Click();
  form.Timer2Timer();
  EXPECT_EQ(Stones(), (std::map<int, int>{{45, 1}, {83, 2}, {84, 1}}));
  EXPECT_EQ(Panel(0), kGoOn);
  Sounds();
  form.Timer2Timer();  // no row follows: nothing is drawn again
  EXPECT_EQ(Panel(0), kNoFurtherMove);
  EXPECT_EQ(Sounds(), std::vector<int>{0});
  EXPECT_EQ(form.state.AutoPlay, 0);
  EXPECT_EQ(form.screen.cells[84].text, "2");
  // The unfinished sequence has no branch number to find it by: the replay
  // draws the line up to its parent's end row and keeps the cursor.
  form.DBGrid2CellClick();
  EXPECT_EQ(Stones(), (std::map<int, int>{{45, 1}}));
  EXPECT_EQ(CurrentPst(), 84);
}

TEST_F(TrainingTest, SoleContinuationIsFoundWhereverItWasRegistered) {
  lib.AddProblem(5, 1);
  lib.AddRow({.mnb = 5, .col = 1, .pst = 45, .bfr = 1, .bto = kRootMarker});
  lib.AddRow({.mnb = 5, .tes = 1, .col = 1, .pst = 83, .bfr = 2, .bto = 1});
  lib.AddRow({.mnb = 5, .tes = 1, .col = 1, .pst = 102, .bfr = 3, .bto = 1});
  lib.AddRow({.mnb = 5, .tes = 2, .col = 2, .pst = 84, .bfr = 4, .bto = 2});
  Load(5);
  form.CuteButton5Click();
  Click(83);
  form.CuteButton5Click();  // A's only continuation is the last row
  EXPECT_EQ(form.state.Board[84], 2);
  EXPECT_EQ(form.state.Board[103], 0);
  EXPECT_EQ(form.state.Board[102], 0);
  EXPECT_EQ(Panel(0), kSequenceOver);
}

TEST_F(TrainingTest, ChainOfContinueRowsStopsAtBranchingEndRow) {
  lib.AddProblem(5, 1);
  lib.AddRow({.mnb = 5, .col = 1, .pst = 45, .bfr = 1, .bto = kRootMarker});
  lib.AddRow({.mnb = 5, .tes = 1, .col = 1, .pst = 83, .bto = 1, .cmt = "*"});
  lib.AddRow({.mnb = 5, .tes = 2, .col = 2, .pst = 84, .bfr = 2, .cmt = "*"});
  lib.AddRow({.mnb = 5, .tes = 3, .col = 1, .pst = 85, .bfr = 3, .bto = 2});
  lib.AddRow({.mnb = 5, .tes = 3, .col = 1, .pst = 86, .bfr = 4, .bto = 2});
  Load(5);
  Sounds();
  form.CuteButton5Click();  // single continuation: plays 83, 84 at once
  EXPECT_EQ(Stones(), (std::map<int, int>{{45, 1}, {83, 1}, {84, 2}}));
  EXPECT_EQ(Marks(), (std::map<int, WinColour>{{85, kGreen}, {86, kGreen}}));
  EXPECT_EQ(Panel(0), kClickACircle);
  EXPECT_EQ(Sounds(), std::vector<int>{2});
}

TEST_F(TrainingTest, StaleMarkAfterStepBackIsOnlyRemoved) {
  lib.AddWorkedExample();
  Load(12);
  form.CuteButton5Click();
  Click(83);
  form.CuteButton5Click();
  form.CuteButton5Click();  // to the end of the line
  for (int i = 0; i < 4; ++i) form.CuteButton7Click();
  // Back on the base diagram's end row: its marks are offered, and the
  // mark 85 of A's end row, passed on the way back, is still on the board.
  EXPECT_EQ(Marks(), (std::map<int, WinColour>{
                         {83, kGreen}, {85, kGreen}, {102, kRed}}));
  const auto stones = Stones();
  Click(85);
  EXPECT_EQ(Marks(), (std::map<int, WinColour>{{83, kGreen}, {102, kRed}}));
  EXPECT_EQ(Stones(), stones);
  EXPECT_EQ(CurrentPst(), 64);
  EXPECT_EQ(form.state.CandidatesShown, 1);
  Click(83);  // the real marks still answer
  EXPECT_EQ(form.state.Board[83], 1);
  EXPECT_EQ(Panel(0), kGoOn);
}

TEST_F(TrainingTest, MarkRowsAreDrawnWithTheirOwnCodeAndText) {
  lib.AddProblem(5, 1);
  lib.AddRow({.mnb = 5, .col = 1, .pst = 45, .bto = kRootMarker});
  lib.AddRow({.mnb = 5, .col = 3, .pst = 46, .cmt = "A", .dix = 22});
  lib.AddRow({.mnb = 5, .col = 0, .pst = 45, .cmt = "B", .dix = 33});
  lib.AddRow({.mnb = 5, .col = 2, .pst = 64, .bfr = 1});
  Load(5);
  EXPECT_EQ(form.screen.cells[46].text, "A");
  EXPECT_TRUE(form.screen.cells[46].opaque);
  EXPECT_EQ(form.screen.cells[46].colour, kGreenText);
  EXPECT_EQ(form.screen.cells[46].picture, Picture::kNone);
  EXPECT_EQ(form.screen.cells[45].text, "B");
  // The stone under a transparent mark stays a stone.
  EXPECT_EQ(Stones(), (std::map<int, int>{{45, 1}, {46, 3}, {64, 2}}));
  EXPECT_EQ(form.screen.cells[45].picture, Picture::kBlack);
  ASSERT_TRUE(lib.KuraQuery2().Locate("TNB", {std::int64_t{4}}));
  form.DBGrid2CellClick();
  EXPECT_EQ(form.screen.cells[46].text, "A");
  EXPECT_EQ(Stones(), (std::map<int, int>{{45, 1}, {46, 3}, {64, 2}}));
}

TEST_F(TrainingTest, OneSequenceBackFromASequenceThatStartsWithAMark) {
  lib.AddProblem(5, 1);
  lib.AddRow({.mnb = 5, .col = 1, .pst = 45, .bfr = 1, .bto = kRootMarker});
  lib.AddRow({.mnb = 5, .tes = 0, .col = 3, .pst = 83, .bto = 1, .cmt = "A", .dix = 22});
  lib.AddRow({.mnb = 5, .tes = 1, .col = 1, .pst = 84, .bfr = 2});
  Load(5);
  form.CuteButton5Click();  // the only continuation: its mark row
  form.CuteButton5Click();
  EXPECT_EQ(form.state.Board[84], 1);
  form.CuteButton1Click();
  EXPECT_EQ(Panel(0), kWentBackOneSequence);
  EXPECT_EQ(Stones(), (std::map<int, int>{{45, 1}, {83, 3}}));
  EXPECT_EQ(form.screen.cells[83].text, "A");
}

TEST_F(TrainingTest, TwentyMarksAtMostAndOffBoardPointsAreSkipped) {
  lib.AddProblem(5, 1);
  lib.AddRow({.mnb = 5, .col = 1, .pst = 1, .bfr = 1, .bto = kRootMarker});
  lib.AddRow({.mnb = 5, .tes = 1, .col = 1, .pst = 400, .bfr = 2, .bto = 1});
  for (int i = 0; i < 24; ++i) {
    lib.AddRow({.mnb = 5, .tes = 1, .col = 1, .pst = 100 + i, .bfr = 3 + i, .bto = 1});
  }
  Load(5);
  form.CuteButton5Click();
  EXPECT_EQ(Marks().size(), 19u);  // 20 candidates, one of them off the board
  EXPECT_EQ(Marks().count(118), 1u);
  EXPECT_EQ(Marks().count(119), 0u);
}

TEST_F(TrainingTest, SequenceBackIntoALineTooDeepToRedrawIsRefused) {
  // Base diagram and eleven one-move sequences, each the only continuation
  // of the one before: the line of the last is 12 deep, its parent's 11.
  lib.AddProblem(5, 1);
  lib.AddRow({.mnb = 5, .col = 1, .pst = 1, .bfr = 1, .bto = kRootMarker});
  for (int b = 1; b <= 11; ++b) {
    lib.AddRow({.mnb = 5, .tes = b, .col = 1 + b % 2, .pst = 20 + b,
                .bfr = b + 1, .bto = b});
  }
  Load(5);
  for (int i = 0; i < 11; ++i) form.CuteButton5Click();
  ASSERT_EQ(CurrentPst(), 31);
  const auto stones = Stones();
  ASSERT_EQ(stones.size(), 12u);
  form.CuteButton1Click();
  EXPECT_EQ(Panel(0), kNothingToTakeBack);
  EXPECT_EQ(Stones(), stones);
  EXPECT_EQ(CurrentPst(), 31);
  EXPECT_EQ(form.state.MoveNumber, 11);
  EXPECT_TRUE(form.screen.grid2.attached);
  form.CuteButton7Click();  // stepping back still works
  EXPECT_EQ(form.state.Board[31], 0);
}

TEST_F(TrainingTest, LineDeeperThanTenSequencesIsNotRedrawn) {
  lib.AddProblem(5, 1);
  lib.AddRow({.mnb = 5, .col = 1, .pst = 1, .bfr = 1, .bto = kRootMarker});
  for (int b = 1; b <= 10; ++b) {
    lib.AddRow({.mnb = 5, .tes = b, .col = 1, .pst = 1 + b, .bfr = b + 1, .bto = b});
  }
  Load(5);
  ASSERT_TRUE(lib.KuraQuery2().Locate("TNB", {std::int64_t{11}}));
  form.DBGrid2CellClick();
  EXPECT_EQ(Stones(), (std::map<int, int>{{1, 1}}));
  EXPECT_EQ(RowInt(lib.KuraQuery2(), figure::TNB), 11);
  EXPECT_EQ(form.state.SequenceReplayed, 0);
  EXPECT_TRUE(form.screen.grid2.attached);
  ASSERT_TRUE(lib.KuraQuery2().Locate("TNB", {std::int64_t{10}}));
  form.DBGrid2CellClick();
  EXPECT_EQ(Stones().size(), 10u);
}

}  // namespace
}  // namespace sorabeku
