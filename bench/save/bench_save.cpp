// Save && Exit from the action until the program would end: the list taken from a table of
// 200 timers, written, checked, backed up, uploaded to vsftpd with the rename, the telnet
// kill on busybox telnetd, and the 1 s after it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "boxdata/box_test_support.h"
#include "servers/server_process.h"
#include "support/test_files.h"
#include "transfer/save_to_box.h"

namespace {

namespace fs = std::filesystem;
namespace bt = tivolo::boxdata::testing;
using namespace tivolo;
using Clock = std::chrono::steady_clock;

constexpr int kTimers = 200;

// A box that lets root in without a password and prints nothing for a successful kill.
constexpr const char* kShell =
    "#!/bin/sh\nprintf 'vuduo2 login: '\nread -r user\nprintf 'root@vuduo2:~# '\n"
    "while read -r cmd; do printf 'root@vuduo2:~# '; done\n";

std::string TimerList() {
  std::string text = "<?xml version=\"1.0\" ?>\n<timers>\n";
  for (int i = 0; i < kTimers; ++i) {
    const int64_t begin = 1766000000 + int64_t{i} * 3600;
    text += "<timer begin=\"" + std::to_string(begin) + "\" end=\"" + std::to_string(begin + 1800) +
            "\" serviceref=\"1:0:19:2B66:3F3:1:C00000:0:0:0:\" repeated=\"0\" name=\"Timer " +
            std::to_string(i) +
            "\" description=\"\" afterevent=\"nothing\" eit=\"\" disabled=\"0\" "
            "justplay=\"0\">\n<log code=\"15\" time=\"1\">start</log>\n</timer>\n";
  }
  return text + "</timers>\n";
}

class Quiet : public transfer::SaveObserver {
 public:
  void Progress(transfer::SaveStep) override {}
  void Log(const std::string&) override {}
  bool Ask(const std::string&) override { return false; }
};

void BM_SaveExit200Timers(benchmark::State& state) {
  testing::TempDir work;
  const std::string local = work / "local", box = work / "root/etc/enigma2";
  fs::create_directories(local);
  fs::create_directories(box);
  fs::create_directories(work / "vsftpd");
  bt::CopySet(bt::kSmall, local);
  testing::WriteFile(local + "/timers.xml", TimerList());
  testing::WriteFile(work / "shell.sh", kShell);
  fs::permissions(work / "shell.sh", fs::perms::owner_all);
  testing::ServerProcess ftp, telnet;
  std::string error;
  if (!ftp.Start({testing::ServersDir() + "/vsftpd.sh", work / "root", work / "vsftpd"}, true,
                 &error) ||
      !telnet.Start(
          {std::string(TIVOLO_SOURCE_DIR) + "/tests/transfer/box_telnetd.sh", work / "shell.sh"},
          true, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  boxdata::BoxTables tables;
  tables.Open();
  const boxdata::ReadReport report = boxdata::ReadBoxFiles(tables, bt::Context(local));
  Quiet quiet;
  for (auto _ : state) {
    // The box holds the list the table was read from, as at the start of a run.
    testing::WriteFile(box + "/timers.xml", TimerList());
    const auto start = Clock::now();
    transfer::SaveInput input;
    input.box = {"127.0.0.1", static_cast<uint16_t>(ftp.Port()),
                 static_cast<uint16_t>(telnet.Port()), "anonymous", ""};
    input.box.folder = box;
    input.local_dir = local;
    input.start.box = input.box;
    input.start.state = report.timer_list;
    input.start.fetch_ok = input.start.fetched = true;
    input.start.text = report.timer_list_text;
    transfer::TakeTimerList(input, tables.timers, bt::UtcClock(), bt::Utf8());
    const transfer::SaveResult r = transfer::SaveToBox(std::move(input), quiet).Run();
    if (!r.EndProgram()) {
      state.SkipWithError(r.message.c_str());
      return;
    }
    std::this_thread::sleep_for(transfer::kEndDelay);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  state.counters["timers"] = report.timers;
}

BENCHMARK(BM_SaveExit200Timers)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
