// Scenarios of the editing screen: clicks on the board, the buttons and the
// combo boxes, each followed by the rows stored in the library and what the
// user sees (board, texts, sounds, message boxes). Written against
// TestLibrary only: they run over the in-memory library and over the engine.
#include "editing/editing_screen.h"

#include <gtest/gtest.h>

#include "editing/edit_buffer.h"
#include "editing/testing/editing_fixture.h"

namespace sorabeku {
namespace {

using testing::EditingTest;
using testing::Row;

// Problem 12 with an empty base diagram, in section 1 beside problem 3.
class NewProblem : public EditingTest {
 protected:
  void SetUp() override {
    lib.AddProblem(3, 1);
    lib.AddProblem(12, 5, "new");
    Load(12);
    Messages();
    Sounds();
  }
};

// ---------------------------------------------------------------------------
// Composing

TEST_F(NewProblem, NumberedStonesTakeTheirColourFromTheButton) {
  Edit1(kNumberText);
  Click(45, MouseButton::kLeft);
  Click(46, MouseButton::kRight);
  EXPECT_EQ(form.state.EditCount, 2);
  EXPECT_EQ(form.state.EditMoves[1].Tes, 1);
  EXPECT_EQ(form.state.EditMoves[1].Col, 1);
  EXPECT_EQ(form.state.EditMoves[1].Pst, 45);
  EXPECT_EQ(form.state.EditMoves[2].Tes, 2);
  EXPECT_EQ(form.state.EditMoves[2].Col, 2);
  EXPECT_EQ(form.state.EditMoves[2].Pst, 46);
  EXPECT_EQ(form.state.EditComments[2], "");
  EXPECT_EQ(Stones(), (std::map<int, int>{{45, 1}, {46, 2}}));
  // Drawn plain, without their numbers.
  EXPECT_EQ(form.screen.cells[45].picture, Picture::kBlack);
  EXPECT_EQ(form.screen.cells[46].picture, Picture::kWhite);
  EXPECT_NE(form.screen.cells[46].text, "2");
  EXPECT_EQ(form.screen.panels[1], kNumberText);
}

TEST_F(NewProblem, StarSetsTheRedBoldStyleForLaterTexts) {
  Edit1("*");
  Click(100);
  Edit1("A");
  Click(101, MouseButton::kRight);
  ASSERT_EQ(form.state.EditCount, 2);
  for (int i : {1, 2}) {
    EXPECT_EQ(form.state.EditMoves[i].Tes, 0);
    EXPECT_EQ(form.state.EditMoves[i].Col, 3);
    EXPECT_EQ(form.state.EditMoves[i].Dix, 23);
  }
  EXPECT_EQ(form.state.EditComments[1], "*");
  EXPECT_EQ(form.state.EditComments[2], "A");
  const Cell& a = form.screen.cells[101];
  EXPECT_EQ(a.text, "A");
  EXPECT_EQ(a.colour, kRedText);
  EXPECT_TRUE(a.bold);
  EXPECT_TRUE(a.opaque);
  EXPECT_EQ(a.picture, Picture::kNone);
  EXPECT_TRUE(Stones().empty());  // marks do not change the board
  // A stone after a mark starts its numbering again at 1.
  Edit1("");
  Click(102);
  EXPECT_EQ(form.state.EditMoves[3].Tes, 1);
  EXPECT_EQ(form.state.MarkKind, 0);
}

TEST_F(NewProblem, RefusedClicksChangeNothing) {
  Edit1("番号");
  Click(45);  // a numbered stone clears the text style
  Edit1("A");
  Click(46);
  EXPECT_EQ(Messages(), std::vector<std::string>{kChooseTextStyle});
  EXPECT_EQ(form.state.EditCount, 1);
  EXPECT_EQ(form.state.Board[46], 0);

  // A full buffer takes nothing more.
  form.CuteButton6Click();
  Edit1("番号");
  for (int i = 1; i <= kEditBufferLimit; ++i) Click(i + 100);
  EXPECT_EQ(form.state.EditCount, kEditBufferLimit);
  const auto board = Stones();
  Click(5);
  EXPECT_EQ(Messages(), std::vector<std::string>{kBufferFull});
  EXPECT_EQ(form.state.EditCount, kEditBufferLimit);
  EXPECT_EQ(form.state.MoveNumber, kEditBufferLimit);
  EXPECT_EQ(Stones(), board);
  EXPECT_EQ(CountEditMoves(form.state), kEditBufferLimit);
}

TEST_F(EditingTest, ClickBeforeLoadingAsksForTheContentsWhateverEdit1Says) {
  lib.AddProblem(12, 5);
  Start();
  for (const char* text : {"番号", "*", "A", ""}) {
    Edit1(text);
    editing.ComposeClick(45, MouseButton::kLeft);
  }
  EXPECT_EQ(Messages(), std::vector<std::string>(4, kDoubleClickContents));
  EXPECT_EQ(Sounds(), std::vector<int>(4, 0));
  EXPECT_EQ(form.state.EditCount, 0);
  EXPECT_EQ(form.state.MarkKind, 0);
  // The register buttons refuse as well instead of writing rows of no
  // problem.
  form.CuteButton2Click();
  form.CuteButton8Click();
  EXPECT_TRUE(RowsOf(0).empty());
  EXPECT_TRUE(RowsOf(12).empty());
}

TEST_F(NewProblem, TakingBackLeavesTheEarlierEntries) {
  Edit1("番号");
  Click(45);
  Click(46, MouseButton::kRight);
  Click(47);
  form.CuteButton7Click();
  EXPECT_EQ(CountEditMoves(form.state), 2);
  EXPECT_EQ(form.state.Board[47], 0);
  form.CuteButton6Click();  // "クリア"
  EXPECT_EQ(CountEditMoves(form.state), 0);
  EXPECT_TRUE(Stones().empty());
}

// ---------------------------------------------------------------------------
// Registering

TEST_F(NewProblem, BaseDiagramOfOneStoneThenASequenceOfTwo) {
  Edit1("番号");
  Click(45);
  form.CuteButton2Click();
  EXPECT_EQ(RowsOf(12), (std::vector<Row>{{0, 1, 45, 1, 9999, 0, "", 0}}));
  EXPECT_EQ(form.screen.panels[0], kRegistered);
  EXPECT_EQ(Sounds(), std::vector<int>{0});
  EXPECT_EQ(form.state.EditCount, 0);
  EXPECT_EQ(form.state.MoveNumber, 0);
  EXPECT_EQ(Stones(), (std::map<int, int>{{45, 1}}));  // the board stays

  Load(12);
  Click(46, MouseButton::kRight);
  Click(47);
  form.CuteButton8Click();
  EXPECT_EQ(Current(figure::PST), 46);  // the new head row
  EXPECT_EQ(form.state.ColourToPlay, 2);  // after a black last stone
  EXPECT_EQ(form.screen.control("Edit1").text, "");
  EXPECT_EQ(form.screen.panels[0], kRegistered);
  EXPECT_EQ(CountEditMoves(form.state), 0);
  EXPECT_EQ(RowsOf(12), (std::vector<Row>{{0, 1, 45, 1, 9999, 1, "", 0},
                                          {1, 2, 46, 0, 1, 2, "", 0},
                                          {2, 1, 47, 2, 0, 3, "", 0}}));
}

TEST_F(NewProblem, SequenceComposedAfterTheBaseDiagramContinuesIt) {
  Edit1("番号");
  Click(45);
  Click(46, MouseButton::kRight);
  form.CuteButton2Click();
  // Straight on, without loading again: the cursor is on the end row.
  Click(47);
  Edit1("*");
  Click(48);
  form.CuteButton8Click();
  EXPECT_EQ(form.state.ColourToPlay, 0);  // the last entry was a mark
  // Marks and stones go on from the new head row.
  Edit1("");
  Click(49, MouseButton::kRight);
  form.CuteButton8Click();
  EXPECT_EQ(RowsOf(12), (std::vector<Row>{{0, 1, 45, 0, 9999, 1, "", 0},
                                          {0, 2, 46, 1, 0, 2, "", 0},
                                          {1, 1, 47, 0, 1, 3, "", 0},
                                          {0, 3, 48, 2, 0, 4, "*", 23},
                                          {1, 2, 49, 3, 2, 5, "", 0}}));
}

class WorkedExample : public EditingTest {
 protected:
  void SetUp() override {
    lib.AddProblem(3, 1);
    lib.AddWorkedExample();
    Load(12);
    Messages();
    Sounds();
  }
};

TEST_F(WorkedExample, ADuplicateFirstPointIsRefusedAndTheBufferKept) {
  const auto before = RowsOf(12);
  Load(12);
  Edit1("番号");
  Click(83);  // sequence A already starts here
  Click(84, MouseButton::kRight);
  Messages();
  Sounds();
  form.CuteButton8Click();
  EXPECT_EQ(Messages(), std::vector<std::string>{kAlreadyRegistered});
  EXPECT_EQ(Sounds(), std::vector<int>{0});
  EXPECT_EQ(form.state.EditCount, 2);
  EXPECT_EQ(CountEditMoves(form.state), 2);
  EXPECT_EQ(Current(figure::PST), 83);  // the matching head row
  EXPECT_EQ(Current(figure::BTO), 1);
  EXPECT_EQ(RowsOf(12), before);

  // Another first point is appended after every existing row.
  Load(12);
  Click(120);
  form.CuteButton8Click();
  const auto after = RowsOf(12);
  ASSERT_EQ(after.size(), 9u);
  EXPECT_EQ(after.back(), (Row{1, 1, 120, 5, 1, 9, "", 0}));
}

TEST_F(WorkedExample, ASecondBaseDiagramIsAppendedButNeverRead) {
  Edit1("番号");
  Click(200);
  form.CuteButton2Click();
  const auto rows = RowsOf(12);
  ASSERT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows.back(), (Row{0, 1, 200, 5, 9999, 0, "", 0}));
  Load(12);
  EXPECT_EQ(Stones(), (std::map<int, int>{{45, 1}, {46, 2}, {64, 1}}));
}

// ---------------------------------------------------------------------------
// Deleting

// Problem 20: base 1, 2, 3 (branch 1); X = 4, 5, 6 (branch 2); Y = 7, 8
// (branch 3): eight rows.
class EightRows : public EditingTest {
 protected:
  void SetUp() override {
    lib.AddProblem(20, 2);
    lib.AddRow({.mnb = 20, .col = 1, .pst = 1, .bto = kRootMarker});
    lib.AddRow({.mnb = 20, .col = 2, .pst = 2});
    lib.AddRow({.mnb = 20, .col = 1, .pst = 3, .bfr = 1});
    lib.AddRow({.mnb = 20, .tes = 1, .col = 1, .pst = 4, .bto = 1});
    lib.AddRow({.mnb = 20, .tes = 2, .col = 2, .pst = 5});
    lib.AddRow({.mnb = 20, .tes = 3, .col = 1, .pst = 6, .bfr = 2});
    lib.AddRow({.mnb = 20, .tes = 1, .col = 1, .pst = 7, .bto = 1});
    lib.AddRow({.mnb = 20, .tes = 2, .col = 2, .pst = 8, .bfr = 3});
    Load(20);
    Messages();
    Sounds();
  }
  void Goto(int tnb) {
    ASSERT_TRUE(lib.KuraQuery2().Locate("TNB", {std::int64_t{tnb}}));
  }
};

TEST_F(EightRows, DeletingAThreeRowSequenceLeavesFiveAndReloads) {
  Goto(5);  // inside X
  form.CuteButton4Click();
  const auto rows = RowsOf(20);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(std::get<2>(rows[3]), 7);
  EXPECT_EQ(form.screen.panels[0], kSequenceDeleted);
  EXPECT_EQ(Sounds(), (std::vector<int>{2, 0}));  // the load, then the delete
  EXPECT_EQ(Stones(), (std::map<int, int>{{1, 1}, {2, 2}, {3, 1}}));
  EXPECT_EQ(form.state.CurrentProblem, 20);
}

TEST_F(EightRows, ASequenceWithoutItsEndRowIsDeletedOnlyToTheLastRow) {
  // Y lost its end row's branch number: deleting it must stop at the last
  // row, not run back into X and the base diagram.
  Goto(8);
  lib.KuraQuery2().Edit();
  lib.KuraQuery2().SetFieldAsInteger(figure::BFR, 0);
  lib.KuraQuery2().Post();
  Goto(7);
  form.CuteButton4Click();
  EXPECT_EQ(RowsOf(20).size(), 6u);
}

TEST_F(EightRows, ANoToTheQuestionDeletesNothing) {
  Goto(5);
  platform.nextAnswer = false;
  form.CuteButton4Click();
  EXPECT_EQ(Messages(), std::vector<std::string>{kDeleteSequenceQuestion});
  platform.nextAnswer = false;
  form.CuteButton3Click();
  EXPECT_EQ(Messages(), std::vector<std::string>{DeleteProblemQuestion(20)});
  EXPECT_EQ(RowsOf(20).size(), 8u);
  EXPECT_TRUE(Sounds().empty());
}

TEST_F(EightRows, DeletingTheBaseDiagramRemovesEveryRowButKeepsTheContents) {
  form.CuteButton3Click();
  EXPECT_TRUE(RowsOf(20).empty());
  EXPECT_TRUE(Stones().empty());
  EXPECT_TRUE(lib.KuraQuery1().Locate("MNB", {std::int64_t{20}}));
  EXPECT_EQ(Messages(), std::vector<std::string>{DeleteProblemQuestion(20)});
}

// ---------------------------------------------------------------------------
// Renumbering, grading, searching

TEST_F(WorkedExample, RenumberingMovesEveryRowAndTheContentsRow) {
  const auto rows = RowsOf(12);
  Load(12);
  Edit1("15");
  form.CuteButton11Click();
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(form.state.CurrentProblem, 15);
  EXPECT_EQ(RowsOf(15), rows);  // same order, same TNB
  EXPECT_TRUE(RowsOf(12).empty());
  kura::TDataSet& contents = lib.KuraQuery1();
  EXPECT_TRUE(contents.Locate("MNB", {std::int64_t{15}}));
  EXPECT_EQ(contents.FieldAsString(mokuji::CMT), "example");
  EXPECT_FALSE(contents.Locate("MNB", {std::int64_t{12}}));
}

TEST_F(WorkedExample, RenumberingRefusalsChangeNothing) {
  lib.AddRow({.mnb = 16, .col = 1, .pst = 9, .bfr = 1, .bto = kRootMarker});
  form.OpenContents(0);
  const auto rows = RowsOf(12);
  Load(12);
  Messages();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"3001", kInvalidNumber}, {"0", kInvalidNumber}, {"-4", kInvalidNumber},
      {"1000", kInvalidNumber}, {"3", kNumberInUse},   {"16", kNumberInUse},     {"abc", NotAnIntegerMessage("abc")},
      {"", NotAnIntegerMessage("")}, {"1 2", NotAnIntegerMessage("1 2")}};
  for (const auto& [text, message] : cases) {
    Edit1(text);
    form.CuteButton11Click();
    EXPECT_EQ(Messages(), std::vector<std::string>{message}) << text;
    EXPECT_EQ(form.state.CurrentProblem, 12) << text;
  }
  EXPECT_EQ(RowsOf(12), rows);
  EXPECT_EQ(RowsOf(3).size(), 0u);
  EXPECT_EQ(RowsOf(16).size(), 1u);
  for (int mnb : {3, 12}) {
    EXPECT_TRUE(lib.KuraQuery1().Locate("MNB", {std::int64_t{mnb}})) << mnb;
  }
}

TEST_F(WorkedExample, RenumberingAfterASearchRenumbersTheLoadedProblem) {
  // The search leaves problem 3 selected in the list; the rows of 12 and
  // its contents row must move together all the same.
  form.screen.control("ComboBox1").itemIndex = 0;  // "全て"
  form.ComboBox1Change();
  EXPECT_EQ(RowInt(lib.KuraQuery1(), mokuji::MNB), 3);
  Edit1("500");
  form.CuteButton11Click();
  EXPECT_EQ(RowsOf(500).size(), 8u);
  EXPECT_TRUE(lib.KuraQuery1().Locate("MNB", {std::int64_t{500}}));
  EXPECT_TRUE(lib.KuraQuery1().Locate("MNB", {std::int64_t{3}}));
}

TEST_F(WorkedExample, GradeSevenIsStoredAndTheBoxShowsItsTitleAgain) {
  form.screen.control("ComboBox2").itemIndex = 6;  // " 7"
  form.ComboBox2Change();
  kura::TDataSet& contents = lib.KuraQuery1();
  ASSERT_TRUE(contents.Locate("MNB", {std::int64_t{12}}));
  EXPECT_EQ(RowInt(contents, mokuji::SIZE), 7);
  EXPECT_EQ(form.screen.control("ComboBox2").ShownText(), "評価");
  EXPECT_TRUE(Stones().empty());
}

TEST_F(WorkedExample, SearchingByGrade) {
  form.screen.control("ComboBox1").itemIndex = 7;  // grade 7: none
  form.ComboBox1Change();
  EXPECT_EQ(Messages(), std::vector<std::string>{kNoMatchingProblem});
  EXPECT_EQ(lib.KuraQuery1().RecordCount(), 0);
  EXPECT_EQ(form.screen.control("ComboBox1").ShownText(), "検索");
  EXPECT_TRUE(Stones().empty());

  form.screen.control("ComboBox1").itemIndex = 5;  // grade 5: problem 12
  form.ComboBox1Change();
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(lib.KuraQuery1().RecordCount(), 1);
  EXPECT_EQ(RowInt(lib.KuraQuery1(), mokuji::MNB), 12);
}

}  // namespace
}  // namespace sorabeku
