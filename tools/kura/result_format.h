// Writing a result table (column names and rows of texts, null as nullopt)
// in the shell's output formats.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kura::tool {

enum class OutputFormat {
  kTable,  // aligned columns with a header and a rule, null shown as NULL
  kTsv,    // header line, tab-separated, null \N, tab/newline/backslash escaped
  kCsv,    // header line, comma-separated, quoted where needed, null empty
  kJson,   // an array of objects, one per row, null as null
};

struct ResultTable {
  std::vector<std::string> columns;
  // Per column: numbers are written without quotes in JSON and aligned to
  // the right in a table.
  std::vector<bool> numeric;
  std::vector<std::vector<std::optional<std::string>>> rows;
};

// Writes `result` (UTF-8 texts) in `format`, ending with a line break.
void WriteResult(std::ostream& out, OutputFormat format, const ResultTable& result);

// The width of a UTF-8 text on a terminal: East Asian wide and full-width
// characters count two columns, other characters one.
std::size_t DisplayWidth(const std::string& text);

}  // namespace kura::tool
