// The training screen through the driver, as the program runs it: the
// library is a directory of real tables made with data/kyozai.sql by the
// engine's tool, the screens are joined to it by ProgramLibrary, and every
// step goes through the window's widgets. After each step the dump is
// compared with what the user sees: stones, numbers, marks, status texts,
// sounds, message boxes and the state.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <map>
#include <memory>

#include "app/qt/application.h"
#include "app/qt/testing/qt_environment.h"
#include "app/qt/driver.h"
#include "app/qt/testing/library_window.h"
#include "board/board_view.h"
#include "app/program_library.h"
#include "training/training_screen.h"

namespace sorabeku {
namespace {

using nlohmann::json;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment("training_window_test"));

// Rows of the worked example, problem 12, as statements; texts in UTF-8
// that the tool stores in Shift-JIS.
constexpr const char* kWorkedExample = R"(
INSERT INTO mokuji VALUES (5, 3, '隅の出入り');
INSERT INTO mokuji VALUES (12, 7, '二線のハネツギ');
INSERT INTO mokuji VALUES (1002, 9, '手筋の問題');
INSERT INTO figure (MNB, TES, COL, PST, BTO, CMT) VALUES (12, 0, 1, 45, 9999, '黒先');
INSERT INTO figure (MNB, TES, COL, PST) VALUES (12, 0, 2, 46);
INSERT INTO figure (MNB, TES, COL, PST, BFR) VALUES (12, 0, 1, 64, 1);
INSERT INTO figure (MNB, TES, COL, PST, BTO, CMT) VALUES (12, 1, 1, 83, 1, 'ハネ');
INSERT INTO figure (MNB, TES, COL, PST, BFR) VALUES (12, 2, 2, 84, 2);
INSERT INTO figure (MNB, TES, COL, PST, BTO, CMT) VALUES (12, 3, 1, 85, 2, '*');
INSERT INTO figure (MNB, TES, COL, PST, BFR, CMT) VALUES (12, 4, 2, 86, 3, '黒の先手');
INSERT INTO figure (MNB, TES, COL, PST, BFR, BTO, CMT) VALUES (12, 1, -1, 102, 4, 1, '小さい');
)";

constexpr int kGreen = 65280;
constexpr int kRed = 255;

class TrainingWindow : public testing::LibraryWindow {};

const std::map<int, int> kBase = {{45, 1}, {46, 2}, {64, 1}};

std::map<int, int> With(std::map<int, int> m,
                        std::initializer_list<std::pair<const int, int>> more) {
  for (const auto& [p, c] : more) m[p] = c;
  return m;
}

using Sounds = std::vector<int>;
using Labels = std::map<int, std::string>;

TEST_F(TrainingWindow, WorkedExampleStepByStep) {
  Open(kWorkedExample);
  ASSERT_FALSE(HasFatalFailure());
  json d = s->Dump();
  EXPECT_TRUE(d["messages"].empty());
  EXPECT_EQ(d["grid1"]["rows"], 2);  // section 1 only: 5 and 12

  d = Do("grid1 2");  // load problem 12
  EXPECT_EQ(Stones(d), kBase);
  EXPECT_TRUE(Texts(d).empty());
  EXPECT_EQ(d["sounds"], Sounds{2});
  EXPECT_EQ(d["status"][0], "");
  EXPECT_EQ(d["state"]["CurrentProblem"], 12);
  EXPECT_EQ(d["state"]["MoveNumber"], 0);
  EXPECT_EQ(d["state"]["ColourToPlay"], 1);
  EXPECT_EQ(d["grid2"]["rows"], 8);
  EXPECT_EQ(d["grid2"]["current"], 3);  // the base diagram's end row

  d = Do("button 1手戻す");
  EXPECT_EQ(d["status"][0], kNothingToTakeBack);
  EXPECT_EQ(d["sounds"], Sounds{0});

  d = Do("button 1手進む");  // two continuations: a green and a red mark
  EXPECT_EQ(Marks(d), (std::map<int, int>{{83, kGreen}, {102, kRed}}));
  EXPECT_EQ(Stones(d), kBase);
  EXPECT_EQ(d["status"][0], kClickACircle);
  EXPECT_EQ(d["sounds"], Sounds{2});
  EXPECT_EQ(d["state"]["CandidatesShown"], 1);
  EXPECT_EQ(d["state"]["SequenceReplayed"], 1);

  d = Do("button 1手進む");  // refused while the marks wait
  EXPECT_EQ(d["messages"], std::vector<std::string>{kClickAPoint});
  EXPECT_EQ(Stones(d), kBase);
  EXPECT_TRUE(d["sounds"].empty());

  d = Do("board 83");  // the green mark: A's first move
  EXPECT_TRUE(Marks(d).empty());
  EXPECT_EQ(Stones(d), With(kBase, {{83, 1}}));
  EXPECT_EQ(Texts(d), (Labels{{83, "1"}}));
  EXPECT_EQ(d["status"][0], kGoOn);
  EXPECT_EQ(d["status"][1], "ハネ");  // stored in Shift-JIS, shown in UTF-8
  EXPECT_EQ(d["sounds"], Sounds{0});
  EXPECT_EQ(d["state"]["CandidatesShown"], 0);
  EXPECT_EQ(d["grid2"]["current"], 4);

  d = Do("button 1手進む");
  EXPECT_EQ(Stones(d), With(kBase, {{83, 1}, {84, 2}}));
  EXPECT_EQ(Texts(d), (Labels{{83, "1"}, {84, "2"}}));
  EXPECT_EQ(d["status"][0], kGoOn);
  EXPECT_EQ(d["sounds"], Sounds{0});

  d = Do("button 1手進む");  // the sole continuation: 85 "*" plays 86 too
  EXPECT_EQ(Stones(d), With(kBase, {{83, 1}, {84, 2}, {85, 1}, {86, 2}}));
  EXPECT_EQ(Texts(d), (Labels{{83, "1"}, {84, "2"}, {85, "3"}, {86, "4"}}));
  EXPECT_EQ(d["status"][0], kSequenceOver);
  EXPECT_EQ(d["status"][1], "黒の先手");
  EXPECT_EQ(d["sounds"], Sounds{1});
  EXPECT_EQ(d["state"]["MoveNumber"], 4);
  EXPECT_EQ(d["grid2"]["current"], 7);

  d = Do("button 1手戻す");
  EXPECT_EQ(Stones(d), With(kBase, {{83, 1}, {84, 2}, {85, 1}}));
  EXPECT_EQ(d["status"][1], "*");
  EXPECT_TRUE(d["sounds"].empty());

  d = Do("button 1手戻す");  // onto A's end row: its mark again
  EXPECT_EQ(Stones(d), With(kBase, {{83, 1}, {84, 2}}));
  EXPECT_EQ(Marks(d), (std::map<int, int>{{85, kGreen}}));
  EXPECT_EQ(d["status"][0], kClickACircle);
  EXPECT_EQ(d["sounds"], Sounds{2});
  EXPECT_EQ(d["state"]["CandidatesShown"], 1);
  EXPECT_EQ(d["grid2"]["current"], 5);

  d = Do("board 85");  // the answer plays only C's head row
  EXPECT_EQ(Stones(d), With(kBase, {{83, 1}, {84, 2}, {85, 1}}));
  EXPECT_EQ(d["status"][0], kGoOn);
  EXPECT_EQ(d["grid2"]["current"], 6);

  d = Do("button １手順戻す");  // from C back to the end of A
  EXPECT_EQ(Stones(d), With(kBase, {{83, 1}, {84, 2}}));
  EXPECT_EQ(Marks(d), (std::map<int, int>{{85, kGreen}}));
  EXPECT_EQ(d["status"][0], kWentBackOneSequence);
  EXPECT_EQ(d["sounds"], (Sounds{2, 0}));
  EXPECT_EQ(d["grid2"]["current"], 5);

  d = Do("button １手順戻す");  // from the first sequence: the base diagram
  EXPECT_EQ(Stones(d), kBase);
  EXPECT_EQ(Texts(d), (Labels{{83, "●"}, {102, "●"}}));
  EXPECT_EQ(Marks(d), (std::map<int, int>{{83, kGreen}, {102, kRed}}));
  EXPECT_EQ(d["status"][0], kWentBackOneSequence);
  EXPECT_EQ(d["sounds"], (Sounds{2, 0}));
  EXPECT_EQ(d["grid2"]["current"], 3);

  d = Do("button １手順戻す");
  EXPECT_EQ(d["status"][0], kNothingToTakeBack);
  EXPECT_EQ(d["sounds"], Sounds{0});
}

TEST_F(TrainingWindow, AutomaticReplayAndTheRedLine) {
  Open(kWorkedExample);
  ASSERT_FALSE(HasFatalFailure());
  Do("grid1 2");
  json d = Do("button 手順表示");  // branches at once: the marks
  EXPECT_EQ(d["state"]["AutoPlay"], 1);
  EXPECT_EQ(Marks(d).size(), 2u);
  d = Do("tick timer2");  // each tick offers them again
  EXPECT_EQ(d["sounds"], Sounds{2});
  EXPECT_EQ(Stones(d), kBase);

  d = Do("board 83");  // the replay goes on without the prompt
  EXPECT_EQ(d["status"][0], "");
  EXPECT_TRUE(d["timer2"]);
  d = Do("tick timer2");
  EXPECT_EQ(Stones(d), With(kBase, {{83, 1}, {84, 2}}));
  EXPECT_EQ(d["status"][0], kGoOn);
  d = Do("tick timer2");
  EXPECT_EQ(Stones(d), With(kBase, {{83, 1}, {84, 2}, {85, 1}, {86, 2}}));
  EXPECT_EQ(d["status"][0], kSequenceOver);
  EXPECT_EQ(d["sounds"], Sounds{1});
  EXPECT_EQ(d["state"]["AutoPlay"], 0);
  d = Do("tick timer2");  // switches itself off; nothing more is played
  EXPECT_FALSE(d["timer2"]);
  EXPECT_EQ(Stones(d), With(kBase, {{83, 1}, {84, 2}, {85, 1}, {86, 2}}));

  d = Do("button 元に戻す");
  EXPECT_EQ(Stones(d), kBase);
  Do("button 1手進む");
  d = Do("board 102");  // the red mark: a one-move line, red number
  EXPECT_EQ(Stones(d), With(kBase, {{102, 1}}));
  EXPECT_EQ(Texts(d), (Labels{{102, "1"}}));
  for (const json& c : d["cells"]) {
    if (c["point"] == 102) {
      EXPECT_EQ(c["color"], kRed);
    }
  }
  EXPECT_EQ(d["status"][0], kSequenceOver);
  EXPECT_EQ(d["status"][1], "小さい");
  EXPECT_EQ(d["sounds"], (Sounds{0, 1}));
}

TEST_F(TrainingWindow, ProblemRowClickedInTheGridRedrawsItsLine) {
  Open(kWorkedExample);
  ASSERT_FALSE(HasFatalFailure());
  Do("grid1 2");
  Do("menu 編集画面");  // the problem grid is shown on the editing screen
  json d = Do("grid2 6");
  EXPECT_EQ(Stones(d), With(kBase, {{83, 1}, {84, 2}, {85, 1}, {86, 2}}));
  EXPECT_EQ(Texts(d), (Labels{{83, "1"}, {84, "2"}, {85, "3"}, {86, "4"}}));
  EXPECT_EQ(d["grid2"]["current"], 6);
  EXPECT_TRUE(d["grid2"]["attached"]);
  EXPECT_EQ(d["status"][1], "");
  EXPECT_EQ(d["state"]["SequenceReplayed"], 1);
  EXPECT_EQ(d["state"]["MoveNumber"], 4);

  d = Do("grid2 8");  // line B
  EXPECT_EQ(Stones(d), With(kBase, {{102, 1}}));
  EXPECT_EQ(d["grid2"]["current"], 8);
  // The row clicked is where stepping goes on from.
  d = Do("button 1手進む");
  EXPECT_EQ(d["status"][0], kNoFurtherMove);
}

TEST_F(TrainingWindow, SectionsListOnlyTheirProblems) {
  Open(kWorkedExample);
  ASSERT_FALSE(HasFatalFailure());
  json d = Do("menu 手筋の部");
  EXPECT_EQ(d["grid1"]["rows"], 1);
  d = Do("grid1 1");
  EXPECT_EQ(d["state"]["CurrentProblem"], 1002);
  EXPECT_TRUE(Stones(d).empty());  // a problem without rows
  d = Do("button 1手進む");
  EXPECT_EQ(d["status"][0], kNoFurtherMove);
  EXPECT_TRUE(d["messages"].empty());
}

TEST(TrainingWindowStart, MissingLibraryIsNamedAndTheWindowOpens) {
  QTemporaryDir temp;
  const std::string dir = (temp.path() + "/kyozai").toStdString();
  ProgramLibrary library(dir, testing::NewSessionName());
  auto s = std::make_unique<DriveSession>(library);
  json d = s->Dump();
  ASSERT_EQ(d["messages"].size(), 1u);
  const std::string message = d["messages"][0];
  EXPECT_NE(message.find(dir), std::string::npos) << message;
  EXPECT_EQ(d["grid1"]["rows"], 0);
  // The step buttons answer without failing; a click on the empty contents
  // has nothing to take.
  EXPECT_EQ(s->Do("button 1手進む").status, kDriveOk);
  EXPECT_EQ(s->Dump()["status"][0], kNoFurtherMove);
  EXPECT_EQ(s->Do("grid1 1").status, kDriveCannotTake);
  s.reset();
}

TEST(TrainingWindowStart, LibraryWithoutTablesShowsTheEnginesError) {
  QTemporaryDir temp;
  const std::string dir = (temp.path() + "/kyozai").toStdString();
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir)));
  ProgramLibrary library(dir, testing::NewSessionName());
  auto s = std::make_unique<DriveSession>(library);
  json d = s->Dump();
  ASSERT_EQ(d["messages"].size(), 1u);
  EXPECT_EQ(d["messages"][0], "Kura Engine Error # 11010 Table 'mokuji' does not exist");
  EXPECT_EQ(d["grid1"]["rows"], 0);
  s.reset();
}

}  // namespace
}  // namespace sorabeku
