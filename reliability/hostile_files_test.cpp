// Hostile files met by the normal build: every input that once made a fuzz
// target fail (reliability/fuzz/findings, "table-" for table files,
// "shell-" for shell input) must now be answered with engine errors only,
// and every seed the engine made must verify as sound.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "reliability/fuzz/table_exercise.h"
#include "engine/storage/testing/storage_fixture.h"
#include "tools/kura/kura_cli.h"

namespace kura {
namespace {

namespace fs = std::filesystem;
const fs::path kFuzz = fs::path(KURA_SOURCE_DIR) / "reliability" / "fuzz";

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> Files(const fs::path& dir, const std::string& prefix) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().filename().string().rfind(prefix, 0) == 0) out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(HostileFiles, EveryTableFindingIsAnsweredWithEngineErrorsAndWalksEnd) {
  for (const fs::path& p : Files(kFuzz / "findings", "table-")) {
    SCOPED_TRACE(p.filename().string());
    const std::string b = Bytes(p);
    const auto files = fuzz::SplitBundle(reinterpret_cast<const std::uint8_t*>(b.data()), b.size());
    EXPECT_TRUE(fuzz::ExerciseTable(files)) << "a walk did not end";
  }
}

TEST(HostileFiles, EverySeedMadeByTheEngineVerifies) {
  const std::vector<fs::path> seeds = Files(kFuzz / "corpus" / "tables", "");
  ASSERT_FALSE(seeds.empty());
  for (const fs::path& p : seeds) {
    SCOPED_TRACE(p.filename().string());
    const std::string b = Bytes(p);
    const auto files = fuzz::SplitBundle(reinterpret_cast<const std::uint8_t*>(b.data()), b.size());
    std::unique_ptr<Env> env = NewMemEnv();
    env->MakeDirectory("/db");
    fuzz::detail::Put(*env, "/db/t.DAT", files.data);
    fuzz::detail::Put(*env, "/db/t.IDX", files.index);
    if (!files.blob.empty()) fuzz::detail::Put(*env, "/db/t.BLB", files.blob);
    TFileList list(env.get());
    TDataSession session(list);
    TDataDirectory dir(session, "/db");
    const TableVerification v = VerifyTable(dir, "t");
    EXPECT_TRUE(v.Ok()) << v.problems[0];
    EXPECT_TRUE(fuzz::ExerciseTable(files));
  }
}

// Shell findings run against an empty scratch library on disk; an input
// that names a path is left out, so that nothing outside it is touched.
TEST(HostileFiles, EveryShellFindingEndsWithAStatus) {
  for (const fs::path& p : Files(kFuzz / "findings", "shell-")) {
    SCOPED_TRACE(p.filename().string());
    const std::string b = Bytes(p);
    if (b.empty() || b.find_first_of("/\\\\") != std::string::npos) continue;
    testing::ScratchDir dir;
    std::istringstream in(b.substr(1));
    std::ostringstream out, err;
    const int status = tool::RunKura({dir.Path()}, in, out, err, (b[0] & 16) != 0);
    EXPECT_GE(status, 0);
    EXPECT_LE(status, 2);
  }
}

}  // namespace
}  // namespace kura
