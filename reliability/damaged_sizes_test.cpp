// Sizes, counts and offsets read from damaged headers: every field of the
// three headers is set to hostile values in turn, and the table is then
// verified, opened, walked in every order and every value read. Only
// engine errors may answer, and every walk must end.
#include <gtest/gtest.h>

#include <sstream>

#include "engine/storage/coding.h"
#include "engine/storage/file_format.h"
#include "engine/storage/table_repair.h"
#include "engine/storage/testing/storage_fixture.h"
#include "reliability/fuzz/table_exercise.h"
#include "tools/kura/kura_cli.h"

namespace kura {
namespace {

std::string Text(const std::vector<std::uint8_t>& v) { return {v.begin(), v.end()}; }

// A table with a primary key, a secondary index and MEMO values of one and
// of several blocks.
fuzz::TableFiles MakeTable() {
  testing::ScratchDir dir;
  std::istringstream in;
  std::ostringstream out, err;
  const int status = tool::RunKura(
      {dir.Path(), "-c",
       "CREATE TABLE t (K INTEGER, S VARCHAR(20), M MEMO, PRIMARY KEY (K)) BLOB BLOCK SIZE 64;"
       "CREATE INDEX T_S ON t (S);"
       "INSERT INTO t VALUES (1, 'one', 'short'), (2, 'two', '" + std::string(300, 'm') + "'),"
       "(3, 'three', NULL), (4, 'four', 'x');"
       "DELETE FROM t WHERE K = 3"},
      in, out, err, false);
  EXPECT_EQ(status, 0) << err.str();
  return {Text(testing::ReadWholeFile(dir.File("t.DAT"))), Text(testing::ReadWholeFile(dir.File("t.IDX"))),
          Text(testing::ReadWholeFile(dir.File("t.BLB")))};
}

// Hostile values for a field of `width` bytes at `at` of `bytes`.
void Sweep(const fuzz::TableFiles& sound, std::string fuzz::TableFiles::*file,
           const std::vector<std::pair<std::size_t, int>>& fields) {
  const std::uint32_t values[] = {0, 0x7FFFFFFF, 0xFFFFFFFF, 0x80000000, 0x10000, 0xFF, 1};
  for (const auto& [at, width] : fields) {
    for (std::uint32_t v : values) {
      fuzz::TableFiles damaged = sound;
      std::string& bytes = damaged.*file;
      ASSERT_LE(at + width, bytes.size());
      for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
      SCOPED_TRACE("offset " + std::to_string(at) + " = " + std::to_string(v));
      EXPECT_TRUE(fuzz::ExerciseTable(damaged)) << "a walk did not end";
    }
  }
}

TEST(DamagedSizes, EveryHeaderFieldOfTheThreeFilesIsCheckedBeforeUse) {
  const fuzz::TableFiles sound = MakeTable();
  ASSERT_TRUE(fuzz::ExerciseTable(sound));
  // Data file header and the first field descriptor's sizes and offset.
  Sweep(sound, &fuzz::TableFiles::data,
        {{0, 4}, {4, 4}, {8, 1}, {9, 4}, {13, 4}, {17, 4}, {21, 2}, {23, 2}, {25, 2}, {103, 2},
         {105, 2}, {112, 4}});
  // Index file header: next page, index count, the primary, the secondary
  // and the "Sys Deleted" descriptors' sizes and pages, the record count.
  std::vector<std::pair<std::size_t, int>> index = {{8, 1}, {9, 4}, {13, 1}, {3974, 4}, {3978, 1}};
  for (std::size_t slot : {0, 1, 31}) {
    for (auto [off, width] : std::vector<std::pair<std::size_t, int>>{
             {31, 2}, {36, 1}, {37, 1}, {54, 2}, {86, 4}, {90, 4}, {100, 1}}) {
      index.push_back({14 + 120 * slot + off, width});
    }
  }
  Sweep(sound, &fuzz::TableFiles::index, index);
  // BLOB file header and the first block's links and counts.
  Sweep(sound, &fuzz::TableFiles::blob,
        {{8, 1}, {9, 4}, {13, 4}, {512, 4}, {516, 4}, {520, 2}, {522, 4}, {526, 4}});
}

TEST(DamagedSizes, AHugeBlobBlockSizeIsRefusedNotAllocated) {
  fuzz::TableFiles t = MakeTable();
  PutFixed32LE(reinterpret_cast<std::uint8_t*>(t.data.data()) + 4, 0x7FFFFFFF);
  std::unique_ptr<Env> env = NewMemEnv();
  env->MakeDirectory("/db");
  fuzz::detail::Put(*env, "/db/t.DAT", t.data);
  fuzz::detail::Put(*env, "/db/t.IDX", t.index);
  fuzz::detail::Put(*env, "/db/t.BLB", t.blob);
  TFileList files(env.get());
  TDataSession session(files);
  TDataDirectory dir(session, "/db");
  EXPECT_EQ(testing::CodeOf([&] { dir.CloseTable(dir.OpenTable("t", {.readOnly = true})); }),
            KURA_HEADERCORRUPT);
  const TableVerification v = VerifyTable(dir, "t");
  ASSERT_EQ(v.problems.size(), 1u);
  EXPECT_NE(v.problems[0].find("Header information corrupt"), std::string::npos) << v.problems[0];
  EXPECT_EQ(testing::CodeOf([&] { RepairTable(session, "/db", "t"); }), KURA_HEADERCORRUPT);
  // The largest block size whose bytes can be counted is still made.
  std::istringstream in;
  std::ostringstream out, err;
  testing::ScratchDir disk;
  EXPECT_EQ(tool::RunKura({disk.Path(), "-c", "CREATE TABLE b (M MEMO) BLOB BLOCK SIZE 65553"}, in,
                          out, err, false),
            0)
      << err.str();
  EXPECT_EQ(tool::RunKura({disk.Path(), "-c", "CREATE TABLE c (M MEMO) BLOB BLOCK SIZE 65554"}, in,
                          out, err, false),
            1);
  EXPECT_NE(err.str().find("9498"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace kura
