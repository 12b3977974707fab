// The parsed form of the statements that change data and structure:
// CREATE TABLE, CREATE INDEX, DROP TABLE, DROP INDEX, INSERT, UPDATE and
// DELETE. Transactions need no clauses. Names are not resolved here; the
// executors look the tables up.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/exp_token.h"

namespace kura::sql {

class TExpressionParser;
struct ParsedStatement;

// One column of CREATE TABLE.
struct ColumnDefinition {
  std::string name;
  int type = 0;      // engine type code (field_types.h)
  int subType = 0;
  int size = 0;      // CHAR/VARCHAR/BYTES/VARBYTES length, 0 otherwise
  int precision = 0; // BCD(p, s): p (not stored by the table format)
  int scale = 0;     // BCD(p, s): s
  bool notNull = false;
  // Literal texts as written (quotes removed); empty when absent.
  std::string defaultText;
  std::string minText;
  std::string maxText;
  std::string description;
};

struct CreateTableClauses {
  std::string table;
  std::vector<ColumnDefinition> columns;
  std::vector<std::string> primaryKey;  // empty: no primary-key fields
  std::string description;
  int languageId = 0;
  int sortId = 0;
  std::uint32_t blobBlockSize = 0;  // 0: the default (512)
};

struct IndexColumn {
  std::string name;
  bool descending = false;
};

struct CreateIndexClauses {
  std::string index;
  std::string table;
  bool unique = false;
  bool noCase = false;
  bool descending = false;  // CREATE DESC INDEX: the whole index descending
  std::vector<IndexColumn> columns;
};

// INSERT, UPDATE and DELETE. The target table is also the master query's
// one source table; UPDATE keeps its "column = expression" pairs as the
// master query's select list (name = column, expression = new value) and
// UPDATE and DELETE their condition as its WHERE, so that names and types
// are resolved and checked as for a SELECT.
struct DataChangeClauses {
  std::string table;
  // INSERT: the named columns (empty: every column in table order) and the
  // rows of VALUES (parameters in them are in the statement's list); or a
  // SELECT (the statement's second query) starting at `selectStart`.
  std::vector<std::string> columns;
  std::vector<std::vector<ExpPtr>> rows;
  bool fromSelect = false;
  std::size_t selectStart = 0;
};

// The clauses of whichever change statement was parsed.
struct ChangeClauses {
  CreateTableClauses createTable;
  CreateIndexClauses createIndex;
  std::string dropTable;
  std::string dropIndexTable;  // DROP INDEX table.index
  std::string dropIndexName;
  // CREATE TABLE IF NOT EXISTS, DROP TABLE IF EXISTS: nothing is done (and
  // nothing is raised) when the table already exists / does not exist.
  bool conditional = false;
  DataChangeClauses data;
};

// Parses the body of a change statement whose first keywords (which set
// statement.kind) have been read, leaving the parser at the statement's end
// (";" or the end of the text). For INSERT ... SELECT, `parseSelect` parses
// the SELECT at the current token. Raises 11949 with the parser's message.
void ParseChangeStatement(TExpressionParser& p, ParsedStatement& statement,
                          const std::function<void()>& parseSelect);

}  // namespace kura::sql
