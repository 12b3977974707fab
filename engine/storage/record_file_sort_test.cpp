// The sort of result tables, run both in memory (a cache that holds every
// record) and through run files (a cache of a few records), which must give
// the same records.
#include "engine/storage/record_file_sort.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "engine/storage/env_fault.h"
#include "engine/storage/field_values.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::CodeOf;
using testing::NoKeyIndex;
using testing::ReadWholeFile;
using testing::ScratchDir;
using testing::TwoIntsAndString;

struct Row {
  std::int32_t a;
  std::int32_t b;
  std::string s;
};

SortOptions Distinct() {
  SortOptions o;
  o.distinct = true;
  return o;
}
SortOptions Limit(std::int64_t n) {
  SortOptions o;
  o.rowLimit = n;
  return o;
}
SortOptions NoCase() {
  SortOptions o;
  o.caseInsensitive = true;
  return o;
}

class SortTest : public ::testing::TestWithParam<bool> {
 protected:
  SortTest() {
    session_.settings.privateDirectory = dir_.Path();
    if (ThroughFiles()) {
      session_.settings.dataCacheBytes = 41 * 3;
      session_.settings.dataCacheRecords = 4;  // runs of 4 records
    } else {
      session_.settings.dataCacheBytes = 1 << 24;
    }
  }
  bool ThroughFiles() const { return GetParam(); }

  void Fill(const std::vector<Row>& rows, bool exclusive = true) {
    table_ = directory_.CreateTable("result", {.exclusive = exclusive}, TwoIntsAndString(),
                                    NoKeyIndex());
    std::vector<std::uint8_t> rec(41);
    for (const Row& r : rows) {
      std::fill(rec.begin(), rec.end(), 0);
      SetFieldInt(rec.data(), Field(1), r.a);
      SetFieldInt(rec.data(), Field(2), r.b);
      SetFieldString(rec.data(), Field(3), r.s, nullptr);
      table_->AppendRecord(rec.data());
    }
  }
  const TFieldDescriptor& Field(int n) { return table_->Data().Field(n); }
  SortResult Sort(std::vector<SortField> fields, const SortOptions& options = {}) {
    SortResult r = SortTable(session_, *table_, fields, options);
    EXPECT_EQ(r.inMemory, !ThroughFiles() || table_->Data().RecordCount() == 0);
    return r;
  }
  std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (std::int32_t n = 1; n <= table_->Data().RecordCount(); ++n) {
      TRecord* r = table_->ReadRecord(n);
      EXPECT_EQ(RecordRowId(r->Data()), n);
      rows.push_back({static_cast<std::int32_t>(GetFieldInt(r->Data(), Field(1)).value_or(-1)),
                      static_cast<std::int32_t>(GetFieldInt(r->Data(), Field(2)).value_or(-1)),
                      GetFieldString(r->Data(), Field(3)).value_or("")});
    }
    return rows;
  }
  std::vector<std::int32_t> Column(int field) {
    std::vector<std::int32_t> v;
    for (const Row& r : Rows()) v.push_back(field == 1 ? r.a : r.b);
    return v;
  }
  std::vector<std::string> Strings() {
    std::vector<std::string> v;
    for (const Row& r : Rows()) v.push_back(r.s);
    return v;
  }
  std::uint64_t FileLength() { return table_->Data().Handler().Length(); }
  int TmpFiles() {
    int n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.Path())) {
      n += e.path().extension() == ".TMP";
    }
    return n;
  }

  FaultEnv env_{Env::Default()};
  TFileList files_{&env_};
  TDataSession session_{files_};
  ScratchDir dir_;
  TDataDirectory directory_{session_, dir_.Path()};
  TDataTable* table_ = nullptr;
};

TEST_P(SortTest, OrdersAndRenumbersRecordsAndKeepsAppendOrderForEqualKeys) {
  Fill({{3, 1, "c"}, {1, 2, "a"}, {2, 3, "b"}, {1, 4, "d"}, {5, 5, "x"}, {2, 6, "y"}});
  const SortResult r = Sort({{Field(1), false}});
  EXPECT_EQ(Column(1), (std::vector<std::int32_t>{1, 1, 2, 2, 3, 5}));
  EXPECT_EQ(Column(2), (std::vector<std::int32_t>{2, 4, 3, 6, 1, 5}));
  EXPECT_EQ(r.outputRows, 6);
  EXPECT_EQ(table_->Index().ActiveRecordCount(), 6);
  if (ThroughFiles()) {
    EXPECT_EQ(r.runFiles, 2);
  }
  EXPECT_EQ(TmpFiles(), 0);
}

TEST_P(SortTest, DescendingAndCaseInsensitiveAndSeveralFields) {
  Fill({{1, 1, "b"}, {2, 2, "A"}, {1, 3, "a"}, {2, 4, "B"}, {1, 5, "C"}});
  Sort({{Field(1), true}, {Field(3), false}}, NoCase());
  EXPECT_EQ(Column(2), (std::vector<std::int32_t>{2, 4, 3, 1, 5}));
  Sort({{Field(3), true}});  // byte order, descending: lower case first
  EXPECT_EQ(Strings(), (std::vector<std::string>{"b", "a", "C", "B", "A"}));
}

TEST_P(SortTest, NullsSortFirstAscending) {
  Fill({{4, 1, "d"}, {2, 2, ""}, {1, 3, "a"}, {3, 4, ""}, {0, 5, "b"}});
  Sort({{Field(3), false}});
  EXPECT_EQ(Column(2), (std::vector<std::int32_t>{2, 4, 3, 5, 1}));
}

TEST_P(SortTest, DistinctDropsRepeatedKeysAndTruncates) {
  Fill({{1, 1, "A"}, {2, 2, "B"}, {3, 3, "A"}, {4, 4, "B"}, {5, 5, "A"}});
  Sort({{Field(3), false}}, Distinct());
  EXPECT_EQ(Strings(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(Column(1), (std::vector<std::int32_t>{1, 2}));  // the first of each
  EXPECT_EQ(table_->Data().Header().nextRecordNumber, 3);
  EXPECT_EQ(FileLength(), 127u + 3 * 768 + 2 * 41);
  EXPECT_EQ(table_->Index().ActiveRecordCount(), 2);
}

TEST_P(SortTest, RowLimitKeepsTheSmallest) {
  Fill({{5, 0, ""}, {3, 0, ""}, {4, 0, ""}, {1, 0, ""}, {2, 0, ""}});
  Sort({{Field(1), false}}, Limit(2));
  EXPECT_EQ(Column(1), (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(table_->Data().Header().nextRecordNumber, 3);
}

TEST_P(SortTest, RowLimitZeroLeavesNothing) {
  Fill({{5, 0, ""}, {3, 0, ""}});
  Sort({{Field(1), false}}, Limit(0));
  EXPECT_TRUE(Rows().empty());
}

TEST_P(SortTest, EmptyTableWithDistinctIsCutToDescriptors) {
  Fill({});
  Sort({{Field(1), false}}, Distinct());
  EXPECT_EQ(FileLength(), 127u + 3 * 768);
  EXPECT_EQ(table_->Data().RecordCount(), 0);
}

// Sums B over groups of equal A; groups whose sum is 10 are withdrawn.
SortOptions SumOfBByA(const TFieldDescriptor& b, std::vector<std::string>* calls) {
  SortOptions o;
  o.grouping = true;
  o.aggregate = [&b, calls](AggregateMode mode, std::uint8_t* record, std::uint8_t* out) {
    if (mode == AggregateMode::kBegin) {
      calls->push_back("begin");
      return;
    }
    SetFieldInt(out, b, *GetFieldInt(out, b) + *GetFieldInt(record, b));
  };
  o.groupEnd = [calls](std::uint8_t*) { calls->push_back("end"); };
  o.keep = [&b](const std::uint8_t* out) { return *GetFieldInt(out, b) != 10; };
  return o;
}

TEST_P(SortTest, GroupingAggregatesAndWithdrawsGroups) {
  Fill({{2, 1, ""}, {1, 4, ""}, {3, 7, ""}, {2, 9, ""}, {1, 5, ""}, {3, 1, ""}, {4, 2, ""}});
  std::vector<std::string> calls;
  const SortResult r = Sort({{Field(1), false}}, SumOfBByA(Field(2), &calls));
  // Groups: 1 -> 9, 2 -> 10 (withdrawn), 3 -> 8, 4 -> 2.
  EXPECT_EQ(Column(1), (std::vector<std::int32_t>{1, 3, 4}));
  EXPECT_EQ(Column(2), (std::vector<std::int32_t>{9, 8, 2}));
  EXPECT_EQ(r.outputRows, 3);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "end"), 4);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "begin"), 4);
}

TEST_P(SortTest, GroupingWithLimitCompletesTheLastGroup) {
  Fill({{2, 1, ""}, {1, 4, ""}, {3, 7, ""}, {2, 9, ""}, {1, 5, ""}, {3, 1, ""}, {3, 1, ""}});
  std::vector<std::string> calls;
  SortOptions o = SumOfBByA(Field(2), &calls);
  o.rowLimit = 2;
  Sort({{Field(1), false}}, o);
  // Group 2 sums to 10 and is withdrawn, so group 3 fills the second row
  // with all three of its records.
  EXPECT_EQ(Column(1), (std::vector<std::int32_t>{1, 3}));
  EXPECT_EQ(Column(2), (std::vector<std::int32_t>{9, 9}));
}

// More groups than an output buffer holds (4 records through run files):
// a group's row must still take the records that follow a full buffer.
TEST_P(SortTest, GroupsSpanningFullOutputBuffersKeepTheirSums) {
  std::vector<Row> rows;
  for (int i = 0; i < 12; ++i) rows.push_back({(i * 5) % 12 / 2, 1, ""});
  Fill(rows);
  std::vector<std::string> calls;
  SortOptions o = SumOfBByA(Field(2), &calls);
  o.keep = nullptr;
  Sort({{Field(1), false}}, o);
  EXPECT_EQ(Column(1), (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Column(2), (std::vector<std::int32_t>{2, 2, 2, 2, 2, 2}));
}

TEST_P(SortTest, SharedTableIsRefused) {
  Fill({{1, 0, ""}}, /*exclusive=*/false);
  EXPECT_EQ(CodeOf([&] { SortTable(session_, *table_, {{Field(1), false}}, {}); }), 10253);
}

TEST_P(SortTest, TableWithPrimaryKeyIsLeftAlone) {
  TIndexFileHeader h = NewIndexHeader();
  h.slots[0].keyLength = 5;
  h.slots[0].unique = 1;
  h.slots[0].fieldCount = 1;
  h.slots[0].fieldNumbers[0] = 1;
  table_ = directory_.CreateTable("keyed", {.exclusive = true}, TwoIntsAndString(), h);
  std::vector<std::uint8_t> rec(41);
  for (int v : {3, 1, 2}) {
    SetFieldInt(rec.data(), Field(1), v);
    table_->AppendRecord(rec.data());
  }
  SortTable(session_, *table_, {{Field(1), false}}, {});
  EXPECT_EQ(Column(1), (std::vector<std::int32_t>{3, 1, 2}));
}

INSTANTIATE_TEST_SUITE_P(Methods, SortTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "RunFiles" : "InMemory"; });

// Random data sorted both ways, written back and closed: the record areas
// and the lengths of the two data files are the same byte for byte.
TEST(SortMethods, InMemoryAndRunFilesGiveIdenticalFiles) {
  std::mt19937 rng(7);
  std::vector<std::vector<std::uint8_t>> images;
  DataFileDefinition def = TwoIntsAndString();
  std::vector<TFieldDescriptor> fields = def.fields;
  LayOutFields(fields.data(), fields.size());
  for (int i = 0; i < 3000; ++i) {
    std::vector<std::uint8_t> rec(41, 0);
    SetFieldInt(rec.data(), fields[0], static_cast<std::int32_t>(rng() % 50));
    if (rng() % 7 != 0) SetFieldInt(rec.data(), fields[1], static_cast<std::int32_t>(rng() % 1000) - 500);
    SetFieldString(rec.data(), fields[2], std::string(1 + rng() % 5, char('a' + rng() % 4)), nullptr);
    images.push_back(rec);
  }
  std::vector<std::vector<std::uint8_t>> files;
  for (bool throughFiles : {false, true}) {
    ScratchDir dir;
    TDataSession session;
    session.settings.privateDirectory = dir.Path();
    session.settings.dataCacheBytes = throughFiles ? 41 * 10 : 1 << 24;
    session.settings.dataCacheRecords = throughFiles ? 128 : 8192;
    TDataDirectory directory(session, dir.Path());
    TDataTable* t = directory.CreateTable("r", {.exclusive = true}, def, NoKeyIndex());
    for (const auto& rec : images) t->AppendRecord(rec.data());
    SortOptions options;
    options.distinct = true;
    const SortResult r = SortTable(session, *t,
        {{t->Data().Field(1), true}, {t->Data().Field(2), false}, {t->Data().Field(3), false}},
        options);
    EXPECT_EQ(r.inMemory, !throughFiles);
    if (throughFiles) {
      EXPECT_GT(r.runFiles, 20);
    }
    directory.CloseTable(t);
    std::vector<std::uint8_t> bytes = ReadWholeFile(dir.File("r.DAT"));
    ASSERT_GT(bytes.size(), 127u + 3 * 768);
    files.emplace_back(bytes.begin() + 127, bytes.end());
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path())) {
      EXPECT_NE(e.path().extension(), ".TMP");
    }
  }
  EXPECT_EQ(files[0].size(), files[1].size());
  EXPECT_TRUE(files[0] == files[1]);
}

TEST(SortMethods, RunFilesAreDeletedWhenTheSortFails) {
  ScratchDir dir;
  FaultEnv env(Env::Default());
  TFileList files(&env);
  TDataSession session(files);
  session.settings.privateDirectory = dir.Path();
  session.settings.dataCacheBytes = 41 * 2;
  session.settings.dataCacheRecords = 2;
  TDataDirectory directory(session, dir.Path());
  TDataTable* t = directory.CreateTable("r", {.exclusive = true}, TwoIntsAndString(), NoKeyIndex());
  std::vector<std::uint8_t> rec(41, 0);
  for (int v = 0; v < 9; ++v) {
    SetFieldInt(rec.data(), t->Data().Field(1), 9 - v);
    t->AppendRecord(rec.data());
  }
  // The merge fails in a callback while every run file exists.
  SortOptions options;
  options.grouping = true;
  options.aggregate = [](AggregateMode, std::uint8_t*, std::uint8_t*) {
    Raise(KURA_SQLPARSE, {.message = "boom"});
  };
  EXPECT_EQ(CodeOf([&] { SortTable(session, *t, {{t->Data().Field(1), false}}, options); }),
            KURA_SQLPARSE);
  int tmp = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path())) {
    tmp += e.path().extension() == ".TMP";
  }
  EXPECT_EQ(tmp, 0);
}

}  // namespace
}  // namespace kura
