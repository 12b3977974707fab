#include "bench/workload_support.h"

#include <stdlib.h>
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "engine/component/kura_session.h"
#include "engine/storage/index_header.h"
#include "engine/storage/storage_cursor.h"
#include "engine/storage/storage_directory.h"

namespace kura::bench {

std::string Arg(int argc, char** argv, const std::string& name) {
  const std::string prefix = "--" + name + "=";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind(prefix, 0) == 0) return a.substr(prefix.size());
  }
  return "";
}

namespace {

Sizes NamedSizes(const std::string& size) {
  Sizes s;
  if (size == "small") {  // full problems on a tenth of the table, for profiles
    s.problems = 300;
    return s;
  }
  if (size != "tiny") return s;
  s.problems = 30;
  s.rowsPerProblem = 10;
  s.appends = 20;
  s.bulkAppends = 200;
  s.problemReads = 10;
  s.scans = 1;
  s.edits = 20;
  s.locates = 20;
  s.contents = 2;
  s.registrations = 5;
  return s;
}

}  // namespace

Sizes SizesFromArgs(int argc, char** argv) {
  Sizes s = NamedSizes(Arg(argc, argv, "size"));
  const std::string problems = Arg(argc, argv, "problems");
  if (!problems.empty()) {
    const int n = std::atoi(problems.c_str());
    if (n < 2) {
      std::fprintf(stderr, "--problems wants a number of at least 2, not \"%s\"\n",
                   problems.c_str());
      std::exit(2);
    }
    s.problems = n;
  }
  return s;
}

namespace {

std::string Comment(int i) {
  std::string c = "move " + std::to_string(i % 997) + " ";
  c.resize(30, 'x');
  return c;
}

}  // namespace

std::vector<FigureRow> MakeFigureRows(const Sizes& sizes) {
  std::mt19937 rng(11);
  std::vector<FigureRow> rows;
  rows.reserve(std::size_t(sizes.rows()));
  for (int i = 0; i < sizes.rows(); ++i) {
    int mnb = 1 + i / sizes.rowsPerProblem;
    if (rng() % 10 == 0) mnb = 1 + int(rng() % unsigned(sizes.problems));
    rows.push_back({mnb, int(rng() % 300), 1 + int(rng() % 2), 1 + int(rng() % 361),
                    int(rng() % 40), int(rng() % 40), 1 + i % sizes.rowsPerProblem,
                    Comment(i), int(rng() % 100)});
  }
  return rows;
}

FigureRow NewRow(int mnb, int tnb) {
  return {mnb, tnb % 300, 1 + tnb % 2, 1 + tnb % 361, 0, 0, tnb, Comment(tnb), 0};
}

Workspace::Workspace() : old_(std::filesystem::current_path().string()) {
  std::string t = (std::filesystem::temp_directory_path() / "kura-bench-XXXXXX").string();
  if (::mkdtemp(t.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  path_ = t;
  std::filesystem::current_path(path_);
  std::filesystem::create_directory("kyozai");
  Sessions().DefaultSession().privateDir = path_;
}

Workspace::~Workspace() {
  std::filesystem::current_path(old_);
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {

DataFileDefinition FigureDefinition() {
  DataFileDefinition def;
  const char* names[] = {"MNB", "TES", "COL", "PST", "BFR", "BTO", "TNB"};
  for (std::uint16_t i = 0; i < 7; ++i) {
    def.fields.push_back(MakeField(i + 1, names[i], kFieldInteger));
  }
  def.fields.push_back(MakeField(8, "CMT", kFieldString, 60));
  def.fields.push_back(MakeField(9, "DIX", kFieldInteger));
  return def;
}

TIndexFileHeader MnbIndex() {
  TIndexFileHeader h = NewIndexHeader();
  h.noPrimaryFields = 1;
  h.secondaryCount = 1;
  h.slots[1].name = "ByMNB";
  h.slots[1].keyLength = 9;
  h.slots[1].fieldCount = 1;
  h.slots[1].fieldNumbers[0] = 1;
  return h;
}

}  // namespace

void CreateKuraFigure(const std::vector<FigureRow>& rows) {
  TDataSession session;
  TDataDirectory directory(session, "kyozai");
  TDataCursor build(session, directory);
  build.Create("figure", {.exclusive = true}, FigureDefinition(), MnbIndex());
  std::vector<std::uint8_t> image = build.NewRecord();
  for (const FigureRow& r : rows) {
    build.InitRecord(image.data());
    const int v[] = {r.mnb, r.tes, r.col, r.pst, r.bfr, r.bto, r.tnb};
    for (int f = 0; f < 7; ++f) build.SetField(image.data(), f + 1, sql::Value::Integer(v[f]));
    build.SetField(image.data(), 8, sql::Value::String(r.cmt));
    build.SetField(image.data(), 9, sql::Value::Integer(r.dix));
    build.AddRecord(image.data(), false);
  }
  build.Close();
}

void CreateKuraMokuji(int problems) {
  TDataSession session;
  TDataDirectory directory(session, "kyozai");
  DataFileDefinition def;
  def.fields = {MakeField(1, "MNB", kFieldInteger), MakeField(2, "SIZE", kFieldInteger),
                MakeField(3, "CMT", kFieldString, 60)};
  TIndexFileHeader keyed = NewIndexHeader();
  keyed.noPrimaryFields = 0;
  keyed.slots[0].fieldCount = 1;
  keyed.slots[0].fieldNumbers[0] = 1;
  keyed.slots[0].keyLength = 5;
  keyed.slots[0].unique = 1;
  TDataCursor build(session, directory);
  build.Create("mokuji", {.exclusive = true}, def, keyed);
  std::vector<std::uint8_t> image = build.NewRecord();
  for (int p = 1; p <= problems; ++p) {
    build.InitRecord(image.data());
    build.SetField(image.data(), 1, sql::Value::Integer(p));
    build.SetField(image.data(), 2, sql::Value::Integer(1 + p % 25));
    build.SetField(image.data(), 3, sql::Value::String(Comment(p)));
    build.AddRecord(image.data(), false);
  }
  build.Close();
}

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s: %s\n", sql, sqlite3_errmsg(db));
    std::exit(1);
  }
  return st;
}

void StepDone(sqlite3_stmt* st) {
  if (sqlite3_step(st) != SQLITE_DONE) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(sqlite3_db_handle(st)));
    std::exit(1);
  }
  sqlite3_reset(st);
}

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s: %s\n", sql, error ? error : "?");
    std::exit(1);
  }
}

void BindRow(sqlite3_stmt* st, const FigureRow& r) {
  const int v[] = {r.mnb, r.tes, r.col, r.pst, r.bfr, r.bto, r.tnb};
  for (int f = 0; f < 7; ++f) sqlite3_bind_int(st, f + 1, v[f]);
  sqlite3_bind_text(st, 8, r.cmt.c_str(), int(r.cmt.size()), SQLITE_STATIC);
  sqlite3_bind_int(st, 9, r.dix);
}

sqlite3* OpenSqlite(const std::string& file) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: cannot open %s\n", file.c_str());
    std::exit(1);
  }
  Exec(db, "PRAGMA synchronous=OFF");
  return db;
}

void CreateSqliteFigure(sqlite3* db, const std::vector<FigureRow>& rows) {
  Exec(db,
       "CREATE TABLE figure(MNB INTEGER, TES INTEGER, COL INTEGER, PST INTEGER,"
       " BFR INTEGER, BTO INTEGER, TNB INTEGER, CMT VARCHAR(60), DIX INTEGER);"
       "CREATE INDEX ByMNB ON figure(MNB);"
       "BEGIN;");
  sqlite3_stmt* insert = Prepare(db, "INSERT INTO figure VALUES(?,?,?,?,?,?,?,?,?)");
  for (const FigureRow& r : rows) {
    BindRow(insert, r);
    StepDone(insert);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT;");
}

void CreateSqliteMokuji(sqlite3* db, int problems) {
  Exec(db,
       "CREATE TABLE mokuji(MNB INTEGER, SIZE INTEGER, CMT VARCHAR(60));"
       "CREATE UNIQUE INDEX MokujiMNB ON mokuji(MNB);"
       "BEGIN;");
  sqlite3_stmt* insert = Prepare(db, "INSERT INTO mokuji VALUES(?,?,?)");
  for (int p = 1; p <= problems; ++p) {
    const std::string c = Comment(p);
    sqlite3_bind_int(insert, 1, p);
    sqlite3_bind_int(insert, 2, 1 + p % 25);
    sqlite3_bind_text(insert, 3, c.c_str(), -1, SQLITE_TRANSIENT);
    StepDone(insert);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT;");
}

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void Stopwatch::Reset() {
  wall_ = std::chrono::steady_clock::now();
  cpu_ = ProcessCpuSeconds();
}

double Stopwatch::WallSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count();
}

double Stopwatch::CpuSeconds() const { return ProcessCpuSeconds() - cpu_; }

namespace {

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

void Print(const Result& r) {
  std::printf(
      "{\"workload\":%s,\"unit\":%s,\"kura\":%.6g,\"kura_cpu\":%.6g,"
      "\"sqlite\":%.6g,\"sqlite_cpu\":%.6g,\"sqlite_memory\":%.6g,"
      "\"sqlite_memory_cpu\":%.6g,\"sqlite_wal\":%.6g,\"sqlite_wal_cpu\":%.6g,"
      "\"operations\":%lld,\"note\":%s}\n",
      Quoted(r.workload).c_str(), Quoted(r.unit).c_str(), r.kura, r.kuraCpu, r.sqlite,
      r.sqliteCpu, r.sqliteMemory, r.sqliteMemoryCpu, r.sqliteWal, r.sqliteWalCpu,
      static_cast<long long>(r.operations), Quoted(r.note).c_str());
  std::fflush(stdout);
}

}  // namespace kura::bench
