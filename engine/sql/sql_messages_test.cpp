// Every message of the SQL front end that a user can meet, with the complete
// text of the engine error it raises.
#include <gtest/gtest.h>

#include <string>

#include "engine/errors/kura_error.h"
#include "engine/sql/query_statement.h"
#include "engine/expr/sql_error.h"
#include "engine/sql/testing/test_catalog.h"

namespace kura::sql {
namespace {

struct MessageCase {
  const char* sql;
  const char* message;  // after "Kura Engine Error # 11949 SQL error - "
};

const MessageCase kCases[] = {
    // Lexing.
    {"select * from figure /* no end", "Missing ending comment slash and asterisk in SQL statement"},
    {"select * from figure where CMT = 'abc", "Missing single quote after 'abc' in WHERE clause"},
    {"select * from figure where CMT = \"abc", "Missing double quote after 'abc' in WHERE clause"},
    {"select * from figure where [MNB = 1", "Missing right bracket after 'MNB = 1' in WHERE clause"},
    // Statement kinds and the end of a statement.
    {"SELCT * from figure", "SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found 'SELCT'"},
    {"(INSERT into figure", "SELECT keyword expected, instead found 'INSERT'"},
    {"CREATE VIEW v", "TABLE, INDEX, UNIQUE, ASC, ASCENDING, DESC, DESCENDING, or NOCASE keyword expected, instead found 'VIEW'"},
    {"ALTER INDEX x", "TABLE keyword expected, instead found 'INDEX'"},
    {"DROP VIEW v", "TABLE or INDEX keyword expected, instead found 'VIEW'"},
    {"START WORK", "TRANSACTION keyword expected, instead found 'WORK'"},
    {"Select * from mokuji X Y", "End of SELECT statement expected, instead found 'Y'"},
    {"select * from figure where MNB < 1 < 2", "End of SELECT statement expected, instead found '<'"},
    // Select list.
    {"select from figure", "Source column expression is empty"},
    {"select MNB, from figure", "Source column expression is empty"},
    {"select MNB as 5 from figure", "Symbol or string expected after AS keyword, instead found '5'"},
    {"select MNB x.( from figure", "Symbol or string expected after table correlation name, instead found '('"},
    {"select sum(max(MNB)) from figure", "Aggregate functions cannot be nested"},
    {"select sum(MNB) + 1 from figure", "Aggregate functions cannot be used within expressions"},
    {"select MNB 5 from figure", "FROM keyword expected, instead found '5'"},
    // INTO and FROM.
    {"select * into 5 from figure", "Result table name expected in INTO clause, instead found '5'"},
    {"select * from figure where MNB in (select MNB into t from mokuji)", "The INTO clause can only be used with the master query"},
    {"select * from 5", "Table name expected after FROM keyword, instead found '5'"},
    {"select * from figure as 5", "Symbol or string expected after AS keyword, instead found '5'"},
    {"select * from figure, mokuji FIGURE", "Duplicate table correlation name 'FIGURE' found in source tables"},
    {"select * from figure join 5", "Table name expected after JOIN keyword, instead found '5'"},
    {"select * from figure f join mokuji m where f.MNB = 1", "ON keyword expected in JOIN clause, instead found 'where'"},
    {"select * from figure inner mokuji", "JOIN keyword expected after INNER keyword, instead found 'mokuji'"},
    {"select * from figure left outer mokuji", "JOIN keyword expected after LEFT or OUTER keyword, instead found 'mokuji'"},
    {"select * from figure right mokuji", "JOIN keyword expected after RIGHT or OUTER keyword, instead found 'mokuji'"},
    {"select * from figure full join mokuji on figure.MNB = mokuji.MNB", "Full outer joins are currently not supported in SQL SELECT statements"},
    {"select * from figure f full outer join mokuji m on f.MNB = m.MNB", "Full outer joins are currently not supported in SQL SELECT statements"},
    // WHERE, GROUP BY, HAVING.
    {"select * from figure where", "WHERE clause is empty"},
    {"select * from figure where order by MNB", "WHERE clause is empty"},
    {"select * from figure where MNB", "WHERE or JOIN clause must be a boolean expression"},
    {"select * from figure f join mokuji m on f.MNB + m.MNB", "WHERE or JOIN clause must be a boolean expression"},
    {"select MNB from figure group MNB", "BY keyword expected after GROUP keyword, instead found 'MNB'"},
    {"select MNB from figure group by (", "Column name or column number expected in GROUP BY clause, instead found '('"},
    {"select MNB from figure group by MNB having", "HAVING clause is empty"},
    {"select MNB from figure group by MNB having count(*)", "HAVING clause must be a boolean expression"},
    {"select MNB from figure having count(*) > 1", "A GROUP BY clause must exist in order to use the HAVING clause"},
    // ORDER BY and the clauses after it.
    {"Select * from mokuji Order MNB", "BY keyword expected after ORDER keyword, instead found 'MNB'"},
    {"select * from mokuji order by (", "Column name or column number expected in ORDER BY clause, instead found '('"},
    {"select MNB from mokuji order by SIZE", "Invalid column name 'SIZE' or table correlation name '' specified in ORDER BY clause"},
    {"select MNB from mokuji m order by x.MNB", "Invalid column name 'MNB' or table correlation name 'x' specified in ORDER BY clause"},
    {"select MNB from mokuji order by 2", "Invalid column number '2' specified in ORDER BY clause"},
    {"select MNB from mokuji order by 0", "Invalid column number '0' specified in ORDER BY clause"},
    {"select PIC from events order by 1", "Invalid column number '1' specified in ORDER BY clause"},
    {"select MNB from mokuji order by MNB union select MNB from figure", "You cannot use an ORDER BY clause within a UNIONed query"},
    {"select MNB from mokuji union select MNB from figure order by MNB", "You cannot use an ORDER BY clause within a UNIONed query"},
    {"select * from mokuji top x", "Integer value expected after TOP keyword, instead found 'x'"},
    {"select * from mokuji with nolock", "LOCKS keyword expected after WITH keyword, instead found 'nolock'"},
    {"select * from mokuji language KLINGON", "Invalid language constant 'KLINGON' specified after LANGUAGE keyword"},
    {"select * from mokuji language ANSI_STANDARD sort FAST", "Invalid sort constant 'FAST' specified after SORT keyword"},
    {"select * from mokuji encrypted secret", "WITH keyword expected after ENCRYPTED keyword, instead found 'secret'"},
    {"(select * from mokuji", "Right parentheses expected after SELECT statement, instead found ''"},
    // Expressions.
    {"select * from figure where CMT = 'a' | 'c'", "Second concatenation symbol '|' expected after first concatentation symbol, instead found 'c' in WHERE clause"},
    {"select * from figure where (MNB = 1", "Right parentheses expected, instead found '' in WHERE clause"},
    {"select * from figure where NOSUCH(MNB) = 1", "Unknown or unexpected function 'NOSUCH' found in WHERE clause"},
    {"select #256 from figure", "Character constants (#) must be within the range of 0 to 255 in source column expression"},
    {"select * from figure where MNB = 1.2.3", "Constant '1.2.3' is not a valid number  in WHERE clause"},
    {"select * from figure where MNB = 12E", "Constant '12E' is not a valid number  in WHERE clause"},
    {"select ? from figure", "Parameters are not allowed in source column expression"},
    {"select MNB from figure group by MNB having count(*) > ?", "Parameters are not allowed in HAVING clause"},
    {"select * from figure where * = 1", "* (all columns) symbol is not allowed in WHERE clause"},
    {"select * from figure where f.* = 1", "* (all columns) symbol is not allowed in WHERE clause"},
    {"select * from figure where MNB = )", "Unknown or unexpected symbol ')' found in WHERE clause"},
    {"select * from figure where MNB =", "Unknown or unexpected symbol '' found in WHERE clause"},
    {"select * from figure where sum(MNB) > 1", "Aggregate functions are not allowed in WHERE clause"},
    {"select * from figure where MNB between 1 or 2", "Expected AND operator in BETWEEN operator, instead found 'or' in WHERE clause"},
    {"select * from figure where MNB not between 1 or 2", "Expected AND operator in NOT BETWEEN operator, instead found 'or' in WHERE clause"},
    {"select * from figure where MNB in 1", "Expected left parentheses for IN operator, instead found '1' in WHERE clause"},
    {"select * from figure where MNB in (1, 2", "Expected right parentheses after IN operator, instead found '' in WHERE clause"},
    {"select * from figure where MNB in ()", "You must provide at least one value as an operand of the IN operator  in WHERE clause"},
    {"select * from figure where MNB not in 1", "Expected left parentheses for NOT IN operator, instead found '1' in WHERE clause"},
    {"select * from figure where MNB not in (1 2)", "Expected right parentheses after NOT IN operator, instead found '2' in WHERE clause"},
    {"select * from figure where MNB not in ()", "You must provide at least one value as an operand of the NOT IN operator  in WHERE clause"},
    {"select (select MNB from mokuji) from figure", "Sub-select queries are not allowed in source column expression"},
    // Names.
    {"select * from figure where NOPE = 1", "Invalid column name 'NOPE' or table correlation name '' specified in WHERE clause"},
    {"select * from figure f where f.NOPE = 1", "Invalid column name 'NOPE' or table correlation name 'f' specified in WHERE clause"},
    {"select NOPE from figure", "Invalid column name 'NOPE' or table correlation name '' specified in source column expression"},
    {"select * from figure where x.MNB = 1", "Table correlation name 'x' referenced in WHERE clause is not defined in the FROM clause"},
    // Types.
    {"select * from figure where MNB = 'abc'", "Type mismatch between column 'MNB' and constant 'abc' in WHERE clause"},
    {"select * from figure where 'abc' < MNB", "Type mismatch between constant 'abc' and column 'MNB' in WHERE clause"},
    {"select * from figure where MNB + 1 = CMT", "Type mismatch between expression 'MNB + 1' and column 'CMT' in WHERE clause"},
    {"select * from figure where upper(CMT) = 1", "Type mismatch between function 'upper(CMT)' and constant '1' in WHERE clause"},
    {"select * from events where B < B", "Type mismatch between column 'B' and column 'B' in WHERE clause"},
    {"select * from events where PIC = PIC", "Type mismatch between column 'PIC' and column 'PIC' in WHERE clause"},
    {"select * from events where T = D", "Type mismatch between column 'T' and column 'D' in WHERE clause"},
    {"select * from events where MNB = 1 and 2", "Invalid column name 'MNB' or table correlation name '' specified in WHERE clause"},
    {"select * from figure where MNB = 1 and 2", "Type mismatch between expression 'MNB = 1' and constant '2' in WHERE clause"},
    {"select * from events where D = 'notadate'", "Date, time, or timestamp expression expected, instead found 'notadate' in WHERE clause"},
    {"select * from events where T > '25:00'", "Date, time, or timestamp expression expected, instead found '25:00' in WHERE clause"},
};

class SqlMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(SqlMessageTest, RaisesTheCompleteMessage) {
  const MessageCase& c = GetParam();
  TestCatalog catalog;
  TQueryStatement statement(catalog);
  try {
    statement.Prepare(c.sql);
    FAIL() << "no error for: " << c.sql;
  } catch (const EKuraEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), KURA_SQLPARSE) << c.sql;
    EXPECT_EQ(std::string(e.what()),
              std::string("Kura Engine Error # 11949 SQL error - ") + c.message)
        << c.sql;
  }
  EXPECT_FALSE(statement.Prepared());
}

INSTANTIATE_TEST_SUITE_P(AllMessages, SqlMessageTest, ::testing::ValuesIn(kCases));

TEST(SqlMessageLimits, MoreThan1024ColumnsAreRefused) {
  TestCatalog catalog;
  std::string sql = "select MNB";
  for (int i = 1; i < 1024; ++i) sql += ", MNB";
  TQueryStatement statement(catalog);
  EXPECT_NO_THROW(statement.Prepare(sql + " from figure"));
  try {
    statement.Prepare(sql + ", MNB from figure");
    FAIL();
  } catch (const EKuraEngineError& e) {
    EXPECT_STREQ(e.what(),
                 "Kura Engine Error # 11949 SQL error - Maximum number of columns (1024) in result set exceeded");
  }
}

TEST(SqlMessageLimits, DeepNestingIsRefusedNotCrashed) {
  TestCatalog catalog;
  TQueryStatement statement(catalog);
  const std::string open(100000, '(');
  EXPECT_THROW(statement.Prepare("select * from figure where " + open + "MNB = 1"),
               EKuraEngineError);
  std::string chain = "select * from figure where MNB = 1";
  for (int i = 0; i < 100000; ++i) chain += " or MNB = 1";
  EXPECT_THROW(statement.Prepare(chain), EKuraEngineError);
  std::string minus = "select * from figure where MNB = " + std::string(100000, '-') + "1";
  EXPECT_THROW(statement.Prepare(minus), EKuraEngineError);
  EXPECT_FALSE(statement.Prepared());
}

TEST(SqlMessageTables, AMissingTableKeepsItsOwnCode) {
  TestCatalog catalog;
  TQueryStatement statement(catalog);
  try {
    statement.Prepare("select * from nosuch");
    FAIL();
  } catch (const EKuraEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), KURA_OSENOENT);
    EXPECT_STREQ(e.what(), "Kura Engine Error # 11010 Table 'nosuch' does not exist");
  }
}

TEST(SqlMessageTables, AFailedPrepareDropsTheStatementPreparedBefore) {
  TestCatalog catalog;
  TQueryStatement statement(catalog);
  statement.Prepare("select * from figure");
  ASSERT_TRUE(statement.Prepared());
  EXPECT_THROW(statement.Prepare("select * from figure where"), EKuraEngineError);
  EXPECT_FALSE(statement.Prepared());
}

// The offset of the token a message names, for tools that point at it.
TEST(SqlMessagePositions, ParseErrorsKeepTheOffendingTokensOffset) {
  const std::pair<const char*, std::size_t> cases[] = {
      {"SELCT * from figure", 0},
      {"select *\nfrom figure\nwhere MNB = = 1", 33},
      {"select * from figure where CMT = 'abc", 33},
      {"select * from figure order MNB", 27},
      {"select * from figure where MNB = )", 33},
  };
  for (const auto& [sql, offset] : cases) {
    TestCatalog catalog;
    TQueryStatement statement(catalog);
    try {
      statement.Prepare(sql);
      ADD_FAILURE() << "no error for: " << sql;
    } catch (const ESqlPositionedError& e) {
      EXPECT_EQ(e.Offset(), offset) << sql;
      EXPECT_EQ(e.ErrorCode(), KURA_SQLPARSE);
    }
  }
}

}  // namespace
}  // namespace kura::sql
