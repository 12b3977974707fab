// A library in a directory of the caller's choice, with the engine's
// transactions: an import that fails half-way leaves nothing behind.
#include "library/library_directory.h"

#include <gtest/gtest.h>

#include "engine/component/testing/library_tables.h"
#include "engine/storage/testing/storage_fixture.h"
#include "library/problem_import.h"
#include "library/problem_store.h"
#include "library/shift_jis_data_set.h"

namespace sorabeku {
namespace {

TEST(LibraryDirectory, FailedAppendRollsBackEveryProblem) {
  kura::testing::ScratchDir dir;
  kura::testing::CreateLibraryTables(dir.Path());
  {
    LibraryDirectory library(dir.Path());
    ShiftJisQueries queries(library);
    std::vector<ProblemRecord> problems = ImportSgf("(;SBN[1]AB[aa])(;SBN[2]AB[bb];B[cc])").problems;
    // A text that was not made storable: the second problem's move fails
    // after the first problem and the second's base row are written.
    problems[1].rows[1].cmt = "😀";
    EXPECT_THROW(AppendProblems(queries, problems), TextNotStorable);
    EXPECT_FALSE(NumberInUse(queries, 1));
    EXPECT_FALSE(NumberInUse(queries, 2));
    problems[1].rows[1].cmt = "ok";
    AppendProblems(queries, problems);
  }
  LibraryDirectory again(dir.Path());
  ShiftJisQueries queries(again);
  EXPECT_EQ(ReadProblem(queries, 2)->rows.at(1).cmt, "ok");
  EXPECT_EQ(ListSection(queries, 1), (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace sorabeku
