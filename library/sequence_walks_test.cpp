#include "library/sequence_walks.h"

#include <gtest/gtest.h>

#include "library/move_row.h"
#include "library/testing/test_library.h"

namespace sorabeku {
namespace {

using testing::FigureRow;
using testing::MakeTestLibrary;
using testing::TestLibrary;

int Pst(kura::TDataSet& rows) { return RowInt(rows, figure::PST); }

// Makes row `n` (1-based, row order) current.
void GoToRow(kura::TDataSet& rows, int n) {
  rows.First();
  for (int i = 1; i < n; ++i) rows.Next();
}

class WorkedExampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lib.AddWorkedExample();
    lib.OpenProblemRows(12);
    RenumberRows(rows());
  }
  kura::TDataSet& rows() { return lib.KuraQuery2(); }

  std::unique_ptr<TestLibrary> owned_ = MakeTestLibrary();
  TestLibrary& lib = *owned_;
  CandidateList candidates{};
};

TEST_F(WorkedExampleTest, RenumberWritesPositionsWithControlsDetached) {
  std::vector<int> tnb;
  for (rows().First(); !rows().Eof(); rows().Next()) {
    tnb.push_back(RowInt(rows(), figure::TNB));
  }
  EXPECT_EQ(tnb, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  const auto movesBefore = lib.MovesWhileAttached();
  RenumberRows(rows());
  EXPECT_EQ(lib.MovesWhileAttached(), movesBefore);
  EXPECT_FALSE(rows().ControlsDisabled());
}

TEST_F(WorkedExampleTest, ClassifiesEveryRowAndReturnsToIt) {
  const PositionKind expected[] = {
      PositionKind::InSequence, PositionKind::InSequence,
      PositionKind::Branching,  PositionKind::InSequence,
      PositionKind::SingleContinuation, PositionKind::InSequence,
      PositionKind::LineEnd,    PositionKind::LineEnd};
  for (int n = 1; n <= 8; ++n) {
    GoToRow(rows(), n);
    candidates[1] = Candidate{7, 7, 7};
    EXPECT_EQ(ClassifyPosition(rows(), candidates), expected[n - 1]) << n;
    EXPECT_EQ(rows().RecNo(), n);
    if (expected[n - 1] == PositionKind::InSequence) {
      EXPECT_EQ(candidates[1].Pst, 7) << "left untouched on an inner row";
    }
  }
}

TEST_F(WorkedExampleTest, CandidatesOfTheBaseDiagramInRowOrder) {
  GoToRow(rows(), 3);
  ASSERT_EQ(ClassifyPosition(rows(), candidates), PositionKind::Branching);
  EXPECT_EQ(candidates[1].Col, 1);
  EXPECT_EQ(candidates[1].Pst, 83);
  EXPECT_EQ(candidates[1].Bto, 1);
  EXPECT_EQ(candidates[2].Col, -1);
  EXPECT_EQ(candidates[2].Pst, 102);
  EXPECT_EQ(candidates[3].Pst, 0);
}

TEST_F(WorkedExampleTest, HeadEndAndStepBack) {
  GoToRow(rows(), 7);
  SeekSequenceHead(rows());
  EXPECT_EQ(Pst(rows()), 85);
  StepBackOneRow(rows());  // from a head row to the end row it continues
  EXPECT_EQ(Pst(rows()), 84);
  StepBackOneRow(rows());
  EXPECT_EQ(Pst(rows()), 83);
  SeekSequenceEnd(rows());
  EXPECT_EQ(Pst(rows()), 84);
  GoToRow(rows(), 2);
  SeekSequenceHead(rows());
  EXPECT_EQ(Pst(rows()), 45);
  StepBackOneRow(rows());  // the root: nothing continues into it
  EXPECT_EQ(Pst(rows()), 45);
  GoToRow(rows(), 8);  // a one-row sequence carries both markers
  SeekSequenceHead(rows());
  EXPECT_EQ(Pst(rows()), 102);
  SeekSequenceEnd(rows());
  EXPECT_EQ(Pst(rows()), 102);
}

TEST_F(WorkedExampleTest, LineOfARowFillsTheSlotsFromTheEnd) {
  GoToRow(rows(), 6);
  LineSlots slots;
  slots.fill(5);
  ASSERT_TRUE(WalkLine(rows(), slots));
  EXPECT_EQ(slots, (LineSlots{0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3}));
  GoToRow(rows(), 8);
  ASSERT_TRUE(WalkLine(rows(), slots));
  EXPECT_EQ(slots, (LineSlots{0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 4}));
  GoToRow(rows(), 1);
  ASSERT_TRUE(WalkLine(rows(), slots));
  EXPECT_EQ(slots, (LineSlots{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST_F(WorkedExampleTest, NextFreeBranchNumberFillsGaps) {
  EXPECT_EQ(NextFreeBranchNumber(lib, 12), 5);
  EXPECT_FALSE(lib.KuraQuery4().Active());  // closed after a full scan
  // Free branch 3 (row 7) by deleting its end row: 3 is handed out next.
  rows().Locate("BFR", {std::int64_t{3}});
  rows().Delete();
  EXPECT_EQ(NextFreeBranchNumber(lib, 12), 3);
  EXPECT_TRUE(lib.KuraQuery4().Active());  // stopped early
  EXPECT_EQ(NextFreeBranchNumber(lib, 99), 1);
}

// A row of sequence C's continuation registered after deletion and
// re-registration belongs to the new owner of the branch number.
TEST_F(WorkedExampleTest, LaterContinuationIsALaterCandidate) {
  lib.AddRow({.mnb = 12, .tes = 1, .col = 1, .pst = 7, .bto = 1, .tnb = 9});
  rows().Close();
  lib.OpenProblemRows(12);
  GoToRow(rows(), 3);
  ASSERT_EQ(ClassifyPosition(rows(), candidates), PositionKind::Branching);
  EXPECT_EQ(candidates[3].Pst, 7);
}

// ---------------------------------------------------------------------------
// Malformed problems: every walk ends, stays inside its arrays and leaves
// the cursor on a row.

class MalformedTest : public ::testing::Test {
 protected:
  kura::TDataSet& Open(int problem = 1) {
    lib.OpenProblemRows(problem);
    return lib.KuraQuery2();
  }
  // The walks' arrays lie between guard words: a write past either end of
  // one shows as a changed guard.
  static constexpr int kGuard = 0x5a5a5a5a;
  struct Guarded {
    int before = kGuard;
    CandidateList candidates{};
    int middle = kGuard;
    LineSlots slots{};
    int after = kGuard;
  };
  void TearDown() override {
    EXPECT_EQ(g.before, kGuard);
    EXPECT_EQ(g.middle, kGuard);
    EXPECT_EQ(g.after, kGuard);
  }
  std::unique_ptr<TestLibrary> owned_ = MakeTestLibrary();
  TestLibrary& lib = *owned_;
  Guarded g;
  CandidateList& candidates = g.candidates;
  LineSlots& slots = g.slots;
};

TEST_F(MalformedTest, EmptyProblem) {
  auto& rows = Open();
  SeekSequenceHead(rows);
  SeekSequenceEnd(rows);
  StepBackOneRow(rows);
  RenumberRows(rows);
  EXPECT_EQ(ClassifyPosition(rows, candidates), PositionKind::InSequence);
  EXPECT_EQ(CollectCandidates(rows, 0, candidates), 0);
  EXPECT_TRUE(WalkLine(rows, slots));
  EXPECT_EQ(slots, LineSlots{});
}

TEST_F(MalformedTest, LastRowWithoutBranchNumberEndsTheSeek) {
  lib.AddRow({.mnb = 1, .col = 1, .pst = 1, .bto = kRootMarker});
  lib.AddRow({.mnb = 1, .col = 2, .pst = 2});
  auto& rows = Open();
  SeekSequenceEnd(rows);
  EXPECT_EQ(Pst(rows), 2);
  EXPECT_EQ(ClassifyPosition(rows, candidates), PositionKind::InSequence);
  EXPECT_TRUE(WalkLine(rows, slots));
  EXPECT_EQ(slots[kLineSlots], 0);
}

TEST_F(MalformedTest, MoreThanTwentyContinuationsKeepsTheFirstTwenty) {
  lib.AddRow({.mnb = 1, .col = 1, .pst = 1, .bfr = 1, .bto = kRootMarker, .tnb = 1});
  for (int i = 0; i < 25; ++i) {
    lib.AddRow({.mnb = 1, .tes = 1, .col = 1, .pst = 100 + i, .bfr = 2 + i,
                .bto = 1, .tnb = 2 + i});
  }
  auto& rows = Open();
  EXPECT_EQ(CollectCandidates(rows, 1, candidates), kCandidateLimit);
  EXPECT_EQ(candidates[kCandidateLimit].Pst, 119);
  rows.First();
  EXPECT_EQ(ClassifyPosition(rows, candidates), PositionKind::Branching);
  EXPECT_EQ(rows.RecNo(), 1);
}

TEST_F(MalformedTest, LineDeeperThanTenSequencesIsRefused) {
  lib.AddRow({.mnb = 1, .col = 1, .pst = 1, .bfr = 1, .bto = kRootMarker});
  for (int b = 1; b <= 10; ++b) {  // base diagram + 10 nested sequences
    lib.AddRow({.mnb = 1, .tes = b, .col = 1, .pst = 1 + b, .bfr = b + 1, .bto = b});
  }
  auto& rows = Open();
  GoToRow(rows, 10);  // 10 sequences deep: fits exactly
  ASSERT_TRUE(WalkLine(rows, slots));
  EXPECT_EQ(slots[1], 1);
  EXPECT_EQ(slots[10], 10);
  GoToRow(rows, 11);
  EXPECT_FALSE(WalkLine(rows, slots));
}

TEST_F(MalformedTest, CyclesAndDanglingBranchesEndTheLineWalk) {
  lib.AddRow({.mnb = 1, .col = 1, .pst = 1, .bfr = 1, .bto = kRootMarker});
  lib.AddRow({.mnb = 1, .tes = 1, .col = 1, .pst = 2, .bfr = 2, .bto = 2});
  lib.AddRow({.mnb = 1, .tes = 1, .col = 1, .pst = 3, .bfr = 3, .bto = 8});
  auto& rows = Open();
  GoToRow(rows, 2);  // continues itself
  EXPECT_FALSE(WalkLine(rows, slots));
  GoToRow(rows, 3);  // continues a branch number no end row carries
  EXPECT_FALSE(WalkLine(rows, slots));
}

TEST_F(MalformedTest, FirstRowWithoutRootMarkerStartsTheBaseDiagram) {
  lib.AddRow({.mnb = 1, .col = 1, .pst = 1});
  lib.AddRow({.mnb = 1, .col = 2, .pst = 2, .bfr = 1});
  lib.AddRow({.mnb = 1, .tes = 1, .col = 1, .pst = 3, .bfr = 2, .bto = 1});
  auto& rows = Open();
  GoToRow(rows, 3);
  ASSERT_TRUE(WalkLine(rows, slots));
  EXPECT_EQ(slots[9], 1);
  EXPECT_EQ(slots[10], 2);
}

// Rows registered since the last renumbering have no TNB: the scan still
// comes back to the row it started from, not to the first row.
TEST_F(MalformedTest, ClassifyReturnsToARowWithoutPosition) {
  lib.AddRow({.mnb = 1, .col = 1, .pst = 1, .bfr = 1, .bto = kRootMarker});
  lib.AddRow({.mnb = 1, .tes = 1, .col = 1, .pst = 2, .bto = 1});
  lib.AddRow({.mnb = 1, .tes = 2, .col = 2, .pst = 3, .bfr = 2});
  lib.AddRow({.mnb = 1, .tes = 3, .col = 1, .pst = 4, .bfr = 3, .bto = 2});
  auto& rows = Open();
  GoToRow(rows, 3);
  EXPECT_EQ(ClassifyPosition(rows, candidates),
            PositionKind::SingleContinuation);
  EXPECT_EQ(Pst(rows), 3);
  EXPECT_EQ(candidates[1].Pst, 4);
}

}  // namespace
}  // namespace sorabeku
