// The editing screen through the driver, over the library of the test
// binary (in memory, or the data module over the engine's files): every
// event goes through the window's widgets as a user's would, and the rows
// stored are read back through the library's results.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <tuple>

#include "app/qt/application.h"
#include "app/qt/testing/qt_environment.h"
#include "app/qt/driver.h"
#include "editing/editing_screen.h"
#include "library/move_row.h"
#include "library/sequence_walks.h"
#include "library/testing/test_library.h"
#include "training/training_screen.h"

namespace sorabeku {
namespace {

using nlohmann::json;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment("editing_window_test"));

// TES, COL, PST, BFR, BTO, TNB, CMT, DIX of a stored row.
using Row = std::tuple<int, int, int, int, int, int, std::string, int>;

// The rows of problem `mnb` in stored order; reopens the problem result.
std::vector<Row> RowsOf(testing::TestLibrary& lib, int mnb) {
  std::vector<Row> out;
  kura::TDataSet& r = lib.KuraQuery2();
  lib.OpenProblemRows(mnb);
  for (r.First(); !r.Eof(); r.Next()) {
    out.emplace_back(RowInt(r, figure::TES), RowInt(r, figure::COL), RowInt(r, figure::PST),
                     RowInt(r, figure::BFR), RowInt(r, figure::BTO), RowInt(r, figure::TNB),
                     r.FieldAsString(figure::CMT), RowInt(r, figure::DIX));
  }
  return out;
}

class EditingWindow : public ::testing::Test {
 protected:
  void Do(const std::string& line) {
    const DriveOutcome outcome = s->Do(line);
    ASSERT_EQ(outcome.status, kDriveOk) << line << ": " << outcome.message;
  }
  void DoAll(std::initializer_list<const char*> lines) {
    for (const char* line : lines) {
      Do(line);
      if (HasFatalFailure()) return;
    }
  }

  std::unique_ptr<testing::TestLibrary> library = testing::MakeTestLibrary();
  testing::TestLibrary& lib = *library;
  std::unique_ptr<DriveSession> s = std::make_unique<DriveSession>(lib.Queries());
};

TEST_F(EditingWindow, AuthoringRoundTrip) {
  DoAll({"menu 編集画面", "grid1-append 50 3 round trip", "grid1 1",
         // Base diagram: black 60, white 61, black 80.
         "board 60 left", "board 61 right", "board 80 left",
         "button 基本図登録",
         // Sequence A from the base diagram: black 100, white 101.
         "board 100 left", "board 101 right", "button 手順登録",
         // Sequence B from the base diagram again: black 120, then red.
         "grid1 1", "board 120 left", "button 手順登録", "grid2-set 6 COL -1",
         // Sequence C continues A: redraw A's line, compose 102 and 103.
         "grid2 5", "board 102 left", "board 103 right", "button 手順登録",
         // C's first move plays on at once.
         "grid2 7", "comment *", "dump"});
  if (HasFatalFailure()) return;
  EXPECT_EQ(RowsOf(lib, 50),
            (std::vector<Row>{{0, 1, 60, 0, 9999, 1, "", 0},
                              {0, 2, 61, 0, 0, 2, "", 0},
                              {0, 1, 80, 1, 0, 3, "", 0},
                              {1, 1, 100, 0, 1, 4, "", 0},
                              {2, 2, 101, 2, 0, 5, "", 0},
                              {1, -1, 120, 3, 1, 6, "", 0},
                              {3, 1, 102, 0, 2, 7, "*", 0},
                              {4, 2, 103, 4, 0, 8, "", 0}}));

  // Train on it.
  DoAll({"menu 道場画面", "grid1 1", "dump", "button 1手進む"});
  json d = s->Dump();
  EXPECT_EQ(d["status"][0], kClickACircle);
  EXPECT_EQ(d["sounds"], json::array({2}));
  EXPECT_EQ(d["candidates"], json::array({json::array({1, 100, 1}),
                                          json::array({-1, 120, 1})}));
  json marks = json::object();
  for (const json& c : d["cells"]) {
    if (c["text"] == "●") marks[std::to_string(c["point"].get<int>())] = c["color"];
  }
  EXPECT_EQ(marks, json({{"100", kGreenText}, {"120", kRedText}}));

  Do("board 100 left");  // the green answer
  d = s->Dump();
  EXPECT_EQ(d["status"][0], kGoOn);
  EXPECT_EQ(d["board"][99], 1);
  Do("button 1手進む");  // 101, and C follows alone
  d = s->Dump();
  EXPECT_EQ(d["status"][0], kGoOn);
  EXPECT_EQ(d["board"][100], 2);
  Do("button 1手進む");  // 102 "*" plays 103 at once: the end
  d = s->Dump();
  EXPECT_EQ(d["status"][0], kSequenceOver);
  EXPECT_EQ(d["sounds"], json::array({1}));
  EXPECT_EQ(d["board"][101], 1);
  EXPECT_EQ(d["board"][102], 2);
  for (const json& c : d["cells"]) {
    if (c["point"] == 103) {
      EXPECT_EQ(c["text"], "4");
    }
  }
  if (const auto report = lib.VerifyReport()) {
    EXPECT_EQ(*report, "figure: ok\nmokuji: ok\n");
  }
}

TEST_F(EditingWindow, RefusalsShowTheirBoxes) {
  DoAll({"menu 編集画面", "board 45 left"});
  json d = s->Dump();
  EXPECT_EQ(d["messages"], json::array({kDoubleClickContents}));
  EXPECT_EQ(d["sounds"], json::array({0}));

  DoAll({"grid1-append 12 5 twelve", "grid1 1", "edit1 A", "board 45 left"});
  d = s->Dump();
  EXPECT_EQ(d["messages"], json::array({kChooseTextStyle}));
  EXPECT_EQ(d["state"]["EditCount"], 0);

  DoAll({"edit1 3001", "button 番号", "edit1 x", "button 番号"});
  d = s->Dump();
  EXPECT_EQ(d["messages"],
            json::array({kInvalidNumber, NotAnIntegerMessage("x")}));
  EXPECT_EQ(d["state"]["CurrentProblem"], 12);

  DoAll({"combo2 6", "combo1 8"});  // grade " 7", then search grade 8
  d = s->Dump();
  EXPECT_EQ(d["messages"], json::array({kNoMatchingProblem}));
  EXPECT_EQ(d["grid1"]["rows"], 0);
  EXPECT_EQ(d["combo1"], "検索");
  EXPECT_EQ(d["combo2"], "評価");
  lib.OpenContents(1, 0);
  ASSERT_EQ(lib.KuraQuery1().RecordCount(), 1);
  EXPECT_EQ(RowInt(lib.KuraQuery1(), mokuji::SIZE), 7);
  EXPECT_TRUE(RowsOf(lib, 12).empty());
}

}  // namespace
}  // namespace sorabeku
