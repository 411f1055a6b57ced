// The conflict model on 5,000 timers (200 of them repeated) over four satellite tuners: the
// full check (model built and every conflict found), one edit's verdict (a one-shot timer and a
// repeated one), each against a plain pass over the same timers in the same run. The summary
// at the end compares each figure with its bound: the full check within 50 ms, a verdict
// within 5 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "best_times.h"
#include "boxdata/box_settings.h"
#include "boxdata/service_list.h"
#include "plan/conflict_model.h"
#include "plan/nim_sockets.h"
#include "plan/tuner_setup.h"
#include "platform/time_zone.h"

namespace tivolo::plan {
namespace {

using bench::Best;
using bench::g_best;
using bench::Timed;

constexpr int kTimers = 5000;
constexpr int kRepeated = 200;
constexpr int kDays = 120;
constexpr int kTransponders = 60;
constexpr int64_t kStart = 1796169600;  // 2026-12-02 00:00 UTC
constexpr double kFullBoundMs = 50.0;
constexpr double kVerdictBoundMs = 5.0;

struct Bench {
  std::vector<PlanTimer> timers;
  TunerSet tuners;
  boxdata::TransponderList transponders;
  platform::ClockSettings clock;
};

uint32_t Next(uint32_t& seed) {
  seed = seed * 1103515245u + 12345u;
  return seed >> 8;
}

const Bench& Data() {
  static const Bench bench = [] {
    Bench b;
    // Two thirds of the transponders on 19.2E, a third on 28.2E, both bands and polarisations.
    std::string lamedb = "eDVB services /4/\ntransponders\n";
    for (int i = 0; i < kTransponders; ++i) {
      const int pos = i % 3 == 2 ? 282 : 192;
      char line[160];
      std::snprintf(line, sizeof line, "%08x:%04x:0001\n\ts %d:27500000:%d:4:%d:2:0:%d\n/\n",
                    pos << 16, i + 1, 10700000 + (i * 37 % 50) * 40000, i % 2, pos, i % 4 == 0);
      lamedb += line;
    }
    lamedb += "end\nservices\nend\n";
    b.transponders = boxdata::ReadTransponders(boxdata::ServiceList(lamedb));
    std::string sockets;
    for (int i = 0; i < 4; ++i)
      sockets += "NIM Socket " + std::to_string(i) + ":\n\tType: DVB-S2\n\tName: Tuner\n";
    const auto setup =
        ReadTunerSetup(boxdata::ParseBoxSettings(
                           "config.Nims.0.configMode=simple\nconfig.Nims.0.diseqcMode=diseqc_a_b\n"
                           "config.Nims.0.diseqcA=192\nconfig.Nims.0.diseqcB=282\n"
                           "config.Nims.1.configMode=loopthrough\nconfig.Nims.1.connectedTo=0\n"
                           "config.Nims.2.configMode=simple\nconfig.Nims.2.diseqcMode=diseqc_a_b\n"
                           "config.Nims.2.diseqcA=192\nconfig.Nims.2.diseqcB=282\n"
                           "config.Nims.3.configMode=equal\nconfig.Nims.3.connectedTo=2\n")
                           .tuner_keys);
    b.tuners = BuildTunerSet(ParseNimSockets(sockets), &setup);
    b.clock.time_zone = platform::ParsePosixTz("CET-1CEST,M3.5.0,M10.5.0/3");
    uint32_t seed = 7;
    for (int i = 0; i < kTimers; ++i) {
      PlanTimer t;
      const int tp = static_cast<int>(Next(seed) % kTransponders);
      const int pos = tp % 3 == 2 ? 282 : 192;
      char ref[80];
      std::snprintf(ref, sizeof ref, "1:0:19:%X:%X:1:%X:0:0:0:", i + 1, tp + 1, pos << 16);
      t.serviceref = ref;
      const int day = static_cast<int>(Next(seed) % kDays);
      const int minute = 6 * 60 + static_cast<int>(Next(seed) % (17 * 60));
      t.begin = kStart + day * 86400 + minute * 60;
      t.end = t.begin + (30 + Next(seed) % 90) * 60;
      if (i < kRepeated) t.repeated = 1 + Next(seed) % 127;
      t.name = "Timer " + std::to_string(i);
      b.timers.push_back(std::move(t));
    }
    return b;
  }();
  return bench;
}

// The plain pass: every timer looked at once, as any list operation does.
void BM_PlainPass(benchmark::State& state) {
  const Bench& b = Data();
  for (auto _ : state) {
    Timed("plain", [&] {
      int64_t sum = 0;
      for (const PlanTimer& t : b.timers)
        sum += TakesPart(t, kStart) ? t.end - t.begin + t.serviceref.size() : 0;
      benchmark::DoNotOptimize(sum);
    });
  }
}

void BM_FullCheck(benchmark::State& state) {
  const Bench& b = Data();
  size_t conflicts = 0;
  for (auto _ : state) {
    Timed("full", [&] {
      const ConflictModel model(b.timers, b.tuners, b.transponders, b.clock, kStart);
      conflicts = model.Check().conflicts.size();
    });
  }
  state.counters["conflicts"] = static_cast<double>(conflicts);
}

void BM_Verdict(benchmark::State& state, uint32_t index, const char* name) {
  const Bench& b = Data();
  static const ConflictModel model(b.timers, b.tuners, b.transponders, b.clock, kStart);
  PlanTimer edited = b.timers[index];
  edited.begin += 1800;
  edited.end += 1800;
  size_t conflicts = 0;
  for (auto _ : state)
    Timed(name, [&] { conflicts = model.VerdictFor(edited, index).conflicts.size(); });
  state.counters["conflicts"] = static_cast<double>(conflicts);
}

// Interleaved, so that a change in the machine's load hits each.
BENCHMARK(BM_PlainPass)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullCheck)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict, one_shot, 2500, "verdict one-shot")
    ->Iterations(50)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Verdict, repeated, 17, "verdict repeated")
    ->Iterations(50)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPass)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullCheck)->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tivolo::plan

int main(int argc, char** argv) {
  using namespace tivolo::plan;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!g_best.count("plain")) return 0;
  const double plain = g_best["plain"].elapsed;
  std::printf("%d timers (%d repeated) over 4 tuners; plain pass %.3f ms (best run)\n", kTimers,
              kRepeated, plain);
  const std::pair<const char*, double> rows[] = {{"full", kFullBoundMs},
                                                 {"verdict one-shot", kVerdictBoundMs},
                                                 {"verdict repeated", kVerdictBoundMs}};
  for (const auto& [name, bound] : rows) {
    if (!g_best.count(name)) continue;
    const double ms = g_best[name].elapsed;
    std::printf("%-17s %8.3f ms = %7.1f x the plain pass (bound %.0f ms) %s\n", name, ms,
                ms / plain, bound, ms <= bound ? "ok" : "TOO SLOW");
  }
  return 0;
}
