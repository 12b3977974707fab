#include "tools/kura/script_text.h"

namespace kura::tool {

std::size_t TakeStatements(std::string_view text, std::vector<std::string>& out) {
  std::size_t start = 0;
  char quote = 0;        // inside '...', "..." or [...] (closing character)
  bool comment = false;  // inside /* ... */
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (comment) {
      if (c == '*' && i + 1 < text.size() && text[i + 1] == '/') {
        comment = false;
        ++i;
      }
    } else if (quote != 0) {
      if (c == quote) quote = 0;  // a doubled quote closes and reopens
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      comment = true;
      ++i;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '[') {
      quote = ']';
    } else if (c == ';') {
      std::string_view statement = text.substr(start, i + 1 - start);
      if (!IsBlank(statement.substr(0, statement.size() - 1)))
        out.emplace_back(statement);
      start = i + 1;
    }
  }
  return start;
}

bool IsBlank(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      const std::size_t end = text.find("*/", i + 2);
      if (end == std::string_view::npos) return false;
      i = end + 1;
    } else if (c == 0 || c > 32) {
      return false;
    }
  }
  return true;
}

}  // namespace kura::tool
