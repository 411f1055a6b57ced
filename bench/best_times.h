// The fastest run of each timed step, in milliseconds, elapsed and of the thread's processor
// time, kept by name so that a benchmark's summary compares its figures within one run: on a
// machine shared with other work a run of 40 ms is interrupted where one of 5 ms is not, so
// elapsed times compare the machine's load as much as the work.
#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>

namespace tivolo::bench {

struct Best {
  double elapsed = 1e300;
  double processor = 1e300;
};

inline std::map<std::string, Best> g_best;

inline double ProcessorMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Times one call of f into the bests of `name`.
template <typename F>
void Timed(const std::string& name, F&& f) {
  const double processor = ProcessorMs();
  const auto elapsed = std::chrono::steady_clock::now();
  f();
  Best& best = g_best[name];
  best.processor = std::min(best.processor, ProcessorMs() - processor);
  best.elapsed =
      std::min(best.elapsed,
               std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - elapsed)
                   .count());
}

}  // namespace tivolo::bench
