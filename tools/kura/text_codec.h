// How the shell shows and reads the text of a table: with --encoding auto
// (the default) texts are converted between the table's code page and the
// terminal's UTF-8; with --encoding raw the bytes pass unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kura::tool {

class TextCodec {
 public:
  // The codec of a table whose locale is (languageId, sortId); `raw` turns
  // conversion off. Tables without a locale (language id 0) are Windows-1252.
  TextCodec(std::int16_t languageId, std::int16_t sortId, bool raw);

  // Stored bytes as shown on the terminal.
  std::string Show(std::string_view stored) const;
  // Terminal text as stored; false when a character cannot be stored.
  bool Store(std::string_view typed, std::string& stored) const;

 private:
  int codePage_ = 0;  // 0: no conversion
};

}  // namespace kura::tool
