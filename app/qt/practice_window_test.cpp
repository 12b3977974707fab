// The menu 練習, quiz mode, the keys, the coordinates and the scaled window,
// through the driver over real libraries (the worked example and a copy of
// the shipped problems).
#include <gtest/gtest.h>

#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>

#include "app/qt/board_widget.h"
#include "app/qt/practice_menu.h"
#include "app/qt/testing/library_window.h"
#include "app/qt/testing/qt_environment.h"
#include "training/training_screen.h"

namespace sorabeku {
namespace {

using nlohmann::json;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment("practice_window_test"));

constexpr const char* kWorkedExample = R"(
INSERT INTO mokuji VALUES (5, 3, '隅の出入り');
INSERT INTO mokuji VALUES (12, 7, '二線のハネツギ');
INSERT INTO figure (MNB, TES, COL, PST, BTO, CMT) VALUES (12, 0, 1, 45, 9999, '黒先');
INSERT INTO figure (MNB, TES, COL, PST) VALUES (12, 0, 2, 46);
INSERT INTO figure (MNB, TES, COL, PST, BFR) VALUES (12, 0, 1, 64, 1);
INSERT INTO figure (MNB, TES, COL, PST, BTO, CMT) VALUES (12, 1, 1, 83, 1, 'ハネ');
INSERT INTO figure (MNB, TES, COL, PST, BFR) VALUES (12, 2, 2, 84, 2);
INSERT INTO figure (MNB, TES, COL, PST, BTO, CMT) VALUES (12, 3, 1, 85, 2, '*');
INSERT INTO figure (MNB, TES, COL, PST, BFR, CMT) VALUES (12, 4, 2, 86, 3, '黒の先手');
INSERT INTO figure (MNB, TES, COL, PST, BFR, BTO, CMT) VALUES (12, 1, -1, 102, 4, 1, '小さい');
)";

constexpr int kNeutral = static_cast<int>(kNeutralText);
constexpr int kGreen = static_cast<int>(kGreenText);
using MarkMap = std::map<int, int>;
using Sounds = std::vector<int>;

class PracticeWindow : public testing::LibraryWindow {
 protected:
  std::string Status(const json& d) { return d["status"][0]; }
};

TEST_F(PracticeWindow, MenuAfterTheOthersAllOffAndKeptBetweenRuns) {
  Open(kWorkedExample);
  ASSERT_FALSE(HasFatalFailure());
  json d = s->Dump();
  EXPECT_EQ(d["quiz"], false);
  EXPECT_EQ(d["hideCandidates"], false);
  EXPECT_EQ(d["coordinates"], false);
  EXPECT_EQ(d["scale"], 1.0);
  QStringList titles;
  for (QAction* a : s->window->menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles.indexOf(QString::fromUtf8("練習")),
            titles.indexOf(QString::fromUtf8("ヘルプ")) + 1);

  QTemporaryDir dir;
  const QString file = dir.path() + "/sorabeku.ini";
  s->window->practiceMenu()->UseStore(std::make_unique<QSettings>(file, QSettings::IniFormat));
  Do("menu 出題モード");
  d = Do("menu 候補を隠す");
  EXPECT_EQ(d["quiz"], true);
  EXPECT_EQ(d["hideCandidates"], true);
  d = Do("menu 出題モード");  // off again
  EXPECT_EQ(d["quiz"], false);
  Do("menu 出題モード");

  // The next run reads them back.
  s.reset();
  s = std::make_unique<DriveSession>(library());
  EXPECT_EQ(s->Dump()["quiz"], false);  // without a store nothing is kept
  s->window->practiceMenu()->UseStore(std::make_unique<QSettings>(file, QSettings::IniFormat));
  d = s->Dump();
  EXPECT_EQ(d["quiz"], true);
  EXPECT_EQ(d["hideCandidates"], true);
  EXPECT_EQ(d["coordinates"], false);
  EXPECT_TRUE(s->window->practiceMenu()->quizAction()->isChecked());
}

TEST_F(PracticeWindow, QuizOnTheWorkedExampleWrongThenRight) {
  Open(kWorkedExample);
  ASSERT_FALSE(HasFatalFailure());
  Do("menu 出題モード");
  Do("grid1 2");
  json d = Do("button 1手進む");
  EXPECT_EQ(Marks(d), (MarkMap{{83, kNeutral}, {102, kNeutral}}));
  EXPECT_EQ(Status(d), kChooseACandidate);

  d = Do("board 102");
  EXPECT_EQ(Status(d), kWrongAnswer);
  EXPECT_EQ(d["sounds"], Sounds{kWrongSound});
  EXPECT_EQ(Marks(d), (MarkMap{{83, kGreen}}));  // the way it should have gone
  d = Do("board 83");  // shows the way only
  EXPECT_EQ(Stones(d).count(83), 0u);

  Do("button 1手戻す");
  d = Do("board 83");
  EXPECT_EQ(Status(d), kRightAnswer);
  EXPECT_EQ(d["sounds"], Sounds{kRightSound});
  EXPECT_TRUE(Marks(d).empty());
}

TEST_F(PracticeWindow, HiddenCandidatesAMissThenAHit) {
  Open(kWorkedExample);
  ASSERT_FALSE(HasFatalFailure());
  Do("menu 出題モード");
  Do("menu 候補を隠す");
  Do("grid1 2");
  json d = Do("button 1手進む");
  EXPECT_TRUE(Marks(d).empty());
  EXPECT_EQ(Status(d), kPlayYourMove);
  d = Do("board 200");
  EXPECT_EQ(Status(d), kNotRegistered);
  EXPECT_EQ(Marks(d), (MarkMap{{83, kNeutral}, {102, kNeutral}}));
  EXPECT_EQ(Stones(d).count(200), 0u);
  d = Do("board 83");
  EXPECT_EQ(Status(d), kRightAnswer);
}

TEST_F(PracticeWindow, QuizOnEveryShippedProblemAnswersAsTheMarksSay) {
  OpenCopyOf(SORABEKU_SAMPLE_LIBRARY);
  Do("menu 出題モード");
  json d = s->Dump();
  const int problems = d["grid1"]["rows"];
  ASSERT_GT(problems, 0);
  int answered = 0;
  for (int row = 1; row <= problems; ++row) {
    Do("grid1 " + std::to_string(row));
    d = Do("button 1手進む");
    for (int step = 0; step < 30 && d["candidates"].size() < 2; ++step) {
      if (d["state"]["CandidatesShown"] == 1) break;
      d = Do("button 1手進む");
    }
    if (d["state"]["CandidatesShown"] != 1) continue;
    // Neutral marks, or the diagram's letters kept in the neutral colour.
    for (const json& c : d["candidates"]) {
      const int point = c[1];
      for (const json& cell : d["cells"]) {
        if (cell["point"] == point) {
          EXPECT_EQ(cell["color"], kNeutral) << "row " << row;
        }
      }
    }
    const bool right = d["candidates"][0][0] > 0;
    d = Do("key 1");
    EXPECT_EQ(Status(d), right ? kRightAnswer : kWrongAnswer) << "row " << row;
    ++answered;
  }
  EXPECT_GT(answered, problems / 2);
}

TEST_F(PracticeWindow, EveryKey) {
  Open(kWorkedExample);
  ASSERT_FALSE(HasFatalFailure());
  Do("grid1 2");
  Do("focus board");
  json d = Do("key Right");
  EXPECT_EQ(Marks(d).size(), 2u);
  d = Do("key 1");  // the first candidate in row order: 83
  EXPECT_EQ(Stones(d).count(83), 1u);
  d = Do("key Right");
  EXPECT_EQ(Stones(d).count(84), 1u);
  d = Do("key Left");
  EXPECT_EQ(Stones(d).count(84), 0u);
  d = Do("key Shift+Left");  // one sequence back: the branch point again
  EXPECT_EQ(Status(d), kWentBackOneSequence);
  d = Do("key 2");
  EXPECT_EQ(Stones(d).count(102), 1u);
  d = Do("key Home");
  EXPECT_EQ(Stones(d).count(102), 0u);
  d = Do("key Space");  // 手順表示 runs on Timer2 ...
  EXPECT_EQ(d["state"]["AutoPlay"], 1);
  d = Do("key Space");  // ... until the next Space
  EXPECT_EQ(d["state"]["AutoPlay"], 0);
  EXPECT_EQ(d["timer2"], false);
  d = Do("key PageUp");
  EXPECT_EQ(d["state"]["CurrentProblem"], 5);
  d = Do("key PageDown");
  EXPECT_EQ(d["state"]["CurrentProblem"], 12);
  d = Do("key F2");
  EXPECT_EQ(d["screen"], "編集画面");
  d = Do("key F2");
  EXPECT_EQ(d["screen"], "道場画面");
  // A grid with the focus keeps its keys.
  Do("focus grid1");
  d = Do("key PageUp");
  EXPECT_EQ(d["state"]["CurrentProblem"], 12);
  EXPECT_EQ(s->Do("key Nonsense").status, kDriveScriptError);
}

TEST_F(PracticeWindow, CoordinatesMoveThePanelNotTheBoardsOwnGeometry) {
  Open(kWorkedExample);
  ASSERT_FALSE(HasFatalFailure());
  QWidget* button = s->window->control("CuteButton5");
  EXPECT_EQ(button->geometry(), QRect(672, 472, 75, 22));
  EXPECT_EQ(s->window->board()->size(), QSize(536, 536));
  json d = Do("menu 座標を表示");
  EXPECT_EQ(d["coordinates"], true);
  EXPECT_EQ(s->window->board()->size(), QSize(536 + kCoordinateLeft, 536 + kCoordinateTop));
  EXPECT_EQ(button->geometry(), QRect(672 + kCoordinateLeft, 472, 75, 22));
  Do("grid1 2");
  Do("button 1手進む");
  d = Do("board 83");
  EXPECT_EQ(Stones(d).count(83), 1u);
  Do("menu 座標を表示");
  EXPECT_EQ(button->geometry(), QRect(672, 472, 75, 22));
  EXPECT_EQ(s->window->board()->size(), QSize(536, 536));
  EXPECT_EQ(s->window->size(), s->window->minimumSize());
}

TEST_F(PracticeWindow, ClicksLandOnTheSamePointsAtEveryScale) {
  Open(kWorkedExample);
  ASSERT_FALSE(HasFatalFailure());
  for (const char* scale : {"1", "1.5", "2"}) {
    for (bool coordinates : {false, true}) {
      SCOPED_TRACE(std::string(scale) + (coordinates ? " with coordinates" : ""));
      if (coordinates) Do("menu 座標を表示");
      json d = Do(std::string("scale ") + scale);
      EXPECT_EQ(d["scale"], std::stod(scale));
      const double k = std::stod(scale);
      EXPECT_EQ(s->window->board()->width(),
                std::lround((536 + (coordinates ? kCoordinateLeft : 0)) * k));
      Do("grid1 2");
      Do("button 1手進む");
      d = Do("board 102");
      EXPECT_EQ(Stones(d).count(102), 1u);
      d = Do("board 300");  // a free stone, right where it was clicked
      EXPECT_EQ(d["board"][299], 1);
      if (coordinates) Do("menu 座標を表示");
    }
  }
  // A window resized by hand sets the scale.
  s->window->resize(s->window->width() * 2, s->window->height() * 2);
  QCoreApplication::processEvents();
  EXPECT_GT(s->window->scale(), 1.5);
}

}  // namespace
}  // namespace sorabeku
