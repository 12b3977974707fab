// Two users of one table: a cursor of another session in the same process,
// and a cursor in another process. With strict change detection a change
// through the other user is seen at this cursor's next operation, and the
// cursor keeps standing on its current record.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "engine/storage/table_verify.h"
#include "engine/storage/testing/child_process.h"
#include "engine/storage/testing/cursor_fixture.h"

namespace kura {
namespace {

using sql::Value;
using testing::Condition;
using testing::FigureIndexes;
using testing::FigureShape;
using testing::Join;
using testing::Pipe;
using testing::ScratchDir;
using testing::Spawn;

// A user of the table: its own session's directory and a cursor.
struct User {
  User(TFileList& files, bool strict) : session(files) {
    session.settings.strictChangeDetection = strict;
  }
  TDataSession session;
  std::unique_ptr<TDataDirectory> directory;
  std::unique_ptr<TDataCursor> cursor;
  void Open(const std::string& dir) {
    directory = std::make_unique<TDataDirectory>(session, dir);
    cursor = std::make_unique<TDataCursor>(session, *directory);
    cursor->Open("figure");
  }
};

void SetMnb(TDataCursor& c, std::uint32_t ordinal, std::int32_t mnb) {
  ASSERT_TRUE(c.MoveTo(ordinal));
  ASSERT_EQ(c.ReadCurrent(nullptr, true), 0);
  std::vector<std::uint8_t> image(c.Image(), c.Image() + c.RecordLength());
  c.SetField(image.data(), 2, Value::Integer(mnb));
  c.ModifyRecord(image.data());
}

void AddMnb(TDataCursor& c, std::int32_t mnb) {
  std::vector<std::uint8_t> image = c.NewRecord();
  c.SetField(image.data(), 2, Value::Integer(mnb));
  c.AddRecord(image.data(), false);
}

// What the other user does: record 2 passes the filter, record 1 goes, and
// a new passing record is appended (record 7).
void ChangeTable(TDataCursor& c) {
  SetMnb(c, 2, 5);
  ASSERT_TRUE(c.MoveTo(1));
  c.DeleteRecord();
  AddMnb(c, 5);
}

class SharingTest : public ::testing::TestWithParam<int> {
 protected:
  SharingTest() {
    TFileList files(Env::Default());
    User creator(files, false);
    creator.directory = std::make_unique<TDataDirectory>(creator.session, dir_.Path());
    TDataCursor c(creator.session, *creator.directory);
    c.Create("figure", {}, FigureShape(), FigureIndexes({.byMnb = true}));
    for (int i = 1; i <= 6; ++i) AddMnb(c, i % 2 ? 5 : 6);  // 5 at 1, 3, 5
  }

  // This cursor, filtered on MNB = 5 in the test's order, on record 3.
  void Watch(TDataCursor& c, const Condition& cond) {
    c.SetOrder(GetParam());
    c.AddFilter(cond.Root());
    ASSERT_TRUE(c.MoveTo(2));
    ASSERT_EQ(c.CurrentRecordNumber(), 3);
  }
  void ExpectChangeSeen(TDataCursor& c) {
    EXPECT_EQ(c.RecordCount(), 4u);
    EXPECT_EQ(c.CurrentRecordNumber(), 3);
    EXPECT_EQ(c.CurrentOrdinal(), 2u);
    ASSERT_TRUE(c.Prior());
    EXPECT_EQ(c.CurrentRecordNumber(), 2);
    c.Last();
    ASSERT_TRUE(c.Prior());
    EXPECT_EQ(c.CurrentRecordNumber(), 7);
  }

  ScratchDir dir_;
};

TEST_P(SharingTest, AnotherSessionsChangeIsSeenAtTheNextMove) {
  TFileList files(Env::Default());
  User me(files, true), other(files, true);
  me.Open(dir_.Path());
  other.Open(dir_.Path());
  Condition cond(*me.cursor, "MNB = 5");
  Watch(*me.cursor, cond);
  ChangeTable(*other.cursor);
  ExpectChangeSeen(*me.cursor);
}

TEST_P(SharingTest, AnotherProcesssChangeIsSeenAtTheNextMove) {
  Pipe ready, changed;
  const pid_t pid = Spawn([&] {
    if (ready.Receive() != 'r') return 2;
    TFileList files(Env::Default());
    User other(files, true);
    other.Open(dir_.Path());
    ChangeTable(*other.cursor);
    other.cursor->Close();
    changed.Send('c');
    return 0;
  });
  TFileList files(Env::Default());
  User me(files, true);
  me.Open(dir_.Path());
  Condition cond(*me.cursor, "MNB = 5");
  Watch(*me.cursor, cond);
  ready.Send('r');
  ASSERT_EQ(changed.Receive(), 'c');
  ExpectChangeSeen(*me.cursor);
  EXPECT_EQ(Join(pid), 0);
}

INSTANTIATE_TEST_SUITE_P(Orders, SharingTest, ::testing::Values(kRecordOrder, 1));

// Two users with their own file lists (as two processes) change only keys
// of one index, turn about. Each must learn of the other's change and drop
// its cached index pages, or its own change writes stale pages back.
TEST(IndexSharing, AChangedKeyAloneMakesOtherUsersDropTheirPages) {
  ScratchDir dir;
  {
    TFileList files(Env::Default());
    User creator(files, false);
    creator.directory = std::make_unique<TDataDirectory>(creator.session, dir.Path());
    TDataCursor c(creator.session, *creator.directory);
    c.Create("figure", {}, FigureShape(), FigureIndexes({.byMnb = true}));
    for (int i = 1; i <= 6; ++i) AddMnb(c, i);
  }
  TFileList filesA(Env::Default()), filesB(Env::Default());
  User a(filesA, false), b(filesB, false);
  a.Open(dir.Path());
  b.Open(dir.Path());
  a.cursor->SetOrderByName("ByMNB");
  b.cursor->SetOrderByName("ByMNB");
  for (int round = 0; round < 4; ++round) {
    SetMnb(*a.cursor, 1, 100 + round);  // the lowest key goes to the end
    SetMnb(*b.cursor, 1, 200 + round);
  }
  a.cursor->Close();
  b.cursor->Close();
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory check(session, dir.Path());
  const TableVerification v = VerifyTable(check, "figure");
  EXPECT_TRUE(v.Ok()) << v.problems[0];
}

std::int32_t MnbOf(TDataCursor& c) {
  EXPECT_EQ(c.ReadCurrent(), 0);
  return static_cast<std::int32_t>(c.GetField(c.Image(), 2).integer);
}

// A step in an index order goes on from where the last step stood in the
// leaf chain. Between the steps this session's second cursor and another
// user add entries around the current one and delete the one after it
// (enough to split leaves): each step must still land on the entry that
// follows the current one, and the walk must end on the last.
TEST(IndexSharing, StepsInAnIndexOrderMeetChangesMadeBetweenThem) {
  ScratchDir dir;
  using Entry = std::pair<std::int32_t, std::int32_t>;  // MNB, record (= row id)
  std::set<Entry> model;
  TFileList filesA(Env::Default()), filesB(Env::Default());
  User me(filesA, true), other(filesB, true);
  me.directory = std::make_unique<TDataDirectory>(me.session, dir.Path());
  me.cursor = std::make_unique<TDataCursor>(me.session, *me.directory);
  me.cursor->Create("figure", {}, FigureShape(), FigureIndexes({.byMnb = true}));
  for (int i = 0; i < 1500; ++i) {
    const std::int32_t mnb = (i * 7919) % 300;
    AddMnb(*me.cursor, mnb);
    model.insert({mnb, i + 1});
  }
  std::int32_t records = 1500;
  TDataCursor mine(me.session, *me.directory);
  mine.Open("figure");
  other.Open(dir.Path());
  TDataCursor& walker = *me.cursor;
  walker.SetOrderByName("ByMNB");
  mine.SetOrderByName("ByMNB");
  other.cursor->SetOrderByName("ByMNB");
  std::mt19937 rng(14);
  std::optional<Entry> at;
  int steps = 0;
  for (walker.First(); walker.Next(); ++steps) {
    const Entry now{MnbOf(walker), walker.CurrentRecordNumber()};
    const auto want = at ? model.upper_bound(*at) : model.begin();
    ASSERT_NE(want, model.end());
    ASSERT_EQ(now, *want) << "step " << steps;
    at = now;
    TDataCursor& changer = rng() % 2 ? mine : *other.cursor;
    switch (rng() % 4) {
      case 0: {  // a key just before or just after the current one
        const std::int32_t mnb = std::max(0, now.first + static_cast<std::int32_t>(rng() % 3) - 1);
        AddMnb(changer, mnb);
        model.insert({mnb, ++records});
        break;
      }
      case 1: {  // the entry after the current one goes
        const auto next = model.upper_bound(now);
        if (next == model.end()) break;
        ASSERT_TRUE(changer.MoveTo(static_cast<std::uint32_t>(std::distance(model.begin(), next) + 1)));
        ASSERT_EQ(changer.CurrentRecordNumber(), next->second);
        changer.DeleteRecord();
        model.erase(next);
        break;
      }
      default: break;
    }
  }
  ASSERT_TRUE(at);
  EXPECT_EQ(*at, *model.rbegin());
  EXPECT_GT(steps, 1000);
}

// Another process changes the leaf this cursor stands in between two of its
// steps along the chain: it adds entries right after the current one, more
// than a leaf holds, and deletes the entry that followed. The next step
// must see the new entries, and walks on to the end and back to the start
// must meet every entry once, in order.
TEST(IndexSharing, AnotherProcessSplittingTheCurrentLeafBetweenTwoStepsIsSeen) {
  ScratchDir dir;
  {
    TFileList files(Env::Default());
    User creator(files, false);
    creator.directory = std::make_unique<TDataDirectory>(creator.session, dir.Path());
    TDataCursor c(creator.session, *creator.directory);
    c.Create("figure", {}, FigureShape(), FigureIndexes({.byMnb = true}));
    for (int i = 0; i < 600; ++i) AddMnb(c, 10 * i);
  }
  constexpr int kAdded = 400;
  Pipe go, done;
  const pid_t pid = Spawn([&] {
    if (go.Receive() != 'g') return 2;
    TFileList files(Env::Default());
    User other(files, true);
    other.Open(dir.Path());
    other.cursor->SetOrderByName("ByMNB");
    for (int k = 0; k < kAdded; ++k) AddMnb(*other.cursor, 3001);
    // MNB 0 ... 3000 (301 entries), the added ones, then 3010.
    if (!other.cursor->MoveTo(301 + kAdded + 1) || MnbOf(*other.cursor) != 3010) return 3;
    other.cursor->DeleteRecord();
    other.cursor->Close();
    done.Send('d');
    return 0;
  });
  TFileList files(Env::Default());
  User me(files, true);
  me.Open(dir.Path());
  TDataCursor& c = *me.cursor;
  c.SetOrderByName("ByMNB");
  c.First();
  for (int i = 0; i <= 300; ++i) ASSERT_TRUE(c.Next());
  ASSERT_EQ(MnbOf(c), 3000);
  go.Send('g');
  ASSERT_EQ(done.Receive(), 'd');
  EXPECT_EQ(Join(pid), 0);
  std::vector<std::int32_t> after;
  while (c.Next()) after.push_back(MnbOf(c));
  ASSERT_EQ(after.size(), std::size_t(kAdded + 298));
  EXPECT_EQ(after.front(), 3001);
  EXPECT_EQ(after[kAdded - 1], 3001);
  EXPECT_EQ(after[kAdded], 3020);
  EXPECT_TRUE(std::is_sorted(after.begin(), after.end()));
  std::vector<std::int32_t> back;
  c.Last();
  while (c.Prior()) back.push_back(MnbOf(c));
  EXPECT_EQ(back.size(), std::size_t(301 + kAdded + 298));
  EXPECT_TRUE(std::is_sorted(back.rbegin(), back.rend()));
  EXPECT_EQ(back.back(), 0);
}

}  // namespace
}  // namespace kura

namespace kura {
namespace {

// A `figure` table with an index on MNB and `rows` rows, MNB 10, 20, ...
void CreateFigureByMnb(const std::string& dir, int rows) {
  TFileList files(Env::Default());
  User creator(files, false);
  creator.directory = std::make_unique<TDataDirectory>(creator.session, dir);
  TDataCursor c(creator.session, *creator.directory);
  c.Create("figure", {}, FigureShape(), FigureIndexes({.byMnb = true}));
  for (int i = 1; i <= rows; ++i) AddMnb(c, i * 10);
}

std::vector<std::int64_t> MnbsInIndexOrder(TDataCursor& c) {
  std::vector<std::int64_t> seen;
  for (c.First(); c.Next();) {
    if (c.ReadCurrent() != 0) break;
    seen.push_back(c.GetField(c.Image(), 2).integer);
  }
  return seen;
}

// A user whose cached index pages are older than the file (another user
// moved keys since) reads the pages it misses from the file. Those must not
// be mixed with the old ones it still holds: a walk in index order would
// then take entries of the new leaves through the old root, with records
// from its cache. The miss finds the table changed, and the step starts
// again from the cursor's key with every cache dropped.
TEST(IndexSharing, AWalkOverPagesOthersChangedSeesTheNewOrderWhole) {
  ScratchDir dir;
  CreateFigureByMnb(dir.Path(), 600);
  TFileList filesA(Env::Default()), filesB(Env::Default());
  User a(filesA, false), b(filesB, false);
  a.session.settings.dataCacheRecords = 4096;  // every record stays cached
  a.session.settings.dataCacheBytes = 1 << 22;
  a.Open(dir.Path());
  b.Open(dir.Path());
  a.cursor->SetOrderByName("ByMNB");
  b.cursor->SetOrderByName("ByMNB");
  std::vector<std::int64_t> all;
  for (int i = 1; i <= 600; ++i) all.push_back(i * 10);
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(MnbsInIndexOrder(*a.cursor), all) << "round " << round;
    // a's own change leaves it holding the root and one leaf only.
    SetMnb(*a.cursor, 600, 100000 + round);
    all.back() = 100000 + round;
    // The other user moves the lowest 200 keys to the end.
    for (int i = 0; i < 200; ++i) {
      const std::int32_t mnb = 20000 + round * 1000 + i;
      SetMnb(*b.cursor, 1, mnb);
      all.erase(all.begin());
      all.push_back(mnb);
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(MnbsInIndexOrder(*a.cursor), all) << "round " << round;
  }
}

// A record miss in the middle of a search finds that another user added a
// row. The search does not go on with the visible set and the place in the
// index it had worked out before: it starts again, and finds the new row.
TEST(IndexSharing, ASearchThatMeetsAChangeStartsAgainAndFindsTheNewRow) {
  ScratchDir dir;
  CreateFigureByMnb(dir.Path(), 200);
  TFileList filesA(Env::Default()), filesB(Env::Default());
  User a(filesA, false), b(filesB, false);
  a.session.settings.dataCacheRecords = 4;  // records are read as they are met
  a.Open(dir.Path());
  b.Open(dir.Path());
  a.cursor->SetOrderByName("ByMNB");
  Condition cond(*a.cursor, "MNB > 0");
  a.cursor->AddFilter(cond.Root());
  ASSERT_EQ(MnbsInIndexOrder(*a.cursor).size(), 200u);
  AddMnb(*b.cursor, 1);  // first in the order, in a slot a's visible set lacks
  auto mnbIs = [](std::int64_t mnb) {
    return [mnb](const sql::RowAccessor& row) { return row.FieldValue(1, 2).integer == mnb; };
  };
  ASSERT_TRUE(a.cursor->FindFirst(mnbIs(1)));
  EXPECT_EQ(a.cursor->CurrentRecordNumber(), 201);
  EXPECT_EQ(a.cursor->RecordCount(), 201u);
}

}  // namespace
}  // namespace kura
