// The start-up fetch (BoxFetch: login, five listings, every download) of the largest real box
// set from vsftpd on 127.0.0.1, against curl fetching the same files in one call (active mode,
// --ftp-port 127.0.0.1, one connection for all files). The two alternate within each
// iteration, so that a change in the machine's load hits both alike; the summary gives the
// medians and our time as a multiple of curl's (goal: at most 1.25).
//
// vsftpd ignores the ASCII type here, as the boxes do, so both clients move the same bytes.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "servers/server_process.h"
#include "support/test_files.h"
#include "transfer/box_fetch.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tivolo::testing::ReadFile;
using tivolo::testing::ServerProcess;
using tivolo::testing::TempDir;

constexpr const char* kBoxSet = "dekoderymailZgemma-enigma2-update";

struct Setup {
  TempDir work;
  ServerProcess server;
  std::string error;
  std::vector<std::string> names;  // in the fetch's order
  bool ready = false;
  std::string Folder() const { return work / "root/etc/enigma2"; }
};

Setup& Shared() {
  static Setup setup;
  return setup;
}

bool Prepare() {
  Setup& s = Shared();
  if (s.ready) return true;
  if (!s.error.empty()) return false;
  if (!tivolo::testing::HaveExecutable("/usr/sbin/vsftpd")) {
    s.error = "vsftpd is not installed";
    return false;
  }
  fs::create_directories(s.Folder());
  fs::create_directories(s.work / "vsftpd");
  std::vector<std::string> bouquets;
  for (const auto& entry : fs::directory_iterator(fs::path(TIVOLO_REAL_DATA_DIR) / kBoxSet)) {
    std::string name = entry.path().filename().string();
    if (name == "README.txt") continue;
    fs::copy_file(entry.path(), s.Folder() + "/" + name);
    if (name.rfind("userbouquet", 0) == 0) bouquets.push_back(name);
  }
  std::sort(bouquets.begin(), bouquets.end());
  s.names = bouquets;
  for (const char* name : {"lamedb", "bouquets.tv", "bouquets.radio", "timers.xml"})
    s.names.push_back(name);
  if (!s.server.Start({tivolo::testing::ServersDir() + "/vsftpd.sh", s.work / "root",
                       s.work / "vsftpd", "ascii_download_enable=NO\nascii_upload_enable=NO"},
                      true, &s.error))
    return false;
  s.ready = true;
  return true;
}

class QuietObserver : public tivolo::transfer::FetchObserver {
 public:
  void Log(const std::string&) override {}
  void Progress(const std::string&, int, int) override {}
};

// Seconds of one BoxFetch into dir; empty error when it succeeded.
double RunOurs(const std::string& dir, std::string* error) {
  const Setup& s = Shared();
  tivolo::transfer::BoxAddress box{
      "127.0.0.1", static_cast<uint16_t>(s.server.Port()), 23, "anonymous", "bench@", s.Folder()};
  QuietObserver observer;
  auto start = Clock::now();
  tivolo::transfer::BoxFetch fetch(box, dir, observer);
  auto result = fetch.Run();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!result.ok) *error = result.error_type + result.error_message;
  if (result.fetched != s.names) *error = "BoxFetch brought other files than expected";
  return seconds;
}

// Seconds of one curl call fetching every file into dir.
double RunCurl(const std::string& dir, std::string* error) {
  const Setup& s = Shared();
  // "%2F": the folder is absolute, not below the login folder.
  const std::string base =
      "ftp://127.0.0.1:" + std::to_string(s.server.Port()) + "/%2F" + s.Folder().substr(1) + "/";
  std::vector<std::string> args = {"/usr/bin/curl", "-s",           "--ftp-port",
                                   "127.0.0.1",     "--ftp-method", "singlecwd"};
  for (const auto& name : s.names) {
    args.push_back("-o");
    args.push_back(dir + "/" + name);
    args.push_back(base + name);
  }
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  auto start = Clock::now();
  pid_t pid;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    *error = "cannot start curl";
    return 0;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) *error = "curl failed";
  return seconds;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::vector<double> ours_seconds, curl_seconds;

void BM_FetchAgainstCurl(benchmark::State& state) {
  if (!Prepare()) {
    state.SkipWithError(Shared().error.c_str());
    return;
  }
  if (!tivolo::testing::HaveExecutable("/usr/bin/curl")) {
    state.SkipWithError("curl is not installed");
    return;
  }
  const Setup& s = Shared();
  const std::string ours_dir = s.work / "ours";
  const std::string curl_dir = s.work / "curl";
  fs::create_directories(ours_dir);
  fs::create_directories(curl_dir);
  bool ours_first = true;
  std::string error;
  for (auto _ : state) {
    double ours = 0;
    double curl = 0;
    if (ours_first) {
      ours = RunOurs(ours_dir, &error);
      curl = RunCurl(curl_dir, &error);
    } else {
      curl = RunCurl(curl_dir, &error);
      ours = RunOurs(ours_dir, &error);
    }
    ours_first = !ours_first;
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
    ours_seconds.push_back(ours);
    curl_seconds.push_back(curl);
    state.SetIterationTime(ours);
  }
  for (const auto& name : s.names) {
    if (ReadFile(ours_dir + "/" + name) != ReadFile(curl_dir + "/" + name)) {
      state.SkipWithError(("different bytes in " + name).c_str());
      return;
    }
  }
  state.counters["files"] = static_cast<double>(s.names.size());
  state.counters["ours_median_ms"] = Median(ours_seconds) * 1000;
  state.counters["curl_median_ms"] = Median(curl_seconds) * 1000;
}

BENCHMARK(BM_FetchAgainstCurl)->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (!ours_seconds.empty()) {
    double ours = Median(ours_seconds) * 1000;
    double curl = Median(curl_seconds) * 1000;
    std::printf(
        "fetch of %zu files: BoxFetch median %.1f ms (min %.1f, max %.1f), curl median %.1f ms "
        "(min %.1f, max %.1f), ours = %.2f x curl (goal at most 1.25)\n",
        Shared().names.size(), ours,
        *std::min_element(ours_seconds.begin(), ours_seconds.end()) * 1000,
        *std::max_element(ours_seconds.begin(), ours_seconds.end()) * 1000, curl,
        *std::min_element(curl_seconds.begin(), curl_seconds.end()) * 1000,
        *std::max_element(curl_seconds.begin(), curl_seconds.end()) * 1000, ours / curl);
  }
  Shared().server.Stop();
  benchmark::Shutdown();
  return 0;
}
