// Shared pieces of the side-by-side workloads: the figure-shaped rows, the
// two copies of the table (ours in a database directory "kyozai", SQLite's
// in one file beside it), a stopwatch that reads wall and CPU time, and the
// one-line JSON result every workload prints.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kura::bench {

// The sizes of one run: "full" is the measured size, "tiny" the smoke test.
struct Sizes {
  int problems = 3000;
  int rowsPerProblem = 50;
  int rows() const { return problems * rowsPerProblem; }
  int appends = 2000;         // W1
  int bulkAppends = 100000;   // W2
  int problemReads = 1000;    // W3
  int scans = 5;              // W4
  int edits = 10000;          // W5
  int locates = 20000;        // W6
  int contents = 300;         // W7
  int registrations = 1000;   // R3, R3D
};
// "--size=tiny" in argv selects the smoke test's sizes, "--size=small"
// 300 problems of full size (for profiles); anything else the full sizes.
// "--problems=N" then sets the number of problems (the table grows, the
// problems and the results keep their size).
Sizes SizesFromArgs(int argc, char** argv);
// The value of "--name=value" in argv, or "" when absent.
std::string Arg(int argc, char** argv, const std::string& name);

// One row of figure: MNB, TES, COL, PST, BFR, BTO, TNB, CMT (30 characters),
// DIX. Problems are appended one after another with every tenth row moved
// to a random problem (a row registered later); TNB counts within a problem.
struct FigureRow {
  int mnb, tes, col, pst, bfr, bto, tnb;
  std::string cmt;
  int dix;
};
std::vector<FigureRow> MakeFigureRows(const Sizes& sizes);
// A row that W1 and W2 append: problem `mnb`, position `tnb`.
FigureRow NewRow(int mnb, int tnb);

// A fresh scratch directory (removed by the destructor) that becomes the
// working directory, so that the database name "kyozai" names its
// subdirectory; the default session's private directory is set to it.
class Workspace {
 public:
  Workspace();
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string old_;
};

// Our figure table in ./kyozai: nine columns (CMT a 60-byte string), no
// primary-key fields, a non-unique secondary index on MNB; filled with
// `rows` through one exclusive cursor. mokuji with `problems` rows and its
// primary index on MNB.
void CreateKuraFigure(const std::vector<FigureRow>& rows);
void CreateKuraMokuji(int problems);
// Opens (or creates) an SQLite file with synchronous off; exits on failure.
sqlite3* OpenSqlite(const std::string& file);
// The same tables in an SQLite file opened by OpenSqlite (index on MNB).
void CreateSqliteFigure(sqlite3* db, const std::vector<FigureRow>& rows);
void CreateSqliteMokuji(sqlite3* db, int problems);
// Prepares `sql` on `db`; exits with a message on failure.
sqlite3_stmt* Prepare(sqlite3* db, const char* sql);
// Steps a statement that returns no rows and resets it; exits on failure.
void StepDone(sqlite3_stmt* st);
void Exec(sqlite3* db, const char* sql);
void BindRow(sqlite3_stmt* st, const FigureRow& r);

// Wall and CPU time of the process since construction or the last Reset.
class Stopwatch {
 public:
  Stopwatch() { Reset(); }
  void Reset();
  double WallSeconds() const;
  double CpuSeconds() const;

 private:
  std::chrono::steady_clock::time_point wall_;
  double cpu_ = 0;
};
double ProcessCpuSeconds();

// The result of one workload. `kura` and `sqlite` are in `unit`; for a
// "rows/s" unit higher is better, for the others lower.
struct Result {
  std::string workload;
  std::string unit;
  double kura = 0, kuraCpu = 0;
  double sqlite = -1, sqliteCpu = -1;  // -1: no SQLite figure
  // SQLite again with journal_mode=MEMORY and with journal_mode=WAL (the
  // figures above are its default rollback journal).
  double sqliteMemory = -1, sqliteMemoryCpu = -1;
  double sqliteWal = -1, sqliteWalCpu = -1;
  std::int64_t operations = 0;
  std::string note{};
};
// Prints the result as one JSON object on one line of standard output.
void Print(const Result& r);

}  // namespace kura::bench
