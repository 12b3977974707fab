// TExpressionParser: the token stream of one statement text and the grammar
// of SQL expressions, with the context (clause) the parser is in. Every
// failure raises engine error 11949 with the message completed as the engine
// does: "... instead found '" + token text + "'", then " in " + context name
// for messages met inside an expression.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/exp_token.h"
#include "engine/sql/sql_lexer.h"

namespace kura::sql {

// What an expression of the current context may contain.
struct ExpressionRules {
  bool aggregates = false;
  bool star = false;        // "*" and "corr.*"
  bool predicates = true;   // LIKE, BETWEEN, IN, IS NULL
  bool parameters = false;  // "?"
  bool subSelects = false;
};

// Context names used in messages.
inline constexpr const char* kContextStatement = "SQL statement";
inline constexpr const char* kContextSelectList = "source column expression";
inline constexpr const char* kContextWhere = "WHERE clause";
inline constexpr const char* kContextHaving = "HAVING clause";

// Trees deeper than this, and expressions nested deeper than this, are
// refused so that no walk over them can exhaust the stack.
inline constexpr int kMaxExpressionDepth = 256;

// A node keeps at most this many bytes of its source text, followed by
// "..." when the source was longer. The text only names the node in
// messages and result column names; without the cut every operator would
// copy all of its operands' text again, and a long literal under a chain
// of 250 ANDs would cost 250 times its length.
inline constexpr std::size_t kNodeTextLimit = 1024;

class TExpressionParser {
 public:
  // Reads the first token of `text` (which must outlive the parser) at
  // offset `start`.
  explicit TExpressionParser(std::string_view text, std::size_t start = 0);
  // Offset where the next token would be read.
  std::size_t LexerPosition() const { return lexer_.position(); }

  const Token& Current() const { return current_; }
  // Moves to the next token.
  void Advance();
  // The token after the current one, without moving.
  Token PeekNext();
  // Offset just past the last token consumed (for node texts).
  std::size_t ConsumedEnd() const { return consumedEnd_; }
  std::string TextBetween(std::size_t from, std::size_t to) const;
  // The text a node keeps of its source: TextBetween, cut after
  // kNodeTextLimit bytes (see there).
  std::string NodeText(std::size_t from, std::size_t to) const;

  void SetContext(const std::string& name, const ExpressionRules& rules);
  const std::string& ContextName() const { return context_; }
  const ExpressionRules& Rules() const { return rules_; }

  // Raises message + current token text + "'".
  [[noreturn]] void FailFound(const std::string& message) const;
  // Raises message + current token text + "'" + " in " + context name.
  [[noreturn]] void FailFoundInExpression(const std::string& message) const;
  // Raises message + " in " + context name (at the current token).
  [[noreturn]] void FailInContext(const std::string& message) const;

  // Parses one expression at the current token (lowest precedence, OR).
  ExpPtr ParseExpression();

  // Called at "(" SELECT or after "IN (" when a sub-select starts; parses it
  // (leaving the current token after it) and returns the query. Set by the
  // statement parser.
  std::function<TDataQuery*(bool parenthesised)> parseSubSelect;
  // Receives every parameter node, in order of appearance.
  std::vector<TExpToken*>* parameters = nullptr;
  // True while the argument of an aggregate is being parsed.
  bool insideAggregate = false;

 private:
  friend class NestingGuard;
  ExpPtr ParseOr();
  ExpPtr ParseAnd();
  ExpPtr ParseNot();
  ExpPtr ParseComparison();
  ExpPtr ParsePredicate(ExpPtr left, std::size_t start);
  ExpPtr ParseInList(ExpPtr left, bool negated, std::size_t start);
  ExpPtr ParseAdditive();
  ExpPtr ParseMultiplicative();
  ExpPtr ParseUnary();
  ExpPtr ParsePrimary();
  ExpPtr ParseSymbol();
  ExpPtr ParseColumnAfterCorrelation(std::string correlation, std::size_t start);
  ExpPtr ParseNumberConstant();
  ExpPtr ParseAggregate(AggregateKind kind);
  ExpPtr ParseSubSelectNode(bool parenthesised, std::size_t start);
  ExpPtr ParseExists(std::size_t start);
  // function_parser.cpp
  ExpPtr ParseFunction(FuncCode code);
  void ExpectFunctionChar(char c, const std::string& function);
  void ExpectFunctionKeyword(const char* keyword, const std::string& function);
  void ParseCastType(TExpToken& node);

  ExpPtr MakeNode(NodeClass cls, OpCode op, std::size_t start);
  // Links operands into `node` and checks the tree's depth.
  ExpPtr Finish(ExpPtr node, std::size_t start);
  void Enter();
  void Leave() { --nesting_; }

  SqlLexer lexer_;
  Token current_;
  std::size_t consumedEnd_ = 0;
  std::string context_ = kContextStatement;
  ExpressionRules rules_;
  int nesting_ = 0;
};

// Aggregate and function names (case-insensitive); kNone when not one.
AggregateKind AggregateByName(std::string_view name);
FuncCode FunctionByName(std::string_view name);
const char* AggregateName(AggregateKind kind);

}  // namespace kura::sql
