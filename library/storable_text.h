// Fitting a UTF-8 text into a text column of the library: the columns hold
// Shift-JIS bytes of limited length, so a character that Shift-JIS cannot
// hold is replaced and a text that is too long is cut at a character
// boundary. Both are reported to the caller, never done silently. The
// characters that other systems' Japanese encodings hold where Windows has
// a look-alike (the wave dash 〜 for ～, the minus sign − for －, …) are
// stored as that look-alike.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sorabeku {

// Bytes a CMT column holds (VARCHAR(100) in data/kyozai.sql, both tables).
// The engine cuts longer values without a word, so they are cut here.
inline constexpr std::size_t kTextColumnBytes = 100;

// Stands in for a character that Shift-JIS cannot hold.
inline constexpr std::string_view kReplacementCharacter = "〓";

struct Replacement {
  std::string original;  // the character of the input (or a stray byte)
  std::string stored;    // what stands in its place
};

struct StorableText {
  std::string text;                   // UTF-8, storable as it is
  std::vector<Replacement> replaced;  // each replaced character, in order
  bool cut = false;                   // characters at the end were dropped
};

// `utf8` made storable in a column of `byteLimit` Shift-JIS bytes. Bytes
// that are not UTF-8 count as characters that cannot be held.
StorableText FitForLibrary(std::string_view utf8, std::size_t byteLimit = kTextColumnBytes);

// "U+20BB7": how reports name a code point of a UTF-8 character.
std::string CodePointName(std::string_view utf8Character);

}  // namespace sorabeku
