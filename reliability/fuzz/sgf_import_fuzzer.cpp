// libFuzzer target: fuzzed bytes are read as an SGF file and imported into
// an in-memory library; each problem is exported, imported again and
// compared (FuzzSgfImport). A refusal with SgfError is the expected answer
// to bad input; a crash, another exception, a sanitizer report, a leak, a
// hang or a round trip that differs (an abort) is a finding.
#include <cstddef>
#include <cstdint>

#include "library/testing/sgf_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return sorabeku::testing::FuzzSgfImport(data, size);
}
