#include "engine/storage/locale.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace kura {
namespace {

// The supported locales. Adding a locale is one line here.
struct LocaleEntry {
  std::int16_t languageId;
  std::int16_t sortId;
  const char* icuLocale;  // nullptr: byte order
  int codePage;
};

constexpr std::array kLocales = {
    LocaleEntry{0, 0, nullptr, 1252},         // byte order, English upper-casing
    LocaleEntry{1033, 0, "en_US", 1252},      // English (United States)
    LocaleEntry{1041, 0, "ja_JP", 932},       // Japanese
};

const LocaleEntry* FindLocale(std::int16_t languageId, std::int16_t sortId) {
  for (const LocaleEntry& e : kLocales) {
    if (e.languageId == languageId && e.sortId == sortId) return &e;
  }
  return nullptr;
}

const char* ConverterName(int codePage) {
  return codePage == 932 ? "windows-31j" : "windows-1252";
}

// One ICU converter per call: converters are cheap to open and are not
// safe to share between threads.
struct Converter {
  explicit Converter(int codePage) {
    UErrorCode status = U_ZERO_ERROR;
    cnv = ucnv_open(ConverterName(codePage), &status);
    if (U_FAILURE(status)) cnv = nullptr;
  }
  ~Converter() {
    if (cnv) ucnv_close(cnv);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  UConverter* cnv = nullptr;
};

// Writes U+FFFD for every byte sequence that is not valid in the code page.
void ReplaceInvalid(const void*, UConverterToUnicodeArgs* args, const char*,
                    int32_t, UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to do
  static const UChar kReplacement = 0xFFFD;
  *err = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, err);
}

icu::UnicodeString Decode(int codePage, std::string_view bytes) {
  Converter c(codePage);
  if (!c.cnv) return icu::UnicodeString();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(c.cnv, ReplaceInvalid, nullptr, nullptr, nullptr, &status);
  icu::UnicodeString s(bytes.data(), static_cast<int32_t>(bytes.size()), c.cnv, status);
  return s;
}

// Encodes `s`; returns false when a character has no mapping.
bool Encode(int codePage, const icu::UnicodeString& s, std::string& out) {
  Converter c(codePage);
  if (!c.cnv) return false;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(c.cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr,
                        nullptr, &status);
  if (U_FAILURE(status)) return false;
  const int32_t capacity = s.length() * 2 + 8;
  out.assign(static_cast<std::size_t>(capacity), '\0');
  const int32_t len = s.extract(out.data(), capacity, c.cnv, status);
  if (U_FAILURE(status)) return false;
  out.resize(static_cast<std::size_t>(len));
  return true;
}

// Case mapping of one code page through ICU. For a single-byte code page
// the mapping is a table of 256 bytes built once; for a double-byte code
// page the text is converted, mapped and converted back, and kept as it was
// when it does not survive the round trip.
class CaseMapper {
 public:
  CaseMapper(int codePage, const icu::Locale& locale)
      : codePage_(codePage), locale_(locale) {
    if (codePage_ == 1252) BuildTables();
  }

  std::string Map(std::string_view text, bool upper) const {
    if (codePage_ == 1252) {
      const auto& table = upper ? upper_ : lower_;
      std::string out(text);
      for (char& ch : out) ch = static_cast<char>(table[static_cast<unsigned char>(ch)]);
      return out;
    }
    icu::UnicodeString s = Decode(codePage_, text);
    if (upper) s.toUpper(locale_); else s.toLower(locale_);
    std::string out;
    if (!Encode(codePage_, s, out)) return std::string(text);
    return out;
  }

 private:
  void BuildTables() {
    for (int b = 0; b < 256; ++b) {
      upper_[b] = lower_[b] = static_cast<std::uint8_t>(b);
      if (b == 0) continue;
      const char byte = static_cast<char>(b);
      icu::UnicodeString s = Decode(codePage_, std::string_view(&byte, 1));
      icu::UnicodeString up = s, down = s;
      up.toUpper(locale_);
      down.toLower(locale_);
      std::string u, d;
      if (Encode(codePage_, up, u) && u.size() == 1) upper_[b] = static_cast<std::uint8_t>(u[0]);
      if (Encode(codePage_, down, d) && d.size() == 1) lower_[b] = static_cast<std::uint8_t>(d[0]);
    }
  }

  int codePage_;
  icu::Locale locale_;
  std::array<std::uint8_t, 256> upper_{};
  std::array<std::uint8_t, 256> lower_{};
};

int ByteCompare(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  // An empty view may have no data pointer, which memcmp must not be given.
  const int c = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
  if (c != 0) return c < 0 ? -1 : 1;
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

class ByteOrderCollation final : public TableCollation {
 public:
  ByteOrderCollation() : TableCollation(0, 0), cases_(1252, icu::Locale("en_US")) {}
  std::string ToUpper(std::string_view t) const override { return cases_.Map(t, true); }
  std::string ToLower(std::string_view t) const override { return cases_.Map(t, false); }
  int Compare(std::string_view a, std::string_view b) const override { return ByteCompare(a, b); }
  int CompareNoCase(std::string_view a, std::string_view b) const override {
    return ByteCompare(ToUpper(a), ToUpper(b));
  }
  int CodePage() const override { return 1252; }
  bool IsByteOrder() const override { return true; }

 private:
  CaseMapper cases_;
};

class IcuCollation final : public TableCollation {
 public:
  IcuCollation(const LocaleEntry& e)
      : TableCollation(e.languageId, e.sortId),
        codePage_(e.codePage),
        locale_(e.icuLocale),
        cases_(e.codePage, locale_) {
    UErrorCode status = U_ZERO_ERROR;
    exact_.reset(icu::Collator::createInstance(locale_, status));
    status = U_ZERO_ERROR;
    noCase_.reset(icu::Collator::createInstance(locale_, status));
    if (noCase_) noCase_->setStrength(icu::Collator::SECONDARY);
  }
  bool ok() const { return exact_ && noCase_; }

  std::string ToUpper(std::string_view t) const override { return cases_.Map(t, true); }
  std::string ToLower(std::string_view t) const override { return cases_.Map(t, false); }
  int Compare(std::string_view a, std::string_view b) const override {
    return Collate(*exact_, a, b);
  }
  int CompareNoCase(std::string_view a, std::string_view b) const override {
    return Collate(*noCase_, a, b);
  }
  int CodePage() const override { return codePage_; }
  bool IsByteOrder() const override { return false; }

 private:
  // Equal collation elements fall back to byte order, so that two different
  // texts never compare equal (index keys must be totally ordered).
  int Collate(const icu::Collator& c, std::string_view a, std::string_view b) const {
    const icu::UnicodeString ua = Decode(codePage_, a);
    const icu::UnicodeString ub = Decode(codePage_, b);
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult r;
    {
      std::lock_guard lock(mutex_);
      r = c.compare(ua, ub, status);
    }
    if (U_FAILURE(status)) return ByteCompare(a, b);
    if (r == UCOL_LESS) return -1;
    if (r == UCOL_GREATER) return 1;
    return &c == exact_.get() ? ByteCompare(a, b) : 0;
  }

  int codePage_;
  icu::Locale locale_;
  CaseMapper cases_;
  std::unique_ptr<icu::Collator> exact_;
  std::unique_ptr<icu::Collator> noCase_;
  mutable std::mutex mutex_;  // guards the use of both collators
};

}  // namespace

bool IsLocaleInstalled(std::int16_t languageId, std::int16_t sortId) {
  return TableCollation::For(languageId, sortId) != nullptr;
}

std::shared_ptr<const TableCollation> TableCollation::For(std::int16_t languageId,
                                                          std::int16_t sortId) {
  static std::mutex mutex;
  static std::map<std::pair<int, int>, std::shared_ptr<const TableCollation>> cache;
  const LocaleEntry* e = FindLocale(languageId, sortId);
  if (e == nullptr) return nullptr;
  std::lock_guard lock(mutex);
  auto& slot = cache[{languageId, sortId}];
  if (!slot) {
    if (e->icuLocale == nullptr) {
      slot = std::make_shared<ByteOrderCollation>();
    } else {
      auto c = std::make_shared<IcuCollation>(*e);
      if (!c->ok()) return nullptr;
      slot = std::move(c);
    }
  }
  return slot;
}

std::string CodePageToUtf8(int codePage, std::string_view bytes) {
  std::string out;
  Decode(codePage, bytes).toUTF8String(out);
  return out;
}

bool Utf8ToCodePage(int codePage, std::string_view utf8, std::string& out) {
  const icu::UnicodeString s = icu::UnicodeString::fromUTF8(
      icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  return Encode(codePage, s, out);
}

}  // namespace kura
