#include "engine/expr/evaluator.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "engine/expr/date_time.h"
#include "engine/expr/sql_error.h"

namespace kura::sql {

Value RowAccessor::OuterFieldValue(int, int, int) const {
  SqlError("Correlated sub-select columns cannot be evaluated here");
}
Value RowAccessor::AggregateValue(const TExpToken&) const {
  SqlError("Aggregate functions cannot be evaluated for a single row");
}
Value RowAccessor::SubQueryValue(const TExpToken&) const {
  SqlError("Sub-select queries cannot be evaluated here");
}
bool RowAccessor::SubQueryContains(const TExpToken&, const Value&) const {
  SqlError("Sub-select queries cannot be evaluated here");
}
bool RowAccessor::SubQueryExists(const TExpToken&) const {
  SqlError("Sub-select queries cannot be evaluated here");
}

bool LikeMatch(std::string_view text, std::string_view pattern) {
  return LikeMatch(text, pattern, '\0');
}

bool LikeMatch(std::string_view text, std::string_view pattern, char escape, int codePage) {
  // Greedy matching with one backtrack point, one character of the code page
  // at a time: linear in practice and never exponential, whatever the
  // pattern. A "%" or "_" byte inside a double-byte character is part of
  // that character. A NUL escape is no escape (texts hold no NUL).
  const auto width = [codePage](std::string_view s, std::size_t at) {
    return CharacterBytes(s, at, codePage);
  };
  std::size_t t = 0, p = 0, starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    const std::size_t tw = width(text, t);
    const std::string_view tc = text.substr(t, tw);
    if (p < pattern.size()) {
      const std::size_t pw = width(pattern, p);
      const bool single = pw == 1;
      if (single && escape != '\0' && pattern[p] == escape && p + 1 < pattern.size()) {
        const std::size_t lw = width(pattern, p + 1);
        if (pattern.substr(p + 1, lw) == tc) {
          t += tw;
          p += 1 + lw;
          continue;
        }
      } else if (single && pattern[p] == '%') {
        starP = p++;
        starT = t;
        continue;
      } else if ((single && pattern[p] == '_') || pattern.substr(p, pw) == tc) {
        t += tw;
        p += pw;
        continue;
      }
    }
    if (starP == std::string_view::npos) return false;
    p = starP + 1;
    starT += width(text, starT);
    t = starT;
  }
  while (p < pattern.size() && pattern[p] == '%') ++p;
  return p == pattern.size();
}

namespace {

bool HoldsReal(int type) {
  return type == kTypeFloat || type == kTypeBcd || type == kTypeTimestamp;
}

std::string FormatReal(double d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  return buf;
}

// An integer result: kept as the node's integer type while it fits in 32
// bits, widened to 64 bits otherwise.
[[noreturn]] void Overflow(const TExpToken& n) {
  SqlError("Integer overflow in the expression '" + n.text + "'");
}

Value IntegerResult(std::int64_t v, int type) {
  if (type == kTypeInteger && (v < INT32_MIN || v > INT32_MAX)) type = kTypeLargeInt;
  if (!IsIntegerType(type)) type = kTypeLargeInt;
  return Value::Integer(v, type);
}

class Evaluator {
 public:
  Evaluator(const RowAccessor& row, const Collation& collation)
      : row_(row), collation_(collation) {}

  Value Eval(const TExpToken& n) {
    switch (n.nodeClass) {
      case NodeClass::kConstant:
      case NodeClass::kParameter: return n.value;
      case NodeClass::kColumn:
        return n.outerLevel == 0
                   ? row_.FieldValue(n.tablePosition, n.fieldNumber)
                   : row_.OuterFieldValue(n.outerLevel, n.tablePosition, n.fieldNumber);
      case NodeClass::kAggregate: return row_.AggregateValue(n);
      case NodeClass::kSubQuery: return row_.SubQueryValue(n);
      case NodeClass::kUnary: return Unary(n);
      case NodeClass::kBinary: return Binary(n);
      case NodeClass::kPredicate: return Value::Boolean(Predicate(n));
      case NodeClass::kFunction: return Function(n);
    }
    return Value::Null();
  }

 private:
  bool Compare(CompareOp op, const Value& a, const Value& b) {
    return CompareValues(op, a, b, collation_);
  }

  Value Unary(const TExpToken& n) {
    const Value a = Eval(*n.left);
    if (n.op == OpCode::kNot) return Value::Boolean(!a.IsTrue());
    if (n.op == OpCode::kPlus || a.null) return a;
    Value r = a;
    if (HoldsReal(a.type)) {
      r.real = -a.real;
    } else if (a.integer == std::numeric_limits<std::int64_t>::min()) {
      Overflow(n);
    } else {
      r = IntegerResult(-a.integer, a.type);
    }
    return r;
  }

  Value Binary(const TExpToken& n) {
    switch (n.op) {
      case OpCode::kAnd: {
        // The right operand first; the left only when the right is true.
        if (!Eval(*n.right).IsTrue()) return Value::Boolean(false);
        return Value::Boolean(Eval(*n.left).IsTrue());
      }
      case OpCode::kOr: {
        // The right operand first; the left only when the right is false.
        if (Eval(*n.right).IsTrue()) return Value::Boolean(true);
        return Value::Boolean(Eval(*n.left).IsTrue());
      }
      default: break;
    }
    const Value a = Eval(*n.left);
    const Value b = Eval(*n.right);
    switch (n.op) {
      case OpCode::kEq: return Value::Boolean(Compare(CompareOp::kEq, a, b));
      case OpCode::kNe: return Value::Boolean(Compare(CompareOp::kNe, a, b));
      case OpCode::kLt: return Value::Boolean(Compare(CompareOp::kLt, a, b));
      case OpCode::kLe: return Value::Boolean(Compare(CompareOp::kLe, a, b));
      case OpCode::kGt: return Value::Boolean(Compare(CompareOp::kGt, a, b));
      case OpCode::kGe: return Value::Boolean(Compare(CompareOp::kGe, a, b));
      default: return Arithmetic(n, a, b);
    }
  }

  Value Arithmetic(const TExpToken& n, const Value& a, const Value& b) {
    if (IsTextType(n.type, n.subType) || n.op == OpCode::kConcat) {
      // Concatenation; a null string (also the empty string) adds nothing.
      return Value::String((a.null ? std::string() : a.text) +
                           (b.null ? std::string() : b.text));
    }
    if (a.null || b.null) return Value::NullOf(n.type, n.subType);
    if (IsDateTimeType(a.type) || IsDateTimeType(b.type)) return DateArithmetic(n, a, b);
    if (n.op == OpCode::kDivide) {
      const double d = b.AsDouble();
      if (d == 0) return Value::NullOf(kTypeFloat);
      return Value::Float(a.AsDouble() / d);
    }
    if (HoldsReal(a.type) || HoldsReal(b.type)) {
      const double x = a.AsDouble(), y = b.AsDouble();
      const double r = n.op == OpCode::kAdd ? x + y : n.op == OpCode::kSubtract ? x - y : x * y;
      return Value::Float(r, n.type == kTypeBcd ? kTypeBcd : kTypeFloat);
    }
    std::int64_t r = 0;
    bool overflow = false;
    switch (n.op) {
      case OpCode::kAdd: overflow = __builtin_add_overflow(a.integer, b.integer, &r); break;
      case OpCode::kSubtract: overflow = __builtin_sub_overflow(a.integer, b.integer, &r); break;
      default: overflow = __builtin_mul_overflow(a.integer, b.integer, &r); break;
    }
    if (overflow) Overflow(n);
    return IntegerResult(r, n.type);
  }

  // Dates move by days, times and timestamps by milliseconds; the
  // difference of two dates is in days, of two timestamps in milliseconds.
  Value DateArithmetic(const TExpToken& n, const Value& a, const Value& b) {
    const bool add = n.op == OpCode::kAdd;
    const Value& dt = IsDateTimeType(a.type) ? a : b;
    const Value& num = IsDateTimeType(a.type) ? b : a;
    if (IsDateTimeType(a.type) && IsDateTimeType(b.type)) {
      if (a.type == kTypeTimestamp) return Value::Float(a.real - b.real);
      return IntegerResult(a.integer - b.integer, kTypeInteger);
    }
    if (dt.type == kTypeTimestamp)
      return Value::Timestamp(add ? dt.real + num.AsDouble() : dt.real - num.AsDouble());
    const auto delta = static_cast<std::int64_t>(num.AsDouble());
    std::int64_t r = add ? dt.integer + delta : dt.integer - delta;
    if (dt.type == kTypeTime) r = ((r % kMsPerDay) + kMsPerDay) % kMsPerDay;
    else if (r < 1 || r > DayNumber(9999, 12, 31)) return Value::NullOf(kTypeDate);
    return Value::Integer(r, dt.type);
  }

  bool Predicate(const TExpToken& n) {
    if (n.op == OpCode::kExists) return row_.SubQueryExists(*n.left);
    const Value a = Eval(*n.left);
    switch (n.op) {
      case OpCode::kIsNull: return a.null;
      case OpCode::kIsNotNull: return !a.null;
      case OpCode::kLike:
      case OpCode::kNotLike: {
        const Value p = Eval(*n.right);
        char escape = '\0';
        if (!n.args.empty()) {
          const Value e = Eval(*n.args[0]);
          if (!e.null) escape = e.text[0];
        }
        const bool m = LikeMatch(a.null ? "" : a.text, p.null ? "" : p.text, escape,
                                 collation_.CodePage());
        return n.op == OpCode::kLike ? m : !m;
      }
      case OpCode::kBetween:
      case OpCode::kNotBetween: {
        const Value lo = Eval(*n.args[0]);
        const Value hi = Eval(*n.args[1]);
        const bool in = Compare(CompareOp::kGe, a, lo) && Compare(CompareOp::kLe, a, hi);
        return n.op == OpCode::kBetween ? in : !in;
      }
      case OpCode::kIn:
      case OpCode::kNotIn: {
        bool found = false;
        for (const auto& item : n.args) {
          if (item->nodeClass == NodeClass::kSubQuery) {
            found = row_.SubQueryContains(*item, a);
          } else {
            found = Compare(CompareOp::kEq, a, Eval(*item));
          }
          if (found) break;
        }
        return n.op == OpCode::kIn ? found : !found;
      }
      default: return false;
    }
  }

  Value Function(const TExpToken& n);
  Value Substring(const TExpToken& n);

  const RowAccessor& row_;
  const Collation& collation_;
};

std::string AsText(const Value& v) { return v.null ? std::string() : v.text; }

// Converts single-byte letters only: the second byte of a double-byte
// character stays as it is.
std::string CaseConverted(std::string s, bool upper, int codePage) {
  for (std::size_t i = 0; i < s.size(); i += CharacterBytes(s, i, codePage)) {
    char& c = s[i];
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

std::int64_t CountOccurrences(const std::string& needle, const std::string& hay) {
  if (needle.empty()) return 0;
  std::int64_t count = 0;
  for (std::size_t pos = hay.find(needle); pos != std::string::npos;
       pos = hay.find(needle, pos + needle.size()))
    ++count;
  return count;
}

Value Extract(ExtractPart part, const Value& v) {
  if (v.null) return Value::NullOf(kTypeInteger);
  std::int64_t day = 0, ms = 0;
  if (v.type == kTypeDate) day = v.integer;
  else if (v.type == kTypeTime) ms = v.integer;
  else {
    const auto total = static_cast<std::int64_t>(std::floor(v.real));
    day = total / kMsPerDay;
    ms = total % kMsPerDay;
  }
  const CivilDate d = DateOfDayNumber(day);
  const std::int64_t yearStart = DayNumber(d.year, 1, 1);
  const std::int64_t dayOfYear = day - yearStart + 1;
  // Day 1 (0001-01-01) was a Monday; 1 is Sunday in DAYOFWEEK.
  auto weekday = [](std::int64_t dn) { return ((dn % 7) + 7) % 7 + 1; };
  switch (part) {
    case ExtractPart::kYear: return Value::Integer(d.year);
    case ExtractPart::kMonth: return Value::Integer(d.month);
    case ExtractPart::kDay: return Value::Integer(d.day);
    case ExtractPart::kDayOfWeek: return Value::Integer(weekday(day));
    case ExtractPart::kDayOfYear: return Value::Integer(dayOfYear);
    case ExtractPart::kWeek:
      return Value::Integer((dayOfYear + weekday(yearStart) - 2) / 7 + 1);
    case ExtractPart::kHour: return Value::Integer(ms / 3600000);
    case ExtractPart::kMinute: return Value::Integer(ms / 60000 % 60);
    case ExtractPart::kSecond: return Value::Integer(ms / 1000 % 60);
  }
  return Value::NullOf(kTypeInteger);
}

double RoundTo(double x, int decimals) {
  const double scale = std::pow(10.0, decimals);
  const double r = std::round(x * scale) / scale;
  return std::isfinite(r) ? r : x;
}

Value Evaluator::Function(const TExpToken& n) {
  auto arg = [&](std::size_t i) { return Eval(*n.args[i]); };
  switch (n.func) {
    case FuncCode::kLower:
    case FuncCode::kUpper:
      return Value::String(CaseConverted(AsText(arg(0)), n.func == FuncCode::kUpper,
                                         collation_.CodePage()));
    case FuncCode::kLength: {
      const Value v = arg(0);
      return v.null ? Value::NullOf(kTypeInteger)
                    : Value::Integer(static_cast<std::int64_t>(
                          CharacterCount(v.text, collation_.CodePage())));
    }
    case FuncCode::kSubstring: return Substring(n);
    case FuncCode::kReplace: {
      const std::string from = AsText(arg(0)), to = AsText(arg(1));
      std::string s = AsText(arg(2));
      if (from.empty()) return Value::String(s);
      std::string out;
      std::size_t pos = 0;
      for (std::size_t hit; (hit = s.find(from, pos)) != std::string::npos; pos = hit + from.size())
        out += s.substr(pos, hit - pos) + to;
      return Value::String(out + s.substr(pos));
    }
    case FuncCode::kPos: {
      const std::string needle = AsText(arg(0)), hay = AsText(arg(1));
      const int cp = collation_.CodePage();
      if (needle.empty()) return Value::Integer(0);
      // The first match that starts on a character boundary, in characters.
      std::int64_t chars = 1;
      for (std::size_t pos = 0; pos < hay.size(); pos += CharacterBytes(hay, pos, cp), ++chars) {
        if (hay.compare(pos, needle.size(), needle) == 0) return Value::Integer(chars);
      }
      return Value::Integer(0);
    }
    case FuncCode::kOccurs:
      return Value::Integer(CountOccurrences(AsText(arg(0)), AsText(arg(1))));
    case FuncCode::kTrim: {
      const std::string c = AsText(arg(0));
      const char ch = c.empty() ? ' ' : c[0];
      std::string s = AsText(arg(1));
      if (n.trimMode != TrimMode::kTrailing) s.erase(0, s.find_first_not_of(ch));
      if (n.trimMode != TrimMode::kLeading) {
        const std::size_t last = s.find_last_not_of(ch);
        s.erase(last == std::string::npos ? 0 : last + 1);
      }
      return Value::String(s);
    }
    case FuncCode::kExtract: return Extract(n.extractPart, arg(0));
    case FuncCode::kAbs: {
      Value v = arg(0);
      if (v.null) return v;
      if (HoldsReal(v.type)) {
        v.real = std::fabs(v.real);
      } else if (v.integer == std::numeric_limits<std::int64_t>::min()) {
        Overflow(n);
      } else if (v.integer < 0) {
        v.integer = -v.integer;
      }
      return v;
    }
    case FuncCode::kRound: {
      Value v = arg(0);
      if (v.null || !HoldsReal(v.type)) return v;
      v.real = RoundTo(v.real, n.roundDecimals < 0 ? 0 : n.roundDecimals);
      return v;
    }
    case FuncCode::kIf: return arg(0).IsTrue() ? arg(1) : arg(2);
    case FuncCode::kIfNull:
    case FuncCode::kCoalesce:
      for (std::size_t i = 0; i < n.args.size(); ++i) {
        Value v = arg(i);
        if (!v.null) return v;
      }
      return Value::NullOf(n.type, n.subType);
    case FuncCode::kCast: {
      Value v = ConvertValue(arg(0), n.castType, n.castSubType);
      // A string of a declared size holds no more than that many bytes.
      if (!v.null && n.castType == kTypeString && n.castSize > 0)
        v.text = std::string(CutToBytes(v.text, static_cast<std::size_t>(n.castSize),
                                        collation_.CodePage()));
      return v;
    }
    case FuncCode::kTextSearch:
    case FuncCode::kTextOccurs:
    case FuncCode::kLastAutoInc:
    case FuncCode::kIdentCurrent:
    case FuncCode::kNone:
      break;
  }
  SqlError(std::string("Function '") + FunctionName(n.func) +
           "' cannot be evaluated for a single row");
}

// SUBSTRING(s FROM start [FOR count]) in characters; null outside the text.
Value Evaluator::Substring(const TExpToken& n) {
  const std::string s = AsText(Eval(*n.args[0]));
  const int cp = collation_.CodePage();
  const Value from = Eval(*n.args[1]);
  if (from.null) return Value::NullOf(kTypeString);
  const auto length = static_cast<std::int64_t>(CharacterCount(s, cp));
  const auto start = static_cast<std::int64_t>(from.AsDouble());
  std::int64_t count = length;
  if (n.args.size() > 2) {
    const Value len = Eval(*n.args[2]);
    if (len.null) return Value::NullOf(kTypeString);
    count = static_cast<std::int64_t>(len.AsDouble());
  }
  if (start < 1 || count <= 0 || start > length) return Value::NullOf(kTypeString);
  const std::size_t begin = CharacterOffset(s, static_cast<std::size_t>(start - 1), cp);
  const std::size_t end = CharacterOffset(s, static_cast<std::size_t>(std::min(length, start - 1 + count)), cp);
  return Value::String(s.substr(begin, end - begin));
}

std::optional<double> ParseReal(const std::string& s) {
  double d = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), d);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return d;
}

}  // namespace

Value ConvertValue(const Value& v, int type, int subType) {
  if (v.null) return Value::NullOf(type, subType);
  const bool fromText = IsTextType(v.type, v.subType);
  if (IsTextType(type, subType)) {
    Value r;
    if (fromText) r = Value::String(v.text);
    else if (v.type == kTypeDate) r = Value::String(FormatDate(v.integer));
    else if (v.type == kTypeTime) r = Value::String(FormatTime(v.integer));
    else if (v.type == kTypeTimestamp) r = Value::String(FormatTimestamp(v.real));
    else if (v.type == kTypeBoolean) r = Value::String(v.integer ? "TRUE" : "FALSE");
    else if (HoldsReal(v.type)) r = Value::String(FormatReal(v.real));
    else if (IsIntegerType(v.type)) r = Value::String(std::to_string(v.integer));
    else r = Value::String(v.text);
    r.type = type;
    r.subType = subType;
    return r;
  }
  if (IsNumericType(type)) {
    double d = 0;
    if (fromText) {
      auto p = ParseReal(v.text);
      if (!p) return Value::NullOf(type, subType);
      d = *p;
    } else if (IsNumericType(v.type) || v.type == kTypeBoolean) {
      if (!HoldsReal(v.type) && IsIntegerType(type)) return Value::Integer(v.integer, type);
      d = v.AsDouble();
    } else {
      return Value::NullOf(type, subType);
    }
    if (IsIntegerType(type)) {
      // Every double in [-2^63, 2^63) has an int64 value, the minimum too.
      if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return Value::NullOf(type, subType);
      return Value::Integer(static_cast<std::int64_t>(std::trunc(d)), type);
    }
    return Value::Float(d, type);
  }
  switch (type) {
    case kTypeBoolean:
      if (fromText) {
        if (v.text == "TRUE" || v.text == "true") return Value::Boolean(true);
        if (v.text == "FALSE" || v.text == "false") return Value::Boolean(false);
        return Value::NullOf(type);
      }
      return Value::Boolean(v.IsTrue());
    case kTypeDate:
      if (fromText) {
        if (auto d = ParseDate(v.text)) return Value::Date(*d);
        if (auto ts = ParseTimestamp(v.text))
          return Value::Date(static_cast<std::int32_t>(*ts / kMsPerDay));
        return Value::NullOf(type);
      }
      if (v.type == kTypeDate) return v;
      if (v.type == kTypeTimestamp)
        return Value::Date(static_cast<std::int32_t>(std::floor(v.real / kMsPerDay)));
      return Value::NullOf(type);
    case kTypeTime:
      if (fromText) {
        if (auto t = ParseTime(v.text)) return Value::Time(*t);
        return Value::NullOf(type);
      }
      if (v.type == kTypeTime) return v;
      if (v.type == kTypeTimestamp)
        return Value::Time(static_cast<std::int32_t>(std::fmod(v.real, kMsPerDay)));
      return Value::NullOf(type);
    case kTypeTimestamp:
      if (fromText) {
        if (auto ts = ParseTimestamp(v.text)) return Value::Timestamp(*ts);
        return Value::NullOf(type);
      }
      if (v.type == kTypeTimestamp) return v;
      if (v.type == kTypeDate) return Value::Timestamp(static_cast<double>(v.integer) * kMsPerDay);
      return Value::NullOf(type);
    default: {
      Value r = v;
      r.type = type;
      r.subType = subType;
      return r;
    }
  }
}

Value Evaluate(const TExpToken& node, const RowAccessor& row,
               const Collation& collation) {
  return Evaluator(row, collation).Eval(node);
}

bool EvaluateCondition(const TExpToken& node, const RowAccessor& row,
                       const Collation& collation) {
  return Evaluate(node, row, collation).IsTrue();
}

}  // namespace kura::sql
