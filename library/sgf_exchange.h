// Problems of a library to an SGF file and back, whole operations as the
// `kura-sgf` tool and the program's ファイル menu run them: choosing the
// problems, writing them, reading a file and appending its problems all or
// none. The queries must hand out texts in UTF-8 (ShiftJisQueries).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/problem_import.h"
#include "library/problem_queries.h"

namespace sorabeku {

// Called after each problem with the number of problems done so far and
// their total (an import calls it with 0 once the file is read).
using ExchangeProgress = std::function<void(int done, int total)>;

// The problems of `section` (1..3), or of every section when it is empty,
// in section and number order.
std::vector<int> ProblemsOfSections(ProblemQueries& queries, std::optional<int> section);

struct SgfExport {
  std::string text;                // one game tree per problem
  int problems = 0;
  std::vector<std::string> notes;  // "problem N: K rows that no line reaches were left out"
};

// Writes problems `numbers` as one SGF collection. Throws
// std::runtime_error ("problem N is not in the library") for a number the
// library does not hold, and the engine's errors.
SgfExport ExportProblems(ProblemQueries& queries, const std::vector<int>& numbers,
                         const ExchangeProgress& progress = {});

// Reads `text` and appends every problem of it in one transaction. Throws
// SgfError (with the line and column) for a file it refuses and
// ProblemNotAdded for a number that cannot be used, both before the first
// write; an engine error while writing rolls everything back and passes
// on. The result lists the problems stored and the importer's notes.
ImportResult ImportIntoLibrary(ProblemQueries& queries, std::string_view text,
                               const ImportOptions& options = {},
                               const ExchangeProgress& progress = {});

// The bytes of the file at `path`; throws std::runtime_error
// ("cannot read PATH") when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Writes `text` to `path`, replacing it; throws std::runtime_error
// ("cannot write PATH") when that fails.
void WriteWholeFile(const std::string& path, std::string_view text);

}  // namespace sorabeku
