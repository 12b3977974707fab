// Problems to game trees and back, in memory: what the exporter writes,
// what the importer builds from it and from hand-written files, and what
// it refuses.
#include <gtest/gtest.h>

#include <climits>

#include "library/problem_export.h"
#include "library/problem_import.h"
#include "library/sgf_writer.h"

namespace sorabeku {
namespace {

std::string Export(const ProblemRecord& p) { return WriteSgf({ProblemToTree(p).root}); }

ProblemRecord ImportOne(const std::string& text, ImportOptions options = {}) {
  ImportResult r = ImportSgf(text, options);
  EXPECT_EQ(r.problems.size(), 1u);
  return r.problems.at(0);
}

// Problem 12 as registered in the editing screen: base diagram 45, 46, 64;
// sequence A 83, 84 from it; A's continuation C 85 "*", 86; red sequence B
// 102 from the base diagram.
ProblemRecord WorkedExample() {
  ProblemRecord p;
  p.number = 12;
  p.grade = 7;
  p.description = "出入の計算";
  p.rows = {
      {.tes = 0, .col = 1, .pst = 45, .bto = 9999},
      {.tes = 0, .col = 2, .pst = 46},
      {.tes = 0, .col = 1, .pst = 64, .bfr = 1},
      {.tes = 1, .col = 1, .pst = 83, .bto = 1},
      {.tes = 2, .col = 2, .pst = 84, .bfr = 2},
      {.tes = 3, .col = 1, .pst = 85, .bto = 2, .cmt = "*"},
      {.tes = 4, .col = 2, .pst = 86, .bfr = 3, .cmt = "後手4目"},
      {.tes = 1, .col = -1, .pst = 102, .bfr = 4, .bto = 1, .cmt = "逆ヨセ6目"},
  };
  return p;
}

TEST(ProblemExport, WorkedExampleAsGameTree) {
  EXPECT_EQ(Export(WorkedExample()),
            "(;GM[1]FF[4]CA[UTF-8]SZ[19]SBN[12]SBG[7]SBD[出入の計算]AB[cg][dg]AW[ch]"
            // AB and AW cannot say that the white stone came second.
            "SBB[45:1:0:0:][46:2:0:0:][64:1:0:0:]\n"
            "(;B[eg]TE[1]\n"
            ";W[eh]\n"
            ";B[ei]TE[1]SBA[1]\n"
            ";W[ej]C[後手4目])\n"
            "(;B[fg]BM[1]C[逆ヨセ6目]))\n");
}

TEST(ProblemImport, WorkedExampleComesBackRowForRow) {
  const ProblemRecord original = WorkedExample();
  const ProblemRecord back = ImportOne(Export(original));
  EXPECT_EQ(back, original);
}

// Rows whose values the standard properties cannot say: the base diagram
// out of colour order with a comment in the middle, a red line whose later
// stone is red too, a stone showing a green label, marks of both kinds, a
// move number that does not follow on, a sole continuation that begins
// with a mark, an empty contents row.
ProblemRecord Unusual() {
  ProblemRecord p;
  p.number = 2005;
  p.rows = {
      {.col = 2, .pst = 100, .bto = 9999},
      {.col = 1, .pst = 120, .cmt = "中"},
      {.col = 3, .pst = 140, .cmt = "A", .dix = 22},
      {.col = 1, .pst = 121, .bfr = 7},
      {.tes = 1, .col = -1, .pst = 101, .bto = 7},
      {.tes = 2, .col = -2, .pst = 102, .cmt = "白も赤"},
      {.tes = 0, .col = 0, .pst = 122, .cmt = "×", .dix = 33},
      {.tes = 5, .col = 1, .pst = 103, .bfr = 2, .cmt = "五", .dix = 12},
      {.tes = 0, .col = 3, .pst = 160, .bto = 2, .cmt = "a", .dix = 21},
      {.tes = 6, .col = 2, .pst = 161, .bfr = 9, .cmt = "*"},
      {.tes = 1, .col = 1, .pst = 180, .bfr = 1, .bto = 7},
  };
  return p;
}

TEST(ProblemExport, ExactValuesGoToPrivateProperties) {
  const std::string text = Export(Unusual());
  EXPECT_NE(text.find("SBB[100:2:0:0:][120:1:0:0:中][140:3:0:22:A][121:1:0:0:]"), std::string::npos)
      << text;
  EXPECT_NE(text.find(";W[fg]C[白も赤]SBC[-2]\n"), std::string::npos) << text;
  EXPECT_NE(text.find(";LB[gh:×]SBC[0]SBX[33]\n"), std::string::npos) << text;
  EXPECT_NE(text.find(";B[fh]LB[fh:五]SBT[5]SBX[12]\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("SBG"), std::string::npos);
  EXPECT_EQ(text.find("SBD"), std::string::npos);
}

TEST(ProblemImport, ExportImportExportIsByteIdentical) {
  for (const ProblemRecord& original : {WorkedExample(), Unusual()}) {
    const std::string first = Export(original);
    const ProblemRecord back = ImportOne(first);
    EXPECT_EQ(Export(back), first);
    // Branch numbers are handed out afresh in appending order; everything
    // else is the same.
    ASSERT_EQ(back.rows.size(), original.rows.size());
    for (std::size_t i = 0; i < back.rows.size(); ++i) {
      ProblemRow a = original.rows[i], b = back.rows[i];
      EXPECT_EQ(a.bfr > 0, b.bfr > 0) << i;
      EXPECT_EQ(a.bto > 0, b.bto > 0) << i;
      a.bfr = b.bfr = a.bto = b.bto = 0;
      EXPECT_EQ(a, b) << "row " << i;
    }
  }
}

// Numbers at the ends of 32 bits, which the editing screen never makes but
// a file or the kura tool can: read, written and read back the same, with
// no arithmetic that overflows on the way (the sanitizer build checks).
TEST(ProblemImport, NumbersAtTheLimitsOfThirtyTwoBitsComeBackUnchanged) {
  const std::string text =
      "(;SBN[1]SBB[1:-2147483648:0:0:][2:1:-2147483648:-2147483648:x]"
      ";B[bb]SBT[2147483647];W[cc]SBT[-2147483648];B[dd]SBC[-2147483648]SBT[7]"
      ";LB[ee:t]SBC[2147483647]SBX[-2147483648])";
  const ProblemRecord first = ImportOne(text);
  ASSERT_EQ(first.rows.size(), 6u);
  EXPECT_EQ(first.rows[0].col, INT_MIN);
  EXPECT_EQ(first.rows[2].tes, INT_MAX);
  EXPECT_EQ(first.rows[3].tes, INT_MIN);
  EXPECT_EQ(first.rows[4].col, INT_MIN);
  EXPECT_EQ(first.rows[5].dix, INT_MIN);
  const std::string exported = Export(first);
  EXPECT_EQ(ImportOne(exported), first) << exported;
  // No number follows 2147483647: the next stone's is always written out.
  EXPECT_NE(exported.find(";W[cc]SBT[-2147483648]"), std::string::npos) << exported;
}

// A sole continuation registered after its parent's sibling: the program
// would read the wrong row as its head. Exported by its branch numbers and
// imported, it comes right after its parent.
TEST(ProblemImport, SoleContinuationMovesDirectlyAfterItsParent) {
  ProblemRecord p;
  p.number = 3;
  p.rows = {
      {.col = 1, .pst = 1, .bfr = 1, .bto = 9999},
      {.tes = 1, .col = 1, .pst = 2, .bfr = 2, .bto = 1},
      {.tes = 1, .col = 1, .pst = 3, .bfr = 3, .bto = 1},
      {.tes = 2, .col = 2, .pst = 4, .bfr = 4, .bto = 2},
  };
  const ProblemRecord back = ImportOne(Export(p));
  ASSERT_EQ(back.rows.size(), 4u);
  EXPECT_EQ(back.rows[1].pst, 2);
  EXPECT_EQ(back.rows[2].pst, 4);
  EXPECT_EQ(back.rows[2].bto, back.rows[1].bfr);
  EXPECT_EQ(back.rows[3].pst, 3);
  EXPECT_EQ(back.rows[3].bto, 1);
}

TEST(ProblemExport, RowsNoLineReachesAreLeftOutAndCounted) {
  ProblemRecord p = WorkedExample();
  p.rows[3].bto = 0;  // sequence A lost its link: A and C cannot be reached
  p.rows.push_back({.tes = 1, .col = 1, .pst = 0, .bfr = 5, .bto = 1});  // off the board
  const ExportedTree t = ProblemToTree(p);
  EXPECT_EQ(t.leftOut, 5);
  ASSERT_EQ(t.root.children.size(), 1u);
  EXPECT_EQ(t.root.children[0].Value("B"), "fg");
}

// A file as an author writes it in another editor: setup stones, labels,
// comments, variations, BM on a mistake, no private properties.
TEST(ProblemImport, HandWrittenFileKeepsWhatItSays) {
  const std::string text =
      "(;GM[1]FF[4]SZ[19]GN[隅のヨセ]AB[aa:ab][cc]AW[ba]LB[dd:A]C[黒番]\n"
      "(;B[ea]C[正解]LB[fa:B][ea:1]\n"
      ";W[fa]\n"
      ";B[ga]TE[1]\n"
      "(;W[ha])\n"
      "(;W[ia];;B[ja]))\n"
      "(;B[ka]BM[1]C[失敗]\n"
      ";W[la]C[逆ヨセ]))\n";
  const ProblemRecord p = ImportOne(text, {.number = 5, .grade = 3});
  EXPECT_EQ(p.number, 5);
  EXPECT_EQ(p.grade, 3);
  EXPECT_EQ(p.description, "隅のヨセ");
  const std::vector<ProblemRow> expected = {
      {.col = 1, .pst = 1, .bto = 9999},
      {.col = 1, .pst = 2},
      {.col = 1, .pst = 41},
      {.col = 2, .pst = 20, .cmt = "黒番"},
      {.col = 3, .pst = 61, .bfr = 1, .cmt = "A", .dix = 21},
      // The label on the move's own point is shown on the stone; the other
      // label follows as a mark.
      {.tes = 1, .col = 1, .pst = 77, .bto = 1, .cmt = "1", .dix = 11},
      {.col = 3, .pst = 96, .cmt = "B", .dix = 21},
      {.tes = 2, .col = 2, .pst = 96, .bfr = 2},
      // TE starts a sequence of its own although nothing branches.
      {.tes = 3, .col = 1, .pst = 115, .bfr = 3, .bto = 2},
      {.tes = 4, .col = 2, .pst = 134, .bfr = 4, .bto = 3},
      // The empty node between W[ia] and B[ja] stands for no row.
      {.tes = 4, .col = 2, .pst = 153, .bto = 3},
      {.tes = 5, .col = 1, .pst = 172, .bfr = 5},
      {.tes = 1, .col = -1, .pst = 191, .bto = 1, .cmt = "失敗"},
      {.tes = 2, .col = 2, .pst = 210, .bfr = 6, .cmt = "逆ヨセ"},
  };
  EXPECT_EQ(p.rows, expected);
  // The file's own words survive a trip through the library format.
  ProblemRecord again = ImportOne(Export(p));
  EXPECT_EQ(again, p);
}

TEST(ProblemImport, CollectionBecomesSeveralProblemsNumberedOn) {
  const std::string two = "(;SBN[1]AB[aa])(;SBN[2]AB[bb])";
  ImportResult r = ImportSgf(two);
  ASSERT_EQ(r.problems.size(), 2u);
  EXPECT_EQ(r.problems[0].number, 1);
  EXPECT_EQ(r.problems[1].number, 2);
  r = ImportSgf(two, {.number = 1001});
  EXPECT_EQ(r.problems[0].number, 1001);
  EXPECT_EQ(r.problems[1].number, 1002);
  EXPECT_FALSE(r.problems[0].grade.has_value());
}

TEST(ProblemImport, ProblemWithoutRowsKeepsItsContentsRow) {
  ProblemRecord p;
  p.number = 999;
  p.grade = 0;
  p.description = "準備中";
  const std::string text = Export(p);
  EXPECT_EQ(text, "(;GM[1]FF[4]CA[UTF-8]SZ[19]SBN[999]SBG[0]SBD[準備中])\n");
  EXPECT_EQ(ImportOne(text), p);
}

// Grades run from 0 to 25, both ends included, from the file or from the
// importer's options alike.
TEST(ProblemImport, GradesAtBothEndsOfTheirRangeAreAccepted) {
  EXPECT_EQ(ImportOne("(;SBN[1]SBG[25]AB[aa])").grade, 25);
  EXPECT_EQ(ImportOne("(;SBN[1]SBG[0]AB[aa])").grade, 0);
  EXPECT_EQ(ImportOne("(;SBN[1]AB[aa])", {.grade = 25}).grade, 25);
  EXPECT_THROW(ImportSgf("(;SBN[1]AB[aa])", {.grade = 26}), SgfError);
  EXPECT_THROW(ImportSgf("(;SBN[1]SBG[-1]AB[aa])"), SgfError);
}

TEST(ProblemImport, TextsAreMadeStorableAndReported) {
  const std::string longComment(120, 'x');
  ImportResult r = ImportSgf("(;SBN[1]SBD[𠮷野家]AB[aa]\n;B[bb]C[" + longComment + "])");
  const ProblemRecord& p = r.problems.at(0);
  EXPECT_EQ(p.description, "〓野家");
  EXPECT_EQ(p.rows.at(1).cmt, std::string(100, 'x'));
  ASSERT_EQ(r.notes.size(), 2u);
  EXPECT_NE(r.notes[0].find("U+20BB7"), std::string::npos) << r.notes[0];
  EXPECT_NE(r.notes[1].find("line 2"), std::string::npos) << r.notes[1];
}

std::string Continuations(int n) {
  std::string text = "(;SBN[1]AB[aa]";
  for (int i = 0; i < n; ++i) text += "(;B[" + SgfPoint(i + 2) + "])";
  return text + ")";
}

std::string LineOf(int sequences) {
  std::string text = "(;SBN[1]AB[aa]";
  for (int i = 1; i < sequences; ++i) text += ";B[" + SgfPoint(i + 1) + "]TE[1]";
  return text + ")";
}

// Each refusal names the place; nothing is built.
TEST(ProblemImport, RefusalsNameThePlace) {
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"(;SZ[13]SBN[1]AB[aa])", "line 1, column 3: board size SZ[13]"},
      {"(;GM[2]SBN[1]AB[aa])", "GM[2]"},
      {"(;CA[Shift_JIS]SBN[1]AB[aa])", "CA[Shift_JIS]"},
      {"(;AB[aa])", "no problem number"},
      {"(;SBN[1000]AB[aa])", "1000 belongs to no section"},
      {"(;SBN[3000]AB[aa])", "belongs to no section"},
      {"(;SBN[12x]AB[aa])", "SBN needs a whole number"},
      {"(;SBN[1]SBG[26]AB[aa])", "grade 26"},
      {"(;SBN[1]AB[aa])(;SBN[1]AB[bb])", "line 1, column 17: problem number 1 comes twice"},
      {"(;SBN[1]\n;B[aa])", "line 1, column 2: the root has no setup stones"},
      {"(;SBN[1]B[aa]AB[bb])", "a move in the root"},
      {"(;SBN[1]AB[aa]\n;B[])", "line 2, column 2: a pass"},
      {"(;SBN[1]AB[aa];B[zz])", "B[zz] is not a point"},
      {"(;SBN[1]AB[aa];B[bb]W[cc])", "both B and W"},
      {"(;SBN[1]AB[aa];AB[bb])", "setup stones can only stand in the root"},
      {"(;SBN[1]AB[aa]LB[bb])", "needs a point and a text"},
      {"(;SBN[1]AB[cc:aa])", "not a rectangle"},
      {"(;SBN[1]SBB[400:1:0:0:]AB[aa])", "not on the board"},
      {Continuations(21), "21 continuations at one point"},
      {LineOf(11), "more than 10 sequences"},
      {"(;SBN[1]AB[aa];B[bb]", "not closed"},
      {"(;SBN[1]AB[aa];B[bb]SBT[2147483647]\n;W[cc])", "line 2, column 1: the stone after move number"},
  };
  for (const auto& c : cases) {
    try {
      ImportSgf(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const SgfError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
          << c.text << " -> " << e.what();
    }
  }
  std::string longest = "(;SBN[1]AB[aa]";
  for (int i = 1; i < kSgfMaxDepth; ++i) longest += ";B[bb]";
  EXPECT_EQ(ImportSgf(longest + ")").problems.at(0).rows.size(), static_cast<std::size_t>(kSgfMaxDepth));
  EXPECT_NO_THROW(ImportSgf(Continuations(20)));
  EXPECT_NO_THROW(ImportSgf(LineOf(10)));
  EXPECT_NO_THROW(ImportSgf("(;SBN[1]SZ[19:19]AB[aa]CA[utf8])"));
}

}  // namespace
}  // namespace sorabeku
