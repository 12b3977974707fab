// Index maintenance through the table: inserts, updates and deletes keep
// every index and "Sys Deleted" in step with the data file, duplicates are
// refused before anything changes, and a missing index file is rebuilt.
#include "engine/storage/index_file_trees.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "engine/storage/field_values.h"
#include "engine/storage/index_key.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::CodeOf;
using testing::ScratchDir;
using testing::TwoIntsAndString;

// Primary key on A; secondary index "ByName" on S, case-insensitive, not
// unique.
TIndexFileHeader Keyed() {
  TIndexFileHeader h = NewIndexHeader();
  h.slots[0].keyLength = 5;
  h.slots[0].unique = 1;
  h.slots[0].fieldCount = 1;
  h.slots[0].fieldNumbers[0] = 1;
  h.secondaryCount = 1;
  TIndexDescriptor& s = h.slots[1];
  s.name = "ByName";
  s.keyLength = 1 + 21 + 4;
  s.caseInsensitive = 1;
  s.compression = 3;
  s.fieldCount = 1;
  s.fieldNumbers[0] = 3;
  return h;
}

class IndexMaintenanceTest : public ::testing::Test {
 protected:
  void Create(const TIndexFileHeader& h) {
    directory_.CloseTable(directory_.CreateTable("t", {}, TwoIntsAndString(), h));
    table_ = directory_.OpenTable("t", {});
  }
  void Reopen() {
    directory_.CloseTable(table_);
    table_ = directory_.OpenTable("t", {});
  }
  std::vector<std::uint8_t> Image(std::int32_t a, const std::string& s) {
    std::vector<std::uint8_t> rec(41, 0);
    SetFieldInt(rec.data(), table_->Data().Field(1), a);
    SetFieldString(rec.data(), table_->Data().Field(3), s, nullptr);
    return rec;
  }
  void ExpectConsistent() {
    const auto problems = table_->Index().Trees().Check(&table_->Data());
    ASSERT_TRUE(problems.empty()) << problems.front();
  }

  TDataSession session_;
  ScratchDir dir_;
  TDataDirectory directory_{session_, dir_.Path()};
  TDataTable* table_ = nullptr;
};

TEST_F(IndexMaintenanceTest, RandomChangesKeepEveryIndexInStep) {
  Create(Keyed());
  std::mt19937 rng(3);
  std::map<std::int32_t, std::int32_t> keyToRecord;
  for (int step = 1; step <= 3000; ++step) {
    const auto a = std::int32_t(rng() % 2000);
    const std::string s(1 + rng() % 6, "aAbB"[rng() % 4]);
    const int op = int(rng() % 10);
    if (op < 5 || keyToRecord.empty()) {
      if (keyToRecord.count(a)) {
        EXPECT_EQ(CodeOf([&] { table_->AppendRecord(Image(a, s).data()); }), KURA_KEYVIOL);
      } else {
        keyToRecord[a] = table_->AppendRecord(Image(a, s).data());
      }
    } else {
      auto it = keyToRecord.begin();
      std::advance(it, long(rng() % keyToRecord.size()));
      if (op < 8) {
        if (keyToRecord.count(a) && a != it->first) {
          EXPECT_EQ(CodeOf([&] { table_->ModifyRecord(it->second, Image(a, s).data()); }),
                    KURA_KEYVIOL);
        } else {
          table_->ModifyRecord(it->second, Image(a, s).data());
          const std::int32_t n = it->second;
          keyToRecord.erase(it);
          keyToRecord[a] = n;
        }
      } else {
        table_->DeleteRecord(it->second);
        keyToRecord.erase(it);
      }
    }
    if (step % 500 == 0) {
      ASSERT_NO_FATAL_FAILURE(ExpectConsistent());
      Reopen();
      ASSERT_NO_FATAL_FAILURE(ExpectConsistent());
      EXPECT_EQ(table_->Index().Trees().Tree(0).Count(), keyToRecord.size());
    }
  }
  for (const auto& [a, n] : keyToRecord) table_->DeleteRecord(n);
  ASSERT_NO_FATAL_FAILURE(ExpectConsistent());
  EXPECT_EQ(table_->Index().Header().slots[0].rootPage, 0);
  EXPECT_EQ(table_->Index().Header().slots[1].rootPage, 0);
  EXPECT_EQ(table_->Index().ActiveRecordCount(), 0);
  directory_.CloseTable(table_);
}

TEST_F(IndexMaintenanceTest, DuplicateChangesNeitherDataNorIndexes) {
  Create(Keyed());
  for (int i = 0; i < 50; ++i) table_->AppendRecord(Image(i, "x").data());
  table_->DeleteRecord(7);  // a free slot the duplicate must not take
  table_->WriteAllChanges();
  const auto dataBefore = testing::ReadWholeFile(dir_.File("t.DAT"));
  const auto indexBefore = testing::ReadWholeFile(dir_.File("t.IDX"));
  EXPECT_EQ(CodeOf([&] { table_->AppendRecord(Image(20, "y").data()); }), KURA_KEYVIOL);
  EXPECT_EQ(CodeOf([&] { table_->ModifyRecord(3, Image(30, "y").data()); }), KURA_KEYVIOL);
  table_->WriteAllChanges();
  EXPECT_EQ(testing::ReadWholeFile(dir_.File("t.DAT")), dataBefore);
  EXPECT_EQ(testing::ReadWholeFile(dir_.File("t.IDX")), indexBefore);
  EXPECT_EQ(table_->Index().ActiveRecordCount(), 49);
  ASSERT_NO_FATAL_FAILURE(ExpectConsistent());
  directory_.CloseTable(table_);
}

TEST_F(IndexMaintenanceTest, ARowIdStillInUseIsRefusedBeforeAnythingChanges) {
  Create(testing::NoKeyIndex());
  table_->AppendRecord(Image(1, "a").data());
  table_->AppendRecord(Image(2, "b").data());
  EXPECT_EQ(CodeOf([&] { table_->AppendRecord(Image(3, "c").data(), 2); }), KURA_KEYVIOL);
  table_->Data().SetLastRowId(2147483647);  // the next one wraps to 1
  EXPECT_EQ(CodeOf([&] { table_->AppendRecord(Image(3, "c").data()); }), KURA_KEYVIOL);
  EXPECT_EQ(table_->Data().RecordCount(), 2);
  EXPECT_EQ(table_->Index().ActiveRecordCount(), 2);
  table_->DeleteRecord(1);
  EXPECT_EQ(table_->AppendRecord(Image(3, "c").data()), 3);
  EXPECT_EQ(RecordRowId(table_->Data().GetRecord(3)->Data()), 1);
  ASSERT_NO_FATAL_FAILURE(ExpectConsistent());
  directory_.CloseTable(table_);
}

TEST_F(IndexMaintenanceTest, SysDeletedFollowsDeletesAndReusedSlots) {
  Create(Keyed());
  for (int i = 1; i <= 5; ++i) table_->AppendRecord(Image(i, "x").data());
  table_->DeleteRecord(2);
  TIndexTree& deleted = table_->Index().Trees().Tree(kSysDeletedSlot);
  std::uint8_t key[5];
  BuildSysDeletedKey(kRecordDeleted, 2, key);
  EXPECT_EQ(deleted.Find(key), 2);
  BuildSysDeletedKey(kRecordActive, 2, key);
  EXPECT_EQ(deleted.Find(key), 0);
  // Active entries first, in row-id order; the deleted one last.
  IndexEntry last;
  ASSERT_TRUE(deleted.EntryAt(4, &last));
  EXPECT_EQ(last.record, 2);
  // Slot 2 is reused with row id 6: its old entry goes.
  EXPECT_EQ(table_->AppendRecord(Image(9, "y").data()), 2);
  TIndexTree& again = table_->Index().Trees().Tree(kSysDeletedSlot);
  BuildSysDeletedKey(kRecordDeleted, 2, key);
  EXPECT_EQ(again.Find(key), 0);
  BuildSysDeletedKey(kRecordActive, 6, key);
  EXPECT_EQ(again.Find(key), 2);
  EXPECT_EQ(again.Count(), 5u);
  ASSERT_NO_FATAL_FAILURE(ExpectConsistent());
  directory_.CloseTable(table_);
}

TEST_F(IndexMaintenanceTest, MissingIndexFileIsRebuiltFromTheDataFile) {
  Create(testing::NoKeyIndex());
  for (int i = 1; i <= 700; ++i) table_->AppendRecord(Image(i, "x").data());
  for (std::int32_t n = 3; n <= 700; n += 3) table_->DeleteRecord(n);
  directory_.CloseTable(table_);
  std::filesystem::remove(dir_.File("t.IDX"));
  table_ = directory_.OpenTable("t", {});
  EXPECT_TRUE(table_->IndexWasCreated());
  EXPECT_EQ(table_->Index().ActiveRecordCount(), 700 - 233);
  TIndexTree& deleted = table_->Index().Trees().Tree(kSysDeletedSlot);
  EXPECT_EQ(deleted.Count(), 700u);
  IndexEntry e;
  ASSERT_TRUE(deleted.EntryAt(467, &e));  // the first deleted record
  EXPECT_EQ(e.key[0], kRecordDeleted);
  EXPECT_EQ(e.record, 3);
  ASSERT_NO_FATAL_FAILURE(ExpectConsistent());
  Reopen();
  ASSERT_NO_FATAL_FAILURE(ExpectConsistent());
  directory_.CloseTable(table_);
}

}  // namespace
}  // namespace kura
