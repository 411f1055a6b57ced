// Save && Exit through the main window against vsftpd and busybox telnetd: the key of the
// button, a timer added on the box kept without a question, and the end of the program a
// second after the receiver was restarted.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <set>
#include <sstream>

#include "app/main_window.h"
#include "app/save_progress.h"
#include "app_test_support.h"
#include "web/box_sim.h"
#include "widgets/message_service.h"

namespace tivolo::app {
namespace {

using namespace testing;

TEST(SaveExitWindow, ATimerAddedOnTheBoxIsKeptAndTheProgramEndsAfterTheRestart) {
  if (!HaveBoxPeers()) GTEST_SKIP() << "vsftpd or busybox is not installed";
  tivolo::testing::TempDir work;
  const std::string profile = work.Path() + "/profile", box = work.Path() + "/root/etc/enigma2";
  fs::create_directories(profile);
  tivolo::testing::ServerProcess ftp, telnet;
  const std::string error = StartBoxPeers(work, ftp, telnet);
  ASSERT_TRUE(error.empty()) << error;
  WriteBoxConfig(profile + "/config.ini", ftp.Port(), telnet.Port(), box);
  widgets::ScriptedMessageService messages;
  // Before the real timer of 7 November 2024 ended, so that none is dropped as a day old.
  const platform::ScopedNow now(SecondsOf(platform::EncodeDate(2024, 11, 1)));
  StartOptions options;
  options.config_file = profile + "/config.ini";
  options.local_dir = profile + "/";
  options.messages = &messages;
  MainWindow w(options);
  w.StartUp();
  ASSERT_TRUE(messages.boxes.empty()) << messages.Trace().front();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

  // A change, as the timer editor makes one (without opening it: its dialogs have tests of
  // their own).
  store::MemTable& timers = w.Tables().timers;
  store::MemTable::Event open_editor = std::move(timers.AfterEdit);
  timers.AfterEdit = nullptr;
  timers.ViewMoveToRow(0);
  timers.Edit();
  timers.FieldNamed("Name").SetAsString("Saved from the window");
  timers.Post();
  timers.AfterEdit = std::move(open_editor);
  w.AddChange();
  w.RefreshActions();
  // Meanwhile the box wrote its list again.
  const std::string changed = ReadFile(box + "/timers.xml") + "\n";
  const std::string on_box = changed.substr(0, changed.find("</timers>")) +
                             "<timer begin=\"1732000000\" end=\"1732003600\" serviceref=\"1:0:1:"
                             "B2:C:3E8:FFFF0000:0:0:0:\" name=\"New on the box\"></timer>\n"
                             "</timers>\n";
  WriteFile(box + "/timers.xml", on_box);
  std::string step_asked;
  messages.on_box = [&](const widgets::ScriptedMessageService::Box&) {
    if (auto* d = qobject_cast<SaveProgressDialog*>(QApplication::activeModalWidget()))
      step_asked = d->StepText();
  };

  // Kept without a question: the box added a timer, the user changed another.
  QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.TimerTerminate().isActive(); }, 10000))
      << (messages.boxes.empty() ? "" : messages.Trace().back());
  EXPECT_TRUE(step_asked.empty());
  // Nothing can be changed in the second before the end.
  EXPECT_FALSE(w.Append()->isEnabled());
  EXPECT_FALSE(w.SaveExit()->isEnabled());
  QElapsedTimer ending;
  ending.start();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 3000));
  EXPECT_GE(ending.elapsed(), 800);
  EXPECT_TRUE(messages.boxes.empty());
  const std::string saved = ReadFile(box + "/timers.xml");
  EXPECT_NE(saved.find("name=\"Saved from the window\""), std::string::npos);
  EXPECT_NE(saved.find("name=\"New on the box\""), std::string::npos);
  EXPECT_NE(w.LogText().find("kept 1 timer added on the box: "), std::string::npos);
  EXPECT_EQ(SaveCommands(work / "notes"), "user:root\ncmd:killall -9 enigma2\n");
  const std::string log = w.LogText();
  EXPECT_NE(log.find("asStatusText : Disconnecting from 127.0.0.1."), std::string::npos);
  EXPECT_NE(log.find("dm7025 login: "), std::string::npos);
}

// Until the first change goes out, Cancel ends the save at once, whatever it waits for (the
// box's FTP replies or its web interface held back): nothing reaches the box, and the window
// stays open with its list and its change to save.
TEST(SaveExitWindow, CancelBeforeTheFirstChangeSendsNothing) {
  struct Route {
    const char* config;
    const char* slow_switch;
    const char* step;  // the step cancelled
  };
  for (const Route& route : {Route{"ApplyLive=0\n", "slow", "Backing up the box's timer list..."},
                             Route{"", "web_delay", "Reading the box's timer list..."}}) {
    SCOPED_TRACE(route.slow_switch);
    const tivolo::testing::BoxSim box({}, {}, true);
    const nlohmann::json& status = box.Status();
    tivolo::testing::TempDir work;
    WriteFile(work.Path() + "/config.ini",
              "[DB7025]\nIp=127.0.0.1\nUsername=" + status["user"].get<std::string>() +
                  "\nPassword=" + status["password"].get<std::string>() +
                  "\nFtpPort=" + std::to_string(box.FtpPort()) +
                  "\nTelnetPort=" + std::to_string(box.TelnetPort()) + "\nWebPort=" +
                  std::to_string(status["web_port"].get<int>()) + "\n" + route.config);
    widgets::ScriptedMessageService messages;
    StartOptions options;
    options.config_file = work.Path() + "/config.ini";
    options.local_dir = work.Path() + "/";
    options.messages = &messages;
    options.fetch_dialog_delay_ms = 0;
    MainWindow w(options);
    w.StartUp();
    w.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.WebRouteState().detection.has_value(); }, 5000));
    ASSERT_TRUE(messages.boxes.empty()) << messages.Trace().front();
    const int rows = w.TimerGrid()->model()->rowCount();
    // The receiver may write its list in another order when asked to before the upload route.
    const auto box_lines = [&box] {
      std::multiset<std::string> lines;
      std::istringstream in(box.TimersFile());
      for (std::string line; std::getline(in, line);)
        lines.insert(line);
      return lines;
    };
    const std::multiset<std::string> before = box_lines();
    w.AddChange();
    w.RefreshActions();
    // Each reply of the box now comes this late: without Cancel the save would stand for
    // many seconds.
    box.SetSwitches({{route.slow_switch, "4000"}});

    DialogScript script;
    std::string step;
    script.Then<SaveProgressDialog>([&](SaveProgressDialog& d) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return d.StepText() == route.step; }, 3000))
          << d.StepText();
      step = d.StepText();
      Control<QPushButton>(d, "SaveCancel").click();
    });
    QElapsedTimer cancelled;
    cancelled.start();
    EXPECT_TRUE(script.Run([&] { w.SaveExitExecute(); }));
    EXPECT_EQ(step, route.step);
    EXPECT_LT(cancelled.elapsed(), 4000);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "The save was cancelled: nothing was sent to the box.");
    box.SetSwitches({});
    EXPECT_EQ(box_lines(), before);
    EXPECT_EQ(box.WebLog().find("timerchange"), std::string::npos);
    EXPECT_EQ(box.LiveStatus()["kills"], 0);
    EXPECT_FALSE(w.TimerTerminate().isActive());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.TimerGrid()->model()->rowCount(), rows);
    EXPECT_TRUE(w.SaveExit()->isEnabled());
  }
}

// A save half-way cannot be undone: neither Escape nor the close box ends its dialog.
TEST(SaveExitWindow, TheProgressDialogIgnoresEscapeAndItsCloseBox) {
  SaveProgressDialog dialog(nullptr);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_FALSE(dialog.close());
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
}

}  // namespace
}  // namespace tivolo::app
