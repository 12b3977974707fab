// LibraryDirectory: the problem library in a directory chosen by the
// caller rather than "kyozai" below the working directory — for the tools
// that build and exchange libraries. It opens the same three queries as the
// program (TDataModule1) in a session of its own, in which the database
// name "kyozai" stands for that directory, and runs transactions with the
// engine's START TRANSACTION / COMMIT / ROLLBACK. Texts are Shift-JIS, as
// stored; wrap it in ShiftJisQueries for UTF-8.
#pragma once

#include <memory>
#include <string>

#include "engine/component/kura_query.h"
#include "library/data_module.h"
#include "library/problem_queries.h"

namespace sorabeku {

class LibraryDirectory final : public ProblemQueries {
 public:
  // `directory` must exist and hold the tables `figure` and `mokuji`;
  // opening a query raises the engine's error otherwise. Temporary tables
  // of canned results go to the system's temporary directory.
  explicit LibraryDirectory(const std::string& directory);
  ~LibraryDirectory() override;
  LibraryDirectory(const LibraryDirectory&) = delete;
  LibraryDirectory& operator=(const LibraryDirectory&) = delete;

  kura::TDataSet& KuraQuery1() override { return module_->KuraQuery1(); }
  kura::TDataSet& KuraQuery2() override { return module_->KuraQuery2(); }
  kura::TDataSet& KuraQuery4() override { return module_->KuraQuery4(); }
  void OpenContents(int section, int mode) override { module_->OpenContents(section, mode); }
  void OpenProblemRows(int problem) override { module_->OpenProblemRows(problem); }
  void OpenBranchPoints(int problem) override { module_->OpenBranchPoints(problem); }

  void StartTransaction() override { Run("START TRANSACTION"); }
  void Commit() override { Run("COMMIT"); }
  void Rollback() override { Run("ROLLBACK"); }

 private:
  void Run(const char* statement);

  std::string sessionName_;
  std::unique_ptr<TDataModule1> module_;
  kura::TKuraQuery control_;
};

}  // namespace sorabeku
