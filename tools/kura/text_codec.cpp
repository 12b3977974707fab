#include "tools/kura/text_codec.h"

#include "engine/storage/locale.h"

namespace kura::tool {

TextCodec::TextCodec(std::int16_t languageId, std::int16_t sortId, bool raw) {
  if (raw) return;
  auto collation = TableCollation::For(languageId, sortId);
  codePage_ = collation ? collation->CodePage() : 0;
}

std::string TextCodec::Show(std::string_view stored) const {
  if (codePage_ == 0) return std::string(stored);
  return CodePageToUtf8(codePage_, stored);
}

bool TextCodec::Store(std::string_view typed, std::string& stored) const {
  if (codePage_ == 0) {
    stored = std::string(typed);
    return true;
  }
  return Utf8ToCodePage(codePage_, typed, stored);
}

}  // namespace kura::tool
