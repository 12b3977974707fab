// Execution of INSERT, UPDATE and DELETE through a table cursor, and the
// one entry for every statement kind other than SELECT and the transaction
// statements.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/sql/query_statement.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/storage_session.h"

namespace kura::sql {

// Runs a prepared INSERT, UPDATE or DELETE whose parameters are bound
// against the target table in `catalog`'s directory and returns the rows
// it changed. `text` is the statement text the statement was prepared from
// (INSERT ... SELECT runs its SELECT from it).
//  - INSERT: every row of VALUES (or of the SELECT) gets the defaults of
//    the fields it does not name; all rows are built and checked (9732,
//    9730, 9731, conversion) before the first is stored; 9729 when a
//    unique index refuses a row (the rows stored before it stay unless a
//    transaction is rolled back).
//  - UPDATE and DELETE: the rows for which WHERE holds are found first,
//    then changed one by one in record order; UPDATE computes every new
//    value from the row as it was.
// SQL errors (11949): a column that is not in the table, a count of values
// that differs from the count of columns, a value that cannot be converted
// to its column's type.
std::int64_t ExecuteDataChange(TDataSession& session, TableCatalog& catalog,
                               const TQueryStatement& statement, std::string_view text);

// Runs any statement but SELECT and the transaction statements: the
// structure statements (CREATE/DROP TABLE and INDEX) and the data changes
// above. Returns the rows affected (0 for structure statements). Raises
// 11949 for ALTER TABLE, which this engine does not carry out.
std::int64_t ExecuteChangeStatement(TDataSession& session, TableCatalog& catalog,
                                    const TQueryStatement& statement, std::string_view text);

}  // namespace kura::sql
