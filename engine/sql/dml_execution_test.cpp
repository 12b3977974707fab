// INSERT, UPDATE and DELETE through the query execution layer, with rows
// affected, unique indexes and transactions checked against the files.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/errors/kura_error.h"
#include "engine/sql/query_execution.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/record_values.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura::sql {
namespace {

using kura::testing::ReadWholeFile;
using kura::testing::ScratchDir;

class DmlTest : public ::testing::Test {
 protected:
  std::int64_t Run(const std::string& sql, const std::vector<Value>& params = {}) {
    TQueryExecution q(session_, catalog_);
    q.SetRequestLive(true);
    q.Prepare(sql);
    q.Execute(params);
    return q.RowsAffected();
  }
  ErrorCode CodeOf(const std::string& sql) {
    try {
      Run(sql);
    } catch (const EKuraEngineError& e) {
      return e.ErrorCode();
    }
    return 0;
  }
  // (A, S) of every active record of `table`, in record order.
  std::vector<std::pair<std::int64_t, std::string>> Rows(const std::string& table) {
    std::vector<std::pair<std::int64_t, std::string>> rows;
    TDataTable* t = dir_.OpenTable(table, {.readOnly = true});
    for (std::int32_t n = 1; n <= t->Data().RecordCount(); ++n) {
      const TRecord* r = t->ReadRecord(n);
      if (r->Data()[0] != kRecordActive) continue;
      const Value a = ReadFieldValue(r->Data(), t->Data().Field(1));
      const Value s = ReadFieldValue(r->Data(), t->Data().Field(2));
      rows.emplace_back(a.null ? -1 : a.integer, s.null ? "<null>" : s.text);
    }
    dir_.CloseTable(t);
    return rows;
  }
  std::map<std::string, std::vector<std::uint8_t>> Files() {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& e : std::filesystem::directory_iterator(scratch_.Path()))
      files[e.path().filename().string()] = ReadWholeFile(e.path().string());
    return files;
  }

  ScratchDir scratch_;
  TDataSession session_;
  TDataDirectory dir_{session_, scratch_.Path()};
  TableCatalog catalog_{dir_};
};

using Rowset = std::vector<std::pair<std::int64_t, std::string>>;

TEST_F(DmlTest, InsertUpdateDeleteCountTheirRows) {
  Run("CREATE TABLE t (A INTEGER, S VARCHAR(10) DEFAULT 'd', N INTEGER NOT NULL DEFAULT 0)");
  EXPECT_EQ(Run("INSERT INTO t VALUES (1, 'one', 5), (2, 'two', 6)"), 2);
  EXPECT_EQ(Run("INSERT INTO t (A) VALUES (?)", {Value::Integer(3)}), 1);
  EXPECT_EQ(Rows("t"), (Rowset{{1, "one"}, {2, "two"}, {3, "d"}}));

  EXPECT_EQ(Run("UPDATE t SET A = A * 10, S = 'x' WHERE A >= 2"), 2);
  EXPECT_EQ(Rows("t"), (Rowset{{1, "one"}, {20, "x"}, {30, "x"}}));
  EXPECT_EQ(Run("UPDATE t SET S = NULL WHERE A = 99"), 0);

  EXPECT_EQ(Run("INSERT INTO t (A, S) SELECT A + 1, S FROM t WHERE S = 'x'"), 2);
  EXPECT_EQ(Rows("t"), (Rowset{{1, "one"}, {20, "x"}, {30, "x"}, {21, "x"}, {31, "x"}}));

  EXPECT_EQ(Run("DELETE FROM t WHERE S = 'x' AND A < 30"), 2);
  EXPECT_EQ(Rows("t"), (Rowset{{1, "one"}, {30, "x"}, {31, "x"}}));
  EXPECT_EQ(Run("DELETE FROM t"), 3);
  EXPECT_TRUE(Rows("t").empty());
}

TEST_F(DmlTest, RefusedRowsChangeNothing) {
  Run("CREATE TABLE t (A INTEGER MIN 0 MAX 100, S VARCHAR(10), N INTEGER NOT NULL)");
  EXPECT_EQ(CodeOf("INSERT INTO t VALUES (1, 'a')"), KURA_SQLPARSE);            // 2 of 3 values
  EXPECT_EQ(CodeOf("INSERT INTO t (A, Q) VALUES (1, 2)"), KURA_SQLPARSE);       // no column Q
  EXPECT_EQ(CodeOf("INSERT INTO t (A, N) VALUES ('abc', 1)"), KURA_SQLPARSE);   // not a number
  EXPECT_EQ(CodeOf("INSERT INTO nothere VALUES (1)"), KURA_OSENOENT);
  // The first row is fine, the second is not: neither is stored.
  EXPECT_EQ(CodeOf("INSERT INTO t VALUES (1, 'a', 1), (101, 'b', 1)"), KURA_MAXVALERR);
  EXPECT_EQ(CodeOf("INSERT INTO t VALUES (-1, 'a', 1)"), KURA_MINVALERR);
  EXPECT_EQ(CodeOf("INSERT INTO t (A) VALUES (1)"), KURA_REQDERR);
  EXPECT_TRUE(Rows("t").empty());
  Run("INSERT INTO t VALUES (1, 'a', 1)");
  EXPECT_EQ(CodeOf("UPDATE t SET A = 500"), KURA_MAXVALERR);
  EXPECT_EQ(CodeOf("UPDATE t SET S = 1 WHERE A"), KURA_SQLPARSE);  // WHERE not boolean
  EXPECT_EQ(Rows("t"), (Rowset{{1, "a"}}));
}

TEST_F(DmlTest, UniqueIndexRefusesADuplicateAndNothingChanges) {
  Run("CREATE TABLE t (A INTEGER, S VARCHAR(10))");
  Run("INSERT INTO t VALUES (1, 'a'), (2, 'b')");
  Run("CREATE UNIQUE INDEX UA ON t (A)");
  const auto before = Files();
  try {
    Run("INSERT INTO t VALUES (2, 'again')");
    ADD_FAILURE() << "duplicate accepted";
  } catch (const EKuraEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), KURA_KEYVIOL);
    EXPECT_STREQ(e.what(), "Kura Engine Error # 9729 Duplicate key found in the index 'UA' of the table 't'");
  }
  EXPECT_EQ(CodeOf("UPDATE t SET A = 1 WHERE A = 2"), KURA_KEYVIOL);
  EXPECT_EQ(Files(), before);
  // An index whose existing rows collide is not added.
  Run("INSERT INTO t VALUES (3, 'b')");
  EXPECT_EQ(CodeOf("CREATE UNIQUE INDEX US ON t (S)"), KURA_KEYVIOL);
  EXPECT_EQ(Run("INSERT INTO t VALUES (4, 'b')"), 1);
}

TEST_F(DmlTest, RolledBackTransactionLeavesTheFilesAsTheyWere) {
  Run("CREATE TABLE t (A INTEGER, S VARCHAR(10))");
  Run("CREATE INDEX IA ON t (A)");
  Run("INSERT INTO t VALUES (1, 'a'), (2, 'b')");
  const auto before = Files();
  Run("START TRANSACTION");
  Run("INSERT INTO t VALUES (3, 'c')");
  Run("UPDATE t SET S = 'z' WHERE A = 1");
  Run("DELETE FROM t WHERE A = 2");
  EXPECT_EQ(Rows("t"), (Rowset{{1, "z"}, {3, "c"}}));
  Run("ROLLBACK");
  EXPECT_EQ(Files(), before);
  EXPECT_EQ(Rows("t"), (Rowset{{1, "a"}, {2, "b"}}));

  Run("START TRANSACTION");
  Run("INSERT INTO t VALUES (3, 'c')");
  Run("COMMIT");
  EXPECT_EQ(Rows("t"), (Rowset{{1, "a"}, {2, "b"}, {3, "c"}}));
}

}  // namespace
}  // namespace kura::sql
