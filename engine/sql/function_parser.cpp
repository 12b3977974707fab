// The argument syntax of the SQL functions (part of TExpressionParser).
#include <string>

#include "engine/expr/field_types.h"
#include "engine/expr/sql_error.h"
#include "engine/sql/expression_parser.h"

namespace kura::sql {
namespace {

struct AggregateEntry {
  const char* name;
  AggregateKind kind;
};

constexpr AggregateEntry kAggregates[] = {
    {"SUM", AggregateKind::kSum}, {"RUNSUM", AggregateKind::kRunSum},
    {"AVG", AggregateKind::kAvg}, {"MIN", AggregateKind::kMin},
    {"MAX", AggregateKind::kMax}, {"COUNT", AggregateKind::kCount},
};

struct ExtractEntry {
  const char* name;
  ExtractPart part;
};

constexpr ExtractEntry kExtractParts[] = {
    {"YEAR", ExtractPart::kYear},           {"MONTH", ExtractPart::kMonth},
    {"WEEK", ExtractPart::kWeek},           {"DAY", ExtractPart::kDay},
    {"DAYOFWEEK", ExtractPart::kDayOfWeek}, {"DAYOFYEAR", ExtractPart::kDayOfYear},
    {"HOUR", ExtractPart::kHour},           {"MINUTE", ExtractPart::kMinute},
    {"SECOND", ExtractPart::kSecond},
};

// SQL data type names accepted by CAST: type, subtype, whether a size in
// parentheses follows.
struct CastEntry {
  const char* name;
  int type;
  int subType;
  bool sized;
};

constexpr CastEntry kCastTypes[] = {
    {"CHAR", kTypeString, kSubFixedString, true},
    {"VARCHAR", kTypeString, 0, true},
    {"DATE", kTypeDate, 0, false},
    {"TIME", kTypeTime, 0, false},
    {"TIMESTAMP", kTypeTimestamp, 0, false},
    {"BOOLEAN", kTypeBoolean, 0, false},
    {"BOOL", kTypeBoolean, 0, false},
    {"SMALLINT", kTypeSmallInt, 0, false},
    {"WORD", kTypeWord, 0, false},
    {"INTEGER", kTypeInteger, 0, false},
    {"INT", kTypeInteger, 0, false},
    {"LARGEINT", kTypeLargeInt, 0, false},
    {"BIGINT", kTypeLargeInt, 0, false},
    {"FLOAT", kTypeFloat, 0, false},
    {"DOUBLE", kTypeFloat, 0, false},
    {"MONEY", kTypeFloat, kSubMoney, false},
    {"NUMERIC", kTypeBcd, 0, false},
    {"DECIMAL", kTypeBcd, 0, false},
    {"BYTES", kTypeBytes, 0, true},
    {"VARBYTES", kTypeVarBytes, 0, true},
    {"BLOB", kTypeBlob, 0, false},
    {"MEMO", kTypeBlob, kSubMemo, false},
    {"CLOB", kTypeBlob, kSubMemo, false},
};

}  // namespace

AggregateKind AggregateByName(std::string_view name) {
  for (const auto& a : kAggregates)
    if (SameName(name, a.name)) return a.kind;
  return AggregateKind::kNone;
}

FuncCode FunctionByName(std::string_view name) {
  for (const auto& f : kFunctions)
    if (SameName(name, f.name)) return f.code;
  return FuncCode::kNone;
}

const char* AggregateName(AggregateKind kind) {
  for (const auto& a : kAggregates)
    if (a.kind == kind) return a.name;
  return "";
}

void TExpressionParser::ExpectFunctionChar(char c, const std::string& function) {
  if (current_.Is(c)) {
    Advance();
    return;
  }
  if (c == ')')
    FailFoundInExpression("Right parentheses expected after " + function +
                          " function arguments, instead found '");
  FailFoundInExpression("Comma expected in " + function + " function, instead found '");
}

void TExpressionParser::ExpectFunctionKeyword(const char* keyword,
                                              const std::string& function) {
  if (!current_.IsKeyword(keyword))
    FailFoundInExpression(std::string(keyword) + " keyword expected in " +
                          function + " function, instead found '");
  Advance();
}

void TExpressionParser::ParseCastType(TExpToken& node) {
  for (const auto& c : kCastTypes) {
    if (!current_.IsKeyword(c.name)) continue;
    Advance();
    node.castType = c.type;
    node.castSubType = c.subType;
    if (c.sized && current_.Is('(')) {
      Advance();
      int size = 0;
      if (current_.kind == TokenKind::kInteger && current_.text.size() <= 3)
        size = std::stoi(current_.text);
      if (size < 1 || size > 250)
        FailFoundInExpression("Size from 1 to 250 expected in CAST function, instead found '");
      Advance();
      ExpectFunctionChar(')', "CAST");
      node.castSize = size;
    }
    if (c.type == kTypeBcd && current_.Is('(')) {
      // NUMERIC(precision[, scale]): the engine keeps at most 4 decimals.
      Advance();
      while (!current_.Is(')') && current_.kind != TokenKind::kEnd) Advance();
      ExpectFunctionChar(')', "CAST");
    }
    return;
  }
  FailFoundInExpression("Data type expected after AS keyword in CAST function, instead found '");
}

ExpPtr TExpressionParser::ParseFunction(FuncCode code) {
  const std::size_t start = current_.position;
  const std::string name = FunctionName(code);
  Advance();  // name
  Advance();  // "("
  auto node = std::make_unique<TExpToken>();
  node->nodeClass = NodeClass::kFunction;
  node->func = code;
  auto arg = [&]() { node->args.push_back(ParseOr()); };
  // An argument followed by the keyword IN stops below the comparisons, so
  // that IN is not read as the IN predicate.
  auto argBeforeIn = [&]() { node->args.push_back(ParseAdditive()); };
  switch (code) {
    case FuncCode::kSubstring:
      arg();
      ExpectFunctionKeyword("FROM", name);
      arg();
      if (current_.IsKeyword("FOR")) {
        Advance();
        arg();
      }
      break;
    case FuncCode::kReplace:
      arg();
      ExpectFunctionKeyword("WITH", name);
      argBeforeIn();
      ExpectFunctionKeyword("IN", name);
      arg();
      break;
    case FuncCode::kPos:
    case FuncCode::kOccurs:
    case FuncCode::kTextSearch:
    case FuncCode::kTextOccurs:
      argBeforeIn();
      ExpectFunctionKeyword("IN", name);
      arg();
      break;
    case FuncCode::kCast:
      arg();
      ExpectFunctionKeyword("AS", name);
      ParseCastType(*node);
      break;
    case FuncCode::kTrim:
      if (current_.IsKeyword("LEADING")) node->trimMode = TrimMode::kLeading;
      else if (current_.IsKeyword("TRAILING")) node->trimMode = TrimMode::kTrailing;
      else if (current_.IsKeyword("BOTH")) node->trimMode = TrimMode::kBoth;
      else FailFoundInExpression("LEADING, TRAILING, or BOTH keyword expected in TRIM function, instead found '");
      Advance();
      arg();
      ExpectFunctionKeyword("FROM", name);
      arg();
      break;
    case FuncCode::kExtract: {
      bool found = false;
      for (const auto& p : kExtractParts) {
        if (current_.IsKeyword(p.name)) {
          node->extractPart = p.part;
          found = true;
          break;
        }
      }
      if (!found)
        FailFoundInExpression("YEAR, MONTH, WEEK, DAY, DAYOFWEEK, DAYOFYEAR, HOUR, MINUTE, or SECOND keyword expected in EXTRACT function, instead found '");
      Advance();
      ExpectFunctionKeyword("FROM", name);
      arg();
      break;
    }
    case FuncCode::kRound:
      arg();
      if (current_.IsKeyword("TO")) {
        Advance();
        int n = -1;
        if (current_.kind == TokenKind::kInteger && current_.text.size() <= 2)
          n = std::stoi(current_.text);
        if (n < 0 || n > 32)
          FailFoundInExpression("Integer value from 0 to 32 expected after TO keyword in ROUND function, instead found '");
        Advance();
        node->roundDecimals = n;
      }
      break;
    case FuncCode::kIf:
      arg();
      if (!current_.IsKeyword("THEN") && !current_.Is(','))
        FailFoundInExpression("THEN keyword or comma expected in IF function, instead found '");
      Advance();
      arg();
      if (!current_.IsKeyword("ELSE") && !current_.Is(','))
        FailFoundInExpression("ELSE keyword or comma expected in IF function, instead found '");
      Advance();
      arg();
      break;
    case FuncCode::kIfNull:
      arg();
      if (!current_.IsKeyword("THEN") && !current_.Is(','))
        FailFoundInExpression("THEN keyword or comma expected in IFNULL function, instead found '");
      Advance();
      arg();
      break;
    case FuncCode::kCoalesce:
      arg();
      while (current_.Is(',')) {
        Advance();
        arg();
      }
      break;
    default:  // one argument
      arg();
      break;
  }
  ExpectFunctionChar(')', name);
  return Finish(std::move(node), start);
}

}  // namespace kura::sql
