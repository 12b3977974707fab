#include "engine/storage/index_definitions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/storage/field_values.h"
#include "engine/storage/index_file_trees.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::CodeOf;

// Fields laid out as in a data file: A integer, S string[20], B BLOB,
// L1 ... L3 strings[250].
std::vector<TFieldDescriptor> Fields() {
  std::vector<TFieldDescriptor> f = {
      MakeField(1, "A", kFieldInteger), MakeField(2, "S", kFieldString, 20),
      MakeField(3, "B", kFieldBlob),    MakeField(4, "L1", kFieldString, 250),
      MakeField(5, "L2", kFieldString, 250), MakeField(6, "L3", kFieldString, 250)};
  LayOutFields(f.data(), f.size());
  return f;
}

TEST(IndexDefinitionTest, KeyLengthsAndDescriptors) {
  const auto f = Fields();
  TIndexFileHeader h = NewIndexHeader();
  DefinePrimaryIndex(h, f, {.fields = {1}}, "t");
  EXPECT_EQ(h.slots[0].keyLength, 5);
  EXPECT_EQ(h.slots[0].unique, 1);
  const int slot = AddSecondaryIndex(
      h, f, {.name = "ByName", .fields = {2, 1}, .descending = true, .compression = 3}, "t");
  EXPECT_EQ(slot, 1);
  const TIndexDescriptor& d = h.slots[1];
  EXPECT_EQ(d.keyLength, 22 + 5 + 4);  // string[20], integer, row id
  EXPECT_EQ(d.fieldCount, 2);
  EXPECT_EQ(d.fieldDescending[0], 1);
  EXPECT_EQ(d.fieldDescending[1], 1);
  EXPECT_EQ(d.fieldNumbers[1], 1);
  EXPECT_EQ(d.compression, 3);
  EXPECT_EQ(FindSecondaryIndex(h, " byname "), 1);
}

TEST(IndexDefinitionTest, EveryRefusalHasItsCode) {
  const auto f = Fields();
  TIndexFileHeader h = NewIndexHeader();
  EXPECT_EQ(CodeOf([&] { DefinePrimaryIndex(h, f, {.fields = {3}}, "t"); }), KURA_SEARCHCOLREQD);
  EXPECT_EQ(CodeOf([&] { DefinePrimaryIndex(h, f, {.fields = {9}}, "t"); }), KURA_SEARCHCOLREQD);
  EXPECT_EQ(CodeOf([&] { DefinePrimaryIndex(h, f, {.fields = {4, 5, 6}}, "t"); }),
            KURA_INVALIDKEY);  // 3 × 252 bytes
  EXPECT_EQ(CodeOf([&] {
              DefinePrimaryIndex(h, f, {.fields = std::vector<std::uint16_t>(17, 1)}, "t");
            }), KURA_INDEXLIMIT);
  EXPECT_EQ(h.slots[0].fieldCount, 0) << "a refused definition left something behind";
  DefinePrimaryIndex(h, f, {}, "t");  // no primary key
  EXPECT_EQ(h.noPrimaryFields, 1);
  EXPECT_EQ(CodeOf([&] { DefinePrimaryIndex(h, f, {.fields = {1}}, "t"); }),
            KURA_PRIMARYKEYREDEFINE);

  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(h, f, {.name = "  ", .fields = {1}}, "t"); }),
            KURA_INDEXNAMEREQUIRED);
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(h, f, {.name = "1st", .fields = {1}}, "t"); }),
            KURA_INVALIDINDEXNAME);
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(h, f, {.name = "X", .fields = {}}, "t"); }),
            KURA_INVALIDKEY);
  AddSecondaryIndex(h, f, {.name = "_x", .fields = {1}}, "t");
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(h, f, {.name = "_X ", .fields = {2}}, "t"); }),
            KURA_INDEXEXISTS);
  for (int i = 2; i <= 30; ++i) AddSecondaryIndex(h, f, {.name = "I" + std::to_string(i), .fields = {1}}, "t");
  EXPECT_EQ(CodeOf([&] { AddSecondaryIndex(h, f, {.name = "Last", .fields = {1}}, "t"); }),
            KURA_INDEXLIMIT);
  EXPECT_EQ(h.secondaryCount, 30);
  RemoveSecondaryIndex(h, 2);
  EXPECT_EQ(h.secondaryCount, 29);
  EXPECT_EQ(h.slots[2].name, "I3");
  EXPECT_EQ(h.slots[30].name, "");
  EXPECT_EQ(h.slots[kSysDeletedSlot].name, kSysDeletedName);
}

TEST(IndexDefinitionTest, AnIndexAddedToATableWithRecordsIsBuilt) {
  TDataSession session;
  testing::ScratchDir dir;
  TDataDirectory directory(session, dir.Path());
  TDataTable* t = directory.CreateTable("t", {}, testing::TwoIntsAndString(), testing::NoKeyIndex());
  std::vector<std::uint8_t> rec(41, 0);
  for (int i = 0; i < 500; ++i) {
    SetFieldInt(rec.data(), t->Data().Field(2), (i * 37) % 101);
    t->AppendRecord(rec.data());
  }
  TIndexFile& ix = t->Index();
  const int slot = AddSecondaryIndex(ix.MutableHeader(), t->Data().Fields(),
                                     {.name = "ByB", .fields = {2}}, "t");
  ix.MarkHeaderChanged();
  ix.BindTrees(t->Data().Fields(), 0, 0);
  ix.Trees().BuildIndex(slot, t->Data());
  EXPECT_EQ(ix.Trees().Tree(slot).Count(), 500u);
  const auto problems = ix.Trees().Check(&t->Data());
  EXPECT_TRUE(problems.empty()) << problems.front();
  directory.CloseTable(t);
}

TEST(IndexDefinitionTest, ATemporaryIndexLivesInAPrivateFileOfItsOwn) {
  TDataSession session;
  testing::ScratchDir dir, privateDir;
  session.settings.privateDirectory = privateDir.Path();
  TDataDirectory directory(session, dir.Path());
  TDataTable* t = directory.CreateTable("t", {}, testing::TwoIntsAndString(), testing::NoKeyIndex());
  std::vector<std::uint8_t> rec(41, 0);
  for (int i = 0; i < 300; ++i) {
    SetFieldInt(rec.data(), t->Data().Field(1), 1000 - i);
    t->AppendRecord(rec.data());
  }
  TIndexFile& ix = t->Index();
  t->WriteAllChanges();
  const std::int32_t pages = ix.Header().nextPageNumber;
  const int slot = AddSecondaryIndex(ix.MutableHeader(), t->Data().Fields(),
                                     {.name = "Sort", .fields = {1}, .temporary = true}, "t");
  ix.MarkHeaderChanged();
  ix.BindTrees(t->Data().Fields(), 0, 0);
  ix.Trees().BuildIndex(slot, t->Data());
  for (int i = 0; i < 50; ++i) t->AppendRecord(rec.data());  // maintained meanwhile
  t->WriteAllChanges();
  EXPECT_EQ(ix.Trees().Tree(slot).Count(), 350u);
  EXPECT_EQ(ix.Header().nextPageNumber, pages) << "temporary pages went into the index file";
  const auto onDisk = testing::ReadWholeFile(dir.File("t.IDX"));
  EXPECT_EQ(onDisk[13], 0) << "the header lists the temporary index";
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(privateDir.Path()))
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].substr(names[0].size() - 4), ".IDX");
  const auto problems = ix.Trees().Check(&t->Data());
  EXPECT_TRUE(problems.empty()) << problems.front();
  directory.CloseTable(t);
  // The session's own directory below it goes when the session ends.
  bool empty = true;
  for (const auto& e : std::filesystem::recursive_directory_iterator(privateDir.Path()))
    empty = empty && !e.is_regular_file();
  EXPECT_TRUE(empty) << "temporary index file left behind";
}

}  // namespace
}  // namespace kura
