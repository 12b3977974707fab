// Name resolution of a parsed statement: opens the source tables through the
// catalog, expands "*" in select lists, binds every column reference to its
// source table and field, and resolves ORDER BY and GROUP BY items.
#pragma once

#include "engine/sql/sql_catalog.h"
#include "engine/sql/statement_parser.h"

namespace kura::sql {

// Looks up every source table (raises 11010 for a missing one, or the
// catalog's own error), expands "*" and resolves the column references of
// every query's select list, join conditions, WHERE and HAVING. Raises 11949
// for an unknown column or correlation name.
void ResolveNames(ParsedStatement& statement, SqlCatalog& catalog);

// Names the result columns and resolves ORDER BY and GROUP BY items against
// them; needs the result types, so it runs after the type check. Raises 11949
// for an item that names or numbers no result column.
void ResolveResultColumns(ParsedStatement& statement);

}  // namespace kura::sql
