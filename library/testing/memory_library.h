// MemoryLibrary: the problem library's two tables and three query results
// held in memory, opened with the same conditions and orders as the
// statements of the data module, for tests of the walks and the screens.
#pragma once

#include <memory>
#include <string>

#include "library/problem_queries.h"
#include "library/testing/memory_data_set.h"

namespace sorabeku::testing {

// One row of `figure` as a test writes it; `tnb` 0 leaves TNB without a
// value, as a newly registered row has until the next renumbering.
struct FigureRow {
  int mnb = 0;
  int tes = 0;
  int col = 0;
  int pst = 0;
  int bfr = 0;
  int bto = 0;
  std::string cmt{};
  int dix = 0;
  int tnb = 0;
};

class MemoryLibrary final : public ProblemQueries {
 public:
  MemoryLibrary();

  kura::TDataSet& KuraQuery1() override { return query1_; }
  kura::TDataSet& KuraQuery2() override { return query2_; }
  kura::TDataSet& KuraQuery4() override { return query4_; }
  void OpenContents(int section, int mode) override;
  void OpenProblemRows(int problem) override;
  void OpenBranchPoints(int problem) override;

  MemoryTable& figure() { return *figure_; }
  MemoryTable& mokuji() { return *mokuji_; }
  MemoryDataSet& query2() { return query2_; }
  MemoryDataSet& query4() { return query4_; }

  // Appends a row to `figure` (BFR, BTO and TNB stay without a value when
  // 0, CMT when empty) / to `mokuji`.
  void AddRow(const FigureRow& row);
  void AddProblem(int mnb, int size, const std::string& cmt = "");

  // The worked example: problem 12 with base diagram 45, 46, 64 (branch 1),
  // sequence A 83, 84 (branch 2), its continuation C 85 "*", 86 (branch 3)
  // and the red single-move sequence B 102 (branch 4).
  void AddWorkedExample();

 private:
  std::shared_ptr<MemoryTable> figure_;
  std::shared_ptr<MemoryTable> mokuji_;
  MemoryDataSet query1_;
  MemoryDataSet query2_;
  MemoryDataSet query4_;
};

}  // namespace sorabeku::testing
