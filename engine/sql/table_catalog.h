// TableCatalog: the SqlCatalog of a statement's database, over the field
// descriptors of the tables in a TDataDirectory. It also tells the
// execution layer which directory a source table lives in.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/sql/sql_catalog.h"
#include "engine/storage/storage_directory.h"

namespace kura::sql {

class TableCatalog : public SqlCatalog {
 public:
  // The directory of a database named in a statement ("db\table", INTO
  // "db\name"), or nullptr when there is no such database.
  using DatabaseResolver = std::function<TDataDirectory*(std::string_view name)>;

  // `directory`: the statement's database; `memory`: the in-memory
  // database (nullptr when the session has none); both must outlive the
  // catalog.
  explicit TableCatalog(TDataDirectory& directory, TDataDirectory* memory = nullptr,
                        DatabaseResolver resolver = {});

  // Opens the table shared and read-only for the time of the call to read
  // its descriptors (a table the session already has open is read as it
  // is). nullptr when its data file does not exist; other errors of the
  // table (locked exclusively elsewhere, damaged) are raised with their
  // codes. Raises 11010 for an unknown database part.
  std::shared_ptr<const SqlTableSchema> FindTable(std::string_view databasePart,
                                                  std::string_view tableName,
                                                  bool inMemory) override;

  // The directory a source table of this kind lives in; raises 11010 for
  // an unknown database part or a MEMORY table without an in-memory
  // database.
  TDataDirectory& DirectoryFor(std::string_view databasePart, bool inMemory);
  TDataDirectory& Directory() { return directory_; }

 private:
  TDataDirectory& directory_;
  TDataDirectory* memory_;
  DatabaseResolver resolver_;
};

// The schema of an open table, from its data file's descriptors.
std::shared_ptr<SqlTableSchema> SchemaOf(TDataTable& table);

}  // namespace kura::sql
