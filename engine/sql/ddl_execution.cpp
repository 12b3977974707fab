#include "engine/sql/ddl_execution.h"

#include <algorithm>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/expr/sql_error.h"
#include "engine/storage/index_definitions.h"
#include "engine/storage/index_file.h"
#include "engine/storage/index_file_trees.h"
#include "engine/storage/index_header.h"
#include "engine/storage/names.h"
#include "engine/storage/record_file_format.h"

namespace kura::sql {
namespace {

TFieldDescriptor FieldOf(const ColumnDefinition& col, std::uint16_t number) {
  TFieldDescriptor f = MakeField(number, col.name, static_cast<std::uint8_t>(col.type),
                                 static_cast<std::uint8_t>(std::clamp(col.size, 0, 255)),
                                 static_cast<std::uint8_t>(col.subType));
  // A size outside 1 ... 250 is refused by the definition check (10000);
  // 0 stands for every size that does not fit the byte.
  if (col.size > 255) f.declaredSize = 0;
  f.declaredScale = static_cast<std::uint8_t>(col.scale);
  f.required = col.notNull ? 1 : 0;
  f.defaultValue = col.defaultText;
  f.minimum = col.minText;
  f.maximum = col.maxText;
  f.description = col.description;
  return f;
}

int FieldNumber(const std::vector<TFieldDescriptor>& fields, const std::string& name,
                const std::string& table) {
  for (const TFieldDescriptor& f : fields)
    if (EqualNoCase(TrimBlanks(f.name), TrimBlanks(name))) return f.number;
  Raise(KURA_OUTOFRANGE, {.field = name, .table = table});
}

// The index definition of CREATE INDEX or PRIMARY KEY: its field numbers.
IndexDefinition Definition(const std::vector<TFieldDescriptor>& fields,
                           const std::vector<IndexColumn>& columns, const std::string& table) {
  IndexDefinition def;
  for (const IndexColumn& c : columns)
    def.fields.push_back(static_cast<std::uint16_t>(FieldNumber(fields, c.name, table)));
  return def;
}

// Opens `name` exclusively for a change of its structure: 10253 when
// another user (of this process or another) has it open.
TDataTable* OpenExclusive(TDataDirectory& directory, const std::string& name) {
  try {
    return directory.OpenTable(name, {.exclusive = true});
  } catch (const EKuraEngineError& e) {
    if (e.ErrorCode() == KURA_OSEACCES) Raise(KURA_NEEDEXCLACCESS, {.table = TrimBlanks(name)});
    throw;
  }
}

// Closes the table even when `change` fails.
template <typename Fn>
void WithExclusiveTable(TDataDirectory& directory, const std::string& name, Fn&& change) {
  TDataTable* table = OpenExclusive(directory, name);
  try {
    change(*table);
  } catch (...) {
    directory.CloseTable(table);
    throw;
  }
  directory.CloseTable(table);
}

}  // namespace

void ExecuteCreateTable(TDataDirectory& directory, const CreateTableClauses& c) {
  const std::string table = TrimBlanks(c.table);
  if (directory.TableExists(table, false)) Raise(KURA_TABLEEXISTS, {.table = table});
  DataFileDefinition def;
  if (c.columns.size() > kMaxFields) Raise(KURA_FLDLIMIT, {.table = table});
  for (std::size_t i = 0; i < c.columns.size(); ++i)
    def.fields.push_back(FieldOf(c.columns[i], static_cast<std::uint16_t>(i + 1)));
  def.languageId = static_cast<std::int16_t>(c.languageId);
  def.sortId = static_cast<std::int16_t>(c.sortId);
  def.blobBlockSize = c.blobBlockSize;
  def.description = c.description;
  CheckDefinition(def, table);

  TIndexFileHeader index = NewIndexHeader();
  std::vector<IndexColumn> key;
  for (const std::string& name : c.primaryKey) key.push_back({name, false});
  // Without PRIMARY KEY the primary index has no fields: no primary key.
  DefinePrimaryIndex(index, def.fields, Definition(def.fields, key, table), table);
  TDataTable* created = directory.CreateTable(table, {}, def, index);
  directory.CloseTable(created);
}

void ExecuteCreateIndex(TDataDirectory& directory, const CreateIndexClauses& c) {
  const std::string table = TrimBlanks(c.table);
  WithExclusiveTable(directory, table, [&](TDataTable& t) {
    const std::vector<TFieldDescriptor>& fields = t.Data().Fields();
    IndexDefinition def = Definition(fields, c.columns, table);
    def.name = TrimBlanks(c.index);
    def.unique = c.unique;
    def.caseInsensitive = c.noCase;
    def.descending = c.descending;
    TIndexFile& index = t.Index();
    const TIndexFileHeader before = index.Header();
    const int slot = AddSecondaryIndex(index.MutableHeader(), fields, def, table);
    // Columns marked DESC in an ascending index are descending on their own.
    for (std::size_t i = 0; i < c.columns.size(); ++i)
      if (c.columns[i].descending) index.MutableHeader().slots[slot].fieldDescending[i] = 1;
    const std::int16_t language = t.Data().Header().languageId;
    const std::int16_t sort = t.Data().Header().sortId;
    try {
      index.BindTrees(fields, language, sort);
      index.Trees().BuildIndex(slot, t.Data());
    } catch (...) {
      // A unique index that meets a key twice is not added; its pages are
      // dropped with the cache and the header is as it was.
      index.DropPageCache();
      index.MutableHeader() = before;
      index.BindTrees(fields, language, sort);
      throw;
    }
    index.MarkHeaderChanged();
    t.WriteAllChanges(true);
  });
}

void ExecuteDropIndex(TDataDirectory& directory, const std::string& tableName,
                      const std::string& index) {
  const std::string table = TrimBlanks(tableName);
  WithExclusiveTable(directory, table, [&](TDataTable& t) {
    TIndexFile& file = t.Index();
    const int slot = FindSecondaryIndex(file.Header(), index);
    if (slot == 0) Raise(KURA_INVALIDINDEXNAME, {.index = TrimBlanks(index), .table = table});
    RemoveSecondaryIndex(file.MutableHeader(), slot);
    file.BindTrees(t.Data().Fields(), t.Data().Header().languageId, t.Data().Header().sortId);
    file.MarkHeaderChanged();
    t.WriteAllChanges(true);
  });
}

void ExecuteDropTable(TDataDirectory& directory, const std::string& tableName) {
  const std::string table = TrimBlanks(tableName);
  if (!directory.TableExists(table, false)) Raise(KURA_OSENOENT, {.table = table});
  // Open in this session, or held by a running transaction.
  if (directory.FindTable(table, false) != nullptr) Raise(KURA_TABLEOPEN, {.table = table});
  // Another process's users show as a refused exclusive open.
  try {
    directory.CloseTable(directory.OpenTable(table, {.exclusive = true}));
  } catch (const EKuraEngineError& e) {
    if (e.ErrorCode() == KURA_OSEACCES) Raise(KURA_TABLEOPEN, {.table = table});
    throw;
  }
  directory.DeleteTable(table, false);
}

void ExecuteTransaction(TDataDirectory& directory, StatementKind kind,
                        std::string_view database) {
  const std::string name(database);
  if (kind == StatementKind::kStartTransaction) {
    if (directory.InTransaction())
      SqlError("Transaction already in progress for database '" + name + "'");
    directory.StartTransaction();
    return;
  }
  if (!directory.InTransaction())
    SqlError("Transaction not in progress for database '" + name + "'");
  if (kind == StatementKind::kCommit) {
    directory.Commit();
  } else {
    directory.Rollback();
  }
}

bool ExecuteStructureStatement(TDataDirectory& directory, const ParsedStatement& st,
                               std::string_view database) {
  switch (st.kind) {
    case StatementKind::kCreateTable:
      if (st.change->conditional &&
          directory.TableExists(TrimBlanks(st.change->createTable.table), false)) {
        return true;
      }
      ExecuteCreateTable(directory, st.change->createTable);
      return true;
    case StatementKind::kCreateIndex:
      ExecuteCreateIndex(directory, st.change->createIndex);
      return true;
    case StatementKind::kDropTable:
      if (st.change->conditional && !directory.TableExists(TrimBlanks(st.change->dropTable), false)) {
        return true;
      }
      ExecuteDropTable(directory, st.change->dropTable);
      return true;
    case StatementKind::kDropIndex:
      ExecuteDropIndex(directory, st.change->dropIndexTable, st.change->dropIndexName);
      return true;
    case StatementKind::kStartTransaction:
    case StatementKind::kCommit:
    case StatementKind::kRollback:
      ExecuteTransaction(directory, st.kind, database);
      return true;
    default:
      return false;
  }
}

}  // namespace kura::sql
