#include "tools/kura/error_position.h"

#include <algorithm>

#include "tools/kura/result_format.h"

namespace kura::tool {

std::string PositionText(std::string_view statement, std::size_t offset, int firstLine) {
  offset = std::min(offset, statement.size());
  const std::size_t newline = offset == 0 ? std::string_view::npos : statement.rfind('\n', offset - 1);
  const std::size_t lineStart = newline == std::string_view::npos ? 0 : newline + 1;
  std::size_t lineEnd = statement.find('\n', lineStart);
  if (lineEnd == std::string_view::npos) lineEnd = statement.size();
  const auto line = firstLine + static_cast<int>(std::count(statement.begin(),
                                                            statement.begin() + static_cast<std::ptrdiff_t>(lineStart), '\n'));
  std::string before(statement.substr(lineStart, offset - lineStart));
  std::size_t column = 1;
  for (char c : before) column += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  std::string indent;
  std::string chunk;
  for (char c : before) {
    if (c == '\t') {
      indent += std::string(DisplayWidth(chunk), ' ') + '\t';
      chunk.clear();
    } else {
      chunk += c;
    }
  }
  indent += std::string(DisplayWidth(chunk), ' ');
  std::string text = "  at line " + std::to_string(line) + ", column " + std::to_string(column) + ":\n";
  text += "  " + std::string(statement.substr(lineStart, lineEnd - lineStart)) + "\n";
  text += "  " + indent + "^\n";
  return text;
}

}  // namespace kura::tool
