// The main window and the box it reads: a fetch that failed is retried by "Reload from box"
// once the configuration is right, another box in the configuration is read before anything
// is saved, a box without timers.xml is not shown from an earlier copy unasked, the grid shows
// the merged list after a restart that failed, and a pending restart is offered at the next
// start.
#include <QDialog>
#include <QTest>

#include "app/main_window.h"
#include "app/settings_dialog.h"
#include "app_test_support.h"
#include "transfer/live_save_record.h"
#include "transfer/pending_restart.h"
#include "widgets/message_service.h"

namespace tivolo::app {
namespace {

using namespace testing;
using Kind = widgets::ScriptedMessageService::Kind;

const platform::DateTime kNow = platform::EncodeDate(2024, 11, 1);

class BoxWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveBoxPeers()) GTEST_SKIP() << "vsftpd or busybox is not installed";
    fs::create_directories(Profile());
    const std::string error = StartBoxPeers(work, ftp, telnet);
    ASSERT_TRUE(error.empty()) << error;
  }
  std::string Profile() const { return work.Path() + "/profile"; }
  std::string BoxFolder() const { return work.Path() + "/root/etc/enigma2"; }
  void Configure(int ftp_port, int telnet_port) {
    WriteBoxConfig(Profile() + "/config.ini", ftp_port, telnet_port, BoxFolder());
  }
  std::unique_ptr<MainWindow> Window() {
    StartOptions options;
    options.config_file = Profile() + "/config.ini";
    options.local_dir = Profile() + "/";
    options.messages = &messages;
    options.fetch_dialog_delay_ms = 0;
    return std::make_unique<MainWindow>(options);
  }
  // Renames the first timer, as the editor would, and counts the change.
  static void RenameFirst(MainWindow& w, const char* name) {
    store::MemTable& timers = w.Tables().timers;
    store::MemTable::Event open_editor = std::move(timers.AfterEdit);
    timers.AfterEdit = nullptr;
    timers.ViewMoveToRow(0);
    timers.Edit();
    timers.FieldNamed("Name").SetAsString(name);
    timers.Post();
    timers.AfterEdit = std::move(open_editor);
    w.AddChange();
    w.RefreshActions();
  }
  // Opens Configuration and leaves it without saving: config.ini was changed by hand.
  static void ReopenConfiguration(MainWindow& w) {
    DialogScript script;
    script.Then<SettingsDialog>([](SettingsDialog& d) { d.reject(); });
    EXPECT_TRUE(script.Run([&] { w.ConfigurationClick(); }));
  }

  const platform::ScopedNow now{SecondsOf(kNow)};
  tivolo::testing::TempDir work;
  tivolo::testing::ServerProcess ftp, telnet;
  widgets::ScriptedMessageService messages;
};

TEST_F(BoxWindowTest, AFailedFetchIsRetriedOnceTheConfigurationNamesTheBox) {
  Configure(1, telnet.Port());  // nothing listens on port 1
  auto w = Window();
  w->StartUp();
  ASSERT_EQ(messages.boxes.size(), 2u);  // the alert, then the copies that are not there
  EXPECT_EQ(w->Tables().timers.RecordCount(), 0);
  EXPECT_TRUE(w->Reload()->isEnabled());

  // The right port now: another box for the purpose of its files, read at once.
  Configure(ftp.Port(), telnet.Port());
  ReopenConfiguration(*w);
  EXPECT_TRUE(w->FetchResult().ok);
  EXPECT_EQ(w->Tables().timers.RecordCount(), 3);
  EXPECT_EQ(w->ListAtStart().box.ftp_port, ftp.Port());

  // A change, then F5: asked first; No keeps the change, Yes reads the box again.
  RenameFirst(*w, "Changed here");
  messages.boxes.clear();
  messages.answers = {false, true};
  w->ReloadClick();
  EXPECT_EQ(w->ChangeCount(), 1);
  w->ReloadClick();
  EXPECT_EQ(messages.Trace().size(), 2u);
  EXPECT_EQ(w->ChangeCount(), 0);
  EXPECT_FALSE(w->SaveExit()->isEnabled());
}

TEST_F(BoxWindowTest, AnotherClockSettingKeepsEveryTimersInstant) {
  Configure(ftp.Port(), telnet.Port());
  auto w = Window();
  w->StartUp();
  auto written = [&] {
    return transfer::PrepareSave(w->Tables(), {}, w->Box(), Profile(), w->ListAtStart(), w->Clock())
        .timer_list;
  };
  const std::string before = written();
  const platform::DateTime shown = w->Tables().timers.FieldNamed("Begin").AsDateTime();
  std::string config = ReadFile(Profile() + "/config.ini");
  config.replace(config.find("UTC_Offset=0"), 12, "UTC_Offset=5");
  config.replace(config.find("UTC_Auto=1"), 10, "UTC_Auto=0");
  WriteFile(Profile() + "/config.ini", config);
  ReopenConfiguration(*w);
  EXPECT_FALSE(w->Clock().utc_auto);
  EXPECT_EQ(written(), before);
  EXPECT_NE(w->Tables().timers.FieldNamed("Begin").AsDateTime(), shown);
}

TEST_F(BoxWindowTest, AnotherBoxWithChangesPendingIsReadOnlyWhenTheUserSaysSo) {
  Configure(ftp.Port(), telnet.Port());
  auto w = Window();
  w->StartUp();
  ASSERT_TRUE(messages.boxes.empty()) << messages.Trace().front();
  RenameFirst(*w, "Changed here");
  Configure(1, telnet.Port());
  messages.answers = {false};
  ReopenConfiguration(*w);
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_NE(messages.boxes[0].text.find("names the box 127.0.0.1:1 ("), std::string::npos)
      << messages.boxes[0].text;
  // Kept: and Save && Exit refuses, naming both boxes.
  EXPECT_EQ(w->ChangeCount(), 1);
  w->SaveExitExecute();
  ASSERT_EQ(messages.boxes.size(), 2u);
  EXPECT_EQ(messages.boxes[1].kind, Kind::kError);
  EXPECT_NE(
      messages.boxes[1].text.find("was read from the box 127.0.0.1:" + std::to_string(ftp.Port())),
      std::string::npos)
      << messages.boxes[1].text;
  EXPECT_EQ(ReadFile(BoxFolder() + "/timers.xml").find("Changed here"), std::string::npos);
}

TEST_F(BoxWindowTest, ABoxWithoutATimerListIsNotShownFromAnEarlierCopyUnasked) {
  Configure(ftp.Port(), telnet.Port());
  const std::string earlier = ReadFile(BoxFolder() + "/timers.xml");
  WriteFile(Profile() + "/timers.xml", earlier);
  fs::rename(BoxFolder() + "/timers.xml", BoxFolder() + "/timers.xml_old");
  auto w = Window();
  w->StartUp();
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].kind, Kind::kQuestion);
  EXPECT_NE(messages.boxes[0].text.find("The box has no timer list (timers.xml)"),
            std::string::npos);
  EXPECT_EQ(w->Tables().timers.RecordCount(), 0);
  EXPECT_EQ(ReadFile(Profile() + "/timers.xml.earlier"), earlier);

  // Asked to, the copy is shown, and saving treats its timers as new to the box.
  WriteFile(Profile() + "/timers.xml", earlier);
  messages.answers = {true};
  auto shown = Window();
  shown->StartUp();
  EXPECT_EQ(shown->Tables().timers.RecordCount(), 3);
  EXPECT_EQ(shown->ListAtStart().state, boxdata::TimerListState::kMissing);
  EXPECT_TRUE(shown->ListAtStart().text.empty());
}

TEST_F(BoxWindowTest, AfterAFailedRestartTheMergedListIsShownAndTheRetryOnlyRestarts) {
  Configure(ftp.Port(), 1);  // no telnet at first
  auto w = Window();
  w->StartUp();
  ASSERT_TRUE(messages.boxes.empty()) << messages.Trace().front();
  RenameFirst(*w, "Changed here");
  // The box adds a timer meanwhile.
  std::string on_box = ReadFile(BoxFolder() + "/timers.xml");
  on_box.insert(
      on_box.find("</timers>"),
      "<timer begin=\"1732000000\" end=\"1732003600\" serviceref=\"1:0:1:B2:C:3E8:"
      "FFFF0000:0:0:0:\" repeated=\"0\" name=\"New on the box\" afterevent=\"auto\" />\n");
  WriteFile(BoxFolder() + "/timers.xml", on_box);
  w->SaveExitExecute();
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_NE(messages.boxes[0].text.find("Do not restart the box by hand"), std::string::npos);
  EXPECT_EQ(w->Tables().timers.RecordCount(), 4);
  EXPECT_TRUE(w->SaveExit()->isEnabled());
  EXPECT_TRUE(transfer::ReadPendingRestart(Profile()).has_value());

  // The retry finds its own list on the box: nothing is sent again, the receiver restarts.
  const std::string sent = ReadFile(BoxFolder() + "/timers.xml");
  Configure(ftp.Port(), telnet.Port());
  w->LoadConfiguration();
  w->SaveExitExecute();
  EXPECT_EQ(messages.boxes.size(), 1u) << messages.Trace().back();
  EXPECT_TRUE(w->TimerTerminate().isActive());
  EXPECT_NE(w->LogText().find("The box holds this timer list already"), std::string::npos);
  EXPECT_EQ(ReadFile(BoxFolder() + "/timers.xml"), sent);
  EXPECT_EQ(SaveCommands(work / "notes"), "user:root\ncmd:killall -9 enigma2\n");
  EXPECT_FALSE(transfer::ReadPendingRestart(Profile()).has_value());
}

TEST_F(BoxWindowTest, APendingRestartIsOfferedUntilItIsCheckedOrDeclined) {
  Configure(ftp.Port(), telnet.Port());
  // An earlier run put the box's list there and was killed before the restart.
  auto first = Window();
  first->StartUp();
  const transfer::BoxAddress box = first->ListAtStart().box;
  first.reset();
  const auto record = [&] {
    transfer::RecordPendingRestart(
        Profile(), {box.Label(), 1765000000, ReadFile(BoxFolder() + "/timers.xml")});
  };
  const auto offered = [&] {
    for (const auto& b : messages.boxes)
      if (b.text.find("Restart the receiver now?") != std::string::npos) return true;
    return false;
  };
  record();

  // A start whose fetch fails cannot tell: the record waits.
  fs::rename(BoxFolder(), BoxFolder() + ".away");
  auto w = Window();
  w->StartUp();
  fs::rename(BoxFolder() + ".away", BoxFolder());
  EXPECT_FALSE(w->FetchResult().ok);
  EXPECT_FALSE(offered()) << messages.Trace().back();
  EXPECT_TRUE(transfer::ReadPendingRestart(Profile()).has_value());

  // The next start offers it; the restart fails, and Save && Exit, as the advice says, retries.
  Configure(ftp.Port(), 1);
  messages.boxes.clear();
  messages.answers = {true};
  w = Window();
  w->StartUp();
  ASSERT_TRUE(offered());
  EXPECT_NE(messages.Trace().back().find("Save && Exit again retries the restart"),
            std::string::npos)
      << messages.Trace().back();
  EXPECT_EQ(w->ChangeCount(), 0);
  EXPECT_TRUE(w->SaveExit()->isEnabled());
  EXPECT_TRUE(transfer::ReadPendingRestart(Profile()).has_value());
  Configure(ftp.Port(), telnet.Port());
  w->LoadConfiguration();
  messages.boxes.clear();
  w->SaveExitExecute();
  EXPECT_TRUE(messages.boxes.empty()) << messages.Trace().back();
  EXPECT_TRUE(w->TimerTerminate().isActive());
  EXPECT_EQ(SaveCommands(work / "notes"), "user:root\ncmd:killall -9 enigma2\n");
  EXPECT_FALSE(transfer::ReadPendingRestart(Profile()).has_value());

  // Declined: not offered again.
  record();
  messages.answers = {false};
  w = Window();
  w->StartUp();
  EXPECT_TRUE(offered());
  EXPECT_FALSE(transfer::ReadPendingRestart(Profile()).has_value());
  EXPECT_FALSE(w->SaveExit()->isEnabled());
}

// A live save cut off in an earlier run: a start that cannot read the box's list keeps the
// record and refuses to save; the next start that reads it tells what was sent and what not.
TEST_F(BoxWindowTest, AnInterruptedLiveSaveIsToldAtTheFirstStartThatReadsTheBox) {
  Configure(ftp.Port(), telnet.Port());
  auto first = Window();
  first->StartUp();
  const transfer::BoxAddress box = first->ListAtStart().box;
  first.reset();
  transfer::RecordLiveSave(
      Profile(), {box.Label(), 1765000000, {"adding \"Sent one\""}, {"deleting \"Never sent\""}});
  const fs::path away = work.Path() + "/root/etc/elsewhere";
  fs::rename(BoxFolder(), away);
  auto w = Window();
  w->StartUp();
  ASSERT_FALSE(messages.boxes.empty());
  for (const auto& box_shown : messages.boxes)
    EXPECT_EQ(box_shown.text.find("Never sent"), std::string::npos) << box_shown.text;
  messages.boxes.clear();
  w->SaveExitExecute();
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].text, transfer::kReloadBeforeSaving);
  w.reset();

  fs::rename(away, BoxFolder());
  messages.boxes.clear();
  w = Window();
  w->StartUp();
  ASSERT_EQ(messages.boxes.size(), 1u) << messages.Trace().back();
  const std::string told = messages.boxes[0].text;
  EXPECT_NE(told.find("may or may not have carried them out"), std::string::npos) << told;
  EXPECT_LT(told.find("Sent one"), told.find("Not sent"));
  EXPECT_GT(told.find("Never sent"), told.find("Not sent"));
  EXPECT_FALSE(transfer::ReadLiveSave(Profile()).has_value());
}

}  // namespace
}  // namespace tivolo::app
