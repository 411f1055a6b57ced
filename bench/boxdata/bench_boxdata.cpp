// Reading the box's files into the tables: the large real set, the same set doubled, only
// reading and splitting the files, and the service list lookups by index and by the walk
// over every line per channel. The figure to watch is reading the large set against reading
// and splitting its files, taken in one run with both interleaved, as this machine's speed
// varies:
//   bench_boxdata --benchmark_filter='BM_ReadLargeSet$|BM_ReadFilesAndSplitLines'
//     --benchmark_repetitions=30 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "boxdata/bouquet_file.h"
#include "boxdata/box_reader.h"
#include "boxdata/box_tables.h"
#include "boxdata/service_list.h"
#include "boxdata/service_reference.h"
#include "boxdata/text_lines.h"

namespace tivolo::boxdata {
namespace {

const std::filesystem::path kLarge =
    std::filesystem::path(TIVOLO_REAL_DATA_DIR) / "dekoderymailZgemma-enigma2-update";

const platform::CodePage& Utf8() {
  static const platform::CodePage page("UTF-8");
  return page;
}

ReadContext Context(const std::filesystem::path& dir) {
  ReadContext ctx;
  ctx.local_dir = dir;
  ctx.clock.utc_auto = false;
  ctx.code_page = &Utf8();
  ctx.now_local = 45600.0;
  return ctx;
}

void WriteFile(const std::filesystem::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The files ReadBoxFiles opens for a set.
std::vector<std::filesystem::path> SetFiles(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> files = {dir / "lamedb", dir / "bouquets.tv",
                                              dir / "bouquets.radio"};
  for (const char* index : {"bouquets.tv", "bouquets.radio"}) {
    for (const auto& e : ParseBouquetIndex(ReadWholeFile(dir / index))) {
      files.push_back(dir / e.file_name);
    }
  }
  files.push_back(dir / "timers.xml");
  return files;
}

// The large set twice over: every service line again in a namespace of its own (0x7 in the
// top digit), every bouquet file again under a second name with its entries in another
// network, every timer twice.
const std::filesystem::path& DoubledSet() {
  static const std::filesystem::path dir = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "bench-boxdata-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    const std::filesystem::path out = pattern;
    const std::string lamedb = ReadWholeFile(kLarge / "lamedb");
    std::string doubled;
    const auto lines = SplitLines(lamedb);
    std::string copy;
    for (size_t i = 0; i < lines.size(); ++i) {
      doubled.append(lines[i]).append("\n");
      // A service line ("ssss:nnnnnnnn:..."): its copy and the copy of its name line.
      if (lines[i].size() > 14 && lines[i][4] == ':' && lines[i][13] == ':' &&
          i + 1 < lines.size()) {
        std::string line(lines[i]);
        line[5] = '7';
        copy.append(line).append("\n").append(lines[i + 1]).append("\n");
      }
      if (lines[i] == "services") {
        // The copies go right after the "services" header, before the originals.
        doubled.append("@COPIES@");
      }
    }
    doubled.replace(doubled.find("@COPIES@"), 8, copy);
    WriteFile(out / "lamedb", doubled);
    for (const char* index : {"bouquets.tv", "bouquets.radio"}) {
      std::string text = ReadWholeFile(kLarge / index);
      std::string extra;
      for (const auto& e : ParseBouquetIndex(text)) {
        std::string body = ReadWholeFile(kLarge / e.file_name);
        WriteFile(out / e.file_name, body);
        std::string second;
        for (std::string_view line : SplitLines(body)) {
          std::string l(line);
          if (l.starts_with("#SERVICE ")) {
            // Field 6 (network id, not part of the key) gets a leading 7: a channel of its own
            // with the same service list entry.
            size_t pos = 9;
            for (int f = 0; f < 5 && pos != std::string::npos; ++f)
              pos = l.find(':', pos) + 1;
            if (pos != 0) l.insert(pos, "7");
          }
          second.append(l).append("\n");
        }
        WriteFile(out / ("copy." + e.file_name), second);
        extra += "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"copy." + e.file_name +
                 "\" ORDER BY bouquet\n";
      }
      WriteFile(out / index, text + extra);
    }
    std::string timers = ReadWholeFile(kLarge / "timers.xml");
    const size_t start = timers.find("\t<timer ");
    const size_t end = timers.find("</timers>");
    timers.insert(end, timers.substr(start, end - start));
    WriteFile(out / "timers.xml", timers);
    return out;
  }();
  return dir;
}

void ReadSet(benchmark::State& state, const std::filesystem::path& dir) {
  int channels = 0;
  for (auto _ : state) {
    BoxTables tables;
    tables.Open();
    const ReadReport report = ReadBoxFiles(tables, Context(dir));
    channels = report.channels;
    if (!report.failures.empty()) state.SkipWithError("a file failed");
    benchmark::DoNotOptimize(report);
  }
  state.counters["channels"] = channels;
}

void BM_ReadLargeSet(benchmark::State& state) {
  ReadSet(state, kLarge);
}
BENCHMARK(BM_ReadLargeSet)->Unit(benchmark::kMillisecond);

void BM_ReadDoubledSet(benchmark::State& state) {
  ReadSet(state, DoubledSet());
}
BENCHMARK(BM_ReadDoubledSet)->Unit(benchmark::kMillisecond);

void BM_ReadFilesAndSplitLines(benchmark::State& state) {
  const auto files = SetFiles(kLarge);
  for (auto _ : state) {
    size_t lines = 0;
    for (const auto& f : files) {
      const std::string bytes = ReadWholeFile(f);
      lines += SplitLines(bytes).size();
    }
    benchmark::DoNotOptimize(lines);
  }
}
BENCHMARK(BM_ReadFilesAndSplitLines)->Unit(benchmark::kMillisecond);

// The service list lookups of the large set's channels alone.
std::vector<std::string> ChannelKeys() {
  std::vector<std::string> keys;
  for (const auto& f : SetFiles(kLarge)) {
    if (f.filename().string().rfind("userbouquet", 0) != 0) continue;
    for (const auto& e : ParseBouquetFile(ReadWholeFile(f)).entries) {
      try {
        const ReferenceFields r = ParseReferenceFields(e.reference);
        if (r.count >= 7 && !IsMarker(r)) keys.push_back(ServiceKey(e.reference));
      } catch (const std::exception&) {
      }
    }
  }
  return keys;
}

void BM_ChannelNamesIndexed(benchmark::State& state) {
  const std::string lamedb = ReadWholeFile(kLarge / "lamedb");
  const auto keys = ChannelKeys();
  for (auto _ : state) {
    ServiceList list{std::string(lamedb)};
    size_t found = 0;
    for (const auto& k : keys)
      found += list.NameForKey(k).has_value();
    benchmark::DoNotOptimize(found);
  }
  state.counters["channels"] = static_cast<double>(keys.size());
}
BENCHMARK(BM_ChannelNamesIndexed)->Unit(benchmark::kMillisecond);

void BM_ChannelNamesLiteralScan(benchmark::State& state) {
  const ServiceList list(ReadWholeFile(kLarge / "lamedb"));
  const auto keys = ChannelKeys();
  for (auto _ : state) {
    size_t found = 0;
    for (const auto& k : keys)
      found += ScanNameForKey(list.Lines(), k).has_value();
    benchmark::DoNotOptimize(found);
  }
  state.counters["channels"] = static_cast<double>(keys.size());
}
BENCHMARK(BM_ChannelNamesLiteralScan)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace tivolo::boxdata

BENCHMARK_MAIN();
