// The program's own statements, the lexer's tokens, and what parsing and name
// resolution leave behind in the queries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/sql_lexer.h"
#include "engine/sql/testing/test_catalog.h"

namespace kura::sql {
namespace {

std::string Lines(const std::vector<std::string>& lines, const char* lineBreak) {
  std::string text;
  for (const auto& l : lines) text += (text.empty() ? "" : lineBreak) + l;
  return text;
}

struct ProgramStatement {
  std::vector<std::string> lines;  // with the parameter marker already "?"
  const char* table;
  int parameters;
  int columns;
  const char* orderBy;             // nullptr when none
};

const ProgramStatement kProgramStatements[] = {
    {{"select * from figure"}, "figure", 0, 9, nullptr},
    {{"select * from figure", "Where MNB = ?"}, "figure", 1, 9, nullptr},
    {{"Select *", "From figure", "Where (MNB = ?) and (BFR > 0) order by BFR"}, "figure", 1, 9, "BFR"},
    {{"Select * from mokuji", "Where (MNB > 0 and MNB < 1000)", "Order By MNB"}, "mokuji", 0, 3, "MNB"},
    {{"Select * from mokuji", "Where (MNB > 1000 and MNB < 2000)", "Order By MNB"}, "mokuji", 0, 3, "MNB"},
    {{"Select * from mokuji", "Where (MNB > 2000 and MNB < 3000)", "Order By MNB"}, "mokuji", 0, 3, "MNB"},
    {{"Select * from mokuji", "Where (MNB > 0 and MNB < 1000 and SIZE = ?)", "Order By MNB"}, "mokuji", 1, 3, "MNB"},
    {{"Select * from mokuji", "Where (MNB > 1000 and MNB < 2000 and SIZE = ?)", "Order By MNB"}, "mokuji", 1, 3, "MNB"},
    {{"Select * from mokuji", "Where (MNB > 2000 and MNB < 3000 and SIZE = ?)", "Order By MNB"}, "mokuji", 1, 3, "MNB"},
};

TEST(ProgramStatementsTest, EachIsOneSelectWithItsParameters) {
  TestCatalog catalog;
  for (const ProgramStatement& p : kProgramStatements) {
    for (const char* lineBreak : {"\r\n", "\n"}) {
      const std::string text = Lines(p.lines, lineBreak);
      TQueryStatement statement(catalog);
      statement.SetRequestLive(true);
      ASSERT_NO_THROW(statement.Prepare(text)) << text;
      EXPECT_EQ(statement.Kind(), StatementKind::kSelect) << text;
      EXPECT_EQ(statement.Queries().size(), 1u) << text;
      EXPECT_FALSE(statement.HasNextStatement());
      EXPECT_EQ(statement.ParameterCount(), p.parameters) << text;
      const TDataQuery& q = statement.Master();
      ASSERT_EQ(q.sources.size(), 1u);
      EXPECT_EQ(q.sources[0]->tableName, p.table);
      EXPECT_EQ(q.sources[0]->correlationName, p.table);
      EXPECT_EQ(static_cast<int>(q.selectList.size()), p.columns);
      EXPECT_TRUE(q.where != nullptr || p.lines.size() == 1) << text;
      EXPECT_FALSE(q.hasGroupBy || q.distinct || q.severalTables);
      EXPECT_EQ(q.top, -1);
      if (p.orderBy) {
        ASSERT_EQ(q.orderBy.size(), 1u);
        EXPECT_EQ(q.selectList[static_cast<std::size_t>(q.orderBy[0].resultIndex)].name, p.orderBy);
        EXPECT_FALSE(q.orderBy[0].descending);
      } else {
        EXPECT_TRUE(q.orderBy.empty());
      }
      if (p.parameters == 1) {
        std::vector<Value> values{Value::Integer(7)};
        EXPECT_NO_THROW(statement.BindParameters(values));
      }
    }
  }
}

TEST(ProgramStatementsTest, ProblemRowsConditionIsAComparisonWithParameterZero) {
  TestCatalog catalog;
  TQueryStatement statement(catalog);
  statement.Prepare("select * from figure\r\nWhere MNB = ?");
  const TExpToken& where = *statement.Master().where;
  EXPECT_EQ(where.nodeClass, NodeClass::kBinary);
  EXPECT_EQ(where.op, OpCode::kEq);
  EXPECT_EQ(where.type, kTypeBoolean);
  EXPECT_EQ(where.left->nodeClass, NodeClass::kColumn);
  EXPECT_EQ(where.left->tablePosition, 1);
  EXPECT_EQ(where.left->fieldNumber, 1);
  EXPECT_EQ(where.left->type, kTypeInteger);
  EXPECT_EQ(where.right->nodeClass, NodeClass::kParameter);
  EXPECT_EQ(where.right->parameterNumber, 0);
  EXPECT_EQ(statement.Parameters()[0], where.right.get());
  // Column order of "*" is the table's.
  const std::vector<std::string> names{"MNB", "TES", "COL", "PST", "BFR", "BTO", "TNB", "CMT", "DIX"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const TResultField& f = statement.Master().selectList[i];
    EXPECT_EQ(f.name, names[i]);
    EXPECT_TRUE(f.isColumn);
    EXPECT_EQ(f.fieldNumber, static_cast<int>(i) + 1);
  }
}

TEST(ProgramStatementsTest, ParametersAreNumberedInOrderOfAppearance) {
  TestCatalog catalog;
  TQueryStatement statement(catalog);
  statement.Prepare("select * from figure where (TES = ? or MNB in (select MNB from mokuji where SIZE = ?)) and PST = ?");
  ASSERT_EQ(statement.ParameterCount(), 3);
  EXPECT_EQ(statement.Parameters()[0]->parameterNumber, 0);
  EXPECT_EQ(statement.Parameters()[2]->parameterNumber, 2);
  // The second belongs to the sub-select's condition.
  const TDataQuery& sub = *statement.Queries()[1];
  EXPECT_TRUE(sub.isSubSelect);
  EXPECT_EQ(sub.where->right.get(), statement.Parameters()[1]);
  // A string bound where a number is compared is a type mismatch.
  try {
    statement.BindParameters({Value::String("x"), Value::Integer(1), Value::Integer(2)});
    FAIL();
  } catch (const EKuraEngineError& e) {
    EXPECT_STREQ(e.what(), "Kura Engine Error # 11949 SQL error - Type mismatch between column 'TES' and constant '?' in WHERE clause");
  }
  EXPECT_NO_THROW(statement.BindParameters({Value::Integer(1), Value::Integer(1), Value::Null()}));
}

std::vector<Token> Tokens(const std::string& text) {
  SqlLexer lexer(text);
  std::vector<Token> tokens;
  for (;;) {
    Token t = lexer.Next("SQL statement");
    if (t.kind == TokenKind::kEnd) return tokens;
    tokens.push_back(t);
  }
}

TEST(SqlLexerTest, TokenKindsAndTexts) {
  const std::string text =
      "\x01\t sel_1$!@\xe6\xa3\x8b [a b] 'it''s' \"say \"\"hi\"\"\" #65 12+3 1.5E+3 .5 "
      "/* skipped */ 2e-1 <> \xff";
  const std::vector<Token> t = Tokens(text);
  const std::vector<std::pair<TokenKind, std::string>> expected = {
      {TokenKind::kSymbol, "sel_1$!@\xe6\xa3\x8b"},
      {TokenKind::kBracketed, "a b"},
      {TokenKind::kSingleQuoted, "it's"},
      {TokenKind::kDoubleQuoted, "say \"hi\""},
      {TokenKind::kCharConstant, "#65"},
      {TokenKind::kInteger, "12"},
      {TokenKind::kChar, "+"},
      {TokenKind::kInteger, "3"},
      {TokenKind::kNumber, "1.5E+3"},
      {TokenKind::kNumber, ".5"},
      {TokenKind::kNumber, "2e-1"},
      {TokenKind::kChar, "<"},
      {TokenKind::kChar, ">"},
      {TokenKind::kChar, "\xff"},
  };
  ASSERT_EQ(t.size(), expected.size());
  for (std::size_t i = 0; i < t.size(); ++i) {
    EXPECT_EQ(t[i].kind, expected[i].first) << i;
    EXPECT_EQ(t[i].text, expected[i].second) << i;
  }
  // A byte 0 ends the text.
  EXPECT_EQ(Tokens(std::string("a\0b", 3)).size(), 1u);
}

TEST(SqlParserTest, KeywordsIgnoreCaseAndClausesAreRecorded) {
  TestCatalog catalog;
  auto st = PrepareStatement(
      "SeLeCt DISTINCT f.MNB AS n, m.CMT note, 1 + 2 FROM figure AS f "
      "LEFT OUTER JOIN kyozai\\mokuji m ON f.MNB = m.MNB, events "
      "WHERE f.MNB > 0 ORDER BY 2 DESC, n ASCENDING NOCASE TOP 10 WITH LOCKS "
      "LANGUAGE JAPANESE SORT DEFAULT ENCRYPTED WITH 'pw' NOJOINOPTIMIZE",
      catalog);
  const TDataQuery& q = st->master();
  EXPECT_TRUE(q.distinct);
  EXPECT_TRUE(q.severalTables);
  ASSERT_EQ(q.sources.size(), 3u);
  EXPECT_EQ(q.sources[1]->databasePart, "kyozai");
  EXPECT_EQ(q.sources[1]->correlationName, "m");
  EXPECT_EQ(q.sources[1]->position, 2);
  ASSERT_TRUE(q.sources[1]->join);
  EXPECT_EQ(q.sources[1]->join->kind, JoinKind::kLeftOuter);
  EXPECT_EQ(q.sources[1]->join->condition->right->tablePosition, 2);
  ASSERT_EQ(q.selectList.size(), 3u);
  EXPECT_EQ(q.selectList[0].name, "n");
  EXPECT_EQ(q.selectList[1].name, "note");
  EXPECT_EQ(q.selectList[1].tablePosition, 2);
  EXPECT_EQ(q.selectList[1].fieldNumber, 3);
  EXPECT_FALSE(q.selectList[2].isColumn);
  EXPECT_EQ(q.selectList[2].name, "1 + 2");
  EXPECT_EQ(q.selectList[2].type, kTypeInteger);
  ASSERT_EQ(q.orderBy.size(), 2u);
  EXPECT_EQ(q.orderBy[0].resultIndex, 1);
  EXPECT_TRUE(q.orderBy[0].descending);
  EXPECT_EQ(q.orderBy[1].resultIndex, 0);
  EXPECT_FALSE(q.orderBy[1].descending);
  EXPECT_TRUE(q.noCase);
  EXPECT_EQ(q.top, 10);
  EXPECT_TRUE(q.withLocks);
  EXPECT_EQ(q.languageId, 0x0411);
  EXPECT_EQ(q.password, "pw");
  EXPECT_TRUE(q.noJoinOptimize);
}

TEST(SqlParserTest, StarExpandsAllTablesInFromOrder) {
  TestCatalog catalog;
  auto st = PrepareStatement("select m.*, * from mokuji m, figure", catalog);
  const auto& list = st->master().selectList;
  ASSERT_EQ(list.size(), 3u + 3u + 9u);
  EXPECT_EQ(list[0].name, "MNB");
  EXPECT_EQ(list[3].tablePosition, 1);
  EXPECT_EQ(list[6].tablePosition, 2);
  EXPECT_EQ(list[6].fieldNumber, 1);
  EXPECT_EQ(list[14].name, "DIX");
}

TEST(SqlParserTest, JoinedTableWithoutAliasKeepsItsName) {
  TestCatalog catalog;
  auto st = PrepareStatement(
      "select * from figure join mokuji on figure.MNB = mokuji.MNB", catalog);
  const auto& q = st->master();
  ASSERT_EQ(q.sources.size(), 2u);
  EXPECT_EQ(q.sources[1]->correlationName, "mokuji");
  ASSERT_TRUE(q.sources[1]->join);
  EXPECT_EQ(q.sources[1]->join->condition->right->tablePosition, 2);
}

TEST(SqlParserTest, NamesResolveWithoutRegardToCaseAndFirstTableWins) {
  TestCatalog catalog;
  auto st = PrepareStatement("select cmt from MOKUJI, figure where Mokuji.mnb = 1", catalog);
  EXPECT_EQ(st->master().selectList[0].tablePosition, 1);
  EXPECT_EQ(st->master().selectList[0].name, "CMT");
  EXPECT_EQ(st->master().where->left->tablePosition, 1);
}

TEST(SqlParserTest, CorrelatedSubSelectRefersToTheOuterQuery) {
  TestCatalog catalog;
  auto st = PrepareStatement(
      "select * from figure f where MNB in (select MNB from mokuji m where m.SIZE = f.TES)",
      catalog);
  ASSERT_EQ(st->queries.size(), 2u);
  const TDataQuery& sub = *st->queries[1];
  EXPECT_EQ(sub.outer, &st->master());
  EXPECT_EQ(sub.selectList[0].tablePosition, 1);   // mokuji's MNB
  EXPECT_EQ(sub.where->left->outerLevel, 0);
  EXPECT_EQ(sub.where->right->outerLevel, 1);      // figure's TES
  EXPECT_EQ(sub.where->right->fieldNumber, 2);
  const TExpToken& in = *st->master().where;
  EXPECT_EQ(in.op, OpCode::kIn);
  ASSERT_EQ(in.args.size(), 1u);
  EXPECT_EQ(in.args[0]->subQuery, &sub);
}

TEST(SqlParserTest, UnionsAggregatesAndScripts) {
  TestCatalog catalog;
  auto st = PrepareStatement(
      "select MNB from mokuji union all (select MNB from figure) union select count(*) from figure",
      catalog);
  ASSERT_EQ(st->queries.size(), 3u);
  EXPECT_TRUE(st->master().isUnionPartner);
  EXPECT_TRUE(st->master().unionAll);
  EXPECT_EQ(st->master().unionPartner, st->queries[1].get());
  EXPECT_FALSE(st->queries[1]->unionAll);
  EXPECT_TRUE(st->queries[2]->hasGroupBy);  // aggregates only
  EXPECT_EQ(st->queries[2]->selectList[0].aggregate, AggregateKind::kCount);

  TQueryStatement script(catalog);
  script.Prepare("select * from figure; /* next */ select * from mokuji;");
  EXPECT_EQ(script.Master().sources[0]->tableName, "figure");
  ASSERT_TRUE(script.HasNextStatement());
  script.PrepareNext();
  EXPECT_EQ(script.Master().sources[0]->tableName, "mokuji");
  EXPECT_FALSE(script.HasNextStatement());
}

TEST(SqlParserTest, OtherStatementKindsAreRecognisedAndAlwaysLive) {
  TestCatalog catalog;
  struct Case { const char* sql; StatementKind kind; };
  const Case cases[] = {
      {"INSERT INTO figure VALUES (1)", StatementKind::kInsert},
      {"update figure set MNB = 1", StatementKind::kUpdate},
      {"DELETE FROM figure", StatementKind::kDelete},
      {"CREATE TABLE t (a INTEGER)", StatementKind::kCreateTable},
      {"CREATE UNIQUE INDEX i ON t (a)", StatementKind::kCreateIndex},
      {"CREATE INDEX i ON t (a)", StatementKind::kCreateIndex},
      {"ALTER TABLE t ADD b INTEGER", StatementKind::kAlterTable},
      {"DROP TABLE t", StatementKind::kDropTable},
      {"DROP INDEX t.i", StatementKind::kDropIndex},
      {"START TRANSACTION", StatementKind::kStartTransaction},
      {"ROLLBACK", StatementKind::kRollback},
      {"COMMIT", StatementKind::kCommit},
  };
  for (const Case& c : cases) {
    TQueryStatement statement(catalog);
    statement.SetRequestLive(false);
    statement.SetMaxRowCount(5);
    statement.Prepare(c.sql);
    EXPECT_EQ(statement.Kind(), c.kind) << c.sql;
    EXPECT_TRUE(statement.RequestLive());
    EXPECT_EQ(statement.MaxRowCount(), -1);
  }
  EXPECT_STREQ(StatementKindName(StatementKind::kCreateIndex), "CREATE INDEX");
}

}  // namespace
}  // namespace kura::sql
