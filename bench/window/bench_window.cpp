// The main window on the offscreen platform, against a loopback vsftpd holding the large real
// set: start-up until the window is shown (the whole sequence: formats, time zone, settings,
// the fetch of the 26 files, the reading, the first show), with the real timer list and with a
// list of 5,000 timers made from the set's channels; and, on the 5,000, a sort by each column
// and a keystroke in the filter line, each until the window has painted it. The goals are at
// most 1.5 s to show the window and at most 50 ms for a sort or a keystroke; "slowest_ms" is
// the slowest single sort or keystroke of the run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <vector>

#include "app/main_window.h"
#include "platform/clock.h"
#include "platform/now.h"
#include "servers/server_process.h"
#include "support/test_files.h"
#include "ui/timer_list_view.h"
#include "widgets/message_service.h"

namespace tivolo::app {
namespace {

namespace fs = std::filesystem;
using tivolo::testing::ReadFile;
using tivolo::testing::WriteFile;

constexpr int kLongList = 5000;

// Timers on the channels of the set's first television bouquet, a few minutes to days apart,
// of every kind: repeated, zap only, switched off, each after-event; names with accents.
std::string LongTimerList(const fs::path& bouquet, int count) {
  std::vector<std::string> references;
  std::istringstream lines(ReadFile(bouquet));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("#SERVICE 1:0:", 0) == 0) references.push_back(line.substr(9));
  }
  static const char* const kAfter[] = {"auto", "nothing", "standby", "deepstandby"};
  static const char* const kNames[] = {"Wiadomości", "Ojciec Mateusz", "Café Europa",
                                       "Wielrennen", "Sport extra",    "Film noir"};
  std::string out = "<?xml version=\"1.0\" ?>\n<timers>\n";
  for (int i = 0; i < count; ++i) {
    const long begin = 1731009720L + (i * 877L) % (60L * 86400L) / 60 * 60;
    out += "\t<timer begin=\"" + std::to_string(begin) + "\" end=\"" +
           std::to_string(begin + 1800 + (i % 5) * 1200) + "\" serviceref=\"" +
           references[static_cast<size_t>(i) % references.size()] + "\" repeated=\"" +
           (i % 13 == 0 ? "31" : "0") + "\" name=\"" + kNames[i % 6] + " " + std::to_string(i) +
           "\" description=\"Odcinek " + std::to_string(i) + "\" afterevent=\"" + kAfter[i % 4] +
           "\" eit=\"" + std::to_string(i) + "\" disabled=\"" + (i % 11 == 0 ? "1" : "0") +
           "\" justplay=\"" + (i % 7 == 0 ? "1" : "0") + "\" rename_repeat=\"1\" />\n";
  }
  return out + "</timers>\n";
}

struct Box {
  tivolo::testing::TempDir work;
  tivolo::testing::ServerProcess server;
  std::string Folder() const { return work.Path() + "/root/etc/enigma2"; }

  // timers: 0 for the set's own list.
  bool Start(int timers, std::string* error) {
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
    if (timers > 0)
      WriteFile(Folder() + "/timers.xml", LongTimerList(source / "userbouquet.dbe00.tv", timers));
    return server.Start({tivolo::testing::ServersDir() + "/vsftpd.sh", work.Path() + "/root",
                         work.Path() + "/vsftpd"},
                        true, error);
  }

  // A profile of its own naming this box.
  StartOptions Profile(const std::string& name, widgets::MessageService& messages) const {
    const std::string profile = work.Path() + "/" + name + "/";
    fs::remove_all(profile);
    fs::create_directories(profile);
    WriteFile(profile + "config.ini",
              "[DB7025]\nIp=127.0.0.1\nUsername=anonymous\nPassword=tivolo@\nFtpPort=" +
                  std::to_string(server.Port()) + "\nBoxFolder=" + Folder() + "\n");
    StartOptions options;
    options.config_file = profile + "config.ini";
    options.local_dir = profile;
    options.messages = &messages;
    return options;
  }
};

// Before the real timer of 7 November 2024 ended, so that none is dropped as a day old.
platform::ScopedNow BeforeTheTimers() {
  return platform::ScopedNow((platform::EncodeDate(2024, 11, 1) - platform::kUnixEpochDay) *
                             86400.0);
}

void BM_StartUpUntilShown(benchmark::State& state) {
  Box box;
  std::string error;
  if (!box.Start(static_cast<int>(state.range(0)), &error)) {
    state.SkipWithError(("vsftpd: " + error).c_str());
    return;
  }
  int run = 0;
  size_t rows = 0;
  const platform::ScopedNow now = BeforeTheTimers();
  for (auto _ : state) {
    state.PauseTiming();
    widgets::ScriptedMessageService messages;
    const StartOptions options = box.Profile("profile" + std::to_string(run++), messages);
    state.ResumeTiming();

    auto window = std::make_unique<MainWindow>(options);
    window->StartUp();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) state.SkipWithError("window not shown");

    state.PauseTiming();
    if (!messages.boxes.empty()) state.SkipWithError(messages.boxes.front().text.c_str());
    rows = static_cast<size_t>(window->TimerGrid()->model()->rowCount());
    window.reset();
    fs::remove_all(options.local_dir);
    state.ResumeTiming();
  }
  state.counters["timers"] = static_cast<double>(rows);
}
BENCHMARK(BM_StartUpUntilShown)
    ->Arg(0)
    ->Arg(kLongList)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

// A window on the long list, shown, for the sort and the filter.
struct LongListWindow {
  Box box;
  widgets::ScriptedMessageService messages;
  std::unique_ptr<MainWindow> window;

  bool Open(benchmark::State& state) {
    std::string error;
    if (!box.Start(kLongList, &error)) {
      state.SkipWithError(("vsftpd: " + error).c_str());
      return false;
    }
    window = std::make_unique<MainWindow>(box.Profile("profile", messages));
    window->StartUp();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()) || !messages.boxes.empty()) {
      state.SkipWithError("window not shown, or a message box");
      return false;
    }
    return true;
  }
};

void BM_SortByEachColumn(benchmark::State& state) {
  const platform::ScopedNow now = BeforeTheTimers();
  LongListWindow w;
  if (!w.Open(state)) return;
  ui::TimerGrid* grid = w.window->TimerGrid();
  const int columns = grid->model()->columnCount();
  double slowest = 0;
  int step = 0;
  for (auto _ : state) {
    // Every column once ascending, then once descending, as a click on its title does.
    const int column = step % columns;
    const Qt::SortOrder order = (step / columns) % 2 ? Qt::DescendingOrder : Qt::AscendingOrder;
    ++step;
    QElapsedTimer clock;
    clock.start();
    grid->horizontalHeader()->setSortIndicator(column, order);
    w.window->repaint();
    slowest = std::max(slowest, static_cast<double>(clock.nsecsElapsed()) / 1e6);
  }
  state.counters["slowest_ms"] = slowest;
}
BENCHMARK(BM_SortByEachColumn)->Unit(benchmark::kMillisecond)->Iterations(28);

void BM_FilterKeystroke(benchmark::State& state) {
  const platform::ScopedNow now = BeforeTheTimers();
  LongListWindow w;
  if (!w.Open(state)) return;
  QLineEdit* filter = w.window->ListView()->Filter();
  const QString word = QStringLiteral("cafe 12");
  double slowest = 0;
  int step = 0;
  for (auto _ : state) {
    // The word typed a letter at a time, then taken back a letter at a time.
    const int at = step % (2 * static_cast<int>(word.size()));
    ++step;
    QElapsedTimer clock;
    clock.start();
    if (at < word.size()) {
      QTest::keyClick(filter, word.at(at).toLatin1());
    } else {
      QTest::keyClick(filter, Qt::Key_Backspace);
    }
    w.window->repaint();
    slowest = std::max(slowest, static_cast<double>(clock.nsecsElapsed()) / 1e6);
  }
  state.counters["slowest_ms"] = slowest;
  state.counters["shown"] = static_cast<double>(w.window->TimerGrid()->model()->rowCount());
}
BENCHMARK(BM_FilterKeystroke)->Unit(benchmark::kMillisecond)->Iterations(28);

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
