#include "library/testing/engine_library.h"

#include <atomic>
#include <sstream>

#include "engine/component/testing/library_tables.h"
#include "library/move_row.h"
#include "tools/kura/kura_cli.h"

namespace sorabeku::testing {

LibraryDirectory::LibraryDirectory() : old_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir_.Path());
  std::filesystem::create_directory("kyozai");
  kura::testing::CreateLibraryTables("kyozai");
}

LibraryDirectory::~LibraryDirectory() { std::filesystem::current_path(old_); }

LibrarySession::LibrarySession(const std::string& privateDir, kura::TFileList* files) {
  static std::atomic<int> counter{0};
  name_ = "EngineLibrary" + std::to_string(++counter);
  kura::TKuraSession& s = kura::Sessions().AddSession(name_);
  s.privateDir = privateDir;
  s.fileList = files;
  s.lockRetryCount = 2;
  s.lockWaitTime = 1;
  s.DataSession().settings.tableLockAttempts = 3;
  s.DataSession().settings.tableLockPauseMs = 1;
}

LibrarySession::~LibrarySession() {
  kura::TKuraSession& s = Session();
  s.SetActive(false);
  s.fileList = nullptr;
}

EngineLibrary::EngineLibrary(kura::TFileList* files)
    : session_(directory_.Path(), files), module_(session_.Name()) {
  module_.DataSource2().AddLink(&scrolls_);
  for (kura::TKuraQuery* q : {&figure_, &mokuji_}) {
    q->SetSessionName(session_.Name());
    q->SetDatabaseName("kyozai");
    q->SetRequestLive(true);
  }
  figure_.AddSQL("select * from figure");
  mokuji_.AddSQL("select * from mokuji");
}

EngineLibrary::~EngineLibrary() { module_.DataSource2().RemoveLink(&scrolls_); }

void EngineLibrary::AddRow(const FigureRow& row) {
  figure_.Open();
  figure_.Append();
  SetIfAny(figure::MNB, row.mnb, true);
  SetIfAny(figure::TES, row.tes, true);
  SetIfAny(figure::COL, row.col, true);
  SetIfAny(figure::PST, row.pst, true);
  SetIfAny(figure::BFR, row.bfr, false);
  SetIfAny(figure::BTO, row.bto, false);
  SetIfAny(figure::TNB, row.tnb, false);
  if (!row.cmt.empty()) figure_.SetFieldAsString(figure::CMT, row.cmt);
  SetIfAny(figure::DIX, row.dix, true);
  figure_.Post();
}

void EngineLibrary::AddProblem(int mnb, int size, const std::string& cmt) {
  mokuji_.Open();
  mokuji_.Append();
  mokuji_.SetFieldAsInteger(mokuji::MNB, mnb);
  mokuji_.SetFieldAsInteger(mokuji::SIZE, size);
  if (!cmt.empty()) mokuji_.SetFieldAsString(mokuji::CMT, cmt);
  mokuji_.Post();
}

std::optional<std::string> EngineLibrary::VerifyReport() {
  std::istringstream in;
  std::ostringstream out;
  kura::tool::RunKura({"verify", Path() + "/kyozai"}, in, out, out, false);
  return out.str();
}

// 0 leaves BFR, BTO and TNB without a value, as a registered row has.
void EngineLibrary::SetIfAny(int field, int value, bool always) {
  if (always || value != 0) figure_.SetFieldAsInteger(field, value);
}

}  // namespace sorabeku::testing
