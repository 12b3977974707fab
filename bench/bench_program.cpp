// The training screen over the engine: P1 LoadProblem of a 300-row problem
// in a library of 3 000 problems, P2 one AdvanceOneMove inside a sequence.
//   bench_program --workload=P1|P2 [--size=tiny] [--ops=N] [--problems=N]
// The library's tables are created in a scratch directory, filled directly
// and used through the program's data module; one JSON line per run (see
// workload_support.h), times in milliseconds.
#include <cstdio>
#include <string>

#include "bench/problem_library.h"
#include "bench/workload_support.h"
#include "engine/component/kura_query.h"
#include "engine/component/testing/library_tables.h"
#include "engine/storage/storage_cursor.h"
#include "form/recording_services.h"
#include "library/data_module.h"
#include "library/move_row.h"
#include "library/testing/test_library.h"
#include "training/training_screen.h"

namespace sorabeku::bench {
namespace {

using kura::bench::Arg;
using kura::bench::Result;
using kura::bench::Stopwatch;

// The library tables written directly, through one exclusive cursor per
// table (the fast way to fill 3 000 problems); 0 in BFR, BTO or TNB leaves
// the column without a value, as registering does.
class DirectLibrary {
 public:
  DirectLibrary()
      : figure_(session_, directory_), mokuji_(session_, directory_) {
    figure_.Open("figure", {.exclusive = true});
    mokuji_.Open("mokuji", {.exclusive = true});
    image_ = figure_.NewRecord();
  }
  void AddRow(const testing::FigureRow& row) {
    figure_.InitRecord(image_.data());
    const int values[] = {row.mnb, row.tes, row.col, row.pst, row.bfr, row.bto, row.tnb};
    for (int f = 0; f < 7; ++f) {
      const bool optional = f == figure::BFR || f == figure::BTO || f == figure::TNB;
      if (!optional || values[f] != 0) {
        figure_.SetField(image_.data(), f + 1, kura::sql::Value::Integer(values[f]));
      }
    }
    if (!row.cmt.empty()) figure_.SetField(image_.data(), 8, kura::sql::Value::String(row.cmt));
    figure_.SetField(image_.data(), 9, kura::sql::Value::Integer(row.dix));
    figure_.AddRecord(image_.data(), false);
  }
  void AddProblem(int mnb, int size) {
    std::vector<std::uint8_t> image = mokuji_.NewRecord();
    mokuji_.SetField(image.data(), 1, kura::sql::Value::Integer(mnb));
    mokuji_.SetField(image.data(), 2, kura::sql::Value::Integer(size));
    mokuji_.AddRecord(image.data(), false);
  }

 private:
  kura::TDataSession session_;
  kura::TDataDirectory directory_{session_, "kyozai"};
  kura::TDataCursor figure_;
  kura::TDataCursor mokuji_;
  std::vector<std::uint8_t> image_;
};

// The program's data module over the filled library, and the training
// screen on it with the large problem selected.
struct Screen {
  explicit Screen(int problems) : form(platform.services(), "/p/"), training(form, module) {
    kura::testing::CreateLibraryTables("kyozai");
    {
      // As the sample library has it: the index that serves one problem's rows.
      kura::TKuraQuery ddl;
      ddl.SetDatabaseName("kyozai");
      ddl.AddSQL("CREATE INDEX FIGURE_MNB ON figure (MNB)");
      ddl.ExecSQL();
    }
    {
      DirectLibrary lib;
      FillLibrary(lib, problems);
    }
    training.Install();
    form.Create();
    module.OpenContents(1, 0);
    module.KuraQuery1().Locate("MNB", {std::int64_t{kBigProblem}});
  }
  kura::bench::Workspace space;
  RecordingServices platform;
  TDataModule1 module;
  MainForm form;
  TrainingScreen training;
};

Result P1(Screen& s, int ops) {
  Result r{"P1", "ms/load"};
  r.operations = ops;
  Stopwatch w;
  for (int i = 0; i < ops; ++i) {
    s.training.LoadProblem();
    s.platform.sounds.clear();
    s.platform.soundPaths.clear();
  }
  r.kura = w.WallSeconds() * 1e3 / ops;
  r.kuraCpu = w.CpuSeconds() * 1e3 / ops;
  if (s.form.state.CurrentProblem != kBigProblem ||
      s.module.KuraQuery2().RecordCount() != kBigProblemRows) {
    r.note = "the large problem was not loaded";
  }
  return r;
}

// From the head of the second sequence; placing the cursor there is not
// timed.
Result P2(Screen& s, int ops) {
  Result r{"P2", "ms/step"};
  r.operations = ops;
  s.training.LoadProblem();
  const std::int64_t head = kBaseRows + kSequenceRows + 1;
  double wall = 0, cpu = 0;
  for (int i = 0; i < ops; ++i) {
    s.module.KuraQuery2().Locate("TNB", {head});
    s.form.state.CandidatesShown = 0;
    s.platform.sounds.clear();
    s.platform.soundPaths.clear();
    Stopwatch w;
    s.training.AdvanceOneMove();
    wall += w.WallSeconds();
    cpu += w.CpuSeconds();
  }
  r.kura = wall * 1e3 / ops;
  r.kuraCpu = cpu * 1e3 / ops;
  if (s.form.state.MoveNumber != 2) r.note = "no move was played";
  return r;
}

int Main(int argc, char** argv) {
  const std::string workload = Arg(argc, argv, "workload");
  if (workload != "P1" && workload != "P2") {
    std::fprintf(stderr,
                 "usage: bench_program --workload=P1|P2 [--size=tiny] [--ops=N] "
                 "[--problems=N]\n");
    return 2;
  }
  const bool tiny = Arg(argc, argv, "size") == "tiny";
  const std::string opsArg = Arg(argc, argv, "ops");
  const int ops = !opsArg.empty() ? std::stoi(opsArg) : tiny ? 2 : 200;
  const std::string problemsArg = Arg(argc, argv, "problems");
  const int problems = !problemsArg.empty() ? std::stoi(problemsArg) : tiny ? 20 : 3000;
  if (problems <= kBigProblem) {
    std::fprintf(stderr, "bench_program: --problems must be above %d\n", kBigProblem);
    return 2;
  }
  Screen screen(problems);
  kura::bench::Print(workload == "P1" ? P1(screen, ops) : P2(screen, ops));
  return 0;
}

}  // namespace
}  // namespace sorabeku::bench

int main(int argc, char** argv) {
  try {
    return sorabeku::bench::Main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_program: %s\n", e.what());
    return 1;
  }
}
