#include "engine/storage/field_values.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "engine/storage/coding.h"
#include "engine/storage/locale.h"
#include "engine/storage/names.h"

namespace kura {

std::uint8_t RecordStatus(const std::uint8_t* rec) { return rec[0]; }
std::int32_t RecordLink(const std::uint8_t* rec) { return GetInt32LE(rec + 1); }
std::int32_t RecordRowId(const std::uint8_t* rec) { return GetInt32LE(rec + 5); }

void SetRecordHeader(std::uint8_t* rec, std::uint8_t status, std::int32_t link,
                     std::int32_t rowId) {
  rec[0] = status;
  PutInt32LE(rec + 1, link);
  PutInt32LE(rec + 5, rowId);
}

bool IsFieldNull(const std::uint8_t* rec, const TFieldDescriptor& f) {
  if (f.IsAutoIncrement()) return false;
  if (!f.HasSlot()) return true;
  return rec[f.offset] == 0;
}

void SetFieldNull(std::uint8_t* rec, const TFieldDescriptor& f) {
  if (!f.HasSlot()) return;
  std::memset(rec + f.offset, 0, f.SlotLength());
}

std::optional<std::string> GetFieldString(const std::uint8_t* rec,
                                          const TFieldDescriptor& f) {
  if (IsFieldNull(rec, f)) return std::nullopt;
  const auto* text = reinterpret_cast<const char*>(rec + f.offset + 1);
  const void* zero = std::memchr(text, 0, f.storedSize);
  const std::size_t len = zero != nullptr
                              ? static_cast<std::size_t>(static_cast<const char*>(zero) - text)
                              : f.storedSize;
  return std::string(text, len);
}

void SetFieldString(std::uint8_t* rec, const TFieldDescriptor& f,
                    std::string_view value, const TableCollation* collation) {
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  // Only a case conversion needs a copy of the characters.
  std::string converted;
  std::string_view text = value;
  if (collation != nullptr && f.caseConversion == kCaseUpper) {
    converted = collation->ToUpper(value);
    text = converted;
  } else if (collation != nullptr && f.caseConversion == kCaseLower) {
    converted = collation->ToLower(value);
    text = converted;
  }
  if (text.empty() || f.storedSize == 0) {
    SetFieldNull(rec, f);
    return;
  }
  const std::size_t len = std::min<std::size_t>(text.size(), f.storedSize - 1u);
  rec[f.offset] = 1;
  std::memcpy(rec + f.offset + 1, text.data(), len);
  rec[f.offset + 1 + len] = 0;
}

std::optional<std::int64_t> GetFieldInt(const std::uint8_t* rec,
                                        const TFieldDescriptor& f) {
  if (f.IsAutoIncrement()) return RecordRowId(rec);
  if (IsFieldNull(rec, f)) return std::nullopt;
  const std::uint8_t* v = rec + f.offset + 1;
  switch (f.type) {
    case kFieldSmallInt: return GetInt16LE(v);
    case kFieldWord:
    case kFieldBoolean: return GetFixed16LE(v);
    case kFieldInteger:
    case kFieldDate:
    case kFieldTime: return GetInt32LE(v);
    case kFieldUInt32: return GetFixed32LE(v);
    case kFieldLargeInt: return GetInt64LE(v);
    default: return std::nullopt;
  }
}

void SetFieldInt(std::uint8_t* rec, const TFieldDescriptor& f, std::int64_t v) {
  if (f.IsAutoIncrement()) {
    PutInt32LE(rec + 5, static_cast<std::int32_t>(v));
    return;
  }
  if (!f.HasSlot()) return;
  std::uint8_t* p = rec + f.offset + 1;
  switch (f.type) {
    case kFieldSmallInt: PutInt16LE(p, static_cast<std::int16_t>(v)); break;
    case kFieldWord: PutFixed16LE(p, static_cast<std::uint16_t>(v)); break;
    case kFieldBoolean: PutFixed16LE(p, v != 0 ? 1 : 0); break;
    case kFieldInteger:
    case kFieldDate:
    case kFieldTime: PutInt32LE(p, static_cast<std::int32_t>(v)); break;
    case kFieldUInt32: PutFixed32LE(p, static_cast<std::uint32_t>(v)); break;
    case kFieldLargeInt: PutInt64LE(p, v); break;
    default: return;
  }
  rec[f.offset] = 1;
}

std::optional<double> GetFieldDouble(const std::uint8_t* rec,
                                     const TFieldDescriptor& f) {
  if (IsFieldNull(rec, f) || (f.type != kFieldFloat && f.type != kFieldTimestamp)) {
    return std::nullopt;
  }
  return GetDoubleLE(rec + f.offset + 1);
}

void SetFieldDouble(std::uint8_t* rec, const TFieldDescriptor& f, double v) {
  if (!f.HasSlot() || (f.type != kFieldFloat && f.type != kFieldTimestamp)) return;
  rec[f.offset] = 1;
  PutDoubleLE(rec + f.offset + 1, v);
}

std::optional<std::string> GetFieldBytes(const std::uint8_t* rec,
                                         const TFieldDescriptor& f) {
  if (IsFieldNull(rec, f)) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(rec + f.offset + 1), f.storedSize);
}

void SetFieldBytes(std::uint8_t* rec, const TFieldDescriptor& f,
                   std::string_view value) {
  if (!f.HasSlot()) return;
  const std::size_t len = std::min<std::size_t>(value.size(), f.storedSize);
  rec[f.offset] = 1;
  std::memcpy(rec + f.offset + 1, value.data(), len);
  std::memset(rec + f.offset + 1 + len, 0, f.storedSize - len);
}

BlobRef GetBlobRef(const std::uint8_t* rec, const TFieldDescriptor& f) {
  if (IsFieldNull(rec, f)) return {};
  return {GetInt32LE(rec + f.offset + 1), GetInt32LE(rec + f.offset + 5)};
}

void SetBlobRef(std::uint8_t* rec, const TFieldDescriptor& f, BlobRef ref) {
  if (ref.firstBlock == 0) {
    SetFieldNull(rec, f);
    return;
  }
  rec[f.offset] = 1;
  PutInt32LE(rec + f.offset + 1, ref.firstBlock);
  PutInt32LE(rec + f.offset + 5, ref.serial);
}

// ---- literals ----------------------------------------------------------------

namespace {

bool ParseInt(std::string_view s, std::int64_t lo, std::int64_t hi) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  std::int64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size() && !s.empty() && v >= lo &&
         v <= hi;
}

bool ParseNumber(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

bool Digits(std::string_view s, std::size_t from, std::size_t n, int* out) {
  if (from + n > s.size()) return false;
  int v = 0;
  for (std::size_t i = from; i < from + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

bool ValidDay(int y, int m, int d) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m != 2 || d <= 28 || leap;
}

bool ParseDate(std::string_view s) {
  int y = 0, m = 0, d = 0;
  if (s.size() == 10 && s[4] == '-' && s[7] == '-') {
    return Digits(s, 0, 4, &y) && Digits(s, 5, 2, &m) && Digits(s, 8, 2, &d) &&
           ValidDay(y, m, d);
  }
  if (s.size() == 10 && s[2] == '/' && s[5] == '/') {
    return Digits(s, 0, 2, &m) && Digits(s, 3, 2, &d) && Digits(s, 6, 4, &y) &&
           ValidDay(y, m, d);
  }
  return false;
}

bool ParseTime(std::string_view s) {
  int h = 0, m = 0, sec = 0, ms = 0;
  if (s.size() < 5 || s[2] != ':' || !Digits(s, 0, 2, &h) || !Digits(s, 3, 2, &m)) {
    return false;
  }
  if (s.size() > 5 && (s[5] != ':' || !Digits(s, 6, 2, &sec))) return false;
  if (s.size() > 8 && (s[8] != '.' || !Digits(s, 9, s.size() - 9, &ms) || s.size() > 12)) {
    return false;
  }
  return s.size() != 6 && s.size() != 7 && h < 24 && m < 60 && sec < 60;
}

}  // namespace

bool IsValidFieldLiteral(const TFieldDescriptor& f, std::string_view text) {
  if (text.empty()) return true;
  const std::string upper = UpperAscii(text);
  switch (f.type) {
    case kFieldString:
    case kFieldBytes:
    case kFieldVarBytes: return text.size() <= f.declaredSize;
    case kFieldBlob: return true;
    case kFieldSmallInt: return ParseInt(text, INT16_MIN, INT16_MAX);
    case kFieldWord: return ParseInt(text, 0, UINT16_MAX);
    case kFieldInteger: return ParseInt(text, INT32_MIN, INT32_MAX);
    case kFieldUInt32: return ParseInt(text, 0, UINT32_MAX);
    case kFieldLargeInt:
      return ParseInt(text, std::numeric_limits<std::int64_t>::min(),
                      std::numeric_limits<std::int64_t>::max());
    case kFieldFloat:
    case kFieldBcd:
    case kFieldExtended: return ParseNumber(text);
    case kFieldBoolean: return upper == "TRUE" || upper == "FALSE";
    case kFieldDate: return upper == "CURRENT_DATE" || ParseDate(text);
    case kFieldTime: return upper == "CURRENT_TIME" || ParseTime(text);
    case kFieldTimestamp: {
      if (upper == "CURRENT_TIMESTAMP") return true;
      const auto blank = text.find(' ');
      if (blank == std::string_view::npos) return ParseDate(text);
      return ParseDate(text.substr(0, blank)) && ParseTime(text.substr(blank + 1));
    }
    default: return false;
  }
}

}  // namespace kura
