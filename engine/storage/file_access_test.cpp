// File access below the tables: names found without regard to case, the
// mapping of operating-system errors, injected I/O failures, in-memory
// tables and temporary names.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "engine/storage/env_fault.h"
#include "engine/storage/names.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::CodeOf;
using testing::NoKeyIndex;
using testing::ScratchDir;
using testing::TwoIntsAndString;

TEST(Names, TableFileNamesReplaceADataExtensionInAnyCase) {
  EXPECT_EQ(TableFileName(" figure ", kIndexExtension), "figure.IDX");
  EXPECT_EQ(TableFileName("figure.dat", kBlobExtension), "figure.BLB");
  EXPECT_EQ(TableFileName("figure.txt", kDataExtension), "figure.txt.DAT");
  EXPECT_EQ(ToOsPath("kyozai\\figure"), "kyozai/figure");
}

TEST(Names, ALibraryCopiedFromACaseInsensitiveSystemOpens) {
  ScratchDir dir;
  {
    TFileList files(Env::Default());
    TDataSession session(files);
    TDataDirectory directory(session, dir.Path());
    directory.CloseTable(directory.CreateTable("figure", {}, TwoIntsAndString(), NoKeyIndex()));
  }
  std::filesystem::create_directory(dir.File("KYOZAI"));
  std::filesystem::rename(dir.File("figure.DAT"), dir.File("KYOZAI/FIGURE.DAT"));
  std::filesystem::rename(dir.File("figure.IDX"), dir.File("KYOZAI/Figure.Idx"));
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory directory(session, dir.Path() + "\\kyozai\\");
  EXPECT_TRUE(directory.TableExists("Figure", false));
  TDataTable* t = nullptr;
  ASSERT_EQ(CodeOf([&] { t = directory.OpenTable("figure", {}); }), 0);
  EXPECT_FALSE(t->IndexWasCreated());
  std::vector<std::uint8_t> rec(41, 0);
  EXPECT_EQ(t->AppendRecord(rec.data()), 1);
  directory.CloseTable(t);
  EXPECT_TRUE(std::filesystem::exists(dir.File("KYOZAI/FIGURE.DAT")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("KYOZAI/figure.DAT")));
  directory.RenameTable("FIGURE", "moved", false);
  EXPECT_TRUE(std::filesystem::exists(dir.File("KYOZAI/moved.DAT")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("KYOZAI/moved.IDX")));
  directory.DeleteTable("MOVED", false);
  EXPECT_FALSE(directory.TableExists("moved", false));
}

TEST(OsErrors, EachErrnoMapsToItsEngineCode) {
  const std::pair<int, ErrorCode> cases[] = {
      {ENOENT, KURA_OSENOENT}, {ENOTDIR, KURA_OSENOENT}, {EACCES, KURA_OSEACCES},
      {EPERM, KURA_OSEACCES},  {EROFS, KURA_OSEACCES},   {EBUSY, KURA_OSEACCES},
      {EMFILE, KURA_OSEMFILE}, {ENFILE, KURA_OSEMFILE},  {EBADF, KURA_OSEBADF},
      {ENOMEM, KURA_OSENOMEM}, {EXDEV, KURA_OSENOTSAM},  {ENOSPC, KURA_OSUNKNOWN}};
  for (const auto& [err, code] : cases) {
    EXPECT_EQ(CodeOf([&] { RaiseOsError(err, "t"); }), code) << err;
  }
  try {
    RaiseOsError(ENOSPC, "figure");
  } catch (const EKuraEngineError& e) {
    EXPECT_EQ(e.OSErrorCode(), ENOSPC);
    EXPECT_NE(std::string(e.what()).find(std::to_string(ENOSPC)), std::string::npos);
  }
}

class FaultTest : public ::testing::Test {
 protected:
  FaultTest() {
    TDataTable* t = directory_.CreateTable("figure", {}, TwoIntsAndString(), NoKeyIndex());
    std::vector<std::uint8_t> rec(41, 0);
    for (int i = 0; i < 4; ++i) t->AppendRecord(rec.data());
    directory_.CloseTable(t);
    table_ = directory_.OpenTable("figure", {});
    table_->DropCaches();
  }
  ~FaultTest() override { directory_.CloseTable(table_); }

  ScratchDir dir_;
  FaultEnv env_{Env::Default()};
  TFileList files_{&env_};
  TDataSession session_{files_};
  TDataDirectory directory_{session_, dir_.Path()};
  TDataTable* table_ = nullptr;
  std::vector<std::uint8_t> rec_ = std::vector<std::uint8_t>(41, 0);
};

TEST_F(FaultTest, ShortAndFailedTransfersAreReadAndWriteErrors) {
  table_->ReadLock();  // the header checks are done; the next read is the record's
  env_.FailNextRead(0, 20);
  EXPECT_EQ(CodeOf([&] { table_->Data().ReadRun(2, 1, false, false); }), KURA_READERR);
  env_.FailNextRead(EIO);
  EXPECT_EQ(CodeOf([&] { table_->Data().ReadRun(2, 1, false, false); }), KURA_READERR);
  table_->ReleaseReadLock();
  EXPECT_NE(table_->ReadRecord(2), nullptr);  // nothing was left behind

  table_->WriteLock();
  TRecord* r = table_->Data().GetRecord(3);
  r->dirty = true;
  env_.FailNextWrite(0, 10);
  EXPECT_EQ(CodeOf([&] { table_->WriteBackChanges(); }), KURA_WRITEERR);
  env_.FailNextWrite(ENOSPC);
  EXPECT_EQ(CodeOf([&] { table_->WriteBackChanges(); }), KURA_WRITEERR);
  EXPECT_EQ(CodeOf([&] { table_->WriteBackChanges(); }), 0);  // still dirty, written now
  table_->ReleaseWriteLock();

  session_.settings.forceBufferFlush = true;
  env_.FailNextSync(EIO);
  EXPECT_EQ(CodeOf([&] { table_->AppendRecord(rec_.data()); }), KURA_WRITEERR);
  EXPECT_FALSE(table_->HoldsWriteLock());
  env_.FailNextOpen(EMFILE);
  EXPECT_EQ(CodeOf([&] {
              TDataSession other(files_);
              TDataDirectory d(other, dir_.Path());
              d.CreateTable("second", {}, TwoIntsAndString(), NoKeyIndex());
            }),
            KURA_OSEMFILE);
}

TEST(MemoryTables, KeepTheirContentsUntilDeletedAndTemporaryOnesVanish) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory directory(session, "/nowhere/");
  const TableOpenOptions memory{.inMemory = true};
  TDataTable* t = directory.CreateTable("cache", memory, TwoIntsAndString(), NoKeyIndex());
  std::vector<std::uint8_t> rec(41, 0);
  for (int i = 0; i < 3; ++i) t->AppendRecord(rec.data());
  directory.CloseTable(t);
  EXPECT_TRUE(directory.TableExists("CACHE", true));
  EXPECT_FALSE(directory.TableExists("cache", false));
  t = directory.OpenTable("cache", memory);
  EXPECT_EQ(t->Data().RecordCount(), 3);
  EXPECT_EQ(t->Index().ActiveRecordCount(), 3);
  directory.CloseTable(t);
  directory.DeleteTable("cache", true);
  EXPECT_FALSE(directory.TableExists("cache", true));

  const TableOpenOptions temp{.inMemory = true, .temporary = true};
  directory.CloseTable(directory.CreateTable("scratch", temp, TwoIntsAndString(), NoKeyIndex()));
  EXPECT_FALSE(directory.TableExists("scratch", true));
}

TEST(FileCopies, CopyTheWholeFileAndCutTheTarget) {
  ScratchDir dir;
  TFileList files(Env::Default());
  std::vector<std::uint8_t> bytes(70000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  testing::WriteWholeFile(dir.File("a.DAT"), bytes);
  testing::WriteWholeFile(dir.File("a.DBK"), std::vector<std::uint8_t>(90000, 1));
  TFileHandler from(files, dir.File("A.dat"), "a", {});
  TFileHandler to(files, dir.File("a.dbk"), "a", {});
  from.Open();
  to.Open();
  TFileHandler::Copy(from, to);
  to.Close();
  EXPECT_EQ(testing::ReadWholeFile(dir.File("a.DBK")), bytes);
}

TEST(TemporaryTables, DiskFilesAreDeletedWhenTheLastUserCloses) {
  ScratchDir dir;
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory directory(session, dir.Path());
  DataFileDefinition def = TwoIntsAndString();
  def.fields.push_back(MakeField(4, "Notes", kFieldBlob, 0, kSubtypeMemo));
  TDataTable* t = directory.CreateTable("result", {.temporary = true}, def, NoKeyIndex());
  std::vector<std::uint8_t> rec(t->Data().RecordLength(), 0);
  t->AppendRecord(rec.data());
  EXPECT_TRUE(std::filesystem::exists(dir.File("result.DAT")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("result.BLB")));
  directory.CloseTable(t);
  EXPECT_FALSE(std::filesystem::exists(dir.File("result.DAT")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("result.IDX")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("result.BLB")));
}

TEST(TemporaryNames, TakeTheFirstFreeNumberAfterTheThreadIdDigits) {
  ScratchDir dir;
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory directory(session, dir.Path());
  const std::string first = directory.UniqueTemporaryName();
  std::string digits = std::to_string(Env::Default()->ThreadId());
  digits.resize(std::min<std::size_t>(digits.size(), 5));
  EXPECT_EQ(first, digits + "0.DAT");
  directory.CloseTable(directory.CreateTable(first, {}, TwoIntsAndString(), NoKeyIndex()));
  EXPECT_EQ(directory.UniqueTemporaryName(), digits + "1.DAT");
  EXPECT_EQ(directory.UniqueTemporaryName(".IDX"), digits + "1.IDX");
}

}  // namespace
}  // namespace kura
