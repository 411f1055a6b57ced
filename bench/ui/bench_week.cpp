// The week picture of 5,000 timers over four tuners (and a row of timers that get none): one
// frame painted at each zoom, and a frame after a scroll by a day, each against a plain pass
// over the same bars in the same run. The summary compares each frame with its bound of 16 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "best_times.h"
#include "ui/week_view.h"

namespace {

using namespace tivolo;

using bench::Best;
using bench::g_best;
using bench::Timed;

constexpr int kTimers = 5000;
constexpr int kTuners = 4;
constexpr int kDays = 120;
constexpr int64_t kStart = 1796169600;  // 2026-12-02 00:00 UTC
constexpr double kFrameBoundMs = 16.0;

uint32_t Next(uint32_t& seed) {
  seed = seed * 1103515245u + 12345u;
  return seed >> 8;
}

ui::WeekPlan MakePlan() {
  ui::WeekPlan plan;
  for (int t = 0; t < kTuners; ++t)
    plan.tuner_names << QString("%1 (DVB-S2)").arg(QChar('A' + t));
  uint32_t seed = 11;
  for (int i = 0; i < kTimers; ++i) {
    ui::WeekBar bar;
    bar.record_id = i + 1;
    const int tuner = static_cast<int>(Next(seed) % (kTuners + 1));
    bar.tuner = tuner == kTuners ? ui::kNoTuner : tuner;
    const int day = static_cast<int>(Next(seed) % kDays);
    const int minute = 6 * 60 + static_cast<int>(Next(seed) % (17 * 60));
    bar.begin = kStart + day * 86400 + minute * 60;
    bar.end = bar.begin + (30 + Next(seed) % 90) * 60;
    bar.text = QString("Timer %1").arg(i);
    bar.tooltip = bar.text;
    bar.disabled = i % 17 == 0;
    bar.zap = i % 23 == 0;
    plan.bars.push_back(std::move(bar));
  }
  return plan;
}

struct WeekFixture {
  WeekFixture() : view(std::make_unique<ui::WeekView>()) {
    view->resize(1280, 480);
    view->SetPlan(MakePlan());
    view->SetNow(kStart + 30 * 86400);
    view->show();
    QApplication::processEvents();
  }
  std::unique_ptr<ui::WeekView> view;
};

WeekFixture& Fixture() {
  static WeekFixture f;
  return f;
}

// The plain pass: every bar looked at once, as any walk over the list does.
void BM_PlainPass(benchmark::State& state) {
  const ui::WeekPlan& plan = Fixture().view->Plan();
  for (auto _ : state) {
    Timed("plain", [&] {
      int64_t sum = 0;
      for (const ui::WeekBar& bar : plan.bars)
        sum += bar.tuner == ui::kNoTuner ? 0 : bar.end - bar.begin + bar.text.size();
      benchmark::DoNotOptimize(sum);
    });
  }
}

void BM_Frame(benchmark::State& state, int days, const char* name) {
  WeekFixture& f = Fixture();
  f.view->SetZoomDays(days);
  for (auto _ : state)
    Timed(name, [&] { f.view->viewport()->repaint(); });
}

// A day's scroll, as Page Down does in the day zoom, then the frame it asks for.
void BM_ScrollFrame(benchmark::State& state) {
  WeekFixture& f = Fixture();
  f.view->SetZoomDays(7);
  QScrollBar* h = f.view->horizontalScrollBar();
  int step = 1;
  for (auto _ : state) {
    Timed("scroll, week", [&] {
      if (h->value() >= h->maximum() || h->value() <= h->minimum()) step = -step;
      h->triggerAction(step > 0 ? QAbstractSlider::SliderPageStepAdd
                                : QAbstractSlider::SliderPageStepSub);
      f.view->viewport()->repaint();
    });
  }
}

// Interleaved, so that a change in the machine's load hits each.
BENCHMARK(BM_PlainPass)->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame, day, 1, "frame, a day")->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame, week, 7, "frame, a week")
    ->Iterations(50)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollFrame)->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPass)->Iterations(50)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  Fixture().view.reset();
  if (!g_best.count("plain")) return 0;
  const double plain = g_best["plain"].elapsed;
  std::printf("%d timers over %d tuners and a row without; plain pass %.3f ms (best run)\n",
              kTimers, kTuners, plain);
  for (const char* name : {"frame, a day", "frame, a week", "scroll, week"}) {
    if (!g_best.count(name)) continue;
    const double ms = g_best[name].elapsed;
    std::printf("%-14s %8.3f ms = %7.1f x the plain pass (bound %.0f ms) %s\n", name, ms,
                ms / plain, kFrameBoundMs, ms <= kFrameBoundMs ? "ok" : "TOO SLOW");
  }
  return 0;
}
