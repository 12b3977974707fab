// SqlLexer: splits a statement text into tokens. It reads the caller's text,
// which must outlive it, from a current position; a byte 0 ends the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kura::sql {

enum class TokenKind {
  kEnd,           // end of the text
  kSymbol,        // a name or keyword
  kBracketed,     // [name]; text without the brackets
  kSingleQuoted,  // 'text'; text without quotes, doubled quotes made single
  kDoubleQuoted,  // "text"; likewise
  kCharConstant,  // #n; text as written
  kInteger,       // digits
  kNumber,        // digits with ".", "E"/"e" and a sign after the E
  kChar,          // any other single character
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;
  std::size_t position = 0;  // offset of the token in the text

  bool Is(char c) const { return kind == TokenKind::kChar && text.size() == 1 && text[0] == c; }
  // A symbol equal to `keyword` without regard to case.
  bool IsKeyword(std::string_view keyword) const;
  bool IsQuoted() const {
    return kind == TokenKind::kSingleQuoted || kind == TokenKind::kDoubleQuoted;
  }
};

// ASCII comparison without regard to case (names and keywords).
bool SameName(std::string_view a, std::string_view b);

class SqlLexer {
 public:
  explicit SqlLexer(std::string_view text);

  // Reads the token at the current position and moves past it. Blanks (bytes
  // 1-32) and comments are skipped first. Raises 11949 for a comment, quoted
  // text or bracketed name without its end, naming `context` in the message.
  Token Next(const std::string& context);

  std::size_t position() const { return pos_; }
  void set_position(std::size_t pos) { pos_ = pos; }
  std::string_view text() const { return text_; }

 private:
  void SkipBlanksAndComments(const std::string& context);
  Token ReadQuoted(char quote, TokenKind kind, const char* missingMessage,
                   const std::string& context);
  Token ReadNumber();

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace kura::sql
