// Scenario tests of the main window, driven headless through DriveSession
// on Qt's offscreen platform, and tests of the window's Qt pieces.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <memory>

#include "app/qt/application.h"
#include "app/qt/testing/qt_environment.h"
#include "app/qt/driver.h"
#include "app/qt/grid_model.h"
#include "app/qt/help_window.h"
#include "app/qt/qt_look.h"
#include "app/qt/qt_services.h"
#include "app/qt/stone_pictures.h"
#include "engine/errors/kura_error.h"

namespace sorabeku {
namespace {

using nlohmann::json;

// One QApplication for the whole test program, on the offscreen platform.
const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment("window_test"));

void Step(DriveSession& s, const std::string& line) {
  const DriveOutcome outcome = s.Do(line);
  ASSERT_EQ(outcome.status, kDriveOk) << line << ": " << outcome.message;
}

TEST(WindowScenario, StartUp) {
  DriveSession s;
  const json d = s.Dump();
  EXPECT_EQ(d["screen"], "道場画面");
  EXPECT_EQ(d["section"], "（出入の部）");
  EXPECT_EQ(d["status"], json::array({"", "", ""}));
  EXPECT_EQ(d["cells"], json::array());  // every label a single space
  EXPECT_EQ(d["combo1"], "検索");
  EXPECT_EQ(d["combo2"], "評価");
  EXPECT_EQ(d["edit1"], "番号");
  EXPECT_EQ(d["state"]["ScreenMode"], 1);
  EXPECT_EQ(d["state"]["CurrentSection"], 1);
  EXPECT_EQ(d["state"]["ColourToPlay"], 1);
  EXPECT_EQ(d["state"]["PointCount"], 361);
  EXPECT_EQ(d["board"].size(), 361u);
  EXPECT_EQ(d["timer2"], true);
  EXPECT_EQ(d["grid1"], json({{"rows", 0}, {"current", 0}, {"attached", true}}));
  const std::vector<std::string> visible = d["visible"];
  for (const char* hidden : {"CuteButton2", "CuteButton3", "CuteButton4",
                             "CuteButton8", "CuteButton11", "Edit1", "DBGrid2"}) {
    EXPECT_EQ(std::count(visible.begin(), visible.end(), hidden), 0) << hidden;
  }
  EXPECT_EQ(visible.size(), 13u);
  EXPECT_EQ(d["messages"], json::array());
  EXPECT_EQ(d["state"]["ProgramDir"].get<std::string>().back(), '/');

  // The widgets stand where the model says.
  EXPECT_EQ(s.window->control("DBGrid1")->geometry(), QRect(552, 30, 177, 310));
  EXPECT_EQ(s.window->control("CuteButton5")->geometry(), QRect(672, 472, 75, 22));
  EXPECT_TRUE(s.window->control("CuteButton2")->isHidden());
  EXPECT_EQ(s.window->windowTitle(), QString::fromUtf8("ソラベク"));
}

TEST(WindowScenario, SwitchingLayoutsTwice) {
  DriveSession s;
  Step(s, "menu 編集画面");
  json edit = s.Dump();
  EXPECT_EQ(edit["screen"], "編集画面");
  EXPECT_EQ(edit["state"]["ScreenMode"], 2);
  EXPECT_EQ(edit["visible"].size(), 20u);
  EXPECT_EQ(s.window->control("DBGrid2")->geometry(), QRect(556, 150, 179, 120));
  EXPECT_EQ(s.window->control("ComboBox2")->geometry(), QRect(672, 272, 50, 20));
  // Buttons show their own colour inside the bevels (0x00BBGGRR values).
  const QImage purple = s.window->control("CuteButton2")->grab().toImage();
  EXPECT_EQ(purple.pixelColor(5, 5), QColor(0xE6, 0xC3, 0xF5));
  const QImage plain = s.window->control("CuteButton3")->grab().toImage();
  EXPECT_EQ(plain.pixelColor(5, 5), QColor(0xF0, 0xF0, 0xF0));
  Step(s, "menu 道場画面");
  const json training = s.Dump();
  Step(s, "menu 編集画面");
  EXPECT_EQ(s.Dump()["visible"], edit["visible"]);
  Step(s, "menu 道場画面");
  const json again = s.Dump();
  EXPECT_EQ(again["visible"], training["visible"]);
  EXPECT_EQ(again["board"], training["board"]);
  EXPECT_EQ(again["screen"], "道場画面");
  EXPECT_EQ(s.window->control("DBGrid1")->geometry(), QRect(552, 30, 177, 310));
  EXPECT_EQ(s.window->control("ComboBox1")->geometry(), QRect(562, 408, 50, 20));
}

TEST(WindowScenario, ExitAnsweredNoKeepsRunningAndYesEnds) {
  DriveSession s;
  Step(s, "answer no");
  Step(s, "menu 終了");
  json d = s.Dump();
  EXPECT_EQ(d["messages"], json::array({"「ソラベク」を終了していいですか？"}));
  EXPECT_EQ(d["screen"], "道場画面");
  EXPECT_FALSE(s.platform.terminated);
  Step(s, "menu 編集画面");  // still taking events
  const DriveOutcome yes = s.Do("menu 終了");
  EXPECT_TRUE(yes.finished);
  EXPECT_TRUE(s.platform.terminated);
}

TEST(WindowScenario, ClockPanel) {
  DriveSession s;
  const std::pair<const char*, const char*> cases[] = {
      {"clock 2026-12-08 00:30", "12/08  12:30 AM"},
      {"clock 2026-12-08 12:00", "12/08  12:00 PM"},
      {"clock 2026-12-08 13:00", "12/08  01:00 PM"},
      {"clock 2026-12-08 23:05", "12/08  11:05 PM"},
  };
  EXPECT_EQ(s.Dump()["status"][2], "");  // empty during the first second
  for (const auto& [command, shown] : cases) {
    Step(s, command);
    Step(s, "tick timer1");
    EXPECT_EQ(s.Dump()["status"][2], shown) << command;
  }
  EXPECT_EQ(s.Do("clock 2026-13-08 10:00").status, kDriveScriptError);
}

TEST(WindowScenario, SectionMenuNamesTheSection) {
  DriveSession s;
  Step(s, "menu 手筋の部");
  json d = s.Dump();
  EXPECT_EQ(d["section"], "（手筋の部・黒番）");
  EXPECT_EQ(d["state"]["CurrentSection"], 2);
  Step(s, "menu 地中の部");
  EXPECT_EQ(s.Dump()["section"], "（地中の部・黒番）");
  Step(s, "menu バージョン情報");
  EXPECT_EQ(s.Dump()["messages"], json::array({"ソラベク\r\nVersion 2.3"}));
  Step(s, "menu オンラインヘルプ");
  ASSERT_EQ(s.platform.helpShown.size(), 1u);
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(s.platform.helpShown[0])));
}

TEST(WindowScenario, BoardClicksReachTheHandlerOfTheirPoint) {
  DriveSession s;
  EXPECT_EQ(s.Do("board 1").status, kDriveCannotTake);  // no training screen yet
  std::vector<std::pair<int, MouseButton>> clicks;
  s.form.hooks.trainingClick = [&](MainForm& f, PointIndex p, MouseButton b) {
    clicks.emplace_back(p, b);
    f.screen.panels[0] = "clicked";
  };
  s.form.screen.panels[0] = "old";
  Step(s, "board 20");
  Step(s, "board 361 right");
  Step(s, "board 1");
  ASSERT_EQ(clicks.size(), 3u);
  EXPECT_EQ(clicks[0], std::make_pair(20, MouseButton::kLeft));
  EXPECT_EQ(clicks[1], std::make_pair(361, MouseButton::kRight));
  EXPECT_EQ(clicks[2], std::make_pair(1, MouseButton::kLeft));
  EXPECT_EQ(s.Dump()["status"][0], "clicked");
}

TEST(WindowScenario, ErrorsEndTheEventInAnErrorBoxAndTheProgramGoesOn) {
  DriveSession s;
  s.form.hooks.CuteButton5Click = [](MainForm& f) {
    f.screen.panels[0] = "half";
    kura::Raise(kura::KURA_FILENOACCESS, {.table = "figure"});
  };
  Step(s, "button 1手進む");
  json d = s.Dump();
  ASSERT_EQ(d["messages"].size(), 1u);
  EXPECT_EQ(d["messages"][0].get<std::string>().rfind("Kura Engine Error # ", 0), 0u);
  EXPECT_EQ(d["status"][0], "half");
  Step(s, "menu 編集画面");
  EXPECT_EQ(s.Dump()["screen"], "編集画面");
}

TEST(WindowScenario, CommandsTheProgramCannotTakeYet) {
  DriveSession s;
  EXPECT_EQ(s.Do("button 1手進む").status, kDriveCannotTake);
  EXPECT_EQ(s.Do("button 基本図登録").status, kDriveCannotTake);  // hidden
  EXPECT_EQ(s.Do("grid1 1").status, kDriveCannotTake);
  EXPECT_EQ(s.Do("grid1-append 1 5 x").status, kDriveCannotTake);
  EXPECT_EQ(s.Do("comment abc").status, kDriveCannotTake);
  EXPECT_EQ(s.Do("combo1 3").status, kDriveCannotTake);
  EXPECT_EQ(s.Do("edit1 *").status, kDriveCannotTake);  // hidden in training
  EXPECT_EQ(s.Do("frobnicate").status, kDriveScriptError);
  EXPECT_EQ(s.Do("   # only a comment").status, kDriveOk);
  Step(s, "tick timer2");  // switches itself off while nothing is replayed
  EXPECT_EQ(s.Dump()["timer2"], false);
}

TEST(WindowScenario, ScreenshotIsTheWholeWindow) {
  DriveSession s;
  QTemporaryDir dir;
  const std::string file = (dir.path() + "/start.png").toStdString();
  Step(s, "screenshot " + file);
  QImage image(QString::fromStdString(file));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), s.window->width());
  EXPECT_GE(image.height(), kClientHeight + kStatusBarHeight);
  // A pixel of the board background, below the menu bar.
  const int menu = s.window->centralWidget()->y();
  EXPECT_EQ(image.pixelColor(5, menu + 5), QColor(254, 231, 182));
}

TEST(StonePictures, MissingBitmapsBecomePlainDiscs) {
  QTemporaryDir empty;
  StonePictures missing(empty.path() + "/");
  EXPECT_FALSE(missing.blackFromFile());
  EXPECT_FALSE(missing.black().isNull());
  const QImage disc = missing.black().toImage();
  EXPECT_EQ(disc.pixelColor(14, 14), QColor(Qt::black));
  EXPECT_EQ(disc.pixelColor(0, 0).alpha(), 0);

  StonePictures shipped(QString::fromStdString(ProgramDirectory()));
  ASSERT_TRUE(shipped.blackFromFile());
  ASSERT_TRUE(shipped.whiteFromFile());
  const QImage white = shipped.white().toImage();
  EXPECT_EQ(white.pixelColor(0, 0).alpha(), 0);  // background drawn clear
  EXPECT_GT(white.pixelColor(white.width() / 2, white.height() / 2).lightness(), 200);
}

// Rows in memory, standing in for a query dataset.
class FakeSource : public GridSource {
 public:
  int RowCount() const override { return static_cast<int>(rows.size()); }
  int CurrentRow() const override { return rows.empty() ? -1 : current; }
  void MoveTo(int row) override { current = row; }
  std::string Text(int row, const std::string& field) const override {
    return rows.at(row).count(field) ? rows.at(row).at(field) : "";
  }
  void SetText(int row, const std::string& field, const std::string& value) override {
    if (value == "bad") kura::Raise(kura::KURA_FILENOACCESS, {.table = "mokuji"});
    rows.at(row)[field] = value;
  }
  void Append(const std::map<std::string, std::string>& values) override {
    rows.push_back(values);
    current = RowCount() - 1;
  }
  std::vector<std::map<std::string, std::string>> rows;
  int current = 0;
};

TEST(GridModel, FollowsItsSourceAndWritesThrough) {
  GridLink link;
  GridModel model(ContentsColumns(), link, nullptr);
  QAbstractItemModelTester tester(&model,
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
            QString::fromUtf8("評価"));
  FakeSource source;
  source.Append({{"MNB", "12"}, {"SIZE", "7"}, {"CMT", "a"}});
  model.Refresh(&source);
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), "12");
  source.Append({{"MNB", "15"}});
  model.Refresh(&source);
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_TRUE(model.setData(model.index(1, 2), "b", Qt::EditRole));
  EXPECT_EQ(source.rows[1]["CMT"], "b");

  std::string error;
  model.onError = [&](const std::string& e) { error = e; };
  EXPECT_FALSE(model.setData(model.index(1, 2), "bad", Qt::EditRole));
  EXPECT_NE(error.find("Kura Engine Error"), std::string::npos);

  link.attached = false;  // a detached grid shows no rows
  model.Refresh(&source);
  EXPECT_EQ(model.rowCount(), 0);
  link.attached = true;
  model.Refresh(nullptr);
  EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
}  // namespace sorabeku

namespace sorabeku {
namespace {

TEST(QtServices, SoundsThatCannotPlayAreSkipped) {
  QtServices platform;
  platform.Play(0, "/nonexistent/oto/Oto1.wav");  // missing file
  // An existing file on a machine that may have no audio output at all.
  platform.Play(2, ProgramDirectory() + "oto/pipo.wav");
  platform.Play(1, ProgramDirectory() + "oto/Oto2.wav");  // cuts off the first
  SUCCEED();
}

TEST(QtServices, TimersAndClock) {
  QtServices platform;
  EXPECT_FALSE(platform.IsEnabled(TimerId::kTimer2));
  platform.SetEnabled(TimerId::kTimer2, true);
  EXPECT_TRUE(platform.IsEnabled(TimerId::kTimer2));
  EXPECT_EQ(platform.timer(TimerId::kTimer2).interval(), 1000);
  platform.SetEnabled(TimerId::kTimer2, false);
  EXPECT_FALSE(platform.IsEnabled(TimerId::kTimer2));
  const LocalTime now = platform.Now();
  EXPECT_GE(now.year, 2020);
  EXPECT_EQ(MessageBoxText(kAboutText), QString::fromUtf8("ソラベク\nVersion 2.3"));
}

}  // namespace
}  // namespace sorabeku

namespace sorabeku {
namespace {

// An object whose event handling fails, as a handler that raises does.
class Failing : public QObject {
 public:
  bool event(QEvent*) override {
    kura::Raise(kura::KURA_FILENOACCESS, {.table = "figure"});
  }
};

TEST(Application, AnExceptionEndsOnlyItsEvent) {
  auto* app = static_cast<SorabekuApplication*>(QCoreApplication::instance());
  std::vector<std::string> shown;
  app->onError = [&](const std::string& m) { shown.push_back(m); };
  Failing failing;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&failing, &event));
  QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
  QCoreApplication::processEvents();
  app->onError = nullptr;
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].rfind("Kura Engine Error # ", 0), 0u);
}

}  // namespace
}  // namespace sorabeku

namespace sorabeku {
namespace {

TEST(HelpWindow, ShowsTheShippedHelpWithItsPictures) {
  HelpWindow help;
  help.ShowContents(QString::fromStdString(ProgramDirectory() + "ソラベク.hlp"));
  EXPECT_TRUE(help.isVisible());
  EXPECT_TRUE(help.toPlainText().contains(QString::fromUtf8("道場画面")));
  EXPECT_TRUE(help.toPlainText().contains(QString::fromUtf8("編集画面")));
  for (const char* picture : {"help/training.png", "help/editing.png", "help/board.png"}) {
    const QVariant image = help.loadResource(QTextDocument::ImageResource,
                                             QUrl(picture));
    EXPECT_FALSE(image.isNull()) << picture;
  }
  help.close();
}

}  // namespace
}  // namespace sorabeku

namespace sorabeku {
namespace {

TEST(Look, ColoursAndFont) {
  EXPECT_EQ(ToQColor(kBoardColour), QColor(254, 231, 182));
  EXPECT_EQ(ToQColor(kWindowColour), QColor(240, 240, 255));
  EXPECT_EQ(ToQColor(kRedText), QColor(255, 0, 0));
  EXPECT_EQ(ToQColor(kGreenText), QColor(0, 255, 0));
  const QFont font = WindowFont(true);
  EXPECT_EQ(font.pixelSize(), 12);
  EXPECT_TRUE(font.bold());
  const QString family = QFontInfo(font).family();
  if (!QFontDatabase::hasFamily(QString::fromUtf8(kWindowFontFamily))) {
    EXPECT_TRUE(family.startsWith("IPA")) << family.toStdString();
  }
}

}  // namespace
}  // namespace sorabeku
