// The operand table of the comparison operators, comparisons of values of
// every type, and conversions between types.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/expr/date_time.h"
#include "engine/expr/evaluator.h"
#include "engine/sql/query_collation.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/testing/test_catalog.h"
#include "engine/storage/locale.h"
#include "engine/sql/sql_lexer.h"
#include "engine/expr/sql_value.h"
#include "engine/sql/type_checker.h"

namespace kura::sql {
namespace {

struct TypeRef {
  int type;
  int subType;
  const char* name;
};

const TypeRef kTypes[] = {
    {kTypeSmallInt, 0, "smallint"}, {kTypeInteger, 0, "integer"},
    {kTypeLargeInt, 0, "largeint"}, {kTypeWord, 0, "word"},
    {kTypeFloat, 0, "float"},       {kTypeBcd, 0, "bcd"},
    {kTypeString, 0, "string"},     {kTypeBlob, kSubMemo, "memo"},
    {kTypeBlob, kSubGraphic, "graphic"}, {kTypeBoolean, 0, "boolean"},
    {kTypeDate, 0, "date"},         {kTypeTime, 0, "time"},
    {kTypeTimestamp, 0, "timestamp"}, {kTypeBytes, 0, "bytes"},
    {kTypeVarBytes, 0, "varbytes"},
};

enum Family { kNumeric, kText, kOtherBlob, kBool, kDate, kTime, kStamp, kBytes, kOther };

Family FamilyOf(const TypeRef& t) {
  if (IsNumericType(t.type)) return kNumeric;
  if (IsTextType(t.type, t.subType)) return kText;
  switch (t.type) {
    case kTypeBlob: return kOtherBlob;
    case kTypeBoolean: return kBool;
    case kTypeDate: return kDate;
    case kTypeTime: return kTime;
    case kTypeTimestamp: return kStamp;
    case kTypeBytes: return kBytes;
    default: return kOther;
  }
}

// The operand table written out by family: what "=" and "<" accept.
bool Expected(Family l, Family r, bool ordering) {
  switch (l) {
    case kNumeric: return r == kNumeric;
    case kText: return r == kText;
    case kBool: return !ordering && r == kBool;
    case kDate:
    case kStamp: return r == kDate || r == kStamp;
    case kTime: return r == kTime;
    case kBytes: return !ordering && r == kBytes;
    default: return false;
  }
}

TEST(OperandTableTest, EveryPairOfTypes) {
  for (const TypeRef& l : kTypes) {
    for (const TypeRef& r : kTypes) {
      for (bool ordering : {false, true}) {
        EXPECT_EQ(ComparisonAccepts(l.type, l.subType, r.type, r.subType, ordering),
                  Expected(FamilyOf(l), FamilyOf(r), ordering))
            << l.name << (ordering ? " < " : " = ") << r.name;
      }
    }
    // The null constant is accepted everywhere.
    EXPECT_TRUE(ComparisonAccepts(l.type, l.subType, kTypeNone, 0, true)) << l.name;
    EXPECT_TRUE(ComparisonAccepts(kTypeNone, 0, l.type, l.subType, false)) << l.name;
  }
}

bool Cmp(CompareOp op, const Value& a, const Value& b) {
  return CompareValues(op, a, b, ByteOrderCollation());
}

TEST(CompareValuesTest, OrderingNullsOfNonStringsCompareAsZero) {
  const Value nullInt = Value::NullOf(kTypeInteger);
  const Value zero = Value::Integer(0);
  EXPECT_FALSE(Cmp(CompareOp::kLe, nullInt, zero));  // exactly one null
  EXPECT_FALSE(Cmp(CompareOp::kGe, zero, nullInt));
  EXPECT_TRUE(Cmp(CompareOp::kGe, nullInt, Value::NullOf(kTypeFloat)));
  EXPECT_FALSE(Cmp(CompareOp::kGt, nullInt, Value::NullOf(kTypeFloat)));
  EXPECT_TRUE(Cmp(CompareOp::kNe, nullInt, zero));
  EXPECT_TRUE(Cmp(CompareOp::kEq, Value::Null(), Value::NullOf(kTypeDate)));
}

TEST(CompareValuesTest, ValuesOfEveryKind) {
  EXPECT_TRUE(Cmp(CompareOp::kLt, Value::Integer(-1, kTypeSmallInt), Value::Integer(0, kTypeWord)));
  EXPECT_TRUE(Cmp(CompareOp::kEq, Value::Float(0.5, kTypeBcd), Value::Float(0.5)));
  EXPECT_TRUE(Cmp(CompareOp::kLt, Value::Integer(INT64_MAX, kTypeLargeInt), Value::Float(1e19)));
  EXPECT_TRUE(Cmp(CompareOp::kGt, Value::Integer(INT64_MIN + 1, kTypeLargeInt), Value::Float(-1e19)));
  EXPECT_TRUE(Cmp(CompareOp::kGt, Value::Float(-0.5), Value::Integer(-1)));
  EXPECT_TRUE(Cmp(CompareOp::kLt, Value::Float(-1.5), Value::Integer(-1)));
  EXPECT_TRUE(Cmp(CompareOp::kEq, Value::Boolean(true), Value::Boolean(true)));
  EXPECT_TRUE(Cmp(CompareOp::kNe, Value::Boolean(true), Value::Boolean(false)));
  const std::int32_t day = DayNumber(2020, 5, 17);
  EXPECT_TRUE(Cmp(CompareOp::kEq, Value::Date(day), Value::Timestamp(day * double(kMsPerDay))));
  EXPECT_TRUE(Cmp(CompareOp::kLt, Value::Date(day), Value::Timestamp(day * double(kMsPerDay) + 1)));
  EXPECT_TRUE(Cmp(CompareOp::kLt, Value::Time(1000), Value::Time(1001)));
  Value a = Value::String(std::string("\x01\xff", 2));
  a.type = kTypeBytes;
  Value b = Value::String(std::string("\x01\x00", 2));
  b.type = kTypeBytes;
  EXPECT_TRUE(Cmp(CompareOp::kNe, a, b));
  // Strings compare bytes as unsigned, shorter first on a common prefix.
  EXPECT_TRUE(Cmp(CompareOp::kLt, Value::String("a"), Value::String("\xe3")));
  EXPECT_TRUE(Cmp(CompareOp::kLt, Value::String("ab"), Value::String("abc")));
  Value memo = Value::String("abc");
  memo.type = kTypeBlob;
  memo.subType = kSubMemo;
  EXPECT_TRUE(Cmp(CompareOp::kEq, memo, Value::String("abc")));
}

TEST(ConvertValueTest, CastsBetweenTypes) {
  EXPECT_EQ(ConvertValue(Value::Integer(42), kTypeString, 0).text, "42");
  EXPECT_EQ(ConvertValue(Value::Float(2.5), kTypeString, 0).text, "2.5");
  EXPECT_EQ(ConvertValue(Value::String(" 17"), kTypeInteger, 0).null, true);
  EXPECT_EQ(ConvertValue(Value::String("17"), kTypeSmallInt, 0).integer, 17);
  EXPECT_EQ(ConvertValue(Value::String("1e3"), kTypeFloat, 0).real, 1000.0);
  EXPECT_EQ(ConvertValue(Value::Float(-2.7), kTypeInteger, 0).integer, -2);
  EXPECT_TRUE(ConvertValue(Value::Float(1e300), kTypeInteger, 0).null);
  EXPECT_EQ(ConvertValue(Value::String("2001-02-03"), kTypeDate, 0).integer, DayNumber(2001, 2, 3));
  EXPECT_EQ(ConvertValue(Value::Date(DayNumber(2001, 2, 3)), kTypeString, 0).text, "2001-02-03");
  EXPECT_EQ(ConvertValue(Value::Time(3723004), kTypeString, 0).text, "01:02:03.004");
  const Value ts = ConvertValue(Value::String("2001-02-03 04:05"), kTypeTimestamp, 0);
  EXPECT_EQ(ConvertValue(ts, kTypeDate, 0).integer, DayNumber(2001, 2, 3));
  EXPECT_EQ(ConvertValue(ts, kTypeTime, 0).integer, (4 * 60 + 5) * 60000);
  EXPECT_EQ(ConvertValue(Value::Boolean(true), kTypeString, 0).text, "TRUE");
  EXPECT_TRUE(ConvertValue(Value::String("maybe"), kTypeBoolean, 0).null);
  EXPECT_TRUE(ConvertValue(Value::NullOf(kTypeInteger), kTypeString, 0).null);
}

TEST(ValueTest2, TruthAndStrings) {
  EXPECT_TRUE(Value::String("").null);
  EXPECT_FALSE(Value::Boolean(false).IsTrue());
  EXPECT_TRUE(Value::Integer(2, kTypeBoolean).IsTrue());  // any non-zero
  EXPECT_FALSE(Value::NullOf(kTypeBoolean).IsTrue());
  EXPECT_TRUE(Value::Float(0.1).IsTrue());
}

TEST(SqlLexerErrorsTest, UnterminatedTextsNameTheirRest) {
  struct Case { const char* text; const char* message; };
  const Case cases[] = {
      {"'ab''", "Missing single quote after 'ab'' in WHERE clause"},
      {"\"", "Missing double quote after '' in WHERE clause"},
      {"[x", "Missing right bracket after 'x' in WHERE clause"},
      {"/*/", "Missing ending comment slash and asterisk in WHERE clause"},
  };
  for (const Case& c : cases) {
    SqlLexer lexer(c.text);
    try {
      lexer.Next("WHERE clause");
      FAIL() << c.text;
    } catch (const EKuraEngineError& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("Kura Engine Error # 11949 SQL error - ") + c.message);
    }
  }
  // "]" cannot be doubled inside a bracketed name.
  SqlLexer lexer("[a]]");
  EXPECT_EQ(lexer.Next("x").text, "a");
  EXPECT_EQ(lexer.Next("x").text, "]");
}

}  // namespace
}  // namespace kura::sql

namespace kura::sql {
namespace {

TEST(QueryCollationTest, LanguageNamesAreInstalledLocales) {
  for (const char* name : {"ANSI_STANDARD", "english_us", "JAPANESE"}) {
    int id = -1;
    ASSERT_TRUE(LookupLanguage(name, &id)) << name;
    EXPECT_TRUE(IsLocaleInstalled(static_cast<std::int16_t>(id), 0)) << name;
  }
  int id = 0;
  EXPECT_FALSE(LookupLanguage("KLINGON", &id));
}

TEST(QueryCollationTest, FirstTableUnlessLanguageIsNamed) {
  TestCatalog catalog;
  auto plain = PrepareStatement("select * from figure", catalog);
  EXPECT_TRUE(CollationOf(plain->master()).table().IsByteOrder());
  auto named = PrepareStatement("select * from figure language JAPANESE", catalog);
  const QueryCollation japanese = CollationOf(named->master());
  EXPECT_EQ(japanese.table().LanguageId(), 1041);
  EXPECT_EQ(japanese.table().CodePage(), 932);
}

}  // namespace
}  // namespace kura::sql
