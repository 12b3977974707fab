// The type check of a resolved statement: computes the type of every
// operator, function and aggregate node, converts string constants compared
// with dates, times and timestamps, and refuses operand pairs that the
// engine's operators do not accept.
#pragma once

#include "engine/sql/statement_parser.h"

namespace kura::sql {

// Checks every query of the statement (sub-selects before the queries that
// use them). Unbound parameters and the null constant are accepted by every
// operator; after binding, parameters carry their values' types. Raises 11949
// with "Type mismatch between ..." and the other type messages, and for a
// WHERE, JOIN or HAVING condition that is not boolean.
void CheckStatementTypes(ParsedStatement& statement);

// Whether a comparison operator accepts the pair of operand types (the
// operand table of the engine); kTypeNone stands for the null constant.
bool ComparisonAccepts(int leftType, int leftSubType, int rightType,
                       int rightSubType, bool ordering);

}  // namespace kura::sql
