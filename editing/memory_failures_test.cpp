// Writes that fail half-way on the in-memory library, whose tables refuse
// changes after a chosen number: every multi-row change is all or nothing.
#include <gtest/gtest.h>

#include <functional>

#include "editing/edit_buffer.h"
#include "editing/testing/editing_fixture.h"
#include "engine/errors/kura_error.h"
#include "library/testing/memory_library.h"

namespace sorabeku {
namespace {

using testing::EditingTest;
using testing::Row;

// Constructed before the screens that refer to it.
struct MemoryHolder {
  testing::MemoryLibrary memory;
};

class FailingWrites : public MemoryHolder, public EditingTest {
 protected:
  FailingWrites() : EditingTest(&memory) {}
  void SetUp() override {
    memory.AddProblem(3, 1);
    memory.AddWorkedExample();
    Load(12);
    Messages();
  }
  std::vector<testing::MemoryRecord> Figure() { return memory.figure().records(); }
  static bool Same(const std::vector<testing::MemoryRecord>& a,
                   const std::vector<testing::MemoryRecord>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      for (int f = 0; f < figure::kColumnCount; ++f) {
        const testing::MemoryValue& x = a[i].values[f];
        const testing::MemoryValue& y = b[i].values[f];
        if (x.null != y.null || x.integer != y.integer || x.text != y.text) {
          return false;
        }
      }
    }
    return true;
  }
};

TEST_F(FailingWrites, ASequenceRegistrationFailingMidwayLeavesTheProblemAsItWas) {
  Edit1("番号");
  Click(120);
  Click(121, MouseButton::kRight);
  Click(122);
  const auto before = Figure();
  // The second row of three is refused by a lock another program holds.
  memory.figure().FailAfter(1, kura::KURA_LOCKED);
  try {
    form.CuteButton8Click();
    ADD_FAILURE() << "the failed write was reported as success";
  } catch (const kura::EKuraEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kura::KURA_LOCKED);
  }
  memory.figure().ClearFault();
  EXPECT_TRUE(Same(Figure(), before));
  EXPECT_FALSE(memory.InTransaction());
  EXPECT_EQ(CountEditMoves(form.state), 3);  // the author can try again
  EXPECT_EQ(form.state.MoveNumber, 3);
  EXPECT_EQ(Current(figure::BFR), 1);  // back on the end row it continues
  EXPECT_NE(form.screen.panels[0], kRegistered);

  form.CuteButton8Click();
  const auto rows = RowsOf(12);
  ASSERT_EQ(rows.size(), 11u);
  EXPECT_EQ(rows.back(), (Row{3, 1, 122, 5, 0, 11, "", 0}));
}

TEST_F(FailingWrites, EveryMultiRowChangeIsAllOrNothing) {
  Edit1("番号");
  Click(120);
  Click(121);
  const auto before = Figure();
  struct Case {
    const char* name;
    std::function<void()> act;
  };
  const std::vector<Case> cases = {
      {"base diagram", [&] { form.CuteButton2Click(); }},
      {"delete sequence", [&] {
         lib.KuraQuery2().Locate("TNB", {std::int64_t{6}});
         form.CuteButton4Click();
       }},
      {"delete base diagram", [&] { form.CuteButton3Click(); }},
      {"renumber", [&] {
         Edit1("15");
         form.CuteButton11Click();
       }}};
  for (const Case& c : cases) {
    memory.figure().FailAfter(1, kura::KURA_LOCKED);
    EXPECT_THROW(c.act(), kura::EKuraEngineError) << c.name;
    memory.figure().ClearFault();
    EXPECT_TRUE(Same(Figure(), before)) << c.name;
    EXPECT_FALSE(memory.InTransaction()) << c.name;
    EXPECT_EQ(form.state.CurrentProblem, 12) << c.name;
  }
  // The contents row of a failed renumbering stays too.
  EXPECT_TRUE(lib.KuraQuery1().Locate("MNB", {std::int64_t{12}}));
}

}  // namespace
}  // namespace sorabeku
