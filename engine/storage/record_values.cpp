#include "engine/storage/record_values.h"

#include <cmath>
#include <cstring>
#include <string>

#include "engine/expr/date_time.h"
#include "engine/expr/evaluator.h"
#include "engine/expr/field_types.h"
#include "engine/storage/field_values.h"
#include "engine/storage/index_key.h"
#include "engine/storage/names.h"

namespace kura {
namespace {

constexpr int kBcdDigits = 24;  // 20 integer digits and 4 decimal places
constexpr int kBcdPlaces = 4;

std::int32_t DayOf(double now) {
  return static_cast<std::int32_t>(std::floor(now)) + sql::kDayOf18991230;
}

std::int32_t MillisOf(double now) {
  const double frac = now - std::floor(now);
  const auto ms = static_cast<std::int64_t>(std::llround(frac * sql::kMsPerDay));
  return static_cast<std::int32_t>(std::min<std::int64_t>(ms, sql::kMsPerDay - 1));
}

// "YYYY-MM-DD" or "MM/DD/YYYY".
std::optional<std::int32_t> DateLiteral(std::string_view s) {
  if (s.size() == 10 && s[2] == '/' && s[5] == '/') {
    const std::string iso = std::string(s.substr(6, 4)) + "-" + std::string(s.substr(0, 2)) +
                            "-" + std::string(s.substr(3, 2));
    return sql::ParseDate(iso);
  }
  return sql::ParseDate(s);
}

std::optional<double> TimestampLiteral(std::string_view s) {
  const std::size_t blank = s.find(' ');
  const auto day = DateLiteral(blank == std::string_view::npos ? s : s.substr(0, blank));
  if (!day) return std::nullopt;
  std::int32_t ms = 0;
  if (blank != std::string_view::npos) {
    const auto t = sql::ParseTime(TrimBlanks(s.substr(blank + 1)));
    if (!t) return std::nullopt;
    ms = *t;
  }
  return static_cast<double>(*day) * sql::kMsPerDay + ms;
}

std::optional<std::int64_t> IntegerText(std::string_view s) {
  try {
    std::size_t used = 0;
    const std::string t(s);
    const long long v = std::stoll(t, &used);
    if (used != t.size()) return std::nullopt;
    return v;
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<double> NumberText(std::string_view s) {
  try {
    std::size_t used = 0;
    const std::string t(s);
    const double v = std::stod(t, &used);
    if (used != t.size()) return std::nullopt;
    return v;
  } catch (...) {
    return std::nullopt;
  }
}

bool IsIntegerField(std::uint8_t type) {
  return type == kFieldSmallInt || type == kFieldInteger || type == kFieldWord ||
         type == kFieldLargeInt || type == kFieldUInt32;
}

}  // namespace

void EncodeBcd(double v, std::uint8_t* out) {
  std::memset(out, 0, 34);
  const double scaled = std::round(std::fabs(v) * 10000.0);
  // Saturate at 20 integer digits: beyond that the value cannot be held.
  unsigned long long x = scaled >= 9.9e23 ? 999999999999999999ull
                                          : static_cast<unsigned long long>(scaled);
  out[0] = kBcdDigits;
  out[1] = static_cast<std::uint8_t>(kBcdPlaces | (v < 0 && x != 0 ? 0x80 : 0));
  for (int i = kBcdDigits - 1; i >= 0; --i) {
    const unsigned d = static_cast<unsigned>(x % 10);
    x /= 10;
    out[2 + i / 2] |= static_cast<std::uint8_t>(i % 2 ? d : d << 4);
  }
}

sql::Value ReadFieldValue(const std::uint8_t* rec, const TFieldDescriptor& f) {
  if (!f.IsAutoIncrement() && IsFieldNull(rec, f)) return sql::Value::NullOf(f.type, f.subtype);
  sql::Value v;
  switch (f.type) {
    case kFieldString:
      v = sql::Value::String(GetFieldString(rec, f).value_or(""));
      if (v.null) return sql::Value::NullOf(f.type, f.subtype);
      break;
    case kFieldDate:
      v = sql::Value::Date(static_cast<std::int32_t>(*GetFieldInt(rec, f)));
      break;
    case kFieldTime:
      v = sql::Value::Time(static_cast<std::int32_t>(*GetFieldInt(rec, f)));
      break;
    case kFieldBoolean:
      v = sql::Value::Boolean(*GetFieldInt(rec, f) != 0);
      break;
    case kFieldFloat:
      v = sql::Value::Float(*GetFieldDouble(rec, f));
      break;
    case kFieldTimestamp:
      v = sql::Value::Timestamp(*GetFieldDouble(rec, f));
      break;
    case kFieldBcd: {
      const std::string raw = *GetFieldBytes(rec, f);
      v = sql::Value::Float(
          static_cast<double>(BcdTimes10000(reinterpret_cast<const std::uint8_t*>(raw.data()))) /
              10000.0,
          sql::kTypeBcd);
      break;
    }
    case kFieldBlob:
      v.null = false;
      break;
    default:
      if (IsIntegerField(f.type)) {
        v = sql::Value::Integer(*GetFieldInt(rec, f), f.type);
      } else {
        v.text = GetFieldBytes(rec, f).value_or("");
        v.null = false;
      }
      break;
  }
  v.type = f.type;
  v.subType = f.subtype;
  return v;
}

void StoreFieldValue(std::uint8_t* rec, const TFieldDescriptor& f, const sql::Value& value,
                     const TableCollation* collation) {
  if (!f.HasSlot() || f.type == kFieldBlob) return;
  if (value.null) {
    SetFieldNull(rec, f);
    return;
  }
  // An integer into an integer field, the common case, needs no converted
  // copy; a value of the field's own type is used as it is.
  if (sql::IsIntegerType(value.type) && sql::IsIntegerType(f.type)) {
    SetFieldInt(rec, f, value.integer);
    return;
  }
  sql::Value converted;
  if (value.type != f.type) converted = sql::ConvertValue(value, f.type, f.subtype);
  const sql::Value& v = value.type == f.type ? value : converted;
  if (v.null) {
    SetFieldNull(rec, f);
    return;
  }
  switch (f.type) {
    case kFieldString: SetFieldString(rec, f, v.text, collation); break;
    case kFieldFloat:
    case kFieldTimestamp: SetFieldDouble(rec, f, v.AsDouble()); break;
    case kFieldBcd: {
      std::uint8_t bcd[34];
      EncodeBcd(v.AsDouble(), bcd);
      SetFieldBytes(rec, f, std::string_view(reinterpret_cast<const char*>(bcd), sizeof bcd));
      break;
    }
    case kFieldBytes:
    case kFieldVarBytes:
    case kFieldExtended: SetFieldBytes(rec, f, v.text); break;
    default: SetFieldInt(rec, f, v.integer); break;
  }
}

sql::Value LiteralValue(const TFieldDescriptor& f, std::string_view text, double now) {
  const std::string t = TrimBlanks(text);
  if (t.empty()) return sql::Value::Null();
  const std::string upper = UpperAscii(t);
  switch (f.type) {
    case kFieldString: return sql::Value::String(std::string(text));
    case kFieldBytes:
    case kFieldVarBytes: {
      sql::Value v;
      v.type = f.type;
      v.null = false;
      v.text = std::string(text);
      return v;
    }
    case kFieldDate: {
      if (upper == "CURRENT_DATE") return sql::Value::Date(DayOf(now));
      const auto d = DateLiteral(t);
      return d ? sql::Value::Date(*d) : sql::Value::Null();
    }
    case kFieldTime: {
      if (upper == "CURRENT_TIME") return sql::Value::Time(MillisOf(now));
      const auto ms = sql::ParseTime(t);
      return ms ? sql::Value::Time(*ms) : sql::Value::Null();
    }
    case kFieldTimestamp: {
      if (upper == "CURRENT_TIMESTAMP") {
        return sql::Value::Timestamp(static_cast<double>(DayOf(now)) * sql::kMsPerDay +
                                     MillisOf(now));
      }
      const auto ts = TimestampLiteral(t);
      return ts ? sql::Value::Timestamp(*ts) : sql::Value::Null();
    }
    case kFieldBoolean:
      if (upper == "TRUE") return sql::Value::Boolean(true);
      if (upper == "FALSE") return sql::Value::Boolean(false);
      return sql::Value::Null();
    case kFieldFloat:
    case kFieldBcd: {
      const auto d = NumberText(t);
      return d ? sql::Value::Float(*d, f.type) : sql::Value::Null();
    }
    default:
      if (IsIntegerField(f.type)) {
        const auto i = IntegerText(t);
        return i ? sql::Value::Integer(*i, f.type) : sql::Value::Null();
      }
      return sql::Value::Null();
  }
}

void InitRecordImage(std::uint8_t* rec, std::uint32_t length,
                     const std::vector<TFieldDescriptor>& fields,
                     const TableCollation* collation, double now) {
  std::memset(rec, 0, length);
  for (const TFieldDescriptor& f : fields) {
    if (f.defaultValue.empty() || !f.HasSlot() || f.type == kFieldBlob) continue;
    StoreFieldValue(rec, f, LiteralValue(f, f.defaultValue, now), collation);
  }
}

}  // namespace kura
