// SqlCatalog: what name resolution needs to know about the tables a statement
// names. The storage and component layers implement it with an adapter over
// the tables' field descriptors; tests use an in-memory catalog.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kura::sql {

// One field of a table, as its field descriptor describes it.
struct SqlColumn {
  std::string name;
  int type = 0;      // engine type code (field_types.h)
  int subType = 0;
  int size = 0;      // declared size (strings, bytes), 0 for other types
  int scale = 0;     // BCD decimal places
  bool required = false;
};

// The description of one table: its fields in field-number order (field
// number = index + 1) and its locale.
struct SqlTableSchema {
  std::string name;
  std::vector<SqlColumn> columns;
  int languageId = 0;
  int sortId = 0;
};

class SqlCatalog {
 public:
  virtual ~SqlCatalog() = default;
  // The table `tableName` of the statement's database, of the database named
  // `databasePart` when that is not empty, or of the in-memory database when
  // `inMemory` is set. Returns nullptr when there is no such table (the
  // statement then raises 11010); an implementation may instead raise its own
  // engine error (access denied, locked, ...), which is passed on unchanged.
  virtual std::shared_ptr<const SqlTableSchema> FindTable(
      std::string_view databasePart, std::string_view tableName,
      bool inMemory) = 0;
};

}  // namespace kura::sql
