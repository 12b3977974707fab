// The problem cursor as the board's capture check reads it: an adapter of
// the problem result (KuraQuery2) to ProblemRows.
#pragma once

#include "board/problem_rows.h"
#include "engine/component/data_set.h"

namespace sorabeku {

class DataSetProblemRows final : public ProblemRows {
 public:
  // `rows` must outlive the adapter; it may be closed.
  explicit DataSetProblemRows(kura::TDataSet& rows) : rows_(rows) {}

  bool IsOpen() const override { return rows_.Active(); }
  int Tes() const override;
  int Pst() const override;
  int Tnb() const override;
  void First() override { rows_.First(); }
  void Next() override { rows_.Next(); }
  bool Eof() const override { return rows_.Eof(); }
  bool LocateTnb(int tnb) override;

 private:
  kura::TDataSet& rows_;
};

}  // namespace sorabeku
