// The kura tool: the library script, the shell's commands, output formats,
// exit statuses, verify and repair of damaged files.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/storage/coding.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/commit_journal.h"
#include "engine/storage/testing/storage_fixture.h"
#include "tools/kura/kura_cli.h"
#include "tools/kura/result_format.h"
#include "tools/kura/script_text.h"

namespace kura::tool {
namespace {

using kura::testing::ReadWholeFile;
using kura::testing::ScratchDir;
using kura::testing::WriteWholeFile;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Kura(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = RunKura(args, in, out, err, false);
  return {status, out.str(), err.str()};
}

std::string LibraryScript() {
  std::ifstream in(std::string(KURA_SOURCE_DIR) + "/data/kyozai.sql");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(KuraScriptTest, StatementsEndAtSemicolonsOutsideQuotesAndComments) {
  std::vector<std::string> out;
  const std::string text =
      "create table t (a varchar(5) default ';');\n/* ; */ drop table t;; drop table [a;b]; drop";
  const std::size_t rest = TakeStatements(text, out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], "create table t (a varchar(5) default ';');");
  EXPECT_EQ(out[1], "\n/* ; */ drop table t;");
  EXPECT_EQ(out[2], " drop table [a;b];");
  EXPECT_EQ(text.substr(rest), " drop");
  EXPECT_TRUE(IsBlank(" \n/* x */ "));
  EXPECT_FALSE(IsBlank("/* unterminated"));
}

TEST(KuraFormatTest, EveryFormatEscapesAndMarksNull) {
  ResultTable r;
  r.columns = {"MNB", "CMT"};
  r.numeric = {true, false};
  r.rows = {{"1", std::string("tab\there\\ \"q\", x")}, {std::nullopt, std::nullopt},
            {"12", std::string("line\nbreak")}};
  std::ostringstream tsv, csv, json, table;
  WriteResult(tsv, OutputFormat::kTsv, r);
  EXPECT_EQ(tsv.str(), "MNB\tCMT\n1\ttab\\there\\\\ \"q\", x\n\\N\t\\N\n12\tline\\nbreak\n");
  WriteResult(csv, OutputFormat::kCsv, r);
  EXPECT_EQ(csv.str(), "MNB,CMT\n1,\"tab\there\\ \"\"q\"\", x\"\n,\n12,\"line\nbreak\"\n");
  WriteResult(json, OutputFormat::kJson, r);
  EXPECT_EQ(json.str(),
            "[\n {\"MNB\": 1, \"CMT\": \"tab\\there\\\\ \\\"q\\\", x\"},\n"
            " {\"MNB\": null, \"CMT\": null},\n {\"MNB\": 12, \"CMT\": \"line\\nbreak\"}\n]\n");
  ResultTable wide;
  wide.columns = {"番号", "X"};
  wide.numeric = {true, false};
  wide.rows = {{"7", std::string("出入")}};
  WriteResult(table, OutputFormat::kTable, wide);
  EXPECT_EQ(table.str(), "番号 | X   \n-----+-----\n   7 | 出入\n(1 row)\n");
}

TEST(KuraToolTest, LibraryScriptCreatesTablesThatVerify) {
  ScratchDir dir;
  const std::string db = dir.File("kyozai");
  Outcome made = Kura({db}, LibraryScript());
  ASSERT_EQ(made.status, 0) << made.err;
  Outcome tables = Kura({db, "-c", ".tables"});
  EXPECT_EQ(tables.out, "figure\nmokuji\n");
  Outcome verify = Kura({"verify", db});
  EXPECT_EQ(verify.status, 0);
  EXPECT_EQ(verify.out, "figure: ok\nmokuji: ok\n");

  // figure: the nine columns in order, no primary key, an index led by MNB.
  Outcome schema = Kura({db, "-c", ".schema figure"});
  EXPECT_NE(schema.out.find("CREATE TABLE figure (\n  MNB INTEGER"), std::string::npos);
  std::string order;
  for (const char* c : {"MNB ", "TES ", "COL ", "PST ", "BFR ", "BTO ", "TNB ", "CMT ", "DIX "})
    order += std::to_string(schema.out.find(std::string("\n  ") + c)) + " ";
  EXPECT_EQ(schema.out.find("PRIMARY KEY"), std::string::npos);
  EXPECT_NE(schema.out.find("CREATE INDEX FIGURE_MNB ON figure (MNB);"), std::string::npos);
  EXPECT_NE(Kura({db, "-c", ".schema mokuji"}).out.find("CREATE INDEX MOKUJI_MNB ON mokuji (MNB);"),
            std::string::npos);
  // Positions strictly increase: the columns are in table order.
  std::istringstream positions(order);
  std::size_t last = 0, p = 0;
  while (positions >> p) {
    EXPECT_NE(p, std::string::npos);
    EXPECT_GT(p, last);
    last = p;
  }

  // The schema statements recreate an identical definition.
  ScratchDir again;
  ASSERT_EQ(Kura({again.Path(), "-c", schema.out}).status, 0);
  EXPECT_EQ(Kura({again.Path(), "-c", ".schema figure"}).out, schema.out);
}

TEST(KuraToolTest, ProgramStatementsRunLiveWithTheirPlans) {
  ScratchDir dir;
  const std::string db = dir.File("kyozai");
  ASSERT_EQ(Kura({db}, LibraryScript()).status, 0);
  ASSERT_EQ(Kura({db, "-c",
                  "INSERT INTO mokuji VALUES (1002, 3, '手筋'), (5, 7, '出入'), (2001, 1, NULL);\n"
                  "INSERT INTO figure (MNB, TES, COL, PST, BTO, CMT) VALUES "
                  "(5, 0, 1, 40, 9999, NULL), (5, 1, 2, 41, 0, '*'), (6, 0, 1, 1, 9999, NULL);"})
                .status, 0);
  EXPECT_EQ(Kura({"verify", db}).out, "figure: ok\nmokuji: ok\n");

  // The problem statement: live, in record order.
  Outcome rows = Kura({db, "--plan", "--tsv", "-c", "select * from figure\nWhere MNB = 5;"});
  EXPECT_EQ(rows.status, 0) << rows.err;
  EXPECT_EQ(rows.err, "live, record order\n");
  EXPECT_EQ(rows.out,
            "MNB\tTES\tCOL\tPST\tBFR\tBTO\tTNB\tCMT\tDIX\n"
            "5\t0\t1\t40\t\\N\t9999\t\\N\t\\N\t\\N\n"
            "5\t1\t2\t41\t\\N\t0\t\\N\t*\t\\N\n");
  // The contents statement: live through the MNB index, in MNB order; the
  // Japanese texts come back as UTF-8.
  Outcome contents = Kura({db, "--plan", "--csv", "-c",
                           "Select * from mokuji\nWhere (MNB > 0 and MNB < 3000)\nOrder By MNB;"});
  EXPECT_EQ(contents.err, "live, index 1 (MOKUJI_MNB)\n");
  EXPECT_EQ(contents.out, "MNB,SIZE,CMT\n5,7,出入\n1002,3,手筋\n2001,1,\n");
  // The branch-point statement orders by BFR, which no index serves.
  EXPECT_EQ(Kura({db, "--plan", "-c", "Select *\nFrom figure\nWhere (MNB = 5) and (BFR > 0) order by BFR;"})
                .err, "canned\n");
  Outcome json = Kura({db, "--json", "-c", "select MNB, CMT from mokuji where SIZE = 3;"});
  EXPECT_EQ(json.out, "[\n {\"MNB\": 1002, \"CMT\": \"手筋\"}\n]\n");
  Outcome raw = Kura({db, "--encoding", "raw", "--tsv", "-c", "select CMT from mokuji where MNB = 5;"});
  EXPECT_EQ(raw.out, "CMT\n\x8f\x6f\x93\xfc\n");
}

TEST(KuraToolTest, ExitStatusesAndCompleteMessages) {
  ScratchDir dir;
  Outcome missing = Kura({dir.Path(), "-c", "DROP TABLE x;"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Kura Engine Error # 11010 Table 'x' does not exist\n");
  // A script stops at its first failure.
  Outcome script = Kura({dir.Path()}, "CREATE TABLE a (x INTEGER);\nDROP TABLE nothere;\nCREATE TABLE b (x INTEGER);\n");
  EXPECT_EQ(script.status, 1);
  EXPECT_EQ(Kura({dir.Path(), "-c", ".tables"}).out, "a\n");
  EXPECT_EQ(Kura({dir.Path(), "-c", "SELCT"}).err,
            "Kura Engine Error # 11949 SQL error - SELECT, INSERT, UPDATE, DELETE, CREATE, "
            "ALTER, or DROP keyword expected, instead found 'SELCT'\n"
            "  at line 1, column 1:\n  SELCT\n  ^\n");
  EXPECT_EQ(Kura({}).status, 2);
  EXPECT_EQ(Kura({dir.Path(), "--bogus"}).status, 2);
  EXPECT_EQ(Kura({dir.Path(), "--encoding", "latin"}).status, 2);
  EXPECT_EQ(Kura({"info", dir.Path()}).status, 2);
  EXPECT_EQ(Kura({"--help"}).status, 0);
  EXPECT_EQ(Kura({"--version"}).out.rfind("kura ", 0), 0u);
  EXPECT_EQ(Kura({dir.Path(), "-c", ".schema a b"}).status, 1);
  EXPECT_EQ(Kura({"info", dir.Path(), "nothere"}).status, 1);
  EXPECT_EQ(Kura({"verify", dir.File("nothere")}).status, 1);
}

TEST(KuraToolTest, JapaneseTextsAreStoredInTheTableCodePage) {
  ScratchDir dir;
  ASSERT_EQ(Kura({dir.Path(), "-c",
                  "CREATE TABLE m (CMT VARCHAR(20) DESCRIPTION '説明') LOCALE JAPANESE;"})
                .status, 0);
  const auto dat = ReadWholeFile(dir.File("m.DAT"));
  // Descriptor 1, description at offset 33: Shift-JIS 0x90 0xE0 0x96 0xBE.
  ASSERT_GE(dat.size(), 127u + 768);
  EXPECT_EQ(dat[127 + 33], 4);
  EXPECT_EQ(dat[127 + 34], 0x90);
  EXPECT_NE(Kura({dir.Path(), "-c", ".schema m"}).out.find("DESCRIPTION '説明'"), std::string::npos);
  EXPECT_EQ(Kura({dir.Path(), "--encoding", "raw", "-c", ".schema m"}).out.find("説明"),
            std::string::npos);
}

// Overwrites 4 bytes of a file at `offset` with `value`.
void Poke(const std::string& path, std::size_t offset, std::int32_t value) {
  auto bytes = ReadWholeFile(path);
  PutInt32LE(&bytes[offset], value);
  WriteWholeFile(path, bytes);
}

TEST(KuraToolTest, VerifyNamesDamageAndRepairMendsIt) {
  ScratchDir dir;
  ASSERT_EQ(Kura({dir.Path(), "-c", "CREATE TABLE t (a INTEGER, s VARCHAR(10));"}).status, 0);
  const std::string dat = dir.File("t.DAT");
  const std::string idx = dir.File("t.IDX");
  // Two records appended by hand (record length 9 + 5 + 12 = 26), the second
  // written only halfway, the headers not at all: a crash during appends.
  auto bytes = ReadWholeFile(dat);
  const std::size_t start = bytes.size();
  bytes.resize(start + 26 + 13, 0);
  PutInt32LE(&bytes[start + 1], 1);
  PutInt32LE(&bytes[start + 5], 1);
  bytes[start + 9] = 1;
  PutInt32LE(&bytes[start + 10], 42);
  WriteWholeFile(dat, bytes);

  Outcome broken = Kura({"verify", dir.Path()});
  EXPECT_EQ(broken.status, 1);
  // The partial record at the end is named as such, not as a corrupt header.
  EXPECT_EQ(broken.out,
            "t: the data file ends in a partial record: 13 of 26 bytes after record 1 "
            "(a write that did not finish)\n");

  Outcome repaired = Kura({"repair", dir.Path(), "t"});
  ASSERT_EQ(repaired.status, 0) << repaired.err;
  EXPECT_NE(repaired.out.find("cut 13 bytes"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.File("t.DBK")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("t.IBK")));
  EXPECT_EQ(ReadWholeFile(dir.File("t.DBK")).size(), start + 39);
  EXPECT_EQ(Kura({"verify", dir.Path(), "t"}).out, "t: ok\n");
  const auto after = ReadWholeFile(dat);
  EXPECT_EQ(after.size(), start + 26);
  EXPECT_EQ(GetInt32LE(&after[13]), 2);  // next record number
  EXPECT_EQ(GetInt32LE(&after[17]), 1);  // last row id
  EXPECT_EQ(GetInt32LE(&ReadWholeFile(idx)[3974]), 1);  // active records

  // A wrong active record count and a looping free chain are named.
  Poke(idx, 3974, 7);
  EXPECT_EQ(Kura({"verify", dir.Path()}).out,
            "t: active record count 7, the data file holds 1\n");
  Poke(dat, 9, 1);
  const Outcome chain = Kura({"verify", dir.Path()});
  EXPECT_NE(chain.out.find("free record chain holds record 1, which is not deleted"), std::string::npos);
  ASSERT_EQ(Kura({"repair", dir.Path(), "t"}).status, 0);
  EXPECT_EQ(Kura({"verify", dir.Path()}).out, "t: ok\n");
}

// A journal left by a commit cut short: verify names it without touching
// the tables (opening them would roll it back), repair rolls it back.
TEST(KuraToolTest, VerifyReportsALeftOverJournalAndRepairRollsItBack) {
  ScratchDir dir;
  ASSERT_EQ(Kura({dir.Path(), "-c", "CREATE TABLE t (a INTEGER); INSERT INTO t VALUES (1);"}).status, 0);
  const std::vector<std::uint8_t> before = ReadWholeFile(dir.File("t.DAT"));
  ASSERT_EQ(Kura({dir.Path(), "-c", "START TRANSACTION; INSERT INTO t VALUES (2); COMMIT;"}).status, 0);
  EXPECT_TRUE(ReadWholeFile(dir.File("KURA.JNL")).empty()) << "a finished commit empties its journal";
  // As a writer killed after its table writes leaves it.
  Journal j;
  j.files = {{"t.DAT", before.size()}};
  j.records = {{0, 0, std::vector<std::uint8_t>(before.begin(), before.begin() + 127)}};
  WriteWholeFile(dir.File("KURA.JNL"), EncodeJournal(j));
  const std::vector<std::uint8_t> crashed = ReadWholeFile(dir.File("t.DAT"));

  const Outcome verify = Kura({"verify", dir.Path()});
  EXPECT_EQ(verify.status, 1);
  EXPECT_NE(verify.out.find("KURA.JNL: a commit was cut short"), std::string::npos) << verify.out;
  EXPECT_EQ(ReadWholeFile(dir.File("t.DAT")), crashed) << "verify changed the table";

  const Outcome repair = Kura({"repair", dir.Path(), "t"});
  ASSERT_EQ(repair.status, 0) << repair.err;
  EXPECT_NE(repair.out.find("t: journal"), std::string::npos) << repair.out;
  EXPECT_EQ(Kura({"verify", dir.Path()}).out, "t: ok\n");
  EXPECT_EQ(Kura({dir.Path(), "--tsv", "-c", "SELECT a FROM t;"}).out, "a\n1\n");
}

TEST(KuraToolTest, RepairRefusesATableInUse) {
  ScratchDir dir;
  ASSERT_EQ(Kura({dir.Path(), "-c", "CREATE TABLE t (a INTEGER);"}).status, 0);
  TFileList other(Env::Default());
  TDataSession session(other);
  TDataDirectory directory(session, dir.Path());
  TDataTable* user = directory.OpenTable("t", {});
  const Outcome refused = Kura({"repair", dir.Path(), "t"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "Kura Engine Error # 10031 The table 't' is already in use\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("t.DBK")));
  directory.CloseTable(user);
}

}  // namespace
}  // namespace kura::tool
