// The main window's start-up against a loopback vsftpd holding the large real set, against a
// refused connection, and on a first run without config.ini.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include "app/fetch_progress.h"
#include "app/main_window.h"
#include "app/settings_dialog.h"
#include "app_test_support.h"
#include "platform/clock.h"
#include "ui/timer_editor.h"
#include "widgets/message_service.h"

namespace tivolo::app {
namespace {

using namespace testing;
using Kind = widgets::ScriptedMessageService::Kind;

// Before the real timer of 7 November 2024 ended, so that none is dropped as a day old.
const platform::DateTime kNow = platform::EncodeDate(2024, 11, 1);

class StartUpTest : public ::testing::Test {
 protected:
  std::string Profile() const { return work.Path() + "/profile"; }
  std::string BoxFolder() const { return work.Path() + "/root/etc/enigma2"; }
  void StartVsftpd() {
    if (!tivolo::testing::HaveExecutable("/usr/sbin/vsftpd"))
      GTEST_SKIP() << "vsftpd is not installed (/usr/sbin/vsftpd)";
    FillBoxFolder(BoxFolder());
    fs::create_directories(work.Path() + "/vsftpd");
    std::string error;
    ASSERT_TRUE(server.Start({tivolo::testing::ServersDir() + "/vsftpd.sh", work.Path() + "/root",
                              work.Path() + "/vsftpd"},
                             true, &error))
        << error;
  }
  std::unique_ptr<MainWindow> Window(bool debug) {
    fs::create_directories(Profile());
    StartOptions options;
    options.config_file = Profile() + "/config.ini";
    options.local_dir = Profile() + "/";
    options.debug = debug;
    options.messages = &messages;
    options.fetch_dialog_delay_ms = 0;
    return std::make_unique<MainWindow>(options);
  }
  // Channel, name and begin of every row of the grid.
  static std::vector<std::string> GridRows(MainWindow& w) {
    std::vector<std::string> rows;
    QAbstractItemModel* m = w.TimerGrid()->model();
    for (int r = 0; r < m->rowCount(); ++r) {
      rows.push_back(m->index(r, 0).data().toString().toStdString() + " | " +
                     m->index(r, 1).data().toString().toStdString());
    }
    return rows;
  }

  const platform::ScopedNow now{SecondsOf(kNow)};
  tivolo::testing::TempDir work;
  tivolo::testing::ServerProcess server;
  widgets::ScriptedMessageService messages;
};

TEST_F(StartUpTest, FetchesTheBoxFilesAndShowsEveryTimerInBeginOrder) {
  StartVsftpd();
  if (IsSkipped()) return;
  WriteConfig(Profile() + "/config.ini", server.Port(), BoxFolder());
  auto w = Window(true);
  w->StartUp();
  EXPECT_TRUE(messages.Trace().empty()) << messages.Trace().front();
  EXPECT_TRUE(w->FetchResult().ok);
  EXPECT_TRUE(w->FetchResult().Fetched("timers.xml"));
  EXPECT_TRUE(w->ReadResult().TimerListComplete());
  const std::string channel = "TVP 1 HD";  // named from the bouquets
  EXPECT_EQ(GridRows(*w), (std::vector<std::string>{channel + " | First",
                                                    channel + " | Ojciec Mateusz 32 (odc. 2)",
                                                    channel + " | Third"}));
  EXPECT_EQ(w->windowTitle().toStdString(), "Tivolo  127.0.0.1:   (v0.2)[*]");
  // Memo1, the time zone, the FTP status lines of the fetch, then one line per timer.
  const std::string log = w->LogText();
  const size_t zone = log.find("\nTimeZoneInformation.Bias: ");
  const size_t ftp = log.find("\nasStatusText : Connecting to 127.0.0.1.");
  const size_t last_ftp = log.rfind("\nasStatusText : ");
  const size_t timer = log.find("\n\t<timer begin=\"1731100000\"");
  EXPECT_EQ(log.rfind("Memo1\n", 0), 0u);
  EXPECT_TRUE(zone < ftp && ftp < last_ftp && last_ftp < timer && timer != std::string::npos)
      << log;
  EXPECT_TRUE(w->LogView()->isVisibleTo(w.get()));
  EXPECT_EQ(w->LogView()->height(), kLogHeight);
  EXPECT_TRUE(w->Edit()->isEnabled() && w->Delete()->isEnabled());
  EXPECT_FALSE(w->SaveExit()->isEnabled());
  // The focus timer gives the grid the keyboard once the window is up.
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
  EXPECT_TRUE(QTest::qWaitFor([&] { return w->TimerGrid()->hasFocus(); }, 2000));
  // The buttons' Alt accelerators run their actions; a disabled one does not.
  QSignalSpy edit(w->Edit(), &QAction::triggered);
  QSignalSpy save_exit(w->SaveExit(), &QAction::triggered);
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  // Edit opens the timer editor on the current timer; it is cancelled.
  DialogScript script;
  script.Then<ui::TimerEditor>([](ui::TimerEditor& e) {
    QTest::mouseClick(&Control<QPushButton>(e, "ButtonCancel"), Qt::LeftButton);
  });
  EXPECT_TRUE(script.Run([&] { QTest::keyClick(w.get(), Qt::Key_E, Qt::AltModifier); }));
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  QTest::keyClick(w.get(), Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return edit.count() == 1; }, 2000));
  EXPECT_EQ(save_exit.count(), 0);
}

// A box that takes the connection and never greets: the fetch waits until Cancel.
TEST_F(StartUpTest, CancelInTheProgressDialogEndsTheFetchAsAFailure) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  socklen_t len = sizeof addr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  WriteConfig(Profile() + "/config.ini", ntohs(addr.sin_port), "/etc/enigma2");
  auto w = Window(false);
  QElapsedTimer clock;
  DialogScript script;
  script.Then<FetchProgressDialog>([&](FetchProgressDialog& d) {
    clock.start();
    QTest::mouseClick(d.CancelButton(), Qt::LeftButton);
  });
  // The alert and the error box after it go to the scripted messages, not to dialogs.
  EXPECT_TRUE(script.Run([&] { w->StartUp(); }));
  ::close(listener);
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_TRUE(w->FetchResult().cancelled);
  EXPECT_EQ(messages.Trace().size(), 2u);  // the alert, then the files that are not there
  EXPECT_EQ(messages.boxes[0].kind, Kind::kAlert);
}

TEST_F(StartUpTest, ARefusedConnectionIsAlertedAndTheOldCopiesAreRead) {
  FillBoxFolder(Profile());  // an earlier run's copies
  // Nothing listens on port 1 of the loopback address.
  WriteConfig(Profile() + "/config.ini", 1, Profile());
  auto w = Window(false);
  w->StartUp();
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].kind, Kind::kAlert);
  const transfer::FetchResult& fetch = w->FetchResult();
  EXPECT_FALSE(fetch.ok);
  EXPECT_EQ(fetch.error_type, "SocketError");
  const std::string& alert = messages.boxes[0].text;
  EXPECT_EQ(alert.rfind("FTP fout bij het ophalen van bestanden vanaf de DM7025\n"
                        "Mogelijk zijn er geen of oude timers ingelezen.\n\nSocketError",
                        0),
            0u);
  EXPECT_EQ(alert.substr(alert.size() - fetch.error_message.size()), fetch.error_message);
  EXPECT_NE(fetch.error_message.find("refused"), std::string::npos) << fetch.error_message;
  EXPECT_EQ(messages.beeps, 1);
  EXPECT_EQ(GridRows(*w).size(), 3u);
  EXPECT_FALSE(w->LogView()->isVisibleTo(w.get()));
}

TEST_F(StartUpTest, FilesThatCannotBeReadAreListedInOneErrorBox) {
  fs::create_directories(Profile());
  WriteFile(Profile() + "/bouquets.tv",
            "#NAME TV\n#SERVICE 1:7:1:0:0:0:0:0:0:0:"
            "FROM BOUQUET \"userbouquet.gone.tv\" ORDER BY bouquet\n");
  WriteConfig(Profile() + "/config.ini", 1, Profile());
  auto w = Window(false);
  w->StartUp();
  ASSERT_EQ(messages.boxes.size(), 2u);
  EXPECT_EQ(messages.boxes[1].kind, Kind::kError);
  // One line per file, named first.
  std::string files;
  for (const QString& line : QString::fromStdString(messages.boxes[1].text).split('\n'))
    files += line.section(':', 0, 0).toStdString() + " ";
  EXPECT_EQ(files, "lamedb userbouquet.gone.tv bouquets.radio ") << messages.boxes[1].text;
  // The sequence went on: the actions are up to date and the focus timer runs.
  EXPECT_FALSE(w->Edit()->isEnabled());
  EXPECT_TRUE(w->FocusTimer().isActive());
}

class FirstRunTest : public StartUpTest {
 protected:
  // The dialog's state when it opened, and whether anything had gone to the network.
  std::string seen;
  void LookAt(SettingsDialog& d, MainWindow& w) {
    auto text = [&d](const char* name) { return Control<QLineEdit>(d, name).text().toStdString(); };
    const QSpinBox& offset = Control<QSpinBox>(d, "SpinOffset");
    seen = text("Edit_Ip") + " " + text("Edit_User") + " [" + text("Edit_Pass") + "] " +
           std::to_string(offset.value()) + (offset.isEnabled() ? " spin on" : " spin off") +
           (w.LogText().find("asStatusText") == std::string::npos ? " quiet" : " network");
  }
};

TEST_F(FirstRunTest, LeavingTheDialogEndsTheProgramBeforeAnyNetworkTraffic) {
  auto w = Window(false);
  DialogScript script;
  script.Then<SettingsDialog>([&](SettingsDialog& d) {
    LookAt(d, *w);
    EXPECT_TRUE(Control<QLabel>(d, "FirstRunNote").isVisible());
    QTest::keyClick(&Control<QLineEdit>(d, "Edit_Ip"), Qt::Key_Return);  // Enter is not bound
    EXPECT_TRUE(d.isVisible());
    QTest::keyClick(&Control<QLineEdit>(d, "Edit_Ip"), Qt::Key_Escape);  // as Cancel
  });
  EXPECT_TRUE(script.Run([&] { w->StartUp(); }));
  EXPECT_EQ(seen, "192.168.1.1 root [] 0 spin off quiet");
  EXPECT_TRUE(w->EndRequested());
  EXPECT_FALSE(fs::exists(Profile() + "/config.ini"));
  EXPECT_EQ(w->LogText().find("asStatusText"), std::string::npos);
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(FirstRunTest, SaveWritesTheKeysAndTheStartGoesOn) {
  auto w = Window(false);
  DialogScript script;
  script.Then<SettingsDialog>([&](SettingsDialog& d) {
    Control<QLineEdit>(d, "Edit_Ip").setText(" 127.0.0.1 ");
    Control<QLineEdit>(d, "Edit_Pass").setText("secret  ");
    QTest::keyClick(&d, Qt::Key_S, Qt::AltModifier);
  });
  EXPECT_TRUE(script.Run([&] { w->StartUp(); }));
  EXPECT_FALSE(w->EndRequested());
  EXPECT_EQ(ReadFile(Profile() + "/config.ini"),
            "[DB7025]\nIp=127.0.0.1\nUsername=root\nPassword=secret\nUTC_Offset=0\nUTC_Auto=1\n"
            "WebPort=80\nWebHttps=0\nApplyLive=1\n");
  EXPECT_EQ(w->windowTitle().toStdString(), "Tivolo  127.0.0.1:   (v0.2)[*]");
  // Nothing listens on the box's port 21 here: the fetch was tried, and alerted.
  EXPECT_NE(w->LogText().find("asStatusText : Connecting to 127.0.0.1."), std::string::npos);
}

}  // namespace
}  // namespace tivolo::app
