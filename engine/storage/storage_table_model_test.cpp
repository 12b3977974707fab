// Random inserts, updates and deletes checked against an in-memory model,
// with a record cache of three records so that eviction, read-ahead and
// coalesced writes are all exercised; the files are reopened along the way.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "engine/storage/env_fault.h"
#include "engine/storage/field_values.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::NoKeyIndex;
using testing::ScratchDir;
using testing::TwoIntsAndString;

struct Row {
  std::int32_t a;
  std::string s;
};

TIndexFileHeader KeyOnFirstField() {
  TIndexFileHeader h = NewIndexHeader();
  h.slots[0].keyLength = 5;
  h.slots[0].unique = 1;
  h.slots[0].fieldCount = 1;
  h.slots[0].fieldNumbers[0] = 1;
  return h;
}

class ModelTest : public ::testing::TestWithParam<bool> {
 protected:
  ModelTest() {
    session_.settings.dataCacheBytes = 41 * 3;  // three records
  }

  bool Exclusive() const { return GetParam(); }
  TDataTable* OpenTable() { return directory_.OpenTable("model", {.exclusive = Exclusive()}); }

  std::vector<std::uint8_t> Image(const Row& row) {
    std::vector<std::uint8_t> rec(41, 0);
    SetFieldInt(rec.data(), table_->Data().Field(1), row.a);
    SetFieldString(rec.data(), table_->Data().Field(3), row.s, nullptr);
    return rec;
  }

  void CheckAgainstModel() {
    ASSERT_EQ(table_->Index().ActiveRecordCount(), static_cast<std::int32_t>(model_.size()));
    std::int32_t active = 0;
    for (std::int32_t n = 1; n <= table_->Data().RecordCount(); ++n) {
      const bool backwards = n % 2 == 0;
      TRecord* r = table_->ReadRecord(n, true, backwards);
      ASSERT_NE(r, nullptr);
      auto it = model_.find(n);
      if (RecordStatus(r->Data()) != kRecordActive) {
        ASSERT_TRUE(it == model_.end()) << "record " << n << " lost";
        continue;
      }
      ++active;
      ASSERT_TRUE(it != model_.end()) << "record " << n << " should be deleted";
      EXPECT_EQ(GetFieldInt(r->Data(), table_->Data().Field(1)), it->second.a) << n;
      EXPECT_EQ(GetFieldString(r->Data(), table_->Data().Field(3)).value_or(""),
                it->second.s) << n;
    }
    EXPECT_EQ(active, static_cast<std::int32_t>(model_.size()));
  }

  FaultEnv env_{Env::Default()};
  TFileList files_{&env_};
  TDataSession session_{files_};
  ScratchDir dir_;
  TDataDirectory directory_{session_, dir_.Path()};
  TDataTable* table_ = nullptr;
  std::map<std::int32_t, Row> model_;
};

TEST_P(ModelTest, RandomChangesMatchTheModelBeforeAndAfterReopening) {
  for (const bool keyed : {false, true}) {
    SCOPED_TRACE(keyed ? "with primary-key fields" : "without primary-key fields");
    model_.clear();
    directory_.CloseTable(directory_.CreateTable(
        "model", {}, TwoIntsAndString(), keyed ? KeyOnFirstField() : NoKeyIndex()));
    table_ = OpenTable();
    std::mt19937 rng(keyed ? 7 : 11);
    for (int step = 0; step < 1500; ++step) {
      const int op = static_cast<int>(rng() % 10);
      if (op < 5 || model_.empty()) {
        const Row row{static_cast<std::int32_t>(rng()), std::string(rng() % 21, 'a' + step % 26)};
        const std::int32_t n = table_->AppendRecord(Image(row).data());
        ASSERT_EQ(model_.count(n), 0u) << "slot " << n << " reused while active";
        model_[n] = row;
      } else {
        auto it = model_.begin();
        std::advance(it, static_cast<long>(rng() % model_.size()));
        if (op < 8) {
          it->second = {static_cast<std::int32_t>(rng()), std::string(rng() % 21, 'A' + step % 26)};
          table_->ModifyRecord(it->first, Image(it->second).data());
        } else {
          table_->DeleteRecord(it->first);
          model_.erase(it);
        }
      }
      if (step % 250 == 249) {
        ASSERT_NO_FATAL_FAILURE(CheckAgainstModel());
        directory_.CloseTable(table_);
        table_ = OpenTable();
        ASSERT_NO_FATAL_FAILURE(CheckAgainstModel());
      }
      ASSERT_LE(table_->Data().Cache().Size(), table_->Data().Cache().Capacity());
    }
    if (!keyed) {  // every insert appended
      EXPECT_EQ(table_->Data().RecordCount(),
                static_cast<std::int32_t>(table_->Data().Header().lastRowId));
    }
    directory_.CloseTable(table_);
    directory_.DeleteTable("model", false);
  }
}

INSTANTIATE_TEST_SUITE_P(SharedAndExclusive, ModelTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Exclusive" : "Shared"; });

TEST(RecordWrites, DirtyRecordsAreWrittenInRunsOfConsecutiveSlots) {
  FaultEnv env(Env::Default());
  TFileList files(&env);
  TDataSession session(files);
  ScratchDir dir;
  TDataDirectory directory(session, dir.Path());
  directory.CloseTable(directory.CreateTable("runs", {}, TwoIntsAndString(), NoKeyIndex()));
  TDataTable* t = directory.OpenTable("runs", {.exclusive = true});
  std::vector<std::uint8_t> rec(41, 0);
  for (int i = 0; i < 10; ++i) t->AppendRecord(rec.data());
  env.ResetCounters();
  t->WriteAllChanges();
  // One write for the ten new slots, one for the "Sys Deleted" page, one per
  // file header.
  EXPECT_EQ(env.WriteCalls(), 4u);

  for (std::int32_t n : {2, 3, 4, 7, 9}) t->ModifyRecord(n, rec.data());
  env.ResetCounters();
  t->WriteAllChanges();
  EXPECT_EQ(env.WriteCalls(), 3u + 1u);  // runs 2-4, 7, 9 and the data header
  directory.CloseTable(t);
}

TEST(RecordReads, SequentialReadsFetchARunOfTheReadAheadSize) {
  FaultEnv env(Env::Default());
  TFileList files(&env);
  TDataSession session(files);
  ScratchDir dir;
  TDataDirectory directory(session, dir.Path());
  TDataTable* t = directory.CreateTable("ahead", {}, TwoIntsAndString(), NoKeyIndex());
  std::vector<std::uint8_t> rec(41, 0);
  for (int i = 0; i < 400; ++i) t->AppendRecord(rec.data());
  t->DropCaches();
  EXPECT_EQ(t->Data().ReadAheadCount(), 8192 / 41);
  env.ResetCounters();
  for (std::int32_t n = 1; n <= 199; ++n) ASSERT_NE(t->ReadRecord(n, true), nullptr);
  EXPECT_EQ(env.ReadCalls(), 3u);  // two header checks under the read lock, one run
  directory.CloseTable(t);
}

}  // namespace
}  // namespace kura
