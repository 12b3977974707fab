#include "engine/sql/type_checker.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "engine/expr/date_time.h"
#include "engine/expr/sql_error.h"
#include "engine/sql/expression_parser.h"

namespace kura::sql {

bool ComparisonAccepts(int lt, int ls, int rt, int rs, bool ordering) {
  if (lt == kTypeNone || rt == kTypeNone) return true;
  if (IsNumericType(lt)) return IsNumericType(rt);
  if (IsTextType(lt, ls)) return IsTextType(rt, rs);
  switch (lt) {
    case kTypeBlob: return false;  // other BLOBs: the null constant only
    case kTypeBoolean: return !ordering && rt == kTypeBoolean;
    case kTypeDate:
    case kTypeTimestamp: return rt == kTypeDate || rt == kTypeTimestamp;
    case kTypeTime: return rt == kTypeTime;
    case kTypeBytes: return !ordering && rt == kTypeBytes;
    default: return false;
  }
}

namespace {

bool IsNone(const TExpToken& n) { return n.type == kTypeNone; }
bool IsText(const TExpToken& n) { return IsTextType(n.type, n.subType); }
bool IsNumeric(const TExpToken& n) { return IsNumericType(n.type); }

void SetType(TExpToken& n, int type, int subType = 0, int size = 0) {
  n.type = type;
  n.subType = subType;
  if (size == 0) {
    switch (type) {
      case kTypeBoolean: case kTypeSmallInt: case kTypeWord: size = 2; break;
      case kTypeDate: case kTypeInteger: case kTypeTime: size = 4; break;
      case kTypeBcd: size = 34; break;
      case kTypeNone: size = 0; break;
      default: size = 8; break;
    }
  }
  n.size = size;
}

// The values an integer expression can take, as bounds wide enough for the
// product of two 64-bit values.
struct IntRange {
  __int128 lo = 0;
  __int128 hi = 0;
};

IntRange TypeRange(int type) {
  switch (type) {
    case kTypeBoolean: return {0, 1};
    case kTypeSmallInt: return {INT16_MIN, INT16_MAX};
    case kTypeWord: return {0, UINT16_MAX};
    case kTypeInteger: return {INT32_MIN, INT32_MAX};
    default: return {INT64_MIN, INT64_MAX};
  }
}

IntRange Union(IntRange a, IntRange b) { return {std::min(a.lo, b.lo), std::max(a.hi, b.hi)}; }

// Bounds beyond 64 bits only say "beyond": they are kept just outside, so
// that the product of two bounds never leaves 128 bits.
IntRange Clamp(IntRange r) {
  const __int128 low = static_cast<__int128>(INT64_MIN) - 1;
  const __int128 high = static_cast<__int128>(INT64_MAX) + 1;
  return {std::clamp(r.lo, low, high), std::clamp(r.hi, low, high)};
}

IntRange Combine(OpCode op, IntRange a, IntRange b) {
  if (op == OpCode::kAdd) return Clamp({a.lo + b.lo, a.hi + b.hi});
  if (op == OpCode::kSubtract) return Clamp({a.lo - b.hi, a.hi - b.lo});
  const __int128 p[] = {a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi};
  return Clamp({*std::min_element(p, p + 4), *std::max_element(p, p + 4)});
}

// The range of an integer-typed node: exact for constants, the type's range
// for columns, and carried through arithmetic, IF, COALESCE, ABS, MIN and MAX.
IntRange RangeOf(const TExpToken& n) {
  switch (n.nodeClass) {
    case NodeClass::kConstant:
    case NodeClass::kParameter:
      if (!n.value.null && IsIntegerType(n.value.type)) return {n.value.integer, n.value.integer};
      return TypeRange(n.type);
    case NodeClass::kUnary:
      if (n.op == OpCode::kNegate && n.left) {
        const IntRange a = RangeOf(*n.left);
        return {-a.hi, -a.lo};
      }
      return n.left ? RangeOf(*n.left) : TypeRange(n.type);
    case NodeClass::kBinary:
      if ((n.op == OpCode::kAdd || n.op == OpCode::kSubtract || n.op == OpCode::kMultiply) &&
          IsIntegerType(n.left->type) && IsIntegerType(n.right->type))
        return Combine(n.op, RangeOf(*n.left), RangeOf(*n.right));
      if (n.op == OpCode::kAdd || n.op == OpCode::kSubtract || n.op == OpCode::kMultiply) {
        // One side is the null constant.
        const TExpToken& typed = IsIntegerType(n.left->type) ? *n.left : *n.right;
        return RangeOf(typed);
      }
      return TypeRange(n.type);
    case NodeClass::kFunction: {
      if (n.func == FuncCode::kAbs && !n.args.empty()) {
        const IntRange a = RangeOf(*n.args[0]);
        const __int128 m = std::max(a.lo < 0 ? -a.lo : a.lo, a.hi < 0 ? -a.hi : a.hi);
        return {a.lo >= 0 ? a.lo : 0, m};
      }
      const bool choice = n.func == FuncCode::kIf || n.func == FuncCode::kIfNull ||
                          n.func == FuncCode::kCoalesce;
      if (!choice) return TypeRange(n.type);
      std::optional<IntRange> r;
      for (std::size_t i = n.func == FuncCode::kIf ? 1 : 0; i < n.args.size(); ++i) {
        if (!IsIntegerType(n.args[i]->type)) continue;
        const IntRange a = RangeOf(*n.args[i]);
        r = r ? Union(*r, a) : a;
      }
      return r.value_or(TypeRange(n.type));
    }
    case NodeClass::kAggregate:
      if ((n.aggregate == AggregateKind::kMin || n.aggregate == AggregateKind::kMax) && n.left)
        return RangeOf(*n.left);
      if (n.aggregate == AggregateKind::kCount) return {0, INT32_MAX};
      return TypeRange(n.type);
    default:
      return TypeRange(n.type);
  }
}

// 32 bits while every value fits, else 64 bits (values beyond 64 bits are
// an overflow error when they occur).
int IntegerTypeFor(IntRange r) {
  return r.lo >= INT32_MIN && r.hi <= INT32_MAX ? kTypeInteger : kTypeLargeInt;
}

int NumericResult(const TExpToken& n, const TExpToken& a, const TExpToken& b) {
  if (IsNone(a) && IsNone(b)) return kTypeInteger;
  if (a.type == kTypeFloat || b.type == kTypeFloat) return kTypeFloat;
  if (a.type == kTypeBcd || b.type == kTypeBcd) return kTypeBcd;
  return IntegerTypeFor(RangeOf(n));
}

// The longest text a string column holds; longer results are memos.
constexpr int kMaxStringSize = 250;

void SetTextType(TExpToken& n, long size) {
  if (size > kMaxStringSize) {
    n.type = kTypeBlob;
    n.subType = kSubMemo;
    n.size = 8;
    return;
  }
  n.type = kTypeString;
  n.subType = 0;
  n.size = static_cast<int>(std::max(size, 1L));
}

bool IsMemo(const TExpToken& n) { return IsMemoType(n.type, n.subType); }

class TypeChecker {
 public:
  explicit TypeChecker(std::string context) : context_(std::move(context)) {}

  void Check(TExpToken& n) {
    switch (n.nodeClass) {
      case NodeClass::kColumn:
        return;  // typed by name resolution
      case NodeClass::kConstant:
      case NodeClass::kParameter:
        if (n.nodeClass == NodeClass::kParameter)
          SetType(n, n.value.type, n.value.subType,
                  IsTextType(n.value.type, n.value.subType)
                      ? static_cast<int>(n.value.text.size()) : 0);
        return;
      case NodeClass::kSubQuery:
        if (n.subQuery && !n.subQuery->selectList.empty()) {
          const TResultField& f = n.subQuery->selectList.front();
          SetType(n, f.expression->type, f.expression->subType, f.expression->size);
        }
        return;
      case NodeClass::kUnary: return CheckUnary(n);
      case NodeClass::kBinary: return CheckBinary(n);
      case NodeClass::kPredicate: return CheckPredicate(n);
      case NodeClass::kFunction: return CheckFunction(n);
      case NodeClass::kAggregate: return CheckAggregate(n);
    }
  }

 private:
  [[noreturn]] void Mismatch(const TExpToken& l, const TExpToken& r) const {
    SqlError(std::string("Type mismatch between ") + OperandKind(l) + " '" +
             l.text + "' and " + OperandKind(r) + " '" + r.text + "' in " + context_);
  }

  [[noreturn]] void BadArgument(const TExpToken& fn, const TExpToken& arg) const {
    const char* name = fn.nodeClass == NodeClass::kAggregate
                           ? AggregateName(fn.aggregate) : FunctionName(fn.func);
    SqlError(std::string("Invalid argument type for function '") + name +
             "', instead found " + OperandKind(arg) + " '" + arg.text + "' in " +
             context_);
  }

  // A string constant (or parameter bound as a string) compared with a
  // date, time or timestamp operand takes that operand's type.
  void ConvertDateConstant(TExpToken& c, const TExpToken& other) {
    if (!IsDateTimeType(other.type) || c.type != kTypeString) return;
    if (c.nodeClass != NodeClass::kConstant && c.nodeClass != NodeClass::kParameter) return;
    const std::string& s = c.value.text;
    Value v;
    if (other.type == kTypeDate) {
      if (auto d = ParseDate(s)) v = Value::Date(*d);
    } else if (other.type == kTypeTime) {
      if (auto t = ParseTime(s)) v = Value::Time(*t);
    } else if (auto ts = ParseTimestamp(s)) {
      v = Value::Timestamp(*ts);
    }
    if (v.null)
      SqlError("Date, time, or timestamp expression expected, instead found '" +
               s + "' in " + context_);
    c.value = v;
    SetType(c, v.type);
  }

  void CheckComparable(TExpToken& l, TExpToken& r, bool ordering) {
    ConvertDateConstant(l, r);
    ConvertDateConstant(r, l);
    if (!ComparisonAccepts(l.type, l.subType, r.type, r.subType, ordering))
      Mismatch(l, r);
  }

  void CheckUnary(TExpToken& n) {
    Check(*n.left);
    const TExpToken& a = *n.left;
    if (n.op == OpCode::kNot) {
      if (!IsNone(a) && a.type != kTypeBoolean) Mismatch(n, a);
      SetType(n, kTypeBoolean);
      return;
    }
    if (!IsNone(a) && !IsNumeric(a)) Mismatch(n, a);
    if (IsIntegerType(a.type)) return SetType(n, IntegerTypeFor(RangeOf(n)));
    SetType(n, a.type, a.subType, a.size);
  }

  // A memo operand or a result longer than a string column gives a memo.
  static void SetConcatenation(TExpToken& n, const TExpToken& l, const TExpToken& r) {
    if (IsMemo(l) || IsMemo(r)) return SetTextType(n, kMaxStringSize + 1);
    SetTextType(n, static_cast<long>(l.size) + r.size);
  }

  void CheckBinary(TExpToken& n) {
    Check(*n.left);
    Check(*n.right);
    TExpToken& l = *n.left;
    TExpToken& r = *n.right;
    switch (n.op) {
      case OpCode::kAnd:
      case OpCode::kOr:
        if ((!IsNone(l) && l.type != kTypeBoolean) || (!IsNone(r) && r.type != kTypeBoolean))
          Mismatch(l, r);
        return SetType(n, kTypeBoolean);
      case OpCode::kEq:
      case OpCode::kNe:
        CheckComparable(l, r, false);
        return SetType(n, kTypeBoolean);
      case OpCode::kLt: case OpCode::kLe: case OpCode::kGt: case OpCode::kGe:
        CheckComparable(l, r, true);
        return SetType(n, kTypeBoolean);
      case OpCode::kConcat:
        if ((!IsNone(l) && !IsText(l)) || (!IsNone(r) && !IsText(r))) Mismatch(l, r);
        return SetConcatenation(n, l, r);
      case OpCode::kAdd:
      case OpCode::kSubtract:
        return CheckAdditive(n, l, r);
      case OpCode::kMultiply:
      case OpCode::kDivide:
        if ((!IsNone(l) && !IsNumeric(l)) || (!IsNone(r) && !IsNumeric(r))) Mismatch(l, r);
        return SetType(n, n.op == OpCode::kDivide ? kTypeFloat : NumericResult(n, l, r));
      default:
        return;
    }
  }

  void CheckAdditive(TExpToken& n, const TExpToken& l, const TExpToken& r) {
    const bool add = n.op == OpCode::kAdd;
    if ((IsNone(l) || IsNumeric(l)) && (IsNone(r) || IsNumeric(r)))
      return SetType(n, NumericResult(n, l, r));
    if (add && (IsNone(l) || IsText(l)) && (IsNone(r) || IsText(r)))
      return SetConcatenation(n, l, r);
    if (IsDateTimeType(l.type) && (IsNone(r) || IsNumeric(r)))
      return SetType(n, l.type);
    if (add && IsDateTimeType(r.type) && IsNumeric(l))
      return SetType(n, r.type);
    if (!add && IsDateTimeType(l.type) && l.type == r.type)
      return SetType(n, l.type == kTypeTimestamp ? kTypeFloat : kTypeInteger);
    Mismatch(l, r);
  }

  void CheckPredicate(TExpToken& n) {
    Check(*n.left);
    if (n.right) Check(*n.right);
    for (auto& a : n.args) Check(*a);
    TExpToken& l = *n.left;
    switch (n.op) {
      case OpCode::kLike:
      case OpCode::kNotLike:
        if ((!IsNone(l) && !IsText(l)) || (!IsNone(*n.right) && !IsText(*n.right)))
          Mismatch(l, *n.right);
        for (auto& a : n.args) {
          if (!IsNone(*a) && !IsText(*a)) Mismatch(*n.right, *a);
        }
        break;
      case OpCode::kBetween:
      case OpCode::kNotBetween:
        for (auto& a : n.args) CheckComparable(l, *a, true);
        break;
      case OpCode::kIn:
      case OpCode::kNotIn:
        for (auto& a : n.args) CheckComparable(l, *a, false);
        break;
      default:
        break;
    }
    SetType(n, kTypeBoolean);
  }

  void RequireText(const TExpToken& fn, const TExpToken& a) {
    if (!IsNone(a) && !IsText(a)) BadArgument(fn, a);
  }
  void RequireNumeric(const TExpToken& fn, const TExpToken& a) {
    if (!IsNone(a) && !IsNumeric(a)) BadArgument(fn, a);
  }

  void CheckFunction(TExpToken& n) {
    for (auto& a : n.args) Check(*a);
    auto& args = n.args;
    switch (n.func) {
      case FuncCode::kLower:
      case FuncCode::kUpper:
        RequireText(n, *args[0]);
        return SetType(n, kTypeString, 0, args[0]->size);
      case FuncCode::kTrim:
        RequireText(n, *args[0]);
        RequireText(n, *args[1]);
        return SetType(n, kTypeString, 0, args[1]->size);
      case FuncCode::kLength:
        RequireText(n, *args[0]);
        return SetType(n, kTypeInteger);
      case FuncCode::kSubstring:
        RequireText(n, *args[0]);
        for (std::size_t i = 1; i < args.size(); ++i) RequireNumeric(n, *args[i]);
        return SetType(n, kTypeString, 0, args[0]->size);
      case FuncCode::kReplace: {
        for (auto& a : args) RequireText(n, *a);
        // Every character of the text may be replaced by the whole new text.
        const TExpToken& to = *args[1];
        const TExpToken& text = *args[2];
        if (IsMemo(to) || IsMemo(text)) return SetTextType(n, kMaxStringSize + 1);
        return SetTextType(n, static_cast<long>(text.size) * std::max(to.size, 1));
      }
      case FuncCode::kPos:
      case FuncCode::kOccurs:
      case FuncCode::kTextOccurs:
        RequireText(n, *args[0]);
        RequireText(n, *args[1]);
        return SetType(n, kTypeInteger);
      case FuncCode::kTextSearch:
        RequireText(n, *args[0]);
        RequireText(n, *args[1]);
        return SetType(n, kTypeBoolean);
      case FuncCode::kCast:
        return SetType(n, n.castType, n.castSubType, n.castSize);
      case FuncCode::kExtract:
        if (!IsNone(*args[0]) && !IsDateTimeType(args[0]->type)) BadArgument(n, *args[0]);
        return SetType(n, kTypeInteger);
      case FuncCode::kAbs:
        RequireNumeric(n, *args[0]);
        if (IsIntegerType(args[0]->type)) return SetType(n, IntegerTypeFor(RangeOf(n)));
        return SetType(n, args[0]->type, args[0]->subType, args[0]->size);
      case FuncCode::kRound:
        RequireNumeric(n, *args[0]);
        return SetType(n, IsNone(*args[0]) ? kTypeFloat : args[0]->type);
      case FuncCode::kIf:
        if (!IsNone(*args[0]) && args[0]->type != kTypeBoolean) BadArgument(n, *args[0]);
        CheckComparable(*args[1], *args[2], false);
        return SetCommonType(n, 1);
      case FuncCode::kIfNull:
      case FuncCode::kCoalesce:
        for (std::size_t i = 1; i < args.size(); ++i) CheckComparable(*args[0], *args[i], false);
        return SetCommonType(n, 0);
      case FuncCode::kLastAutoInc:
      case FuncCode::kIdentCurrent:
        return SetType(n, kTypeInteger);
      case FuncCode::kNone:
        return;
    }
  }

  // The type that holds every argument from `from` on (IF's branches,
  // COALESCE's alternatives): integers of the widest range, floating point
  // or BCD when one is, the longest text, a timestamp with dates.
  static void SetCommonType(TExpToken& n, std::size_t from) {
    const TExpToken* first = nullptr;
    bool anyFloat = false, anyBcd = false, allInteger = true, anyMemo = false;
    bool anyTimestamp = false;
    int size = 0;
    for (std::size_t i = from; i < n.args.size(); ++i) {
      const TExpToken& a = *n.args[i];
      if (IsNone(a)) continue;
      if (first == nullptr) first = &a;
      anyFloat = anyFloat || a.type == kTypeFloat;
      anyBcd = anyBcd || a.type == kTypeBcd;
      allInteger = allInteger && IsIntegerType(a.type);
      anyMemo = anyMemo || IsMemo(a);
      anyTimestamp = anyTimestamp || a.type == kTypeTimestamp;
      size = std::max(size, a.size);
    }
    if (first == nullptr) return SetType(n, kTypeNone);
    if (allInteger) return SetType(n, IntegerTypeFor(RangeOf(n)));
    if (IsNumeric(*first)) return SetType(n, anyFloat ? kTypeFloat : anyBcd ? kTypeBcd : first->type);
    if (IsText(*first)) return SetTextType(n, anyMemo ? kMaxStringSize + 1 : size);
    if (IsDateTimeType(first->type) && anyTimestamp) return SetType(n, kTypeTimestamp);
    SetType(n, first->type, first->subType, first->size);
  }

  void CheckAggregate(TExpToken& n) {
    if (!n.left) return SetType(n, kTypeInteger);  // COUNT(*)
    Check(*n.left);
    const TExpToken& a = *n.left;
    switch (n.aggregate) {
      case AggregateKind::kAvg:
        RequireNumeric(n, a);
        return SetType(n, kTypeFloat);
      case AggregateKind::kMin:
      case AggregateKind::kMax:
        if (a.type == kTypeBlob && a.subType != kSubMemo) BadArgument(n, a);
        return SetType(n, a.type, a.subType, a.size);
      case AggregateKind::kSum:
      case AggregateKind::kRunSum:
        RequireNumeric(n, a);
        if (IsIntegerType(a.type)) return SetType(n, kTypeLargeInt);
        return SetType(n, IsNone(a) ? kTypeFloat : a.type);
      case AggregateKind::kCount:
      case AggregateKind::kNone:
        return SetType(n, kTypeInteger);
    }
  }

  std::string context_;
};

void RequireBoolean(const TExpToken& n, const char* message) {
  const bool unboundParameter = n.nodeClass == NodeClass::kParameter && n.type == kTypeNone;
  if (n.type != kTypeBoolean && !unboundParameter) SqlError(message);
}

}  // namespace

void CheckStatementTypes(ParsedStatement& statement) {
  auto& queries = statement.queries;
  for (auto it = queries.rbegin(); it != queries.rend(); ++it) {
    TDataQuery& q = **it;
    for (auto& f : q.selectList) TypeChecker(kContextSelectList).Check(*f.expression);
    for (auto& t : q.sources) {
      if (t->join && t->join->condition) {
        TypeChecker(kContextStatement).Check(*t->join->condition);
        RequireBoolean(*t->join->condition, "WHERE or JOIN clause must be a boolean expression");
      }
    }
    if (q.where) {
      TypeChecker(kContextWhere).Check(*q.where);
      RequireBoolean(*q.where, "WHERE or JOIN clause must be a boolean expression");
    }
    if (q.having) {
      TypeChecker(kContextHaving).Check(*q.having);
      RequireBoolean(*q.having, "HAVING clause must be a boolean expression");
    }
  }
}

}  // namespace kura::sql
