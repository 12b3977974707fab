// The walks over a problem's rows: how the rows of one problem form a base
// diagram and a tree of sequences, and how the problem cursor moves through
// that tree.
//
// The rows are read in the order in which they were appended. The base
// diagram runs from the first row (BTO 9999) to the first row with BFR > 0.
// A sequence runs from a head row (BTO = the branch number it continues) to
// an end row (BFR = its own branch number); rows in between carry 0 in both.
// The continuations of an end row are the sequences whose head row's BTO
// equals its BFR. TNB holds each row's position and serves as a bookmark.
//
// Every walk works on the problem result (KuraQuery2) and moves its current
// row; none draws. The walks never loop forever and never write outside the
// arrays they are given, whatever the rows hold.
#pragma once

#include <array>
#include <type_traits>

#include "engine/component/data_set.h"
#include "form/main_state.h"
#include "library/problem_queries.h"

namespace sorabeku {

inline constexpr int kCandidateLimit = kCandidateSlots;
// The continuations of the current end row, {COL, PST, BTO} of each head
// row, in slots 1..20 (slot 0 is unused); an entry with Pst 0 ends the
// list. MainState keeps one as Candidates.
using CandidateList = std::array<Candidate, kCandidateLimit + 1>;
static_assert(std::is_same_v<CandidateList, decltype(MainState::Candidates)>);

// Number of branch numbers a line can hold, the base diagram included.
inline constexpr int kLineSlots = 10;
// Slots 1..10; slot 0 is unused; 0 means empty.
using LineSlots = std::array<int, kLineSlots + 1>;

enum class PositionKind {
  LineEnd = 0,             // an end row that nothing continues
  SingleContinuation = 1,  // an end row with one continuation
  Branching = 2,           // an end row with two or more continuations
  InSequence = 3,          // BFR 0: the next row continues the sequence
};

// Moves back to the head row of the current sequence: while BTO is 0, to
// the previous row; stops on the first row in any case.
void SeekSequenceHead(kura::TDataSet& rows);

// Moves forward to the end row of the current sequence: while BFR is 0, to
// the next row; stops on the last row in any case.
void SeekSequenceEnd(kura::TDataSet& rows);

// Moves to the row before the current one on its line: from a head row to
// the end row it continues (located by BFR; on the base diagram's first row
// nothing matches and the cursor stays), otherwise to the previous row.
void StepBackOneRow(kura::TDataSet& rows);

// Fills `candidates` with the continuations of branch number `branch` in
// row order and returns how many it stored. Only the first 20 fit; further
// continuations are left out. The cursor ends on the last row.
int CollectCandidates(kura::TDataSet& rows, int branch,
                      CandidateList& candidates);

// Says what follows the current row. On an end row it fills `candidates`
// (CollectCandidates); on any other row `candidates` is left as it was.
// The same row is current afterwards: it is found again by its TNB, or by
// its position when TNB does not find it (rows not yet renumbered).
PositionKind ClassifyPosition(kura::TDataSet& rows, CandidateList& candidates);

// The smallest branch number not used by an end row of `problem`, read in
// ascending BFR order from the branch-point result (opened here, closed
// again when every row was read): 1 without end rows, 3 for 1, 2, 4.
int NextFreeBranchNumber(ProblemQueries& queries, int problem);

// Writes TNB 1..n in row order, with bound controls detached meanwhile;
// only rows whose TNB differs are edited. The cursor ends on the last row.
void RenumberRows(kura::TDataSet& rows);

// The line of the current row: the branch numbers of the end rows of the
// base diagram and of every sequence down to the row's own, filled into
// `slots` from slot 10 towards slot 1 (the other slots are set to 0).
// Returns false, leaving the cursor somewhere on the rows, when an end row
// that a head row continues cannot be found, or when the line is longer
// than 10 sequences (which also stops cyclic references). A first row
// without the root marker is taken as the base diagram's first row.
bool WalkLine(kura::TDataSet& rows, LineSlots& slots);

// Returns to a row noted before a scan: by its TNB, the bookmark the rows
// carry; when no row has that TNB (rows appended since the last
// renumbering read 0 there) by its 1-based position `recNo` instead, so
// that a scan never leaves the cursor on another row.
void ReturnToRow(kura::TDataSet& rows, int tnb, int recNo);

// Reads an integer column of the current row as a 32-bit value (values
// outside the range read as 0, which every walk treats as "none").
int RowInt(kura::TDataSet& rows, int column);

}  // namespace sorabeku
