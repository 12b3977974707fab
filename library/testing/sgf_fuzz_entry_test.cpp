// The fuzzing entry point over a few inputs, so that CI runs it: the
// hand-written sample, texts that are refused, and texts near the limits.
#include "library/testing/sgf_fuzz_entry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "library/problem_import.h"

namespace sorabeku::testing {
namespace {

int Fuzz(const std::string& text) {
  return FuzzSgfImport(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::string Bytes(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(SgfFuzzEntry, HoldsItsPromisesOnSampleInputs) {
  const std::string sample = Bytes(std::string(SGF_TESTDATA_DIR) + "/hand_written.sgf");
  ASSERT_FALSE(sample.empty());
  for (const std::string refused : {"", "(;", "(;SBN[1]B[aa])"}) {
    EXPECT_THROW(ImportSgf(refused), SgfError);
    EXPECT_EQ(Fuzz(refused), 0);
  }
  // Each of these is imported, so the whole round trip runs.
  const std::string inputs[] = {
      sample,
      "(;SBN[1]AB[aa:ss]LB[aa:\xFF]C[\\]]SBB[1:-1:7:99:x:y][2:3:0:0:]\n;;LB[bb:1][cc:2]SBC[2]SBX[0])",
      "(;SBN[998]SBG[25]AB[aa](;W[bb]BM[1]SBT[-3]SBA[1](;LB[cc:*]SBX[12])(;B[dd]SBC[-2]))(;))",
      "(;SBN[5]SBD[" + std::string(300, 'x') + "]AB[aa];B[bb]LB[bb:a][bb:b]C[c])",
  };
  for (const std::string& input : inputs) {
    EXPECT_NO_THROW(ImportSgf(input)) << input;
    EXPECT_EQ(Fuzz(input), 0) << input;
  }
}

// Every input the SGF fuzz target once failed on ("sgf-" in the fuzz
// findings); the sanitizer build sees what the fuzzer's sanitizers saw.
TEST(SgfFuzzEntry, EveryFindingOfTheFuzzTargetIsAnswered) {
  int replayed = 0;
  for (const auto& e : std::filesystem::directory_iterator(SGF_FINDINGS_DIR)) {
    if (e.path().filename().string().rfind("sgf-", 0) != 0) continue;
    SCOPED_TRACE(e.path().filename().string());
    EXPECT_EQ(Fuzz(Bytes(e.path())), 0);
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace sorabeku::testing
