// Cursor behaviour on real tables: moving and its answers at the edges,
// counting, repositioning after changes, record locks, defaults, BLOB
// values, and filters resolved through indexes (counting what they read).
#include "engine/storage/storage_cursor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "engine/expr/date_time.h"
#include "engine/storage/coding.h"
#include "engine/storage/index_file_trees.h"
#include "engine/storage/table_filter_source.h"
#include "engine/storage/testing/cursor_fixture.h"

namespace kura {
namespace {

using sql::Value;
using testing::CodeOf;
using testing::Condition;
using testing::FigureIndexes;
using testing::FigureShape;
using testing::Forward;
using testing::Backward;
using testing::IndexChoice;
using testing::ScratchDir;

using Records = std::vector<std::int32_t>;

class CursorTest : public ::testing::Test {
 protected:
  void Create(const IndexChoice& indexes, const DataFileDefinition& def = FigureShape()) {
    cursor_.Create("figure", {}, def, FigureIndexes(indexes));
  }
  // Adds a row (ID, MNB, BFR, CMT); INT32_MIN stands for null.
  std::int32_t Add(TDataCursor& c, std::int32_t id, std::int32_t mnb, std::int32_t bfr = 0,
                   const std::string& cmt = "x") {
    std::vector<std::uint8_t> image = c.NewRecord();
    auto set = [&](int field, std::int32_t v) {
      c.SetField(image.data(), field, v == INT32_MIN ? Value::Null() : Value::Integer(v));
    };
    set(1, id);
    set(2, mnb);
    set(3, bfr);
    c.SetField(image.data(), 4, Value::String(cmt));
    return c.AddRecord(image.data(), false);
  }
  std::int64_t Mnb(TDataCursor& c) {
    EXPECT_EQ(c.ReadCurrent(), 0);
    return c.GetField(c.Image(), 2).integer;
  }
  void SetMnbOfCurrent(TDataCursor& c, std::int32_t mnb) {
    ASSERT_EQ(c.ReadCurrent(nullptr, true), 0);
    std::vector<std::uint8_t> image(c.Image(), c.Image() + c.RecordLength());
    c.SetField(image.data(), 2, Value::Integer(mnb));
    c.ModifyRecord(image.data());
  }

  TDataSession session_;
  ScratchDir dir_;
  TDataDirectory directory_{session_, dir_.Path()};
  TDataCursor cursor_{session_, directory_};
};

TEST_F(CursorTest, EmptyTableHasNoCurrentRecordWhicheverWayItMoves) {
  Create({.byMnb = true});
  for (int order : {kRecordOrder, 1}) {
    cursor_.SetOrder(order);
    cursor_.First();
    EXPECT_TRUE(cursor_.AtBeginning() && cursor_.AtEnd());
    EXPECT_EQ(cursor_.ReadCurrent(), KURA_NOCURRREC);
    EXPECT_FALSE(cursor_.Next());
    EXPECT_TRUE(cursor_.AtBeginning() && cursor_.AtEnd());
    EXPECT_FALSE(cursor_.Prior());
    EXPECT_EQ(cursor_.ReadCurrent(), KURA_NOCURRREC);
    EXPECT_EQ(cursor_.RecordCount(), 0u);
    EXPECT_EQ(cursor_.CurrentOrdinal(), 0u);
  }
}

TEST_F(CursorTest, MovesAnswerAtTheEdgesAndCountInRecordOrder) {
  Create({});
  for (int i = 1; i <= 5; ++i) Add(cursor_, i, 10 * i);
  cursor_.First();
  EXPECT_EQ(cursor_.ReadCurrent(), KURA_BOF);
  EXPECT_EQ(Forward(cursor_), (Records{1, 2, 3, 4, 5}));
  EXPECT_TRUE(cursor_.AtEnd());
  EXPECT_FALSE(cursor_.AtBeginning());
  EXPECT_EQ(cursor_.ReadCurrent(), KURA_EOF);
  EXPECT_EQ(Backward(cursor_), (Records{5, 4, 3, 2, 1}));
  EXPECT_EQ(cursor_.ReadCurrent(), KURA_BOF);
  ASSERT_TRUE(cursor_.MoveTo(4));
  EXPECT_EQ(Mnb(cursor_), 40);
  EXPECT_EQ(cursor_.CurrentOrdinal(), 4u);
  EXPECT_FALSE(cursor_.MoveTo(6));
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 4);
  EXPECT_EQ(cursor_.RecordCount(), 5u);
}

TEST_F(CursorTest, DeletingMovesToTheNextVisibleRecordElseThePrevious) {
  Create({});
  for (int i = 1; i <= 5; ++i) Add(cursor_, i, i);
  ASSERT_TRUE(cursor_.MoveTo(2));
  cursor_.DeleteRecord();
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 3);
  cursor_.DeleteRecord();
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 4);
  EXPECT_EQ(Mnb(cursor_), 4);
  ASSERT_TRUE(cursor_.MoveTo(3));  // record 5
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 5);
  cursor_.DeleteRecord();
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 4);
  EXPECT_EQ(Forward(cursor_), (Records{1, 4}));
  EXPECT_EQ(cursor_.RecordCount(), 2u);
  cursor_.MoveTo(1);
  cursor_.DeleteRecord();
  cursor_.DeleteRecord();
  EXPECT_TRUE(cursor_.AtBeginning() && cursor_.AtEnd());
  EXPECT_EQ(cursor_.ReadCurrent(), KURA_NOCURRREC);
}

TEST_F(CursorTest, AddWithoutPrimaryKeyFieldsLandsLastInRecordOrder) {
  Create({.byMnb = true});
  for (int i = 1; i <= 5; ++i) Add(cursor_, i, i);
  cursor_.SetOrder(kRecordOrder);
  cursor_.MoveTo(2);
  cursor_.DeleteRecord();
  cursor_.MoveTo(3);  // record 4
  cursor_.DeleteRecord();
  const std::int32_t n = Add(cursor_, 9, 0);
  EXPECT_EQ(n, 6);
  EXPECT_EQ(Forward(cursor_), (Records{1, 3, 5, 6}));
  // In the MNB order it is first.
  cursor_.SetOrder(1);
  EXPECT_EQ(Forward(cursor_), (Records{6, 1, 3, 5}));
}

TEST_F(CursorTest, DuplicateKeyChangesNothing) {
  Create({.primaryOnId = true, .byMnb = true, .mnbUnique = true});
  for (int i = 1; i <= 3; ++i) Add(cursor_, i, i);
  EXPECT_EQ(CodeOf([&] { Add(cursor_, 4, 2); }), KURA_KEYVIOL);
  EXPECT_EQ(CodeOf([&] { Add(cursor_, 2, 7); }), KURA_KEYVIOL);
  EXPECT_EQ(cursor_.RecordCount(), 3u);
  EXPECT_EQ(cursor_.Table().Data().RecordCount(), 3);
  cursor_.MoveTo(1);
  EXPECT_EQ(CodeOf([&] { SetMnbOfCurrent(cursor_, 3); }), KURA_KEYVIOL);
  EXPECT_EQ(cursor_.LockedRecord(), 1);  // the edit's lock stays until cancel
  cursor_.CancelEdit();
  EXPECT_EQ(cursor_.LockedRecord(), 0);
  EXPECT_EQ(Mnb(cursor_), 1);
}

TEST_F(CursorTest, IndexOrderFollowsKeysAndKeepsTheCurrentRecordAcrossOrders) {
  Create({.primaryOnId = true, .byMnb = true, .byBfrDesc = true});
  const int mnb[] = {30, 10, 50, 20, 40};
  for (int i = 0; i < 5; ++i) Add(cursor_, 5 - i, mnb[i], i);
  // Primary index on ID: 5 4 3 2 1 were added as records 1..5.
  EXPECT_EQ(Forward(cursor_), (Records{5, 4, 3, 2, 1}));
  cursor_.SetOrderByName("bymnb");
  EXPECT_EQ(Forward(cursor_), (Records{2, 4, 1, 5, 3}));
  EXPECT_EQ(Backward(cursor_), (Records{3, 5, 1, 4, 2}));
  ASSERT_TRUE(cursor_.MoveTo(3));
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 1);
  EXPECT_EQ(cursor_.CurrentOrdinal(), 3u);
  cursor_.SetOrderByName("ByBFR");  // descending on BFR = 0..4
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 1);
  EXPECT_EQ(cursor_.CurrentOrdinal(), 5u);
  EXPECT_EQ(Forward(cursor_), (Records{5, 4, 3, 2, 1}));
  EXPECT_EQ(CodeOf([&] { cursor_.SetOrderByName("Nothing"); }), KURA_INVALIDINDEXNAME);
  EXPECT_EQ(CodeOf([&] { cursor_.SetOrder(7); }), KURA_OUTOFRANGE);
  // A range on MNB 20 ... 40.
  cursor_.SetOrder(1);
  std::vector<std::uint8_t> low(9, 0), high(9, 0xFF);
  low[0] = high[0] = 1;
  EncodeKeyInt32(20, &low[1]);
  EncodeKeyInt32(40, &high[1]);
  cursor_.SetRange(low, high);
  EXPECT_EQ(Forward(cursor_), (Records{4, 1, 5}));
  EXPECT_EQ(cursor_.RecordCount(), 3u);
  cursor_.MoveTo(2);
  EXPECT_EQ(cursor_.CurrentOrdinal(), 2u);
  cursor_.CancelRange();
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 1);
  EXPECT_EQ(cursor_.RecordCount(), 5u);
}

// Walks in index orders over many leaves, with and without a range and a
// filter, turning round at random: every step lands where a model of the
// order says, and both ends answer as they should.
TEST_F(CursorTest, RandomWalksInIndexOrdersAgreeWithAModel) {
  Create({.byMnb = true, .byBfrDesc = true});
  std::mt19937 rng(20261210);
  auto pick = [&](int n) { return static_cast<std::int32_t>(rng() % static_cast<unsigned>(n)); };
  for (int i = 0; i < 3000; ++i) Add(cursor_, i, pick(500), pick(9));
  for (int i = 0; i < 300; ++i) {  // some slots deleted
    ASSERT_TRUE(cursor_.MoveTo(static_cast<std::uint32_t>(1 + pick(static_cast<int>(cursor_.RecordCount())))));
    cursor_.DeleteRecord();
  }
  TIndexTrees& trees = cursor_.Table().Index().Trees();
  // The leading key segment of index `order` for the value `v` of its field.
  auto bound = [&](int order, std::int32_t v) {
    std::vector<std::uint8_t> image = cursor_.NewRecord();
    cursor_.SetField(image.data(), order == 1 ? 2 : 3, Value::Integer(v));
    std::vector<std::uint8_t> key = trees.KeyOf(order, image.data(), 0);
    key.resize(5);
    return key;
  };
  for (int round = 0; round < 24; ++round) {
    const int order = 1 + round % 2;  // ByMNB, ByBFR (descending)
    cursor_.SetOrder(order);
    const KeyComparator& cmp = trees.Tree(order).Comparator();
    const bool ranged = round % 3 != 0;
    std::vector<std::uint8_t> low, high;
    if (ranged) {
      const std::int32_t a = order == 1 ? pick(400) : pick(9);
      const std::int32_t b = a + (order == 1 ? pick(120) : pick(4));
      low = bound(order, order == 1 ? a : b);  // a descending order runs high to low
      high = bound(order, order == 1 ? b : a);
      cursor_.SetRange(low, high);
      low.resize(9, 0x00);
      high.resize(9, 0xFF);
    }
    const bool filtered = round % 4 >= 2;
    const std::int32_t notBfr = pick(9), aboveMnb = pick(400);
    std::unique_ptr<Condition> cond;
    if (filtered) {
      cond = std::make_unique<Condition>(cursor_, "BFR <> " + std::to_string(notBfr) +
                                                      " and MNB > " + std::to_string(aboveMnb));
      cursor_.AddFilter(cond->Root());
    }
    // The model: the visible records sorted by their keys.
    std::vector<std::pair<std::vector<std::uint8_t>, std::int32_t>> entries;
    for (std::int32_t n = 1; n <= cursor_.Table().Data().RecordCount(); ++n) {
      const TRecord* r = cursor_.Table().ReadRecord(n);
      if (RecordStatus(r->Data()) != kRecordActive) continue;
      std::vector<std::uint8_t> key = trees.KeyOf(order, r->Data(), RecordRowId(r->Data()));
      if (ranged && (cmp(key.data(), low.data()) < 0 || cmp(key.data(), high.data()) > 0)) continue;
      const std::int64_t mnb = cursor_.GetField(r->Data(), 2).integer;
      const std::int64_t bfr = cursor_.GetField(r->Data(), 3).integer;
      if (filtered && (bfr == notBfr || mnb <= aboveMnb)) continue;
      entries.emplace_back(std::move(key), n);
    }
    std::sort(entries.begin(), entries.end(),
              [&](const auto& x, const auto& y) { return cmp(x.first.data(), y.first.data()) < 0; });
    const int count = static_cast<int>(entries.size());
    ASSERT_EQ(cursor_.RecordCount(), static_cast<std::uint32_t>(count)) << "round " << round;
    // -1 before the first, count after the last.
    int at = -1;
    cursor_.First();
    for (int move = 0; move < 2000; ++move) {
      const bool forward = at < 0 || (at < count && rng() % 8 != 0);
      const int to = forward ? at + 1 : at - 1;
      const bool moved = forward ? cursor_.Next() : cursor_.Prior();
      ASSERT_EQ(moved, to >= 0 && to < count) << "round " << round << " move " << move;
      at = std::clamp(to, -1, count);
      if (moved) {
        ASSERT_EQ(cursor_.CurrentRecordNumber(), entries[static_cast<std::size_t>(at)].second)
            << "round " << round << " move " << move;
      } else {
        ASSERT_TRUE(forward ? cursor_.AtEnd() : cursor_.AtBeginning());
      }
    }
    cursor_.ClearFilters();
    cursor_.CancelRange();
  }
}

// In an index order with a filter the cursor counts the visible records it
// passes, and a step from the last one ends there; a change through the
// cursor that leaves it where it was (deleting or changing the current
// record without moving) must not end the walk early.
TEST_F(CursorTest, AFilteredIndexOrderEndsAtItsLastVisibleRecord) {
  Create({.byMnb = true});
  const int mnb[] = {5, 1, 5, 2, 5, 5, 9, 9};
  for (int i = 0; i < 8; ++i) Add(cursor_, i, mnb[i]);
  cursor_.SetOrder(1);
  Condition c(cursor_, "MNB = 5");
  cursor_.AddFilter(c.Root());
  ASSERT_EQ(Forward(cursor_), (Records{1, 3, 5, 6}));
  EXPECT_FALSE(cursor_.Next());
  EXPECT_TRUE(cursor_.AtEnd());
  EXPECT_TRUE(cursor_.Prior());
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 6);
  EXPECT_EQ(Backward(cursor_), (Records{6, 5, 3, 1}));
  EXPECT_FALSE(cursor_.Prior());
  EXPECT_TRUE(cursor_.AtBeginning());
  // Back from the end onto the last visible record the step found, until
  // a record added through the cursor follows it.
  cursor_.Last();
  EXPECT_TRUE(cursor_.Prior());
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 6);
  EXPECT_EQ(cursor_.CurrentOrdinal(), 4u);
  EXPECT_EQ(Add(cursor_, 8, 5), 9);
  cursor_.Last();
  EXPECT_TRUE(cursor_.Prior());
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 9);
  ASSERT_TRUE(cursor_.MoveTo(5));
  cursor_.DeleteRecord(/*position=*/false);

  ASSERT_TRUE(cursor_.MoveTo(3));  // record 5
  cursor_.DeleteRecord(/*position=*/false);
  EXPECT_TRUE(cursor_.Next());
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 6);
  EXPECT_FALSE(cursor_.Next());

  ASSERT_TRUE(cursor_.MoveTo(2));  // record 3, the second of 1, 3, 6 (key order)
  ASSERT_EQ(cursor_.ReadCurrent(nullptr, true), 0);
  std::vector<std::uint8_t> image(cursor_.Image(), cursor_.Image() + cursor_.RecordLength());
  cursor_.SetField(image.data(), 2, Value::Integer(3));  // now before the 5s, not visible
  cursor_.ModifyRecord(image.data(), /*position=*/false);
  EXPECT_TRUE(cursor_.Next());
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 1);
  EXPECT_TRUE(cursor_.Next());
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 6);
  EXPECT_EQ(cursor_.CurrentOrdinal(), 2u);
  EXPECT_FALSE(cursor_.Next());
}

class CursorOrderTest : public CursorTest, public ::testing::WithParamInterface<int> {};

TEST_P(CursorOrderTest, ModifyThatFailsTheFilterMovesToTheNextVisibleRecord) {
  Create({.byMnb = true});
  const int mnb[] = {5, 1, 5, 2, 5, 5};
  for (int i = 0; i < 6; ++i) Add(cursor_, i, mnb[i]);
  cursor_.SetOrder(GetParam());
  Condition c(cursor_, "MNB = 5");
  cursor_.AddFilter(c.Root());
  const Records all = Forward(cursor_);
  ASSERT_EQ(all, (Records{1, 3, 5, 6}));
  cursor_.MoveTo(2);
  SetMnbOfCurrent(cursor_, 7);
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 5);
  EXPECT_EQ(cursor_.RecordCount(), 3u);
  // The last visible record failing: the one before it becomes current.
  cursor_.MoveTo(3);
  SetMnbOfCurrent(cursor_, 8);
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 5);
  EXPECT_EQ(Forward(cursor_), (Records{1, 5}));
  // A change through this cursor that makes a record pass brings it in.
  cursor_.ClearFilters();
  cursor_.MoveTo(2);
  ASSERT_EQ(cursor_.CurrentRecordNumber(), GetParam() == kRecordOrder ? 2 : 4);
  cursor_.AddFilter(c.Root());
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 0);
  cursor_.ClearFilters();
  cursor_.MoveTo(2);
  SetMnbOfCurrent(cursor_, 5);
  cursor_.AddFilter(c.Root());
  EXPECT_EQ(cursor_.RecordCount(), 3u);
}

TEST_P(CursorOrderTest, ChangesThroughAnotherCursorAreSeenAtTheNextMove) {
  Create({.byMnb = true});
  for (int i = 1; i <= 6; ++i) Add(cursor_, i, i % 2 ? 5 : 6);  // 5 at 1, 3, 5
  TDataCursor other(session_, directory_);
  other.Open("figure");
  cursor_.SetOrder(GetParam());
  Condition c(cursor_, "MNB = 5");
  cursor_.AddFilter(c.Root());
  cursor_.MoveTo(2);
  ASSERT_EQ(cursor_.CurrentRecordNumber(), 3);
  // Another cursor makes record 2 pass and deletes record 1.
  other.MoveTo(2);
  SetMnbOfCurrent(other, 5);
  other.First();
  other.Next();
  other.DeleteRecord();
  // This cursor sees it at its next operation and stays on record 3.
  EXPECT_EQ(cursor_.RecordCount(), 3u);
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 3);
  EXPECT_EQ(cursor_.CurrentOrdinal(), 2u);
  EXPECT_TRUE(cursor_.Prior());
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 2);
  // Its own record deleted by the other: it moves on to the next visible.
  other.MoveTo(2);
  ASSERT_EQ(other.CurrentRecordNumber(), 3);
  cursor_.Next();
  other.DeleteRecord();
  ASSERT_EQ(cursor_.ReadCurrent(), 0);
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 5);
}

TEST_P(CursorOrderTest, FindFirstTakesTheFirstVisibleMatchInTheOrder) {
  Create({.byMnb = true});
  // Records 1..6: (MNB, BFR) = (5,1) (3,2) (4,2) (5,2) (2,2) (5,3).
  const int mnb[] = {5, 3, 4, 5, 2, 5};
  const int bfr[] = {1, 2, 2, 2, 2, 3};
  for (int i = 0; i < 6; ++i) Add(cursor_, i, mnb[i], bfr[i]);
  cursor_.SetOrder(GetParam());
  auto bfrIs = [&](std::int64_t want) {
    return [&, want](const sql::RowAccessor& row) { return row.FieldValue(1, 3).integer == want; };
  };
  // Unfiltered: BFR 2 is first found at record 2 in record order, at
  // record 5 (MNB 2) in MNB order; the image read is that record's.
  ASSERT_TRUE(cursor_.FindFirst(bfrIs(2)));
  EXPECT_EQ(cursor_.CurrentRecordNumber(), GetParam() == kRecordOrder ? 2 : 5);
  EXPECT_EQ(cursor_.GetField(cursor_.Image(), 1).integer, GetParam() == kRecordOrder ? 1 : 4);
  // Filtered on MNB 5: records 1, 4, 6 are visible; only 4 has BFR 2.
  Condition c(cursor_, "MNB = 5");
  cursor_.AddFilter(c.Root());
  ASSERT_TRUE(cursor_.FindFirst(bfrIs(2)));
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 4);
  // A record deleted through another cursor is never found.
  TDataCursor other(session_, directory_);
  other.Open("figure");
  ASSERT_TRUE(other.MoveTo(4));
  other.DeleteRecord();
  EXPECT_FALSE(cursor_.FindFirst(bfrIs(2)));
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 6);  // where the deletion left it
  ASSERT_TRUE(cursor_.FindFirst(bfrIs(3)));
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 6);
}

INSTANTIATE_TEST_SUITE_P(Orders, CursorOrderTest, ::testing::Values(kRecordOrder, 1));

// Without a filter the cursor finds its way back by key alone: the entry
// after the deleted one's key, or before it when none follows.
TEST_F(CursorTest, RecordDeletedByAnotherCursorGivesWayByKeyInAnIndexOrder) {
  Create({.byMnb = true});
  for (int i = 1; i <= 4; ++i) Add(cursor_, i, 10 - i);  // keys descend with the slot
  TDataCursor other(session_, directory_);
  other.Open("figure");
  cursor_.SetOrder(1);
  ASSERT_EQ(Forward(cursor_), (Records{4, 3, 2, 1}));
  cursor_.First();
  cursor_.Next();
  cursor_.Next();
  ASSERT_EQ(cursor_.CurrentRecordNumber(), 3);
  other.MoveTo(3);
  other.DeleteRecord();
  ASSERT_EQ(cursor_.ReadCurrent(), 0);
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 2);
  EXPECT_TRUE(cursor_.Next());
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 1);
  // The last in the order goes: the one before it becomes current.
  other.MoveTo(1);
  other.DeleteRecord();
  ASSERT_EQ(cursor_.ReadCurrent(), 0);
  EXPECT_EQ(cursor_.CurrentRecordNumber(), 2);
  EXPECT_FALSE(cursor_.Next());
  EXPECT_EQ(Backward(cursor_), (Records{2, 4}));
}

// A damaged table: the record last in the index order is marked deleted
// in the data file while the index still holds its entry. A walk that reads
// each record must end with the index corruption error; putting the cursor
// back before that entry made the next step find it again, for ever.
TEST_F(CursorTest, IndexEntryOfARecordNotActiveIsReportedNotWalkedRound) {
  Create({.byMnb = true});
  for (int i = 1; i <= 4; ++i) Add(cursor_, i, i);
  const std::uint64_t status = cursor_.Table().Data().SlotOffset(4);
  cursor_.Close();
  {
    std::fstream f(dir_.Path() + "/figure.DAT", std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(f.is_open());
    f.seekp(static_cast<std::streamoff>(status));
    f.put(static_cast<char>(kRecordDeleted));
  }
  cursor_.Open("figure");
  cursor_.SetOrder(1);
  int steps = 0;
  const ErrorCode code = CodeOf([&] {
    for (cursor_.First(); cursor_.Next() && steps < 100; ++steps) cursor_.ReadCurrent();
  });
  EXPECT_EQ(code, KURA_INDEXCORRUPT);
  EXPECT_LT(steps, 100);
}

TEST_F(CursorTest, ConditionOnAnIndexedFieldReadsOnlyItsKeys) {
  Create({.byMnb = true});
  for (int i = 0; i < 1000; ++i) Add(cursor_, i, i % 100, i % 3);
  auto& source = static_cast<TableFilterSource&>(cursor_.FilterSource());
  const std::uint64_t read0 = source.RecordsRead(), walked0 = source.EntriesWalked();
  Condition eq(cursor_, "MNB = 5");
  TFilter& f = cursor_.AddFilter(eq.Root());
  EXPECT_EQ(source.RecordsRead() - read0, 0u);
  EXPECT_EQ(source.EntriesWalked() - walked0, 10u);
  EXPECT_EQ(cursor_.RecordCount(), 10u);
  EXPECT_EQ(Forward(cursor_).front(), 6);
  cursor_.RemoveFilter(f);

  // The second operand is tested only on the records the index left.
  Condition both(cursor_, "MNB = 5 AND BFR > 0");
  const std::uint64_t read1 = source.RecordsRead();
  cursor_.AddFilter(both.Root());
  EXPECT_EQ(source.RecordsRead() - read1, 10u);
  for (std::int32_t n : Forward(cursor_)) EXPECT_NE((n - 1) % 3, 0) << n;
  EXPECT_EQ(cursor_.RecordCount(), 7u);
  cursor_.ClearFilters();

  // Without the index every record is read.
  Condition onBfr(cursor_, "BFR = 1");
  const std::uint64_t read2 = source.RecordsRead();
  cursor_.AddFilter(onBfr.Root());
  EXPECT_EQ(source.RecordsRead() - read2, 1000u);
  EXPECT_EQ(cursor_.RecordCount(), 333u);
}

// A scan reads its records in blocks from the file: what a transaction
// holds in the cache (a changed record, records beyond the file's end)
// must still be what it tests.
TEST_F(CursorTest, ScansSeeTheRecordsATransactionHasNotWrittenYet) {
  Create({.byMnb = true});
  for (int i = 0; i < 300; ++i) Add(cursor_, i, i % 10, i % 7);
  directory_.StartTransaction();
  ASSERT_TRUE(cursor_.MoveTo(5));
  ASSERT_EQ(cursor_.ReadCurrent(nullptr, true), 0);
  std::vector<std::uint8_t> image(cursor_.Image(), cursor_.Image() + cursor_.RecordLength());
  cursor_.SetField(image.data(), 3, Value::Integer(97));  // MNB 4 + 97
  cursor_.ModifyRecord(image.data());
  for (int i = 0; i < 50; ++i) Add(cursor_, 1000 + i, 1, i % 2 ? 100 : INT32_MIN);
  Condition sum(cursor_, "BFR + MNB = 101");
  cursor_.AddFilter(sum.Root());
  EXPECT_EQ(cursor_.RecordCount(), 26u);
  EXPECT_EQ(Forward(cursor_).front(), 5);
  directory_.Rollback();
  cursor_.Refresh();
  EXPECT_EQ(cursor_.RecordCount(), 0u);
}

TEST_F(CursorTest, NullsNeverMatchResolvedComparisonsAndIsNullFindsExactlyThem) {
  Create({.byMnb = true, .byBfrDesc = true});
  for (int i = 0; i < 40; ++i) Add(cursor_, i, i % 4 == 0 ? INT32_MIN : i % 5, i % 3 ? INT32_MIN : i);
  auto count = [&](const std::string& text) {
    Condition c(cursor_, text);
    cursor_.ClearFilters();
    cursor_.AddFilter(c.Root());
    const std::uint32_t n = cursor_.RecordCount();
    cursor_.ClearFilters();
    return n;
  };
  EXPECT_EQ(count("MNB IS NULL"), 10u);
  EXPECT_EQ(count("MNB IS NOT NULL"), 30u);
  EXPECT_EQ(count("MNB >= 0"), 30u);
  EXPECT_EQ(count("MNB < 100"), 30u);
  EXPECT_EQ(count("MNB BETWEEN 0 AND 4"), 30u);
  EXPECT_EQ(count("MNB IN (0, 1, 2, 3, 4)"), 30u);
  EXPECT_EQ(count("MNB <> 3"), 34u);  // a null is unequal to 3
  EXPECT_EQ(count("BFR IS NULL"), 26u);
  EXPECT_EQ(count("BFR > 10"), 10u);
  EXPECT_EQ(count("BFR <= 10"), 4u);
}

TEST_F(CursorTest, PessimisticLockKeepsOthersOutAndStaleImagesAreRefused) {
  Create({});
  for (int i = 1; i <= 3; ++i) Add(cursor_, i, i);
  TDataCursor other(session_, directory_);
  other.Open("figure");
  cursor_.MoveTo(2);
  other.MoveTo(2);
  ASSERT_EQ(cursor_.ReadCurrent(nullptr, true), 0);
  EXPECT_EQ(cursor_.LockedRecord(), 2);
  EXPECT_EQ(CodeOf([&] { other.DeleteRecord(); }), KURA_RECLOCKFAILED);
  EXPECT_EQ(CodeOf([&] { other.ReadCurrent(nullptr, true); }), KURA_RECLOCKFAILED);
  cursor_.CancelEdit();
  EXPECT_EQ(cursor_.LockedRecord(), 0);

  // What the caller showed is no longer what is stored.
  std::vector<std::uint8_t> shown(cursor_.RecordLength());
  ASSERT_EQ(cursor_.ReadCurrent(shown.data()), 0);
  SetMnbOfCurrent(other, 20);
  std::vector<std::uint8_t> edit = shown;
  cursor_.SetField(edit.data(), 3, Value::Integer(9));
  EXPECT_EQ(CodeOf([&] { cursor_.ModifyRecord(edit.data(), true, shown.data()); }),
            KURA_KEYORRECDELETED);
  EXPECT_EQ(CodeOf([&] { cursor_.DeleteRecord(true, shown.data()); }), KURA_KEYORRECDELETED);
  EXPECT_EQ(cursor_.LockedRecord(), 0);
  EXPECT_EQ(Mnb(cursor_), 20);

  // Optimistic: nothing is locked when the edit begins; the check comes
  // with the store.
  cursor_.SetLockProtocol(TLockProtocol::lpOptimistic);
  ASSERT_EQ(cursor_.ReadCurrent(nullptr, true), 0);
  EXPECT_EQ(cursor_.LockedRecord(), 0);
  SetMnbOfCurrent(other, 21);
  EXPECT_EQ(CodeOf([&] { cursor_.ModifyRecord(edit.data()); }), KURA_KEYORRECDELETED);
  EXPECT_EQ(cursor_.LockedRecord(), 0);
  EXPECT_EQ(Mnb(cursor_), 21);
}

TEST_F(CursorTest, StoringARecordUnchangedWritesNothingButStillChecksIt) {
  Create({.byMnb = true});
  Add(cursor_, 1, 5);
  Add(cursor_, 2, 6);
  TDataFile& data = cursor_.Table().Data();
  const std::int32_t counter = data.ReadHeader().changeCounter;
  ASSERT_TRUE(cursor_.MoveTo(1));
  SetMnbOfCurrent(cursor_, 5);  // the value it has
  EXPECT_EQ(data.ReadHeader().changeCounter, counter);
  EXPECT_EQ(cursor_.LockedRecord(), 0);
  SetMnbOfCurrent(cursor_, 7);
  EXPECT_EQ(data.ReadHeader().changeCounter, counter + 1);
  // Unchanged, but changed by someone else since it was shown: refused.
  std::vector<std::uint8_t> shown(cursor_.RecordLength());
  ASSERT_EQ(cursor_.ReadCurrent(shown.data()), 0);
  TDataCursor other(session_, directory_);
  other.Open("figure");
  ASSERT_TRUE(other.MoveTo(1));
  SetMnbOfCurrent(other, 8);
  EXPECT_EQ(CodeOf([&] { cursor_.ModifyRecord(shown.data(), true, shown.data()); }),
            KURA_KEYORRECDELETED);
  EXPECT_EQ(Mnb(cursor_), 8);
}

TEST_F(CursorTest, NewRecordsTakeTheFieldDefaults) {
  DataFileDefinition def = FigureShape();
  def.fields[1].defaultValue = "7";
  def.fields[3].defaultValue = "abc";
  def.fields.push_back(MakeField(5, "DAY", kFieldDate));
  def.fields.back().defaultValue = "CURRENT_DATE";
  def.fields.push_back(MakeField(6, "AT", kFieldTimestamp));
  def.fields.back().defaultValue = "current_timestamp";
  def.fields.push_back(MakeField(7, "FIXED", kFieldDate));
  def.fields.back().defaultValue = "2001-02-03";
  Create({}, def);
  const std::int32_t today = sql::CurrentDate();
  const std::vector<std::uint8_t> image = cursor_.NewRecord();
  EXPECT_TRUE(cursor_.GetField(image.data(), 1).null);
  EXPECT_EQ(cursor_.GetField(image.data(), 2).integer, 7);
  EXPECT_EQ(cursor_.GetField(image.data(), 4).text, "abc");
  const std::int64_t day = cursor_.GetField(image.data(), 5).integer;
  EXPECT_TRUE(day == today || day == today + 1) << day;
  const double at = cursor_.GetField(image.data(), 6).real;
  EXPECT_NEAR(at, sql::CurrentTimestamp(), 5000.0);
  EXPECT_EQ(cursor_.GetField(image.data(), 7).integer, sql::DayNumber(2001, 2, 3));
}

TEST_F(CursorTest, BlobValuesAreWrittenWithTheRecordAndFreedWithIt) {
  DataFileDefinition def = FigureShape();
  def.fields.push_back(MakeField(5, "NOTE", kFieldBlob, 0, kSubtypeMemo));
  Create({}, def);
  const std::string big(1500, 'q');
  std::vector<std::uint8_t> image = cursor_.NewRecord();
  cursor_.SetField(image.data(), 1, Value::Integer(1));
  cursor_.SetField(image.data(), 5, Value::String(big));
  cursor_.AddRecord(image.data());
  ASSERT_EQ(cursor_.ReadCurrent(), 0);
  EXPECT_EQ(cursor_.GetField(cursor_.Image(), 5).text, big);
  const std::int32_t blocks = cursor_.Table().Blob()->Header().nextBlockNumber - 1;
  EXPECT_EQ(blocks, 4);  // 1500 bytes in blocks of 494
  // A shorter value keeps the first block and frees the rest.
  std::vector<std::uint8_t> edit(cursor_.Image(), cursor_.Image() + cursor_.RecordLength());
  cursor_.SetField(edit.data(), 5, Value::String("short"));
  cursor_.ModifyRecord(edit.data());
  ASSERT_EQ(cursor_.ReadCurrent(), 0);
  EXPECT_EQ(cursor_.GetField(cursor_.Image(), 5).text, "short");
  Condition like(cursor_, "NOTE LIKE 'sh%'");
  cursor_.AddFilter(like.Root());
  EXPECT_EQ(cursor_.RecordCount(), 1u);
  cursor_.ClearFilters();
  cursor_.First();
  cursor_.Next();
  cursor_.DeleteRecord();
  EXPECT_NE(cursor_.Table().Blob()->Header().firstFreeBlock, 0);
  // The freed blocks are taken again by the next value.
  std::vector<std::uint8_t> again = cursor_.NewRecord();
  cursor_.SetField(again.data(), 5, Value::String(big));
  cursor_.AddRecord(again.data());
  EXPECT_EQ(cursor_.Table().Blob()->Header().nextBlockNumber - 1, blocks);
}

}  // namespace
}  // namespace kura
