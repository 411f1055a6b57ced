// The box's tuners and the conflicts of its list in the main window, against the simulated
// demo box whose list holds three recordings at once for its two tuners: the status bar, the
// grid's mark and its filter, the week picture, and the question before a save whose No sends
// nothing.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include "app/guide_status.h"
#include "app/main_window.h"
#include "app/settings_dialog.h"
#include "app_test_support.h"
#include "support/loopback.h"
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

// A box that cannot be asked: the user's own set-up from Configuration is kept in the profile
// and used by the check, at once and in the next run; a copy of a set-up read from the box
// comes before it, and Configuration shows that copy in words.
TEST(TunerWindowTest, TheManualSetupIsKeptAndUsedWhenNothingWasRead) {
  tivolo::testing::TempDir work;
  const std::string folder = work.Path() + "/profile";
  widgets::ScriptedMessageService messages;
  auto w = StartOnCopies(folder, messages);
  w->show();
  auto status = [](MainWindow& window) {
    return window.statusBar()->findChild<QLabel*>("TunerStatus")->text().toStdString();
  };
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return status(*w) == "Tuners unknown: conflicts are not checked"; }, 15000))
      << status(*w);
  std::string shown_read;
  DialogScript script;
  script.Then<SettingsDialog>([&](SettingsDialog& d) {
    shown_read = Control<QLabel>(d, "TunersRead").text().toStdString();
    Control<QSpinBox>(d, "SpinManualTuners").setValue(3);
    Control<QComboBox>(d, "ComboManualTuner2").setCurrentText("DVB-C");
    Control<QPushButton>(d, "ButtonSave").click();
  });
  ASSERT_TRUE(script.Run([&] { w->ConfigurationClick(); }));
  EXPECT_EQ(shown_read, "Not read from the box yet");
  EXPECT_EQ(status(*w), "Tuners: 2 x DVB-S2, 1 x DVB-C");
  EXPECT_NE(ReadFile(folder + "/config.ini").find("\nManualTuners=DVB-S2,DVB-S2,DVB-C\n"),
            std::string::npos);
  w.reset();

  // The next run reads the same profile; then one with a copy of a set-up the box gave.
  for (const bool with_copy : {false, true}) {
    if (with_copy)
      WriteFile(folder + "/tuners", "NIM Socket 0:\n\tType: DVB-S2\nNIM Socket 1:\n\tempty\n");
    StartOptions options;
    options.config_file = folder + "/config.ini";
    options.local_dir = folder + "/";
    options.messages = &messages;
    MainWindow again(options);
    again.StartUp();
    again.show();
    const std::string wanted = with_copy ? "Tuners: 1 x DVB-S2" : "Tuners: 2 x DVB-S2, 1 x DVB-C";
    EXPECT_TRUE(QTest::qWaitFor([&] { return status(again) == wanted; }, 15000)) << status(again);
    if (!with_copy) continue;
    DialogScript look;
    look.Then<SettingsDialog>([&](SettingsDialog& d) {
      shown_read = Control<QLabel>(d, "TunersRead").text().toStdString();
      EXPECT_EQ(Control<QSpinBox>(d, "SpinManualTuners").value(), 3);
      d.reject();
    });
    ASSERT_TRUE(look.Run([&] { again.ConfigurationClick(); }));
    EXPECT_EQ(shown_read, "A: DVB-S2; B: empty");
  }
}

// A box whose telnet takes the connection and says nothing: the read's steps and Cancel stand
// in the status bar, and Cancel ends the wait at once with the user's own set-up.
TEST(TunerWindowTest, TheReadShowsItsStepsAndCancelEndsIt) {
  if (!HaveBoxPeers()) GTEST_SKIP() << "vsftpd or busybox is not installed";
  tivolo::testing::TempDir work;
  tivolo::testing::ServerProcess ftp, telnet;
  const std::string error = StartBoxPeers(work, ftp, telnet);
  ASSERT_TRUE(error.empty()) << error;
  int silent_port = 0;
  const int silent = tivolo::testing::ListenOnLoopback(silent_port);
  const std::string profile = work.Path() + "/profile";
  WriteBoxConfig(profile + "/config.ini", ftp.Port(), silent_port,
                 work.Path() + "/root/etc/enigma2");
  WriteFile(profile + "/config.ini", ReadFile(profile + "/config.ini") + "ManualTuners=DVB-C\n");
  widgets::ScriptedMessageService messages;
  StartOptions options;
  options.config_file = profile + "/config.ini";
  options.local_dir = profile + "/";
  options.messages = &messages;
  options.fetch_dialog_delay_ms = 0;
  MainWindow w(options);
  w.StartUp();
  w.show();
  auto* progress = w.statusBar()->findChild<GuideStatus*>("TunerReadStatus");
  ASSERT_NE(progress, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return progress->Text() == "logging in (2 of 3)"; }, 15000))
      << progress->Text() << "\n"
      << w.LogText();
  EXPECT_TRUE(progress->CancelOffered());
  auto* tuners = w.statusBar()->findChild<QLabel*>("TunerStatus");
  EXPECT_EQ(tuners->text(), "Reading the box's tuners...");
  progress->CancelButton()->click();
  EXPECT_FALSE(progress->isVisible());
  EXPECT_EQ(tuners->text(), "Tuners: 1 x DVB-C");
  ::close(silent);
}

}  // namespace
}  // namespace tivolo::app
