// TestLibrary: a problem library that tests fill row by row and then use
// through ProblemQueries, as the program does. The walk, dataset-contract
// and training-screen tests are written against it only, so the same tests
// run over any backend: the in-memory one (MemoryLibrary) or one over the
// engine's query datasets, chosen by the MakeTestLibrary linked in.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "library/problem_queries.h"

namespace sorabeku::testing {

// One row of `figure` as a test writes it; 0 in `bfr`, `bto` or `tnb` and
// an empty `cmt` leave that column without a value, as a newly registered
// row has until the next renumbering.
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

class TestLibrary : public ProblemQueries {
 public:
  // Appends a row to `figure` / to `mokuji`, directly to the table.
  virtual void AddRow(const FigureRow& row) = 0;
  virtual void AddProblem(int mnb, int size, const std::string& cmt = "") = 0;

  // What the screens are given: the library itself, or the data module
  // behind it.
  virtual ProblemQueries& Queries() { return *this; }
  // The engine's verify report of the stored tables ("figure: ok\n..."),
  // when the backend stores them in files.
  virtual std::optional<std::string> VerifyReport() { return std::nullopt; }

  // How often the problem result changed its current row while bound
  // controls were attached, when the backend can tell.
  virtual std::optional<int> MovesWhileAttached() const { return std::nullopt; }

  // The worked example: problem 12 with base diagram 45, 46, 64 (branch 1),
  // sequence A 83, 84 (branch 2), its continuation C 85 "*", 86 (branch 3)
  // and the red single-move sequence B 102 (branch 4).
  void AddWorkedExample();
};

// The backend of the test binary.
std::unique_ptr<TestLibrary> MakeTestLibrary();

}  // namespace sorabeku::testing
