#include "library/data_set_grid_source.h"

#include <gtest/gtest.h>

#include "engine/errors/kura_error.h"
#include "library/move_row.h"
#include "library/testing/memory_library.h"

namespace sorabeku {
namespace {

using testing::MemoryLibrary;

class GridSourceTest : public ::testing::Test {
 protected:
  GridSourceTest() : grid(lib.KuraQuery2()) {
    lib.AddRow({.mnb = 4, .col = 1, .pst = 10, .bto = kRootMarker, .tnb = 1});
    lib.AddRow({.mnb = 4, .col = 2, .pst = 11, .cmt = "c", .tnb = 2});
    lib.AddRow({.mnb = 4, .col = 1, .pst = 12, .bfr = 1, .tnb = 3});
    lib.AddRow({.mnb = 5, .col = 1, .pst = 99});
  }
  MemoryLibrary lib;
  DataSetGridSource grid;
};

TEST_F(GridSourceTest, ClosedResultShowsNoRows) {
  EXPECT_EQ(grid.RowCount(), 0);
  EXPECT_EQ(grid.CurrentRow(), -1);
  EXPECT_EQ(grid.Text(0, "PST"), "");
}

TEST_F(GridSourceTest, SnapshotKeepsTheCurrentRowAndDoesNotDragControls) {
  lib.OpenProblemRows(4);
  auto& rows = lib.KuraQuery2();
  rows.Next();
  const int moves = lib.query2().movesWhileAttached();
  ASSERT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(lib.query2().movesWhileAttached(), moves);
  EXPECT_EQ(grid.CurrentRow(), 1);
  EXPECT_EQ(grid.Text(0, "PST"), "10");
  EXPECT_EQ(grid.Text(1, "CMT"), "c");
  EXPECT_EQ(grid.Text(1, "BFR"), "");  // no value
  EXPECT_EQ(grid.Text(2, "bfr"), "1");
  EXPECT_EQ(grid.Text(3, "PST"), "");
  EXPECT_EQ(grid.Text(0, "NOPE"), "");
}

TEST_F(GridSourceTest, TypingStoresTheRowAndBadValuesStoreNothing) {
  lib.OpenProblemRows(4);
  grid.RowCount();
  grid.SetText(2, "COL", "-1");
  EXPECT_EQ(grid.CurrentRow(), 2);
  EXPECT_EQ(lib.figure().records()[2].Int(figure::COL), -1);
  grid.SetText(1, "CMT", "");
  EXPECT_TRUE(lib.figure().records()[1].values[figure::CMT].null);
  const auto writes = lib.figure().writes();
  EXPECT_ANY_THROW(grid.SetText(0, "PST", "x"));
  EXPECT_EQ(lib.figure().writes(), writes);
  EXPECT_EQ(lib.KuraQuery2().State(), kura::TDataSetState::dsBrowse);
  EXPECT_THROW(grid.SetText(0, "NOPE", "1"), kura::EKuraEngineError);
}

TEST_F(GridSourceTest, PendingEditKeepsTheSnapshotAndShowsItsValues) {
  lib.OpenProblemRows(4);
  grid.RowCount();
  auto& rows = lib.KuraQuery2();
  rows.Edit();
  rows.SetFieldAsString(figure::CMT, "typed");
  EXPECT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(rows.State(), kura::TDataSetState::dsEdit);  // not stored by it
  EXPECT_EQ(grid.Text(0, "CMT"), "typed");
  grid.MoveTo(2);  // moving stores the edit
  EXPECT_EQ(lib.figure().records()[0].Str(figure::CMT), "typed");
}

TEST_F(GridSourceTest, AppendedContentsRowIsCurrent) {
  lib.AddProblem(3, 1);
  lib.AddProblem(9, 2);
  lib.OpenContents(1, 0);
  DataSetGridSource contents(lib.KuraQuery1());
  contents.Append({{"MNB", "5"}, {"SIZE", "7"}, {"CMT", "new"}});
  ASSERT_EQ(contents.RowCount(), 3);
  EXPECT_EQ(contents.CurrentRow(), 1);  // in MNB order
  EXPECT_EQ(contents.Text(1, "CMT"), "new");
}

}  // namespace
}  // namespace sorabeku
