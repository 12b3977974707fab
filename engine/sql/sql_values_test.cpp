// The engine's value rules: null handling, evaluation order of AND and OR,
// comparisons across numeric types, strings, dates and the functions.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/expr/date_time.h"
#include "engine/expr/evaluator.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/testing/test_catalog.h"

namespace kura::sql {
namespace {

// A row of one source table given by field number; unset fields are null.
// Records the order in which fields are read.
class MapRow : public RowAccessor {
 public:
  MapRow& Set(int field, Value v) {
    fields_[field] = std::move(v);
    return *this;
  }
  Value FieldValue(int tablePos, int fieldNo) const override {
    EXPECT_EQ(tablePos, 1);
    reads.push_back(fieldNo);
    auto it = fields_.find(fieldNo);
    return it == fields_.end() ? Value::Null() : it->second;
  }
  mutable std::vector<int> reads;

 private:
  std::map<int, Value> fields_;
};

// figure: MNB 1, TES 2, COL 3, PST 4, BFR 5, BTO 6, TNB 7, CMT 8, DIX 9.
constexpr int kMNB = 1, kTES = 2, kBFR = 5, kCMT = 8;
// events: D 1, T 2, TS 3, B 4, PIC 5, NOTE 6, F 7, BIG 8, W 9, SI 10.
constexpr int kD = 1, kTS = 3, kF = 7, kBIG = 8, kW = 9, kSI = 10;

class ValueTest : public ::testing::Test {
 protected:
  bool Holds(const std::string& table, const std::string& where, const MapRow& row,
             const std::vector<Value>& params = {}) {
    statement_ = PrepareStatement("select * from " + table + " where " + where, catalog_);
    BindAndCheck(params);
    return EvaluateCondition(*statement_->master().where, row);
  }
  bool Figure(const std::string& where, const MapRow& row,
              const std::vector<Value>& params = {}) {
    return Holds("figure", where, row, params);
  }
  Value Item(const std::string& item, const MapRow& row) {
    statement_ = PrepareStatement("select " + item + " from figure", catalog_);
    return Evaluate(*statement_->master().selectList[0].expression, row);
  }
  void BindAndCheck(const std::vector<Value>& params) {
    ASSERT_EQ(params.size(), statement_->parameters.size());
    for (std::size_t i = 0; i < params.size(); ++i) statement_->parameters[i]->value = params[i];
  }

  TestCatalog catalog_;
  std::unique_ptr<ParsedStatement> statement_;
};

TEST_F(ValueTest, NullComparisonsFollowTheEngineRules) {
  MapRow nullRow;
  EXPECT_TRUE(Figure("NULL = NULL", nullRow));
  EXPECT_FALSE(Figure("NULL <> NULL", nullRow));
  EXPECT_TRUE(Figure("MNB <> 5", nullRow));
  EXPECT_FALSE(Figure("MNB = 5", nullRow));
  EXPECT_FALSE(Figure("MNB < 5", nullRow));
  EXPECT_FALSE(Figure("MNB > 5", nullRow));
  // Two null non-strings compare as their zero values.
  EXPECT_TRUE(Figure("MNB <= BFR", nullRow));
  EXPECT_TRUE(Figure("MNB >= BFR", nullRow));
  EXPECT_FALSE(Figure("MNB < BFR", nullRow));
  EXPECT_TRUE(Figure("MNB = BFR", nullRow));
  EXPECT_TRUE(Figure("MNB IS NULL", nullRow));
  EXPECT_FALSE(Figure("MNB IS NOT NULL", nullRow));
  // A null boolean counts as false, so NOT of it is true.
  EXPECT_TRUE(Figure("NOT (MNB > 5)", nullRow));
}

TEST_F(ValueTest, SectionConditionExcludesItsBoundsAndNulls) {
  struct Case { bool null; int mnb; bool expected; };
  const Case cases[] = {{false, 0, false}, {false, 1, true}, {false, 999, true},
                        {false, 1000, false}, {false, -5, false}, {true, 0, false}};
  for (const Case& c : cases) {
    MapRow row;
    if (!c.null) row.Set(kMNB, Value::Integer(c.mnb));
    EXPECT_EQ(Figure("(MNB > 0 and MNB < 1000)", row), c.expected) << c.mnb << " null=" << c.null;
  }
  MapRow nullBfr;
  EXPECT_FALSE(Figure("BFR > 0", nullBfr));
}

TEST_F(ValueTest, AndAndOrEvaluateTheirRightOperandFirst) {
  MapRow row;
  row.Set(kMNB, Value::Integer(1)).Set(kTES, Value::Integer(2));
  EXPECT_TRUE(Figure("MNB = 1 and TES = 2", row));
  EXPECT_EQ(row.reads, (std::vector<int>{kTES, kMNB}));

  row.reads.clear();
  EXPECT_FALSE(Figure("MNB = 1 and TES = 3", row));
  EXPECT_EQ(row.reads, (std::vector<int>{kTES}));  // left not evaluated

  row.reads.clear();
  EXPECT_TRUE(Figure("MNB = 7 or TES = 2", row));
  EXPECT_EQ(row.reads, (std::vector<int>{kTES}));  // left not evaluated

  row.reads.clear();
  EXPECT_TRUE(Figure("MNB = 1 or TES = 3", row));
  EXPECT_EQ(row.reads, (std::vector<int>{kTES, kMNB}));
}

TEST_F(ValueTest, ParametersAreBoundByPosition) {
  MapRow five;
  five.Set(kMNB, Value::Integer(5)).Set(kBFR, Value::Integer(2));
  EXPECT_TRUE(Figure("MNB = ?", five, {Value::Integer(5)}));
  EXPECT_FALSE(Figure("MNB = ?", five, {Value::Integer(6)}));
  EXPECT_TRUE(Figure("(MNB = ?) and (BFR > ?)", five, {Value::Integer(5), Value::Integer(1)}));
  EXPECT_FALSE(Figure("(MNB = ?) and (BFR > ?)", five, {Value::Integer(5), Value::Integer(2)}));
  MapRow nullRow;
  EXPECT_TRUE(Figure("MNB = ?", nullRow, {Value::Null()}));
}

TEST_F(ValueTest, StringsConcatenateAndCompareNullAsEmpty) {
  MapRow row;
  row.Set(kCMT, Value::String("ab"));
  EXPECT_TRUE(Figure("CMT + 'x' = 'abx'", row));
  EXPECT_TRUE(Figure("CMT || 'x' || CMT = 'abxab'", row));
  EXPECT_TRUE(Figure("CMT < 'b'", row));
  EXPECT_FALSE(Figure("CMT < 'ab'", row));
  EXPECT_TRUE(Figure("CMT = #97 + #98", row));
  MapRow nullRow;
  EXPECT_TRUE(Figure("CMT + 'x' = 'x'", nullRow));
  EXPECT_TRUE(Figure("CMT < 'a'", nullRow));   // no null test for strings
  EXPECT_TRUE(Figure("CMT >= ''", nullRow));
  EXPECT_TRUE(Figure("CMT = ''", nullRow));    // the empty string is null
  EXPECT_FALSE(Figure("CMT = ''", row));
  EXPECT_TRUE(Figure("'it''s' = \"it's\"", row));
}

TEST_F(ValueTest, NumbersOfDifferentTypesCompareByValue) {
  MapRow row;
  row.Set(kF, Value::Float(2.0))
      .Set(kBIG, Value::Integer(9007199254740993LL, kTypeLargeInt))
      .Set(kW, Value::Integer(65535, kTypeWord))
      .Set(kSI, Value::Integer(-3, kTypeSmallInt));
  EXPECT_TRUE(Holds("events", "F = 2", row));
  EXPECT_TRUE(Holds("events", "F > 1.5", row));
  EXPECT_TRUE(Holds("events", "SI < F", row));
  EXPECT_TRUE(Holds("events", "W = 65535", row));
  EXPECT_TRUE(Holds("events", "W > 3000000000 - 2999999999", row));
  // Exact comparison: as doubles both sides would be equal.
  EXPECT_TRUE(Holds("events", "BIG > 9007199254740992.0", row));
  EXPECT_TRUE(Holds("events", "BIG = 9007199254740993", row));
  EXPECT_TRUE(Holds("events", "BIG <> 9007199254740992", row));
}

TEST_F(ValueTest, DateStringsAreConvertedToTheColumnsType) {
  MapRow row;
  row.Set(kD, Value::Date(DayNumber(2024, 3, 1)))
      .Set(kTS, Value::Timestamp(DayNumber(2024, 3, 1) * double(kMsPerDay) + 13 * 3600000.0));
  EXPECT_TRUE(Holds("events", "D = '2024-03-01'", row));
  EXPECT_TRUE(Holds("events", "D < '2024-03-02'", row));
  EXPECT_TRUE(Holds("events", "'2024-02-29' < D", row));
  EXPECT_TRUE(Holds("events", "TS > '2024-03-01 12:59:59.999'", row));
  EXPECT_TRUE(Holds("events", "TS = '2024-03-01 01:00 PM'", row));
  EXPECT_TRUE(Holds("events", "D < TS", row));
  EXPECT_TRUE(Holds("events", "D between '2024-01-01' and '2024-12-31'", row));
  EXPECT_TRUE(Holds("events", "EXTRACT(MONTH FROM D) = 3", row));
  EXPECT_TRUE(Holds("events", "D + 1 = '2024-03-02'", row));
  EXPECT_THROW(Holds("events", "D = '2023-02-29'", row), EKuraEngineError);
}

TEST_F(ValueTest, Predicates) {
  MapRow row;
  row.Set(kMNB, Value::Integer(7)).Set(kCMT, Value::String("abcabc"));
  EXPECT_TRUE(Figure("MNB between 7 and 8", row));
  EXPECT_FALSE(Figure("MNB not between 7 and 8", row));
  // Both bounds belong to the range.
  EXPECT_TRUE(Figure("MNB between 6 and 7", row));
  EXPECT_FALSE(Figure("MNB not between 6 and 7", row));
  EXPECT_FALSE(Figure("MNB between 8 and 9", row));
  EXPECT_FALSE(Figure("MNB between 5 and 6", row));
  EXPECT_TRUE(Figure("MNB in (1, 7)", row));
  EXPECT_TRUE(Figure("MNB not in (1, 2)", row));
  EXPECT_TRUE(Figure("CMT like 'a%c'", row));
  EXPECT_TRUE(Figure("CMT like '_bc%'", row));
  EXPECT_FALSE(Figure("CMT like 'A%'", row));
  EXPECT_TRUE(Figure("CMT not like '%x%'", row));
}

TEST(LikeMatchTest, MatchesWithoutBacktrackingBlowUp) {
  EXPECT_TRUE(LikeMatch("", "%"));
  EXPECT_FALSE(LikeMatch("", "_"));
  EXPECT_TRUE(LikeMatch("abc", "%%a%b%c%%"));
  EXPECT_FALSE(LikeMatch("abc", "ab"));
  EXPECT_TRUE(LikeMatch("mississippi", "m%iss%ppi"));
  const std::string text(5000, 'a');
  EXPECT_FALSE(LikeMatch(text, std::string(50, '%') + "b"));
}

// In Shift-JIS a wildcard stands for whole characters, and a "_" or "\\"
// byte inside a character is part of it, not a wildcard or an escape.
TEST(LikeMatchTest, ShiftJisCharactersAreNeverSplit) {
  const std::string a = "\x83\x41", da = "\x83\x5F", so = "\x83\x5C", igo = "\x88\xCD\x8C\xE9";
  EXPECT_TRUE(LikeMatch(igo, "__", '\0', 932));
  EXPECT_FALSE(LikeMatch(igo, "_", '\0', 932));
  EXPECT_FALSE(LikeMatch(igo, "___", '\0', 932));
  EXPECT_TRUE(LikeMatch(igo, "____"));  // one byte each in a single-byte code page
  EXPECT_TRUE(LikeMatch(a + "x", "_x", '\0', 932));
  EXPECT_FALSE(LikeMatch(a, da, '\0', 932));  // the "_" of "ダ" matches only itself
  EXPECT_TRUE(LikeMatch(da, da, '\0', 932));
  EXPECT_FALSE(LikeMatch(a + da, "%A__", '\0', 932));  // "%" does not stop inside "ア"
  EXPECT_TRUE(LikeMatch(a + da, "%" + da, '\0', 932));
  EXPECT_TRUE(LikeMatch(so + igo, so + "%", '\\', 932));  // "ソ" ends in the escape byte
  EXPECT_TRUE(LikeMatch("%" + igo, "\\%%", '\\', 932));
  EXPECT_FALSE(LikeMatch(igo, "\\__", '\\', 932));
  EXPECT_TRUE(LikeMatch(igo, "\\" + igo.substr(0, 2) + "_", '\\', 932));
}

TEST_F(ValueTest, ArithmeticAndFunctions) {
  MapRow row;
  row.Set(kMNB, Value::Integer(12)).Set(kCMT, Value::String("xabx"));
  EXPECT_EQ(Item("MNB + 1", row).integer, 13);
  EXPECT_EQ(Item("MNB * 2 - 4 / 2", row).real, 22.0);
  EXPECT_TRUE(Item("MNB / 0", row).null);
  EXPECT_EQ(Item("-MNB", row).integer, -12);
  EXPECT_EQ(Item("2147483647 + MNB", row).integer, 2147483659LL);
  EXPECT_EQ(Item("2147483647 + MNB", row).type, kTypeLargeInt);
  EXPECT_EQ(Item("UPPER(CMT)", row).text, "XABX");
  EXPECT_EQ(Item("SUBSTRING(CMT FROM 2 FOR 2)", row).text, "ab");
  EXPECT_EQ(Item("TRIM(LEADING 'x' FROM CMT)", row).text, "abx");
  EXPECT_EQ(Item("TRIM(BOTH 'x' FROM CMT)", row).text, "ab");
  EXPECT_EQ(Item("POS('b' IN CMT)", row).integer, 3);
  EXPECT_EQ(Item("OCCURS('x' IN CMT)", row).integer, 2);
  EXPECT_EQ(Item("REPLACE('x' WITH 'yy' IN CMT)", row).text, "yyabyy");
  EXPECT_EQ(Item("LENGTH(CMT)", row).integer, 4);
  EXPECT_EQ(Item("CAST(MNB AS VARCHAR(10))", row).text, "12");
  EXPECT_EQ(Item("CAST('42' AS INTEGER)", row).integer, 42);
  EXPECT_EQ(Item("IF(MNB > 10 THEN 'big' ELSE 'small')", row).text, "big");
  EXPECT_EQ(Item("IF(MNB > 20, 'big', 'small')", row).text, "small");
  EXPECT_EQ(Item("COALESCE(BFR, TES, MNB)", row).integer, 12);
  EXPECT_EQ(Item("ROUND(2.345 TO 2)", row).real, 2.35);
  EXPECT_EQ(Item("ABS(-MNB)", row).integer, 12);
}

TEST(DateTimeTest, DayNumbersAndTexts) {
  EXPECT_EQ(DayNumber(1, 1, 1), 1);
  EXPECT_EQ(DayNumber(1899, 12, 30), 693594);
  const CivilDate d = DateOfDayNumber(DayNumber(2024, 2, 29));
  EXPECT_EQ(d.year, 2024);
  EXPECT_EQ(d.month, 2);
  EXPECT_EQ(d.day, 29);
  EXPECT_EQ(ParseDate("2024/02/29"), DayNumber(2024, 2, 29));
  EXPECT_FALSE(ParseDate("2023-02-29"));
  EXPECT_FALSE(ParseDate("2023-13-01"));
  EXPECT_FALSE(ParseDate("2023-01-01x"));
  EXPECT_EQ(ParseTime("12:00 AM"), 0);
  EXPECT_EQ(ParseTime("23:59:59.5"), 86399500);
  EXPECT_FALSE(ParseTime("24:00"));
  EXPECT_FALSE(ParseTime("13:00 PM"));
  EXPECT_EQ(FormatTimestamp(*ParseTimestamp("2024-03-01 13:05:06.007")),
            "2024-03-01 13:05:06.007");
}

}  // namespace
}  // namespace kura::sql
