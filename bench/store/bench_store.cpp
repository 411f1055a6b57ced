// The program's Timers table (its fields, calculated day fields, indexes and repetition
// handler), filled with 100,000 timers at random times, then scanned.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

#include "boxdata/box_tables.h"
#include "store/store.h"

namespace {

using namespace tivolo::store;

class CountingLink : public DataLink {
 public:
  void DataSetChanged() override { ++events; }
  void DataSetScrolled() override { ++events; }
  void FieldChanged(Field&) override { ++events; }
  long events = 0;
};

struct ProgramTimers {
  ProgramTimers() {
    t.Open();
    tables.ds_timers.Attach(link);
  }

  void Fill(int n, unsigned seed) {
    std::mt19937 rng(seed);
    Field& zender = t.FieldNamed("Zender");
    Field& name = t.FieldNamed("Name");
    Field& begin = t.FieldNamed("Begin");
    Field& end = t.FieldNamed("End");
    Field& afterevent = t.FieldNamed("Afterevent");
    Field& serviceref = t.FieldNamed("Serviceref");
    Field& eit = t.FieldNamed("Eit");
    Field& repeated_org = t.FieldNamed("RepeatedOrg");
    for (int i = 0; i < n; ++i) {
      // Whole minutes over about three years, as timers are.
      double b = 45000.0 + static_cast<double>(rng() % (3 * 365 * 1440)) / 1440.0;
      t.Append();
      zender.SetAsString("Channel " + std::to_string(rng() % 60));
      name.SetAsString("Programme with a longer title " + std::to_string(i));
      begin.SetAsDateTime(b);
      end.SetAsDateTime(b + static_cast<double>(30 + rng() % 120) / 1440.0);
      afterevent.SetAsString("auto");
      serviceref.SetAsString("1:0:19:283D:3FB:1:C00000:0:0:0:");
      eit.SetAsLargeInt(static_cast<int64_t>(rng() % 65536));
      repeated_org.SetAsLargeInt(i % 10 == 0 ? 31 : 0);
      t.Post();
    }
  }

  tivolo::boxdata::BoxTables tables;
  MemTable& t = tables.timers;
  CountingLink link;
};

constexpr int kTimers = 100000;

void BM_AppendPost100k(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto table = std::make_unique<ProgramTimers>();
    state.ResumeTiming();
    table->Fill(kTimers, 1234);
    benchmark::DoNotOptimize(table->t.RecordCount());
    state.PauseTiming();
    table.reset();
    state.ResumeTiming();
  }
  state.counters["records"] = kTimers;
}
BENCHMARK(BM_AppendPost100k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Scan(benchmark::State& state) {
  const int n_records = static_cast<int>(state.range(0));
  ProgramTimers table;
  table.Fill(n_records, 1234);
  Field& begin = table.t.FieldNamed("Begin");
  for (auto _ : state) {
    long n = 0;
    double last = 0;
    for (table.t.First(); !table.t.Eof(); table.t.Next()) {
      last = begin.AsDateTime();
      ++n;
    }
    benchmark::DoNotOptimize(last);
    if (n != n_records) state.SkipWithError("scan missed records");
  }
  state.SetItemsProcessed(state.iterations() * n_records);
}
BENCHMARK(BM_Scan)->Arg(1000)->Arg(kTimers)->Unit(benchmark::kMillisecond);

void BM_RecordCount(benchmark::State& state) {
  ProgramTimers table;
  table.Fill(static_cast<int>(state.range(0)), 99);
  for (auto _ : state)
    benchmark::DoNotOptimize(table.t.RecordCount());
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RecordCount)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity(benchmark::o1);

}  // namespace

BENCHMARK_MAIN();
