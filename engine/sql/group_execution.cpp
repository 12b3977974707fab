// GROUP BY and aggregates. The qualifying rows are written to a work table
// (group key values, the source columns the select list and HAVING use
// outside aggregates, and one accumulator per aggregate); the sort forms the
// groups and accumulates them, HAVING withdraws groups, and each remaining
// group becomes one row of the result table.
//
// Work table columns, in this order:
//   K1..Km  the group key values
//   C1..Cp  source columns referenced outside aggregates (first row's value)
//   A1..An  per aggregate: COUNT (64-bit integer), SUM / RUNSUM (64-bit
//           integer or float), AVG (float sum, followed by its count in
//           N<j>), MIN / MAX (the argument's type)
#include <algorithm>
#include <map>

#include "engine/errors/kura_error.h"
#include "engine/sql/canned_execution.h"
#include "engine/sql/canned_values.h"
#include "engine/expr/sql_error.h"
#include "engine/storage/record_file_sort.h"
#include "engine/storage/storage_table.h"
#include "engine/storage/field_values.h"
#include "engine/storage/index_header.h"

namespace kura::sql {
namespace {

struct Aggregate {
  const TExpToken* node = nullptr;
  int field = 0;       // the accumulator's field number in the work table
  int countField = 0;  // AVG: the count's field number
};

class GroupPlan {
 public:
  GroupPlan(const TDataQuery& q, const SourceRows& rows) {
    for (const TGroupByField& g : q.groupBy) {
      if (g.resultIndex >= 0) {
        keys_.push_back(q.selectList[static_cast<std::size_t>(g.resultIndex)].expression.get());
      } else {
        auto node = std::make_unique<TExpToken>();
        node->nodeClass = NodeClass::kColumn;
        node->tablePosition = g.tablePosition;
        node->fieldNumber = g.fieldNumber;
        const TFieldDescriptor& f = rows.Fields(static_cast<std::size_t>(g.tablePosition - 1))
                                        [static_cast<std::size_t>(g.fieldNumber - 1)];
        node->type = f.type;
        node->size = HasDeclaredSize(f.type) ? f.declaredSize : 0;
        keys_.push_back(node.get());
        ownedKeys_.push_back(std::move(node));
      }
    }
    for (const TResultField& f : q.selectList) Collect(*f.expression);
    if (q.having) Collect(*q.having);
  }

  // The work table's definition; numbers the fields as it goes.
  DataFileDefinition Definition(const SourceRows& rows) {
    DataFileDefinition def;
    auto add = [&](const std::string& name, int type, int sub, int size) {
      const auto n = static_cast<std::uint16_t>(def.fields.size() + 1);
      def.fields.push_back(ResultColumnField(n, name, type, sub, size, name));
      return static_cast<int>(n);
    };
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      add("K" + std::to_string(i + 1), keys_[i]->type, keys_[i]->subType, keys_[i]->size);
    }
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      const TFieldDescriptor& f = rows.Fields(static_cast<std::size_t>(columns_[i].first - 1))
                                      [static_cast<std::size_t>(columns_[i].second - 1)];
      const int type = f.type == kFieldUInt32 ? kTypeLargeInt : f.type;
      columnFields_.push_back(add("C" + std::to_string(i + 1), type, f.subtype,
                                  HasDeclaredSize(f.type) ? f.declaredSize : 0));
    }
    for (std::size_t i = 0; i < aggregates_.size(); ++i) {
      Aggregate& a = aggregates_[i];
      const std::string name = "A" + std::to_string(i + 1);
      const TExpToken* arg = a.node->left.get();
      switch (a.node->aggregate) {
        case AggregateKind::kCount: a.field = add(name, kTypeLargeInt, 0, 0); break;
        case AggregateKind::kAvg:
          a.field = add(name, kTypeFloat, 0, 0);
          a.countField = add("N" + std::to_string(i + 1), kTypeLargeInt, 0, 0);
          break;
        case AggregateKind::kSum: case AggregateKind::kRunSum:
          a.field = add(name, arg && IsIntegerType(arg->type) ? kTypeLargeInt : kTypeFloat, 0, 0);
          break;
        default:
          a.field = add(name, arg ? arg->type : kTypeString, arg ? arg->subType : 0,
                        arg ? arg->size : 0);
          break;
      }
    }
    return def;
  }

  const std::vector<const TExpToken*>& Keys() const { return keys_; }
  const std::vector<std::pair<int, int>>& Columns() const { return columns_; }
  const std::vector<int>& ColumnFields() const { return columnFields_; }
  const std::vector<Aggregate>& Aggregates() const { return aggregates_; }
  const Aggregate* Find(const TExpToken* node) const {
    for (const Aggregate& a : aggregates_) {
      if (a.node == node) return &a;
    }
    return nullptr;
  }
  int ColumnField(int tablePos, int fieldNo) const {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i] == std::pair{tablePos, fieldNo}) return columnFields_[i];
    }
    return 0;
  }

 private:
  void Collect(const TExpToken& node) {
    if (node.nodeClass == NodeClass::kAggregate) {
      aggregates_.push_back({&node, 0, 0});
      return;
    }
    if (node.nodeClass == NodeClass::kColumn && node.outerLevel == 0 && node.fieldNumber > 0) {
      const std::pair p{node.tablePosition, node.fieldNumber};
      if (std::find(columns_.begin(), columns_.end(), p) == columns_.end()) columns_.push_back(p);
    }
    node.ForEachChild([&](const TExpToken& c) { Collect(c); });
  }

  std::vector<const TExpToken*> keys_;
  std::vector<std::unique_ptr<TExpToken>> ownedKeys_;
  std::vector<std::pair<int, int>> columns_;
  std::vector<int> columnFields_;
  std::vector<Aggregate> aggregates_;
};

// A work-table row seen as the row of the select list and HAVING.
class GroupRow : public RowAccessor {
 public:
  GroupRow(const GroupPlan& plan, const TDataFile& work) : plan_(plan), work_(work) {}
  void Set(const std::uint8_t* row) { row_ = row; }
  void SetRunningSums(const std::map<const TExpToken*, Value>* sums) { running_ = sums; }

  Value FieldValue(int tablePos, int fieldNo) const override {
    const int f = plan_.ColumnField(tablePos, fieldNo);
    if (f == 0) return Value::Null();
    return ReadFieldValue(row_, work_.Field(f));
  }

  Value AggregateValue(const TExpToken& node) const override {
    const Aggregate* a = plan_.Find(&node);
    if (a == nullptr) return Value::Null();
    if (node.aggregate == AggregateKind::kRunSum && running_ != nullptr) {
      auto it = running_->find(&node);
      if (it != running_->end()) return it->second;
    }
    const Value v = ReadFieldValue(row_, work_.Field(a->field));
    if (node.aggregate != AggregateKind::kAvg) return v;
    const Value n = ReadFieldValue(row_, work_.Field(a->countField));
    if (v.null || n.null || n.integer == 0) return Value::NullOf(kTypeFloat);
    return Value::Float(v.real / static_cast<double>(n.integer));
  }

 private:
  const GroupPlan& plan_;
  const TDataFile& work_;
  const std::uint8_t* row_ = nullptr;
  const std::map<const TExpToken*, Value>* running_ = nullptr;
};

Value Add(const Value& a, const Value& b) {
  if (a.null) return b;
  if (b.null) return a;
  if (a.type == kTypeLargeInt) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a.integer, b.integer, &sum)) {
      SqlError("Integer overflow in the sum of a group");
    }
    return Value::Integer(sum, kTypeLargeInt);
  }
  return Value::Float(a.AsDouble() + b.AsDouble());
}

// Adds the accumulators of `record` into those of `out`.
void Accumulate(const GroupPlan& plan, const TDataFile& work, const Collation& collation,
                const TableCollation* tc, const std::uint8_t* record, std::uint8_t* out) {
  for (const Aggregate& a : plan.Aggregates()) {
    const TFieldDescriptor& f = work.Field(a.field);
    const Value r = ReadFieldValue(record, f);
    const Value o = ReadFieldValue(out, f);
    Value next = o;
    switch (a.node->aggregate) {
      case AggregateKind::kMin:
        if (!r.null && (o.null || OrderValues(r, o, collation) < 0)) next = r;
        break;
      case AggregateKind::kMax:
        if (!r.null && (o.null || OrderValues(r, o, collation) > 0)) next = r;
        break;
      default: next = Add(o, r); break;
    }
    WriteFieldValue(out, f, next, tc);
    if (a.countField != 0) {
      const TFieldDescriptor& nf = work.Field(a.countField);
      WriteFieldValue(out, nf, Add(ReadFieldValue(out, nf), ReadFieldValue(record, nf)), tc);
    }
  }
}

// The work row of one source row: keys, columns, single-row accumulators.
void FillWorkRow(const GroupPlan& plan, const TDataFile& work, const Collation& collation,
                 const TableCollation* tc, const RowAccessor& row, std::uint8_t* image) {
  int field = 1;
  for (const TExpToken* k : plan.Keys()) {
    WriteFieldValue(image, work.Field(field++), Evaluate(*k, row, collation), tc);
  }
  for (std::size_t i = 0; i < plan.Columns().size(); ++i) {
    const auto& [t, n] = plan.Columns()[i];
    WriteFieldValue(image, work.Field(plan.ColumnFields()[i]), row.FieldValue(t, n), tc);
  }
  for (const Aggregate& a : plan.Aggregates()) {
    const TExpToken* arg = a.node->left.get();
    const Value v = arg ? Evaluate(*arg, row, collation) : Value::Null();
    Value stored = v;
    if (a.node->aggregate == AggregateKind::kCount) {
      stored = Value::Integer(arg == nullptr || !v.null ? 1 : 0, kTypeLargeInt);
    }
    WriteFieldValue(image, work.Field(a.field), stored, tc);
    if (a.countField != 0) {
      WriteFieldValue(image, work.Field(a.countField),
                      Value::Integer(v.null ? 0 : 1, kTypeLargeInt), tc);
    }
  }
}

// A temporary work table in the private directory, closed (and so
// deleted) on every path.
class WorkTable {
 public:
  WorkTable(TDataDirectory& dir, const DataFileDefinition& def) : dir_(dir) {
    std::string name = dir.UniqueTemporaryName(".DAT");
    name.resize(name.size() - 4);
    TIndexFileHeader index = NewIndexHeader();
    index.noPrimaryFields = 1;
    TableOpenOptions options;
    options.exclusive = true;
    options.temporary = true;
    table_ = dir.CreateTable(name, options, def, index);
  }
  ~WorkTable() {
    try {
      dir_.CloseTable(table_);
    } catch (const EKuraEngineError&) {
      // Closing a temporary table only discards it.
    }
  }
  TDataTable& Table() { return *table_; }

 private:
  TDataDirectory& dir_;
  TDataTable* table_ = nullptr;
};

}  // namespace

std::int64_t FillGrouped(const CannedRun& run, const SourceRows& rows, std::int64_t limit) {
  const TDataQuery& q = run.query;
  GroupPlan plan(q, rows);
  DataFileDefinition def = plan.Definition(rows);
  def.languageId = run.result.Data().Header().languageId;
  def.sortId = run.result.Data().Header().sortId;
  WorkTable work(run.workDirectory, def);
  TDataTable& table = work.Table();
  const TDataFile& wf = table.Data();
  const TableCollation* tc = run.tableCollation.get();

  std::vector<std::uint8_t> image(wf.RecordLength());
  std::int64_t sourceRows = 0;
  WalkJoinedRows(q, rows, run.collation, ByteOrderText(run), [&](JoinedRow& row) {
    if (q.where && !EvaluateCondition(*q.where, row, run.collation)) return true;
    std::fill(image.begin(), image.end(), 0);
    FillWorkRow(plan, wf, run.collation, tc, row, image.data());
    table.AppendRecord(image.data());
    ++sourceRows;
    return true;
  });

  GroupRow groupRow(plan, wf);
  SortOptions options;
  options.grouping = true;
  options.aggregate = [&](AggregateMode mode, std::uint8_t* record, std::uint8_t* out) {
    if (mode == AggregateMode::kAccumulate) Accumulate(plan, wf, run.collation, tc, record, out);
  };
  if (q.having) {
    options.keep = [&](const std::uint8_t* out) {
      groupRow.Set(out);
      return EvaluateCondition(*q.having, groupRow, run.collation);
    };
  }
  std::vector<SortField> keys;
  for (std::size_t i = 0; i < plan.Keys().size(); ++i) {
    keys.push_back({wf.Field(static_cast<int>(i + 1)), false});
  }
  SortTable(run.session, table, keys, options);

  // Without GROUP BY an empty input is still one group: COUNT gives 0 and
  // the other aggregates null.
  std::vector<std::uint8_t> emptyGroup;
  if (sourceRows == 0 && plan.Keys().empty()) {
    emptyGroup.assign(wf.RecordLength(), 0);
    for (const Aggregate& a : plan.Aggregates()) {
      if (a.node->aggregate == AggregateKind::kCount) {
        WriteFieldValue(emptyGroup.data(), wf.Field(a.field), Value::Integer(0, kTypeLargeInt), tc);
      }
    }
    groupRow.Set(emptyGroup.data());
    if (q.having && !EvaluateCondition(*q.having, groupRow, run.collation)) emptyGroup.clear();
  }

  const TDataFile& rf = run.result.Data();
  std::vector<std::uint8_t> out(rf.RecordLength());
  std::map<const TExpToken*, Value> running;
  groupRow.SetRunningSums(&running);
  std::int64_t count = 0;
  auto emit = [&](const std::uint8_t* groupImage) {
    groupRow.Set(groupImage);
    for (const Aggregate& a : plan.Aggregates()) {
      if (a.node->aggregate != AggregateKind::kRunSum) continue;
      running[a.node] = Add(running[a.node], ReadFieldValue(groupImage, wf.Field(a.field)));
    }
    std::fill(out.begin(), out.end(), 0);
    for (std::size_t i = 0; i < q.selectList.size(); ++i) {
      const Value v = Evaluate(*q.selectList[i].expression, groupRow, run.collation);
      WriteResultValue(run.result, out.data(), static_cast<int>(i + 1), v, tc);
    }
    AppendResultRow(run.result, out.data());
    ++count;
  };
  if (!emptyGroup.empty()) emit(emptyGroup.data());
  const std::int32_t groups = wf.RecordCount();
  for (std::int32_t n = 1; n <= groups && (limit < 0 || count < limit); ++n) {
    TRecord* r = table.ReadRecord(n, true);
    std::vector<std::uint8_t> copy(r->Data(), r->Data() + r->Length());
    emit(copy.data());
  }
  return count;
}

}  // namespace kura::sql
