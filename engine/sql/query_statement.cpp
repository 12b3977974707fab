#include "engine/sql/query_statement.h"

#include "engine/expr/sql_error.h"
#include "engine/sql/name_resolver.h"
#include "engine/sql/type_checker.h"

namespace kura::sql {

std::unique_ptr<ParsedStatement> PrepareStatement(std::string_view text,
                                                  SqlCatalog& catalog,
                                                  std::size_t start) {
  std::unique_ptr<ParsedStatement> st = ParseStatement(text, start);
  if (st->kind == StatementKind::kSelect) {
    ResolveNames(*st, catalog);
    CheckStatementTypes(*st);
    ResolveResultColumns(*st);
  } else if (st->kind == StatementKind::kInsert || st->kind == StatementKind::kUpdate ||
             st->kind == StatementKind::kDelete) {
    // The target table and the names of SET, WHERE and INSERT ... SELECT.
    ResolveNames(*st, catalog);
    CheckStatementTypes(*st);
    if (st->change->data.fromSelect) ResolveResultColumns(*st);
  }
  return st;
}

void TQueryStatement::Prepare(std::string_view text) {
  Unprepare();
  text_ = std::string(text);
  PrepareAt(0);
}

void TQueryStatement::PrepareAt(std::size_t start) {
  // Built aside and kept only when every step succeeded.
  std::unique_ptr<ParsedStatement> st = PrepareStatement(text_, catalog_, start);
  statement_ = std::move(st);
  resultLive = false;
  rowsAffected = 0;
  executionTime = 0;
}

bool TQueryStatement::HasNextStatement() const {
  return statement_ && statement_->moreStatements;
}

void TQueryStatement::PrepareNext() {
  const std::size_t next = statement_->endPosition;
  statement_.reset();
  PrepareAt(next);
}

void TQueryStatement::Unprepare() {
  statement_.reset();
  resultLive = false;
}

void TQueryStatement::BindParameters(const std::vector<Value>& values) {
  auto& params = statement_->parameters;
  if (values.size() != params.size())
    SqlError("Expected " + std::to_string(params.size()) +
             " parameter values, instead found " + std::to_string(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) params[i]->value = values[i];
  CheckStatementTypes(*statement_);
}

}  // namespace kura::sql
