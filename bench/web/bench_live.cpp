// The live apply of 50 changes (20 changed timers, 15 deleted, 15 added) to a box holding 500
// timers, against the simulated box's web interface: the calls, the write and the read-back
// with its checks. Reported beside the wall time: our own CPU time and the simulated
// receiver's, per apply. Between runs the changes are undone, outside the measurement.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "web/box_sim.h"
#include "web/live_apply.h"

namespace {

using namespace tivolo;
using web::BoxTimer;
using web::TimerOperation;
using Kind = TimerOperation::Kind;

constexpr int kTimers = 500;
constexpr int kChanged = 20;
constexpr int kDeleted = 15;
constexpr int kAdded = 15;
constexpr int64_t kT0 = 2000000000;
constexpr int64_t kHour = 3600;

BoxTimer Timer(int i) {
  std::string ref = "1:0:1:" + std::to_string(100 + i % 40) + ":" + std::to_string(10 + i % 7) +
                    ":1:C00000:0:0:0:";
  return {.serviceref = ref,
          .name = "Opname " + std::to_string(i),
          .description = "Aflevering " + std::to_string(i) + " van het seizoen",
          .begin = kT0 + i * kHour,
          .end = kT0 + i * kHour + 45 * 60,
          .afterevent = web::AfterEvent::kAuto,
          .dirname = "/media/hdd/movie/",
          .tags = i % 3 == 0 ? "serie" : ""};
}

// The 50 operations, and the ones that undo them.
void MakeBatch(std::vector<TimerOperation>& apply, std::vector<TimerOperation>& undo) {
  for (int i = 0; i < kChanged; ++i) {
    BoxTimer before = Timer(i * 7), after = before;
    after.name += " (verlengd)";
    after.end += 15 * 60;
    apply.push_back({Kind::kChange, before, after});
    undo.push_back({Kind::kChange, after, before});
  }
  for (int i = 0; i < kDeleted; ++i) {
    apply.push_back({Kind::kDelete, Timer(i * 7 + 3), {}});
    undo.push_back({Kind::kAdd, {}, Timer(i * 7 + 3)});
  }
  for (int i = 0; i < kAdded; ++i) {
    BoxTimer added = Timer(kTimers + i);
    apply.push_back({Kind::kAdd, {}, added});
    undo.push_back({Kind::kDelete, added, {}});
  }
}

double OurCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// User and system time of a process, from /proc.
double ProcessCpuMs(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string skip;
  for (int i = 0; i < 11; ++i)
    fields >> skip;  // state ... cmajflt
  double user = 0, system = 0;
  fields >> user >> system;
  return (user + system) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void BM_LiveApply50ChangesOf500Timers(benchmark::State& state) {
  std::vector<BoxTimer> timers;
  for (int i = 0; i < kTimers; ++i)
    timers.push_back(Timer(i));
  testing::BoxSim box(timers);
  web::WebInterface web(box.Endpoint());
  std::vector<TimerOperation> apply, undo;
  MakeBatch(apply, undo);
  double ours = 0, server = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<BoxTimer> before = web.TimerList();
    double ours_at = OurCpuMs(), server_at = ProcessCpuMs(box.ReceiverPid());
    state.ResumeTiming();
    web::ApplyReport report = web::ApplyOperations(web, before, apply);
    state.PauseTiming();
    ours += OurCpuMs() - ours_at;
    server += ProcessCpuMs(box.ReceiverPid()) - server_at;
    if (!report.AllApplied()) state.SkipWithError("not every change was applied");
    web::ApplyOperations(web, web.TimerList(), undo);
    state.ResumeTiming();
  }
  state.counters["our_cpu_ms"] = benchmark::Counter(ours, benchmark::Counter::kAvgIterations);
  state.counters["box_cpu_ms"] = benchmark::Counter(server, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LiveApply50ChangesOf500Timers)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
