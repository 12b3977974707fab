// An entry point for fuzzing the SGF reader and the problem importer with
// libFuzzer: LLVMFuzzerTestOneInput can call it with the input bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sorabeku::testing {

// Reads `data` as an SGF file and imports its game trees into a fresh
// in-memory library; then exports each problem, imports that text again
// and compares. Input that is refused (not SGF, or not a problem) ends the
// run quietly. A broken promise aborts: an import that fails after the
// checks passed, a problem that reads back differently from its export, an
// exported text that its own importer refuses. Returns 0.
int FuzzSgfImport(const std::uint8_t* data, std::size_t size);

}  // namespace sorabeku::testing
