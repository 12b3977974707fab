#include "engine/sql/expression_parser.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "engine/expr/date_time.h"
#include "engine/expr/sql_error.h"
#include "engine/sql/sql_query.h"

namespace kura::sql {

// Counts the recursion of the expression grammar for one construct.
class NestingGuard {
 public:
  explicit NestingGuard(TExpressionParser& p) : p_(p) { p_.Enter(); }
  ~NestingGuard() { p_.Leave(); }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  TExpressionParser& p_;
};

namespace {
const std::string kDepthMessage =
    "Expression exceeds the maximum nesting depth (" +
    std::to_string(kMaxExpressionDepth) + ")";
}  // namespace

TExpressionParser::TExpressionParser(std::string_view text, std::size_t start)
    : lexer_(text) {
  lexer_.set_position(start);
  consumedEnd_ = start;
  current_ = lexer_.Next(context_);
}

void TExpressionParser::Advance() {
  consumedEnd_ = lexer_.position();
  current_ = lexer_.Next(context_);
}

Token TExpressionParser::PeekNext() {
  const std::size_t saved = lexer_.position();
  Token t = lexer_.Next(context_);
  lexer_.set_position(saved);
  return t;
}

std::string TExpressionParser::TextBetween(std::size_t from,
                                           std::size_t to) const {
  const std::string_view text = lexer_.text();
  if (from >= text.size() || to <= from) return "";
  return std::string(text.substr(from, std::min(to, text.size()) - from));
}

std::string TExpressionParser::NodeText(std::size_t from, std::size_t to) const {
  if (to <= from || to - from <= kNodeTextLimit) return TextBetween(from, to);
  // Cut before a byte below 0x40: it is a character of its own in UTF-8 and
  // in Shift-JIS alike, so no character is split.
  const std::string_view text = lexer_.text();
  std::size_t cut = from + kNodeTextLimit;
  while (cut > from && static_cast<unsigned char>(text[cut]) >= 0x40) --cut;
  if (cut == from) cut = from + kNodeTextLimit;
  return TextBetween(from, cut) + "...";
}

void TExpressionParser::SetContext(const std::string& name,
                                   const ExpressionRules& rules) {
  context_ = name;
  rules_ = rules;
}

void TExpressionParser::FailFound(const std::string& message) const {
  SqlErrorAt(message + current_.text + "'", current_.position);
}

void TExpressionParser::FailFoundInExpression(const std::string& message) const {
  SqlErrorAt(message + current_.text + "' in " + context_, current_.position);
}

void TExpressionParser::FailInContext(const std::string& message) const {
  SqlErrorAt(message + " in " + context_, current_.position);
}

void TExpressionParser::Enter() {
  if (++nesting_ > kMaxExpressionDepth) {
    --nesting_;
    FailInContext(kDepthMessage);
  }
}

ExpPtr TExpressionParser::MakeNode(NodeClass cls, OpCode op, std::size_t start) {
  auto node = std::make_unique<TExpToken>();
  node->nodeClass = cls;
  node->op = op;
  node->text = NodeText(start, consumedEnd_);
  return node;
}

ExpPtr TExpressionParser::Finish(ExpPtr node, std::size_t start) {
  int depth = 0;
  node->ForEachChild([&](const TExpToken& c) { depth = std::max(depth, c.depth); });
  node->depth = depth + 1;
  if (node->depth > kMaxExpressionDepth) FailInContext(kDepthMessage);
  if (node->text.empty()) node->text = NodeText(start, consumedEnd_);
  return node;
}

ExpPtr TExpressionParser::ParseExpression() { return ParseOr(); }

ExpPtr TExpressionParser::ParseOr() {
  const std::size_t start = current_.position;
  ExpPtr left = ParseAnd();
  while (current_.IsKeyword("OR")) {
    Advance();
    ExpPtr right = ParseAnd();
    auto node = MakeNode(NodeClass::kBinary, OpCode::kOr, start);
    node->left = std::move(left);
    node->right = std::move(right);
    node->text.clear();
    left = Finish(std::move(node), start);
  }
  return left;
}

ExpPtr TExpressionParser::ParseAnd() {
  const std::size_t start = current_.position;
  ExpPtr left = ParseNot();
  while (current_.IsKeyword("AND")) {
    Advance();
    ExpPtr right = ParseNot();
    auto node = MakeNode(NodeClass::kBinary, OpCode::kAnd, start);
    node->left = std::move(left);
    node->right = std::move(right);
    node->text.clear();
    left = Finish(std::move(node), start);
  }
  return left;
}

ExpPtr TExpressionParser::ParseNot() {
  if (!current_.IsKeyword("NOT")) return ParseComparison();
  NestingGuard guard(*this);
  const std::size_t start = current_.position;
  Advance();
  ExpPtr operand = ParseNot();
  auto node = MakeNode(NodeClass::kUnary, OpCode::kNot, start);
  node->left = std::move(operand);
  node->text.clear();
  return Finish(std::move(node), start);
}

namespace {
OpCode ComparisonAt(TExpressionParser& p, int* tokens) {
  const Token& t = p.Current();
  *tokens = 1;
  if (t.Is('=')) return OpCode::kEq;
  if (t.Is('<')) {
    const Token n = p.PeekNext();
    if (n.position == t.position + 1 && n.Is('>')) { *tokens = 2; return OpCode::kNe; }
    if (n.position == t.position + 1 && n.Is('=')) { *tokens = 2; return OpCode::kLe; }
    return OpCode::kLt;
  }
  if (t.Is('>')) {
    const Token n = p.PeekNext();
    if (n.position == t.position + 1 && n.Is('=')) { *tokens = 2; return OpCode::kGe; }
    return OpCode::kGt;
  }
  return OpCode::kNone;
}
}  // namespace

ExpPtr TExpressionParser::ParseComparison() {
  const std::size_t start = current_.position;
  if (current_.IsKeyword("EXISTS") && PeekNext().Is('(')) return ParseExists(start);
  ExpPtr left = ParseAdditive();
  int tokens = 0;
  const OpCode op = ComparisonAt(*this, &tokens);
  if (op != OpCode::kNone) {
    for (int i = 0; i < tokens; ++i) Advance();
    ExpPtr right = ParseAdditive();
    auto node = MakeNode(NodeClass::kBinary, op, start);
    node->left = std::move(left);
    node->right = std::move(right);
    node->text.clear();
    return Finish(std::move(node), start);
  }
  if (current_.IsKeyword("LIKE") || current_.IsKeyword("BETWEEN") ||
      current_.IsKeyword("IN") || current_.IsKeyword("IS"))
    return ParsePredicate(std::move(left), start);
  if (current_.IsKeyword("NOT")) {
    const Token next = PeekNext();
    if (next.IsKeyword("LIKE") || next.IsKeyword("BETWEEN") || next.IsKeyword("IN"))
      return ParsePredicate(std::move(left), start);
  }
  return left;
}

ExpPtr TExpressionParser::ParsePredicate(ExpPtr left, std::size_t start) {
  if (!rules_.predicates)
    FailInContext("Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed");
  bool negated = false;
  if (current_.IsKeyword("NOT")) {
    negated = true;
    Advance();
  }
  ExpPtr node;
  if (current_.IsKeyword("LIKE")) {
    Advance();
    ExpPtr pattern = ParseAdditive();
    node = MakeNode(NodeClass::kPredicate, negated ? OpCode::kNotLike : OpCode::kLike, start);
    node->right = std::move(pattern);
    // LIKE pattern ESCAPE c: the escape character is the node's argument.
    if (current_.IsKeyword("ESCAPE")) {
      Advance();
      node->args.push_back(ParseAdditive());
    }
  } else if (current_.IsKeyword("BETWEEN")) {
    Advance();
    ExpPtr low = ParseAdditive();
    if (!current_.IsKeyword("AND"))
      FailFoundInExpression(negated
          ? "Expected AND operator in NOT BETWEEN operator, instead found '"
          : "Expected AND operator in BETWEEN operator, instead found '");
    Advance();
    ExpPtr high = ParseAdditive();
    node = MakeNode(NodeClass::kPredicate, negated ? OpCode::kNotBetween : OpCode::kBetween, start);
    node->args.push_back(std::move(low));
    node->args.push_back(std::move(high));
  } else if (current_.IsKeyword("IN")) {
    Advance();
    return ParseInList(std::move(left), negated, start);
  } else {  // IS [NOT] NULL
    Advance();
    bool isNot = false;
    if (current_.IsKeyword("NOT")) {
      isNot = true;
      Advance();
    }
    if (!current_.IsKeyword("NULL"))
      FailFoundInExpression("NULL keyword expected after IS keyword, instead found '");
    Advance();
    node = MakeNode(NodeClass::kPredicate, isNot ? OpCode::kIsNotNull : OpCode::kIsNull, start);
  }
  node->left = std::move(left);
  node->text.clear();
  return Finish(std::move(node), start);
}

ExpPtr TExpressionParser::ParseExists(std::size_t start) {
  if (!rules_.predicates)
    FailInContext("Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed");
  Advance();
  if (!PeekNext().IsKeyword("SELECT")) {
    Advance();
    FailFoundInExpression("SELECT keyword expected after EXISTS, instead found '");
  }
  auto node = MakeNode(NodeClass::kPredicate, OpCode::kExists, start);
  node->left = ParseSubSelectNode(true, current_.position);
  if (node->left->subQuery != nullptr) node->left->subQuery->existsTest = true;
  node->text.clear();
  return Finish(std::move(node), start);
}

ExpPtr TExpressionParser::ParseInList(ExpPtr left, bool negated,
                                      std::size_t start) {
  const std::string name = negated ? "NOT IN" : "IN";
  if (!current_.Is('('))
    FailFoundInExpression("Expected left parentheses for " + name + " operator, instead found '");
  Advance();
  auto node = MakeNode(NodeClass::kPredicate, negated ? OpCode::kNotIn : OpCode::kIn, start);
  if (current_.IsKeyword("SELECT")) {
    node->args.push_back(ParseSubSelectNode(false, current_.position));
  } else {
    if (current_.Is(')'))
      FailInContext("You must provide at least one value as an operand of the " + name + " operator ");
    for (;;) {
      node->args.push_back(ParseAdditive());
      if (!current_.Is(',')) break;
      Advance();
    }
  }
  if (!current_.Is(')'))
    FailFoundInExpression("Expected right parentheses after " + name + " operator, instead found '");
  Advance();
  node->left = std::move(left);
  node->text.clear();
  return Finish(std::move(node), start);
}

ExpPtr TExpressionParser::ParseAdditive() {
  const std::size_t start = current_.position;
  ExpPtr left = ParseMultiplicative();
  for (;;) {
    OpCode op = OpCode::kNone;
    if (current_.Is('+')) {
      op = OpCode::kAdd;
    } else if (current_.Is('-')) {
      op = OpCode::kSubtract;
    } else if (current_.Is('|')) {
      Advance();
      if (!current_.Is('|'))
        FailFoundInExpression(
            "Second concatenation symbol '|' expected after first concatentation symbol, instead found '");
      op = OpCode::kConcat;
    } else {
      return left;
    }
    Advance();
    ExpPtr right = ParseMultiplicative();
    auto node = MakeNode(NodeClass::kBinary, op, start);
    node->left = std::move(left);
    node->right = std::move(right);
    node->text.clear();
    left = Finish(std::move(node), start);
  }
}

ExpPtr TExpressionParser::ParseMultiplicative() {
  const std::size_t start = current_.position;
  ExpPtr left = ParseUnary();
  while (current_.Is('*') || current_.Is('/')) {
    const OpCode op = current_.Is('*') ? OpCode::kMultiply : OpCode::kDivide;
    Advance();
    ExpPtr right = ParseUnary();
    auto node = MakeNode(NodeClass::kBinary, op, start);
    node->left = std::move(left);
    node->right = std::move(right);
    node->text.clear();
    left = Finish(std::move(node), start);
  }
  return left;
}

ExpPtr TExpressionParser::ParseUnary() {
  if (!current_.Is('+') && !current_.Is('-')) return ParsePrimary();
  NestingGuard guard(*this);
  const std::size_t start = current_.position;
  const OpCode op = current_.Is('-') ? OpCode::kNegate : OpCode::kPlus;
  Advance();
  ExpPtr operand = ParseUnary();
  auto node = MakeNode(NodeClass::kUnary, op, start);
  node->left = std::move(operand);
  node->text.clear();
  return Finish(std::move(node), start);
}

ExpPtr TExpressionParser::ParseSubSelectNode(bool parenthesised,
                                             std::size_t start) {
  if (!rules_.subSelects) FailInContext("Sub-select queries are not allowed");
  if (!parseSubSelect) FailInContext("Sub-select queries are not allowed");
  auto node = std::make_unique<TExpToken>();
  node->nodeClass = NodeClass::kSubQuery;
  node->subQuery = parseSubSelect(parenthesised);
  node->text = NodeText(start, consumedEnd_);
  return node;
}

ExpPtr TExpressionParser::ParsePrimary() {
  NestingGuard guard(*this);
  const std::size_t start = current_.position;
  const Token& t = current_;
  switch (t.kind) {
    case TokenKind::kSymbol:
      return ParseSymbol();
    case TokenKind::kBracketed: {
      std::string name = t.text;
      Advance();
      if (current_.Is('.')) return ParseColumnAfterCorrelation(std::move(name), start);
      auto node = MakeNode(NodeClass::kColumn, OpCode::kNone, start);
      node->columnName = std::move(name);
      node->text = node->columnName;
      return node;
    }
    case TokenKind::kSingleQuoted:
    case TokenKind::kDoubleQuoted: {
      // Taken from the token, which the next Advance replaces anyway.
      std::string text = std::move(current_.text);
      Advance();
      if (current_.Is('.')) return ParseColumnAfterCorrelation(std::move(text), start);
      auto node = std::make_unique<TExpToken>();
      node->nodeClass = NodeClass::kConstant;
      node->value = Value::String(text);
      if (!text.empty()) {
        node->type = kTypeString;
        node->size = static_cast<int>(text.size());
      }
      node->text = std::move(text);
      return node;
    }
    case TokenKind::kCharConstant: {
      int code = 0;
      const std::string digits = t.text.substr(1);
      for (char c : digits) {
        code = code * 10 + (c - '0');
        if (code > 255) break;
      }
      if (code > 255)
        FailInContext("Character constants (#) must be within the range of 0 to 255");
      Advance();
      auto node = MakeNode(NodeClass::kConstant, OpCode::kNone, start);
      node->value = Value::String(std::string(1, static_cast<char>(code)));
      node->type = kTypeString;
      node->size = 1;
      return node;
    }
    case TokenKind::kInteger:
    case TokenKind::kNumber:
      return ParseNumberConstant();
    case TokenKind::kChar:
      break;
    case TokenKind::kEnd:
      FailInContext("Unknown or unexpected symbol '" + t.text + "' found");
  }
  if (t.Is('(')) {
    if (PeekNext().IsKeyword("SELECT")) return ParseSubSelectNode(true, start);
    Advance();
    ExpPtr inner = ParseOr();
    if (!current_.Is(')'))
      FailFoundInExpression("Right parentheses expected, instead found '");
    Advance();
    return inner;
  }
  if (t.Is('?')) {
    if (!rules_.parameters) FailInContext("Parameters are not allowed");
    Advance();
    auto node = MakeNode(NodeClass::kParameter, OpCode::kNone, start);
    node->isParameter = true;
    if (parameters) {
      node->parameterNumber = static_cast<int>(parameters->size());
      parameters->push_back(node.get());
    }
    return node;
  }
  if (t.Is('*')) {
    if (!rules_.star) FailInContext("* (all columns) symbol is not allowed");
    Advance();
    auto node = MakeNode(NodeClass::kColumn, OpCode::kNone, start);
    node->isStar = true;
    return node;
  }
  FailInContext("Unknown or unexpected symbol '" + t.text + "' found");
}

ExpPtr TExpressionParser::ParseSymbol() {
  const std::size_t start = current_.position;
  const std::string name = current_.text;
  if (current_.IsKeyword("TRUE") || current_.IsKeyword("FALSE")) {
    const bool v = current_.IsKeyword("TRUE");
    Advance();
    auto node = MakeNode(NodeClass::kConstant, OpCode::kNone, start);
    node->value = Value::Boolean(v);
    node->type = kTypeBoolean;
    node->size = 2;
    return node;
  }
  if (current_.IsKeyword("NULL")) {
    Advance();
    return MakeNode(NodeClass::kConstant, OpCode::kNone, start);
  }
  if (current_.IsKeyword("CURRENT_DATE") || current_.IsKeyword("CURRENT_TIME") ||
      current_.IsKeyword("CURRENT_TIMESTAMP")) {
    Value v = current_.IsKeyword("CURRENT_DATE")   ? Value::Date(CurrentDate())
              : current_.IsKeyword("CURRENT_TIME") ? Value::Time(CurrentTime())
                                                   : Value::Timestamp(CurrentTimestamp());
    Advance();
    if (current_.Is('(') && PeekNext().Is(')')) {
      Advance();
      Advance();
    }
    auto node = MakeNode(NodeClass::kConstant, OpCode::kNone, start);
    node->type = v.type;
    node->size = v.type == kTypeTimestamp ? 8 : 4;
    node->value = std::move(v);
    return node;
  }
  if (PeekNext().Is('(')) {
    if (const AggregateKind agg = AggregateByName(name); agg != AggregateKind::kNone)
      return ParseAggregate(agg);
    if (const FuncCode f = FunctionByName(name); f != FuncCode::kNone)
      return ParseFunction(f);
    FailInContext("Unknown or unexpected function '" + name + "' found");
  }
  Advance();
  if (current_.Is('.')) return ParseColumnAfterCorrelation(name, start);
  auto node = MakeNode(NodeClass::kColumn, OpCode::kNone, start);
  node->columnName = name;
  return node;
}

ExpPtr TExpressionParser::ParseColumnAfterCorrelation(std::string correlation,
                                                      std::size_t start) {
  Advance();  // "."
  auto node = std::make_unique<TExpToken>();
  node->nodeClass = NodeClass::kColumn;
  node->correlationName = std::move(correlation);
  if (current_.Is('*')) {
    if (!rules_.star) FailInContext("* (all columns) symbol is not allowed");
    node->isStar = true;
  } else if (current_.kind == TokenKind::kSymbol ||
             current_.kind == TokenKind::kBracketed || current_.IsQuoted()) {
    node->columnName = current_.text;
  } else {
    FailInContext("Unknown or unexpected symbol '" + current_.text + "' found");
  }
  Advance();
  node->text = node->correlationName + "." + (node->isStar ? "*" : node->columnName);
  (void)start;
  return node;
}

ExpPtr TExpressionParser::ParseNumberConstant() {
  const std::size_t start = current_.position;
  const std::string text = current_.text;
  const bool integerToken = current_.kind == TokenKind::kInteger;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  Value v;
  bool ok = false;
  if (integerToken) {
    std::int64_t i = 0;
    auto r = std::from_chars(first, last, i);
    if (r.ec == std::errc() && r.ptr == last) {
      const bool small = i >= INT32_MIN && i <= INT32_MAX;
      v = Value::Integer(i, small ? kTypeInteger : kTypeLargeInt);
      ok = true;
    }
  }
  if (!ok) {
    double d = 0;
    auto r = std::from_chars(first, last, d);
    ok = r.ec == std::errc() && r.ptr == last;
    if (ok) v = Value::Float(d);
  }
  if (!ok)
    FailInContext("Constant '" + text + "' is not a valid number ");
  Advance();
  auto node = MakeNode(NodeClass::kConstant, OpCode::kNone, start);
  node->type = v.type;
  node->size = v.type == kTypeInteger ? 4 : 8;
  node->value = std::move(v);
  return node;
}

ExpPtr TExpressionParser::ParseAggregate(AggregateKind kind) {
  const std::size_t start = current_.position;
  const std::string name = current_.text;
  if (!rules_.aggregates) FailInContext("Aggregate functions are not allowed");
  if (insideAggregate) SqlError("Aggregate functions cannot be nested");
  Advance();  // name
  Advance();  // "("
  auto node = std::make_unique<TExpToken>();
  node->nodeClass = NodeClass::kAggregate;
  node->aggregate = kind;
  if (kind == AggregateKind::kCount && current_.Is('*')) {
    Advance();
  } else {
    insideAggregate = true;
    ExpPtr arg = ParseOr();
    insideAggregate = false;
    node->left = std::move(arg);
  }
  if (!current_.Is(')'))
    FailFoundInExpression("Right parentheses expected after aggregate function '" +
                          std::string(AggregateName(kind)) + "', instead found '");
  Advance();
  return Finish(std::move(node), start);
}

}  // namespace kura::sql
