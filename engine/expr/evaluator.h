// Evaluation of a resolved, type-checked expression tree over one row, with
// the engine's value rules (null handling that differs from standard SQL,
// AND and OR evaluating their right operand first). Used by the filters'
// record-by-record tests and by canned execution.
#pragma once

#include "engine/expr/exp_token.h"
#include "engine/expr/sql_value.h"

namespace kura::sql {

// The row an expression is evaluated over.
class RowAccessor {
 public:
  virtual ~RowAccessor() = default;
  // The value of field `fieldNo` (from 1) of the source table at position
  // `tablePos` (from 1) in FROM, in the current row; a null field is a
  // null Value of the field's type.
  virtual Value FieldValue(int tablePos, int fieldNo) const = 0;
  // A column of an enclosing query (`level` >= 1) of a correlated
  // sub-select. The default raises 11949.
  virtual Value OuterFieldValue(int level, int tablePos, int fieldNo) const;
  // The value of an aggregate node for the current group. The default
  // raises 11949: only grouping execution can provide it.
  virtual Value AggregateValue(const TExpToken& node) const;
  // The value of a scalar sub-select, and whether a sub-select's result
  // contains `value` (for IN). The defaults raise 11949.
  virtual Value SubQueryValue(const TExpToken& node) const;
  virtual bool SubQueryContains(const TExpToken& node, const Value& value) const;
  // Whether the sub-select of `node` gives at least one row.
  virtual bool SubQueryExists(const TExpToken& node) const;
};

// The value of `node` for the row. Raises 11949 for what cannot be evaluated
// over a single row (text-search functions, LASTAUTOINC, IDENT_CURRENT) and
// passes on the accessor's errors.
Value Evaluate(const TExpToken& node, const RowAccessor& row,
               const Collation& collation = ByteOrderCollation());

// Whether a condition holds for the row: its value is true (a null boolean
// counts as false).
bool EvaluateCondition(const TExpToken& node, const RowAccessor& row,
                       const Collation& collation = ByteOrderCollation());

// Whether `text` matches a LIKE pattern ("%" any run, "_" one character of
// `codePage`, so one Japanese character in Shift-JIS), comparing bytes
// exactly.
bool LikeMatch(std::string_view text, std::string_view pattern);
// The same with an escape character: in the pattern it makes the character
// after it (also "%", "_" or itself) match only itself.
bool LikeMatch(std::string_view text, std::string_view pattern, char escape,
               int codePage = 1252);

// The value converted to an engine type (CAST); null when it cannot be.
Value ConvertValue(const Value& v, int type, int subType);

}  // namespace kura::sql
