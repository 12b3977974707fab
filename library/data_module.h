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

 private:
  kura::TDataSource dataSource1_;
  kura::TKuraQuery kuraQuery1_;
  kura::TDataSource dataSource2_;
  kura::TKuraQuery kuraQuery2_;
  kura::TDataSource dataSource4_;
  kura::TKuraQuery kuraQuery4_;
};

}  // namespace sorabeku
