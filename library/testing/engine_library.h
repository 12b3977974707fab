// EngineLibrary: the problem library over the engine, for tests — the
// tables `figure` and `mokuji` created empty in a scratch directory, the
// data module's queries on a session of the library's own, and rows added
// through live results of that session.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "engine/component/kura_query.h"
#include "engine/component/kura_session.h"
#include "engine/storage/file_list.h"
#include "engine/storage/testing/storage_fixture.h"
#include "library/data_module.h"
#include "library/testing/test_library.h"

namespace sorabeku::testing {

// The process's working directory is the scratch directory while the
// object lives, so that "kyozai" names the tables created there.
class LibraryDirectory {
 public:
  LibraryDirectory();
  ~LibraryDirectory();
  LibraryDirectory(const LibraryDirectory&) = delete;
  LibraryDirectory& operator=(const LibraryDirectory&) = delete;
  // The scratch directory; the tables are in its "kyozai".
  const std::string& Path() const { return dir_.Path(); }

 private:
  kura::testing::ScratchDir dir_;
  std::filesystem::path old_;
};

// A session of its own, made inactive (its tables closed) when the object
// goes.
class LibrarySession {
 public:
  // `files`: the file list of the session (the process's when null), which
  // must outlive the object.
  LibrarySession(const std::string& privateDir, kura::TFileList* files);
  ~LibrarySession();
  LibrarySession(const LibrarySession&) = delete;
  LibrarySession& operator=(const LibrarySession&) = delete;
  const std::string& Name() const { return name_; }
  kura::TKuraSession& Session() { return kura::Sessions().SessionByName(name_); }

 private:
  std::string name_;
};

// Counts the rows a bound grid would have followed.
class ScrollCounter final : public kura::TDataLink {
 public:
  void DataEvent(kura::TDataEvent event, int) override {
    if (event == kura::TDataEvent::deDataSetScroll) ++moves;
  }
  int moves = 0;
};

class EngineLibrary final : public TestLibrary {
 public:
  // `files`: as for LibrarySession. The session's lock waits are short, so
  // that a lock held elsewhere fails at once.
  explicit EngineLibrary(kura::TFileList* files = nullptr);
  ~EngineLibrary() override;

  kura::TDataSet& KuraQuery1() override { return module_.KuraQuery1(); }
  kura::TDataSet& KuraQuery2() override { return module_.KuraQuery2(); }
  kura::TDataSet& KuraQuery4() override { return module_.KuraQuery4(); }
  void OpenContents(int section, int mode) override { module_.OpenContents(section, mode); }
  void OpenProblemRows(int problem) override { module_.OpenProblemRows(problem); }
  void OpenBranchPoints(int problem) override { module_.OpenBranchPoints(problem); }
  void StartTransaction() override { module_.StartTransaction(); }
  void Commit() override { module_.Commit(); }
  void Rollback() override { module_.Rollback(); }

  void AddRow(const FigureRow& row) override;
  void AddProblem(int mnb, int size, const std::string& cmt = "") override;
  std::optional<int> MovesWhileAttached() const override { return scrolls_.moves; }
  ProblemQueries& Queries() override { return module_; }
  // `kura verify` of the library's directory, run in this process.
  std::optional<std::string> VerifyReport() override;

  TDataModule1& Module() { return module_; }
  kura::TKuraSession& Session() { return session_.Session(); }
  // The directory holding "kyozai".
  const std::string& Path() const { return directory_.Path(); }

 private:
  void SetIfAny(int field, int value, bool always);

  LibraryDirectory directory_;
  LibrarySession session_;
  TDataModule1 module_;
  kura::TKuraQuery figure_;
  kura::TKuraQuery mokuji_;
  ScrollCounter scrolls_;
};

}  // namespace sorabeku::testing
