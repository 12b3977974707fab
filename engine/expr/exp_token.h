// TExpToken: one node of a parsed SQL expression tree. The filter layer and
// the evaluator walk these trees; the parser builds them and owns them
// through unique_ptr (a node owns its operands and arguments).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/expr/sql_value.h"

namespace kura::sql {

class TDataQuery;

enum class NodeClass {
  kUnary,      // op: kNot, kNegate, kPlus; operand in left
  kBinary,     // op: kOr ... kConcat; operands in left and right
  kColumn,     // column reference (or "*" / "corr.*" in a select list)
  kConstant,   // value holds the constant (null constant: type kTypeNone)
  kParameter,  // "?"; parameterNumber from 0; value holds the bound value
  kFunction,   // function: func, arguments in args
  kAggregate,  // aggregate: aggregate, argument in left (null for COUNT(*))
  kPredicate,  // op: kLike ... kIsNotNull; operand in left, see below
  kSubQuery,   // "(" SELECT ... ")": subQuery
};

enum class OpCode {
  kNone,
  // kUnary
  kNot, kNegate, kPlus,
  // kBinary
  kOr, kAnd, kEq, kNe, kLt, kLe, kGt, kGe, kAdd, kSubtract, kMultiply,
  kDivide, kConcat,
  // kPredicate: LIKE pattern in right; BETWEEN bounds in args[0], args[1];
  // IN values in args (or one kSubQuery node); IS NULL only left; EXISTS
  // its kSubQuery node in left.
  kLike, kNotLike, kBetween, kNotBetween, kIn, kNotIn, kIsNull, kIsNotNull, kExists,
};

enum class FuncCode {
  kNone, kLower, kUpper, kLength, kSubstring, kReplace, kPos, kOccurs, kCast,
  kTrim, kExtract, kAbs, kRound, kIf, kIfNull, kCoalesce, kTextSearch,
  kTextOccurs, kLastAutoInc, kIdentCurrent,
};

// A function's name in statements and messages.
struct FunctionEntry {
  const char* name;
  FuncCode code;
};

// Every function by its name.
inline constexpr FunctionEntry kFunctions[] = {
    {"LOWER", FuncCode::kLower},         {"UPPER", FuncCode::kUpper},
    {"LENGTH", FuncCode::kLength},       {"SUBSTRING", FuncCode::kSubstring},
    {"REPLACE", FuncCode::kReplace},     {"POS", FuncCode::kPos},
    {"OCCURS", FuncCode::kOccurs},       {"CAST", FuncCode::kCast},
    {"TRIM", FuncCode::kTrim},           {"EXTRACT", FuncCode::kExtract},
    {"ABS", FuncCode::kAbs},             {"ROUND", FuncCode::kRound},
    {"IF", FuncCode::kIf},               {"IFNULL", FuncCode::kIfNull},
    {"COALESCE", FuncCode::kCoalesce},   {"TEXTSEARCH", FuncCode::kTextSearch},
    {"TEXTOCCURS", FuncCode::kTextOccurs},
    {"LASTAUTOINC", FuncCode::kLastAutoInc},
    {"IDENT_CURRENT", FuncCode::kIdentCurrent},
};

// The name of a function code in messages ("SUBSTRING").
const char* FunctionName(FuncCode code);

enum class AggregateKind { kNone, kSum, kRunSum, kAvg, kMin, kMax, kCount };

// Options of functions whose syntax carries a keyword.
enum class TrimMode { kBoth, kLeading, kTrailing };
enum class ExtractPart {
  kYear, kMonth, kWeek, kDay, kDayOfWeek, kDayOfYear, kHour, kMinute, kSecond
};

struct TExpToken {
  NodeClass nodeClass = NodeClass::kConstant;
  OpCode op = OpCode::kNone;
  FuncCode func = FuncCode::kNone;
  AggregateKind aggregate = AggregateKind::kNone;

  // Result type (engine type code and subtype) and size in bytes; set by the
  // parser for constants, by name resolution for columns and by the type
  // check for operators and functions. kTypeNone while unknown.
  int type = kTypeNone;
  int subType = 0;
  int size = 0;
  // Constants and bound parameters.
  Value value;
  bool isParameter = false;
  int parameterNumber = -1;
  // The node's text as written (for messages and result column names).
  std::string text;

  std::vector<std::unique_ptr<TExpToken>> args;
  std::unique_ptr<TExpToken> left;
  std::unique_ptr<TExpToken> right;

  // Column references: names as written, and after name resolution the
  // source table's position in FROM (from 1) and the field number (from 1).
  // isStar: "*" or "corr.*" (only in select lists).
  std::string correlationName;
  std::string columnName;
  bool isStar = false;
  int tablePosition = 0;
  int fieldNumber = 0;
  // 0 for a column of the node's own query; n for a column of the query n
  // levels out (a correlated reference inside a sub-select).
  int outerLevel = 0;

  // Function options: TRIM's mode, EXTRACT's part, ROUND's decimals
  // (-1 when absent), the target type of CAST (type, subType, size).
  TrimMode trimMode = TrimMode::kBoth;
  ExtractPart extractPart = ExtractPart::kYear;
  int roundDecimals = -1;
  int castType = kTypeNone;
  int castSubType = 0;
  int castSize = 0;

  // kSubQuery: the sub-select (owned by the statement's query list).
  TDataQuery* subQuery = nullptr;

  // Height of the subtree, to refuse trees too deep to walk safely.
  int depth = 1;

  // Calls f on each direct child (left, right, then args).
  template <typename F>
  void ForEachChild(F&& f) const {
    if (left) f(*left);
    if (right) f(*right);
    for (const auto& a : args) f(*a);
  }
};

using ExpPtr = std::unique_ptr<TExpToken>;

// The kind of an operand in type-mismatch messages: "column", "constant"
// (also parameters), "function" (also aggregates) or "expression".
const char* OperandKind(const TExpToken& node);

// True when the subtree contains an aggregate node.
bool ContainsAggregate(const TExpToken& node);

}  // namespace kura::sql
