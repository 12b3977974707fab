// SGF text to game trees and back: collections, variations, escapes, and
// faults refused at the right place.
#include <gtest/gtest.h>

#include "library/sgf_parser.h"
#include "library/sgf_writer.h"

namespace sorabeku {
namespace {

TEST(SgfParser, CollectionOfTreesWithVariationsInFileOrder) {
  const SgfCollection trees = ParseSgf(
      "\xEF\xBB\xBF  (;GM[1]SZ[19];B[aa](;W[bb];B[cc])(;W[dd]))\n(;GM[1]AB[aa][ss])\n");
  ASSERT_EQ(trees.size(), 2u);
  const SgfNode& root = trees[0];
  EXPECT_EQ(root.Value("SZ"), "19");
  ASSERT_EQ(root.children.size(), 1u);
  const SgfNode& move = root.children[0];
  EXPECT_EQ(move.Value("B"), "aa");
  ASSERT_EQ(move.children.size(), 2u);
  EXPECT_EQ(move.children[0].Value("W"), "bb");
  EXPECT_EQ(move.children[0].children.at(0).Value("B"), "cc");
  EXPECT_EQ(move.children[1].Value("W"), "dd");
  EXPECT_TRUE(move.children[1].children.empty());
  EXPECT_EQ(trees[1].Find("AB")->values, (std::vector<std::string>{"aa", "ss"}));
}

TEST(SgfParser, EscapesSoftBreaksAndOldStyleNames) {
  const SgfCollection trees =
      ParseSgf("(;C[a\\]b\\\\c\\:d]GN[one\\\ntwo\\\r\nthree]AddBlack[aa]LB[aa:x\ny])");
  const SgfNode& root = trees.at(0);
  EXPECT_EQ(root.Value("C"), "a]b\\c:d");
  EXPECT_EQ(root.Value("GN"), "onetwothree");
  EXPECT_EQ(root.Value("AB"), "aa");
  EXPECT_EQ(root.Value("LB"), "aa:x\ny");
}

// A soft line break removes one line break of whichever convention; the
// line break after it is text.
TEST(SgfParser, ASoftBreakTakesOneLineBreakAndNoMore) {
  const struct {
    std::string value;
    std::string text;
  } cases[] = {
      {"a\\\n\nb", "a\nb"},
      {"a\\\r\rb", "a\rb"},
      {"a\\\r\n\r\nb", "a\r\nb"},
      {"a\\\n\r\nb", "a\nb"},  // "\n\r" is one break; "\n" follows
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseSgf("(;C[" + c.value + "])").at(0).Value("C"), c.text) << c.value;
  }
}

TEST(SgfParser, PlacesCountLinesOfEveryConvention) {
  const SgfCollection trees = ParseSgf("(;GM[1]\r\n;B[aa]\r;W[bb]\n  ;B[cc])");
  const SgfNode& b = trees[0].children[0];
  EXPECT_EQ(b.place.line, 2);
  EXPECT_EQ(b.place.column, 1);
  EXPECT_EQ(b.children[0].place.line, 3);
  EXPECT_EQ(b.children[0].children[0].place.line, 4);
  EXPECT_EQ(b.children[0].children[0].place.column, 3);
}

// Each broken text is refused, and the message names where.
TEST(SgfParser, BrokenTextIsRefusedWithItsPlace) {
  const struct {
    const char* text;
    const char* place;
  } cases[] = {
      {"", "the file holds no game tree"},
      {"  \n", "the file holds no game tree"},
      {"x(;GM[1])", "line 1, column 1"},
      {"(;GM[1])junk", "line 1, column 9"},
      {"(;GM[1]\n;C[never closed)", "line 2, column 3"},
      {"(;GM[1]\n(;B[aa])", "line 1, column 1"},
      {"(GM[1])", "line 1, column 2"},
      {"(;GM)", "line 1, column 3"},
      {"(;B[aa]B[bb])", "line 1, column 8"},
      {"(;GM[1]()) ", "line 1, column 9"},
      {"(;GM[1];B[aa]x)", "line 1, column 14"},
  };
  for (const auto& c : cases) {
    try {
      ParseSgf(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const SgfError& e) {
      EXPECT_NE(std::string(e.what()).find(c.place), std::string::npos)
          << c.text << " -> " << e.what();
    }
  }
}

TEST(SgfParser, TooDeepTreesAreRefusedNotOverflowed) {
  std::string deep = "(";
  for (int i = 0; i < kSgfMaxDepth + 1; ++i) deep += ";B[aa]";
  deep += ")";
  EXPECT_THROW(ParseSgf(deep), SgfError);
  std::string nested;
  for (int i = 0; i < kSgfMaxDepth + 1; ++i) nested += "(;";
  EXPECT_THROW(ParseSgf(nested), SgfError);
  std::string fits = "(";
  for (int i = 0; i < kSgfMaxDepth; ++i) fits += ";B[aa]";
  EXPECT_NO_THROW(ParseSgf(fits + ")"));
}

TEST(SgfWriter, WritesEscapedLayoutThatReadsBackTheSame) {
  SgfNode root;
  root.Add("GM", "1").Add("C", "a]b\\c\n)(;");
  SgfNode b;
  b.Add("B", "aa");
  SgfNode w1, w2;
  w1.Add("W", "bb");
  w2.Add("W", "cc").Add("LB", std::vector<std::string>{"dd:x", "ee:y"});
  b.children = {w1, w2};
  root.children = {b};
  const std::string text = WriteSgf({root, root});
  const std::string one = "(;GM[1]C[a\\]b\\\\c\n)(;]\n;B[aa]\n(;W[bb])\n(;W[cc]LB[dd:x][ee:y]))\n";
  EXPECT_EQ(text, one + one);
  EXPECT_EQ(WriteSgf(ParseSgf(text)), text);
}

TEST(SgfTree, PointsOfTheBoard) {
  EXPECT_EQ(SgfPoint(1), "aa");
  EXPECT_EQ(SgfPoint(2), "ab");
  EXPECT_EQ(SgfPoint(20), "ba");
  EXPECT_EQ(SgfPoint(361), "ss");
  EXPECT_EQ(PointFromSgf("ba"), 20);
  EXPECT_EQ(PointFromSgf("tt"), 0);
  EXPECT_EQ(PointFromSgf(""), 0);
  EXPECT_EQ(PointFromSgf("aA"), 0);
  for (int p = 1; p <= 361; ++p) ASSERT_EQ(PointFromSgf(SgfPoint(p)), p);
}

}  // namespace
}  // namespace sorabeku
