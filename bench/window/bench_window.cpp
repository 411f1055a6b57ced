// Start-up until the main window is shown: the whole sequence (formats, time zone, settings,
// the fetch of the 26 files of the large real set from a loopback vsftpd, the reading) and
// the first show, on the offscreen platform. The goal is at most 1.5 s.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "app/main_window.h"
#include "platform/clock.h"
#include "platform/now.h"
#include "servers/server_process.h"
#include "support/test_files.h"
#include "widgets/message_service.h"

namespace tivolo::app {
namespace {

namespace fs = std::filesystem;
using tivolo::testing::ReadFile;
using tivolo::testing::WriteFile;

struct Box {
  tivolo::testing::TempDir work;
  tivolo::testing::ServerProcess server;
  std::string Folder() const { return work.Path() + "/root/etc/enigma2"; }

  bool Start(std::string* error) {
    fs::create_directories(Folder());
    fs::create_directories(work.Path() + "/vsftpd");
    const fs::path source = fs::path(TIVOLO_REAL_DATA_DIR) / "dekoderymailZgemma-enigma2-update";
    for (const auto& entry : fs::directory_iterator(source)) {
      const std::string name = entry.path().filename().string();
      if (name == "README.txt" || name == "lamedb5") continue;
      std::string text = ReadFile(entry.path().string());
      text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
      WriteFile(Folder() + "/" + name, text);
    }
    return server.Start({tivolo::testing::ServersDir() + "/vsftpd.sh", work.Path() + "/root",
                         work.Path() + "/vsftpd"},
                        true, error);
  }
};

void BM_StartUpUntilShown(benchmark::State& state) {
  Box box;
  std::string error;
  if (!box.Start(&error)) {
    state.SkipWithError(("vsftpd: " + error).c_str());
    return;
  }
  int run = 0;
  size_t rows = 0;
  // Before the real timer of 7 November 2024 ended, so that none is dropped as a day old.
  const platform::ScopedNow now((platform::EncodeDate(2024, 11, 1) - platform::kUnixEpochDay) *
                                86400.0);
  for (auto _ : state) {
    state.PauseTiming();
    const std::string profile = box.work.Path() + "/profile" + std::to_string(run++) + "/";
    fs::create_directories(profile);
    WriteFile(profile + "config.ini",
              "[DB7025]\nIp=127.0.0.1\nUsername=anonymous\nPassword=tivolo@\nFtpPort=" +
                  std::to_string(box.server.Port()) + "\nBoxFolder=" + box.Folder() + "\n");
    widgets::ScriptedMessageService messages;
    StartOptions options;
    options.config_file = profile + "config.ini";
    options.local_dir = profile;
    options.messages = &messages;
    state.ResumeTiming();

    auto window = std::make_unique<MainWindow>(options);
    window->StartUp();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) state.SkipWithError("window not shown");

    state.PauseTiming();
    if (!messages.boxes.empty()) state.SkipWithError(messages.boxes.front().text.c_str());
    rows = static_cast<size_t>(window->TimerGrid()->model()->rowCount());
    window.reset();
    fs::remove_all(profile);
    state.ResumeTiming();
  }
  state.counters["timers"] = static_cast<double>(rows);
}
BENCHMARK(BM_StartUpUntilShown)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace tivolo::app

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
