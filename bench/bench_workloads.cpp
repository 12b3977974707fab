// The engine's workloads side by side with SQLite, one per process:
//   bench_workloads --workload=W1|...|W7 [--size=tiny] [--side=kura|sqlite]
//                   [--ops=N] [--problems=N] [--journals=all|default]
// Builds the figure-shaped table (and mokuji) in both engines in a scratch
// directory, runs the workload on each and prints one JSON line (see
// workload_support.h). --side runs one engine only and --ops overrides the
// operation count; both serve the system-call count under strace. SQLite
// runs each workload three times, in its default rollback-journal mode, with
// journal_mode=MEMORY and with journal_mode=WAL (--journals=default: the
// first only); a workload that writes gets a fresh copy of the file for each.
//   W1  append one row at a time through a live result, each post stored
//       under the write lock (SQLite: one autocommit INSERT per row)
//   W2  appends inside one transaction (SQLite: one transaction)
//   W3  the problem statement for a random MNB, every row read
//   W4  a full scan with a condition no index serves (rows per second)
//   W5  one field of a random row edited and posted (SQLite: UPDATE by rowid)
//   W6  Locate of "TNB" within an open problem result
//   W7  the contents statement of one section, "Order By MNB"
//   W2D W2 with durability on (force buffer flush; SQLite: its default
//       rollback journal with synchronous=FULL)
//   R3, R3D  registrations of three figure rows and a mokuji row, each in
//       its own transaction, with durability off and on (SQLite: the same
//       with synchronous=OFF and FULL)
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>

#include "bench/workload_support.h"
#include "engine/component/kura_query.h"

namespace kura::bench {
namespace {

struct Run {
  Sizes sizes;
  int ops = 0;
  bool kura = true;
  bool sqlite = true;
};

// The figure columns by position.
enum Column { kMNB, kTES, kCOL, kPST, kBFR, kBTO, kTNB, kCMT, kDIX };

void Live(TKuraQuery& q, std::initializer_list<const char*> lines) {
  q.SetDatabaseName("kyozai");
  q.SetRequestLive(true);
  for (const char* line : lines) q.AddSQL(line);
}

void SetRow(TKuraQuery& q, const FigureRow& r) {
  const int v[] = {r.mnb, r.tes, r.col, r.pst, r.bfr, r.bto, r.tnb};
  for (int f = 0; f < 7; ++f) q.SetFieldAsInteger(f, v[f]);
  q.SetFieldAsString(kCMT, r.cmt);
  q.SetFieldAsInteger(kDIX, r.dix);
}

// Every field of every row from the current one to the end; returns the rows.
std::int64_t ReadToEnd(TKuraQuery& q, int fields, std::int64_t& sum) {
  std::int64_t rows = 0;
  for (; !q.Eof(); q.Next()) {
    for (int f = 0; f < fields; ++f) {
      if (q.FieldDefs()[std::size_t(f)].kind == TFieldKind::ftString) {
        sum += std::int64_t(q.FieldAsString(f).size());
      } else {
        sum += q.FieldAsInteger(f);
      }
    }
    ++rows;
  }
  return rows;
}

std::int64_t StepAll(sqlite3_stmt* s, int fields, std::int64_t& sum) {
  std::int64_t rows = 0;
  while (sqlite3_step(s) == SQLITE_ROW) {
    for (int f = 0; f < fields; ++f) {
      if (sqlite3_column_type(s, f) == SQLITE_TEXT) {
        sum += sqlite3_column_bytes(s, f);
      } else {
        sum += sqlite3_column_int(s, f);
      }
    }
    ++rows;
  }
  sqlite3_reset(s);
  return rows;
}

// Times `body` and stores seconds per operation (microseconds) in the result.
void TimeKura(Result& r, int ops, const std::function<void()>& body) {
  Stopwatch w;
  body();
  r.kura = w.WallSeconds() * 1e6 / ops;
  r.kuraCpu = w.CpuSeconds() * 1e6 / ops;
}

void TimeSqlite(Result& r, int ops, const std::function<void()>& body) {
  Stopwatch w;
  body();
  r.sqlite = w.WallSeconds() * 1e6 / ops;
  r.sqliteCpu = w.CpuSeconds() * 1e6 / ops;
}

Result W1(const Run& run, sqlite3* db) {
  Result r{"W1", "us/row"};
  r.operations = run.ops;
  if (run.kura) {
    TKuraQuery q;
    Live(q, {"select * from figure"});
    q.Open();
    TimeKura(r, run.ops, [&] {
      for (int i = 0; i < run.ops; ++i) {
        q.Append();
        SetRow(q, NewRow(1 + i % run.sizes.problems, i));
        q.Post();
      }
    });
  }
  if (run.sqlite) {
    sqlite3_stmt* insert = Prepare(db, "INSERT INTO figure VALUES(?,?,?,?,?,?,?,?,?)");
    TimeSqlite(r, run.ops, [&] {
      for (int i = 0; i < run.ops; ++i) {
        const FigureRow row = NewRow(1 + i % run.sizes.problems, i);
        BindRow(insert, row);
        StepDone(insert);
      }
    });
    sqlite3_finalize(insert);
  }
  return r;
}

// Durability on or off on both sides: the session's force buffer flush, and
// SQLite's synchronous setting (its rollback journal stays the default).
void SetDurable(sqlite3* db, bool durable) {
  Sessions().DefaultSession().forceBufferFlush = durable;
  Sessions().DefaultSession().ApplySettings();
  if (db != nullptr) Exec(db, durable ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=OFF");
}

Result W2(const Run& run, sqlite3* db) {
  Result r{"W2", "us/row"};
  r.operations = run.ops;
  if (run.kura) {
    TKuraQuery q, control;
    Live(q, {"select * from figure"});
    control.SetDatabaseName("kyozai");
    q.Open();
    TimeKura(r, run.ops, [&] {
      control.SetSQL({"START TRANSACTION"});
      control.ExecSQL();
      for (int i = 0; i < run.ops; ++i) {
        q.Append();
        SetRow(q, NewRow(1 + i % run.sizes.problems, i));
        q.Post();
      }
      control.SetSQL({"COMMIT"});
      control.ExecSQL();
    });
  }
  if (run.sqlite) {
    sqlite3_stmt* insert = Prepare(db, "INSERT INTO figure VALUES(?,?,?,?,?,?,?,?,?)");
    TimeSqlite(r, run.ops, [&] {
      Exec(db, "BEGIN");
      for (int i = 0; i < run.ops; ++i) {
        const FigureRow row = NewRow(1 + i % run.sizes.problems, i);
        BindRow(insert, row);
        StepDone(insert);
      }
      Exec(db, "COMMIT");
    });
    sqlite3_finalize(insert);
  }
  return r;
}

Result W3(const Run& run, sqlite3* db) {
  Result r{"W3", "us/problem"};
  r.operations = run.ops;
  std::int64_t kuraRows = 0, sqliteRows = 0, sum = 0;
  if (run.kura) {
    TKuraQuery q;
    Live(q, {"select * from figure", "Where MNB = :MNB"});
    q.Prepare();
    std::mt19937 rng(3);
    TimeKura(r, run.ops, [&] {
      for (int i = 0; i < run.ops; ++i) {
        q.Close();
        q.Params()[0].SetAsInteger(1 + int(rng() % unsigned(run.sizes.problems)));
        q.Open();
        kuraRows += ReadToEnd(q, 9, sum);
      }
    });
  }
  if (run.sqlite) {
    sqlite3_stmt* select = Prepare(db, "SELECT * FROM figure WHERE MNB = ? ORDER BY rowid");
    std::mt19937 rng(3);
    TimeSqlite(r, run.ops, [&] {
      for (int i = 0; i < run.ops; ++i) {
        sqlite3_bind_int(select, 1, 1 + int(rng() % unsigned(run.sizes.problems)));
        sqliteRows += StepAll(select, 9, sum);
      }
    });
    sqlite3_finalize(select);
  }
  if (run.kura && run.sqlite && kuraRows != sqliteRows) {
    r.note = "row counts differ: " + std::to_string(kuraRows) + " vs " +
             std::to_string(sqliteRows);
  }
  return r;
}

// Rows per second over the whole table, the condition tested on every row.
Result W4(const Run& run, sqlite3* db) {
  Result r{"W4", "rows/s"};
  r.operations = run.ops;
  const double rows = double(run.sizes.rows()) * run.ops;
  std::int64_t kuraHits = 0, sqliteHits = 0, sum = 0;
  if (run.kura) {
    TKuraQuery q;
    Live(q, {"select * from figure", "where BFR + TES = 17"});
    q.Prepare();
    Stopwatch w;
    for (int i = 0; i < run.ops; ++i) {
      q.Close();
      q.Open();
      kuraHits += ReadToEnd(q, 9, sum);
    }
    r.kura = rows / w.WallSeconds();
    r.kuraCpu = rows / w.CpuSeconds();
  }
  if (run.sqlite) {
    sqlite3_stmt* scan = Prepare(db, "SELECT * FROM figure WHERE BFR + TES = 17");
    Stopwatch w;
    for (int i = 0; i < run.ops; ++i) sqliteHits += StepAll(scan, 9, sum);
    r.sqlite = rows / w.WallSeconds();
    r.sqliteCpu = rows / w.CpuSeconds();
    sqlite3_finalize(scan);
  }
  if (run.kura && run.sqlite && kuraHits != sqliteHits) r.note = "hit counts differ";
  return r;
}

// Only the edit and the post are timed; moving to the next random row is not.
Result W5(const Run& run, sqlite3* db) {
  Result r{"W5", "us/edit"};
  r.operations = run.ops;
  if (run.kura) {
    TKuraQuery q;
    Live(q, {"select * from figure"});
    q.Open();
    std::mt19937 rng(5);
    double wall = 0, cpu = 0;
    for (int i = 0; i < run.ops; ++i) {
      for (int skip = int(rng() % 64); skip > 0; --skip) {
        q.Next();
        if (q.Eof()) q.First();
      }
      Stopwatch w;
      q.Edit();
      q.SetFieldAsInteger(kTES, i);
      q.Post();
      wall += w.WallSeconds();
      cpu += w.CpuSeconds();
    }
    r.kura = wall * 1e6 / run.ops;
    r.kuraCpu = cpu * 1e6 / run.ops;
  }
  if (run.sqlite) {
    sqlite3_stmt* update = Prepare(db, "UPDATE figure SET TES = ? WHERE rowid = ?");
    std::mt19937 rng(5);
    TimeSqlite(r, run.ops, [&] {
      for (int i = 0; i < run.ops; ++i) {
        sqlite3_bind_int(update, 1, i);
        sqlite3_bind_int(update, 2, 1 + int(rng() % unsigned(run.sizes.rows())));
        StepDone(update);
      }
    });
    sqlite3_finalize(update);
  }
  return r;
}

// Locates within an open problem result; a new problem every 100 locates
// (opening it is not timed). SQLite: the row id of (MNB, TNB) through the
// index on MNB.
Result W6(const Run& run, sqlite3* db) {
  Result r{"W6", "us/locate"};
  r.operations = run.ops;
  constexpr int kPerProblem = 100;
  int found = 0;
  if (run.kura) {
    TKuraQuery q;
    Live(q, {"select * from figure", "Where MNB = :MNB"});
    q.Prepare();
    std::mt19937 rng(6);
    double wall = 0, cpu = 0;
    for (int i = 0; i < run.ops; i += kPerProblem) {
      q.Close();
      q.Params()[0].SetAsInteger(1 + int(rng() % unsigned(run.sizes.problems)));
      q.Open();
      Stopwatch w;
      for (int k = 0; k < kPerProblem && i + k < run.ops; ++k) {
        const std::int64_t tnb = 1 + std::int64_t(rng() % unsigned(run.sizes.rowsPerProblem));
        found += q.Locate("TNB", {tnb});
      }
      wall += w.WallSeconds();
      cpu += w.CpuSeconds();
    }
    r.kura = wall * 1e6 / run.ops;
    r.kuraCpu = cpu * 1e6 / run.ops;
  }
  if (run.sqlite) {
    sqlite3_stmt* find = Prepare(db, "SELECT rowid FROM figure WHERE MNB = ? AND TNB = ?");
    std::mt19937 rng(6);
    double wall = 0, cpu = 0;
    for (int i = 0; i < run.ops; i += kPerProblem) {
      const int mnb = 1 + int(rng() % unsigned(run.sizes.problems));
      Stopwatch w;
      for (int k = 0; k < kPerProblem && i + k < run.ops; ++k) {
        sqlite3_bind_int(find, 1, mnb);
        sqlite3_bind_int(find, 2, 1 + int(rng() % unsigned(run.sizes.rowsPerProblem)));
        found += sqlite3_step(find) == SQLITE_ROW;
        sqlite3_reset(find);
      }
      wall += w.WallSeconds();
      cpu += w.CpuSeconds();
    }
    r.sqlite = wall * 1e6 / run.ops;
    r.sqliteCpu = cpu * 1e6 / run.ops;
    sqlite3_finalize(find);
  }
  std::printf("# W6 found %d\n", found);
  return r;
}

Result W7(const Run& run, sqlite3* db) {
  Result r{"W7", "us/open"};
  r.operations = run.ops;
  std::int64_t kuraRows = 0, sqliteRows = 0, sum = 0;
  if (run.kura) {
    TKuraQuery q;
    Live(q, {"Select * from mokuji", "Where (MNB > 0 and MNB < 1000)", "Order By MNB"});
    q.Prepare();
    TimeKura(r, run.ops, [&] {
      for (int i = 0; i < run.ops; ++i) {
        q.Close();
        q.Open();
        kuraRows += ReadToEnd(q, 3, sum);
      }
    });
    if (!q.Live()) r.note = "the contents result was not live";
  }
  if (run.sqlite) {
    sqlite3_stmt* select =
        Prepare(db, "Select * from mokuji Where (MNB > 0 and MNB < 1000) Order By MNB");
    TimeSqlite(r, run.ops, [&] {
      for (int i = 0; i < run.ops; ++i) sqliteRows += StepAll(select, 3, sum);
    });
    sqlite3_finalize(select);
  }
  if (run.kura && run.sqlite && kuraRows != sqliteRows) r.note += " row counts differ";
  return r;
}

Result W2D(const Run& run, sqlite3* db) {
  SetDurable(db, true);
  Result r = W2(run, db);
  r.workload = "W2D";
  return r;
}

// Each operation registers one problem's three rows and its contents row
// in one transaction, as the editing screen registers a sequence.
Result Registrations(const Run& run, sqlite3* db, bool durable) {
  SetDurable(db, durable);
  Result r{durable ? "R3D" : "R3", "us/registration"};
  r.operations = run.ops;
  const int first = run.sizes.problems + 1;
  if (run.kura) {
    TKuraQuery fig, mok, control;
    Live(fig, {"select * from figure"});
    Live(mok, {"select * from mokuji"});
    control.SetDatabaseName("kyozai");
    fig.Open();
    mok.Open();
    TimeKura(r, run.ops, [&] {
      for (int i = 0; i < run.ops; ++i) {
        control.SetSQL({"START TRANSACTION"});
        control.ExecSQL();
        for (int k = 0; k < 3; ++k) {
          fig.Append();
          SetRow(fig, NewRow(first + i, k));
          fig.Post();
        }
        mok.Append();
        mok.SetFieldAsInteger(0, first + i);
        mok.SetFieldAsInteger(1, 3);
        mok.SetFieldAsString(2, "registered");
        mok.Post();
        control.SetSQL({"COMMIT"});
        control.ExecSQL();
      }
    });
  }
  if (run.sqlite) {
    sqlite3_stmt* insert = Prepare(db, "INSERT INTO figure VALUES(?,?,?,?,?,?,?,?,?)");
    sqlite3_stmt* contents = Prepare(db, "INSERT INTO mokuji VALUES(?,3,'registered')");
    TimeSqlite(r, run.ops, [&] {
      for (int i = 0; i < run.ops; ++i) {
        Exec(db, "BEGIN");
        for (int k = 0; k < 3; ++k) {
          BindRow(insert, NewRow(first + i, k));
          StepDone(insert);
        }
        sqlite3_bind_int(contents, 1, first + i);
        StepDone(contents);
        Exec(db, "COMMIT");
      }
    });
    sqlite3_finalize(insert);
    sqlite3_finalize(contents);
  }
  return r;
}

Result R3(const Run& run, sqlite3* db) { return Registrations(run, db, false); }
Result R3D(const Run& run, sqlite3* db) { return Registrations(run, db, true); }

int DefaultOps(const std::string& w, const Sizes& s) {
  if (w == "W2D") return s.bulkAppends;
  if (w == "R3" || w == "R3D") return s.registrations;
  if (w == "W1") return s.appends;
  if (w == "W2") return s.bulkAppends;
  if (w == "W3") return s.problemReads;
  if (w == "W4") return s.scans;
  if (w == "W5") return s.edits;
  if (w == "W6") return s.locates;
  return s.contents;
}

bool Writes(const std::string& w) {
  return w == "W1" || w == "W2" || w == "W5" || w == "W2D" || w == "R3" || w == "R3D";
}

// The SQLite side of `workload` again in the journal modes MEMORY and WAL,
// its figures stored in `r`. A workload that writes runs on copies of the
// file as it was before the first run (made by CopyForJournals).
void RunOtherJournals(const std::string& workload, Result (*body)(const Run&, sqlite3*),
                      Run run, sqlite3* db, Result& r) {
  run.kura = false;
  for (const char* mode : {"MEMORY", "WAL"}) {
    sqlite3* m = db;
    if (Writes(workload)) m = OpenSqlite(std::string("figure-") + mode + ".db");
    Exec(m, (std::string("PRAGMA journal_mode=") + mode).c_str());
    const Result o = body(run, m);
    if (mode == std::string("MEMORY")) {
      r.sqliteMemory = o.sqlite;
      r.sqliteMemoryCpu = o.sqliteCpu;
    } else {
      r.sqliteWal = o.sqlite;
      r.sqliteWalCpu = o.sqliteCpu;
    }
    if (m != db) sqlite3_close(m);
  }
}

void CopyForJournals() {
  for (const char* mode : {"MEMORY", "WAL"}) {
    std::filesystem::copy_file("figure.db", std::string("figure-") + mode + ".db",
                               std::filesystem::copy_options::overwrite_existing);
  }
}

int Main(int argc, char** argv) {
  const std::string workload = Arg(argc, argv, "workload");
  const std::map<std::string, Result (*)(const Run&, sqlite3*)> workloads = {
      {"W1", W1}, {"W2", W2}, {"W3", W3}, {"W4", W4}, {"W5", W5}, {"W6", W6}, {"W7", W7},
      {"W2D", W2D}, {"R3", R3}, {"R3D", R3D}};
  const auto it = workloads.find(workload);
  if (it == workloads.end()) {
    std::fprintf(stderr,
                 "usage: bench_workloads --workload=W1..W7|W2D|R3|R3D [--size=tiny] "
                 "[--side=kura|sqlite] [--ops=N] [--problems=N] [--journals=all|default]\n");
    return 2;
  }
  Run run;
  run.sizes = SizesFromArgs(argc, argv);
  const std::string ops = Arg(argc, argv, "ops");
  run.ops = ops.empty() ? DefaultOps(workload, run.sizes) : std::stoi(ops);
  const std::string side = Arg(argc, argv, "side");
  run.kura = side != "sqlite";
  run.sqlite = side != "kura";

  const bool otherJournals = run.sqlite && Arg(argc, argv, "journals") != "default";

  // Only the tables the workload uses (W7 reads mokuji only).
  const bool figure = workload != "W7";
  const bool mokuji = workload == "W7" || workload[0] == 'R';
  Workspace space;
  std::vector<FigureRow> rows;
  if (figure) rows = MakeFigureRows(run.sizes);
  if (run.kura) {
    if (figure) CreateKuraFigure(rows);
    if (mokuji) CreateKuraMokuji(run.sizes.problems);
  }
  sqlite3* db = nullptr;
  if (run.sqlite) {
    db = OpenSqlite("figure.db");
    if (figure) CreateSqliteFigure(db, rows);
    if (mokuji) CreateSqliteMokuji(db, run.sizes.problems);
    if (otherJournals && Writes(workload)) CopyForJournals();
  }
  rows.clear();
  rows.shrink_to_fit();
  if (run.ops > 0) {
    Result r = it->second(run, db);
    if (otherJournals) RunOtherJournals(workload, it->second, run, db, r);
    Print(r);
  }
  if (db != nullptr) sqlite3_close(db);
  return 0;
}

}  // namespace
}  // namespace kura::bench

int main(int argc, char** argv) {
  try {
    return kura::bench::Main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_workloads: %s\n", e.what());
    return 1;
  }
}
