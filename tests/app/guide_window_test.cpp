// The guide fetch of the main window against the simulated demo box: it starts only once the
// window is up and says in the status bar how old the guide is; a guide file more than a day
// old gives way to the box's web interface in the picker; a box without a guide or series
// rules is a note, never an error box; Cancel in the status bar stops the fetch.
#include <fcntl.h>
#include <sys/stat.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <sstream>

#include "app/guide_status.h"
#include "app/main_window.h"
#include "app_test_support.h"
#include "boxdata/timer_writer.h"
#include "ui/channel_picker.h"
#include "ui/guide_list.h"
#include "ui/timer_editor.h"
#include "web/box_sim.h"
#include "widgets/message_service.h"

namespace tivolo::app {
namespace {

using namespace testing;
using tivolo::testing::BoxSim;

constexpr int kGuideBoundMs = 20000;
constexpr int64_t kTwoDays = 2 * 24 * 3600;

class GuideWindowTest : public ::testing::Test {
 protected:
  std::string Profile() const { return work.Path() + "/profile"; }
  fs::path Guide(const BoxSim& box) const { return fs::path(box.BoxDir()) / "media/hdd/epg.dat"; }

  std::unique_ptr<MainWindow> Window(const BoxSim& box) {
    fs::create_directories(Profile());
    const web::HttpEndpoint login = box.Endpoint();
    WriteFile(Profile() + "/config.ini",
              "[DB7025]\nIp=127.0.0.1\nUsername=" + login.user + "\nPassword=" + login.password +
                  "\nUTC_Offset=0\nUTC_Auto=1\nFtpPort=" + std::to_string(box.FtpPort()) +
                  "\nTelnetPort=" + std::to_string(box.TelnetPort()) + "\n");
    StartOptions options;
    options.config_file = Profile() + "/config.ini";
    options.local_dir = Profile() + "/";
    options.messages = &messages;
    options.fetch_dialog_delay_ms = 0;
    auto w = std::make_unique<MainWindow>(options);
    w->StartUp();
    EXPECT_TRUE(w->FetchResult().ok) << w->LogText();
    return w;
  }
  static bool GuideRead(MainWindow& w) {
    return QTest::qWaitFor([&w] { return w.Guide() != nullptr; }, kGuideBoundMs);
  }
  static std::string Status(const MainWindow& w) { return w.GuideStatusBar()->Text(); }
  // The line the timer list gets for the timer of this event.
  static std::string WrittenLine(MainWindow& w, int64_t eit) {
    std::istringstream list(boxdata::BuildTimerList(w.Tables().timers, w.Clock()));
    for (std::string line; std::getline(list, line);) {
      if (line.find("eit=\"" + std::to_string(eit) + "\"") != std::string::npos) return line;
    }
    return "no timer with eit " + std::to_string(eit);
  }

  tivolo::testing::TempDir work;
  widgets::ScriptedMessageService messages;
};

TEST_F(GuideWindowTest, TheGuideComesOnceTheWindowIsUpAndSaysHowOldItIs) {
  BoxSim box({}, {}, true);
  auto w = Window(box);
  // The start-up has not waited for it.
  EXPECT_EQ(w->Guide(), nullptr);
  EXPECT_FALSE(w->FindInGuide()->isEnabled());
  w->show();
  ASSERT_TRUE(GuideRead(*w));
  ASSERT_TRUE(w->Guide()->HasGuide()) << w->LogText();
  EXPECT_EQ(Status(*w).rfind("Guide of ", 0), 0u) << Status(*w);
  EXPECT_EQ(w->Guide()->settings.margin_before_minutes, 2);
  EXPECT_EQ(w->Guide()->settings.margin_after_minutes, 10);
  EXPECT_TRUE(w->FindInGuide()->isEnabled());
  EXPECT_NE(w->LogText().find(Status(*w) + ": "), std::string::npos) << w->LogText();
  // The demo box's two series rules come with the guide.
  ASSERT_NE(w->Rules(), nullptr);
  EXPECT_EQ(w->Rules()->rules.size(), 2u);
  EXPECT_NE(w->LogText().find("The box has 2 series rules."), std::string::npos);
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(GuideWindowTest, AGuideFileDaysOldGivesWayToTheWebInterface) {
  BoxSim box({}, {}, true);
  const int64_t old = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count() -
                      kTwoDays;
  const timespec times[2] = {{old, 0}, {old, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, Guide(box).c_str(), times, 0), 0);
  auto w = Window(box);
  w->show();
  ASSERT_TRUE(GuideRead(*w));
  ASSERT_TRUE(w->Guide()->HasGuide());
  w->UseWebInterfaceForGuide(box.Endpoint());
  boxdata::ProgrammeEvent picked;
  DialogScript script;
  script.Then<ui::ChannelPicker>([&picked](ui::ChannelPicker& p) {
    QLabel& note = Control<QLabel>(p, "GuideNote");
    ASSERT_TRUE(QTest::qWaitFor([&note] { return note.text() == "The box's guide now"; }, 5000))
        << note.text().toStdString();
    auto& list = Control<ui::GuideList>(p, "GuideList");
    // One whose begin with the margin before it still lies ahead: a running one begins now.
    const int64_t soon = static_cast<int64_t>(platform::NowEpochSeconds()) + 5 * 60;
    int row = 0;
    while (row < static_cast<int>(list.Rows().size()) && list.Rows()[row].event.begin < soon)
      ++row;
    ASSERT_LT(row, static_cast<int>(list.Rows().size()));
    picked = list.Rows()[row].event;
    const QRect cell = list.visualRect(list.Model()->index(row, 2));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell.center());
  });
  script.Then<ui::TimerEditor>([](ui::TimerEditor& e) {
    QTest::keyClick(&Control<QLineEdit>(e, "EditName"), Qt::Key_S, Qt::ControlModifier);
  });
  ASSERT_TRUE(script.Run([&w] { w->AppendExecute(); }));
  const std::string line = WrittenLine(*w, picked.event_id);
  EXPECT_NE(line.find("begin=\"" + std::to_string(picked.begin - 2 * 60) + "\" end=\"" +
                      std::to_string(picked.end + 10 * 60) + "\""),
            std::string::npos)
      << line;
  EXPECT_NE(line.find("name=\"" + picked.title + "\""), std::string::npos) << line;
  EXPECT_NE(box.WebLog().find("/api/epgservice?sRef="), std::string::npos) << box.WebLog();
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(GuideWindowTest, FindInGuideIsOffInTheSecondBeforeTheEnd) {
  BoxSim box({}, {}, true);
  auto w = Window(box);
  w->show();
  ASSERT_TRUE(GuideRead(*w));
  ASSERT_TRUE(w->FindInGuide()->isEnabled());
  // No web port is configured: upload and restart, when asked.
  messages.answers = {true, true};
  w->SaveExitExecute();
  ASSERT_TRUE(w->TimerTerminate().isActive()) << w->LogText();
  EXPECT_FALSE(w->FindInGuide()->isEnabled());
  const int rows = w->Tables().timers.RecordCount();
  w->FindInGuideClick();  // its key still reaches the window
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(w->Tables().timers.RecordCount(), rows);
}

TEST_F(GuideWindowTest, ABoxWithoutAGuideIsANoteAndThePickerAsBefore) {
  BoxSim box({}, {}, true);
  fs::remove(Guide(box));
  fs::remove(fs::path(box.BoxDir()) / "etc/enigma2/autotimer.xml");
  auto w = Window(box);
  w->show();
  ASSERT_TRUE(GuideRead(*w));
  EXPECT_FALSE(w->Guide()->HasGuide());
  // Nor are series rules an error: the list starts empty.
  EXPECT_NE(w->LogText().find("The box has no series rules (autotimer.xml)."), std::string::npos);
  ASSERT_NE(w->Rules(), nullptr);
  EXPECT_TRUE(w->Rules()->rules.empty());
  EXPECT_EQ(Status(*w), "The box has no guide");
  EXPECT_NE(w->LogText().find("The box has no guide (/media/hdd/epg.dat)."), std::string::npos)
      << w->LogText();
  EXPECT_FALSE(w->FindInGuide()->isEnabled());
  DialogScript script;
  script.Then<ui::ChannelPicker>([](ui::ChannelPicker& p) {
    EXPECT_EQ(p.findChild<QWidget*>("PickerGuide"), nullptr);
    EXPECT_EQ(p.size(), QSize(ui::ChannelPicker::kWidth, ui::ChannelPicker::kHeight));
    QTest::mouseClick(&Control<QPushButton>(p, "ButtonCancel"), Qt::LeftButton);
  });
  ASSERT_TRUE(script.Run([&w] { w->AppendExecute(); }));
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(GuideWindowTest, CancelInTheStatusBarStopsTheFetch) {
  BoxSim box({}, {}, true);
  auto w = Window(box);
  box.SetSwitches({{"slow", "400"}});  // every FTP reply late from now on
  w->show();
  GuideStatus& status = *w->GuideStatusBar();
  ASSERT_TRUE(QTest::qWaitFor([&status] { return status.CancelOffered(); }, kGuideBoundMs));
  EXPECT_EQ(status.Text(), "Guide: settings (1 of 2)");
  QTest::mouseClick(status.CancelButton(), Qt::LeftButton);
  EXPECT_FALSE(status.CancelOffered());
  ASSERT_TRUE(QTest::qWaitFor([&w] { return w->Guide() != nullptr; }, 3000));
  EXPECT_EQ(Status(*w), "Guide fetch cancelled");
  EXPECT_NE(w->LogText().find("The guide fetch was cancelled."), std::string::npos);
  EXPECT_FALSE(fs::exists(Profile() + "/epg.dat"));
  EXPECT_TRUE(messages.boxes.empty());
}

}  // namespace
}  // namespace tivolo::app
