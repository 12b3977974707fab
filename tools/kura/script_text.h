// Cutting a stream of SQL text into statements for the shell: a statement
// ends at a ";" that is not inside a quoted text, a bracketed name or a
// comment.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kura::tool {

// Appends to `out` every complete statement at the start of `text` (each
// with its ";", blanks around it kept), and returns the offset where the
// incomplete rest begins. Statements that are only blanks are skipped.
std::size_t TakeStatements(std::string_view text, std::vector<std::string>& out);

// The same as offsets: [begin, end) of each complete statement in `text`.
struct StatementSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
};
std::size_t TakeStatementSpans(std::string_view text, std::vector<StatementSpan>& out);

// Replaces each parameter name ":NAME" outside quotes and comments by "?"
// and blanks of the same length (offsets in the text stay the same), and
// appends to `names` one entry per "?" of the result in order: the name
// with its colon, or "" for a "?" written as such.
std::string MarkParameters(std::string_view text, std::vector<std::string>& names);

// True when `text` holds nothing but blanks and comments.
bool IsBlank(std::string_view text);

}  // namespace kura::tool
