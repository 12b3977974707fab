// BLOB values as block chains: sizes, reuse of freed blocks, serial checks
// and damaged chains.
#include "engine/storage/blob_file.h"
#include "engine/storage/blob_buffer.h"

#include <gtest/gtest.h>

#include "engine/storage/coding.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::CodeOf;
using testing::NoKeyIndex;
using testing::ReadWholeFile;
using testing::ScratchDir;
using testing::WriteWholeFile;

class BlobTest : public ::testing::Test {
 protected:
  BlobTest() {
    DataFileDefinition def;
    def.fields = {MakeField(1, "N", kFieldInteger),
                  MakeField(2, "Memo", kFieldBlob, 0, kSubtypeMemo)};
    table_ = directory_.CreateTable("notes", {}, def, NoKeyIndex());
  }
  ~BlobTest() override {
    if (table_ != nullptr) directory_.CloseTable(table_);
  }

  TBlobFile& Blob() { return *table_->Blob(); }
  // Writes `value` over `old` as a change of the table.
  BlobRef Write(BlobRef old, std::string_view value) {
    table_->WriteLock();
    const BlobRef ref = Blob().WriteValue(old, value, table_->Data().NextBlobSerial());
    table_->WriteBackChanges();
    table_->ReleaseWriteLock();
    return ref;
  }
  void Free(BlobRef ref) {
    table_->WriteLock();
    Blob().FreeValue(ref);
    table_->WriteBackChanges();
    table_->ReleaseWriteLock();
  }
  void Reopen() {
    directory_.CloseTable(table_);
    table_ = nullptr;
    table_ = directory_.OpenTable("notes", {});
  }
  std::vector<std::uint8_t> BlobBytes() { return ReadWholeFile(dir_.File("notes.BLB")); }

  TFileList files_{Env::Default()};
  TDataSession session_{files_};
  ScratchDir dir_;
  TDataDirectory directory_{session_, dir_.Path()};
  TDataTable* table_ = nullptr;
};

TEST_F(BlobTest, ValuesTakeWholeBlocksOf494DataBytes) {
  const auto header = BlobBytes();
  ASSERT_EQ(header.size(), 512u);
  EXPECT_EQ(header[8], 5);
  EXPECT_EQ(GetInt32LE(&header[13]), 1);

  const std::string fits(494, 'a'), over(495, 'b');
  const BlobRef one = Write({}, fits);
  EXPECT_EQ(Blob().Header().nextBlockNumber, 2);
  const BlobRef two = Write({}, over);
  EXPECT_EQ(Blob().Header().nextBlockNumber, 4);
  Reopen();
  EXPECT_EQ(Blob().ReadValue(one), fits);
  EXPECT_EQ(Blob().ReadValue(two), over);
  const auto bytes = BlobBytes();
  ASSERT_EQ(bytes.size(), 512u + 3 * 512u);
  const std::uint8_t* second = &bytes[512 + 512];
  EXPECT_EQ(GetInt32LE(second + 4), 3);          // next block
  EXPECT_EQ(GetFixed16LE(second + 8), 494);      // bytes used
  EXPECT_EQ(GetInt32LE(second + 10), two.serial);
  EXPECT_EQ(GetInt32LE(second + 14), 495);       // total length
  const std::uint8_t* third = &bytes[512 + 2 * 512];
  EXPECT_EQ(GetInt32LE(third + 0), 2);           // previous block
  EXPECT_EQ(GetFixed16LE(third + 8), 1);
  EXPECT_EQ(GetInt32LE(third + 14), 0);
  EXPECT_EQ(third[18], 'b');
  EXPECT_EQ(third[19], 0);
}

TEST_F(BlobTest, FreedBlocksAreReusedMostRecentlyFreedFirst) {
  const BlobRef big = Write({}, std::string(3 * 494, 'x'));  // blocks 1, 2, 3
  const BlobRef small = Write(big, "short");                 // keeps block 1
  EXPECT_EQ(small.firstBlock, 1);
  EXPECT_EQ(Blob().Header().firstFreeBlock, 3);
  const BlobRef next = Write({}, std::string(600, 'y'));
  EXPECT_EQ(next.firstBlock, 3);
  Reopen();
  EXPECT_EQ(Blob().ReadValue(small), "short");
  EXPECT_EQ(Blob().ReadValue(next), std::string(600, 'y'));
  EXPECT_EQ(Blob().Header().firstFreeBlock, 0);
  EXPECT_EQ(Blob().Header().nextBlockNumber, 4);

  // Freeing a three-block value puts all three on the free chain.
  const BlobRef three = Write({}, std::string(1000, 'z'));
  const std::int32_t before = Blob().Header().nextBlockNumber;
  Free(three);
  EXPECT_EQ(Blob().Header().nextBlockNumber, before);
  std::int32_t freeBlocks = 0;
  const auto bytes = BlobBytes();
  for (std::int32_t b = GetInt32LE(&bytes[9]); b != 0;
       b = GetInt32LE(&bytes[512 + (b - 1) * 512 + 4])) {
    ASSERT_LT(++freeBlocks, 10);
  }
  EXPECT_EQ(freeBlocks, 3);
}

TEST_F(BlobTest, AValueRewrittenByAnotherUserIsNotReadWithAnOldSerial) {
  const BlobRef first = Write({}, std::string(700, 'o'));
  const BlobRef rewritten = Write(first, std::string(700, 'n'));
  EXPECT_EQ(rewritten.firstBlock, first.firstBlock);
  EXPECT_NE(rewritten.serial, first.serial);
  EXPECT_EQ(CodeOf([&] { Blob().ReadValue(first); }), KURA_KEYORRECDELETED);
  EXPECT_EQ(Blob().ReadValue(rewritten), std::string(700, 'n'));
}

TEST_F(BlobTest, DamagedChainsAndHeadersAreErrorsNotCrashes) {
  const BlobRef ref = Write({}, std::string(1200, 'q'));  // blocks 1, 2, 3
  directory_.CloseTable(table_);
  table_ = nullptr;
  const std::string path = dir_.File("notes.BLB");
  const auto good = ReadWholeFile(path);
  auto readWith = [&](auto change) {
    auto bytes = good;
    change(bytes);
    WriteWholeFile(path, bytes);
    ErrorCode code = CodeOf([&] {
      TDataTable* t = directory_.OpenTable("notes", {});
      table_ = t;
      t->Blob()->ReadValue(ref);
    });
    if (table_ != nullptr) directory_.CloseTable(table_);
    table_ = nullptr;
    WriteWholeFile(path, good);
    return code;
  };
  const std::size_t b2 = 512 + 512;
  EXPECT_EQ(readWith([](auto&) {}), 0);
  EXPECT_EQ(readWith([&](auto& b) { PutInt32LE(&b[b2 + 4], 2); }), KURA_MEMOCORRUPT);
  EXPECT_EQ(readWith([&](auto& b) { PutInt32LE(&b[b2 + 4], 1); }), KURA_MEMOCORRUPT);
  EXPECT_EQ(readWith([&](auto& b) { PutInt32LE(&b[b2 + 4], 99); }), KURA_MEMOCORRUPT);
  EXPECT_EQ(readWith([&](auto& b) { PutInt32LE(&b[b2 + 4], 0); }), KURA_ENDOFBLOB);
  EXPECT_EQ(readWith([&](auto& b) { PutInt32LE(&b[b2 + 10], 77); }), KURA_KEYORRECDELETED);
  EXPECT_EQ(readWith([&](auto& b) { PutFixed16LE(&b[b2 + 8], 60000); }), 0);  // clamped
  EXPECT_EQ(readWith([](auto& b) { b[8] = 4; }), KURA_OLDVERSION);
  EXPECT_EQ(readWith([](auto& b) { PutInt32LE(&b[9], 4); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(readWith([](auto& b) { b.resize(100); }), KURA_HEADERCORRUPT);
}

TEST(BlobFileCreate, BlockSizesBelow64AreRefused) {
  TFileList files(Env::Default());
  TDataSession session(files);
  ScratchDir dir;
  TDataDirectory directory(session, dir.Path());
  DataFileDefinition def;
  def.fields = {MakeField(1, "B", kFieldBlob)};
  def.blobBlockSize = 32;
  EXPECT_EQ(CodeOf([&] { directory.CreateTable("b", {}, def, NoKeyIndex()); }), KURA_BLOBLIMIT);
  def.blobBlockSize = 64;
  TDataTable* t = directory.CreateTable("b", {}, def, NoKeyIndex());
  EXPECT_EQ(t->Blob()->BlockSize(), 64u);
  t->WriteLock();
  const BlobRef ref = t->Blob()->WriteValue({}, std::string(100, 'k'), 1);
  t->WriteBackChanges();
  t->ReleaseWriteLock();
  EXPECT_EQ(t->Blob()->Header().nextBlockNumber, 4);  // 46 data bytes a block
  EXPECT_EQ(t->Blob()->ReadValue(ref), std::string(100, 'k'));
  directory.CloseTable(t);
}

}  // namespace
}  // namespace kura

namespace kura {
namespace {

TEST_F(BlobTest, BuffersStoreChangedValuesUnderANewSerialAndAreLimitedPerCursor) {
  std::vector<std::uint8_t> rec(table_->Data().RecordLength(), 0);
  BlobBufferSet set;
  EXPECT_EQ(CodeOf([&] { set.Open(table_->Data(), Blob(), 1, 1, rec.data()); }),
            KURA_NOTABLOB);
  TBlobBuffer* b = set.Open(table_->Data(), Blob(), 2, 1, rec.data());
  EXPECT_EQ(b->Value(), "");
  b->Write(0, "hello");
  b->Write(10, "world");
  EXPECT_EQ(b->Value(), std::string("hello\0\0\0\0\0world", 15));
  table_->WriteLock();
  b->Store(Blob(), table_->Data(), rec.data());
  table_->WriteBackChanges();
  table_->ReleaseWriteLock();
  const BlobRef ref = GetBlobRef(rec.data(), table_->Data().Field(2));
  EXPECT_EQ(ref.firstBlock, 1);
  EXPECT_EQ(ref.serial, table_->Data().Header().lastBlobSerial);
  EXPECT_EQ(Blob().ReadValue(ref), b->Value());
  EXPECT_EQ(set.Open(table_->Data(), Blob(), 2, 1, rec.data()), b);  // opened twice
  set.Close(b);
  set.Close(b);
  EXPECT_EQ(set.Size(), 0u);
  for (int r = 1; r <= 128; ++r) set.Open(table_->Data(), Blob(), 2, r, rec.data());
  EXPECT_EQ(CodeOf([&] { set.Open(table_->Data(), Blob(), 2, 129, rec.data()); }),
            KURA_OPENBLOBLIMIT);
}

}  // namespace
}  // namespace kura
