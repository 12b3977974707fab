// ParseStatement: the grammar of one statement of a text — its kind from the
// first keywords, the full SELECT grammar in clause order, and the end of the
// statement at ";" or the end of the text. Names are not resolved here.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/sql/change_statement.h"
#include "engine/sql/sql_query.h"

namespace kura::sql {

struct ParsedStatement {
  StatementKind kind = StatementKind::kSelect;
  // Every query of the statement: the master first, then its UNION partners
  // and sub-selects in the order they were met.
  std::vector<std::unique_ptr<TDataQuery>> queries;
  // The "?" nodes in order of appearance (owned by the queries' trees).
  std::vector<TExpToken*> parameters;
  // Offset just after the statement (after its ";" when it has one).
  std::size_t endPosition = 0;
  // True when another statement follows the ";".
  bool moreStatements = false;
  // The clauses of a statement that changes data or structure (every kind
  // but SELECT and ALTER TABLE); null for those two.
  std::unique_ptr<ChangeClauses> change;

  TDataQuery& master() const { return *queries.front(); }
};

// Parses the statement that starts at offset `start` of `text`. Raises
// engine error 11949 with the parser's message on the first error.
std::unique_ptr<ParsedStatement> ParseStatement(std::string_view text,
                                                std::size_t start = 0);

// Language and sort names accepted after LANGUAGE and SORT, with the
// language id and sort id they stand for; false when unknown.
bool LookupLanguage(std::string_view name, int* languageId);
bool LookupSort(std::string_view name, int* sortId);

}  // namespace kura::sql
