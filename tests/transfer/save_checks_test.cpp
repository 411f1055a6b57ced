// The pure parts of saving to the box: the telnet dialogue as a state machine fed block by
// block, the check of the written list, the count of timers that changed on the box, and the
// rotation of backups, and the save route an interface's answer gives.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

#include "servers/server_process.h"
#include "transfer/box_backup.h"
#include "transfer/save_cancel.h"
#include "transfer/telnet_dialogue.h"
#include "transfer/timer_list_check.h"
#include "transfer/web_route.h"
#include "web/web_error.h"

namespace tivolo::transfer {
namespace {

struct DialogueCase {
  const char* label;
  const char* user;
  const char* password;
  std::vector<std::string> blocks;  // "<closed>" for the box closing the connection
  // Per block what was sent ("|" ends a block; "close" when it closed), then the end.
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
  trace += d.Completed() ? "restarted" : d.Over() ? d.Reason() : "pending";
  EXPECT_EQ(trace, c.expected);
}

// What the sequence tests against busybox do not show: the kill sent once whatever follows,
// notices and prompts that only look alike, refusals and a box that goes away.
INSTANTIATE_TEST_SUITE_P(
    Boxes, DialogueTest,
    ::testing::Values(
        DialogueCase{"kill_once",
                     "root",
                     "",
                     {"vuultimo4k login: ", "root@vuultimo4k:~# ", "killall -9 enigma2\r\n",
                      "root@vuultimo4k:~# ", "root@vuultimo4k:~# "},
                     "root\n|killall -9 enigma2\n||close||restarted"},
        DialogueCase{"no_login_asked",
                     "root",
                     "",
                     {"killall: x\r\nroot@dm7025:~# ", "root@dm7025:~# "},
                     "killall -9 enigma2\n|close|restarted"},
        DialogueCase{"last_login_notice",
                     "root",
                     "pw",
                     {"vuduo2 login: ", "Password: ", "Last login: Mon Dec  7 on pts/0\r\n"},
                     "root\n|pw\n||pending"},
        DialogueCase{"password_for_another_user",
                     "admin",
                     "pw",
                     {"vuduo2 login: ", "Password: "},
                     "root\n|close|the box wants a password for root, and the configured user is "
                     "not root"},
        DialogueCase{"wrong_password",
                     "root",
                     "pw",
                     {"vuduo2 login: ", "Password: ", "\r\nLogin incorrect\r\nvuduo2 login: "},
                     "root\n|pw\n|close|the box refused the login as root"},
        DialogueCase{"prompt_parts_apart",
                     "root",
                     "",
                     {"dm7025 login: ", "mail root@\r\n# ", "root@#"},
                     "root\n|||pending"},
        DialogueCase{"box_closes",
                     "root",
                     "",
                     {"dm7025 login: ", "<closed>", "root@dm7025:~# "},
                     "root\n|<closed>||the box closed the telnet connection before the receiver "
                     "was stopped"}),
    [](const auto& info) { return std::string(info.param.label); });

// A read-only command: its output without the echo and the prompt, whatever it holds.
TEST(DialogueCommandTest, GivesTheCommandsOutput) {
  TelnetDialogue d("root", "", "cat /proc/bus/nim_sockets\n");
  d.Receive("dm7025 login: ");
  EXPECT_EQ(d.Receive("root@dm7025:~# ").send, "cat /proc/bus/nim_sockets\n");
  d.Receive("cat /proc/bus/nim_sockets\r\nNIM Socket 0:\r\n\tType: DVB-S2\r\n");
  EXPECT_FALSE(d.Over());
  d.Receive("\tName: killall: not a complaint here\r\nroot@dm7025:~# ");
  ASSERT_TRUE(d.Completed());
  EXPECT_EQ(d.Output(),
            "NIM Socket 0:\r\n\tType: DVB-S2\r\n\tName: killall: not a complaint here\r\n");
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

const std::vector<ExpectedTimer> kTwo = {{1000, 2000, kRef, "News", {}},
                                         {3000, 4000, kRef, "News", {}}};

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
                  kHead + TimerLine("1000", "2000", kRef, "0", "deepstandby") +
                      TimerLine("3000", "4000", kRef, "31", "auto") + kTail,
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
        CheckCase{
            "repeated_with_blank",
            kHead + TimerLine("1000", "2000", kRef, " 1") + TimerLine("3000", "4000", kRef) + kTail,
            "timer 1 (\"News\"): repeated \" 1\" is not a whole number"},
        CheckCase{"empty_after_event",
                  kHead + TimerLine("1000", "2000", kRef, "0", "") +
                      TimerLine("3000", "4000", kRef) + kTail,
                  "timer 1 (\"News\"): the after-event \"\" is not one of"},
        // Only the end reads back different: a check of begins alone would pass it.
        CheckCase{"other_end",
                  kHead + TimerLine("1000", "2000", kRef) + TimerLine("3000", "4001", kRef) + kTail,
                  "timer 2 (\"News\") reads back with other begin or end times"},
        CheckCase{"other_service",
                  kHead + TimerLine("1000", "2000", kRef) +
                      TimerLine("3000", "4000", "1:0:1:B2:C:3E8:FFFF0000:0:0:0:") + kTail,
                  "timer 2 (\"News\") reads back with the service"},
        // A raw line break inside a value is still one timer to an XML reader, as to the box.
        CheckCase{"line_break_in_a_name",
                  kHead + TimerLine("1000", "2000", kRef) +
                      TimerLine("3000", "4000", kRef, "0", "nothing", "a\r\nb") + kTail,
                  ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Backups, OnlyTheNewestTwentyStay) {
  testing::TempDir dir;
  std::filesystem::create_directories(BackupDir(dir.Path()));
  auto touch = [&](const std::string& name) { std::ofstream(BackupDir(dir.Path()) / name) << "x"; };
  const std::time_t first = 1765000000, day = 86400;
  // 23 backups, made in an order the names do not follow, and files that are no backups.
  for (int i : {5, 1, 22, 3, 0, 2, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21})
    touch(BackupName(first + i * day));
  touch("timers-20200101-000000.xml.part");
  touch("notes.txt");
  std::string removed;
  for (const auto& p : PruneBackups(dir.Path()))
    removed += p.filename().string() + " ";
  EXPECT_EQ(removed, BackupName(first) + " " + BackupName(first + day) + " " +
                         BackupName(first + 2 * day) + " ");
  EXPECT_EQ(ListBackups(dir.Path()).size(), 20u);
  EXPECT_TRUE(std::filesystem::exists(BackupDir(dir.Path()) / "notes.txt"));
  EXPECT_EQ(BackupName(first).size(), std::string("timers-20251206-054640.xml").size());
}

// Only an answer that there is no usable interface takes the upload route unasked; a failure
// to answer is asked again at the save.
TEST(SaveRouteTest, AnInterfaceThatDidNotAnswerIsAskedAgain) {
  struct Case {
    const char* label;
    std::function<void()> failure;
    bool absent;
  };
  const Case cases[] = {
      {"404", [] { throw web::WebNotFoundError("404"); }, true},
      {"not the interface", [] { throw web::WebReplyError("not JSON"); }, true},
      {"login refused", [] { throw web::WebAuthError("401"); }, true},
      {"refused", [] { throw web::WebRefusedError("refused"); }, false},
      {"timed out", [] { throw web::WebTimeoutError("late", true); }, false},
      {"cut", [] { throw web::WebCutReplyError("cut"); }, false},
      {"server error", [] { throw web::WebStatusError("500", 500, true); }, false},
  };
  for (const Case& c : cases) {
    try {
      c.failure();
    } catch (const std::exception& e) {
      EXPECT_EQ(InterfaceAbsent(e), c.absent) << c.label;
      WebDetection answer;
      answer.not_answering = !c.absent;
      EXPECT_EQ(ChooseSaveRoute(true, &answer, false),
                c.absent ? SaveRoute::kUpload : SaveRoute::kAskFirst)
          << c.label;
      EXPECT_EQ(ChooseSaveRoute(true, &answer, true), SaveRoute::kUpload) << c.label;
      EXPECT_EQ(ChooseSaveRoute(false, &answer, false), SaveRoute::kUpload) << c.label;
    }
  }
  // Nothing listens on port 1.
  const WebDetection closed = DetectWeb({"127.0.0.1", 1, false, "", ""});
  EXPECT_FALSE(closed.found);
  EXPECT_TRUE(closed.not_answering);
  EXPECT_EQ(SaveRouteText("127.0.0.1", closed, true),
            "Box 127.0.0.1: web interface not answering: Save && Exit asks it again");
}

// Whichever comes first wins: a Cancel before the first change stops the save, one after it
// is refused, so that a save is never cut half-way.
TEST(SaveCancel, HonouredOnlyBeforeTheFirstChange) {
  SaveCancel before;
  EXPECT_TRUE(before.Cancel());
  EXPECT_TRUE(before.Cancelled());
  EXPECT_THROW(before.ThrowIfCancelled(), SaveCancelled);
  EXPECT_THROW(before.BeginChanges(), SaveCancelled);

  SaveCancel after;
  EXPECT_NO_THROW(after.ThrowIfCancelled());
  EXPECT_TRUE(after.BeginChanges());
  EXPECT_FALSE(after.BeginChanges());  // the first time only
  EXPECT_FALSE(after.Cancel());
  EXPECT_FALSE(after.Cancelled());
  EXPECT_FALSE(after.Flag().load());
  EXPECT_NO_THROW(after.ThrowIfCancelled());
}

}  // namespace
}  // namespace tivolo::transfer
