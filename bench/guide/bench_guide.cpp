// The programme guide: reading a 20 MB guide of 150,000 events (made by the tests' writer)
// against only reading the file's bytes, the two interleaved so that a change in the
// machine's load hits both; the reader's peak memory against the file's size; a title search
// across the whole guide. The summary at the end compares each figure with its bound:
// reading at most 10 times the bytes alone, at most 3 times the file in memory, a search in at
// most 20 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <time.h>
#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "best_times.h"
#include "boxdata/guide_file.h"
#include "boxdata/guide_search.h"
#include "boxdata/guide_writer.h"
#include "boxdata/text_lines.h"
#include "support/test_files.h"

namespace tivolo::boxdata {
namespace {

namespace fs = std::filesystem;
using bench::Best;
using bench::g_best;
using bench::Timed;
using testing::GuideWriter;

constexpr int kServices = 400;
constexpr int kEventsPerService = 375;  // eight days of programmes of about half an hour
constexpr int64_t kStart = 1767571200;  // 2026-01-05 00:00 UTC
constexpr double kReadBound = 10.0;
constexpr double kMemoryBound = 3.0;
constexpr double kSearchBoundMs = 20.0;

const char* const kWords[] = {"Nieuws", "Journaal",     "Weer",     "Sport",   "Film",   "Café",
                              "Zürich", "Reis",         "Natuur",   "Koken",   "Muziek", "Quiz",
                              "Dokter", "Politie",      "Avond",    "Ochtend", "Straße", "Łódź",
                              "Wereld", "Geschiedenis", "Kinderen", "Dieren",  "Huis",   "Tuin",
                              "Auto",   "Spel",         "Live",     "Verhaal", "Stad",   "Land",
                              "Zee",    "Berg",         "Winter",   "Zomer"};
constexpr int kWordCount = sizeof kWords / sizeof kWords[0];

std::string Words(uint32_t seed, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    if (!out.empty()) out += ' ';
    out += kWords[(seed >> 16) % kWordCount];
  }
  return out;
}

// Latin-1 bytes of a UTF-8 text of the words above (all but "Łódź" fit).
std::string Latin1(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += utf8[i];
    } else if (c == 0xC3 && i + 1 < utf8.size()) {
      out += static_cast<char>(0xC0 | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    } else {
      out += '?';
      while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80)
        ++i;
    }
  }
  return out;
}

struct BenchGuide {
  fs::path path;
  size_t size = 0;
  size_t events = 0;
  ~BenchGuide() {
    std::error_code ec;
    fs::remove(path, ec);
  }
};

const BenchGuide& Bench() {
  static const BenchGuide guide = [] {
    GuideWriter w;
    std::vector<uint32_t> titles;
    for (uint32_t t = 0; t < 6000; ++t)
      titles.push_back(w.Title(Words(t, 1 + t % 3)));
    const uint32_t content = w.Descriptor(0x54, "\x10\x00");
    BenchGuide out;
    for (int s = 0; s < kServices; ++s) {
      testing::WrittenService service{
          static_cast<uint32_t>(0x100 + s), 1, static_cast<uint32_t>(0x10 + s / 16), {}};
      int64_t at = kStart;
      for (int e = 0; e < kEventsPerService; ++e) {
        const auto id = static_cast<uint32_t>(s * kEventsPerService + e);
        const int32_t duration = 900 * (1 + static_cast<int32_t>(id % 3));
        const std::string text = "Deel " + std::to_string(id) + ": " + Words(id, 2 + id % 3);
        const std::string more = Words(id * 7 + 1, 4 + id % 5) + " (" + std::to_string(id) + ")";
        service.events.push_back({static_cast<uint16_t>(id),
                                  at,
                                  duration,
                                  {titles[id * 2654435761u % titles.size()],
                                   w.ShortText(Latin1(text)), w.Extended(Latin1(more)), content},
                                  0});
        at += duration;
        ++out.events;
      }
      w.services.push_back(std::move(service));
    }
    const std::string bytes = w.Bytes();
    const char* tmp = std::getenv("TMPDIR");
    out.path = fs::path(tmp ? tmp : "/tmp") / ("tivolo-bench-guide-" + std::to_string(getpid()));
    tivolo::testing::WriteFile(out.path, bytes);
    out.size = bytes.size();
    return out;
  }();
  return guide;
}

size_t g_peak = 0;
size_t g_search_bytes = 0;

void BM_ReadFileBytes(benchmark::State& state) {
  const BenchGuide& g = Bench();
  for (auto _ : state) {
    Timed("bytes", [&] {
      std::string bytes = ReadWholeFile(g.path);
      benchmark::DoNotOptimize(bytes.data());
    });
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g.size));
}

void BM_ReadGuide(benchmark::State& state) {
  const BenchGuide& g = Bench();
  for (auto _ : state) {
    GuideReadReport report;
    Guide guide;
    Timed("guide", [&] { guide = LoadGuide(g.path, &report); });
    if (guide.Events().size() != g.events) state.SkipWithError("events lost");
    g_peak = std::max(g_peak, report.peak_allocated_bytes);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g.size));
  state.counters["events"] = static_cast<double>(g.events);
  state.counters["file_MB"] = static_cast<double>(g.size) / 1e6;
  state.counters["peak_MB"] = static_cast<double>(g_peak) / 1e6;
}

void BM_SearchTitle(benchmark::State& state, const char* text) {
  static const Guide guide = LoadGuide(Bench().path);
  static const GuideSearch search(guide);
  g_search_bytes = search.AllocatedBytes();
  size_t found = 0;
  for (auto _ : state)
    Timed(std::string("search ") + text, [&] { found = search.Find(text).size(); });
  state.counters["found"] = static_cast<double>(found);
}

void BM_BuildSearch(benchmark::State& state) {
  static const Guide guide = LoadGuide(Bench().path);
  for (auto _ : state) {
    GuideSearch search(guide);
    benchmark::DoNotOptimize(&search);
  }
}

// Interleaved: bytes, guide, bytes, guide, ...
BENCHMARK(BM_ReadFileBytes)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGuide)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFileBytes)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGuide)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFileBytes)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGuide)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchTitle, many, "nieuws")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchTitle, accents, "ZURICH")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchTitle, none, "no such title")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildSearch)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tivolo::boxdata

int main(int argc, char** argv) {
  using namespace tivolo::boxdata;
  // The file in memory when the machine has a memory file system, so that the bytes alone
  // are read at memory speed and the comparison is strict.
  if (!std::getenv("TMPDIR") && ::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_best.count("bytes") && g_best.count("guide")) {
    const Best bytes = g_best["bytes"], guide = g_best["guide"];
    const double ratio = guide.processor / bytes.processor;
    std::printf(
        "guide of %.1f MB, %zu events, best runs: read in %.1f ms processor time "
        "(%.1f ms elapsed), its bytes alone in %.1f ms (%.1f ms elapsed): %.1f times "
        "(elapsed %.1f times; bound %.0f) %s\n",
        static_cast<double>(Bench().size) / 1e6, Bench().events, guide.processor, guide.elapsed,
        bytes.processor, bytes.elapsed, ratio, guide.elapsed / bytes.elapsed, kReadBound,
        ratio <= kReadBound ? "ok" : "TOO SLOW");
    const double memory = static_cast<double>(g_peak) / static_cast<double>(Bench().size);
    std::printf("reader's peak %.1f MB: %.2f times the file (bound %.0f) %s\n",
                static_cast<double>(g_peak) / 1e6, memory, kMemoryBound,
                memory <= kMemoryBound ? "ok" : "TOO MUCH");
  }
  double search = -1;
  for (const auto& [name, best] : g_best) {
    if (name.rfind("search ", 0) == 0) search = std::max(search, best.elapsed);
  }
  if (search >= 0) {
    std::printf(
        "title search: the slowest query's best run %.2f ms elapsed (bound %.0f) %s; "
        "its index %.1f MB\n",
        search, kSearchBoundMs, search <= kSearchBoundMs ? "ok" : "TOO SLOW",
        static_cast<double>(g_search_bytes) / 1e6);
  }
  return 0;
}
