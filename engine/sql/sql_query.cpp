#include "engine/sql/sql_query.h"

#include "engine/sql/sql_lexer.h"

namespace kura::sql {

const char* StatementKindName(StatementKind kind) {
  switch (kind) {
    case StatementKind::kSelect: return "SELECT";
    case StatementKind::kInsert: return "INSERT";
    case StatementKind::kUpdate: return "UPDATE";
    case StatementKind::kDelete: return "DELETE";
    case StatementKind::kCreateTable: return "CREATE TABLE";
    case StatementKind::kCreateIndex: return "CREATE INDEX";
    case StatementKind::kAlterTable: return "ALTER TABLE";
    case StatementKind::kDropTable: return "DROP TABLE";
    case StatementKind::kDropIndex: return "DROP INDEX";
    case StatementKind::kStartTransaction: return "START TRANSACTION";
    case StatementKind::kRollback: return "ROLLBACK";
    case StatementKind::kCommit: return "COMMIT";
  }
  return "SELECT";
}

TSourceTable* TDataQuery::FindSource(const std::string& correlationName) const {
  for (const auto& s : sources)
    if (SameName(s->correlationName, correlationName)) return s.get();
  return nullptr;
}

}  // namespace kura::sql
