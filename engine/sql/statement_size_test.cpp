// What a parsed statement holds grows with the statement's length, not with
// its length times its nesting: node texts are cut, long literals kept once.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "engine/sql/expression_parser.h"
#include "engine/sql/statement_parser.h"

namespace kura::sql {
namespace {

struct TreeSize {
  std::size_t nodes = 0;
  std::size_t textBytes = 0;  // node texts and constant values together
};

void Measure(const TExpToken& node, TreeSize& size) {
  ++size.nodes;
  size.textBytes += node.text.size() + node.value.text.size();
  node.ForEachChild([&](const TExpToken& c) { Measure(c, size); });
}

TreeSize WhereSize(const std::string& statement) {
  const auto parsed = ParseStatement(statement);
  TreeSize size;
  Measure(*parsed->master().where, size);
  return size;
}

TEST(StatementSizeTest, TextsOfATreeGrowWithTheStatementNotWithItsDepth) {
  // A 100 000-byte literal under 200 ANDs: each AND used to keep its own
  // copy of everything to its left.
  std::string longLiteral = "SELECT a FROM t WHERE s = '" + std::string(100000, 'x') + "'";
  for (int i = 0; i < 200; ++i) longLiteral += " AND a = 1";
  const TreeSize literal = WhereSize(longLiteral);
  EXPECT_EQ(literal.nodes, 1u + 2u + 200u * 4u);
  EXPECT_LT(literal.textBytes, 3 * longLiteral.size());

  // 20 000 values in one IN list: one node per value and the list's text
  // once, cut.
  std::string inList = "SELECT a FROM t WHERE a IN (0";
  for (int i = 1; i < 20000; ++i) inList += "," + std::to_string(i);
  inList += ")";
  const TreeSize in = WhereSize(inList);
  EXPECT_EQ(in.nodes, 20000u + 2u);
  EXPECT_LT(in.textBytes, 2 * inList.size());
}

TEST(StatementSizeTest, ALongNodeTextIsCutBetweenCharacters) {
  // Short operands keep their whole text; the long sum is cut with "...".
  std::string sum = "a";
  for (int i = 0; i < 200; ++i) sum += " + 12345";
  const auto parsed = ParseStatement("SELECT a FROM t WHERE " + sum + " > 0");
  const TExpToken& top = *parsed->master().where;
  const TExpToken* leftmost = top.left.get();
  while (leftmost->left->left) leftmost = leftmost->left.get();
  EXPECT_EQ(leftmost->text, "a + 12345");
  ASSERT_GT(top.text.size(), 3u);
  EXPECT_LE(top.text.size(), kNodeTextLimit + 3);
  EXPECT_EQ(top.text.substr(top.text.size() - 3), "...");
  EXPECT_EQ(sum.compare(0, top.text.size() - 3, top.text, 0, top.text.size() - 3), 0);

  // Shift-JIS: "\x83\x5C" is one character whose second byte looks like
  // a backslash; a cut at the limit itself would end on its first byte.
  std::string text = "s = 'x";
  while (text.size() < 2 * kNodeTextLimit) text += "\x83\x5C ";
  text += "'";
  const auto sjis = ParseStatement("SELECT a FROM t WHERE " + text);
  const std::string& cut = sjis->master().where->text;
  const std::string kept = cut.substr(0, cut.size() - 3);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(text.compare(0, kept.size(), kept), 0);
  EXPECT_EQ(text[kept.size()], ' ');  // the cut lies before a character of its own
  EXPECT_NE(static_cast<unsigned char>(kept.back()), 0x83u);
  // The constant itself keeps every byte.
  EXPECT_EQ(sjis->master().where->right->value.text.size(), text.size() - 6);
}

}  // namespace
}  // namespace kura::sql
