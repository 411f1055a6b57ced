// Downloads a file from vsftpd on 127.0.0.1 with FtpClient and with curl in the same run, both
// in binary type (curl: --ftp-port 127.0.0.1, an active connection like ours), at 64 and 256
// MiB. Each run reports throughput and the peak resident memory of this process during our
// downloads (reset before each size), which must stay flat as the file grows. The files live
// in /dev/shm when it exists, so the disk does not set the pace. The summary at
// the end gives our throughput as a share of curl's.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/ftp_client.h"
#include "servers/server_process.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using tivolo::testing::ServerProcess;
using tivolo::testing::TempDir;

constexpr int64_t kMiB = 1 << 20;

struct Setup {
  TempDir work;
  ServerProcess server;
  std::string error;
  bool ready = false;
};

Setup& Shared() {
  static Setup setup;
  return setup;
}

std::string BlobName(int64_t mib) {
  return "blob" + std::to_string(mib) + ".bin";
}

bool Prepare() {
  Setup& s = Shared();
  if (s.ready) return true;
  if (!s.error.empty()) return false;
  if (!tivolo::testing::HaveExecutable("/usr/sbin/vsftpd")) {
    s.error = "vsftpd is not installed";
    return false;
  }
  fs::create_directories(s.work.Path() + "/root");
  fs::create_directories(s.work.Path() + "/vsftpd");
  fs::create_directories(s.work.Path() + "/local");
  std::vector<char> chunk(kMiB);
  for (int64_t mib : {64, 256}) {
    std::ofstream out(s.work.Path() + "/root/" + BlobName(mib), std::ios::binary);
    for (int64_t i = 0; i < mib; ++i) {
      for (std::size_t j = 0; j < chunk.size(); ++j)
        chunk[j] = static_cast<char>((j * 131 + static_cast<std::size_t>(i) * 7) & 0xff);
      out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
  }
  if (!s.server.Start({tivolo::testing::ServersDir() + "/vsftpd.sh", s.work.Path() + "/root",
                       s.work.Path() + "/vsftpd"},
                      true, &s.error))
    return false;
  s.ready = true;
  return true;
}

// Peak resident memory of this process in KiB since the last reset.
long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

void ResetPeakRss() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

std::map<int64_t, double> ours_rate, curl_rate;

void BM_FtpClientDownload(benchmark::State& state) {
  if (!Prepare()) {
    state.SkipWithError(Shared().error.c_str());
    return;
  }
  const int64_t mib = state.range(0);
  const std::string local = Shared().work.Path() + "/local/ours.bin";
  ResetPeakRss();
  long before = PeakRssKiB();
  for (auto _ : state) {
    tivolo::net::FtpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(Shared().server.Port());
    client.SetUser("anonymous");
    client.SetPassword("bench@");
    client.SetTransferType(tivolo::net::FtpTransferType::kBinary);
    client.OpenAndLogin(true);
    client.Download(BlobName(mib), local, true);
    client.Close();
  }
  if (fs::file_size(local) != static_cast<std::uintmax_t>(mib * kMiB))
    state.SkipWithError("download has the wrong size");
  state.SetBytesProcessed(state.iterations() * mib * kMiB);
  state.counters["peak_rss_MiB"] = static_cast<double>(PeakRssKiB()) / 1024.0;
  state.counters["peak_rss_growth_MiB"] = static_cast<double>(PeakRssKiB() - before) / 1024.0;
  fs::remove(local);
}

void BM_CurlDownload(benchmark::State& state) {
  if (!Prepare()) {
    state.SkipWithError(Shared().error.c_str());
    return;
  }
  if (!tivolo::testing::HaveExecutable("/usr/bin/curl")) {
    state.SkipWithError("curl is not installed");
    return;
  }
  const int64_t mib = state.range(0);
  const std::string local = Shared().work.Path() + "/local/curl.bin";
  const std::string url =
      "ftp://127.0.0.1:" + std::to_string(Shared().server.Port()) + "/" + BlobName(mib);
  std::vector<std::string> args = {"/usr/bin/curl", "-s", "--ftp-port", "127.0.0.1", "-o",
                                   local,           url};
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto _ : state) {
    pid_t pid;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
      state.SkipWithError("cannot start curl");
      return;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("curl failed");
      return;
    }
  }
  if (fs::file_size(local) != static_cast<std::uintmax_t>(mib * kMiB))
    state.SkipWithError("curl's download has the wrong size");
  state.SetBytesProcessed(state.iterations() * mib * kMiB);
  fs::remove(local);
}

// Interleaved, so that a change in the machine's load hits both clients alike.
BENCHMARK(BM_FtpClientDownload)
    ->Arg(64)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlDownload)->Arg(64)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FtpClientDownload)
    ->Arg(256)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlDownload)->Arg(256)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

// Keeps the throughput figures for the summary while printing as usual.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.error_occurred || run.real_accumulated_time <= 0) continue;
      auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end()) continue;
      std::string name = run.benchmark_name();
      int64_t mib = std::stoll(name.substr(name.find('/') + 1));
      double rate = it->second.value / static_cast<double>(kMiB);
      if (name.rfind("BM_FtpClientDownload", 0) == 0) ours_rate[mib] = rate;
      if (name.rfind("BM_CurlDownload", 0) == 0) curl_rate[mib] = rate;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  // Files in memory when the machine has a memory file system, so that the figures are those
  // of the network path rather than of the disk (TMPDIR set by the caller wins).
  if (!std::getenv("TMPDIR") && ::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& [mib, ours] : ours_rate) {
    auto curl = curl_rate.find(mib);
    if (curl == curl_rate.end()) continue;
    std::printf("%lld MiB: FtpClient %.0f MiB/s, curl %.0f MiB/s, ours = %.0f%% of curl\n",
                static_cast<long long>(mib), ours, curl->second, 100.0 * ours / curl->second);
  }
  Shared().server.Stop();
  benchmark::Shutdown();
  return 0;
}
