#include "engine/storage/record_checks.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/errors/kura_error.h"
#include "engine/expr/date_time.h"
#include "engine/storage/field_values.h"
#include "engine/storage/locale.h"
#include "engine/storage/names.h"

namespace kura {
namespace {

constexpr double kMsPerDay = 86400000.0;

bool ToInt(std::string_view s, int* out) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

std::optional<std::int32_t> ParseDay(std::string_view s) {
  int y = 0, m = 0, d = 0;
  if (s.size() == 10 && s[4] == '-' && s[7] == '-' && ToInt(s.substr(0, 4), &y) &&
      ToInt(s.substr(5, 2), &m) && ToInt(s.substr(8, 2), &d)) {
    return DayNumber(y, m, d);
  }
  if (s.size() == 10 && s[2] == '/' && s[5] == '/' && ToInt(s.substr(0, 2), &m) &&
      ToInt(s.substr(3, 2), &d) && ToInt(s.substr(6, 4), &y)) {
    return DayNumber(y, m, d);
  }
  return std::nullopt;
}

std::optional<double> ParseMs(std::string_view s) {
  int h = 0, m = 0, sec = 0, ms = 0;
  if (s.size() < 5 || !ToInt(s.substr(0, 2), &h) || !ToInt(s.substr(3, 2), &m)) {
    return std::nullopt;
  }
  if (s.size() >= 8 && !ToInt(s.substr(6, 2), &sec)) return std::nullopt;
  if (s.size() > 9 && !ToInt(s.substr(9), &ms)) return std::nullopt;
  return ((h * 60.0 + m) * 60.0 + sec) * 1000.0 + ms;
}

std::optional<double> NumberOf(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

// The field's value as a double for the comparisons; nullopt when null or
// not numeric.
std::optional<double> StoredValue(const std::uint8_t* rec, const TFieldDescriptor& f) {
  if (f.type == kFieldFloat || f.type == kFieldTimestamp) return GetFieldDouble(rec, f);
  if (auto v = GetFieldInt(rec, f)) return static_cast<double>(*v);
  return std::nullopt;
}

}  // namespace

std::int32_t DayNumber(int year, int month, int day) {
  // Days before the year, then before the month, counted from 0001-01-01.
  const int y = year - 1;
  std::int32_t days = y * 365 + y / 4 - y / 100 + y / 400;
  static const int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  days += kBefore[(month - 1) % 12];
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (leap && month > 2) ++days;
  return days + day;
}

std::optional<double> LiteralValue(const TFieldDescriptor& f, std::string_view text) {
  if (text.empty() || !IsValidFieldLiteral(f, text) ||
      UpperAscii(text).starts_with("CURRENT_")) {
    return std::nullopt;
  }
  switch (f.type) {
    case kFieldDate: return ParseDay(text);
    case kFieldTime: return ParseMs(text);
    case kFieldTimestamp: {
      const auto blank = text.find(' ');
      const auto day = ParseDay(text.substr(0, blank));
      if (!day) return std::nullopt;
      const double ms = blank == std::string_view::npos ? 0.0 : ParseMs(text.substr(blank + 1)).value_or(0);
      return *day * kMsPerDay + ms;
    }
    case kFieldBoolean: return UpperAscii(text) == "TRUE" ? 1.0 : 0.0;
    case kFieldString:
    case kFieldBytes:
    case kFieldVarBytes:
    case kFieldBlob: return std::nullopt;
    default: return NumberOf(text);
  }
}

void ApplyDefaults(std::uint8_t* rec, const std::vector<TFieldDescriptor>& fields,
                   const TableCollation* collation, double localNow) {
  const double days = std::floor(localNow);
  const double ms = std::round((localNow - days) * kMsPerDay);
  const double today = days + sql::kDayOf18991230;
  for (const TFieldDescriptor& f : fields) {
    if (f.defaultValue.empty() || !f.HasSlot()) continue;
    const std::string upper = UpperAscii(f.defaultValue);
    if (f.type == kFieldDate && upper == "CURRENT_DATE") {
      SetFieldInt(rec, f, static_cast<std::int64_t>(today));
    } else if (f.type == kFieldTime && upper == "CURRENT_TIME") {
      SetFieldInt(rec, f, static_cast<std::int64_t>(ms));
    } else if (f.type == kFieldTimestamp && upper == "CURRENT_TIMESTAMP") {
      SetFieldDouble(rec, f, today * kMsPerDay + ms);
    } else if (f.type == kFieldString) {
      SetFieldString(rec, f, f.defaultValue, collation);
    } else if (f.type == kFieldBytes || f.type == kFieldVarBytes) {
      SetFieldBytes(rec, f, f.defaultValue);
    } else if (auto v = LiteralValue(f, f.defaultValue)) {
      if (f.type == kFieldFloat || f.type == kFieldTimestamp) {
        SetFieldDouble(rec, f, *v);
      } else {
        SetFieldInt(rec, f, static_cast<std::int64_t>(*v));
      }
    }
  }
}

void CheckRecordValues(const std::uint8_t* rec, const std::vector<TFieldDescriptor>& fields,
                       const TableCollation* collation, const std::string& table) {
  for (const TFieldDescriptor& f : fields) {
    const ErrorNames names{.field = f.name, .table = table};
    if (IsFieldNull(rec, f)) {
      if (f.required != 0) Raise(KURA_REQDERR, names);
      continue;
    }
    if (f.minimum.empty() && f.maximum.empty()) continue;
    if (f.type == kFieldString) {
      const std::string value = GetFieldString(rec, f).value_or("");
      auto compare = [&](const std::string& limit) {
        return collation != nullptr ? collation->Compare(value, limit) : value.compare(limit);
      };
      if (!f.minimum.empty() && compare(f.minimum) < 0) Raise(KURA_MINVALERR, names);
      if (!f.maximum.empty() && compare(f.maximum) > 0) Raise(KURA_MAXVALERR, names);
      continue;
    }
    const auto value = StoredValue(rec, f);
    if (!value) continue;
    if (auto lo = LiteralValue(f, f.minimum); lo && *value < *lo) Raise(KURA_MINVALERR, names);
    if (auto hi = LiteralValue(f, f.maximum); hi && *value > *hi) Raise(KURA_MAXVALERR, names);
  }
}

}  // namespace kura
