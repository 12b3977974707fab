// Writing results (column names and rows of texts, null as nullopt) in the
// shell's output formats, row by row as they come.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kura::tool {

enum class OutputFormat {
  kTable,  // aligned columns with a header and a rule, null shown as the null text
  kTsv,    // header line, tab-separated, null \N, tab/newline/backslash escaped
  kCsv,    // header line, comma-separated, quoted where needed, null as the null text
  kJson,   // an array of objects, one per row, null as null
};

// How a column's values are written in JSON and aligned in a table.
enum class ColumnKind { kText, kNumber, kBoolean };

struct OutputStyle {
  OutputFormat format = OutputFormat::kTable;
  bool headers = true;   // the header line of table, TSV and CSV
  std::string nullText;  // null in a table and in CSV
};

using ResultRow = std::vector<std::optional<std::string>>;

// Writes one result: the header at once, each row as it is given (a table
// holds its first kAlignedRows rows back to measure the column widths, and
// writes later rows in those widths), the end with Finish.
class ResultWriter {
 public:
  static constexpr std::size_t kAlignedRows = 1000;

  ResultWriter(std::ostream& out, const OutputStyle& style, std::vector<std::string> columns,
               std::vector<ColumnKind> kinds);
  void Row(ResultRow row);
  // Writes what is held back and the end (a table's row count, JSON's "]").
  void Finish();

 private:
  void WriteTableRow(const ResultRow& row, bool header);
  void Release();  // the held-back table rows, once the widths are known
  bool Right(std::size_t column) const;

  std::ostream& out_;
  OutputStyle style_;
  std::vector<std::string> columns_;
  std::vector<ColumnKind> kinds_;
  std::vector<ResultRow> held_;
  std::vector<std::size_t> widths_;
  bool released_ = false;
  std::size_t count_ = 0;
};

// A whole result at once, for callers that have it.
struct ResultTable {
  std::vector<std::string> columns;
  // Per column: numbers are written without quotes in JSON and aligned to
  // the right in a table.
  std::vector<bool> numeric;
  std::vector<ResultRow> rows;
};

// Writes `result` (UTF-8 texts) in `format` with headers, null empty.
void WriteResult(std::ostream& out, OutputFormat format, const ResultTable& result);

// The width of a UTF-8 text on a terminal: East Asian wide and full-width
// characters count two columns, combining marks none, others one.
std::size_t DisplayWidth(const std::string& text);

}  // namespace kura::tool
