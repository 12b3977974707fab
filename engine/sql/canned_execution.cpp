#include "engine/sql/canned_execution.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/errors/kura_error.h"
#include "engine/sql/canned_values.h"
#include "engine/sql/top_rows.h"
#include "engine/storage/field_values.h"
#include "engine/storage/record_file_sort.h"
#include "engine/expr/sql_error.h"
#include "engine/storage/blob_file.h"
#include "engine/storage/locale.h"
#include "engine/storage/records_bitmap.h"
#include "engine/storage/table_filter_source.h"

namespace kura::sql {

SourceRows::SourceRows(const std::vector<TDataTable*>& tables)
    : tables_(tables), rows_(tables.size()) {
  for (TDataTable* t : tables) fields_.push_back(&t->Data().Fields());
}

std::size_t SourceRows::SlotCount(std::size_t table) const {
  return static_cast<std::size_t>(std::max(0, tables_[table]->Data().RecordCount()));
}

std::uint32_t SourceRows::RecordLength(std::size_t table) const {
  return tables_[table]->Data().RecordLength();
}

bool SourceRows::ReadImage(std::size_t table, std::int32_t n, std::uint8_t* out,
                           bool sequential) const {
  TDataTable& t = *tables_[table];
  TRecord* r = t.ReadRecord(n, sequential);
  // The table changed under the read: its caches were dropped; read the
  // slot again from the file.
  if (r == nullptr) r = t.ReadRecord(n, sequential);
  if (r == nullptr) Raise(KURA_READERR, {.table = t.Name()});
  if (RecordStatus(r->Data()) != kRecordActive) return false;
  std::memcpy(out, r->Data(), t.Data().RecordLength());
  return true;
}

const SourceRows::Rows& SourceRows::Loaded(std::size_t table) const {
  Rows& rows = rows_[table];
  if (rows.loaded) return rows;
  rows.length = RecordLength(table);
  rows.images.reserve(SlotCount(table) * rows.length);
  Stream(table, [&](const std::uint8_t* image) {
    rows.images.insert(rows.images.end(), image, image + rows.length);
    ++rows.count;
    return true;
  });
  rows.loaded = true;
  return rows;
}

// The records are read in blocks straight from the data file (changed
// records from the table's cache), a run of record numbers at a time, so
// that a visit that stops early leaves the rest unread.
void SourceRows::Stream(std::size_t table,
                        const std::function<bool(const std::uint8_t*)>& visit) const {
  if (rows_[table].loaded) {
    for (std::size_t r = 0; r < RowCount(table); ++r) {
      if (!visit(Row(table, r))) return;
    }
    return;
  }
  constexpr std::uint32_t kRun = 4096;
  const auto slots = static_cast<std::uint32_t>(SlotCount(table));
  TableFilterSource source(*tables_[table]);
  TRecordsBitmap run(slots);
  bool going = true;
  for (std::uint32_t first = 1; first <= slots && going; first += kRun) {
    const std::uint32_t last = std::min(slots, first + kRun - 1);
    for (std::uint32_t n = first; n <= last; ++n) run.Set(n);
    // Every visited bit is cleared (the test answers false), so the bitmap
    // is empty again for the next run.
    source.FilterImages(run, [&](std::uint32_t, const std::uint8_t* image) {
      if (going && RecordStatus(image) == kRecordActive) going = visit(image);
      return false;
    });
  }
}

Value JoinedRow::SubQueryValue(const TExpToken& node) const {
  const auto* all = rows_.SubQueries();
  const auto it = all ? all->find(node.subQuery) : decltype(all->end()){};
  if (all == nullptr || it == all->end()) return RowAccessor::SubQueryValue(node);
  if (it->second.size() > 1) SqlError("Sub-select query returned more than one row in '" + node.text + "'");
  return it->second.empty() ? Value::NullOf(node.type, node.subType) : it->second.front();
}

bool JoinedRow::SubQueryContains(const TExpToken& node, const Value& value) const {
  const auto* all = rows_.SubQueries();
  const auto it = all ? all->find(node.subQuery) : decltype(all->end()){};
  if (all == nullptr || it == all->end()) return RowAccessor::SubQueryContains(node, value);
  for (const Value& v : it->second) {
    if (CompareValues(CompareOp::kEq, value, v, ByteOrderCollation())) return true;
  }
  return false;
}

bool JoinedRow::SubQueryExists(const TExpToken& node) const {
  const auto* all = rows_.SubQueries();
  const auto it = all ? all->find(node.subQuery) : decltype(all->end()){};
  if (all == nullptr || it == all->end()) return RowAccessor::SubQueryExists(node);
  return !it->second.empty();
}

Value JoinedRow::FieldValue(int tablePos, int fieldNo) const {
  const auto t = static_cast<std::size_t>(tablePos - 1);
  const TFieldDescriptor& f = rows_.Fields(t)[static_cast<std::size_t>(fieldNo - 1)];
  if (current_[t] == nullptr) return Value::NullOf(f.type == kFieldUInt32 ? kTypeLargeInt : f.type, f.subtype);
  Value v = ReadFieldValue(current_[t], f);
  TDataTable& table = rows_.Table(t);
  if (f.type == kFieldBlob && table.Blob() != nullptr) {
    const BlobRef ref = GetBlobRef(current_[t], f);
    if (ref.firstBlock == 0) return v;
    ReadLockScope lock(table);
    Value blob = Value::NullOf(f.type, f.subtype);
    blob.text = table.Blob()->ReadValue(ref);
    blob.null = blob.text.empty();
    return blob;
  }
  return v;
}

bool ByteOrderText(const CannedRun& run) {
  return run.tableCollation == nullptr || run.tableCollation->IsByteOrder();
}

namespace {

bool HasAggregates(const TDataQuery& q) {
  for (const TResultField& f : q.selectList) {
    if (f.expression && ContainsAggregate(*f.expression)) return true;
  }
  return false;
}

bool KeepsTopRows(const TDataQuery& q) { return q.hasOrderBy && q.top >= 0 && !q.distinct; }

// Evaluates the select list of every qualifying row into the result table.
std::int64_t FillPlain(const CannedRun& run, const SourceRows& rows, std::int64_t limit,
                       bool keepTop = false) {
  TDataTable& result = run.result;
  const TDataFile& data = result.Data();
  std::vector<std::uint8_t> image(data.RecordLength());
  std::int64_t count = 0;
  if (limit == 0) return 0;
  std::optional<TopRows> top;
  if (keepTop && KeepsTopRows(run.query)) top.emplace(run);
  WalkJoinedRows(run.query, rows, run.collation, ByteOrderText(run), [&](JoinedRow& row) {
    if (run.query.where && !EvaluateCondition(*run.query.where, row, run.collation)) return true;
    std::fill(image.begin(), image.end(), 0);
    auto write = [&](std::size_t i) {
      const Value v = Evaluate(*run.query.selectList[i].expression, row, run.collation);
      WriteResultValue(result, image.data(), static_cast<int>(i + 1), v, run.tableCollation.get());
    };
    ++count;
    // The order columns first: a row that cannot be among the first rows
    // is left before its other columns are evaluated.
    if (top) {
      for (std::size_t i : top->OrderColumns()) write(i);
      if (top->Beyond(image.data())) return limit < 0 || count < limit;
    }
    for (std::size_t i = 0; i < run.query.selectList.size(); ++i) {
      if (!top || !top->IsOrderColumn(i)) write(i);
    }
    AppendResultRow(result, image.data());
    if (top) top->Appended();
    return limit < 0 || count < limit;
  });
  return top ? top->Kept() : count;
}

std::int64_t Sort(const CannedRun& run, std::vector<SortField> fields, const SortOptions& options) {
  return SortTable(run.session, run.result, fields, options).outputRows;
}

}  // namespace

void AppendResultRow(TDataTable& result, const std::uint8_t* image) {
  result.AppendRecord(image);
}

void WriteResultValue(TDataTable& result, std::uint8_t* image, int fieldNo, const Value& v,
                      const TableCollation* collation) {
  const TFieldDescriptor& f = result.Data().Field(fieldNo);
  if (f.type != kFieldBlob || result.Blob() == nullptr) {
    WriteFieldValue(image, f, v, collation);
    return;
  }
  const Value text = IsTextType(v.type, v.subType) || v.type == kTypeBlob || v.null
                         ? v : ConvertValue(v, kTypeString, 0);
  if (text.null || text.text.empty()) {
    SetBlobRef(image, f, BlobRef{});
    return;
  }
  SetBlobRef(image, f, result.Blob()->WriteValue(BlobRef{}, text.text,
                                                 result.Data().NextBlobSerial()));
}

ColumnType CommonColumnType(ColumnType a, const TResultField& b) {
  if (a.type == b.type && a.subType == b.subType) return {a.type, a.subType, std::max(a.size, b.size)};
  if (b.type == kTypeNone) return a;
  if (a.type == kTypeNone) return {b.type, b.subType, b.size};
  if (IsIntegerType(a.type) && IsIntegerType(b.type)) {
    const bool wide = a.type == kTypeLargeInt || b.type == kTypeLargeInt;
    return {wide ? kTypeLargeInt : kTypeInteger, 0, wide ? 8 : 4};
  }
  if (IsNumericType(a.type) && IsNumericType(b.type)) {
    const bool real = a.type == kTypeFloat || b.type == kTypeFloat;
    return {real ? kTypeFloat : kTypeBcd, 0, real ? 8 : 34};
  }
  if (IsTextType(a.type, a.subType) && IsTextType(b.type, b.subType)) {
    if (IsMemoType(a.type, a.subType) || IsMemoType(b.type, b.subType)) return {kTypeBlob, kSubMemo, 8};
    return {kTypeString, 0, std::max(a.size, b.size)};
  }
  if (IsDateTimeType(a.type) && IsDateTimeType(b.type) && a.type != kTypeTime && b.type != kTypeTime) {
    return {kTypeTimestamp, 0, 8};
  }
  SqlError("Type mismatch between the columns of the queries of a UNION in column '" +
           b.expression->text + "'");
}

// The rows of the result table made distinct (BLOB columns left out of the
// comparison); returns how many remain.
std::int64_t MakeDistinct(const CannedRun& run) {
  std::vector<SortField> all;
  for (const TFieldDescriptor& f : run.result.Data().Fields()) {
    if (f.type != kFieldBlob) all.push_back({f, false});
  }
  SortOptions o;
  o.distinct = true;
  return Sort(run, all, o);
}

// UNION associates to the left: after each query whose link to the ones
// before it is UNION (not UNION ALL), everything so far is made distinct.
std::int64_t ExecuteUnion(const std::vector<CannedRun>& runs) {
  const CannedRun& master = runs.front();
  master.result.Data().Empty();
  master.result.Index().Empty();
  if (master.result.Blob() != nullptr) master.result.Blob()->Empty();
  std::int64_t count = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const CannedRun& run = runs[i];
    SourceRows rows(run.sources);
    rows.SetSubQueryRows(run.subQueries);
    const TDataQuery& q = run.query;
    const bool grouped = q.hasGroupBy || HasAggregates(q);
    const std::int64_t limit = q.top >= 0 && !q.distinct && !grouped ? q.top : -1;
    count += grouped ? FillGrouped(run, rows, limit) : FillPlain(run, rows, limit);
    const bool distinct = i == 0 ? q.distinct : !runs[i - 1].query.unionAll;
    if (distinct) count = MakeDistinct(master);
  }
  return count;
}

namespace {

// The sub-select of an EXISTS: one value when it gives a row, none when it
// gives none. The walk stops at the first row that passes WHERE; its
// columns are never evaluated.
std::vector<Value> FirstRowMark(const CannedRun& run) {
  const TDataQuery& q = run.query;
  if (q.hasHaving) {
    SqlError("Sub-select queries with several columns, GROUP BY or aggregates are not supported by this engine");
  }
  if (q.top == 0) return {};
  // Aggregates without GROUP BY give their one row even over no rows.
  if (q.groupBy.empty() && HasAggregates(q)) return {Value::Integer(1)};
  SourceRows rows(run.sources);
  rows.SetSubQueryRows(run.subQueries);
  std::vector<Value> mark;
  WalkJoinedRows(q, rows, run.collation, ByteOrderText(run), [&](JoinedRow& row) {
    if (q.where && !EvaluateCondition(*q.where, row, run.collation)) return true;
    mark.push_back(Value::Integer(1));
    return false;
  });
  return mark;
}

}  // namespace

std::vector<Value> SubQueryColumn(const CannedRun& run) {
  const TDataQuery& q = run.query;
  if (q.existsTest) return FirstRowMark(run);
  if (q.hasGroupBy || HasAggregates(q) || q.selectList.size() != 1) {
    SqlError("Sub-select queries with several columns, GROUP BY or aggregates are not supported by this engine");
  }
  SourceRows rows(run.sources);
  rows.SetSubQueryRows(run.subQueries);
  std::vector<Value> values;
  WalkJoinedRows(q, rows, run.collation, ByteOrderText(run), [&](JoinedRow& row) {
    if (q.where && !EvaluateCondition(*q.where, row, run.collation)) return true;
    values.push_back(Evaluate(*q.selectList[0].expression, row, run.collation));
    return true;
  });
  return values;
}

std::int64_t ExecuteCanned(const CannedRun& run) {
  const TDataQuery& q = run.query;
  run.result.Data().Empty();
  run.result.Index().Empty();
  if (run.result.Blob() != nullptr) run.result.Blob()->Empty();
  SourceRows rows(run.sources);
  rows.SetSubQueryRows(run.subQueries);

  const bool grouped = q.hasGroupBy || HasAggregates(q);
  std::int64_t limit = run.maxRowCount >= 0 ? run.maxRowCount : -1;
  if (q.top >= 0 && !q.hasOrderBy && !grouped && !q.distinct) {
    limit = limit < 0 ? q.top : std::min<std::int64_t>(limit, q.top);
  }
  std::int64_t count = grouped ? FillGrouped(run, rows, limit) : FillPlain(run, rows, limit, true);

  const TDataFile& data = run.result.Data();
  if (q.distinct) {
    std::vector<SortField> all;
    for (const TFieldDescriptor& f : data.Fields()) {
      if (f.type != kFieldBlob) all.push_back({f, false});
    }
    SortOptions o;
    o.distinct = true;
    count = Sort(run, all, o);
  }
  if (q.hasOrderBy) {
    const std::vector<SortField> order = OrderFields(run);
    SortOptions o;
    o.caseInsensitive = q.noCase;
    o.rowLimit = q.top;
    count = Sort(run, order, o);
  } else if (q.top >= 0 && count > q.top) {
    SortOptions o;
    o.rowLimit = q.top;  // no fields: the rows keep their order
    count = Sort(run, {}, o);
  }
  return count;
}

}  // namespace kura::sql
