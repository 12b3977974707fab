#include "main_form/main_form.h"

#include <gtest/gtest.h>

#include "board/board_view.h"
#include "engine/errors/kura_error.h"
#include "form/recording_services.h"
#include "main_form/clock_text.h"

namespace sorabeku {
namespace {

class MainFormTest : public ::testing::Test {
 protected:
  MainFormTest() : form(platform.services(), "/opt/sorabeku/") { form.Create(); }

  // The controls shown, with their places (a hidden control has none).
  std::map<std::string, std::tuple<int, int, int, int>> Placement() const {
    std::map<std::string, std::tuple<int, int, int, int>> out;
    for (const auto& [name, c] : form.screen.controls) {
      if (c.visible) out[name] = {c.left, c.top, c.width, c.height};
    }
    return out;
  }

  RecordingServices platform;
  MainForm form;
};

TEST_F(MainFormTest, StartUpShowsAnEmptyTrainingScreen) {
  for (PointIndex p = 1; p <= kPointCount; ++p) {
    ASSERT_EQ(form.screen.cells[p].text, " ");
    ASSERT_TRUE(form.screen.cells[p].IsReset());
  }
  EXPECT_EQ(form.screen.panels, (std::array<std::string, 3>{"", "", ""}));
  EXPECT_EQ(form.screen.control("ComboBox1").ShownText(), "検索");
  EXPECT_EQ(form.screen.control("ComboBox2").ShownText(), "評価");
  EXPECT_EQ(form.screen.control("Label362").text, "道場画面");
  EXPECT_EQ(form.screen.control("Label364").text, "（出入の部）");
  for (const char* hidden : {"CuteButton2", "CuteButton3", "CuteButton4",
                             "CuteButton8", "CuteButton11", "Edit1", "DBGrid2"}) {
    EXPECT_FALSE(form.screen.control(hidden).visible) << hidden;
  }
  EXPECT_EQ(form.screen.control("DBGrid1").top, 30);
  EXPECT_EQ(form.screen.control("DBGrid1").height, 310);
  EXPECT_EQ(form.state.ScreenMode, 1);
  EXPECT_EQ(form.state.CurrentSection, 1);
  EXPECT_EQ(form.HelpFile(), "/opt/sorabeku/ソラベク.hlp");
  EXPECT_TRUE(platform.timer1);
  EXPECT_TRUE(platform.timer2);
}

TEST_F(MainFormTest, LayoutsSwitchBackAndForthWithoutTouchingTheBoard) {
  BoardContext board = form.Board();
  form.state.Board[61] = kBlack;
  ShowStone(board, 1, kBlack, 61, 2, "c");
  const auto training = Placement();
  const MainState before = form.state;

  form.N9Click();
  EXPECT_EQ(form.state.ScreenMode, 2);
  EXPECT_EQ(form.screen.control("Label362").text, "編集画面");
  EXPECT_TRUE(form.screen.control("CuteButton2").visible);
  EXPECT_EQ(form.screen.control("DBGrid2").top, 150);
  EXPECT_EQ(form.screen.control("DBGrid2").height, 120);
  EXPECT_EQ(form.screen.control("ComboBox2").top, 272);
  const auto editing = Placement();

  form.N8Click();
  EXPECT_EQ(Placement(), training);
  form.N9Click();
  EXPECT_EQ(Placement(), editing);
  form.N8Click();
  EXPECT_EQ(Placement(), training);
  EXPECT_EQ(form.state.Board, before.Board);
  EXPECT_EQ(form.screen.cells[61].text, "1");
  EXPECT_EQ(form.screen.panels[1], "c");
}

TEST_F(MainFormTest, ResetBoardKeepsTheProblemAndTheEditBufferText) {
  form.state.CurrentProblem = 12;
  form.state.EditCount = 2;
  form.state.EditMoves[1] = {3, 1, 40, 23};
  form.state.EditComments[1] = "*";
  form.state.CaptureLog[4] = {1, 1, 2, 7};
  form.state.CaptureLogCount = 1;
  form.state.AutoPlay = 1;
  form.state.LastStonePoint = 40;
  form.state.Board[40] = 1;
  form.screen.cells[40] = {Picture::kBlack, "3", kRedText, true, true};
  form.screen.panels = {"a", "b", "12/08  11:05 PM"};
  form.screen.control("ComboBox2").itemIndex = 6;

  form.ResetBoard();
  EXPECT_EQ(form.state.CurrentProblem, 12);
  EXPECT_EQ(form.state.EditCount, 0);
  EXPECT_EQ(form.state.EditMoves[1].Pst, 0);
  EXPECT_EQ(form.state.EditMoves[1].Dix, 23);
  EXPECT_EQ(form.state.EditComments[1], "*");
  EXPECT_TRUE(form.state.CaptureLog[4].IsFree());
  EXPECT_EQ(form.state.CaptureLogCount, 0);
  EXPECT_EQ(form.state.AutoPlay, 1);
  EXPECT_EQ(form.state.LastStonePoint, 40);
  EXPECT_EQ(form.state.Board[40], 0);
  const Cell& cell = form.screen.cells[40];
  EXPECT_TRUE(cell.IsReset());
  EXPECT_EQ(cell.colour, kRedText);  // colour and style stay
  EXPECT_TRUE(cell.bold);
  EXPECT_EQ(form.screen.panels[2], "12/08  11:05 PM");
  EXPECT_EQ(form.screen.control("ComboBox2").ShownText(), "評価");
}

TEST_F(MainFormTest, SectionSwitchEmptiesTheBoardAndNamesTheSection) {
  std::vector<int> opened;
  form.hooks.openContents = [&](MainForm& f, int mode) {
    opened.push_back(f.state.CurrentSection * 100 + mode);
  };
  form.state.CurrentProblem = 7;
  form.state.Board[5] = 2;
  form.N4Click();
  EXPECT_EQ(form.screen.control("Label364").text, "（手筋の部・黒番）");
  EXPECT_EQ(form.state.Board[5], 0);
  EXPECT_EQ(form.state.CurrentProblem, 7);
  form.N5Click();
  EXPECT_EQ(form.screen.control("Label364").text, "（地中の部・黒番）");
  form.N3Click();
  EXPECT_EQ(form.screen.control("Label364").text, "（出入の部）");
  EXPECT_EQ(opened, (std::vector<int>{200, 300, 100}));
}

TEST_F(MainFormTest, EngineErrorsEndTheEventInAnErrorBox) {
  form.hooks.openContents = [](MainForm&, int) {
    kura::Raise(kura::KURA_FILENOACCESS, {.table = "mokuji"});
  };
  form.RunEvent([&] { form.N4Click(); });
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].rfind("Kura Engine Error # ", 0), 0u);
  EXPECT_EQ(form.state.CurrentSection, 2);
  EXPECT_EQ(form.screen.control("Label364").text, "（出入の部）");  // not reached

  // The same failure at creation is shown and the window opens regardless.
  MainForm second(platform.services(), "/p/");
  second.hooks.openContents = form.hooks.openContents;
  second.Create();
  EXPECT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(second.screen.control("Label362").text, "道場画面");
}

TEST_F(MainFormTest, ExitAsksAndNoKeepsTheProgramRunning) {
  platform.nextAnswer = false;
  form.Exit1Click();
  EXPECT_EQ(platform.messages, (std::vector<std::string>{kExitQuestion}));
  EXPECT_FALSE(platform.terminated);
  form.Exit1Click();
  EXPECT_TRUE(platform.terminated);
}

TEST_F(MainFormTest, AboutAndHelp) {
  form.About1Click();
  form.N2Click();
  EXPECT_EQ(platform.messages, (std::vector<std::string>{"ソラベク\r\nVersion 2.3"}));
  EXPECT_EQ(platform.helpShown,
            (std::vector<std::string>{"/opt/sorabeku/ソラベク.hlp"}));
}

TEST_F(MainFormTest, SoundsByKindAndAnUnknownKindRepeatsTheLastFile) {
  form.PlaySound(7);  // no file chosen yet: nothing
  form.PlaySound(2);
  form.PlaySound(0);
  form.PlaySound(1);
  form.PlaySound(9);
  EXPECT_EQ(platform.soundPaths,
            (std::vector<std::string>{"/opt/sorabeku/oto/pipo.wav",
                                      "/opt/sorabeku/oto/Oto1.wav",
                                      "/opt/sorabeku/oto/Oto2.wav",
                                      "/opt/sorabeku/oto/Oto2.wav"}));
}

TEST_F(MainFormTest, ClockTicksIntoTheThirdPanel) {
  EXPECT_EQ(form.screen.panels[2], "");
  platform.now = {2026, 12, 8, 23, 5};
  form.Timer1Timer();
  EXPECT_EQ(form.screen.panels[2], "12/08  11:05 PM");
}

TEST(ClockText, TwelveHourClock) {
  EXPECT_EQ(ClockText({2026, 1, 2, 0, 30}), "01/02  12:30 AM");
  EXPECT_EQ(ClockText({2026, 1, 2, 12, 0}), "01/02  12:00 PM");
  EXPECT_EQ(ClockText({2026, 1, 2, 13, 0}), "01/02  01:00 PM");
  EXPECT_EQ(ClockText({2026, 1, 2, 11, 59}), "01/02  11:59 AM");
  EXPECT_EQ(ClockText({2026, 12, 8, 23, 5}), "12/08  11:05 PM");
}

TEST_F(MainFormTest, BoardClicksGoToTheScreenOrToTheCandidateAnswer) {
  std::vector<std::string> calls;
  auto record = [&](const char* kind) {
    return [&calls, kind](MainForm&, PointIndex p, MouseButton b) {
      calls.push_back(std::string(kind) + std::to_string(p) +
                      (b == MouseButton::kLeft ? "L" : "R"));
    };
  };
  form.hooks.answerClick = record("answer");
  form.hooks.trainingClick = record("training");
  form.hooks.editingClick = record("editing");
  form.screen.panels[0] = "old";
  form.Label1MouseDown(32, 9, MouseButton::kLeft);
  EXPECT_EQ(form.screen.panels[0], "");
  form.N9Click();
  form.Label1MouseDown(508, 513, MouseButton::kRight);
  form.screen.cells[1].text = kCandidateMark;
  form.Label1MouseDown(4, 9, MouseButton::kLeft);
  EXPECT_EQ(calls, (std::vector<std::string>{"training20L", "editing361R",
                                             "answer1L"}));

  form.hooks.editingClick = nullptr;
  EXPECT_THROW(form.Label1MouseDown(60, 9, MouseButton::kLeft), NotAvailable);
  EXPECT_THROW(form.CuteButton5Click(), NotAvailable);
}

TEST_F(MainFormTest, Timer2SwitchesItselfOffWhileNothingIsReplayed) {
  form.Timer2Timer();
  EXPECT_FALSE(platform.timer2);
  form.state.AutoPlay = 1;
  EXPECT_THROW(form.Timer2Timer(), NotAvailable);
}

}  // namespace
}  // namespace sorabeku
