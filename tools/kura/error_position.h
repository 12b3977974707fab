// Where in a statement an error was found, as the shell shows it: the line
// and column of the offending token and that line with a caret under it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kura::tool {

// For the byte `offset` of `statement`, whose first line is line
// `firstLine` of its input:
//   "  at line 2, column 10:\n  select * frm t;\n           ^\n"
// Columns count characters; the caret is placed by display width (a wide
// character takes two columns, a tab stays a tab).
std::string PositionText(std::string_view statement, std::size_t offset, int firstLine);

}  // namespace kura::tool
