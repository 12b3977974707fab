#include "library/storable_text.h"

#include <cstdio>

#include "engine/storage/locale.h"

namespace sorabeku {

namespace {

constexpr int kShiftJis = 932;

// Length of the well-formed UTF-8 character at the start of `s`, or 0 when
// it does not start with one.
std::size_t CharacterLength(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = b(0);
  std::size_t n = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) n = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) n = 3;
  else if (lead >= 0xF0 && lead <= 0xF4) n = 4;
  else return 0;
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and code points above U+10FFFF.
  if (lead == 0xE0 && b(1) < 0xA0) return 0;
  if (lead == 0xED && b(1) >= 0xA0) return 0;
  if (lead == 0xF0 && b(1) < 0x90) return 0;
  if (lead == 0xF4 && b(1) >= 0x90) return 0;
  return n;
}

// Characters of JIS-based encodings with a look-alike that code page 932
// holds in their place.
std::string_view LookAlike(std::string_view ch) {
  static constexpr std::pair<std::string_view, std::string_view> kPairs[] = {
      {"\u301C", "\uFF5E"},  // wave dash
      {"\u2212", "\uFF0D"},  // minus sign
      {"\u2016", "\u2225"},  // double vertical line
      {"\u2014", "\u2015"},  // em dash
      {"\u00A2", "\uFFE0"},  // cent sign
      {"\u00A3", "\uFFE1"},  // pound sign
      {"\u00AC", "\uFFE2"},  // not sign
  };
  for (const auto& [from, to] : kPairs) {
    if (ch == from) return to;
  }
  return kReplacementCharacter;
}

}  // namespace

StorableText FitForLibrary(std::string_view utf8, std::size_t byteLimit) {
  StorableText out;
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = CharacterLength(utf8.substr(i));
    std::string_view ch = utf8.substr(i, n == 0 ? 1 : n);
    std::string encoded;
    std::string_view keep = ch;
    if (n == 0 || !kura::Utf8ToCodePage(kShiftJis, ch, encoded)) {
      keep = n == 0 ? kReplacementCharacter : LookAlike(ch);
      kura::Utf8ToCodePage(kShiftJis, keep, encoded);
      out.replaced.push_back({std::string(ch), std::string(keep)});
    }
    if (bytes + encoded.size() > byteLimit) {
      out.cut = true;
      break;
    }
    bytes += encoded.size();
    out.text += keep;
    i += ch.size();
  }
  return out;
}

std::string CodePointName(std::string_view ch) {
  const std::size_t n = CharacterLength(ch);
  if (n == 0 || ch.empty()) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "byte 0x%02X", ch.empty() ? 0 : static_cast<unsigned char>(ch[0]));
    return buf;
  }
  const auto b = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(ch[i])); };
  unsigned cp = 0;
  if (n == 1) cp = b(0);
  if (n == 2) cp = ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
  if (n == 3) cp = ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
  if (n == 4) cp = ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", cp);
  return buf;
}

}  // namespace sorabeku
