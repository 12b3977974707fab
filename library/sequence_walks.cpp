#include "library/sequence_walks.h"

#include <cstdint>
#include <limits>

#include "library/move_row.h"

namespace sorabeku {

int RowInt(kura::TDataSet& rows, int column) {
  const std::int64_t v = rows.FieldAsInteger(column);
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) {
    return 0;
  }
  return static_cast<int>(v);
}

namespace {

// Makes the row at 1-based position `recNo` current again (the first row
// when the result is shorter).
void MoveToPosition(kura::TDataSet& rows, int recNo) {
  rows.First();
  for (int i = 1; i < recNo && !rows.Eof(); ++i) rows.Next();
}

}  // namespace

void ReturnToRow(kura::TDataSet& rows, int tnb, int recNo) {
  if (tnb > 0 && rows.Locate("TNB", {std::int64_t{tnb}})) return;
  if (recNo > 0) MoveToPosition(rows, recNo);
}

void SeekSequenceHead(kura::TDataSet& rows) {
  while (RowInt(rows, figure::BTO) == 0) {
    rows.Prior();
    if (rows.Bof()) break;
  }
}

void SeekSequenceEnd(kura::TDataSet& rows) {
  while (RowInt(rows, figure::BFR) == 0) {
    rows.Next();
    if (rows.Eof()) break;
  }
}

void StepBackOneRow(kura::TDataSet& rows) {
  const int bto = RowInt(rows, figure::BTO);
  if (bto != 0) {
    rows.Locate("BFR", {std::int64_t{bto}});
  } else {
    rows.Prior();
  }
}

int CollectCandidates(kura::TDataSet& rows, int branch,
                      CandidateList& candidates) {
  candidates.fill(Candidate{});
  rows.First();
  int n = 0;
  while (!rows.Eof()) {
    // More than 20 continuations lie outside what the list can offer; the
    // first 20 in row order are kept.
    if (n < kCandidateLimit && RowInt(rows, figure::BTO) == branch) {
      ++n;
      candidates[n] = Candidate{RowInt(rows, figure::COL),
                                     RowInt(rows, figure::PST),
                                     RowInt(rows, figure::BTO)};
    }
    rows.Next();
  }
  return n;
}

PositionKind ClassifyPosition(kura::TDataSet& rows, CandidateList& candidates) {
  const int bfr = RowInt(rows, figure::BFR);
  if (bfr == 0) return PositionKind::InSequence;
  const int tnb = RowInt(rows, figure::TNB);
  const int recNo = rows.RecNo();
  const int n = CollectCandidates(rows, bfr, candidates);
  ReturnToRow(rows, tnb, recNo);
  if (n == 0) return PositionKind::LineEnd;
  return n == 1 ? PositionKind::SingleContinuation : PositionKind::Branching;
}

int NextFreeBranchNumber(ProblemQueries& queries, int problem) {
  queries.OpenBranchPoints(problem);
  kura::TDataSet& points = queries.KuraQuery4();
  int i = 1;
  for (points.First(); !points.Eof(); points.Next()) {
    if (RowInt(points, figure::BFR) != i) return i;
    ++i;
  }
  points.Close();
  return i;
}

void RenumberRows(kura::TDataSet& rows) {
  rows.DisableControls();
  try {
    rows.First();
    int k = 0;
    while (!rows.Eof()) {
      ++k;
      // A row that already carries its position (a missing TNB reads as 0,
      // never a position) is left alone: it is neither locked nor read
      // again, so a problem loaded a second time writes nothing and does
      // not wait for rows others are editing.
      if (RowInt(rows, figure::TNB) != k) {
        rows.Edit();
        rows.SetFieldAsInteger(figure::TNB, k);
      }
      rows.Next();  // stores the edit
    }
  } catch (...) {
    rows.EnableControls();
    throw;
  }
  rows.EnableControls();
}

bool WalkLine(kura::TDataSet& rows, LineSlots& slots) {
  slots.fill(0);
  for (int slot = kLineSlots; slot >= 1; --slot) {
    SeekSequenceEnd(rows);
    slots[slot] = RowInt(rows, figure::BFR);
    SeekSequenceHead(rows);
    const int bto = RowInt(rows, figure::BTO);
    // The head walk stops on the first row; without the root marker there
    // it is still the start of the base diagram.
    if (bto == kRootMarker || bto == 0) return true;
    if (!rows.Locate("BFR", {std::int64_t{bto}})) return false;
  }
  return false;  // deeper than the slots, or a cycle of branch numbers
}

}  // namespace sorabeku
