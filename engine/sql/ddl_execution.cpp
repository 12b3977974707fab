#include "engine/sql/ddl_execution.h"

#include <algorithm>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/sql/sql_error.h"
#include "engine/storage/data_file_format.h"
#include "engine/storage/index_header.h"
#include "engine/storage/names.h"

namespace kura::sql {
namespace {

constexpr std::uint32_t kMaxKeySegments = 522;

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

// Fills the key fields of `d` from the column names; returns Σ(segment
// length). 9487 more than 16 fields, 12292 a BLOB field, 10026 no bytes or
// more than 522.
std::uint32_t FillKeyFields(TIndexDescriptor& d, const std::vector<TFieldDescriptor>& fields,
                            const std::vector<IndexColumn>& columns, bool allDescending,
                            const std::string& table) {
  if (columns.size() > static_cast<std::size_t>(kMaxKeyFields) || columns.empty())
    Raise(KURA_INDEXLIMIT, {.table = table});
  std::uint32_t segments = 0;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const int n = FieldNumber(fields, columns[i].name, table);
    const TFieldDescriptor& f = fields[n - 1];
    const std::uint32_t length = IndexSegmentLength(f);
    if (length == 0 || f.type == kFieldBlob)
      Raise(KURA_SEARCHCOLREQD, {.index = d.name, .field = f.name, .table = table});
    segments += length;
    d.fieldNumbers[i] = static_cast<std::uint16_t>(n);
    d.fieldDescending[i] = (allDescending || columns[i].descending) ? 1 : 0;
  }
  d.fieldCount = static_cast<std::uint8_t>(columns.size());
  if (segments == 0 || segments > kMaxKeySegments)
    Raise(KURA_INVALIDKEY, {.index = d.name, .table = table});
  return segments;
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
  if (c.primaryKey.empty()) {
    index.noPrimaryFields = 1;
  } else {
    TIndexDescriptor& primary = index.slots[0];
    std::vector<IndexColumn> columns;
    for (const std::string& name : c.primaryKey) columns.push_back({name, false});
    primary.unique = 1;
    primary.keyLength = static_cast<std::uint16_t>(
        FillKeyFields(primary, def.fields, columns, false, table));
  }
  TDataTable* created = directory.CreateTable(table, {}, def, index);
  directory.CloseTable(created);
}

void ExecuteCreateIndex(TDataDirectory& directory, const CreateIndexClauses& c) {
  const std::string table = TrimBlanks(c.table);
  WithExclusiveTable(directory, table, [&](TDataTable& t) {
    TIndexFileHeader h = t.Index().Header();
    const std::string name = TrimBlanks(c.index);
    if (h.secondaryCount >= kMaxSecondaryIndexes) Raise(KURA_INDEXLIMIT, {.table = table});
    if (name.empty()) Raise(KURA_INDEXNAMEREQUIRED, {.table = table});
    if (!IsIndexNameStart(static_cast<unsigned char>(name[0])) ||
        name.size() > kMaxFieldNameLength)
      Raise(KURA_INVALIDINDEXNAME, {.index = name, .table = table});
    for (int s = 1; s <= h.secondaryCount; ++s)
      if (EqualNoCase(TrimBlanks(h.slots[s].name), name))
        Raise(KURA_INDEXEXISTS, {.index = name, .table = table});
    TIndexDescriptor d;
    d.name = name;
    d.unique = c.unique ? 1 : 0;
    d.descending = c.descending ? 1 : 0;
    d.caseInsensitive = c.noCase ? 1 : 0;
    const std::uint32_t segments =
        FillKeyFields(d, t.Data().Fields(), c.columns, c.descending, table);
    d.keyLength = static_cast<std::uint16_t>(segments + (c.unique ? 0 : 4));
    if (t.Index().ActiveRecordCount() > 0 || t.Data().RecordCount() > 0) {
      // Filling a new index from existing records needs the index trees,
      // which this build does not maintain yet.
      SqlError("An index can only be created on a table without records in the table '" +
               table + "'");
    }
    const int slot = ++h.secondaryCount;
    h.slots[slot] = d;
    t.Index().MutableHeader() = h;
    t.Index().MarkHeaderChanged();
    t.WriteAllChanges(true);
  });
}

void ExecuteDropIndex(TDataDirectory& directory, const std::string& tableName,
                      const std::string& index) {
  const std::string table = TrimBlanks(tableName);
  WithExclusiveTable(directory, table, [&](TDataTable& t) {
    TIndexFileHeader h = t.Index().Header();
    int slot = 0;
    for (int s = 1; s <= h.secondaryCount; ++s)
      if (EqualNoCase(TrimBlanks(h.slots[s].name), TrimBlanks(index))) slot = s;
    if (slot == 0) Raise(KURA_INVALIDINDEXNAME, {.index = TrimBlanks(index), .table = table});
    for (int s = slot; s < h.secondaryCount; ++s) h.slots[s] = h.slots[s + 1];
    h.slots[h.secondaryCount] = TIndexDescriptor{};
    --h.secondaryCount;
    t.Index().MutableHeader() = h;
    t.Index().MarkHeaderChanged();
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
      ExecuteCreateTable(directory, st.change->createTable);
      return true;
    case StatementKind::kCreateIndex:
      ExecuteCreateIndex(directory, st.change->createIndex);
      return true;
    case StatementKind::kDropTable:
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
