// Speed of the SQL front end: preparing the program's statements, and
// evaluating the section condition over one row (the filter's per-record
// test).
#include <benchmark/benchmark.h>

#include <string>

#include "engine/expr/evaluator.h"
#include "engine/sql/statement_parser.h"
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

// Parsing statements that are long for what they say: an IN list of n
// numbers, a literal of n bytes, and that literal under 200 ANDs. The time
// per byte stays the same from size to size.
std::string InList(int n) {
  std::string text = "SELECT MNB FROM mokuji WHERE MNB IN (0";
  for (int i = 1; i < n; ++i) text += "," + std::to_string(i);
  return text + ")";
}

std::string LongLiteral(int n, int ands) {
  std::string text = "SELECT MNB FROM mokuji WHERE CMT = '" + std::string(n, 'x') + "'";
  for (int i = 0; i < ands; ++i) text += " AND MNB = 1";
  return text;
}

void ParseEach(benchmark::State& state, const std::string& text) {
  for (auto _ : state) benchmark::DoNotOptimize(ParseStatement(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_ParseInList(benchmark::State& state) {
  ParseEach(state, InList(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ParseInList)->Arg(10000)->Arg(100000)->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

void BM_ParseLongLiteral(benchmark::State& state) {
  ParseEach(state, LongLiteral(static_cast<int>(state.range(0)), 0));
}
BENCHMARK(BM_ParseLongLiteral)->Arg(1 << 20)->Arg(8 << 20)->Arg(32 << 20)
    ->Unit(benchmark::kMillisecond);

void BM_ParseLongLiteralUnderAnds(benchmark::State& state) {
  ParseEach(state, LongLiteral(static_cast<int>(state.range(0)), 200));
}
BENCHMARK(BM_ParseLongLiteralUnderAnds)->Arg(1 << 20)->Arg(8 << 20)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
