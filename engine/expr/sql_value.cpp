#include "engine/expr/sql_value.h"

#include <algorithm>

#include <cmath>
#include <cstring>

namespace kura::sql {

Value Value::Integer(std::int64_t v, int type) {
  Value r;
  r.type = type;
  r.null = false;
  r.integer = v;
  return r;
}

Value Value::Float(double v, int type) {
  Value r;
  r.type = type;
  r.null = false;
  r.real = v;
  return r;
}

Value Value::String(std::string v) {
  Value r;
  r.type = kTypeString;
  r.null = v.empty();
  r.text = std::move(v);
  return r;
}

Value Value::Boolean(bool v) {
  Value r = Integer(v ? 1 : 0, kTypeBoolean);
  return r;
}

Value Value::Date(std::int32_t dayNumber) {
  return Integer(dayNumber, kTypeDate);
}

Value Value::Time(std::int32_t ms) { return Integer(ms, kTypeTime); }

Value Value::Timestamp(double v) { return Float(v, kTypeTimestamp); }

Value Value::NullOf(int type, int subType) {
  Value r;
  r.type = type;
  r.subType = subType;
  return r;
}

bool Value::IsTrue() const {
  if (null) return false;
  if (type == kTypeFloat || type == kTypeBcd || type == kTypeTimestamp)
    return real != 0;
  if (IsTextType(type, subType)) return !text.empty();
  return integer != 0;
}

double Value::AsDouble() const {
  if (type == kTypeFloat || type == kTypeBcd || type == kTypeTimestamp)
    return real;
  return static_cast<double>(integer);
}

int Collation::Compare(std::string_view a, std::string_view b) const {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

const Collation& ByteOrderCollation() {
  static const Collation collation;
  return collation;
}

namespace {

bool HoldsReal(const Value& v) {
  return v.type == kTypeFloat || v.type == kTypeBcd ||
         v.type == kTypeTimestamp;
}

int Sign(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

// Exact comparison of a 64-bit integer with a double.
int CompareIntDouble(std::int64_t i, double d) {
  if (std::isnan(d)) return 1;
  if (d >= 9223372036854775808.0) return -1;
  if (d < -9223372036854775808.0) return 1;
  const double t = std::trunc(d);
  const auto ti = static_cast<std::int64_t>(t);
  if (i != ti) return i < ti ? -1 : 1;
  return Sign(t - d);
}

int CompareNumbers(const Value& a, const Value& b) {
  const bool ra = HoldsReal(a);
  const bool rb = HoldsReal(b);
  if (!ra && !rb) return a.integer < b.integer ? -1 : (a.integer > b.integer);
  if (ra && rb) return a.real < b.real ? -1 : (a.real > b.real ? 1 : 0);
  if (!ra) return CompareIntDouble(a.integer, b.real);
  return -CompareIntDouble(b.integer, a.real);
}

// A date, time or timestamp as milliseconds since day 0, for comparing a
// date with a timestamp.
double DateTimeMs(const Value& v) {
  if (v.type == kTypeDate) return static_cast<double>(v.integer) * 86400000.0;
  if (v.type == kTypeTimestamp) return v.real;
  return static_cast<double>(v.integer);
}

bool IsStringLike(const Value& v) {
  return IsTextType(v.type, v.subType);
}

bool IsRawBytes(const Value& v) {
  return v.type == kTypeBytes || v.type == kTypeVarBytes ||
         (v.type == kTypeBlob && v.subType != kSubMemo);
}

}  // namespace

int OrderValues(const Value& a, const Value& b, const Collation& collation) {
  if (IsNumericType(a.type) && IsNumericType(b.type))
    return CompareNumbers(a, b);
  if (IsStringLike(a) || IsStringLike(b))
    return collation.Compare(a.null ? std::string_view() : a.text,
                             b.null ? std::string_view() : b.text);
  if (IsDateTimeType(a.type) && IsDateTimeType(b.type)) {
    const double x = DateTimeMs(a);
    const double y = DateTimeMs(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if (IsRawBytes(a) || IsRawBytes(b))
    return ByteOrderCollation().Compare(a.text, b.text);
  if (a.type == kTypeBoolean || b.type == kTypeBoolean) {
    const bool x = a.integer != 0;
    const bool y = b.integer != 0;
    return x == y ? 0 : (x ? 1 : -1);
  }
  // Values of the same integral representation (or both untyped nulls).
  if (HoldsReal(a) || HoldsReal(b)) return CompareNumbers(a, b);
  return a.integer < b.integer ? -1 : (a.integer > b.integer);
}

bool CompareValues(CompareOp op, const Value& left, const Value& right,
                   const Collation& collation) {
  const bool textOrder =
      op != CompareOp::kEq && op != CompareOp::kNe &&
      (IsStringLike(left) || IsStringLike(right));
  if (!textOrder) {
    if (left.null || right.null) {
      const bool both = left.null && right.null;
      switch (op) {
        case CompareOp::kEq: return both;
        case CompareOp::kNe: return !both;
        case CompareOp::kLe:
        case CompareOp::kGe: return both;
        case CompareOp::kLt:
        case CompareOp::kGt: return false;
      }
    }
  }
  const int c = OrderValues(left, right, collation);
  switch (op) {
    case CompareOp::kEq: return c == 0;
    case CompareOp::kNe: return c != 0;
    case CompareOp::kLt: return c < 0;
    case CompareOp::kLe: return c <= 0;
    case CompareOp::kGt: return c > 0;
    case CompareOp::kGe: return c >= 0;
  }
  return false;
}

std::size_t CharacterBytes(std::string_view text, std::size_t pos, int codePage) {
  if (codePage != 932 || pos + 1 >= text.size()) return 1;
  const auto c = static_cast<unsigned char>(text[pos]);
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC) ? 2 : 1;
}

std::size_t CharacterCount(std::string_view text, int codePage) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += CharacterBytes(text, pos, codePage)) ++count;
  return count;
}

std::size_t CharacterOffset(std::string_view text, std::size_t n, int codePage) {
  std::size_t pos = 0;
  for (; n > 0 && pos < text.size(); --n) pos += CharacterBytes(text, pos, codePage);
  return std::min(pos, text.size());
}

std::string_view CutToBytes(std::string_view text, std::size_t bytes, int codePage) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t next = pos + CharacterBytes(text, pos, codePage);
    if (next > bytes) break;
    pos = next;
  }
  return text.substr(0, pos);
}

}  // namespace kura::sql
