// Speed of the SQL front end: preparing the program's statements, and
// evaluating the section condition over one row (the filter's per-record
// test).
#include <benchmark/benchmark.h>

#include "engine/expr/evaluator.h"
#include "engine/sql/query_statement.h"
#include "engine/sql/testing/test_catalog.h"

namespace {

using namespace kura::sql;

const char* const kContents =
    "Select * from mokuji\r\nWhere (MNB > 0 and MNB < 1000 and SIZE = ?)\r\nOrder By MNB";

void BM_PrepareContentsStatement(benchmark::State& state) {
  TestCatalog catalog;
  for (auto _ : state) {
    TQueryStatement statement(catalog);
    statement.Prepare(kContents);
    benchmark::DoNotOptimize(statement.ParameterCount());
  }
}
BENCHMARK(BM_PrepareContentsStatement);

class Row : public RowAccessor {
 public:
  Value FieldValue(int, int fieldNo) const override {
    return Value::Integer(fieldNo == 1 ? mnb : 7);
  }
  std::int64_t mnb = 0;
};

void BM_EvaluateSectionCondition(benchmark::State& state) {
  TestCatalog catalog;
  TQueryStatement statement(catalog);
  statement.Prepare(kContents);
  statement.BindParameters({Value::Integer(7)});
  const TExpToken& where = *statement.Master().where;
  Row row;
  std::int64_t hits = 0;
  for (auto _ : state) {
    row.mnb = (row.mnb + 37) % 3000;
    hits += EvaluateCondition(where, row);
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EvaluateSectionCondition);

}  // namespace

BENCHMARK_MAIN();
