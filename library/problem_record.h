// ProblemRecord: one problem of the library held in memory — its row of
// the table of contents and its rows of `figure` in row order — as the SGF
// exporter reads it and the importer builds it before anything is written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "library/move_row.h"

namespace sorabeku {

// One row of `figure` without its problem number and position (MNB and
// TNB follow from the record). Texts are UTF-8.
struct ProblemRow {
  int tes = 0;
  int col = 0;
  int pst = 0;
  int bfr = 0;
  int bto = 0;
  std::string cmt{};
  int dix = 0;

  bool operator==(const ProblemRow&) const = default;
};

// The most rows one problem may hold (base diagram and every sequence).
// The importer refuses a larger problem: a real problem holds a few
// hundred rows, and each row is drawn and walked when the problem loads.
inline constexpr std::size_t kMaxProblemRows = 2000;

struct ProblemRecord {
  int number = 0;                  // MNB
  std::optional<int> grade{};      // SIZE; empty when the contents row holds none
  std::string description{};       // CMT of the contents row
  std::vector<ProblemRow> rows{};  // in the order they are appended

  bool operator==(const ProblemRecord&) const = default;
};

// Whether a row is drawn as a stone (black or white, any sign, a display
// code that is not a text mark's 21..39) rather than as a text mark.
inline bool IsStoneRow(const ProblemRow& row) {
  // Compared without negating: COL can be any 32-bit value, INT_MIN too.
  const bool colour = row.col == 1 || row.col == 2 || row.col == -1 || row.col == -2;
  const int kind = row.dix / 10;
  return colour && kind != 2 && kind != 3;
}

// Whether a row's point is on the board (rows elsewhere cannot be drawn).
inline bool OnBoard(const ProblemRow& row) { return row.pst >= 1 && row.pst <= 361; }

// The section (1..3) a problem number belongs to, or 0 for none (0, 1000,
// 2000 and 3000 and above, and negative numbers).
constexpr int SectionOf(int number) {
  for (int section = 1; section <= 3; ++section) {
    if (number > SectionLow(section) && number < SectionHigh(section)) return section;
  }
  return 0;
}

}  // namespace sorabeku
