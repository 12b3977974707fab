// The marker scan and the parameter list.
#include "engine/component/kura_params.h"

#include <gtest/gtest.h>

namespace kura {
namespace {

using Names = std::vector<std::string>;

TEST(ParameterMarkers, MarkersBecomeQuestionMarksInOrderOfAppearance) {
  TParamScan s = ScanParameterMarkers("select * from figure\r\nWhere MNB = :MNB");
  EXPECT_EQ(s.processedText, "select * from figure\r\nWhere MNB = ?");
  EXPECT_EQ(s.names, Names{"MNB"});

  s = ScanParameterMarkers("Where (MNB > 0 and MNB < 1000 and SIZE = :SIZE)\r\nOrder By MNB");
  EXPECT_EQ(s.processedText, "Where (MNB > 0 and MNB < 1000 and SIZE = ?)\r\nOrder By MNB");
  EXPECT_EQ(s.names, Names{"SIZE"});

  // The same marker twice gives two parameters; every terminator ends a name.
  s = ScanParameterMarkers("a=:X,:Y;:X\n:Z\r:W");
  EXPECT_EQ(s.processedText, "a=?,?;?\n?\r?");
  EXPECT_EQ(s.names, (Names{"X", "Y", "X", "Z", "W"}));
}

TEST(ParameterMarkers, LiteralsDoubleColonsAndQuotedNames) {
  TParamScan s = ScanParameterMarkers("where T = '12:30' and U = ::V and W = :\"my name\" ");
  EXPECT_EQ(s.processedText, "where T = '12:30' and U = :V and W = ? ");
  EXPECT_EQ(s.names, Names{"my name"});

  // An apostrophe inside a double-quoted literal does not open a literal.
  s = ScanParameterMarkers("where C = \"it's\" and MNB = :MNB");
  EXPECT_EQ(s.names, Names{"MNB"});
  EXPECT_EQ(s.processedText, "where C = \"it's\" and MNB = ?");
}

TEST(Params, RebuildKeepsValuesOfNamesThatRemain) {
  TParams p;
  p.Rebuild({"MNB", "SIZE"});
  p[0].SetAsInteger(12);
  p[1].SetAsString("x");
  p.Rebuild({"size", "TNB", "MNB"});
  ASSERT_EQ(p.Count(), 3);
  EXPECT_EQ(p[0].AsString(), "x");
  EXPECT_EQ(p[1].DataType(), 0);
  EXPECT_EQ(p[2].AsInteger(), 12);
  EXPECT_TRUE(p[2].Bound());
}

TEST(Params, StringsLoseTrailingBlanksAndEmptyOnesBindAsNull) {
  TParam p("S");
  p.SetAsString("ab  ");
  EXPECT_EQ(p.BindValue().text, "ab");
  p.SetAsString("   ");
  EXPECT_TRUE(p.BindValue().null);
  EXPECT_EQ(p.BindValue().type, sql::kTypeString);
  p.SetAsInteger(-4);
  EXPECT_EQ(p.BindValue().integer, -4);
  EXPECT_FALSE(p.BindValue().null);
}

}  // namespace
}  // namespace kura
