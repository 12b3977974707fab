#include "library/testing/sgf_fuzz_entry.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "library/problem_export.h"
#include "library/problem_import.h"
#include "library/problem_store.h"
#include "library/sgf_writer.h"
#include "library/shift_jis_data_set.h"
#include "library/testing/memory_library.h"

namespace sorabeku::testing {

namespace {

[[noreturn]] void Broken(const char* what, int number) {
  std::fprintf(stderr, "SGF round trip broken: %s (problem %d)\n", what, number);
  std::abort();
}

}  // namespace

int FuzzSgfImport(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ImportResult imported;
  try {
    imported = ImportSgf(text);
  } catch (const SgfError&) {
    return 0;  // refused with a message: what the importer is for
  }
  MemoryLibrary library;
  ShiftJisQueries queries(library);
  AppendProblems(queries, imported.problems);
  for (const ProblemRecord& p : imported.problems) {
    const std::optional<ProblemRecord> stored = ReadProblem(queries, p.number);
    if (!stored) Broken("an imported problem is missing", p.number);
    const std::string exported = WriteSgf({ProblemToTree(*stored).root});
    ImportResult again;
    try {
      again = ImportSgf(exported);
    } catch (const SgfError& e) {
      std::fprintf(stderr, "%s\n%s\n", e.what(), exported.c_str());
      Broken("the export is refused by the importer", p.number);
    }
    if (again.problems.size() != 1 || again.problems[0] != *stored) {
      Broken("the export reads back differently", p.number);
    }
    if (WriteSgf({ProblemToTree(again.problems[0]).root}) != exported) {
      Broken("the export is not stable", p.number);
    }
  }
  return 0;
}

}  // namespace sorabeku::testing
