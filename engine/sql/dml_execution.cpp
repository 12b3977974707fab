#include "engine/sql/dml_execution.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/expr/evaluator.h"
#include "engine/expr/sql_error.h"
#include "engine/sql/ddl_execution.h"
#include "engine/sql/query_execution.h"
#include "engine/sql/sql_lexer.h"
#include "engine/storage/names.h"
#include "engine/storage/record_checks.h"
#include "engine/storage/record_values.h"
#include "engine/storage/storage_cursor.h"

namespace kura::sql {
namespace {

// VALUES are evaluated without a row: a column name there is an error.
class NoRow : public RowAccessor {
 public:
  Value FieldValue(int, int) const override {
    SqlError("Column references are not allowed in INSERT VALUES");
  }
};

// A row to insert: the image without its BLOB values, and those apart
// (the cursor writes them with the record).
struct NewRow {
  std::vector<std::uint8_t> image;
  std::map<int, Value> blobs;
};

// The cursor on the target table; closed on every path.
class Target {
 public:
  Target(TDataSession& session, TableCatalog& catalog, const std::string& table)
      : cursor_(session, catalog.Directory()) {
    cursor_.Open(table, {.recordOrder = true});
  }
  ~Target() {
    try {
      cursor_.Close();
    } catch (...) {
      // The change itself has been reported or has succeeded.
    }
  }
  TDataCursor& operator*() { return cursor_; }
  TDataCursor* operator->() { return &cursor_; }

 private:
  TDataCursor cursor_;
};

int ColumnNumber(TDataCursor& c, const std::string& name, const char* where) {
  const int n = c.FindField(TrimBlanks(name));
  if (n == 0) SqlError("Invalid column name '" + name + "' specified in " + where);
  return n;
}

// -1 when x lies below [lo, hi], 1 above it, 0 inside.
int Outside(std::int64_t x, std::int64_t lo, std::int64_t hi) { return x < lo ? -1 : x > hi ? 1 : 0; }

// A value the column cannot hold whole is refused, never stored wrapped or
// cut: 9730 below the range of the column's type, 9731 above it or a text
// longer than the column (trailing blanks are not stored). `v` is the value
// converted to the column's type.
void CheckRange(TDataCursor& c, const TFieldDescriptor& f, const Value& v) {
  int side = 0;
  switch (f.type) {
    case kFieldSmallInt: side = Outside(v.integer, INT16_MIN, INT16_MAX); break;
    case kFieldInteger: side = Outside(v.integer, INT32_MIN, INT32_MAX); break;
    case kFieldWord: side = Outside(v.integer, 0, UINT16_MAX); break;
    case kFieldBcd: {
      // Held as an integer of ten-thousandths.
      const double d = v.AsDouble();
      if (!(std::round(std::fabs(d) * 10000.0) < 9223372036854775808.0)) side = d < 0 ? -1 : 1;
      break;
    }
    case kFieldString: {
      const std::size_t end = v.text.find_last_not_of(' ');
      const std::size_t length = end == std::string::npos ? 0 : end + 1;
      if (length > f.declaredSize) side = 1;
      break;
    }
    default: break;
  }
  if (side < 0) Raise(KURA_MINVALERR, {.field = TrimBlanks(f.name), .table = c.TableName()});
  if (side > 0) Raise(KURA_MAXVALERR, {.field = TrimBlanks(f.name), .table = c.TableName()});
}

// Puts `v` into field n of the row, refusing values the field's type
// cannot hold.
void Assign(TDataCursor& c, NewRow& row, int n, const Value& v) {
  const TFieldDescriptor& f = c.Fields()[static_cast<std::size_t>(n - 1)];
  if (f.IsAutoIncrement()) SqlError("The auto-increment column '" + f.name + "' cannot be assigned");
  const Value converted = v.null || v.type == f.type ? v : ConvertValue(v, f.type, f.subtype);
  if (!v.null && converted.null)
    SqlError("Value '" + (v.text.empty() ? std::to_string(v.integer) : v.text) +
             "' cannot be stored in the column '" + f.name + "'");
  if (!v.null) CheckRange(c, f, converted);
  if (f.type == kFieldBlob) {
    row.blobs[n] = v;
  } else {
    c.SetField(row.image.data(), n, v);
  }
}

// The values to insert, row by row, from VALUES or from the SELECT.
std::vector<std::vector<Value>> InsertValues(TDataSession& session, TableCatalog& catalog,
                                             const TQueryStatement& st, std::string_view text) {
  const DataChangeClauses& d = st.Parsed().change->data;
  std::vector<std::vector<Value>> rows;
  if (!d.fromSelect) {
    const NoRow none;
    for (const auto& exprs : d.rows) {
      rows.emplace_back();
      for (const auto& e : exprs) rows.back().push_back(Evaluate(*e, none));
    }
    return rows;
  }
  TQueryExecution select(session, catalog);
  select.SetRequestLive(false);
  select.Prepare(text.substr(d.selectStart));
  std::vector<Value> params;
  for (const TExpToken* p : st.Parameters()) params.push_back(p->value);
  select.Execute(params);
  TDataTable& result = *select.ResultTable();
  for (std::int32_t n = 1; n <= result.Data().RecordCount(); ++n) {
    const TRecord* r = result.ReadRecord(n);
    if (r == nullptr || r->Data()[0] != kRecordActive) continue;
    rows.emplace_back();
    for (const TFieldDescriptor& f : result.Data().Fields()) {
      if (f.type == kFieldBlob && result.Blob() != nullptr) {
        const BlobRef ref = GetBlobRef(r->Data(), f);
        Value v = ref.firstBlock == 0 ? Value::NullOf(f.type, f.subtype)
                                      : Value::String(result.Blob()->ReadValue(ref));
        rows.back().push_back(v);
      } else {
        rows.back().push_back(ReadFieldValue(r->Data(), f));
      }
    }
  }
  return rows;
}

std::int64_t ExecuteInsert(TDataSession& session, TableCatalog& catalog,
                           const TQueryStatement& st, std::string_view text) {
  const DataChangeClauses& d = st.Parsed().change->data;
  // The SELECT runs first, before the target is opened for writing.
  const std::vector<std::vector<Value>> values = InsertValues(session, catalog, st, text);
  Target c(session, catalog, d.table);
  std::vector<int> columns;
  if (d.columns.empty()) {
    for (int n = 1; n <= static_cast<int>(c->Fields().size()); ++n)
      if (!c->Fields()[static_cast<std::size_t>(n - 1)].IsAutoIncrement()) columns.push_back(n);
  }
  for (const std::string& name : d.columns) columns.push_back(ColumnNumber(*c, name, "INSERT column list"));
  std::vector<NewRow> rows;
  for (const auto& v : values) {
    if (v.size() != columns.size())
      SqlError("Number of values (" + std::to_string(v.size()) +
               ") does not match the number of columns (" + std::to_string(columns.size()) +
               ") in INSERT statement");
    NewRow row{c->NewRecord(), {}};
    for (std::size_t i = 0; i < v.size(); ++i) Assign(*c, row, columns[i], v[i]);
    CheckRecordValues(row.image.data(), c->Fields(), c->Table().Data().Collation(),
                      c->TableName());
    rows.push_back(std::move(row));
  }
  for (NewRow& row : rows) {
    for (const auto& [n, v] : row.blobs) c->SetField(row.image.data(), n, v);
    c->AddRecord(row.image.data(), false);
  }
  return static_cast<std::int64_t>(rows.size());
}

// The ordinals (in record order) of the rows for which the WHERE holds.
std::vector<std::uint32_t> MatchingRows(TDataCursor& c, const TExpToken* where) {
  std::vector<std::uint32_t> found;
  c.First();
  for (std::uint32_t ordinal = 1; c.Next(); ++ordinal) {
    c.ReadCurrent();
    if (where == nullptr || EvaluateCondition(*where, c.Row(c.Image()))) found.push_back(ordinal);
  }
  return found;
}

std::int64_t ExecuteUpdate(TDataSession& session, TableCatalog& catalog, const TQueryStatement& st) {
  const TDataQuery& q = st.Master();
  Target c(session, catalog, q.sources.front()->tableName);
  std::vector<int> columns;
  for (const TResultField& item : q.selectList) columns.push_back(ColumnNumber(*c, item.name, "UPDATE statement"));
  const std::unique_ptr<TExpToken> where = q.where ? CloneBound(*q.where) : nullptr;
  const std::vector<std::uint32_t> rows = MatchingRows(*c, where.get());
  // Every new row is made and checked before the first is stored: a value
  // a column cannot hold stores nothing of the statement.
  std::vector<NewRow> changed;
  std::vector<std::vector<std::uint8_t>> originals;
  for (std::uint32_t ordinal : rows) {
    if (!c->MoveTo(ordinal)) Raise(KURA_KEYORRECDELETED, {.table = c->TableName()});
    c->ReadCurrent();
    std::vector<Value> values;
    for (const TResultField& item : q.selectList)
      values.push_back(Evaluate(*item.expression, c->Row(c->Image())));
    NewRow row{std::vector<std::uint8_t>(c->Image(), c->Image() + c->RecordLength()), {}};
    for (std::size_t i = 0; i < values.size(); ++i) Assign(*c, row, columns[i], values[i]);
    CheckRecordValues(row.image.data(), c->Fields(), c->Table().Data().Collation(),
                      c->TableName());
    changed.push_back(std::move(row));
    originals.emplace_back(c->Image(), c->Image() + c->RecordLength());
  }
  for (std::size_t k = 0; k < rows.size(); ++k) {
    NewRow& row = changed[k];
    if (!c->MoveTo(rows[k])) Raise(KURA_KEYORRECDELETED, {.table = c->TableName()});
    c->ReadCurrent(nullptr, true);
    try {
      for (const auto& [n, v] : row.blobs) c->SetField(row.image.data(), n, v);
      // A row another user changed since it was read is not overwritten.
      c->ModifyRecord(row.image.data(), false, originals[k].data());
    } catch (...) {
      c->CancelEdit();
      throw;
    }
  }
  return static_cast<std::int64_t>(rows.size());
}

std::int64_t ExecuteDelete(TDataSession& session, TableCatalog& catalog, const TQueryStatement& st) {
  const TDataQuery& q = st.Master();
  Target c(session, catalog, q.sources.front()->tableName);
  const std::unique_ptr<TExpToken> where = q.where ? CloneBound(*q.where) : nullptr;
  const std::vector<std::uint32_t> rows = MatchingRows(*c, where.get());
  // From the last to the first, so that the ordinals still to come stay.
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    if (!c->MoveTo(*it)) Raise(KURA_KEYORRECDELETED, {.table = c->TableName()});
    c->ReadCurrent();
    c->DeleteRecord(false);
  }
  return static_cast<std::int64_t>(rows.size());
}

}  // namespace

std::int64_t ExecuteDataChange(TDataSession& session, TableCatalog& catalog,
                               const TQueryStatement& statement, std::string_view text) {
  switch (statement.Kind()) {
    case StatementKind::kInsert: return ExecuteInsert(session, catalog, statement, text);
    case StatementKind::kUpdate: return ExecuteUpdate(session, catalog, statement);
    case StatementKind::kDelete: return ExecuteDelete(session, catalog, statement);
    default: return 0;
  }
}

std::int64_t ExecuteChangeStatement(TDataSession& session, TableCatalog& catalog,
                                    const TQueryStatement& statement, std::string_view text) {
  if (ExecuteStructureStatement(catalog.Directory(), statement.Parsed(), catalog.Directory().Path()))
    return 0;
  const StatementKind kind = statement.Kind();
  if (kind == StatementKind::kInsert || kind == StatementKind::kUpdate ||
      kind == StatementKind::kDelete)
    return ExecuteDataChange(session, catalog, statement, text);
  SqlError(std::string(StatementKindName(kind)) + " statements are not supported by this engine");
}

}  // namespace kura::sql
