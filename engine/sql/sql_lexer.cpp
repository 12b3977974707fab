#include "engine/sql/sql_lexer.h"

#include "engine/expr/sql_error.h"

namespace kura::sql {
namespace {

bool IsLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsHigh(unsigned char c) { return c >= 128 && c <= 254; }
bool IsSymbolStart(unsigned char c) {
  return IsLetter(c) || c == '_' || IsHigh(c);
}
bool IsSymbolPart(unsigned char c) {
  return IsSymbolStart(c) || IsDigit(c) || c == '!' || c == '$' || c == '@';
}
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

bool Token::IsKeyword(std::string_view keyword) const {
  return kind == TokenKind::kSymbol && SameName(text, keyword);
}

SqlLexer::SqlLexer(std::string_view text) {
  const std::size_t nul = text.find('\0');
  text_ = nul == std::string_view::npos ? text : text.substr(0, nul);
}

void SqlLexer::SkipBlanksAndComments(const std::string& context) {
  for (;;) {
    while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) <= 32)
      ++pos_;
    if (pos_ + 1 < text_.size() && text_[pos_] == '/' && text_[pos_ + 1] == '*') {
      const std::size_t end = text_.find("*/", pos_ + 2);
      if (end == std::string_view::npos) {
        pos_ = text_.size();
        SqlError("Missing ending comment slash and asterisk in " + context);
      }
      pos_ = end + 2;
      continue;
    }
    return;
  }
}

Token SqlLexer::ReadQuoted(char quote, TokenKind kind,
                           const char* missingMessage,
                           const std::string& context) {
  Token t;
  t.kind = kind;
  t.position = pos_;
  ++pos_;
  // The text between two quotes is taken as one piece, so a long literal
  // costs one copy.
  for (;;) {
    const std::size_t end = text_.find(quote, pos_);
    if (end == std::string_view::npos) {
      t.text.append(text_.substr(pos_));
      pos_ = text_.size();
      SqlErrorAt(std::string(missingMessage) + t.text + "' in " + context, t.position);
    }
    t.text.append(text_.substr(pos_, end - pos_));
    pos_ = end + 1;
    if (quote != ']' && pos_ < text_.size() && text_[pos_] == quote) {
      t.text += quote;
      ++pos_;
      continue;
    }
    return t;
  }
}

Token SqlLexer::ReadNumber() {
  Token t;
  t.kind = TokenKind::kInteger;
  t.position = pos_;
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    const char prev = pos_ > t.position ? text_[pos_ - 1] : '\0';
    if (IsDigit(static_cast<unsigned char>(c))) {
    } else if (c == '.' || c == 'E' || c == 'e') {
      t.kind = TokenKind::kNumber;
    } else if ((c == '+' || c == '-') && (prev == 'E' || prev == 'e')) {
    } else {
      break;
    }
    ++pos_;
  }
  t.text = text_.substr(t.position, pos_ - t.position);
  return t;
}

Token SqlLexer::Next(const std::string& context) {
  SkipBlanksAndComments(context);
  Token t;
  t.position = pos_;
  if (pos_ >= text_.size()) return t;  // kEnd with empty text
  const auto c = static_cast<unsigned char>(text_[pos_]);
  if (IsSymbolStart(c)) {
    t.kind = TokenKind::kSymbol;
    while (pos_ < text_.size() &&
           IsSymbolPart(static_cast<unsigned char>(text_[pos_])))
      ++pos_;
    t.text = text_.substr(t.position, pos_ - t.position);
    return t;
  }
  if (c == '[')
    return ReadQuoted(']', TokenKind::kBracketed, "Missing right bracket after '", context);
  if (c == '\'')
    return ReadQuoted('\'', TokenKind::kSingleQuoted, "Missing single quote after '", context);
  if (c == '"')
    return ReadQuoted('"', TokenKind::kDoubleQuoted, "Missing double quote after '", context);
  if (IsDigit(c) || (c == '.' && pos_ + 1 < text_.size() &&
                     IsDigit(static_cast<unsigned char>(text_[pos_ + 1]))))
    return ReadNumber();
  if (c == '#' && pos_ + 1 < text_.size() &&
      IsDigit(static_cast<unsigned char>(text_[pos_ + 1]))) {
    t.kind = TokenKind::kCharConstant;
    ++pos_;
    while (pos_ < text_.size() && IsDigit(static_cast<unsigned char>(text_[pos_])))
      ++pos_;
    t.text = text_.substr(t.position, pos_ - t.position);
    return t;
  }
  t.kind = TokenKind::kChar;
  t.text = std::string(1, static_cast<char>(c));
  ++pos_;
  return t;
}

}  // namespace kura::sql
