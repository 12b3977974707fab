// TDataQuery and its parts: one SELECT (or other statement) of a statement
// text after parsing, with its select list, source tables, conditions,
// ordering, grouping and settings.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/expr/exp_token.h"
#include "engine/sql/sql_catalog.h"

namespace kura::sql {

enum class StatementKind {
  kSelect, kInsert, kUpdate, kDelete, kCreateTable, kCreateIndex,
  kAlterTable, kDropTable, kDropIndex, kStartTransaction, kRollback, kCommit,
};

// "SELECT", "CREATE TABLE", ...: the kind's name in messages.
const char* StatementKindName(StatementKind kind);

enum class JoinKind { kInner, kLeftOuter, kRightOuter };

// A join link: this source table is joined to the tables before it.
struct TJoin {
  JoinKind kind = JoinKind::kInner;
  ExpPtr condition;  // the ON condition
};

struct TSourceTable {
  std::string databasePart;     // empty when the name had none
  std::string tableName;
  std::string correlationName;  // the alias, or the table name
  int position = 0;             // in the FROM list, from 1
  bool inMemory = false;
  // Set by name resolution: the table's fields (shared with the catalog).
  std::shared_ptr<const SqlTableSchema> schema;
  // Present when this table was introduced by a JOIN.
  std::unique_ptr<TJoin> join;
};

struct TResultField {
  ExpPtr expression;
  std::string name;          // result column name
  bool isColumn = false;     // a plain column reference
  AggregateKind aggregate = AggregateKind::kNone;
  // For a plain column: where it comes from.
  int tablePosition = 0;
  int fieldNumber = 0;
  // Result type, from the expression.
  int type = 0;
  int subType = 0;
  int size = 0;
};

struct TOrderByField {
  std::string correlationName;
  std::string columnName;   // empty when a column number was given
  int columnNumber = 0;     // as written, 0 when a name was given
  std::string numberText;   // the column number as written
  bool descending = false;
  int resultIndex = -1;     // resolved: index into the select list
};

struct TGroupByField {
  std::string correlationName;
  std::string columnName;
  int columnNumber = 0;
  int resultIndex = -1;     // resolved: index into the select list, or -1
  int tablePosition = 0;    // resolved source column when not in the list
  int fieldNumber = 0;
};

class TDataQuery {
 public:
  StatementKind kind = StatementKind::kSelect;
  bool isMaster = false;
  bool isUnionPartner = false;  // part of a UNION (on either side)
  bool isSubSelect = false;
  bool existsTest = false;  // the sub-select of an EXISTS: only whether it gives a row counts
  TDataQuery* outer = nullptr;  // the query a sub-select belongs to

  std::vector<TResultField> selectList;
  std::vector<std::unique_ptr<TSourceTable>> sources;
  std::vector<TOrderByField> orderBy;
  std::vector<TGroupByField> groupBy;
  ExpPtr where;
  ExpPtr having;

  bool distinct = false;
  bool severalTables = false;  // a "," in FROM or any join
  bool hasGroupBy = false;     // GROUP BY, or a select list of aggregates only
  bool hasHaving = false;
  bool hasOrderBy = false;
  bool noCase = false;
  int top = -1;
  std::string intoTable;       // empty when absent
  std::string intoDatabase;    // the part before "\" in INTO, if any
  bool intoMemory = false;
  bool withLocks = false;
  std::string language;        // as named after LANGUAGE, empty when absent
  std::string sort;
  int languageId = 0;
  int sortId = 0;
  std::string password;        // ENCRYPTED WITH
  bool noJoinOptimize = false;
  TDataQuery* unionPartner = nullptr;  // the query after UNION
  bool unionAll = false;

  // The source table with this correlation name (case-insensitive), or null.
  TSourceTable* FindSource(const std::string& correlationName) const;
};

}  // namespace kura::sql
