// libFuzzer target: prepares any text as a statement against the test
// catalog, binds the parameters and evaluates the conditions and select
// items over a fixed row. Only engine errors may come out; anything else
// (a crash, another exception, a sanitizer report, a hang) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/expr/date_time.h"
#include "engine/expr/evaluator.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/testing/test_catalog.h"

namespace {

using namespace kura::sql;

// Every field of every table holds a value derived from its number; the
// evaluation must cope with whatever the expressions do with them.
class FuzzRow : public RowAccessor {
 public:
  explicit FuzzRow(const TDataQuery& q) : q_(q) {}
  Value FieldValue(int tablePos, int fieldNo) const override {
    const auto& schema = *q_.sources.at(static_cast<std::size_t>(tablePos - 1))->schema;
    const SqlColumn& c = schema.columns.at(static_cast<std::size_t>(fieldNo - 1));
    if (fieldNo % 5 == 0) return Value::NullOf(c.type, c.subType);
    switch (c.type) {
      case kTypeString: return Value::String("ab" + std::to_string(fieldNo));
      case kTypeDate: return Value::Date(DayNumber(2024, 2, 29));
      case kTypeTime: return Value::Time(12 * 3600000);
      case kTypeTimestamp: return Value::Timestamp(1e14);
      case kTypeBoolean: return Value::Boolean(fieldNo % 2 == 0);
      case kTypeFloat:
      case kTypeBcd: return Value::Float(2.5, c.type);
      case kTypeBlob:
      case kTypeBytes: {
        Value v = Value::String("\x01\x02");
        v.type = c.type;
        v.subType = c.subType;
        return v;
      }
      default: return Value::Integer(fieldNo * 1000 - 7, c.type);
    }
  }
  Value OuterFieldValue(int, int, int) const override { return Value::Integer(1); }

 private:
  const TDataQuery& q_;
};

void Exercise(TQueryStatement& statement) {
  std::vector<Value> values;
  for (int i = 0; i < statement.ParameterCount(); ++i)
    values.push_back(i % 3 == 0 ? Value::Integer(i) : i % 3 == 1 ? Value::String("2024-01-01") : Value::Null());
  try {
    statement.BindParameters(values);
  } catch (const kura::EKuraEngineError&) {
    return;
  }
  for (const auto& q : statement.Queries()) {
    if (q->kind != StatementKind::kSelect || q->sources.empty()) continue;
    FuzzRow row(*q);
    try {
      if (q->where) EvaluateCondition(*q->where, row);
    } catch (const kura::EKuraEngineError&) {
    }
    for (const auto& f : q->selectList) {
      if (f.aggregate != AggregateKind::kNone) continue;
      try {
        Evaluate(*f.expression, row);
      } catch (const kura::EKuraEngineError&) {
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  TestCatalog catalog;
  TQueryStatement statement(catalog);
  try {
    statement.Prepare(text);
    for (int n = 0; n < 8; ++n) {
      Exercise(statement);
      if (!statement.HasNextStatement()) break;
      statement.PrepareNext();
    }
  } catch (const kura::EKuraEngineError&) {
    if (statement.Prepared()) __builtin_trap();  // a failed prepare keeps nothing
  }
  return 0;
}
