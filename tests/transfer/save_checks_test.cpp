// The pure parts of saving to the box: the telnet dialogue as a state machine fed block by
// block, the check of the written list, the count of timers that changed on the box, and the
// rotation of backups.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "servers/server_process.h"
#include "transfer/box_backup.h"
#include "transfer/telnet_dialogue.h"
#include "transfer/timer_list_check.h"

namespace tivolo::transfer {
namespace {

const char* OutcomeName(DialogueOutcome o) {
  switch (o) {
    case DialogueOutcome::kPending:
      return "pending";
    case DialogueOutcome::kRestarted:
      return "restarted";
    case DialogueOutcome::kNoProcessKilled:
      return "no process killed";
    case DialogueOutcome::kPasswordWanted:
      return "password wanted";
    case DialogueOutcome::kLoginRefused:
      return "login refused";
    case DialogueOutcome::kConnectionClosed:
      return "connection closed";
  }
  return "?";
}

struct DialogueCase {
  const char* label;
  const char* user;
  const char* password;
  std::vector<std::string> blocks;  // "<closed>" for the box closing the connection
  // Per block what was sent ("|" ends a block; "close" when it closed), then the outcome.
  const char* expected;
};

class DialogueTest : public ::testing::TestWithParam<DialogueCase> {};

TEST_P(DialogueTest, SendsAndEnds) {
  const DialogueCase& c = GetParam();
  TelnetDialogue d(c.user, c.password);
  std::string trace;
  for (const std::string& block : c.blocks) {
    if (block == "<closed>") {
      d.ConnectionClosed();
      trace += "<closed>|";
      continue;
    }
    DialogueReply r = d.Receive(block);
    trace += r.send + (r.close ? "close" : "") + "|";
  }
  trace += OutcomeName(d.Outcome());
  EXPECT_EQ(trace, c.expected);
  EXPECT_EQ(d.Over(), d.Outcome() != DialogueOutcome::kPending);
  EXPECT_EQ(d.Reason().empty(),
            d.Outcome() == DialogueOutcome::kPending || d.Outcome() == DialogueOutcome::kRestarted);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, DialogueTest,
    ::testing::Values(
        DialogueCase{"any_host_name",
                     "root",
                     "",
                     {"\r\nvuultimo4k login: ", "root\r\n", "root@vuultimo4k:~# ",
                      "killall -9 enigma2\r\n", "root@vuultimo4k:~# ", "root@vuultimo4k:~# "},
                     "root\n||killall -9 enigma2\n||close||restarted"},
        DialogueCase{"factory_host_name",
                     "root",
                     "",
                     {"dm7025 login: ", "root@dm7025:~# ", "killall -9 enigma2\r\nroot@dm7025:~# "},
                     "root\n|killall -9 enigma2\n|close|restarted"},
        DialogueCase{"capitals",
                     "ROOT",
                     "",
                     {"DM7025 LOGIN: ", "ROOT@DM7025:~# ", "ROOT@DM7025:~# "},
                     "root\n|killall -9 enigma2\n|close|restarted"},
        DialogueCase{"no_login_asked",
                     "root",
                     "",
                     {"root@zgemmah7:~# ", "root@zgemmah7:~# "},
                     "killall -9 enigma2\n|close|restarted"},
        DialogueCase{"password_answered",
                     "root",
                     "s3cret",
                     {"vuduo2 login: ", "Password: ", "Last login: Mon Dec  7 on pts/0\r\n",
                      "root@vuduo2:~# ", "root@vuduo2:~# "},
                     "root\n|s3cret\n||killall -9 enigma2\n|close|restarted"},
        DialogueCase{"password_not_configured",
                     "root",
                     "",
                     {"vuduo2 login: ", "Password: "},
                     "root\n|close|password wanted"},
        DialogueCase{"password_for_another_user",
                     "admin",
                     "s3cret",
                     {"vuduo2 login: ", "Password: "},
                     "root\n|close|password wanted"},
        DialogueCase{"wrong_password",
                     "root",
                     "wrong",
                     {"vuduo2 login: ", "Password: ", "\r\nLogin incorrect\r\nvuduo2 login: "},
                     "root\n|wrong\n|close|login refused"},
        DialogueCase{"login_asked_again",
                     "root",
                     "",
                     {"vuduo2 login: ", "Login incorrect\r\nvuduo2 login: "},
                     "root\n|close|login refused"},
        DialogueCase{"killall_reply",
                     "root",
                     "",
                     {"dm7025 login: ", "root@dm7025:~# ", "killall -9 enigma2\r\n",
                      "killall: enigma2: no process killed\r\n", "root@dm7025:~# "},
                     "root\n|killall -9 enigma2\n||close||no process killed"},
        DialogueCase{"prompt_and_killall_in_one_block",
                     "root",
                     "",
                     {"dm7025 login: ", "root@dm7025:~# ",
                      "killall: enigma2: no process killed\r\nroot@dm7025:~# "},
                     "root\n|killall -9 enigma2\n|close|no process killed"},
        DialogueCase{"killall_before_the_kill_is_not_an_answer",
                     "root",
                     "",
                     {"killall: x\r\nroot@dm7025:~# ", "root@dm7025:~# "},
                     "killall -9 enigma2\n|close|restarted"},
        DialogueCase{"prompt_parts_on_two_lines",
                     "root",
                     "",
                     {"dm7025 login: ", "mail root@\r\n# ", "root@#", "root@dm7025:~# "},
                     "root\n|||killall -9 enigma2\n|pending"},
        DialogueCase{"box_closes",
                     "root",
                     "",
                     {"dm7025 login: ", "<closed>", "root@dm7025:~# "},
                     "root\n|<closed>||connection closed"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DialogueText, ReasonsNameWhatHappened) {
  TelnetDialogue killed("root", "");
  killed.Receive("root@dm7025:~# ");
  killed.Receive("killall: enigma2: no process killed\r\nroot@dm7025:~# ");
  EXPECT_EQ(killed.Reason(),
            "the box answered \"killall: enigma2: no process killed\": no receiver process was "
            "stopped");
  TelnetDialogue silent("root", "");
  EXPECT_EQ(silent.Waiting(), "no login prompt");
  silent.Receive("dm7025 login: ");
  EXPECT_EQ(silent.Waiting(), "no shell prompt after the login");
}

// A timer line as the writer writes it, with the values that vary between cases.
std::string TimerLine(const std::string& begin, const std::string& end, const std::string& ref,
                      const std::string& repeated = "0", const std::string& after = "nothing",
                      const std::string& name = "News") {
  return "<timer begin=\"" + begin + "\" end=\"" + end + "\" serviceref=\"" + ref +
         "\" repeated=\"" + repeated + "\" name=\"" + name + "\" description=\"\" afterevent=\"" +
         after + "\" eit=\"\" disabled=\"0\" justplay=\"0\">\r\n</timer>\r\n";
}

constexpr const char* kHead = "<?xml version=\"1.0\" ?>\r\n<timers>\r\n";
constexpr const char* kTail = "</timers>\r\n";
constexpr const char* kRef = "1:0:19:2B66:3F3:1:C00000:0:0:0:";

const std::vector<ExpectedTimer> kTwo = {{1000, 2000, kRef, "News"}, {3000, 4000, kRef, "News"}};

struct CheckCase {
  const char* label;
  std::string list;
  const char* fault;  // the start of the reason; empty when the list passes
};

class CheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, ReadsBackTheTable) {
  const std::string fault = CheckWrittenList(GetParam().list, kTwo);
  EXPECT_EQ(fault.substr(0, std::string(GetParam().fault).size()), GetParam().fault) << fault;
  EXPECT_EQ(fault.empty(), std::string(GetParam().fault).empty()) << fault;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, CheckTest,
    ::testing::Values(
        CheckCase{"whole",
                  kHead + TimerLine("1000", "2000", kRef) +
                      TimerLine("3000", "4000", kRef, "31", "auto") + kTail,
                  ""},
        CheckCase{"every_after_event",
                  kHead + TimerLine("1000", "2000", kRef, "0", "standby") +
                      TimerLine("3000", "4000", kRef, "127", "deepstandby") + kTail,
                  ""},
        CheckCase{"one_timer_lost", kHead + TimerLine("1000", "2000", kRef) + kTail,
                  "the list reads back with 1 timers instead of 2"},
        CheckCase{
            "cut_off",
            kHead + TimerLine("1000", "2000", kRef) + TimerLine("3000", "4000", kRef).substr(0, 40),
            "the list has no \"</timers>\""},
        CheckCase{"begin_not_a_number",
                  kHead + TimerLine("1000", "2000", kRef) + TimerLine("3e3", "4000", kRef) + kTail,
                  "timer 2 (\"News\"): begin \"3e3\" is not a whole number"},
        CheckCase{"end_empty",
                  kHead + TimerLine("1000", "", kRef) + TimerLine("3000", "4000", kRef) + kTail,
                  "timer 1 (\"News\"): end \"\" is not a whole number"},
        CheckCase{
            "repeated_with_blank",
            kHead + TimerLine("1000", "2000", kRef, " 1") + TimerLine("3000", "4000", kRef) + kTail,
            "timer 1 (\"News\"): repeated \" 1\" is not a whole number"},
        CheckCase{"unknown_after_event",
                  kHead + TimerLine("1000", "2000", kRef, "0", "shutdown") +
                      TimerLine("3000", "4000", kRef) + kTail,
                  "timer 1 (\"News\"): the after-event \"shutdown\" is not one of"},
        CheckCase{"empty_after_event",
                  kHead + TimerLine("1000", "2000", kRef, "0", "") +
                      TimerLine("3000", "4000", kRef) + kTail,
                  "timer 1 (\"News\"): the after-event \"\" is not one of"},
        CheckCase{"other_time",
                  kHead + TimerLine("1000", "2000", kRef) + TimerLine("3000", "4001", kRef) + kTail,
                  "timer 2 (\"News\") reads back with other begin or end times"},
        CheckCase{"other_service",
                  kHead + TimerLine("1000", "2000", kRef) +
                      TimerLine("3000", "4000", "1:0:1:B2:C:3E8:FFFF0000:0:0:0:") + kTail,
                  "timer 2 (\"News\") reads back with the service"},
        // A line break inside a value splits the timer line: the reader sees a broken timer.
        CheckCase{"line_break_in_a_name",
                  kHead + TimerLine("1000", "2000", kRef) +
                      TimerLine("3000", "4000", kRef, "0", "nothing", "a\r\nb") + kTail,
                  "timer 2 (\"News\") is not written whole"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DifferingTimers, CountsEachChangedTimerOnce) {
  const std::string a = TimerLine("1000", "2000", kRef);
  const std::string b = TimerLine("3000", "4000", kRef);
  const std::string c = TimerLine("5000", "6000", kRef);
  const std::string b_recorded = TimerLine("3000", "4000", kRef, "0", "nothing", "News (rec)");
  const std::string list = kHead + a + b + kTail;
  std::string lf_list;
  for (char ch : list) {
    if (ch != '\r') lf_list += ch;
  }
  const std::string counts =
      std::to_string(CountDifferingTimers(list, lf_list)) + " " +
      std::to_string(CountDifferingTimers(list, kHead + b + a + kTail)) + " " +
      std::to_string(CountDifferingTimers(list, kHead + a + b_recorded + kTail)) + " " +
      std::to_string(CountDifferingTimers(list, kHead + a + b + c + kTail)) + " " +
      std::to_string(CountDifferingTimers(list, kHead + a + kTail)) + " " +
      std::to_string(CountDifferingTimers(list, kHead + c + kTail)) + " " +
      std::to_string(CountDifferingTimers("", list));
  // Line ends and order alone change nothing; a changed timer is one; an added or a removed
  // one is one each.
  EXPECT_EQ(counts, "0 0 1 1 1 3 2");
}

class BackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    old_tz_ = tz ? tz : "";
    had_tz_ = tz != nullptr;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    std::filesystem::create_directories(BackupDir(dir_.Path()));
  }
  void TearDown() override {
    if (had_tz_)
      ::setenv("TZ", old_tz_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }
  void Touch(const std::string& name) { std::ofstream(BackupDir(dir_.Path()) / name) << "x"; }
  testing::TempDir dir_;
  std::string old_tz_;
  bool had_tz_ = false;
};

TEST_F(BackupTest, NamesSortByTimeAndOnlyTheNewestTwentyStay) {
  EXPECT_EQ(BackupName(1765283696), "timers-20251209-123456.xml");
  // 23 backups, made in an order the names do not follow, and files that are no backups.
  for (int i : {5, 1, 22, 3, 0, 2, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21})
    Touch(BackupName(1765283696 + i * 86400));
  Touch("timers-20200101-000000.xml.part");
  Touch("timers-2020010-0000000.xml");
  Touch("notes.txt");
  const auto removed = PruneBackups(dir_.Path());
  std::string names;
  for (const auto& p : removed)
    names += p.filename().string() + " ";
  EXPECT_EQ(names,
            "timers-20251209-123456.xml timers-20251210-123456.xml timers-20251211-123456.xml ");
  const auto kept = ListBackups(dir_.Path());
  ASSERT_EQ(kept.size(), 20u);
  EXPECT_EQ(kept.front().filename(), "timers-20251212-123456.xml");
  EXPECT_EQ(kept.back().filename(), "timers-20251231-123456.xml");
  EXPECT_TRUE(std::filesystem::exists(BackupDir(dir_.Path()) / "notes.txt"));
  EXPECT_TRUE(std::filesystem::exists(BackupDir(dir_.Path()) / "timers-2020010-0000000.xml"));
}

}  // namespace
}  // namespace tivolo::transfer
