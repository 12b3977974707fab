// Writes the seed corpus of the table fuzz target: tables made by the
// engine (several field types, secondary and primary indexes, index trees
// of more than one level, deleted records, memo values over several BLOB
// blocks, a table locale), each bundled as table_bundle.h describes.
//   make_fuzz_seeds DIRECTORY
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "engine/sql/query_execution.h"
#include "engine/sql/table_catalog.h"
#include "reliability/fuzz/table_bundle.h"

namespace {

using namespace kura;

std::string Get(Env& env, const std::string& path) {
  std::unique_ptr<EnvFile> f;
  if (env.Open(path, {.access = OpenAccess::kReadOnly}, &f) != 0) return "";
  std::uint64_t length = 0;
  f->Length(&length);
  std::string bytes(length, '\0');
  std::size_t done = 0;
  f->Read(0, bytes.data(), bytes.size(), &done);
  return bytes;
}

// Runs `statements` on a fresh in-memory disk and returns table t's files.
fuzz::TableFiles Make(const std::vector<std::string>& statements) {
  std::unique_ptr<Env> env = NewMemEnv();
  env->MakeDirectory("/db");
  {
    TFileList files(env.get());
    TDataSession session(files);
    session.settings.privateDirectory = "/db";
    TDataDirectory dir(session, "/db");
    sql::TableCatalog catalog(dir);
    for (const std::string& s : statements) {
      sql::TQueryExecution q(session, catalog);
      q.Prepare(s);
      q.Execute();
    }
  }
  return {Get(*env, "/db/t.DAT"), Get(*env, "/db/t.IDX"), Get(*env, "/db/t.BLB")};
}

std::string Rows(int from, int to, const std::string& pattern) {
  std::string values;
  for (int i = from; i <= to; ++i) {
    std::string row = pattern;
    for (std::size_t at; (at = row.find('#')) != std::string::npos;) row.replace(at, 1, std::to_string(i));
    values += (values.empty() ? "" : ", ") + row;
  }
  return values;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIRECTORY\n");
    return 2;
  }
  const std::string figure =
      "CREATE TABLE t (MNB INTEGER, TES SMALLINT, COL INTEGER, PST INTEGER, BFR INTEGER, "
      "BTO INTEGER, TNB INTEGER, CMT VARCHAR(100), DIX INTEGER)";
  const std::vector<std::pair<std::string, std::vector<std::string>>> seeds = {
      {"empty", {figure}},
      {"figure", {figure + " LOCALE JAPANESE", "CREATE INDEX T_MNB ON t (MNB)",
                  "INSERT INTO t VALUES " + Rows(1, 40, "(#, #, 1, #, 0, 9999, #, 'row #', 0)"),
                  "DELETE FROM t WHERE MNB > 30 AND MNB < 36"}},
      {"mokuji", {"CREATE TABLE t (MNB INTEGER, SIZE INTEGER, CMT VARCHAR(100), PRIMARY KEY (MNB))",
                  "CREATE DESC INDEX T_SIZE ON t (SIZE, CMT)",
                  "INSERT INTO t VALUES " + Rows(1, 60, "(#, 7, 'problem #')"),
                  "DELETE FROM t WHERE MNB < 10", "INSERT INTO t VALUES (5, 1, 'again')"}},
      {"deep_index", {"CREATE TABLE t (ID INTEGER, K VARCHAR(200), PRIMARY KEY (ID))",
                      "CREATE INDEX T_K ON t (K)",
                      "INSERT INTO t VALUES " +
                          Rows(1, 200, "(#, '" + std::string(150, 'k') + "#')"),
                      "DELETE FROM t WHERE ID > 60 AND ID < 110"}},
      {"memo", {"CREATE TABLE t (ID INTEGER, M MEMO, B BLOB, D DATE, F FLOAT, W WORD, "
                "L LARGEINT, X BOOLEAN, PRIMARY KEY (ID)) BLOB BLOCK SIZE 64",
                "INSERT INTO t (ID, M, F, W, L, X) VALUES " +
                    Rows(1, 12, "(#, 'memo # " + std::string(200, 'm') + "', 1.5, #, #, TRUE)"),
                "UPDATE t SET M = 'short' WHERE ID = 3", "DELETE FROM t WHERE ID = 5"}},
  };
  for (const auto& [name, statements] : seeds) {
    std::ofstream(std::string(argv[1]) + "/" + name, std::ios::binary) << fuzz::JoinBundle(Make(statements));
  }
  return 0;
}
