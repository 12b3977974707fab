// libFuzzer target: a table made of fuzzed data, index and BLOB files (see
// table_bundle.h) is verified, opened, scanned in record order and in every
// index order, every field of every record read and every BLOB value read
// (table_exercise.h). Only engine errors may come out; a crash, another
// exception, a sanitizer report, a walk that does not end or a hang is a
// finding.
#include <cstddef>
#include <cstdint>

#include "reliability/fuzz/table_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!kura::fuzz::ExerciseTable(kura::fuzz::SplitBundle(data, size))) __builtin_trap();
  return 0;
}
