#include "engine/sql/table_catalog.h"

#include "engine/errors/kura_error.h"
#include "engine/expr/field_types.h"
#include "engine/storage/names.h"

namespace kura::sql {

TableCatalog::TableCatalog(TDataDirectory& directory, TDataDirectory* memory,
                           DatabaseResolver resolver)
    : directory_(directory), memory_(memory), resolver_(std::move(resolver)) {}

TDataDirectory& TableCatalog::DirectoryFor(std::string_view databasePart, bool inMemory) {
  if (inMemory) {
    if (memory_ == nullptr) Raise(KURA_OSENOENT, {.database = "MEMORY"});
    return *memory_;
  }
  if (databasePart.empty()) return directory_;
  TDataDirectory* d = resolver_ ? resolver_(databasePart) : nullptr;
  if (d == nullptr) Raise(KURA_OSENOENT, {.database = std::string(databasePart)});
  return *d;
}

std::shared_ptr<SqlTableSchema> SchemaOf(TDataTable& table) {
  auto schema = std::make_shared<SqlTableSchema>();
  schema->name = table.Name();
  const TDataFile& data = table.Data();
  schema->languageId = data.Header().languageId;
  schema->sortId = data.Header().sortId;
  for (const TFieldDescriptor& f : data.Fields()) {
    SqlColumn c;
    c.name = f.name;
    c.type = f.type == kFieldUInt32 ? kTypeLargeInt : f.type;
    c.subType = f.subtype;
    c.size = HasDeclaredSize(f.type) ? f.declaredSize : 0;
    c.scale = f.declaredScale;
    c.required = f.required != 0;
    schema->columns.push_back(c);
  }
  return schema;
}

std::shared_ptr<const SqlTableSchema> TableCatalog::FindTable(std::string_view databasePart,
                                                              std::string_view tableName,
                                                              bool inMemory) {
  const std::string name = TrimBlanks(tableName);
  TDataDirectory* found = nullptr;
  try {
    found = &DirectoryFor(databasePart, inMemory);
  } catch (const EKuraEngineError& e) {
    // An unknown database or no in-memory directory: the table is named as
    // it was written.
    if (e.ErrorCode() != KURA_OSENOENT) throw;
    const std::string where = inMemory ? std::string("MEMORY") : std::string(databasePart);
    Raise(KURA_OSENOENT, {.table = where + "\\" + name, .database = where});
  }
  TDataDirectory& dir = *found;
  if (TDataTable* open = dir.FindTable(name, inMemory)) return SchemaOf(*open);
  if (!dir.TableExists(name, inMemory)) return nullptr;
  // Opened for reading and writing although only the descriptors are read:
  // inside a transaction the table object stays after this close, and a
  // read-only one would then refuse the statement's own changes (11013).
  // Nothing is written here; files that refuse writing still open
  // read-only.
  TableOpenOptions options;
  options.inMemory = inMemory;
  TDataTable* t = dir.OpenTable(name, options);
  std::shared_ptr<SqlTableSchema> schema;
  try {
    schema = SchemaOf(*t);
  } catch (...) {
    dir.CloseTable(t);
    throw;
  }
  dir.CloseTable(t);
  return schema;
}

}  // namespace kura::sql
