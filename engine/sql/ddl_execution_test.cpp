// CREATE and DROP of tables and indexes and the transaction statements,
// parsed and run against a real directory, with the files checked after.
#include <gtest/gtest.h>

#include <string>

#include "engine/errors/kura_error.h"
#include "engine/sql/ddl_execution.h"
#include "engine/sql/statement_parser.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura::sql {
namespace {

using kura::testing::ReadWholeFile;
using kura::testing::ScratchDir;

class DdlTest : public ::testing::Test {
 protected:
  void Run(const std::string& sql) {
    auto st = ParseStatement(sql);
    ASSERT_TRUE(ExecuteStructureStatement(dir_, *st, "db")) << sql;
  }
  ErrorCode CodeOf(const std::string& sql) {
    try {
      Run(sql);
    } catch (const EKuraEngineError& e) {
      return e.ErrorCode();
    }
    return 0;
  }
  std::string MessageOf(const std::string& sql) {
    try {
      Run(sql);
    } catch (const EKuraEngineError& e) {
      return e.what();
    }
    return "";
  }

  ScratchDir scratch_;
  TDataSession session_;
  TDataDirectory dir_{session_, scratch_.Path()};
};

TEST(ChangeParserTest, CreateTableTakesEveryTypeAndOption) {
  auto st = ParseStatement(
      "create table t (a smallint not null, b integer default -5 min -10 max 10, c autoinc, "
      "d word, e largeint, f boolean default true, g float, h money, i bcd(20, 2), "
      "j date default '2001-02-03', k time, l timestamp, m char(4), n varchar(30) "
      "description 'a text', o bytes(8), p varbytes(9), q blob, r memo, s graphic, "
      "primary key (a, b)) description 'all types' locale JAPANESE blob block size 1024;");
  const CreateTableClauses& c = st->change->createTable;
  EXPECT_EQ(c.table, "t");
  ASSERT_EQ(c.columns.size(), 19u);
  EXPECT_TRUE(c.columns[0].notNull);
  EXPECT_EQ(c.columns[1].defaultText, "-5");
  EXPECT_EQ(c.columns[1].minText, "-10");
  EXPECT_EQ(c.columns[2].subType, 29);
  EXPECT_EQ(c.columns[5].defaultText, "true");
  EXPECT_EQ(c.columns[7].subType, 21);
  EXPECT_EQ(c.columns[8].scale, 2);
  EXPECT_EQ(c.columns[9].defaultText, "2001-02-03");
  EXPECT_EQ(c.columns[12].subType, 31);
  EXPECT_EQ(c.columns[13].size, 30);
  EXPECT_EQ(c.columns[13].description, "a text");
  EXPECT_EQ(c.columns[17].subType, 22);
  EXPECT_EQ(c.columns[18].subType, 26);
  EXPECT_EQ(c.primaryKey, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(c.description, "all types");
  EXPECT_EQ(c.languageId, 1041);
  EXPECT_EQ(c.blobBlockSize, 1024u);
}

TEST(ChangeParserTest, DataStatementsKeepTheirClausesAndParameters) {
  auto ins = ParseStatement("INSERT INTO figure (MNB, CMT) VALUES (1, 'a'), (?, 'b')");
  EXPECT_EQ(ins->change->data.columns.size(), 2u);
  EXPECT_EQ(ins->change->data.rows.size(), 2u);
  EXPECT_EQ(ins->parameters.size(), 1u);

  auto sel = ParseStatement("insert into figure select * from figure where MNB = ?");
  EXPECT_TRUE(sel->change->data.fromSelect);
  EXPECT_EQ(sel->queries.size(), 2u);
  EXPECT_EQ(sel->parameters.size(), 1u);

  auto upd = ParseStatement("UPDATE figure SET TNB = TNB + 1, CMT = 'x' WHERE MNB = 3");
  EXPECT_EQ(upd->master().selectList.size(), 2u);
  EXPECT_EQ(upd->master().selectList[0].name, "TNB");
  EXPECT_NE(upd->master().where, nullptr);
  EXPECT_EQ(upd->master().sources[0]->tableName, "figure");

  auto del = ParseStatement("DELETE FROM figure");
  EXPECT_EQ(del->master().where, nullptr);

  auto idx = ParseStatement("CREATE UNIQUE NOCASE INDEX X ON t (a DESC, b)");
  EXPECT_TRUE(idx->change->createIndex.unique);
  EXPECT_TRUE(idx->change->createIndex.noCase);
  EXPECT_TRUE(idx->change->createIndex.columns[0].descending);
  EXPECT_FALSE(idx->change->createIndex.columns[1].descending);
}

TEST(ChangeParserTest, MessagesNameWhatWasExpectedAndFound) {
  struct Case {
    const char* sql;
    const char* message;
  };
  const Case cases[] = {
      {"CREATE TABLE t (a INTEGR)", "Data type expected for column 'a', instead found 'INTEGR'"},
      {"CREATE TABLE t (a CHAR)", "Left parentheses expected after data type CHAR, instead found ')'"},
      {"CREATE TABLE t (a INTEGER", "Right parentheses expected after column definitions, instead found ''"},
      {"CREATE TABLE t (a INTEGER) LOCALE KLINGON", "Invalid locale constant 'KLINGON' specified after LOCALE keyword"},
      {"CREATE TABLE t (a INTEGER DEFAULT x)", "Literal value expected after DEFAULT keyword, instead found 'x'"},
      {"CREATE UNIQUE TABLE t (a INTEGER)", "INDEX keyword expected, instead found 'TABLE'"},
      {"CREATE INDEX i t (a)", "ON keyword expected after index name, instead found 't'"},
      {"DROP INDEX t", "Table name and index name expected after DROP INDEX keywords, instead found ''"},
      {"INSERT figure VALUES (1)", "INTO keyword expected after INSERT keyword, instead found 'figure'"},
      {"INSERT INTO figure (MNB) VALUE (1)", "VALUES or SELECT keyword expected, instead found 'VALUE'"},
      {"INSERT INTO figure VALUES (1,)", "Value expression is empty"},
      {"UPDATE figure MNB = 1", "SET keyword expected after table name, instead found 'MNB'"},
      {"DELETE FROM figure WHERE", "WHERE clause is empty"},
      {"DELETE FROM figure WHERE MNB = 1 2", "End of DELETE statement expected, instead found '2'"},
      {"DROP TABLE t u", "End of DROP TABLE statement expected, instead found 'u'"},
  };
  for (const Case& c : cases) {
    try {
      ParseStatement(c.sql);
      ADD_FAILURE() << "no error for " << c.sql;
    } catch (const EKuraEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), KURA_SQLPARSE) << c.sql;
      EXPECT_EQ(e.MessageText(), c.message) << c.sql;
    }
  }
}

TEST_F(DdlTest, CreateTableWritesDescriptorsAndNoPrimaryKeyFlag) {
  Run("CREATE TABLE figure (MNB INTEGER, TES INTEGER, CMT VARCHAR(30) NOT NULL DEFAULT 'x')");
  const auto dat = ReadWholeFile(scratch_.File("figure.DAT"));
  ASSERT_EQ(dat.size(), 127u + 3 * 768);
  EXPECT_EQ(dat[8], 5);                          // version
  EXPECT_EQ(dat[21] | dat[22] << 8, 9 + 5 + 5 + 32);  // record length
  EXPECT_EQ(dat[127 + 768 * 2 + 84], 1);         // CMT is a string
  EXPECT_EQ(dat[127 + 768 * 2 + 86], 30);        // of declared size 30
  EXPECT_EQ(dat[127 + 768 * 2 + 92], 1);         // required
  const auto idx = ReadWholeFile(scratch_.File("figure.IDX"));
  ASSERT_EQ(idx.size(), 4096u);
  EXPECT_EQ(idx[3978], 1);  // no primary-key fields
  EXPECT_FALSE(std::filesystem::exists(scratch_.File("figure.BLB")));

  Run("CREATE TABLE mokuji (MNB INTEGER, NOTE MEMO, PRIMARY KEY (MNB))");
  const auto midx = ReadWholeFile(scratch_.File("mokuji.IDX"));
  EXPECT_EQ(midx[3978], 0);
  EXPECT_EQ(midx[14 + 31], 5);   // primary key length: presence byte + 4
  EXPECT_EQ(midx[14 + 35], 1);   // unique
  EXPECT_TRUE(std::filesystem::exists(scratch_.File("mokuji.BLB")));
}

TEST_F(DdlTest, CreateTableRefusals) {
  Run("CREATE TABLE t (a INTEGER)");
  EXPECT_EQ(MessageOf("CREATE TABLE T (a INTEGER)"), "Kura Engine Error # 13060 The table 'T' already exists");
  EXPECT_EQ(CodeOf("CREATE TABLE u (a INTEGER, A INTEGER)"), KURA_INVALIDFIELDNAME);
  EXPECT_EQ(CodeOf("CREATE TABLE u (a VARCHAR(251))"), KURA_INVALIDFLDTYPE);
  EXPECT_EQ(CodeOf("CREATE TABLE u (a INTEGER DEFAULT 'abc')"), KURA_INVALIDVCHKSTRUCT);
  EXPECT_EQ(CodeOf("CREATE TABLE u (a INTEGER, PRIMARY KEY (b))"), KURA_OUTOFRANGE);
  EXPECT_EQ(CodeOf("CREATE TABLE u (a BLOB, PRIMARY KEY (a))"), KURA_SEARCHCOLREQD);
  EXPECT_EQ(CodeOf("CREATE TABLE u (a INTEGER) BLOB BLOCK SIZE 32"), KURA_BLOBLIMIT);
  // A refused definition leaves no files behind.
  EXPECT_FALSE(std::filesystem::exists(scratch_.File("u.DAT")));
}

TEST_F(DdlTest, IfExistsMakesCreateAndDropQuietAboutTheTable) {
  Run("CREATE TABLE IF NOT EXISTS t (a INTEGER)");
  Run("CREATE TABLE IF NOT EXISTS t (b VARCHAR(5))");  // kept as it was
  EXPECT_EQ(CodeOf("CREATE TABLE t (a INTEGER)"), KURA_TABLEEXISTS);
  Run("DROP TABLE IF EXISTS t");
  EXPECT_FALSE(std::filesystem::exists(scratch_.File("t.DAT")));
  Run("DROP TABLE IF EXISTS t");
  EXPECT_EQ(CodeOf("DROP TABLE t"), KURA_OSENOENT);
  // A table may still be called IF.
  Run("CREATE TABLE IF (a INTEGER)");
  EXPECT_TRUE(std::filesystem::exists(scratch_.File("IF.DAT")));
  EXPECT_EQ(CodeOf("CREATE TABLE IF NOT t (a INTEGER)"), KURA_SQLPARSE);
}

TEST_F(DdlTest, IndexesAreAddedAndDroppedWithTheirChecks) {
  Run("CREATE TABLE t (a INTEGER, b VARCHAR(10), c BLOB)");
  Run("CREATE INDEX ia ON t (a)");
  Run("CREATE UNIQUE NOCASE INDEX ib ON t (b DESC, a)");
  auto idx = ReadWholeFile(scratch_.File("t.IDX"));
  EXPECT_EQ(idx[13], 2);                            // secondary indexes
  EXPECT_EQ(idx[14 + 120 + 31], 5 + 4);             // ia: segment + row id
  EXPECT_EQ(idx[14 + 240 + 31], 12 + 5);            // ib: unique, no row id
  EXPECT_EQ(idx[14 + 240 + 34], 1);                 // case-insensitive
  EXPECT_EQ(idx[14 + 240 + 38], 1);                 // b descending
  EXPECT_EQ(idx[14 + 240 + 39], 0);                 // a ascending

  EXPECT_EQ(CodeOf("CREATE INDEX IA ON t (b)"), KURA_INDEXEXISTS);
  EXPECT_EQ(CodeOf("CREATE INDEX [9x] ON t (b)"), KURA_INVALIDINDEXNAME);
  EXPECT_EQ(CodeOf("CREATE INDEX ic ON t (c)"), KURA_SEARCHCOLREQD);
  EXPECT_EQ(CodeOf("CREATE INDEX ic ON t (z)"), KURA_OUTOFRANGE);
  EXPECT_EQ(CodeOf("CREATE INDEX ic ON nothere (a)"), KURA_OSENOENT);

  Run("DROP INDEX t.IA");
  idx = ReadWholeFile(scratch_.File("t.IDX"));
  EXPECT_EQ(idx[13], 1);
  EXPECT_EQ(idx[14 + 120], 2);  // "ib" moved down into slot 1
  EXPECT_EQ(idx[14 + 121], 'i');
  EXPECT_EQ(CodeOf("DROP INDEX t.ia"), KURA_INVALIDINDEXNAME);
}

TEST_F(DdlTest, StructureChangesNeedTheTableToThemselves) {
  Run("CREATE TABLE t (a INTEGER)");
  TDataTable* user = dir_.OpenTable("t", {});
  EXPECT_EQ(MessageOf("CREATE INDEX ia ON t (a)"),
            "Kura Engine Error # 10253 The table 't' must be opened exclusively");
  EXPECT_EQ(CodeOf("DROP INDEX t.ia"), KURA_NEEDEXCLACCESS);
  EXPECT_EQ(MessageOf("DROP TABLE t"), "Kura Engine Error # 10031 The table 't' is already in use");

  // Another process (another file list over the same disk) holds it too.
  dir_.CloseTable(user);
  TFileList other(Env::Default());
  TDataSession otherSession(other);
  TDataDirectory otherDir(otherSession, scratch_.Path());
  TDataTable* elsewhere = otherDir.OpenTable("t", {});
  EXPECT_EQ(CodeOf("CREATE INDEX ia ON t (a)"), KURA_NEEDEXCLACCESS);
  EXPECT_EQ(CodeOf("DROP TABLE t"), KURA_TABLEOPEN);
  otherDir.CloseTable(elsewhere);

  Run("DROP TABLE t");
  EXPECT_FALSE(std::filesystem::exists(scratch_.File("t.DAT")));
  EXPECT_FALSE(std::filesystem::exists(scratch_.File("t.IDX")));
  EXPECT_EQ(MessageOf("DROP TABLE t"), "Kura Engine Error # 11010 Table 't' does not exist");
}

TEST_F(DdlTest, TransactionStatementsFollowTheDirectory) {
  EXPECT_EQ(MessageOf("COMMIT"),
            "Kura Engine Error # 11949 SQL error - Transaction not in progress for database 'db'");
  EXPECT_EQ(CodeOf("ROLLBACK"), KURA_SQLPARSE);
  Run("START TRANSACTION");
  EXPECT_TRUE(dir_.InTransaction());
  EXPECT_EQ(MessageOf("START TRANSACTION"),
            "Kura Engine Error # 11949 SQL error - Transaction already in progress for database 'db'");
  Run("ROLLBACK");
  EXPECT_FALSE(dir_.InTransaction());
  Run("START TRANSACTION");
  Run("COMMIT");
  EXPECT_FALSE(dir_.InTransaction());
}

}  // namespace
}  // namespace kura::sql
