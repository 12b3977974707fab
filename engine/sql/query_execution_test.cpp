// Query execution over the program's two tables: the live or canned
// decision, the index chosen for ORDER BY, canned results refilled with new
// parameter values, grouping, scripts, and the temporary files left behind.
#include "engine/sql/query_execution.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/sql/canned_values.h"
#include "engine/storage/field_values.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura::sql {
namespace {

using kura::testing::CodeOf;
using kura::testing::ScratchDir;

// mokuji's index: none, the primary index on MNB, or a descending
// secondary index on MNB.
enum class MokujiIndex { kNone, kPrimaryMnb, kDescendingMnb, kCaseInsensitiveCmt };

TIndexFileHeader MokujiIndexHeader(MokujiIndex kind) {
  TIndexFileHeader h = NewIndexHeader();
  h.noPrimaryFields = 1;
  TIndexDescriptor* d = nullptr;
  if (kind == MokujiIndex::kPrimaryMnb) {
    h.noPrimaryFields = 0;
    d = &h.slots[0];
  } else if (kind != MokujiIndex::kNone) {
    h.secondaryCount = 1;
    d = &h.slots[1];
    d->name = "IX";
  }
  if (d == nullptr) return h;
  d->fieldCount = 1;
  if (kind == MokujiIndex::kCaseInsensitiveCmt) {
    d->fieldNumbers[0] = 3;
    d->keyLength = 62 + 4;
    d->caseInsensitive = 1;
    return h;
  }
  d->fieldNumbers[0] = 1;
  d->keyLength = kind == MokujiIndex::kPrimaryMnb ? 5 : 9;
  d->unique = kind == MokujiIndex::kPrimaryMnb;
  if (kind == MokujiIndex::kDescendingMnb) {
    d->descending = 1;
    d->fieldDescending[0] = 1;
  }
  return h;
}

class ExecutionTest : public ::testing::Test {
 protected:
  ExecutionTest() {
    session_.settings.privateDirectory = private_.Path();
    CreateFigure();
  }

  void CreateFigure() {
    DataFileDefinition def;
    const char* names[] = {"MNB", "TES", "COL", "PST", "BFR", "BTO", "TNB"};
    for (std::uint16_t i = 0; i < 7; ++i) def.fields.push_back(MakeField(i + 1, names[i], kFieldInteger));
    def.fields.push_back(MakeField(8, "CMT", kFieldString, 30));
    def.fields.push_back(MakeField(9, "DIX", kFieldInteger));
    TIndexFileHeader h = NewIndexHeader();
    h.noPrimaryFields = 1;
    TDataTable* t = directory_.CreateTable("figure", {}, def, h);
    // (MNB, TES, BFR): problems 3 and 5, in append order.
    const int rows[][3] = {{3, 0, 0}, {5, 0, 0}, {3, 1, 2}, {3, 2, 1}, {5, 1, 0}, {7, 0, 0}};
    for (const auto& r : rows) {
      std::vector<std::uint8_t> rec(t->Data().RecordLength(), 0);
      SetFieldInt(rec.data(), t->Data().Field(1), r[0]);
      SetFieldInt(rec.data(), t->Data().Field(2), r[1]);
      SetFieldInt(rec.data(), t->Data().Field(5), r[2]);
      SetFieldString(rec.data(), t->Data().Field(8), "m" + std::to_string(r[1]), nullptr);
      t->AppendRecord(rec.data());
    }
    directory_.CloseTable(t);
  }

  void CreateMokuji(MokujiIndex index) {
    DataFileDefinition def;
    def.fields = {MakeField(1, "MNB", kFieldInteger), MakeField(2, "SIZE", kFieldInteger),
                  MakeField(3, "CMT", kFieldString, 60)};
    TDataTable* t = directory_.CreateTable("mokuji", {}, def, MokujiIndexHeader(index));
    const int rows[][2] = {{12, 3}, {1003, 1}, {4, 3}, {0, 2}, {999, 1}, {7, 3}};
    for (const auto& r : rows) {
      std::vector<std::uint8_t> rec(t->Data().RecordLength(), 0);
      SetFieldInt(rec.data(), t->Data().Field(1), r[0]);
      SetFieldInt(rec.data(), t->Data().Field(2), r[1]);
      SetFieldString(rec.data(), t->Data().Field(3), "c" + std::to_string(r[0]), nullptr);
      t->AppendRecord(rec.data());
    }
    directory_.CloseTable(t);
  }

  std::unique_ptr<TQueryExecution> Run(const std::string& text, bool live,
                                       const std::vector<Value>& params = {}) {
    auto q = std::make_unique<TQueryExecution>(session_, catalog_);
    q->SetRequestLive(live);
    q->Prepare(text);
    q->Execute(params);
    return q;
  }

  // Column `field` (from 1) of every record of a table, as integers.
  static std::vector<std::int64_t> Ints(TDataTable& t, int field) {
    std::vector<std::int64_t> v;
    for (std::int32_t n = 1; n <= t.Data().RecordCount(); ++n) {
      TRecord* r = t.ReadRecord(n);
      if (RecordStatus(r->Data()) != kRecordActive) continue;
      const Value x = ReadFieldValue(r->Data(), t.Data().Field(field));
      v.push_back(x.null ? -999 : x.type == kTypeFloat ? static_cast<std::int64_t>(x.real * 10) : x.integer);
    }
    return v;
  }

  int PrivateFiles() const {
    int n = 0;
    // Temporary files live in the session's own directory below it.
    for (const auto& e : std::filesystem::recursive_directory_iterator(private_.Path())) n += e.is_regular_file();
    return n;
  }

  TDataSession session_;
  ScratchDir dir_;
  ScratchDir private_;
  TDataDirectory directory_{session_, dir_.Path()};
  TableCatalog catalog_{directory_};
};

using Ints64 = std::vector<std::int64_t>;

// Column `field` of the rows a cursor shows, in its order.
std::vector<std::int64_t> CursorInts(TDataCursor& c, int field) {
  std::vector<std::int64_t> v;
  c.First();
  while (c.Next()) {
    EXPECT_EQ(c.ReadCurrent(), 0);
    v.push_back(c.GetField(c.Image(), field).integer);
  }
  return v;
}

TEST_F(ExecutionTest, ProblemStatementIsLiveInRecordOrderAndFollowsItsParameter) {
  auto q = Run("select * from figure\nWhere MNB = ?", true, {Value::Integer(3)});
  EXPECT_TRUE(q->Live());
  EXPECT_EQ(q->ChosenIndex(), kNoIndex);
  EXPECT_EQ(q->ResultTable(), nullptr);
  ASSERT_NE(q->LiveFilter(), nullptr);
  EXPECT_EQ(q->RowsAffected(), 3);
  TDataCursor& c = *q->ResultCursor();
  EXPECT_EQ(&c.Table(), q->LiveTable());
  EXPECT_EQ(CursorInts(c, 2), (Ints64{0, 1, 2}));  // TES, in record order

  // Changing MNB through the result takes the row out of it at once.
  c.First();
  ASSERT_TRUE(c.Next());
  ASSERT_TRUE(c.Next());
  std::vector<std::uint8_t> image(c.RecordLength());
  ASSERT_EQ(c.ReadCurrent(image.data(), true), 0);
  c.SetField(image.data(), 1, Value::Integer(9));
  c.ModifyRecord(image.data());
  EXPECT_EQ(c.RecordCount(), 2u);
  EXPECT_EQ(CursorInts(c, 2), (Ints64{0, 2}));
  // A row added through it that satisfies the condition joins the result.
  std::vector<std::uint8_t> added = c.NewRecord();
  c.SetField(added.data(), 1, Value::Integer(3));
  c.SetField(added.data(), 2, Value::Integer(8));
  c.AddRecord(added.data());
  EXPECT_EQ(CursorInts(c, 2), (Ints64{0, 2, 8}));

  q->Execute({Value::Integer(5)});
  EXPECT_EQ(q->RowsAffected(), 2);
  EXPECT_EQ(CursorInts(*q->ResultCursor(), 1), (Ints64{5, 5}));
  q->Execute({Value::Integer(9)});
  EXPECT_EQ(CursorInts(*q->ResultCursor(), 2), (Ints64{1}));
  EXPECT_EQ(PrivateFiles(), 0);
}

TEST_F(ExecutionTest, CannedProblemStatementIsACopyRefilledPerExecution) {
  auto q = Run("select * from figure\nWhere MNB = ?", false, {Value::Integer(3)});
  ASSERT_FALSE(q->Live());
  TDataTable& result = *q->ResultTable();
  EXPECT_EQ(Ints(result, 2), (Ints64{0, 1, 2}));  // TES in record order
  // A change through the result cursor leaves figure as it was.
  TDataCursor& c = *q->ResultCursor();
  EXPECT_EQ(&c.Table(), &result);
  c.First();
  ASSERT_TRUE(c.Next());
  std::vector<std::uint8_t> image(c.RecordLength());
  ASSERT_EQ(c.ReadCurrent(image.data(), true), 0);
  c.SetField(image.data(), 1, Value::Integer(42));
  c.ModifyRecord(image.data());
  EXPECT_EQ(Ints(result, 1), (Ints64{42, 3, 3}));
  EXPECT_EQ(Ints(*q->Sources()[0].table, 1), (Ints64{3, 5, 3, 3, 5, 7}));

  q->Execute({Value::Integer(5)});
  EXPECT_EQ(q->RowsAffected(), 2);
  EXPECT_EQ(Ints(*q->ResultTable(), 1), (Ints64{5, 5}));
  EXPECT_EQ(PrivateFiles(), 2);  // the result table's data and index files
  q.reset();
  EXPECT_EQ(PrivateFiles(), 0);
}

TEST_F(ExecutionTest, ContentsStatementIsLiveOnlyWithAnAscendingIndexLedByMnb) {
  const std::string text = "Select * from mokuji Where (MNB > 0 and MNB < 1000) Order By MNB";
  CreateMokuji(MokujiIndex::kPrimaryMnb);
  auto live = Run(text, true);
  EXPECT_TRUE(live->Live());
  EXPECT_EQ(live->ChosenIndex(), 0);
  EXPECT_EQ(live->RowsAffected(), 4);
  auto desc = Run("Select * from mokuji Order By MNB DESC", true);
  EXPECT_FALSE(desc->Live());
  live.reset();
  desc.reset();
  directory_.DeleteTable("mokuji", false);

  CreateMokuji(MokujiIndex::kNone);
  auto canned = Run(text, true);
  EXPECT_FALSE(canned->Live());
  EXPECT_EQ(Ints(*canned->ResultTable(), 1), (Ints64{4, 7, 12, 999}));
}

TEST_F(ExecutionTest, DescendingOrderIsServedOnlyByADescendingIndex) {
  CreateMokuji(MokujiIndex::kDescendingMnb);
  auto desc = Run("Select * from mokuji Order By MNB DESC", true);
  EXPECT_TRUE(desc->Live());
  EXPECT_EQ(desc->ChosenIndex(), 1);
  auto asc = Run("Select * from mokuji Order By MNB", true);
  EXPECT_FALSE(asc->Live());
  EXPECT_EQ(Ints(*asc->ResultTable(), 1), (Ints64{0, 4, 7, 12, 999, 1003}));
  auto canned = Run("Select * from mokuji Order By SIZE DESC, MNB", false);
  EXPECT_EQ(Ints(*canned->ResultTable(), 1), (Ints64{4, 7, 12, 0, 999, 1003}));
}

// Every column's direction must match, not only the first one's or the
// whole index's: an index on (A, B DESC) serves ORDER BY A, B DESC and
// never ORDER BY A, B, whose result comes out in its own order.
TEST_F(ExecutionTest, AnIndexWhoseDirectionDiffersInOneColumnDoesNotServeTheOrder) {
  Run("CREATE TABLE t (A INTEGER, B INTEGER)", false);
  Run("INSERT INTO t VALUES (2, 1), (1, 2), (1, 1), (1, 3)", false);
  Run("CREATE INDEX T_AB ON t (A, B DESC)", false);
  auto rows = [](TQueryExecution& q) {
    TDataCursor& c = *q.ResultCursor();
    const Ints64 a = CursorInts(c, 1);
    const Ints64 b = CursorInts(c, 2);
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) out.emplace_back(a[i], b[i]);
    return out;
  };
  using Pairs = std::vector<std::pair<std::int64_t, std::int64_t>>;
  auto asc = Run("SELECT A, B FROM t ORDER BY A, B", true);
  EXPECT_FALSE(asc->Live());
  EXPECT_EQ(rows(*asc), (Pairs{{1, 1}, {1, 2}, {1, 3}, {2, 1}}));
  auto mixed = Run("SELECT A, B FROM t ORDER BY A, B DESC", true);
  EXPECT_TRUE(mixed->Live());
  EXPECT_EQ(mixed->ChosenIndex(), 1);
  EXPECT_EQ(rows(*mixed), (Pairs{{1, 3}, {1, 2}, {1, 1}, {2, 1}}));
  auto first = Run("SELECT A, B FROM t ORDER BY A DESC, B DESC", true);
  EXPECT_FALSE(first->Live());
  EXPECT_EQ(rows(*first), (Pairs{{2, 1}, {1, 3}, {1, 2}, {1, 1}}));
}

TEST_F(ExecutionTest, NocaseMattersOnlyForStringColumns) {
  CreateMokuji(MokujiIndex::kCaseInsensitiveCmt);
  EXPECT_TRUE(Run("Select * from mokuji Order By CMT NOCASE", true)->Live());
  EXPECT_FALSE(Run("Select * from mokuji Order By CMT", true)->Live());
}

TEST_F(ExecutionTest, EachOfTheNineRulesMakesTheResultCanned) {
  CreateMokuji(MokujiIndex::kPrimaryMnb);
  EXPECT_TRUE(Run("select MNB, SIZE + 1 from mokuji order by MNB", true)->Live());
  for (const char* text : {
           "select * into copied from mokuji",
           "select distinct SIZE from mokuji",
           "select * from mokuji, figure where mokuji.MNB = figure.MNB",
           "select * from mokuji m join figure f on m.MNB = f.MNB",
           "select SIZE, count(*) from mokuji group by SIZE",
           "select count(*) from mokuji",
           "select * from mokuji order by SIZE",
           "select * from mokuji top 2",
           "select SIZE + 1 AS S from mokuji order by 1"}) {
    EXPECT_FALSE(Run(text, true)->Live()) << text;
  }
  EXPECT_FALSE(Run("select * from mokuji", false)->Live());
}

TEST_F(ExecutionTest, EmptyCannedResultHasNoRows) {
  auto q = Run("select * from figure where MNB = ?", false, {Value::Integer(99)});
  EXPECT_EQ(q->ResultTable()->Data().RecordCount(), 0);
  EXPECT_EQ(q->RowsAffected(), 0);
  EXPECT_TRUE(q->ResultCursor()->AtEnd());
  EXPECT_EQ(q->ResultCursor()->RecordCount(), 0u);
}

TEST_F(ExecutionTest, GroupingAggregatesHavingAndRunningSums) {
  auto q = Run("select MNB, count(*), sum(TES), avg(TES), min(CMT), max(TES), runsum(TES) "
               "from figure group by MNB having count(*) > 1", false);
  TDataTable& r = *q->ResultTable();
  EXPECT_EQ(Ints(r, 1), (Ints64{3, 5}));
  EXPECT_EQ(Ints(r, 2), (Ints64{3, 2}));
  EXPECT_EQ(Ints(r, 3), (Ints64{3, 1}));
  EXPECT_EQ(Ints(r, 4), (Ints64{10, 5}));  // averages × 10
  EXPECT_EQ(Ints(r, 6), (Ints64{2, 1}));
  EXPECT_EQ(Ints(r, 7), (Ints64{3, 4}));
  auto none = Run("select count(*), sum(TES) from figure where MNB = 99", false);
  EXPECT_EQ(Ints(*none->ResultTable(), 1), (Ints64{0}));
  EXPECT_EQ(Ints(*none->ResultTable(), 2), (Ints64{-999}));
}

TEST_F(ExecutionTest, TopMaxRowCountAndInto) {
  EXPECT_EQ(Ints(*Run("select MNB from figure order by MNB desc top 2", false)->ResultTable(), 1),
            (Ints64{7, 5}));
  EXPECT_EQ(Ints(*Run("select MNB from figure top 2", false)->ResultTable(), 1), (Ints64{3, 5}));
  auto limited = std::make_unique<TQueryExecution>(session_, catalog_);
  limited->SetMaxRowCount(4);
  limited->Prepare("select MNB from figure order by MNB");
  limited->Execute();
  EXPECT_EQ(Ints(*limited->ResultTable(), 1), (Ints64{3, 3, 3, 5}));
  limited.reset();

  Run("select MNB, TES into kept from figure where TES > 0", true);
  TDataTable* kept = directory_.OpenTable("kept", {});
  EXPECT_EQ(Ints(*kept, 2), (Ints64{1, 2, 1}));
  directory_.CloseTable(kept);
}

TEST_F(ExecutionTest, ScriptsSumRowsAndRollbackRestoresTheSum) {
  auto q = Run("select * from figure where MNB = 3; select * from figure where MNB = ?", false,
               {Value::Integer(5)});
  EXPECT_EQ(q->RowsAffected(), 5);
  EXPECT_EQ(Ints(*q->ResultTable(), 1), (Ints64{5, 5}));
  q = Run("select * from figure where MNB = 3; start transaction; "
          "select * from figure; rollback; select * from figure where MNB = 7", false);
  EXPECT_EQ(q->RowsAffected(), 4);
  EXPECT_GE(q->ExecutionTime(), 0.0);
  EXPECT_EQ(CodeOf([&] { Run("rollback", false); }), 11949);
  // Executing the script again starts from its first statement.
  q->Execute();
  EXPECT_EQ(q->RowsAffected(), 4);
}

TEST_F(ExecutionTest, NoTemporaryFileRemainsAfterAFailedExecution) {
  auto q = std::make_unique<TQueryExecution>(session_, catalog_);
  q->Prepare("select MNB, count(*) from figure where MNB = ? group by MNB");
  EXPECT_EQ(CodeOf([&] { q->Execute({Value::String("x")}); }), 11949);
  EXPECT_EQ(CodeOf([&] { q->Execute({}); }), 11949);
  q->Execute({Value::Integer(3)});
  EXPECT_EQ(Ints(*q->ResultTable(), 2), (Ints64{3}));
  q.reset();
  EXPECT_EQ(PrivateFiles(), 0);
  EXPECT_EQ(CodeOf([&] { Run("select * from nothing", false); }), 11010);
  EXPECT_EQ(PrivateFiles(), 0);
}

}  // namespace
}  // namespace kura::sql
