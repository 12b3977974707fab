// TDataModule1: the data module through which every screen reaches the
// problem library — three query datasets on the database "kyozai" (live
// results, no row limit) and the three data sources that bind them to the
// window's grids.
#pragma once

#include <string>

#include "engine/component/data_source.h"
#include "engine/component/kura_query.h"
#include "library/problem_queries.h"

namespace sorabeku {

// The database the data module's queries name: the program's library.
inline constexpr const char* kLibraryDatabase = "kyozai";

class TDataModule1 final : public ProblemQueries {
 public:
  // The queries use session `sessionName` ("" is the default session);
  // KuraQuery2 and KuraQuery4 start with "select * from figure", KuraQuery1
  // with no statement; none is open.
  explicit TDataModule1(const std::string& sessionName = "");
  // DataModuleDestroy: closes KuraQuery1 and then KuraQuery2.
  ~TDataModule1() override;
  TDataModule1(const TDataModule1&) = delete;
  TDataModule1& operator=(const TDataModule1&) = delete;

  kura::TDataSet& KuraQuery1() override { return kuraQuery1_; }
  kura::TDataSet& KuraQuery2() override { return kuraQuery2_; }
  kura::TDataSet& KuraQuery4() override { return kuraQuery4_; }
  kura::TKuraQuery& Query1() { return kuraQuery1_; }
  kura::TKuraQuery& Query2() { return kuraQuery2_; }
  kura::TKuraQuery& Query4() { return kuraQuery4_; }
  kura::TDataSource& DataSource1() { return dataSource1_; }
  kura::TDataSource& DataSource2() { return dataSource2_; }
  kura::TDataSource& DataSource4() { return dataSource4_; }

  // Each closes its query, replaces the statement with the lines of
  // library_statements.h, sets parameter 0 where one is named and opens.
  // Engine errors pass through.
  void OpenContents(int section, int mode) override;
  void OpenProblemRows(int problem) override;
  void OpenBranchPoints(int problem) override;

  // The transaction of the database "kyozai" (see TKuraDatabase). Rollback,
  // and a Commit that fails, cancel any pending edit and reopen every open
  // query on the rows as they are then, each back on the row it showed: the
  // contents on the same problem number, the others at the same position
  // when it still exists. StartTransaction raises when one runs or when a
  // table is locked by another program, changing nothing; Rollback does
  // nothing when none runs.
  void StartTransaction() override;
  void Commit() override;
  void Rollback() override;

 private:
  kura::TKuraDatabase& Database();
  // Undoes (Rollback) or ends (a failed Commit) the transaction through
  // `end` and reopens the open queries afterwards.
  template <typename End>
  void EndAndReopen(End&& end);

  std::string sessionName_;
  kura::TDataSource dataSource1_;
  kura::TKuraQuery kuraQuery1_;
  kura::TDataSource dataSource2_;
  kura::TKuraQuery kuraQuery2_;
  kura::TDataSource dataSource4_;
  kura::TKuraQuery kuraQuery4_;
};

}  // namespace sorabeku
