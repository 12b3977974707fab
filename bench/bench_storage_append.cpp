// Appends records of a figure-shaped row (eight integers and a comment),
// one change at a time: each append takes the table's write lock, writes
// the record and the headers back and releases the lock, as every post to
// a shared table does. The time per iteration is the time per record (in
// microseconds); the counters give system calls and lock calls per record.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/storage/env_fault.h"
#include "engine/storage/field_values.h"
#include "engine/storage/storage_directory.h"

namespace {

using namespace kura;

DataFileDefinition FigureShape() {
  DataFileDefinition def;
  std::uint16_t n = 0;
  for (const char* name : {"MNB", "TES", "COL", "PST", "BFR", "BTO", "TNB"}) {
    def.fields.push_back(MakeField(++n, name, kFieldInteger));
  }
  def.fields.push_back(MakeField(++n, "CMT", kFieldString, 100));
  def.fields.push_back(MakeField(++n, "DIX", kFieldInteger));
  return def;
}

void BM_AppendSharedFigureRows(benchmark::State& state) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "kura-bench-XXXXXX").string();
  const std::string dir = ::mkdtemp(tmpl.data());
  FaultEnv env(Env::Default());  // passes everything through and counts calls
  TFileList files(&env);
  TDataSession session(files);
  TDataDirectory directory(session, dir);
  TIndexFileHeader index = NewIndexHeader();
  index.noPrimaryFields = 1;
  TDataTable* table = directory.CreateTable("figure", {}, FigureShape(), index);
  const TDataFile& data = table->Data();
  std::vector<std::uint8_t> rec(data.RecordLength(), 0);
  for (int f = 1; f <= 9; ++f) {
    if (data.Field(f).type == kFieldInteger) SetFieldInt(rec.data(), data.Field(f), f * 7);
  }
  SetFieldString(rec.data(), data.Field(8), "*", data.Collation());

  env.ResetCounters();
  std::int64_t appended = 0;
  for (auto _ : state) {
    SetFieldInt(rec.data(), data.Field(7), ++appended);
    benchmark::DoNotOptimize(table->AppendRecord(rec.data()));
  }
  state.counters["syscalls_per_record"] = benchmark::Counter(
      static_cast<double>(env.SystemCalls()) / static_cast<double>(appended));
  state.counters["locks_per_record"] = benchmark::Counter(
      static_cast<double>(env.LockCalls()) / static_cast<double>(appended));
  state.SetItemsProcessed(appended);
  directory.CloseTable(table);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_AppendSharedFigureRows)->Iterations(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
