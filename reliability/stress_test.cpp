// Many processes on one library: four writers append, edit and delete rows
// of `figure` and `mokuji` through live queries while two readers walk the
// program's statements, for a bounded time (KURA_STRESS_SECONDS, default 30;
// fewer under the sanitizers). Every row carries a checksum of its other
// fields in CMT, so a reader notices a torn row. Each writer logs what it
// stored after each post returned. At the end every logged row is there
// with its last value, no deleted row is, verify passes, no reader saw a
// torn row, and no post waited longer than a bounded time for its locks.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/component/kura_query.h"
#include "engine/component/testing/library_tables.h"
#include "engine/sql/query_execution.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/record_values.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/table_verify.h"
#include "engine/storage/testing/storage_fixture.h"
#include "library/library_statements.h"

namespace kura {
namespace {

using Clock = std::chrono::steady_clock;
enum Figure { MNB, TES, COL, PST, BFR, BTO, TNB, CMT, DIX };
constexpr int kWriters = 4;
constexpr int kReaders = 2;
constexpr int kProblemsPerWriter = 5;
// No post may wait longer than this for its locks while readers loop.
constexpr double kLongestFairWaitMs = 5000;

int StressSeconds() {
  if (const char* s = std::getenv("KURA_STRESS_SECONDS")) return std::max(1, std::atoi(s));
#ifdef SORABEKU_SANITIZE_BUILD
  return 10;
#else
  return 30;
#endif
}

// FNV-1a over the decimal values: the checksum a row carries in CMT.
std::string Checksum(const std::vector<std::int64_t>& values) {
  std::uint32_t h = 2166136261u;
  for (std::int64_t v : values) {
    for (char c : std::to_string(v) + ",") h = (h ^ static_cast<std::uint8_t>(c)) * 16777619u;
  }
  char out[9];
  std::snprintf(out, sizeof out, "%08x", h);
  return out;
}
bool CarriesItsChecksum(const std::vector<std::int64_t>& values, const std::string& cmt) {
  return cmt.rfind(Checksum(values) + "|", 0) == 0;
}

struct FigureRow {
  std::int64_t f[9] = {};  // CMT's place unused
  std::string cmt;
  std::vector<std::int64_t> Summed() const { return {f[MNB], f[TES], f[COL], f[PST], f[BFR], f[BTO], f[TNB], f[DIX]}; }
  bool operator==(const FigureRow& o) const {
    return Summed() == o.Summed() && cmt == o.cmt;
  }
};
struct MokujiRow {
  std::int64_t mnb = 0, size = 0;
  std::string cmt;
  bool operator==(const MokujiRow&) const = default;
};

// ---- writers -------------------------------------------------------------

class Writer {
 public:
  Writer(int id, const std::string& log) : id_(id), random_(7919u * static_cast<unsigned>(id) + 1) {
    log_ = std::fopen(log.c_str(), "w");
  }
  ~Writer() { std::fclose(log_); }

  void Run(Clock::time_point until) {
    for (int p = 0; p < kProblemsPerWriter; ++p) {
      problems_.push_back(Query(sorabeku::ProblemRowsStatement(), Problem(p)));
    }
    contents_ = Query(sorabeku::ContentsStatement(1, 0), 0);
    while (Clock::now() < until) Step();
    std::fprintf(log_, "S %d %.1f\n", operations_, longestMs_);
    std::fflush(log_);
  }

 private:
  int Problem(int p) const { return id_ * 100 + p + 1; }
  std::unique_ptr<TKuraQuery> Query(const sorabeku::StatementLines& s, int parameter) {
    auto q = std::make_unique<TKuraQuery>();
    q->SetDatabaseName("kyozai");
    q->SetRequestLive(true);
    q->SetSQL(s.lines);
    if (s.hasParameter) q->Params()[0].SetAsInteger(parameter);
    q->Open();
    return q;
  }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  // Runs a post or delete and keeps the longest time one took.
  template <typename Fn>
  void Timed(Fn&& change) {
    const auto start = Clock::now();
    change();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    longestMs_ = std::max(longestMs_, ms);
    ++operations_;
  }

  void Step() {
    const int r = Pick(100);
    const int p = Pick(kProblemsPerWriter);
    auto& rows = figure_[p];
    if (r < 40 || rows.empty()) return AppendFigure(p);
    if (r < 65) return EditFigure(p, rows[static_cast<std::size_t>(Pick(static_cast<int>(rows.size())))]);
    if (r < 75) return DeleteFigure(p, Pick(static_cast<int>(rows.size())));
    if (r < 85 || mokuji_.empty()) return AppendMokuji();
    if (r < 95) return EditMokuji(mokuji_[static_cast<std::size_t>(Pick(static_cast<int>(mokuji_.size())))]);
    DeleteMokuji(Pick(static_cast<int>(mokuji_.size())));
  }

  void FillFigure(TKuraQuery& q, int p, std::int64_t tnb) {
    FigureRow row;
    row.f[MNB] = Problem(p);
    row.f[TES] = Pick(300);
    row.f[COL] = 1 + Pick(2);
    row.f[PST] = 1 + Pick(361);
    row.f[BFR] = Pick(4);
    row.f[BTO] = Pick(10);
    row.f[TNB] = tnb;
    row.f[DIX] = Pick(100);
    row.cmt = Checksum(row.Summed()) + "|w" + std::to_string(id_) + "#" + std::to_string(++version_);
    for (int field : {MNB, TES, COL, PST, BFR, BTO, TNB, DIX}) q.SetFieldAsInteger(field, row.f[field]);
    q.SetFieldAsString(CMT, row.cmt);
    pending_ = row;
  }
  void LogFigure() {
    const FigureRow& r = pending_;
    std::fprintf(log_, "F %lld %lld %lld %lld %lld %lld %lld %lld %s\n", (long long)r.f[TNB], (long long)r.f[MNB],
                 (long long)r.f[TES], (long long)r.f[COL], (long long)r.f[PST], (long long)r.f[BFR],
                 (long long)r.f[BTO], (long long)r.f[DIX], r.cmt.c_str());
    std::fflush(log_);
  }
  void AppendFigure(int p) {
    TKuraQuery& q = *problems_[static_cast<std::size_t>(p)];
    const std::int64_t tnb = id_ * 1000000 + ++nextTnb_;
    q.Append();
    FillFigure(q, p, tnb);
    Timed([&] { q.Post(); });
    LogFigure();
    figure_[p].push_back(tnb);
  }
  void EditFigure(int p, std::int64_t tnb) {
    TKuraQuery& q = *problems_[static_cast<std::size_t>(p)];
    if (!q.Locate("TNB", {tnb})) throw std::runtime_error("own row " + std::to_string(tnb) + " not found");
    q.Edit();
    FillFigure(q, p, tnb);
    Timed([&] { q.Post(); });
    LogFigure();
  }
  void DeleteFigure(int p, int at) {
    TKuraQuery& q = *problems_[static_cast<std::size_t>(p)];
    const std::int64_t tnb = figure_[p][static_cast<std::size_t>(at)];
    if (!q.Locate("TNB", {tnb})) throw std::runtime_error("own row " + std::to_string(tnb) + " not found");
    Timed([&] { q.Delete(); });
    std::fprintf(log_, "f %lld\n", (long long)tnb);
    std::fflush(log_);
    figure_[p].erase(figure_[p].begin() + at);
  }

  void StoreMokuji(std::int64_t mnb) {
    const std::int64_t size = 1 + Pick(25);
    const std::string cmt = Checksum({mnb, size}) + "|w" + std::to_string(id_) + "#" + std::to_string(++version_);
    contents_->SetFieldAsInteger(0, mnb);
    contents_->SetFieldAsInteger(1, size);
    contents_->SetFieldAsString(2, cmt);
    Timed([&] { contents_->Post(); });
    std::fprintf(log_, "M %lld %lld %s\n", (long long)mnb, (long long)size, cmt.c_str());
    std::fflush(log_);
  }
  void AppendMokuji() {
    if (nextMnb_ >= 199) return;
    const std::int64_t mnb = id_ * 200 + ++nextMnb_;
    contents_->Append();
    StoreMokuji(mnb);
    mokuji_.push_back(mnb);
  }
  std::string Diagnose(std::int64_t mnb) {
    std::string out = " mnb=" + std::to_string(mnb);
    TFileList files(Env::Default());
    TDataSession session(files);
    TDataDirectory dir(session, "kyozai");
    TDataTable* t = dir.OpenTable("mokuji", {.readOnly = true});
    t->ReadLock();
    t->DropCaches();
    for (std::int32_t n = 1; n <= t->Data().RecordCount(); ++n) {
      const TRecord* r = t->ReadRecord(n);
      const auto v = ReadFieldValue(r->Data(), t->Data().Field(1)).integer;
      if (v == mnb) out += " rec=" + std::to_string(n) + " status=" + std::to_string(r->Data()[0]);
    }
    t->ReleaseReadLock();
    dir.CloseTable(t);
    int count = 0;
    for (contents_->First(); !contents_->Eof(); contents_->Next()) {
      ++count;
      if (contents_->FieldAsInteger(0) == mnb) out += " found-by-walk";
    }
    out += " walk=" + std::to_string(count);
    return out;
  }
  void EditMokuji(std::int64_t mnb) {
    if (!contents_->Locate("MNB", {mnb})) throw std::runtime_error("own problem not found" + Diagnose(mnb));
    contents_->Edit();
    StoreMokuji(mnb);
  }
  void DeleteMokuji(int at) {
    const std::int64_t mnb = mokuji_[static_cast<std::size_t>(at)];
    if (!contents_->Locate("MNB", {mnb})) throw std::runtime_error("own problem not found" + Diagnose(mnb));
    Timed([&] { contents_->Delete(); });
    std::fprintf(log_, "m %lld\n", (long long)mnb);
    std::fflush(log_);
    mokuji_.erase(mokuji_.begin() + at);
  }

  int id_;
  std::mt19937 random_;
  std::FILE* log_;
  std::vector<std::unique_ptr<TKuraQuery>> problems_;
  std::unique_ptr<TKuraQuery> contents_;
  std::map<int, std::vector<std::int64_t>> figure_;  // problem -> own TNBs
  std::vector<std::int64_t> mokuji_;
  std::int64_t nextTnb_ = 0, nextMnb_ = 0, version_ = 0;
  FigureRow pending_;
  int operations_ = 0;
  double longestMs_ = 0;
};

// ---- readers -------------------------------------------------------------

// The statement's text as the engine receives it: its lines, and "?" for
// its parameter marker.
std::string EngineText(const sorabeku::StatementLines& s) {
  std::string text;
  for (const std::string& line : s.lines) text += line + "\n";
  for (const char* marker : {":MNB", ":SIZE"}) {
    if (const auto at = text.find(marker); at != std::string::npos) text.replace(at, std::strlen(marker), "?");
  }
  return text;
}

// Walks the contents and the rows and branch points of the writers'
// problems with the program's statements, each row read whole in one read
// of the live result, and writes "rows torn walks" to `out` at the end.
void Read(Clock::time_point until, const std::string& out) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory dir(session, "kyozai");
  sql::TableCatalog catalog(dir);
  std::int64_t rows = 0, torn = 0, walks = 0;
  auto walk = [&](const sorabeku::StatementLines& s, int parameter, bool figure) {
    sql::TQueryExecution q(session, catalog);
    q.SetRequestLive(true);
    q.Prepare(EngineText(s));
    q.Execute(s.hasParameter ? std::vector<sql::Value>{sql::Value::Integer(parameter)} : std::vector<sql::Value>{});
    TDataCursor& c = *q.ResultCursor();
    for (c.First(); c.Next();) {
      if (c.ReadCurrent() != 0) continue;
      ++rows;
      const std::uint8_t* image = c.Image();
      std::vector<std::int64_t> v;
      const std::vector<int> fields = figure ? std::vector<int>{MNB, TES, COL, PST, BFR, BTO, TNB, DIX}
                                             : std::vector<int>{0, 1};
      for (int f : fields) v.push_back(c.GetField(image, f + 1).integer);
      const bool inResult = !figure || v[0] == parameter;
      if (!inResult || !CarriesItsChecksum(v, c.GetField(image, (figure ? CMT : 2) + 1).text)) ++torn;
    }
    ++walks;
  };
  while (Clock::now() < until) {
    walk(sorabeku::ContentsStatement(1, 0), 0, false);
    for (int w = 0; w < kWriters && Clock::now() < until; ++w) {
      const int problem = w * 100 + 1 + static_cast<int>(walks % kProblemsPerWriter);
      walk(sorabeku::ProblemRowsStatement(), problem, true);
      walk(sorabeku::BranchPointsStatement(), problem, true);
    }
  }
  std::ofstream(out) << rows << " " << torn << " " << walks << "\n";
}

// ---- the test --------------------------------------------------------------

pid_t SpawnFor(int seconds, const std::function<void()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(static_cast<unsigned>(seconds + 60));
    int code = 0;
    try {
      body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child failed: %s\n", e.what());
      code = 1;
    }
    ::_exit(code);
  }
  return pid;
}

struct Model {
  std::map<std::int64_t, FigureRow> figure;
  std::map<std::int64_t, MokujiRow> mokuji;
  int operations = 0;
  double longestMs = 0;
};

void ReadLog(const std::string& path, Model& m) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    char kind = 0;
    s >> kind;
    if (kind == 'F') {
      FigureRow r;
      s >> r.f[TNB] >> r.f[MNB] >> r.f[TES] >> r.f[COL] >> r.f[PST] >> r.f[BFR] >> r.f[BTO] >> r.f[DIX] >> r.cmt;
      m.figure[r.f[TNB]] = r;
    } else if (kind == 'f') {
      std::int64_t tnb = 0;
      s >> tnb;
      m.figure.erase(tnb);
    } else if (kind == 'M') {
      MokujiRow r;
      s >> r.mnb >> r.size >> r.cmt;
      m.mokuji[r.mnb] = r;
    } else if (kind == 'm') {
      std::int64_t mnb = 0;
      s >> mnb;
      m.mokuji.erase(mnb);
    } else if (kind == 'S') {
      int ops = 0;
      double ms = 0;
      s >> ops >> ms;
      m.operations += ops;
      m.longestMs = std::max(m.longestMs, ms);
    }
  }
}

Model Stored(const std::string& db) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory dir(session, db);
  Model m;
  TDataTable* t = dir.OpenTable("figure", {.readOnly = true});
  for (std::int32_t n = 1; n <= t->Data().RecordCount(); ++n) {
    const TRecord* r = t->ReadRecord(n);
    if (r->Data()[0] != kRecordActive) continue;
    FigureRow row;
    for (int f : {MNB, TES, COL, PST, BFR, BTO, TNB, DIX}) {
      row.f[f] = ReadFieldValue(r->Data(), t->Data().Field(static_cast<std::uint16_t>(f + 1))).integer;
    }
    row.cmt = ReadFieldValue(r->Data(), t->Data().Field(CMT + 1)).text;
    m.figure[row.f[TNB]] = row;
  }
  dir.CloseTable(t);
  t = dir.OpenTable("mokuji", {.readOnly = true});
  for (std::int32_t n = 1; n <= t->Data().RecordCount(); ++n) {
    const TRecord* r = t->ReadRecord(n);
    if (r->Data()[0] != kRecordActive) continue;
    const MokujiRow row{ReadFieldValue(r->Data(), t->Data().Field(1)).integer,
                        ReadFieldValue(r->Data(), t->Data().Field(2)).integer,
                        ReadFieldValue(r->Data(), t->Data().Field(3)).text};
    m.mokuji[row.mnb] = row;
  }
  dir.CloseTable(t);
  return m;
}

TEST(Stress, WritersAndReadersShareTheLibraryAndNothingIsLostOrTorn) {
  kura::testing::ScratchDir scratch;
  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(scratch.Path());
  std::filesystem::create_directory("kyozai");
  kura::testing::CreateLibraryTables("kyozai");

  const int seconds = StressSeconds();
  const auto until = Clock::now() + std::chrono::seconds(seconds);
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    children.push_back(SpawnFor(seconds, [&, w] { Writer(w, "writer" + std::to_string(w) + ".log").Run(until); }));
  }
  for (int r = 0; r < kReaders; ++r) {
    children.push_back(SpawnFor(seconds, [&, r] { Read(until, "reader" + std::to_string(r) + ".out"); }));
  }
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a child failed, status " << status;
  }

  Model logged;
  for (int w = 0; w < kWriters; ++w) ReadLog("writer" + std::to_string(w) + ".log", logged);
  const Model stored = Stored("kyozai");
  EXPECT_EQ(stored.figure.size(), logged.figure.size());
  EXPECT_EQ(stored.mokuji.size(), logged.mokuji.size());
  for (const auto& [tnb, row] : logged.figure) {
    EXPECT_TRUE(stored.figure.count(tnb) && stored.figure.at(tnb) == row) << "figure row " << tnb;
  }
  for (const auto& [mnb, row] : logged.mokuji) {
    EXPECT_TRUE(stored.mokuji.count(mnb) && stored.mokuji.at(mnb) == row) << "mokuji row " << mnb;
  }
  for (const auto& [tnb, row] : stored.figure) EXPECT_TRUE(logged.figure.count(tnb)) << "deleted figure row " << tnb;
  for (const auto& [mnb, row] : stored.mokuji) EXPECT_TRUE(logged.mokuji.count(mnb)) << "deleted problem " << mnb;

  {
    TFileList files(Env::Default());
    TDataSession session(files);
    TDataDirectory dir(session, "kyozai");
    for (const char* table : {"figure", "mokuji"}) {
      const TableVerification v = VerifyTable(dir, table);
      EXPECT_TRUE(v.Ok()) << table << ": " << (v.Ok() ? "" : v.problems[0]);
    }
  }
  std::int64_t rowsRead = 0, torn = 0, walks = 0;
  for (int r = 0; r < kReaders; ++r) {
    std::int64_t rows = 0, t = 0, w = 0;
    std::ifstream("reader" + std::to_string(r) + ".out") >> rows >> t >> w;
    rowsRead += rows, torn += t, walks += w;
  }
  EXPECT_EQ(torn, 0) << "rows read with a checksum that does not match";
  EXPECT_GT(walks, 0);
  EXPECT_GT(logged.operations, 0);
  EXPECT_LT(logged.longestMs, kLongestFairWaitMs) << "a writer waited too long for its locks";
  std::printf("%d s, %d writers, %d readers: %d changes posted, %lld rows read in %lld walks, "
              "%lld torn; longest post %.1f ms\n",
              seconds, kWriters, kReaders, logged.operations, static_cast<long long>(rowsRead),
              static_cast<long long>(walks), static_cast<long long>(torn), logged.longestMs);
  RecordProperty("changes_posted", logged.operations);
  RecordProperty("longest_post_ms", static_cast<int>(logged.longestMs));
  std::filesystem::current_path(old);
}

}  // namespace
}  // namespace kura
