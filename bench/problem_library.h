// The problem library of the training benchmarks: `problems` problems of
// kRowsPerOtherProblem rows each (a base diagram only), except problem
// kBigProblem, which has kBigProblemRows rows: a base diagram of kBaseRows
// rows and sequences of kSequenceRows rows, each continuing the one before
// it or, every third one, branching from the base diagram. A Library has
// AddRow(testing::FigureRow) and AddProblem(number, grade).
#pragma once

#include "library/move_row.h"
#include "library/sequence_walks.h"
#include "library/testing/test_library.h"

namespace sorabeku::bench {

constexpr int kRowsPerOtherProblem = 20;
constexpr int kBigProblem = 12;
constexpr int kBigProblemRows = 300;
constexpr int kBaseRows = 40;
constexpr int kSequenceRows = 10;

// Points spread over the board so that stones rarely touch.
inline int PointFor(int i) { return 1 + (i * 7) % kPointCount; }

template <typename Library>
void AddBigProblem(Library& lib) {
  lib.AddProblem(kBigProblem, 10);
  int row = 0;
  for (; row < kBaseRows; ++row) {
    lib.AddRow({.mnb = kBigProblem, .col = 1 + row % 2, .pst = PointFor(row),
                .bfr = row + 1 == kBaseRows ? 1 : 0,
                .bto = row == 0 ? kRootMarker : 0});
  }
  int branch = 1;
  while (row < kBigProblemRows) {
    const int parent = branch % 3 == 0 ? 1 : branch;
    ++branch;
    for (int k = 0; k < kSequenceRows && row < kBigProblemRows; ++k, ++row) {
      const bool last = k + 1 == kSequenceRows || row + 1 == kBigProblemRows;
      lib.AddRow({.mnb = kBigProblem, .tes = k + 1, .col = 1 + k % 2,
                  .pst = PointFor(row), .bfr = last ? branch : 0,
                  .bto = k == 0 ? parent : 0});
    }
  }
}

// Problem numbers skip 1000 and 2000, which belong to no section.
template <typename Library>
void FillLibrary(Library& lib, int problems) {
  for (int mnb = 1; mnb <= problems; ++mnb) {
    if (mnb == kBigProblem) {
      AddBigProblem(lib);
      continue;
    }
    const int number = mnb < 1000 ? mnb : mnb + 1;
    lib.AddProblem(number, 1 + mnb % 25);
    for (int r = 0; r < kRowsPerOtherProblem; ++r) {
      lib.AddRow({.mnb = number, .col = 1 + r % 2, .pst = PointFor(r),
                  .bfr = r + 1 == kRowsPerOtherProblem ? 1 : 0,
                  .bto = r == 0 ? kRootMarker : 0});
    }
  }
}

}  // namespace sorabeku::bench
