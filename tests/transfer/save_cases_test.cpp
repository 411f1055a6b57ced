// Cases of a save that lose recordings when they go wrong: a repeated timer missing from the
// box after the restart, a recording that began the evening before and still runs, and a box
// whose list is damaged when the user lets this list replace it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "net/ftp/fake_ftp_server.h"
#include "net/peer.h"
#include "platform/now.h"
#include "save_script.h"
#include "support/test_files.h"
#include "transfer/save_to_box.h"

namespace tivolo::transfer {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::FakeFtpServer;
using testing::FakeFtpSession;
using testing::LoginAndBackup;

constexpr const char* kRef = "1:0:19:2B66:3F3:1:C00000:0:0:0:";
constexpr int64_t kWeek = 7 * 86400;

// Amsterdam's rules: UTC+1, daylight time from the last Sunday of March 02:00 to the last
// Sunday of October 03:00.
platform::ClockSettings Amsterdam() {
  platform::ClockSettings clock;
  clock.time_zone.bias = -60;
  clock.time_zone.daylight_bias = -60;
  clock.time_zone.daylight_date = {0, 3, 0, 5, 2, 0, 0, 0};
  clock.time_zone.standard_date = {0, 10, 0, 5, 3, 0, 0, 0};
  return clock;
}

std::string TimerLine(int64_t begin, int64_t end, const std::string& name, int repeated = 0) {
  return "<timer begin=\"" + std::to_string(begin) + "\" end=\"" + std::to_string(end) +
         "\" serviceref=\"" + kRef + "\" repeated=\"" + std::to_string(repeated) + "\" name=\"" +
         name + "\" description=\"\" afterevent=\"nothing\" eit=\"\" disabled=\"0\" " +
         "justplay=\"0\">\n</timer>\n";
}

std::string ListOf(const std::vector<std::string>& lines) {
  std::string text = "<?xml version=\"1.0\" ?>\n<timers>\n";
  for (const std::string& line : lines)
    text += line;
  return text + "</timers>\n";
}

std::string Names(const std::string& list) {
  std::string names;
  for (const ListedTimer& t : ReadTimerList(list, Amsterdam()).timers)
    names += t.values.name + "; ";
  return names;
}

// Tuesday 6 January 2026, 23:30 in Amsterdam (22:30 UTC).
constexpr int64_t kTuesday2330 = 1767738600;

// A repeated timer keeps the begin of one occurrence; that the occurrence has ended does not
// make the timer one the receiver may drop.
TEST(StillHoldsAfterRestart, ARepeatedTimerWhoseStoredOccurrenceEndedMustStay) {
  const int64_t now = kTuesday2330 + 3600;
  const std::string weekly =
      TimerLine(kTuesday2330 - kWeek, kTuesday2330 - kWeek + 7200, "Late", 2);
  const std::string ended = TimerLine(now - 7200, now - 3600, "Ended");
  const std::string ahead = TimerLine(now + 3600, now + 7200, "Ahead");
  const TimerList sent = ReadTimerList(ListOf({weekly, ended, ahead}), Amsterdam());
  auto holds = [&](const std::vector<std::string>& on_box) {
    return StillHolds(ReadTimerList(ListOf(on_box), Amsterdam()), sent, now);
  };
  EXPECT_TRUE(holds({weekly, ahead}));
  EXPECT_FALSE(holds({ended, ahead}));
  EXPECT_FALSE(holds({ahead}));
}

class Recorder : public SaveObserver {
 public:
  void Progress(SaveStep) override {}
  void Log(const std::string& line) override { log += line + "\n"; }
  bool Ask(const std::string& question) override {
    questions += question + "\n";
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.erase(answers.begin());
    return yes;
  }
  std::string log, questions;
  std::vector<bool> answers;
};

// A save against a scripted FTP server; the receiver's telnet port refuses, so a save that
// gets as far as the restart ends as not restarted.
class SaveCaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    input.box = {"127.0.0.1", 0, static_cast<uint16_t>(net::testing::UnusedPort()), "root", ""};
    input.local_dir = work.Path() + "/local";
    fs::create_directories(input.local_dir);
    input.start.state = boxdata::TimerListState::kComplete;
    input.start.fetch_ok = true;
    input.start.fetched = true;
    input.clock = Amsterdam();
    input.channel_names = {{kRef, "NPO 1"}};
    bounds.dialogue = 2s;
  }
  void Ours(const std::vector<std::string>& lines) {
    input.timer_list = ListOf(lines);
    input.timers.clear();
    for (const ListedTimer& t : ReadTimerList(input.timer_list, input.clock).timers)
      input.timers.push_back({t.Begin(), t.End(), kRef, t.values.name, {}});
  }
  SaveResult Run(FakeFtpServer& server) {
    input.box.ftp_port = static_cast<uint16_t>(server.Port());
    input.start.box = input.box;
    SaveResult r = SaveToBox(input, observer, bounds).Run();
    server.Join();
    EXPECT_EQ(server.Failures(), "");
    return r;
  }

  tivolo::testing::TempDir work;
  SaveInput input;
  BoxBounds bounds;
  Recorder observer;
};

// On Tuesdays from 23:30 to 01:30: at 00:30 on Wednesday the Tuesday's recording runs.
TEST_F(SaveCaseTest, ARepeatedRecordingPastMidnightIsAskedAbout) {
  platform::ScopedNow now(kTuesday2330 + 3600);
  const std::string box_list =
      ListOf({TimerLine(kTuesday2330 - kWeek, kTuesday2330 - kWeek + 7200, "Late", 2),
              TimerLine(kTuesday2330 + 86400, kTuesday2330 + 90000, "Wednesday", 4)});
  input.start.text = box_list;
  Ours({TimerLine(kTuesday2330 - kWeek, kTuesday2330 - kWeek + 7200, "Late", 2),
        TimerLine(kTuesday2330 + 86400, kTuesday2330 + 90000, "Wednesday", 4),
        TimerLine(kTuesday2330 + 2 * 86400, kTuesday2330 + 2 * 86400 + 1800, "New")});
  FakeFtpServer server([&](FakeFtpSession& s) {
    LoginAndBackup(s, box_list);
    s.WaitForClientClose();
  });
  const SaveResult r = Run(server);
  EXPECT_EQ(r.outcome, SaveOutcome::kDeclined) << r.message;
  EXPECT_EQ(observer.questions,
            "A recording is running on the box: NPO 1 Late until 01:30. Restarting the receiver "
            "now cuts it into two files. Save and restart anyway?\n");
}

// The box's list ends after two of its four timers. Yes to replacing it sends this list as
// the user has it: the two the cut list no longer shows are kept from the list read at start.
TEST_F(SaveCaseTest, ADamagedBoxListReplacedKeepsEveryTimerReadAtStart) {
  std::vector<std::string> four;
  for (int i = 0; i < 4; ++i)
    four.push_back(
        TimerLine(1770000000 + i * 3600, 1770001800 + i * 3600, "T" + std::to_string(i)));
  input.start.text = ListOf(four);
  const std::string cut = ListOf(four).substr(0, ListOf(four).find(four[2]));
  std::vector<std::string> ours = four;
  ours.push_back(TimerLine(1770020000, 1770023600, "Added"));
  Ours(ours);
  observer.answers = {true};
  std::string stored;
  FakeFtpServer server([&](FakeFtpSession& s) {
    LoginAndBackup(s, cut);
    s.AcceptPort();
    s.Expect("STOR timers.xml.upload");
    s.Reply("150 Ok to send data.");
    s.ConnectData();
    stored = s.ReceiveDataUntilClose();
    s.CloseData();
    s.Reply("226 Transfer complete.");
    s.Expect("SIZE ");
    s.Reply("213 " + std::to_string(stored.size()));
    s.ServeFile("timers.xml", cut);
    s.Expect("RNFR ");
    s.Reply("350 Ready for RNTO.");
    s.Expect("RNTO ");
    s.Reply("250 Rename successful.");
    s.WaitForClientClose();
  });
  const SaveResult r = Run(server);
  EXPECT_EQ(r.outcome, SaveOutcome::kNotRestarted) << r.message;
  EXPECT_EQ(observer.questions.rfind("The box's timer list (timers.xml) is damaged", 0), 0u)
      << observer.questions;
  EXPECT_EQ(Names(stored), "T0; T1; T2; T3; Added; ");
  EXPECT_EQ(Names(r.uploaded_list), Names(stored));
}

}  // namespace
}  // namespace tivolo::transfer
