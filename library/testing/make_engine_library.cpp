// The engine backend of the portable library tests: the tables `figure`
// and `mokuji` created in a scratch directory, the statements sent through
// the data module's query datasets, rows added through a live result.
#include <atomic>
#include <filesystem>

#include "engine/component/testing/library_tables.h"
#include "engine/storage/testing/storage_fixture.h"
#include "library/data_module.h"
#include "library/move_row.h"
#include "library/testing/test_library.h"

namespace sorabeku::testing {

namespace {

// Counts the rows the problem grid would have followed.
class ScrollCounter final : public kura::TDataLink {
 public:
  void DataEvent(kura::TDataEvent event, int) override {
    if (event == kura::TDataEvent::deDataSetScroll) ++moves;
  }
  int moves = 0;
};

std::string NewSessionName() {
  static std::atomic<int> counter{0};
  std::string name = "EngineLibrary" + std::to_string(++counter);
  kura::Sessions().AddSession(name);
  return name;
}

// The working directory is the scratch directory for the library's life,
// so that "kyozai" names the tables created there.
class WorkingDirectory {
 public:
  WorkingDirectory() : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.Path());
    std::filesystem::create_directory("kyozai");
    kura::testing::CreateLibraryTables("kyozai");
  }
  ~WorkingDirectory() { std::filesystem::current_path(old_); }
  const std::string& Path() const { return dir_.Path(); }

 private:
  kura::testing::ScratchDir dir_;
  std::filesystem::path old_;
};

class EngineLibrary final : public TestLibrary {
 public:
  EngineLibrary() : sessionName_(NewSessionName()), module_(sessionName_) {
    kura::Sessions().SessionByName(sessionName_).privateDir = directory_.Path();
    module_.DataSource2().AddLink(&scrolls_);
    for (kura::TKuraQuery* q : {&figure_, &mokuji_}) {
      q->SetSessionName(sessionName_);
      q->SetDatabaseName("kyozai");
      q->SetRequestLive(true);
    }
    figure_.AddSQL("select * from figure");
    mokuji_.AddSQL("select * from mokuji");
  }
  ~EngineLibrary() override { module_.DataSource2().RemoveLink(&scrolls_); }

  kura::TDataSet& KuraQuery1() override { return module_.KuraQuery1(); }
  kura::TDataSet& KuraQuery2() override { return module_.KuraQuery2(); }
  kura::TDataSet& KuraQuery4() override { return module_.KuraQuery4(); }
  void OpenContents(int section, int mode) override { module_.OpenContents(section, mode); }
  void OpenProblemRows(int problem) override { module_.OpenProblemRows(problem); }
  void OpenBranchPoints(int problem) override { module_.OpenBranchPoints(problem); }

  void AddRow(const FigureRow& row) override {
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

  void AddProblem(int mnb, int size, const std::string& cmt) override {
    mokuji_.Open();
    mokuji_.Append();
    mokuji_.SetFieldAsInteger(mokuji::MNB, mnb);
    mokuji_.SetFieldAsInteger(mokuji::SIZE, size);
    if (!cmt.empty()) mokuji_.SetFieldAsString(mokuji::CMT, cmt);
    mokuji_.Post();
  }

  std::optional<int> MovesWhileAttached() const override { return scrolls_.moves; }

 private:
  // 0 leaves BFR, BTO and TNB without a value, as a registered row has.
  void SetIfAny(int field, int value, bool always) {
    if (always || value != 0) figure_.SetFieldAsInteger(field, value);
  }

  WorkingDirectory directory_;
  std::string sessionName_;
  TDataModule1 module_;
  kura::TKuraQuery figure_;
  kura::TKuraQuery mokuji_;
  ScrollCounter scrolls_;
};

}  // namespace

std::unique_ptr<TestLibrary> MakeTestLibrary() { return std::make_unique<EngineLibrary>(); }

}  // namespace sorabeku::testing
