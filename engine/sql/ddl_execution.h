// Execution of the statements that change a database's structure (CREATE
// and DROP of tables and indexes) and of its transaction statements, over
// the database's directory. Failures are engine errors with their codes.
#pragma once

#include <string>
#include <string_view>

#include "engine/sql/statement_parser.h"
#include "engine/storage/storage_directory.h"

namespace kura::sql {

// Creates the table's three files (the BLOB file only with BLOB columns).
// 13060 when a table of that name exists; the definition checks of the
// data file (10038, 10000, 10006, 9492, 9498, 9477, 15878); 9985 for a
// PRIMARY KEY column that is not a column of the table, 12292 for a BLOB
// key column, 10026 and 9487 for a key that is too long or has more than
// 16 columns. Without PRIMARY KEY the table has no primary-key fields.
void ExecuteCreateTable(TDataDirectory& directory, const CreateTableClauses& c);

// Adds a secondary index. The table is held exclusively for the change
// (10253 when another user has it open); 9985 for an unknown column, the
// index definition checks (10010, 10022, 10027, 9487, 10026, 12292); 9729
// when a unique index meets a key twice in the existing records (nothing
// is then changed).
void ExecuteCreateIndex(TDataDirectory& directory, const CreateIndexClauses& c);

// Removes a secondary index (10253 when the table is in use elsewhere,
// 10022 when it has no index of that name).
void ExecuteDropIndex(TDataDirectory& directory, const std::string& table,
                      const std::string& index);

// Deletes the table's files: 11010 when it does not exist, 10031 while it
// is open (in this process or another).
void ExecuteDropTable(TDataDirectory& directory, const std::string& table);

// START TRANSACTION, COMMIT or ROLLBACK over the directory's tables.
// `database` names the database in the messages "Transaction already in
// progress for database '...'" and "Transaction not in progress for
// database '...'" (11949).
void ExecuteTransaction(TDataDirectory& directory, StatementKind kind,
                        std::string_view database);

// Runs one of the statements above (dispatching on its kind). Returns false
// for kinds it does not handle (SELECT, INSERT, UPDATE, DELETE, ALTER).
bool ExecuteStructureStatement(TDataDirectory& directory, const ParsedStatement& st,
                               std::string_view database);

}  // namespace kura::sql
