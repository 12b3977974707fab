// The commit journal: its bytes, its refusal of damaged or partial
// journals, and recovery at open after a commit cut short at every write
// (an in-memory disk whose writes fail from a chosen call on, so that the
// commit can neither finish nor put its files back: the journal is left as
// a killed writer leaves it).
#include <gtest/gtest.h>

#include <cerrno>

#include "engine/storage/coding.h"
#include "engine/storage/commit_journal.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/env_fault.h"
#include "engine/storage/field_values.h"
#include "engine/storage/record_values.h"
#include "engine/storage/file_format.h"
#include "engine/storage/table_verify.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::CodeOf;
using testing::NoKeyIndex;
using testing::TwoIntsAndString;

Journal SmallJournal() {
  Journal j;
  j.files = {{"t.DAT", 300}, {"t.IDX", 8192}};
  j.records = {{0, 127, {1, 2, 3}}, {1, 0, std::vector<std::uint8_t>(40, 7)}};
  return j;
}

TEST(JournalFormat, EncodesTheDocumentedLayoutAndDecodesItBack) {
  const std::vector<std::uint8_t> b = EncodeJournal(SmallJournal());
  const std::size_t list = 2 + 5 + 8 + 2 + 5 + 8;
  const std::size_t records = (14 + 3 + 4) + (14 + 40 + 4);
  ASSERT_EQ(b.size(), kJournalHeaderSize + list + records);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 7), "KURAJNL");
  EXPECT_EQ(b[7], 1);
  EXPECT_EQ(GetFixed32LE(&b[8]), 2u);
  EXPECT_EQ(GetFixed32LE(&b[12]), 2u);
  EXPECT_EQ(GetFixed64LE(&b[16]), b.size());
  EXPECT_EQ(GetFixed16LE(&b[28]), 5u);
  EXPECT_EQ(std::string(b.begin() + 30, b.begin() + 35), "t.DAT");
  EXPECT_EQ(GetFixed64LE(&b[35]), 300u);
  const std::size_t r = kJournalHeaderSize + list;
  EXPECT_EQ(GetFixed16LE(&b[r]), 0u);
  EXPECT_EQ(GetFixed64LE(&b[r + 2]), 127u);
  EXPECT_EQ(GetFixed32LE(&b[r + 10]), 3u);
  EXPECT_EQ(b[r + 14], 1);
  EXPECT_EQ(GetFixed32LE(&b[r + 17]), Crc32({&b[r], 17}));
  const std::optional<Journal> back = DecodeJournal(b);
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(back->files.size(), 2u);
  EXPECT_EQ(back->files[1].name, "t.IDX");
  EXPECT_EQ(back->files[1].oldLength, 8192u);
  ASSERT_EQ(back->records.size(), 2u);
  EXPECT_EQ(back->records[1].bytes, std::vector<std::uint8_t>(40, 7));
  EXPECT_EQ(Crc32(std::vector<std::uint8_t>{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xCBF43926u);
}

TEST(JournalFormat, EveryPartialOrDamagedJournalIsRefused) {
  const std::vector<std::uint8_t> b = EncodeJournal(SmallJournal());
  for (std::size_t n = 0; n < b.size(); ++n) {
    EXPECT_FALSE(DecodeJournal({b.data(), n}).has_value()) << "a journal cut at " << n << " was taken";
    for (std::uint8_t flip : {0x01, 0x80}) {
      std::vector<std::uint8_t> d = b;
      d[n] ^= flip;
      EXPECT_FALSE(DecodeJournal(d).has_value()) << "byte " << n << " changed was not noticed";
    }
  }
}

constexpr char kDb[] = "/mem/db";

// A table "t" of three records on an in-memory disk.
class JournalRecoveryTest : public ::testing::Test {
 protected:
  JournalRecoveryTest() { FreshDisk(); }

  void FreshDisk() {
    disk_ = NewMemEnv();
    disk_->MakeDirectory(kDb);
    TFileList files(disk_.get());
    TDataSession session(files);
    TDataDirectory dir(session, kDb);
    TDataTable* t = dir.CreateTable("t", {}, TwoIntsAndString(), NoKeyIndex());
    for (int i = 1; i <= 3; ++i) t->AppendRecord(Image(*t, i).data());
    dir.CloseTable(t);
    before_ = Contents("t.DAT");
  }

  static std::vector<std::uint8_t> Image(TDataTable& t, int a) {
    std::vector<std::uint8_t> rec(t.Data().RecordLength(), 0);
    SetFieldInt(rec.data(), t.Data().Field(1), a);
    SetFieldString(rec.data(), t.Data().Field(3), "row " + std::to_string(a), nullptr);
    return rec;
  }

  std::vector<std::uint8_t> Contents(const std::string& name) {
    std::unique_ptr<EnvFile> f;
    if (disk_->Open(std::string(kDb) + "/" + name, {}, &f) != 0) return {};
    std::uint64_t n = 0;
    f->Length(&n);
    std::vector<std::uint8_t> bytes(n);
    std::size_t done = 0;
    f->Read(0, bytes.data(), bytes.size(), &done);
    return bytes;
  }

  void Store(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<EnvFile> f;
    OpenOptions create;
    create.create = true;
    ASSERT_EQ(disk_->Open(std::string(kDb) + "/" + name, create, &f), 0);
    std::size_t done = 0;
    f->Write(0, bytes.data(), bytes.size(), &done);
  }

  // Commits 40 appends and 3 edits in one transaction, writes failing from
  // the n-th on. Returns whether the commit returned.
  bool CommitFailingFrom(std::uint64_t n) {
    FaultEnv faulty(disk_.get());
    TFileList files(&faulty);
    TDataSession session(files);
    TDataDirectory dir(session, kDb);
    TDataTable* t = dir.OpenTable("t", {});
    dir.StartTransaction();
    for (int i = 4; i <= 43; ++i) t->AppendRecord(Image(*t, i).data());
    for (int n = 1; n <= 3; ++n) t->ModifyRecord(n, Image(*t, 100 + n).data());
    if (n > 0) faulty.FailCall(FaultCall::kWrite, n, EIO, /*sticky=*/true);
    bool returned = true;
    try {
      dir.Commit();
    } catch (const EKuraEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), KURA_WRITEERR) << e.what();
      returned = false;
    }
    faulty.ClearCallFaults();
    dir.CloseTable(t);
    writes_ = faulty.Calls(FaultCall::kWrite);
    return returned;
  }

  // The values of field A of the active records, as a new process sees them.
  std::vector<std::int64_t> Stored() {
    TFileList files(disk_.get());
    TDataSession session(files);
    TDataDirectory dir(session, kDb);
    TDataTable* t = dir.OpenTable("t", {});
    std::vector<std::int64_t> a;
    for (std::int32_t n = 1; n <= t->Data().RecordCount(); ++n) {
      const TRecord* r = t->ReadRecord(n);
      if (RecordStatus(r->Data()) == kRecordActive) a.push_back(ReadFieldValue(r->Data(), t->Data().Field(1)).integer);
    }
    dir.CloseTable(t);
    EXPECT_TRUE(VerifyTable(dir, "t").Ok());
    return a;
  }

  bool JournalHasContents() { return !Contents(kJournalFileName).empty(); }

  std::unique_ptr<Env> disk_;
  std::vector<std::uint8_t> before_;
  std::uint64_t writes_ = 0;
};

TEST_F(JournalRecoveryTest, ACommitCutShortAtAnyWriteIsRolledBackWholeAtTheNextOpen) {
  ASSERT_TRUE(CommitFailingFrom(0));
  const std::uint64_t writes = writes_;
  ASSERT_GE(writes, 4u) << "journal, data records, data header, index";
  EXPECT_FALSE(JournalHasContents()) << "a finished commit leaves its journal empty";
  const std::vector<std::int64_t> all = Stored();
  ASSERT_EQ(all.size(), 43u);
  for (std::uint64_t n = 1; n <= writes; ++n) {
    SCOPED_TRACE("writes fail from call " + std::to_string(n));
    FreshDisk();
    const std::int32_t counterBefore = GetInt32LE(Contents("t.DAT").data());
    EXPECT_FALSE(CommitFailingFrom(n));
    const std::vector<std::uint8_t> crashed = Contents("t.DAT");
    const std::vector<std::int64_t> a = Stored();
    EXPECT_EQ(a, (std::vector<std::int64_t>{1, 2, 3})) << "not rolled back whole";
    EXPECT_FALSE(JournalHasContents());
    // When the crash had touched the table, the change counter moved
    // beyond what it left and what was put back, so that every other user
    // drops its caches.
    const std::vector<std::uint8_t> now = Contents("t.DAT");
    ASSERT_GE(now.size(), 4u);
    EXPECT_GE(GetInt32LE(now.data()), counterBefore);
    if (crashed != before_) {
      EXPECT_GT(GetInt32LE(now.data()), counterBefore);
      EXPECT_GT(GetInt32LE(now.data()), GetInt32LE(crashed.data()));
    }
  }
}

TEST_F(JournalRecoveryTest, ADamagedJournalIsEmptiedAndTheTablesAreNotTouched) {
  std::vector<std::uint8_t> wrong(before_.begin(), before_.end());
  wrong[200] ^= 0xFF;  // what a sound journal would put back
  Journal j;
  j.files = {{"t.DAT", before_.size()}};
  j.records = {{0, 0, wrong}};
  std::vector<std::uint8_t> bytes = EncodeJournal(j);
  bytes.resize(bytes.size() - 1);  // its writer died before the last byte
  Store(kJournalFileName, bytes);
  EXPECT_EQ(Stored().size(), 3u);
  EXPECT_EQ(Contents("t.DAT"), before_);
  EXPECT_FALSE(JournalHasContents());
}

TEST_F(JournalRecoveryTest, AJournalWhoseWriterIsAliveIsWaitedForNotRolledBack) {
  Journal j;
  j.files = {{"t.DAT", before_.size()}};
  j.records = {{0, 0, std::vector<std::uint8_t>(before_.size(), 0)}};
  Store(kJournalFileName, EncodeJournal(j));
  std::unique_ptr<EnvFile> writer;
  ASSERT_EQ(disk_->Open(std::string(kDb) + "/" + kJournalFileName, {}, &writer), 0);
  ASSERT_EQ(writer->Lock(kJournalLockOffset, 1, true), 0);
  {
    TFileList files(disk_.get());
    TDataSession session(files);
    session.settings.tableLockAttempts = 3;
    session.settings.tableLockPauseMs = 1;
    TDataDirectory dir(session, kDb);
    EXPECT_EQ(CodeOf([&] { dir.OpenTable("t", {}); }), KURA_LOCKTIMEOUT);
  }
  EXPECT_EQ(Contents("t.DAT"), before_);
  writer->Truncate(0);  // the writer finishes its commit
  writer.reset();
  EXPECT_EQ(Stored().size(), 3u);
  EXPECT_EQ(Contents("t.DAT"), before_);
}

// A process that has the table open already finds the journal at its next
// lock, before it reads anything the dead writer left.
TEST_F(JournalRecoveryTest, AnOpenTableRollsBackAtItsNextLock) {
  TFileList files(disk_.get());
  TDataSession session(files);
  TDataDirectory dir(session, kDb);
  TDataTable* t = dir.OpenTable("t", {});
  EXPECT_FALSE(CommitFailingFrom(3));
  ASSERT_TRUE(JournalHasContents());
  t->DropCaches();
  TRecord* r = t->ReadRecord(1);
  if (r == nullptr) r = t->ReadRecord(1);  // the table changed: read again
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(ReadFieldValue(r->Data(), t->Data().Field(1)).integer, 1);
  EXPECT_EQ(t->Data().RecordCount(), 3);
  EXPECT_FALSE(JournalHasContents());
  dir.CloseTable(t);
}

}  // namespace
}  // namespace kura
