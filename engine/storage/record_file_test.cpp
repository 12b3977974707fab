// The data file's bytes, its free record chain, row ids, string storage,
// create-time checks and the verification of damaged files.
#include "engine/storage/record_file.h"

#include <gtest/gtest.h>

#include "engine/storage/coding.h"
#include "engine/storage/field_values.h"
#include "engine/storage/locale.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::CodeOf;
using testing::NoKeyIndex;
using testing::ReadWholeFile;
using testing::ScratchDir;
using testing::TwoIntsAndString;
using testing::WriteWholeFile;

constexpr std::size_t kFigureStart = 127 + 768 * 3;

// An index header whose primary index has field 1 as its key.
TIndexFileHeader KeyOnFirstField() {
  TIndexFileHeader h = NewIndexHeader();
  h.slots[0].keyLength = 5;
  h.slots[0].unique = 1;
  h.slots[0].fieldCount = 1;
  h.slots[0].fieldNumbers[0] = 1;
  return h;
}

class DataFileTest : public ::testing::Test {
 protected:
  TFileList files_{Env::Default()};
  TDataSession session_{files_};
  ScratchDir dir_;
  TDataDirectory directory_{session_, dir_.Path()};

  TDataTable* Create(const TIndexFileHeader& index = NoKeyIndex()) {
    return directory_.CreateTable("figure", {}, TwoIntsAndString(), index);
  }
  std::vector<std::uint8_t> Image(TDataTable* t, std::int32_t a, std::string_view s) {
    std::vector<std::uint8_t> rec(t->Data().RecordLength(), 0);
    SetFieldInt(rec.data(), t->Data().Field(1), a);
    SetFieldInt(rec.data(), t->Data().Field(2), -a);
    SetFieldString(rec.data(), t->Data().Field(3), s, nullptr);
    return rec;
  }
  ErrorCode OpenCode() {
    return CodeOf([&] { directory_.CloseTable(directory_.OpenTable("figure", {})); });
  }
};

TEST_F(DataFileTest, NewTableAndFirstRecordHaveTheFormatsBytes) {
  TDataTable* t = Create();
  auto bytes = ReadWholeFile(dir_.File("figure.DAT"));
  ASSERT_EQ(bytes.size(), kFigureStart);
  EXPECT_EQ(GetInt32LE(&bytes[0]), 1);  // one header write so far
  EXPECT_EQ(bytes[8], 5);
  EXPECT_EQ(GetInt32LE(&bytes[9]), 0);
  EXPECT_EQ(GetInt32LE(&bytes[13]), 1);
  EXPECT_EQ(GetInt32LE(&bytes[17]), 0);
  EXPECT_EQ(GetFixed16LE(&bytes[21]), 41);
  EXPECT_EQ(GetFixed16LE(&bytes[23]), 3);
  EXPECT_EQ(GetInt64LE(&bytes[116]), 33000);
  const std::uint16_t slots[] = {9, 14, 19};
  for (int i = 0; i < 3; ++i) {
    const std::uint8_t* d = &bytes[127 + 768 * i];
    EXPECT_EQ(GetFixed16LE(d), i + 1);
    EXPECT_EQ(GetFixed16LE(d + 90), slots[i]) << "field " << i + 1;
  }
  EXPECT_EQ(bytes[127 + 768 * 2 + 88], 21);  // stored size of String[20]

  const auto rec = Image(t, 7, "abc");
  EXPECT_EQ(t->AppendRecord(rec.data()), 1);
  EXPECT_EQ(t->AppendRecord(Image(t, 8, "de").data()), 2);
  bytes = ReadWholeFile(dir_.File("figure.DAT"));
  ASSERT_EQ(bytes.size(), kFigureStart + 2 * 41);
  const std::uint8_t* second = &bytes[kFigureStart + 41];
  EXPECT_EQ(second[0], 0);                   // active
  EXPECT_EQ(GetInt32LE(second + 1), 2);      // its own number
  EXPECT_EQ(GetInt32LE(second + 5), 2);      // row id
  EXPECT_EQ(second[9], 1);
  EXPECT_EQ(GetInt32LE(second + 10), 8);
  EXPECT_EQ(GetInt32LE(second + 15), -8);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(second + 20), 3), std::string("de\0", 3));
  EXPECT_EQ(GetInt32LE(&bytes[13]), 3);      // next record number
  EXPECT_EQ(GetInt32LE(&bytes[17]), 2);      // last row id
  EXPECT_EQ(GetInt32LE(&bytes[0]), 3);       // one header write per change
  directory_.CloseTable(t);
}

TEST_F(DataFileTest, FreeChainIsUsedOnlyWithPrimaryKeyFields) {
  TDataTable* keyed = Create(KeyOnFirstField());
  for (int i = 1; i <= 6; ++i) keyed->AppendRecord(Image(keyed, i, "x").data());
  keyed->DeleteRecord(5);
  keyed->DeleteRecord(2);
  EXPECT_EQ(keyed->Data().Header().firstFreeRecord, 2);
  EXPECT_EQ(RecordLink(keyed->Data().GetRecord(2)->Data()), 5);
  EXPECT_EQ(keyed->AppendRecord(Image(keyed, 20, "y").data()), 2);
  EXPECT_EQ(keyed->AppendRecord(Image(keyed, 21, "y").data()), 5);
  EXPECT_EQ(keyed->AppendRecord(Image(keyed, 22, "y").data()), 7);
  EXPECT_EQ(keyed->Index().ActiveRecordCount(), 7);
  directory_.CloseTable(keyed);
  directory_.DeleteTable("figure", false);

  TDataTable* plain = Create();
  for (int i = 1; i <= 6; ++i) plain->AppendRecord(Image(plain, i, "x").data());
  plain->DeleteRecord(5);
  plain->DeleteRecord(2);
  EXPECT_EQ(plain->Data().Header().firstFreeRecord, 2);
  EXPECT_EQ(RecordLink(plain->Data().GetRecord(2)->Data()), 0);
  EXPECT_EQ(RecordLink(plain->Data().GetRecord(5)->Data()), 0);
  EXPECT_EQ(plain->AppendRecord(Image(plain, 9, "z").data()), 7);
  EXPECT_EQ(plain->Data().Header().firstFreeRecord, 0);
  directory_.CloseTable(plain);
}

TEST_F(DataFileTest, AFreeChainThatLeadsToALiveRecordIsRefusedNotFollowed) {
  TDataTable* t = Create(KeyOnFirstField());
  for (int i = 1; i <= 3; ++i) t->AppendRecord(Image(t, i, "x").data());
  t->DeleteRecord(2);
  directory_.CloseTable(t);
  const std::string path = dir_.File("figure.DAT");
  auto bytes = ReadWholeFile(path);
  PutInt32LE(&bytes[9], 3);  // the chain now starts at the active record 3
  WriteWholeFile(path, bytes);
  t = directory_.OpenTable("figure", {});
  EXPECT_EQ(CodeOf([&] { t->AppendRecord(Image(t, 9, "y").data()); }), KURA_FILECORRUPT);
  EXPECT_EQ(GetFieldInt(t->ReadRecord(3)->Data(), t->Data().Field(1)), 3);
  directory_.CloseTable(t);
}

TEST_F(DataFileTest, RowIdsKeepGrowingAcrossDeletesAndWrapAfterTheMaximum) {
  TDataTable* t = Create();
  t->AppendRecord(Image(t, 1, "a").data());
  t->AppendRecord(Image(t, 2, "b").data());
  t->DeleteRecord(2);
  EXPECT_EQ(RecordRowId(t->Data().GetRecord(2)->Data()), 2);  // kept when deleted
  t->AppendRecord(Image(t, 3, "c").data());
  EXPECT_EQ(RecordRowId(t->Data().GetRecord(3)->Data()), 3);
  t->DeleteRecord(1);  // frees row id 1 for the wrap (an active one is refused)
  t->Data().SetLastRowId(2147483646);
  t->AppendRecord(Image(t, 4, "d").data());
  t->AppendRecord(Image(t, 5, "e").data());
  EXPECT_EQ(RecordRowId(t->Data().GetRecord(4)->Data()), 2147483647);
  EXPECT_EQ(RecordRowId(t->Data().GetRecord(5)->Data()), 1);
  t->AppendRecord(Image(t, 6, "f").data(), 500);  // a supplied row id
  EXPECT_EQ(t->Data().Header().lastRowId, 500);
  directory_.CloseTable(t);
}

TEST(FieldValues, StringsAreTrimmedNullWhenEmptyAndKeepTheBytesAfterTheZero) {
  TFieldDescriptor f = MakeField(1, "S", kFieldString, 6);
  LayOutFields(&f, 1);
  std::vector<std::uint8_t> rec(9 + 8, 0);
  SetFieldString(rec.data(), f, "    ", nullptr);
  EXPECT_FALSE(GetFieldString(rec.data(), f).has_value());
  EXPECT_EQ(rec[9], 0);
  SetFieldString(rec.data(), f, "ab  ", nullptr);
  EXPECT_EQ(GetFieldString(rec.data(), f), "ab");
  SetFieldString(rec.data(), f, "wxyz", nullptr);
  SetFieldString(rec.data(), f, "ab", nullptr);
  EXPECT_EQ(GetFieldString(rec.data(), f), "ab");
  const std::uint8_t expected[] = {1, 'a', 'b', 0, 'z', 0};
  EXPECT_EQ(0, std::memcmp(&rec[9], expected, sizeof expected));
  SetFieldString(rec.data(), f, "abcdefghij", nullptr);  // cut to the declared size
  EXPECT_EQ(GetFieldString(rec.data(), f), "abcdef");
  // The case conversion follows the trimming; the caller's text is kept.
  auto english = TableCollation::For(1033, 0);
  ASSERT_NE(english, nullptr);
  const std::string given = "ko ";
  f.caseConversion = kCaseUpper;
  SetFieldString(rec.data(), f, given, english.get());
  EXPECT_EQ(GetFieldString(rec.data(), f), "KO");
  EXPECT_EQ(given, "ko ");
  f.caseConversion = kCaseLower;
  SetFieldString(rec.data(), f, "SEKI", english.get());
  EXPECT_EQ(GetFieldString(rec.data(), f), "seki");
  SetFieldString(rec.data(), f, "   ", english.get());
  EXPECT_FALSE(GetFieldString(rec.data(), f).has_value());

  TFieldDescriptor b = MakeField(1, "B", kFieldBoolean);
  LayOutFields(&b, 1);
  SetFieldInt(rec.data(), b, 42);
  EXPECT_EQ(GetFieldInt(rec.data(), b), 1);
}

TEST(DataFileChecks, DefinitionsAreRefusedWithTheirCodes) {
  auto code = [](auto change) {
    DataFileDefinition def = TwoIntsAndString();
    change(def);
    return CodeOf([&] { CheckDefinition(def, "t"); });
  };
  EXPECT_EQ(code([](auto&) {}), 0);
  EXPECT_EQ(code([](auto& d) { d.fields[1].name = "a"; }), KURA_INVALIDFIELDNAME);
  EXPECT_EQ(code([](auto& d) { d.fields[1].name = "9lives"; }), KURA_INVALIDFIELDNAME);
  EXPECT_EQ(code([](auto& d) { d.fields[1].name = std::string(31, 'x'); }),
            KURA_INVALIDFIELDNAME);
  EXPECT_EQ(code([](auto& d) { d.fields[2].declaredSize = 0; }), KURA_INVALIDFLDTYPE);
  EXPECT_EQ(code([](auto& d) { d.fields[2].declaredSize = 251; }), KURA_INVALIDFLDTYPE);
  EXPECT_EQ(code([](auto& d) { d.fields[0].type = 0; }), KURA_INVALIDFLDTYPE);
  EXPECT_EQ(code([](auto& d) { d.fields[1].number = 1; }), KURA_INVALIDFLDTYPE);
  EXPECT_EQ(code([](auto& d) { d.fields[0].defaultValue = "12x"; }),
            KURA_INVALIDVCHKSTRUCT);
  EXPECT_EQ(code([](auto& d) { d.fields[0].minimum = "-2147483648"; }), 0);
  EXPECT_EQ(code([](auto& d) { d.fields[0].maximum = "2147483648"; }),
            KURA_INVALIDVCHKSTRUCT);
  EXPECT_EQ(code([](auto& d) { d.fields[2].defaultValue = std::string(21, 'a'); }),
            KURA_INVALIDVCHKSTRUCT);
  EXPECT_EQ(code([](auto& d) { d.blobBlockSize = 63; }), KURA_BLOBLIMIT);
  EXPECT_EQ(code([](auto& d) { d.secondaryIndexCount = 31; }), KURA_INDEXLIMIT);
  EXPECT_EQ(code([](auto& d) { d.languageId = 1234; }), KURA_CANNOTLOADLDDRV);
  EXPECT_EQ(code([](auto& d) { d.encrypted = true; }), KURA_INVALIDPASSWORD);
  EXPECT_EQ(code([](auto& d) { d.fields.clear(); }), KURA_FLDLIMIT);
}

TEST_F(DataFileTest, RecordsLongerThanTheTwoByteLengthAreRefused) {
  DataFileDefinition def;
  for (int i = 1; i <= 260; ++i) {  // 9 + 260 x 252 = 65 529 bytes
    def.fields.push_back(MakeField(static_cast<std::uint16_t>(i), "F" + std::to_string(i),
                                   kFieldString, 250));
  }
  // 65 536 bytes would be stored as a record length of 0.
  def.fields.push_back(MakeField(261, "Tail", kFieldBytes, 6));
  EXPECT_EQ(CodeOf([&] { directory_.CreateTable("big", {}, def, NoKeyIndex()); }),
            KURA_RECTOOBIG);
  def.fields.back().declaredSize = 5;  // 65 535 bytes
  TDataTable* t = nullptr;
  ASSERT_EQ(CodeOf([&] { t = directory_.CreateTable("big", {}, def, NoKeyIndex()); }), 0);
  EXPECT_EQ(t->Data().RecordLength(), 65535u);
  directory_.CloseTable(t);
}

TEST_F(DataFileTest, ATableIsFullBeforeItsFileWouldPassFourBillionBytes) {
  DataFileDefinition def;
  for (int i = 1; i <= 260; ++i) {  // 9 + 260 x 252 = 65 529-byte records
    def.fields.push_back(MakeField(static_cast<std::uint16_t>(i), "F" + std::to_string(i),
                                   kFieldString, 250));
  }
  directory_.CloseTable(directory_.CreateTable("full", {}, def, NoKeyIndex()));
  // A sparse file of 61 038 records: one more would pass 4 000 000 000 bytes.
  const std::string path = dir_.File("full.DAT");
  const std::uint64_t start = 127 + 768 * 260;
  auto header = ReadWholeFile(path);
  PutInt32LE(&header[13], 61039);
  WriteWholeFile(path, header);
  std::filesystem::resize_file(path, start + 61038ull * 65529);
  TDataTable* t = directory_.OpenTable("full", {});
  std::vector<std::uint8_t> rec(t->Data().RecordLength(), 0);
  EXPECT_EQ(CodeOf([&] { t->AppendRecord(rec.data()); }), KURA_TABLEFULL);
  EXPECT_EQ(t->Data().RecordCount(), 61038);
  directory_.CloseTable(t);
}

TEST_F(DataFileTest, DamagedFilesAreRefusedWithoutReadingPastTheirBuffers) {
  TDataTable* t = Create();
  for (int i = 1; i <= 3; ++i) t->AppendRecord(Image(t, i, "row").data());
  directory_.CloseTable(t);
  const std::string path = dir_.File("figure.DAT");
  const auto good = ReadWholeFile(path);
  ASSERT_EQ(OpenCode(), 0);

  auto damaged = [&](auto change) {
    auto bytes = good;
    change(bytes);
    WriteWholeFile(path, bytes);
    const ErrorCode code = OpenCode();
    WriteWholeFile(path, good);
    return code;
  };
  EXPECT_EQ(damaged([](auto& b) { b[8] = 4; }), KURA_OLDVERSION);
  // The version is judged before anything else.
  EXPECT_EQ(damaged([](auto& b) { b[8] = 4; b.resize(200); }), KURA_OLDVERSION);
  EXPECT_EQ(damaged([](auto& b) { b.push_back(0); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([](auto& b) { b.resize(b.size() - 41); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([](auto& b) { PutInt32LE(&b[13], 5); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([](auto& b) { PutInt32LE(&b[13], -1); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([](auto& b) { PutInt32LE(&b[9], 4); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([](auto& b) { PutFixed16LE(&b[23], 1025); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([](auto& b) { PutFixed16LE(&b[23], 40); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([](auto& b) { PutFixed16LE(&b[21], 3); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([](auto& b) { PutFixed16LE(&b[21], 42); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([](auto& b) { b.resize(100); }), KURA_HEADERCORRUPT);
  // Descriptors: number, type, declared size, slot offsets, name.
  const std::size_t third = 127 + 768 * 2;
  EXPECT_EQ(damaged([&](auto& b) { PutFixed16LE(&b[third], 4); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([&](auto& b) { b[third + 84] = 0; }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([&](auto& b) { b[third + 84] = 77; }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([&](auto& b) { b[third + 86] = 30; }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([&](auto& b) { PutFixed16LE(&b[third + 90], 40000); }),
            KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([&](auto& b) { PutFixed16LE(&b[third + 90], 18); }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([&](auto& b) { b[third + 3] = '1'; }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([&](auto& b) { b[third + 88] = 250; }), KURA_HEADERCORRUPT);
  EXPECT_EQ(damaged([&](auto& b) { b[127 + 94] = 1; b[127 + 95] = 'x'; }),
            KURA_HEADERCORRUPT);  // a minimum that is no integer
  EXPECT_EQ(damaged([](auto& b) { PutInt16LE(&b[103], 999); }), KURA_CANNOTLOADLDDRV);
  EXPECT_EQ(damaged([](auto& b) { b[86] = 1; }), KURA_NOTSUFFTABLERIGHTS);
  EXPECT_EQ(OpenCode(), 0);
}

// A header read again after another user's write passes the same check as
// one read at opening: a free chain that would start at the next record
// number (a slot not yet in the file) is refused at once.
TEST_F(DataFileTest, AReloadedHeaderIsCheckedLikeAnOpenedOne) {
  TDataTable* t = Create();
  for (int i = 1; i <= 3; ++i) t->AppendRecord(Image(t, i, "r").data());
  t->DeleteRecord(3);
  ASSERT_EQ(t->Data().Header().firstFreeRecord, 3);
  ASSERT_EQ(t->Data().Header().nextRecordNumber, 4);
  const std::string path = dir_.File("figure.DAT");
  auto writtenByAnother = [&](std::int32_t firstFree) {
    auto bytes = ReadWholeFile(path);
    PutInt32LE(&bytes[0], GetInt32LE(&bytes[0]) + 1);
    PutInt32LE(&bytes[9], firstFree);
    WriteWholeFile(path, bytes);
  };
  writtenByAnother(4);
  EXPECT_EQ(CodeOf([&] { t->Data().CheckChanged(); }), KURA_HEADERCORRUPT);
  writtenByAnother(3);  // the last record is free: sound
  EXPECT_EQ(CodeOf([&] { t->Data().CheckChanged(); }), 0);
  EXPECT_EQ(t->Data().Header().firstFreeRecord, 3);
  directory_.CloseTable(t);
}

TEST_F(DataFileTest, EmptyingResetsTheHeaderAndCutsTheFile) {
  TDataTable* t = Create();
  for (int i = 1; i <= 4; ++i) t->AppendRecord(Image(t, i, "r").data());
  t->WriteLock();
  t->Data().Empty();
  t->Index().Empty();
  t->WriteBackChanges();
  t->ReleaseWriteLock();
  const auto bytes = ReadWholeFile(dir_.File("figure.DAT"));
  ASSERT_EQ(bytes.size(), kFigureStart);
  EXPECT_EQ(GetInt32LE(&bytes[0]), 1);  // reset to 0, then written once
  EXPECT_EQ(GetInt32LE(&bytes[13]), 1);
  EXPECT_EQ(GetInt32LE(&bytes[17]), 0);
  EXPECT_EQ(t->AppendRecord(Image(t, 1, "again").data()), 1);
  directory_.CloseTable(t);
}

}  // namespace
}  // namespace kura
