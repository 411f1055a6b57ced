// The box's tuners and the conflicts of its list in the main window, against the simulated
// demo box whose list holds three recordings at once for its two tuners: the status bar, the
// grid's mark and its filter, the week picture, and the question before a save whose No sends
// nothing.
#include <QAccessible>
#include <QLabel>
#include <QStatusBar>
#include <QTest>

#include "app/main_window.h"
#include "app_test_support.h"
#include "ui/timer_grid.h"
#include "ui/week_view.h"
#include "web/box_sim.h"

namespace tivolo::app {
namespace {

using namespace testing;

constexpr int kTypeColumn = 13;

TEST(TunerWindowTest, AConflictIsShownEverywhereAndNoSendsNothing) {
  // Without the web interface: the receiver switched the demo's conflict off in its memory
  // at load, which a live save would merge with; the file uploaded is what it loads next.
  const tivolo::testing::BoxSim box({}, {"no_web=404"}, true, "--conflict");
  const nlohmann::json& status = box.Status();
  tivolo::testing::TempDir work;
  WriteFile(work.Path() + "/config.ini",
            "[DB7025]\nIp=127.0.0.1\nUsername=" + status["user"].get<std::string>() +
                "\nPassword=" + status["password"].get<std::string>() +
                "\nFtpPort=" + std::to_string(status["ftp_port"].get<int>()) +
                "\nTelnetPort=" + std::to_string(status["telnet_port"].get<int>()) +
                "\nWebPort=" + std::to_string(status["web_port"].get<int>()) + "\n");
  widgets::ScriptedMessageService messages;
  StartOptions options;
  options.config_file = work.Path() + "/config.ini";
  options.local_dir = work.Path() + "/";
  options.messages = &messages;
  options.fetch_dialog_delay_ms = 0;
  MainWindow w(options);
  w.StartUp();
  w.show();
  auto* tuners = w.statusBar()->findChild<QLabel*>("TunerStatus");
  ASSERT_NE(tuners, nullptr);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return tuners->text() == "Tuners: 2 x DVB-S2 (19.2E) - 1 conflict"; }, 15000))
      << tuners->text().toStdString() << "\n"
      << w.LogText();

  QAbstractItemModel* grid = w.TimerGrid()->model();
  auto marked = [&] {
    std::vector<std::string> names;
    for (int row = 0; row < grid->rowCount(); ++row)
      if (grid->index(row, kTypeColumn).data().toString().contains(ui::kConflictMark))
        names.push_back(grid->index(row, 1).data().toString().toStdString());
    return names;
  };
  EXPECT_EQ(marked(), std::vector<std::string>{"Journaal"});
  w.findChild<QAction*>("OnlyConflicts")->trigger();
  ASSERT_EQ(grid->rowCount(), 1);
  EXPECT_TRUE(grid->index(0, 1).data(Qt::ToolTipRole).toString().contains("No tuner on"));
  w.findChild<QAction*>("OnlyConflicts")->trigger();
  EXPECT_EQ(grid->rowCount(), 13);

  // The week picture: the recording without a tuner stands on the row "no tuner".
  w.findChild<QAction*>("Week")->trigger();
  auto* week = w.findChild<ui::WeekView*>("weekView");
  ASSERT_NE(week, nullptr);
  QStringList no_tuner;
  for (const ui::WeekBar& bar : week->Plan().bars) {
    if (bar.tuner == ui::kNoTuner) no_tuner.push_back(bar.text);
  }
  EXPECT_EQ(no_tuner, QStringList{"Journaal"});
  QAccessibleInterface* bars = QAccessible::queryAccessibleInterface(week);
  EXPECT_EQ(bars->childCount(), static_cast<int>(week->Plan().bars.size()));

  // A change of another timer, then Save && Exit: the question names the conflict; No sends
  // nothing.
  w.Tables().timers.First();
  ASSERT_NE(w.Tables().timers.FieldNamed("Name").AsString(), "Journaal");
  w.Switch()->trigger();
  ASSERT_EQ(w.ChangeCount(), 1) << w.Switch()->isEnabled();
  ASSERT_TRUE(w.SaveExit()->isEnabled());
  const std::string timers_file = box.TimersFile();
  w.SaveExit()->trigger();
  ASSERT_FALSE(messages.boxes.empty()) << w.LogText();
  const std::string question = messages.boxes.front().text;
  EXPECT_NE(question.find("\"Journaal\""), std::string::npos) << question;
  EXPECT_NE(question.find("The receiver will switch these off"), std::string::npos) << question;
  EXPECT_EQ(box.TimersFile(), timers_file);
  EXPECT_EQ(box.LiveStatus()["kills"], 0);
  EXPECT_TRUE(w.isVisible());
}

}  // namespace
}  // namespace tivolo::app
