// ProblemQueries: the three query results through which every screen
// reaches the problem library, and the statements that open them.
// TDataModule1 implements it over the engine's query datasets; tests use an
// in-memory implementation over the same TDataSet contract.
#pragma once

#include "engine/component/data_set.h"

namespace sorabeku {

class ProblemQueries {
 public:
  virtual ~ProblemQueries() = default;

  // The contents result: rows of `mokuji` of one section in MNB order.
  virtual kura::TDataSet& KuraQuery1() = 0;
  // The problem result: rows of `figure` of the loaded problem in the order
  // in which they were appended. Its current row is the problem cursor.
  virtual kura::TDataSet& KuraQuery2() = 0;
  // The branch-point result: end rows (BFR > 0) of the loaded problem in
  // BFR order.
  virtual kura::TDataSet& KuraQuery4() = 0;

  // (Re)opens KuraQuery1 for `section` (1..3); `mode` 0 lists every grade,
  // 1..25 only that grade. Throws the engine's errors.
  virtual void OpenContents(int section, int mode) = 0;
  // (Re)opens KuraQuery2 on the rows of problem `problem`.
  virtual void OpenProblemRows(int problem) = 0;
  // (Re)opens KuraQuery4 on the end rows of problem `problem`.
  virtual void OpenBranchPoints(int problem) = 0;

  // A transaction around a change of several rows, so that a write that
  // fails half-way (a lock held by another program, a disk error) leaves the
  // library as it was. StartTransaction begins one (throws the engine's
  // error when it cannot, for instance while one is already running);
  // Commit makes the changes since then permanent; Rollback undoes them and
  // leaves every result open on the rows as they were before (its current
  // row is then unspecified). The defaults do nothing: a library without
  // transactions writes every row at once.
  virtual void StartTransaction() {}
  virtual void Commit() {}
  virtual void Rollback() {}
};

}  // namespace sorabeku
