// The fuzzing entry point over a few inputs, so that CI runs it: the
// hand-written sample, texts that are refused, and texts near the limits.
#include "library/testing/sgf_fuzz_entry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "library/problem_import.h"

namespace sorabeku::testing {
namespace {

int Fuzz(const std::string& text) {
  return FuzzSgfImport(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TEST(SgfFuzzEntry, HoldsItsPromisesOnSampleInputs) {
  std::ifstream f(std::string(SGF_TESTDATA_DIR) + "/hand_written.sgf", std::ios::binary);
  std::ostringstream sample;
  sample << f.rdbuf();
  ASSERT_FALSE(sample.str().empty());
  for (const std::string refused : {"", "(;", "(;SBN[1]B[aa])"}) {
    EXPECT_THROW(ImportSgf(refused), SgfError);
    EXPECT_EQ(Fuzz(refused), 0);
  }
  // Each of these is imported, so the whole round trip runs.
  const std::string inputs[] = {
      sample.str(),
      "(;SBN[1]AB[aa:ss]LB[aa:\xFF]C[\\]]SBB[1:-1:7:99:x:y][2:3:0:0:]\n;;LB[bb:1][cc:2]SBC[2]SBX[0])",
      "(;SBN[998]SBG[25]AB[aa](;W[bb]BM[1]SBT[-3]SBA[1](;LB[cc:*]SBX[12])(;B[dd]SBC[-2]))(;))",
      "(;SBN[5]SBD[" + std::string(300, 'x') + "]AB[aa];B[bb]LB[bb:a][bb:b]C[c])",
  };
  for (const std::string& input : inputs) {
    EXPECT_NO_THROW(ImportSgf(input)) << input;
    EXPECT_EQ(Fuzz(input), 0) << input;
  }
}

}  // namespace
}  // namespace sorabeku::testing
