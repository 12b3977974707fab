#include "engine/storage/index_header.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/storage/coding.h"

namespace kura {
namespace {

std::vector<TFieldDescriptor> TwoIntegersAndString() {
  std::vector<TFieldDescriptor> f = {MakeField(1, "A", kFieldInteger),
                                     MakeField(2, "B", kFieldInteger),
                                     MakeField(3, "S", kFieldString, 20)};
  LayOutFields(f.data(), f.size());
  return f;
}

ErrorCode VerifyCode(const TIndexFileHeader& h,
                     const std::vector<TFieldDescriptor>& fields) {
  try {
    VerifyIndexHeader(h, fields, "t");
  } catch (const EKuraEngineError& e) {
    return e.ErrorCode();
  }
  return 0;
}

TEST(IndexHeader, NewHeaderBytes) {
  TIndexFileHeader h = NewIndexHeader();
  h.noPrimaryFields = 1;
  std::vector<std::uint8_t> buf(kIndexHeaderSize, 0xAA);
  EncodeIndexHeader(h, buf.data());
  EXPECT_EQ(buf[8], 5);
  EXPECT_EQ(GetInt32LE(&buf[9]), 1);
  EXPECT_EQ(buf[13], 0);
  const std::uint8_t* deleted = &buf[14 + 120 * 31];
  EXPECT_EQ(GetShortString(deleted, 30), "Sys Deleted");
  EXPECT_EQ(GetFixed16LE(deleted + 31), 5);
  const std::uint8_t* text = &buf[14 + 120 * 32];
  EXPECT_EQ(GetShortString(text, 30), "Sys Text");
  EXPECT_EQ(GetFixed16LE(text + 31), 68);
  EXPECT_EQ(text[36], 3);
  EXPECT_EQ(buf[3978], 1);
  for (std::size_t i = 3980; i < kIndexHeaderSize; ++i) ASSERT_EQ(buf[i], 0) << i;
}

TEST(IndexHeader, RoundTripKeepsEveryField) {
  TIndexFileHeader h = NewIndexHeader();
  h.changeCounter = -7;
  h.nextPageNumber = 12;
  h.secondaryCount = 2;
  h.activeRecordCount = 99;
  TIndexDescriptor& d = h.slots[2];
  d.name = "ByName";
  d.keyLength = 27;
  d.caseInsensitive = 1;
  d.fieldCount = 2;
  d.fieldNumbers[0] = 3;
  d.fieldNumbers[1] = 1;
  d.fieldDescending[1] = 1;
  d.rootPage = 11;
  d.firstFreePage = 4;
  h.slots[1].name = "X";
  h.slots[32].textParameterPage = 9;
  std::vector<std::uint8_t> buf(kIndexHeaderSize);
  EncodeIndexHeader(h, buf.data());
  const TIndexFileHeader back = DecodeIndexHeader(buf.data());
  EXPECT_EQ(back.changeCounter, -7);
  EXPECT_EQ(back.nextPageNumber, 12);
  EXPECT_EQ(back.secondaryCount, 2);
  EXPECT_EQ(back.activeRecordCount, 99);
  EXPECT_EQ(back.slots[2].name, "ByName");
  EXPECT_EQ(back.slots[2].keyLength, 27);
  EXPECT_EQ(back.slots[2].fieldNumbers[0], 3);
  EXPECT_EQ(back.slots[2].fieldNumbers[1], 1);
  EXPECT_EQ(back.slots[2].fieldDescending[1], 1);
  EXPECT_EQ(back.slots[2].rootPage, 11);
  EXPECT_EQ(back.slots[2].firstFreePage, 4);
  EXPECT_EQ(back.slots[32].textParameterPage, 9);
}

TEST(IndexHeader, TemporaryIndexesNeverReachTheFile) {
  TIndexFileHeader h = NewIndexHeader();
  h.secondaryCount = 3;
  h.slots[1].name = "First";
  h.slots[2].name = "Temp";
  h.slots[2].temporary = 1;
  h.slots[3].name = "Third";
  std::vector<std::uint8_t> buf(kIndexHeaderSize);
  EncodeIndexHeader(h, buf.data());
  const TIndexFileHeader back = DecodeIndexHeader(buf.data());
  EXPECT_EQ(back.secondaryCount, 2);
  EXPECT_EQ(back.slots[1].name, "First");
  EXPECT_EQ(back.slots[2].name, "Third");
  EXPECT_EQ(back.slots[3].name, "");
}

TEST(IndexHeader, VerificationAcceptsAGoodHeaderAndRefusesEachFault) {
  const auto fields = TwoIntegersAndString();
  TIndexFileHeader good = NewIndexHeader();
  good.noPrimaryFields = 1;
  good.nextPageNumber = 5;
  good.secondaryCount = 1;
  good.slots[1].name = "ByS";
  good.slots[1].fieldCount = 1;
  good.slots[1].fieldNumbers[0] = 3;
  good.slots[1].rootPage = 4;
  EXPECT_EQ(VerifyCode(good, fields), 0);

  auto with = [&](auto change) {
    TIndexFileHeader h = good;
    change(h);
    return VerifyCode(h, fields);
  };
  EXPECT_EQ(with([](auto& h) { h.version = 4; }), KURA_OLDVERSION);
  EXPECT_EQ(with([](auto& h) { h.secondaryCount = 31; }), KURA_HEADERCORRUPT);
  EXPECT_EQ(with([](auto& h) { h.slots[1].rootPage = 5; }), KURA_HEADERCORRUPT);
  EXPECT_EQ(with([](auto& h) { h.slots[31].firstFreePage = -1; }), KURA_HEADERCORRUPT);
  EXPECT_EQ(with([](auto& h) { h.slots[1].name = "1st"; }), KURA_HEADERCORRUPT);
  EXPECT_EQ(with([](auto& h) { h.slots[1].fieldNumbers[0] = 4; }), KURA_HEADERCORRUPT);
  EXPECT_EQ(with([](auto& h) {  // a gap in the key fields
              h.slots[1].fieldNumbers[0] = 0;
              h.slots[1].fieldNumbers[1] = 3;
            }), KURA_HEADERCORRUPT);
  EXPECT_EQ(with([](auto& h) { h.noPrimaryFields = 0; }), KURA_HEADERCORRUPT);
  EXPECT_EQ(with([](auto& h) {  // duplicate name without regard to case
              h.secondaryCount = 2;
              h.slots[2] = h.slots[1];
              h.slots[2].name = "bys";
            }), KURA_HEADERCORRUPT);
  EXPECT_EQ(with([](auto& h) {  // an integer is not a text-search field
              h.slots[32].fieldCount = 1;
              h.slots[32].fieldNumbers[0] = 1;
            }), KURA_HEADERCORRUPT);
}

}  // namespace
}  // namespace kura

#include "engine/storage/index_file.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

TEST(IndexFile, KeepsTheCountAndCounterAndServesWholePages) {
  testing::ScratchDir dir;
  TFileList files(Env::Default());
  TDataSession session(files);
  const std::string path = dir.File("t.IDX");
  {
    TIndexFile f(session, path, "t", {});
    f.Create(testing::NoKeyIndex());
    EXPECT_EQ(f.Header().changeCounter, 1);
    f.AdjustActiveRecordCount(3);
    const std::int32_t page = f.AppendPage();
    EXPECT_EQ(page, 1);
    std::vector<std::uint8_t> image(kIndexPageSize, 0x5A);
    f.WritePages(page, image.data(), 1);
    EXPECT_TRUE(f.WriteBack(false));
    f.Close();
  }
  const auto bytes = testing::ReadWholeFile(path);
  ASSERT_EQ(bytes.size(), 2 * kIndexPageSize);
  EXPECT_EQ(GetInt32LE(&bytes[0]), 2);
  EXPECT_EQ(GetInt32LE(&bytes[9]), 2);
  EXPECT_EQ(GetInt32LE(&bytes[3974]), 3);

  TIndexFile f(session, path, "t", {});
  f.Open();
  f.Verify(std::vector<TFieldDescriptor>{MakeField(1, "A", kFieldInteger)});
  EXPECT_EQ(f.ActiveRecordCount(), 3);
  EXPECT_FALSE(f.HasPrimaryFields());
  std::vector<std::uint8_t> page(kIndexPageSize);
  f.ReadPage(1, page.data());
  EXPECT_EQ(page[4095], 0x5A);
  EXPECT_EQ(testing::CodeOf([&] { f.ReadPage(2, page.data()); }), KURA_INDEXCORRUPT);
  f.Empty();
  EXPECT_TRUE(f.WriteBack(false));
  EXPECT_EQ(f.ActiveRecordCount(), 0);
  EXPECT_EQ(f.Header().nextPageNumber, 1);
  EXPECT_EQ(f.Handler().Length(), kIndexHeaderSize);
}

}  // namespace
}  // namespace kura
