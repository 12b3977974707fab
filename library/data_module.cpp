#include "library/data_module.h"

#include <array>
#include <exception>

#include "engine/component/kura_session.h"
#include "engine/errors/database_error.h"
#include "library/library_statements.h"

namespace sorabeku {

namespace {

void SetUp(kura::TKuraQuery& q, const std::string& sessionName) {
  q.SetSessionName(sessionName);
  q.SetDatabaseName(kLibraryDatabase);
  q.SetRequestLive(true);
  q.SetMaxRowCount(-1);
  q.AutoDisplayLabels = false;
  q.CopyOnAppend = false;
}

// A query that already holds the statement keeps it prepared: only the
// parameter changes between two problems.
void Reopen(kura::TKuraQuery& q, const StatementLines& s, int parameter) {
  q.Close();
  if (q.SQL() != s.lines) q.SetSQL(s.lines);
  if (s.hasParameter) q.Params()[0].SetAsInteger(parameter);
  q.Open();
}

// Where an open query stood, so that it can be put back after its rows
// were reopened.
struct Place {
  bool open = false;
  std::int64_t key = 0;  // MNB of the contents row, or the row's position
};

Place Note(kura::TKuraQuery& q, bool byNumber) {
  Place p;
  if (!q.Active()) return p;
  p.open = true;
  try {
    if (q.State() != kura::TDataSetState::dsBrowse) q.Cancel();
    if (q.RecordCount() > 0) p.key = byNumber ? q.FieldAsInteger(0) : q.RecNo();
  } catch (...) {
    // The rows are reopened anyway; the query starts on its first row.
  }
  return p;
}

void Reopen(kura::TKuraQuery& q, const Place& p, bool byNumber) {
  if (!p.open) return;
  q.Close();
  q.Open();
  if (p.key <= 0) return;
  if (byNumber) {
    q.Locate("MNB", {p.key});
    return;
  }
  for (std::int64_t n = 1; n < p.key && !q.Eof(); ++n) q.Next();
  if (q.Eof()) q.Last();
}

}  // namespace

TDataModule1::TDataModule1(const std::string& sessionName) : sessionName_(sessionName) {
  SetUp(kuraQuery1_, sessionName);
  SetUp(kuraQuery2_, sessionName);
  SetUp(kuraQuery4_, sessionName);
  kuraQuery2_.AddSQL("select * from figure");
  kuraQuery4_.AddSQL("select * from figure");
  dataSource1_.SetDataSet(&kuraQuery1_);
  dataSource2_.SetDataSet(&kuraQuery2_);
  dataSource4_.SetDataSet(&kuraQuery4_);
}

TDataModule1::~TDataModule1() {
  try {
    kuraQuery1_.Close();
    kuraQuery2_.Close();
  } catch (...) {
    // Destroying the module: the queries go with it.
  }
}

void TDataModule1::OpenContents(int section, int mode) {
  Reopen(kuraQuery1_, ContentsStatement(section, mode), mode);
}

void TDataModule1::OpenProblemRows(int problem) {
  Reopen(kuraQuery2_, ProblemRowsStatement(), problem);
}

void TDataModule1::OpenBranchPoints(int problem) {
  Reopen(kuraQuery4_, BranchPointsStatement(), problem);
}

// The database the queries resolve their name to; made here, as a query
// would make it, when no query has opened yet.
kura::TKuraDatabase& TDataModule1::Database() {
  kura::TKuraSession& session = kura::Sessions().SessionByName(sessionName_);
  kura::TKuraDatabase* db = session.FindDatabase(kLibraryDatabase);
  if (db == nullptr) {
    db = &session.AddDatabase(kLibraryDatabase);
    db->SetDirectory(kLibraryDatabase);
  }
  return *db;
}

void TDataModule1::StartTransaction() { Database().StartTransaction(); }

template <typename End>
void TDataModule1::EndAndReopen(End&& end) {
  std::array<kura::TKuraQuery*, 3> queries{&kuraQuery1_, &kuraQuery2_, &kuraQuery4_};
  std::array<Place, 3> places;
  for (std::size_t i = 0; i < queries.size(); ++i) places[i] = Note(*queries[i], i == 0);
  std::exception_ptr error;
  try {
    end();
  } catch (...) {
    error = std::current_exception();
  }
  for (std::size_t i = 0; i < queries.size(); ++i) Reopen(*queries[i], places[i], i == 0);
  if (error) std::rethrow_exception(error);
}

namespace {

// The program's transactions are its registrations, deletions and imports:
// their commits are flushed to the disk, journal first, so that one that
// returned survives a power cut. Single edits in the grids are not.
class DurableCommit {
 public:
  explicit DurableCommit(kura::TKuraSession& session)
      : session_(session), before_(session.forceBufferFlush) {
    session_.forceBufferFlush = true;
    session_.ApplySettings();
  }
  ~DurableCommit() {
    session_.forceBufferFlush = before_;
    session_.ApplySettings();
  }
  DurableCommit(const DurableCommit&) = delete;
  DurableCommit& operator=(const DurableCommit&) = delete;

 private:
  kura::TKuraSession& session_;
  bool before_;
};

}  // namespace

void TDataModule1::Commit() {
  kura::TKuraDatabase& db = Database();
  DurableCommit durable(kura::Sessions().SessionByName(sessionName_));
  try {
    db.Commit();
  } catch (const kura::EDatabaseError&) {
    throw;  // no transaction ran: nothing to reopen
  } catch (...) {
    // The commit was undone: show the rows as they are stored.
    const std::exception_ptr error = std::current_exception();
    EndAndReopen([error] { std::rethrow_exception(error); });
  }
}

void TDataModule1::Rollback() {
  kura::TKuraDatabase& db = Database();
  if (!db.InTransaction()) return;
  EndAndReopen([&] { db.Rollback(); });
}

}  // namespace sorabeku
