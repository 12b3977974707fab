// MemoryLibrary: the problem library's two tables and three query results
// held in memory, opened with the same conditions and orders as the
// statements of the data module, for tests of the walks and the screens.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "library/testing/memory_data_set.h"
#include "library/testing/test_library.h"

namespace sorabeku::testing {

class MemoryLibrary final : public TestLibrary {
 public:
  MemoryLibrary();

  kura::TDataSet& KuraQuery1() override { return query1_; }
  kura::TDataSet& KuraQuery2() override { return query2_; }
  kura::TDataSet& KuraQuery4() override { return query4_; }
  void OpenContents(int section, int mode) override;
  void OpenProblemRows(int problem) override;
  void OpenBranchPoints(int problem) override;
  // Transactions by snapshot of both tables; one at a time.
  void StartTransaction() override;
  void Commit() override;
  void Rollback() override;
  bool InTransaction() const { return saved_.has_value(); }

  MemoryTable& figure() { return *figure_; }
  MemoryTable& mokuji() { return *mokuji_; }
  MemoryDataSet& query2() { return query2_; }
  MemoryDataSet& query4() { return query4_; }

  void AddRow(const FigureRow& row) override;
  void AddProblem(int mnb, int size, const std::string& cmt = "") override;
  std::optional<int> MovesWhileAttached() const override {
    return query2_.movesWhileAttached();
  }

 private:
  std::shared_ptr<MemoryTable> figure_;
  std::shared_ptr<MemoryTable> mokuji_;
  MemoryDataSet query1_;
  MemoryDataSet query2_;
  MemoryDataSet query4_;
  struct Saved {
    MemoryTable::Image figure;
    MemoryTable::Image mokuji;
  };
  std::optional<Saved> saved_;
};

}  // namespace sorabeku::testing
