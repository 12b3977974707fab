#include "library/shift_jis_data_set.h"

#include <algorithm>

#include "engine/storage/locale.h"

namespace sorabeku {
namespace {

constexpr int kShiftJis = 932;

// Length of the UTF-8 sequence that starts with byte `lead` (1 for a stray
// byte, so that scanning always moves on).
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// The first character of `utf8` that Shift-JIS cannot hold.
std::string FirstUnstorable(std::string_view utf8) {
  std::string ignored;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t n =
        std::min(SequenceLength(static_cast<unsigned char>(utf8[i])),
                 utf8.size() - i);
    const std::string_view ch = utf8.substr(i, n);
    if (!kura::Utf8ToCodePage(kShiftJis, ch, ignored)) return std::string(ch);
    i += n;
  }
  return std::string(utf8);
}

}  // namespace

std::string FromShiftJis(std::string_view bytes) {
  return kura::CodePageToUtf8(kShiftJis, bytes);
}

std::string ToShiftJis(std::string_view utf8) {
  std::string out;
  if (!kura::Utf8ToCodePage(kShiftJis, utf8, out)) {
    throw TextNotStorable("「" + FirstUnstorable(utf8) +
                          "」はShift-JISで書けない文字です。保存できません。");
  }
  return out;
}

std::string ShiftJisDataSet::FieldAsString(int index) {
  return FromShiftJis(inner_.FieldAsString(index));
}

void ShiftJisDataSet::SetFieldAsString(int index, std::string_view value) {
  const std::string bytes = ToShiftJis(value);  // throws before any change
  inner_.SetFieldAsString(index, bytes);
}

bool ShiftJisDataSet::Locate(std::string_view fieldNames,
                             const std::vector<kura::TLocateValue>& values,
                             kura::TLocateOptions options) {
  std::vector<kura::TLocateValue> converted = values;
  for (kura::TLocateValue& v : converted) {
    if (auto* text = std::get_if<std::string>(&v)) {
      std::string bytes;
      if (!kura::Utf8ToCodePage(kShiftJis, *text, bytes)) {
        if (inner_.State() != kura::TDataSetState::dsBrowse && inner_.Active()) {
          inner_.Post();  // a locate stores a pending edit in any case
        }
        return false;
      }
      *text = std::move(bytes);
    }
  }
  return inner_.Locate(fieldNames, converted, options);
}

}  // namespace sorabeku
