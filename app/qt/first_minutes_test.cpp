// What a new user meets in the first minutes with the sample library,
// through the window as the program runs it: free stones where a letter
// mark was, move numbers after free stones are taken back, the problem's
// question on the base diagram, questions before a delete, and grids and
// captions that show every number whole.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "app/qt/testing/library_window.h"
#include "app/qt/testing/qt_environment.h"

namespace sorabeku {
namespace {

using nlohmann::json;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment("first_minutes_test"));

// Problem 1 of the sample library: black to play, which of A (point 77)
// and B (point 267) is bigger.
constexpr const char* kQuestion1 = "黒番。他は終わっているものとする。AとBのどちらが大きいか。";

class FirstMinutes : public testing::LibraryWindow {
 protected:
  void SetUp() override { OpenCopyOf(SORABEKU_SAMPLE_LIBRARY); }

  // Row r (from 0) of grid n's cells in a dump: the texts by column title.
  static std::map<std::string, std::string> GridRow(const json& d, int n, int r) {
    const json& grid = d["drawn"]["grid" + std::to_string(n)];
    std::map<std::string, std::string> row;
    for (std::size_t c = 0; c < grid["headers"].size(); ++c) {
      row[grid["headers"][c]["text"]] = grid["cells"][r][c]["text"];
    }
    return row;
  }

  // Every header, row indicator and cell of grid n, except the columns
  // that may cut their texts, is drawn whole.
  static void ExpectNothingCut(const json& d, int n, const std::set<std::string>& cutting) {
    const json& grid = d["drawn"]["grid" + std::to_string(n)];
    ASSERT_FALSE(grid["headers"].empty()) << "grid" << n << " is not shown";
    for (const json& h : grid["headers"]) EXPECT_EQ(h["display"], h["text"]);
    for (const json& i : grid["indicators"]) EXPECT_EQ(i["display"], i["text"]);
    for (const json& row : grid["cells"]) {
      for (std::size_t c = 0; c < row.size(); ++c) {
        if (cutting.count(grid["headers"][c]["text"])) continue;
        EXPECT_EQ(row[c]["display"], row[c]["text"])
            << "grid" << n << ", column " << grid["headers"][c]["text"];
      }
    }
  }
};

TEST_F(FirstMinutes, APointWhoseMarkIsGoneIsEmptyForCapturesAndClicks) {
  Do("grid1 1");
  json d = Do("button 1手進む");  // A and B become the two candidates
  EXPECT_EQ(d["board"][77 - 1], 3);
  d = Do("board 267");  // the answer B: the marks are wiped
  EXPECT_EQ(d["board"][77 - 1], 0);
  Do("board 39");  // free stones
  d = Do("board 59");  // 58 still has a liberty at 77
  EXPECT_EQ(d["board"][58 - 1], 2);
  d = Do("board 77");
  EXPECT_EQ(d["board"][77 - 1], 1);
  EXPECT_EQ(d["state"]["EditCount"], 3);
}

TEST_F(FirstMinutes, TakingBackFreeStonesNeverNumbersBelowTheBaseDiagram) {
  Do("grid1 1");
  Do("board 300");
  Do("board 301");
  Do("button 1手戻す");
  json d = Do("button 1手戻す");
  EXPECT_EQ(d["state"]["MoveNumber"], 0);
  EXPECT_EQ(d["state"]["EditCount"], 0);

  Do("menu 編集画面");
  Do("board 300");
  Do("board 301 right");
  d = Do("button 手順登録");
  EXPECT_EQ(d["status"][0], "登録しました。");
  std::map<int, std::string> tes;  // PST -> TES of the stored rows
  for (std::size_t r = 0; r < d["drawn"]["grid2"]["cells"].size(); ++r) {
    const auto row = GridRow(d, 2, static_cast<int>(r));
    if (row.at("PST") == "300" || row.at("PST") == "301") {
      tes[std::stoi(row.at("PST"))] = row.at("TES");
    }
  }
  EXPECT_EQ(tes, (std::map<int, std::string>{{300, "1"}, {301, "2"}}));
}

TEST_F(FirstMinutes, TheQuestionStaysReadableWhileTheBaseDiagramIsShown) {
  json d = Do("grid1 1");
  EXPECT_EQ(d["status"][1], kQuestion1);
  EXPECT_EQ(d["commentField"], kQuestion1);

  d = Do("board 300");  // a free stone on the base diagram
  EXPECT_EQ(d["status"][1], kQuestion1);
  EXPECT_EQ(d["commentField"], kQuestion1);
  Do("button 1手戻す");

  Do("button 1手進む");
  d = Do("board 267");  // B, the right answer
  EXPECT_NE(d["commentField"], kQuestion1);
  d = Do("button 1手戻す");  // back at the choice
  EXPECT_EQ(d["state"]["CandidatesShown"], 1);
  EXPECT_EQ(d["status"][1], kQuestion1);
  EXPECT_EQ(d["commentField"], kQuestion1);

  // One sequence back from the line redraws the base diagram.
  Do("board 267");
  Do("button 1手進む");
  d = Do("button １手順戻す");
  EXPECT_EQ(d["status"][1], kQuestion1);

  // The editing screen's field edits the row the cursor is on.
  d = Do("menu 編集画面");
  EXPECT_NE(d["commentField"], kQuestion1);
}

TEST_F(FirstMinutes, DeletingAProblemOrASequenceAsksFirst) {
  Do("menu 編集画面");
  json d = Do("grid1 1");
  const int rows = d["grid2"]["rows"];
  ASSERT_GT(rows, 4);

  Do("answer no");
  d = Do("button 基本図削除");
  EXPECT_EQ(d["messages"], json::array({"問題 1 を削除しますか？"}));
  EXPECT_EQ(d["grid2"]["rows"], rows);

  Do("grid2 " + std::to_string(rows));  // a row of the last sequence
  Do("answer no");
  d = Do("button 手順削除");
  EXPECT_EQ(d["messages"], json::array({"この手順を削除しますか？"}));
  EXPECT_EQ(d["grid2"]["rows"], rows);
  Do("grid2 " + std::to_string(rows));
  Do("answer yes");
  d = Do("button 手順削除");
  EXPECT_EQ(d["messages"], json::array({"この手順を削除しますか？"}));
  EXPECT_EQ(d["status"][0], "指定の手順を削除しました。");
  const int fewer = d["grid2"]["rows"];
  EXPECT_LT(fewer, rows);

  d = Do("button 基本図削除");  // Yes
  EXPECT_EQ(d["grid2"]["rows"], 0);
}

TEST_F(FirstMinutes, NoNumberTitleOrCaptionIsCut) {
  for (const char* section : {"出入の部", "手筋の部", "地中の部"}) {
    SCOPED_TRACE(section);
    json d = Do(std::string("menu ") + section);
    EXPECT_EQ(d["drawn"]["grid1"]["cells"].size(), 10u);
    ExpectNothingCut(d, 1, {"説明"});
    EXPECT_EQ(d["drawn"]["caption"]["display"], d["drawn"]["caption"]["text"]);
  }
  EXPECT_EQ(Do("menu 地中の部")["drawn"]["caption"]["display"], "（地中の部・黒番）");

  // The editing grid with the widest numbers a row can hold, and more
  // than nine rows.
  Do("menu 出入の部");
  Do("menu 編集画面");
  Do("grid1 1");
  json d = Do("grid2-set 1 PST 361");
  ASSERT_GT(d["drawn"]["grid2"]["cells"].size(), 10u);
  const auto first = GridRow(d, 2, 0);
  EXPECT_EQ(first.at("PST"), "361");
  EXPECT_EQ(first.at("BTO"), "9999");
  ExpectNothingCut(d, 2, {"CMT"});
  ExpectNothingCut(d, 1, {"説明"});
}

}  // namespace
}  // namespace sorabeku
