// TQueryStatement: one prepared SQL statement of a database directory. It
// parses a statement text, resolves its tables and names through a catalog
// and checks its types; parameters are then bound by position. Execution
// (live and canned results) is the execution layer's, which reads the
// prepared queries from here.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/sql_catalog.h"
#include "engine/sql/statement_parser.h"

namespace kura::sql {

class TQueryStatement {
 public:
  // `catalog` (the statement's directory) must outlive the statement.
  explicit TQueryStatement(SqlCatalog& catalog) : catalog_(catalog) {}

  void SetRequestLive(bool live) { requestLive_ = live; }
  void SetMaxRowCount(int count) { maxRowCount_ = count; }
  // A statement that is not a SELECT is always live and has no row limit.
  bool RequestLive() const { return requestLive_ || !IsSelect(); }
  int MaxRowCount() const { return IsSelect() ? maxRowCount_ : -1; }

  // Parses the first statement of `text` (up to its ";" or the end), looks up
  // its tables, resolves names and checks types. Raises 11949 with the
  // parser's message, 11010 for a missing table, or the catalog's error; on
  // any failure nothing stays prepared (also not a statement prepared before).
  void Prepare(std::string_view text);
  // Whether the prepared statement's text continues after its ";" with
  // another statement, and preparing that one (the queries of the previous
  // statement are released first). Same failures as Prepare.
  bool HasNextStatement() const;
  void PrepareNext();
  void Unprepare();
  bool Prepared() const { return statement_ != nullptr; }

  // The prepared statement (Prepared() must be true).
  StatementKind Kind() const { return statement_->kind; }
  TDataQuery& Master() const { return statement_->master(); }
  const std::vector<std::unique_ptr<TDataQuery>>& Queries() const {
    return statement_->queries;
  }
  // The whole parsed statement, with the clauses of a change statement.
  const ParsedStatement& Parsed() const { return *statement_; }
  // The "?" nodes in order of appearance in the text.
  const std::vector<TExpToken*>& Parameters() const { return statement_->parameters; }
  int ParameterCount() const { return static_cast<int>(statement_->parameters.size()); }

  // Binds values[i] to the i-th "?" (a null Value of kTypeNone binds an
  // untyped null) and checks the types again with the bound values. Raises
  // 11949 for a type mismatch or when the count differs from
  // ParameterCount().
  void BindParameters(const std::vector<Value>& values);

  // Set by execution: whether the result is live, rows affected and the
  // execution time in seconds.
  bool resultLive = false;
  std::int64_t rowsAffected = 0;
  double executionTime = 0;

 private:
  bool IsSelect() const {
    return !statement_ || statement_->kind == StatementKind::kSelect;
  }
  void PrepareAt(std::size_t start);

  SqlCatalog& catalog_;
  bool requestLive_ = false;
  int maxRowCount_ = -1;
  std::string text_;  // the statement text (a copy)
  std::unique_ptr<ParsedStatement> statement_;
};

// Parses, resolves and type-checks `text` against `catalog` in one call and
// returns the parsed statement (for tools and tests).
std::unique_ptr<ParsedStatement> PrepareStatement(std::string_view text,
                                                  SqlCatalog& catalog,
                                                  std::size_t start = 0);

}  // namespace kura::sql
