// The locale of a table: how its text is upper-cased and compared.
//
// A table names its locale by a language id and a sort id (the numbers of
// the platform the files come from). Language id 0 is the engine's own
// byte-order collation with English (United States) upper-casing. Other
// locales are served through ICU; the supported ones are listed once, in
// locale.cpp. Text in a table is single- or double-byte in the locale's code
// page (Windows-1252 for English, Shift-JIS/CP932 for Japanese).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kura {

// True when the language id + sort id form a locale this engine supports.
bool IsLocaleInstalled(std::int16_t languageId, std::int16_t sortId);

class TableCollation {
 public:
  // The collation of a locale, shared and immutable; nullptr when the
  // locale is not installed (callers raise 15878 with the table's name).
  static std::shared_ptr<const TableCollation> For(std::int16_t languageId,
                                                    std::int16_t sortId);

  virtual ~TableCollation() = default;

  // `text` (bytes in CodePage()) upper- or lower-cased with the locale's
  // rules. Bytes that are not valid in the code page are kept unchanged.
  virtual std::string ToUpper(std::string_view text) const = 0;
  virtual std::string ToLower(std::string_view text) const = 0;

  // Negative, 0 or positive as a sorts before, equal to or after b.
  // Byte order for language id 0; the locale's collation otherwise.
  virtual int Compare(std::string_view a, std::string_view b) const = 0;
  // The same without regard to case.
  virtual int CompareNoCase(std::string_view a, std::string_view b) const = 0;

  // 1252 or 932.
  virtual int CodePage() const = 0;
  // True for language id 0: comparisons are plain byte order.
  virtual bool IsByteOrder() const = 0;

  std::int16_t LanguageId() const { return languageId_; }
  std::int16_t SortId() const { return sortId_; }

 protected:
  TableCollation(std::int16_t languageId, std::int16_t sortId)
      : languageId_(languageId), sortId_(sortId) {}

 private:
  std::int16_t languageId_;
  std::int16_t sortId_;
};

// Text conversion between a code page (1252 or 932) and UTF-8, for tools and
// the program, which work in UTF-8. Invalid input bytes become U+FFFD.
std::string CodePageToUtf8(int codePage, std::string_view bytes);
// Returns false (and leaves `out` unspecified) when a character of `utf8`
// cannot be written in the code page.
bool Utf8ToCodePage(int codePage, std::string_view utf8, std::string& out);

}  // namespace kura
