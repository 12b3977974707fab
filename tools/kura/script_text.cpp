#include "tools/kura/script_text.h"

#include <cctype>

namespace kura::tool {

std::size_t TakeStatements(std::string_view text, std::vector<std::string>& out) {
  std::vector<StatementSpan> spans;
  const std::size_t rest = TakeStatementSpans(text, spans);
  for (const StatementSpan& s : spans) out.emplace_back(text.substr(s.begin, s.end - s.begin));
  return rest;
}

namespace {

// Moves over the text the way the statement grammar reads it, calling
// `plain(i)` for every character outside quotes, brackets and comments.
template <typename Plain>
void Scan(std::string_view text, Plain plain) {
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
    } else {
      i = plain(i);
    }
  }
}

bool NameCharacter(char c, bool first) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalpha(u) || c == '_' || u >= 0x80 || (!first && std::isdigit(u));
}

}  // namespace

std::string MarkParameters(std::string_view text, std::vector<std::string>& names) {
  std::string marked(text);
  Scan(text, [&](std::size_t i) {
    if (text[i] == '?') {
      names.emplace_back();
    } else if (text[i] == ':' && i + 1 < text.size() && NameCharacter(text[i + 1], true) &&
               (i == 0 || !NameCharacter(text[i - 1], false))) {
      std::size_t end = i + 1;
      while (end < text.size() && NameCharacter(text[end], false)) ++end;
      names.emplace_back(text.substr(i, end - i));
      marked[i] = '?';
      for (std::size_t k = i + 1; k < end; ++k) marked[k] = ' ';
      return end - 1;
    }
    return i;
  });
  return marked;
}

std::size_t TakeStatementSpans(std::string_view text, std::vector<StatementSpan>& out) {
  std::size_t start = 0;
  Scan(text, [&](std::size_t i) {
    if (text[i] == ';') {
      if (!IsBlank(text.substr(start, i - start))) out.push_back({start, i + 1});
      start = i + 1;
    }
    return i;
  });
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
