// The kura shell's commands, parameters, error positions, output styles and
// the rule that only creating statements make a database directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/storage/testing/storage_fixture.h"
#include "tools/kura/error_position.h"
#include "tools/kura/kura_cli.h"
#include "tools/kura/result_format.h"
#include "tools/kura/script_text.h"
#include "tools/kura/table_dump.h"

namespace kura::tool {
namespace {

using kura::testing::ScratchDir;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Kura(const std::vector<std::string>& args, const std::string& input = "",
             bool interactive = false) {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = RunKura(args, in, out, err, interactive);
  return {status, out.str(), err.str()};
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

constexpr char kTable[] =
    "CREATE TABLE m (MNB INTEGER, OK BOOLEAN, CMT VARCHAR(20), PRIMARY KEY (MNB)) LOCALE JAPANESE;\n"
    "CREATE INDEX M_CMT ON m (CMT);\n"
    "INSERT INTO m VALUES (1, TRUE, '手筋'), (2, FALSE, NULL), (3, NULL, 'NULL');\n";

TEST(KuraShellTest, HelpDescribesEveryCommandTheShellKnows) {
  const std::string help = Kura({"/nonexistent-kura-db", "-c", ".help"}).out;
  for (const char* c : {".bail", ".changes", ".dump", ".exit", ".headers", ".help", ".import",
                        ".indexes", ".mode", ".nullvalue", ".output", ".param", ".plan", ".quit",
                        ".read", ".schema", ".tables", ".timer"}) {
    EXPECT_NE(help.find(c), std::string::npos) << c;
    // Every command in the help is one the shell takes (wrong arguments
    // aside): none is reported unknown.
    EXPECT_EQ(Kura({"/nonexistent-kura-db", "-c", c}).err.find("unknown command"), std::string::npos) << c;
  }
  EXPECT_EQ(Kura({"/nonexistent-kura-db", "-c", ".frobnicate"}).status, 1);
}

TEST(KuraShellTest, NullsBooleansAndModesInTheShell) {
  ScratchDir dir;
  ASSERT_EQ(Kura({dir.Path(), "-c", kTable}).status, 0);
  // Null is empty in a table, distinct from the text 'NULL'; .nullvalue
  // sets it; TSV keeps \N, JSON null and JSON booleans are true and false.
  EXPECT_EQ(Kura({dir.Path(), "-c", "select * from m;"}).out,
            "MNB | OK    | CMT \n----+-------+-----\n  1 | TRUE  | 手筋\n  2 | FALSE |     \n"
            "  3 |       | NULL\n(3 rows)\n");
  EXPECT_EQ(Kura({dir.Path()}, ".nullvalue '(none)'\n.headers off\nselect * from m where MNB > 1;\n").out,
            "  2 | FALSE  | (none)\n  3 | (none) | NULL  \n(2 rows)\n");
  EXPECT_EQ(Kura({dir.Path()}, ".mode tsv\nselect OK, CMT from m where MNB = 3;\n.mode csv\n"
                               ".nullvalue -\nselect OK, CMT from m where MNB = 3;\n").out,
            "OK\tCMT\n\\N\tNULL\nOK,CMT\n-,NULL\n");
  EXPECT_EQ(Kura({dir.Path(), "-c", ".mode json\nselect MNB, OK from m where MNB < 3;"}).out,
            "[\n {\"MNB\": 1, \"OK\": true},\n {\"MNB\": 2, \"OK\": false}\n]\n");
  EXPECT_EQ(Kura({dir.Path(), "-c", ".mode xml"}).status, 1);
  EXPECT_EQ(Kura({dir.Path(), "-c", ".headers maybe"}).status, 1);
}

TEST(KuraShellTest, SchemaIndexesTablesOutputAndRead) {
  ScratchDir dir;
  ASSERT_EQ(Kura({dir.Path(), "-c", kTable}).status, 0);
  ASSERT_EQ(Kura({dir.Path(), "-c", "CREATE TABLE a (x INTEGER);"}).status, 0);
  // .schema without a table: every table, in the order .tables lists them.
  const Outcome schema = Kura({dir.Path(), "-c", ".schema"});
  EXPECT_EQ(schema.status, 0);
  EXPECT_EQ(schema.out, Kura({dir.Path(), "-c", ".schema a"}).out + Kura({dir.Path(), "-c", ".schema m"}).out);
  EXPECT_EQ(Kura({dir.Path(), "-c", ".indexes"}).out, "m primary\nm M_CMT\n");
  EXPECT_EQ(Kura({dir.Path(), "-c", ".indexes a"}).out, "");
  EXPECT_EQ(Kura({dir.Path(), "-c", ".indexes nothere"}).status, 1);

  // .output sends results to a file until .output without one; .read runs
  // a file's statements and commands.
  ScratchDir files;
  WriteText(files.File("q.sql"), ".mode tsv\nselect MNB from m\n  where MNB < 3;\n");
  const Outcome run = Kura({dir.Path()}, ".output '" + files.File("out.txt") + "'\n.read " +
                                             files.File("q.sql") + "\n.output\nselect CMT from m where MNB = 1;\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadText(files.File("out.txt")), "MNB\n1\n2\n");
  EXPECT_EQ(run.out, "CMT\n手筋\n");
  EXPECT_EQ(Kura({dir.Path(), "-c", ".read " + files.File("none.sql")}).status, 1);
  // A file that reads itself ends with a message, not a crash.
  WriteText(files.File("self.sql"), ".read " + files.File("self.sql") + "\n");
  const Outcome self = Kura({dir.Path(), "-c", ".read " + files.File("self.sql")});
  EXPECT_EQ(self.status, 1);
  EXPECT_NE(self.err.find("nested"), std::string::npos);
}

TEST(KuraShellTest, ChangesTimerAndBail) {
  ScratchDir dir;
  const Outcome made = Kura({dir.Path()}, ".changes on\n.timer on\nCREATE TABLE a (x INTEGER);\n"
                                          "INSERT INTO a VALUES (1), (2), (3);\nUPDATE a SET x = 5 WHERE x = 2;\n"
                                          ".timer off\nDELETE FROM a WHERE x > 9;\n");
  EXPECT_EQ(made.status, 0) << made.err;
  std::istringstream lines(made.out);
  std::string line;
  std::vector<std::string> got;
  while (std::getline(lines, line)) got.push_back(line.rfind("Time: ", 0) == 0 ? "Time" : line);
  EXPECT_EQ(got, (std::vector<std::string>{"Time", "3 rows", "Time", "1 row", "Time", "0 rows"}));
  // Scripts report nothing unless asked.
  EXPECT_EQ(Kura({dir.Path(), "-c", "INSERT INTO a VALUES (7);"}).out, "");

  // --continue (or .bail off) runs the rest of a script after a failure; the
  // status still tells that something failed.
  const std::string script = "INSERT INTO a VALUES (8);\nDROP TABLE nothere;\nINSERT INTO a VALUES (9);\n";
  EXPECT_EQ(Kura({dir.Path(), "--continue"}, script).status, 1);
  EXPECT_EQ(Kura({dir.Path()}, ".bail off\n" + script).status, 1);
  EXPECT_EQ(Kura({dir.Path()}, script).status, 1);
  EXPECT_EQ(Kura({dir.Path(), "--tsv", "-c", "select x from a where x > 7;"}).out, "x\n8\n9\n8\n9\n8\n");
}

// Output that cannot be written (a full disk, a closed pipe) fails the
// statement instead of passing for success.
TEST(KuraShellTest, ResultsThatCannotBeWrittenAreAFailure) {
  ScratchDir dir;
  ASSERT_EQ(Kura({dir.Path(), "-c", kTable}).status, 0);
  struct Full : std::streambuf {
    int_type overflow(int_type) override { return traits_type::eof(); }
  } full;
  std::ostream out(&full);
  std::istringstream in;
  std::ostringstream err;
  EXPECT_EQ(RunKura({dir.Path(), "-c", "select * from m;"}, in, out, err, false), 1);
  EXPECT_EQ(err.str(), "kura: the results could not all be written to standard output\n");
}

TEST(KuraShellTest, ParametersByNameAndPosition) {
  ScratchDir dir;
  ASSERT_EQ(Kura({dir.Path(), "-c", kTable}).status, 0);
  const Outcome named = Kura({dir.Path(), "--tsv"},
                             ".param set :MNB 1\nselect CMT from m where MNB = :MNB or CMT = ':MNB';\n"
                             ".param set :CMT '手筋'\n.param set ?1 3\n"
                             "select MNB from m where CMT = :CMT or MNB = ?;\n.param list\n");
  EXPECT_EQ(named.status, 0) << named.err;
  EXPECT_EQ(named.out, "CMT\n手筋\nMNB\n1\n3\n:CMT = '手筋'\n:MNB = 1\n?1 = 3\n");
  const Outcome missing = Kura({dir.Path(), "-c", "select * from m where MNB = ?;"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "kura: no value for the parameter ?1 (see .param)\n");
  EXPECT_EQ(Kura({dir.Path()}, ".param set :N 1\n.param clear\nselect * from m where MNB = :N;\n").status, 1);
  EXPECT_EQ(Kura({dir.Path(), "-c", ".param set N 1"}).status, 1);
  // A text parameter holds what the table's code page can store.
  const Outcome text = Kura({dir.Path(), "--tsv"},
                            ".param set :T 'it''s'\nINSERT INTO m VALUES (4, NULL, :T);\nselect CMT from m where MNB = 4;\n");
  EXPECT_EQ(text.out, "CMT\nit's\n");
}

TEST(KuraShellTest, ErrorsShowTheLineAndColumnWithACaret) {
  ScratchDir dir;
  ASSERT_EQ(Kura({dir.Path(), "-c", kTable}).status, 0);
  // Line 4 of a script; the statement began on line 3.
  const Outcome script = Kura({dir.Path()}, "select * from m;\n\nselect *\n  frm m;\nselect 1;\n");
  EXPECT_EQ(script.status, 1);
  EXPECT_EQ(script.err,
            "Kura Engine Error # 11949 SQL error - FROM keyword expected, instead found 'm'\n"
            "  at line 4, column 7:\n    frm m;\n        ^\n");
  // Wide characters before the token: the caret sits under it on a terminal.
  const Outcome wide = Kura({dir.Path(), "-c", "select * from m where CMT = '手筋' MNB = 1;"});
  EXPECT_NE(wide.err.find("  at line 1, column 34:\n  select * from m where CMT = '手筋' MNB = 1;\n  " +
                          std::string(35, ' ') + "^\n"),
            std::string::npos) << wide.err;
  // At a terminal, lines count from the statement's first line.
  const Outcome typed = Kura({dir.Path()}, "select 1 from m;\nselect\nMNB from m where MNB = = 1;\n", true);
  EXPECT_NE(typed.err.find("  at line 2, column 24:\n  MNB from m where MNB = = 1;\n  " + std::string(23, ' ') + "^\n"),
            std::string::npos) << typed.err;
  // Parameters and EXPLAIN keep the offsets of the text as typed.
  const Outcome marked = Kura({dir.Path(), "-c", ".param set :A 1\nEXPLAIN select * from m where MNB = :A order MNB;"});
  EXPECT_NE(marked.err.find("  at line 2, column 46:\n"), std::string::npos) << marked.err;
}

TEST(KuraShellTest, ExplainShowsThePlanWithoutRunning) {
  ScratchDir dir;
  ASSERT_EQ(Kura({dir.Path(), "-c", kTable}).status, 0);
  EXPECT_EQ(Kura({dir.Path(), "-c", "explain select * from m order by CMT;"}).out, "live, index 1 (M_CMT)\n");
  EXPECT_EQ(Kura({dir.Path(), "-c", "EXPLAIN DELETE FROM m;\nselect MNB from m where MNB = 1;", "--tsv"}).out,
            "no plan: not a SELECT\nMNB\n1\n");
  const Outcome plan = Kura({dir.Path()}, ".plan on\nselect * from m where MNB = 2;\n.plan off\nselect * from m;\n");
  EXPECT_EQ(plan.err, "live, record order\n");
}

TEST(KuraShellTest, OnlyCreatingStatementsMakeTheDirectory) {
  ScratchDir dir;
  const std::string typo = dir.File("typo");
  for (const char* command : {".tables", ".schema", ".dump", "select * from m;", "DROP TABLE m;",
                                     "EXPLAIN CREATE TABLE t (a INTEGER);"}) {
    const Outcome o = Kura({typo, "-c", command});
    EXPECT_EQ(o.status, 1) << command;
    EXPECT_EQ(o.err, "kura: no database at " + typo + "\n") << command;
    EXPECT_FALSE(std::filesystem::exists(typo)) << command;
  }
  // A file where the directory should be is no database either.
  WriteText(dir.File("plain"), "x");
  EXPECT_EQ(Kura({dir.File("plain"), "-c", "CREATE TABLE t (a INTEGER);"}).err,
            "kura: no database at " + dir.File("plain") + "\n");
  // Statements that create a table make it.
  EXPECT_EQ(Kura({typo, "-c", "CREATE TABLE t (a INTEGER);"}).status, 0);
  EXPECT_EQ(Kura({typo, "-c", ".tables"}).out, "t\n");
  EXPECT_EQ(Kura({dir.File("a/b"), "-c", "CREATE TABLE t (a INTEGER);"}).status, 1);
}

// CSV → table → SELECT; the dump of the table rebuilds it so that the same
// SELECT gives the same bytes.
TEST(KuraShellTest, ImportedCsvDumpsAndRebuildsToTheSameOutput) {
  ScratchDir dir, files;
  WriteText(files.File("in.csv"),
            "name,note,odd col\r\n"
            "\"Smith, J.\",\"said \"\"hi\"\"\nthen left\",1\r\n"
            "O'Neil,,\"\"\n"
            "出入,手筋 です,x");
  const std::string db = dir.File("new");
  const Outcome imported = Kura({db, "-c", ".import " + files.File("in.csv") + " people"});
  ASSERT_EQ(imported.status, 0) << imported.err;
  const std::string query = "select * from people;";
  const Outcome first = Kura({db, "--tsv", "-c", query});
  EXPECT_EQ(first.out,
            "name\tnote\todd col\nSmith, J.\tsaid \"hi\"\\nthen left\t1\nO'Neil\t\\N\t\\N\n出入\t手筋 です\tx\n");

  // Typed columns and a second import into an existing table.
  ASSERT_EQ(Kura({db, "-c",
                  "CREATE TABLE typed (I INTEGER, F FLOAT, D DATE, T TIME, S TIMESTAMP, B BOOLEAN, "
                  "M MEMO, C VARCHAR(10), PRIMARY KEY (I)) LOCALE JAPANESE;"}).status, 0);
  WriteText(files.File("typed.csv"),
            "\xEF\xBB\xBFI,F,D,B,M,C\n1,0.1,2024-02-29,TRUE,\"long\nmemo\",碁\n2,-1e300,,FALSE,,\n");
  const Outcome typedImport = Kura({db, "-c", ".import " + files.File("typed.csv") + " typed"});
  ASSERT_EQ(typedImport.status, 0) << typedImport.err;
  ASSERT_EQ(Kura({db, "-c", "UPDATE typed SET T = '12:34:56', S = '2001-02-03 04:05:06' WHERE I = 1;"}).status, 0);
  const Outcome typedFirst = Kura({db, "--tsv", "-c", "select * from typed;"});
  // AUTOINC columns take no values: the dump leaves them to the table.
  ASSERT_EQ(Kura({db, "-c", "CREATE TABLE numbered (id AUTOINC, s VARCHAR(5));\n"
                            "INSERT INTO numbered (s) VALUES ('a'), ('b');"}).status, 0);

  const Outcome dump = Kura({db, "-c", ".dump"});
  ASSERT_EQ(dump.status, 0) << dump.err;
  const std::string again = dir.File("again");
  const Outcome rebuilt = Kura({again}, dump.out);
  ASSERT_EQ(rebuilt.status, 0) << rebuilt.err << dump.out;
  EXPECT_EQ(Kura({again, "--tsv", "-c", query}).out, first.out);
  EXPECT_EQ(Kura({again, "--tsv", "-c", "select * from typed;"}).out, typedFirst.out);
  EXPECT_EQ(Kura({again, "-c", ".dump"}).out, dump.out);
  EXPECT_EQ(Kura({again, "--tsv", "-c", "select * from numbered;"}).out, "id\ts\n1\ta\n2\tb\n");

  // Records of the wrong width and unended quotes are refused whole.
  WriteText(files.File("bad.csv"), "a,b\n1\n");
  EXPECT_EQ(Kura({db, "-c", ".import " + files.File("bad.csv") + " bad"}).err,
            "kura: record 2 of " + files.File("bad.csv") + " has 1 fields, not 2\n");
  WriteText(files.File("open.csv"), "a\n\"x\n");
  EXPECT_EQ(Kura({db, "-c", ".import " + files.File("open.csv") + " bad"}).err,
            "kura: the quote opened on line 2 does not end\n");
  EXPECT_EQ(Kura({db, "-c", ".tables"}).out, "numbered\npeople\ntyped\n");
}

TEST(KuraShellTest, DisplayWidthAndPositionText) {
  EXPECT_EQ(DisplayWidth("abc"), 3u);
  EXPECT_EQ(DisplayWidth("手筋"), 4u);
  EXPECT_EQ(DisplayWidth("ｶﾅ"), 2u);         // half-width katakana
  EXPECT_EQ(DisplayWidth("e\xCC\x81"), 1u);  // e with a combining accent
  EXPECT_EQ(DisplayWidth("\xFF"), 1u);       // not UTF-8
  EXPECT_EQ(PositionText("a\n\tb 碁 c", 9, 7), "  at line 8, column 6:\n  \tb 碁 c\n  \t     ^\n");
  EXPECT_EQ(PositionText("x", 1, 1), "  at line 1, column 2:\n  x\n   ^\n");

  std::vector<std::string> names;
  EXPECT_EQ(MarkParameters("a = :MNB and b = ? and c = ':X' and d = x:y and e = :名前", names),
            "a = ?    and b = ? and c = ':X' and d = x:y and e = ?      ");
  EXPECT_EQ(names, (std::vector<std::string>{":MNB", "", ":名前"}));
}

}  // namespace
}  // namespace kura::tool
