// Saving to the box against loopback servers: vsftpd and busybox telnetd with a box's login
// and shell, and scripted FTP servers for the faults real ones will not show.
#include "transfer/save_to_box.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "net/ftp/fake_ftp_server.h"
#include "net/peer.h"
#include "platform/now.h"
#include "save_script.h"
#include "servers/server_process.h"
#include "support/test_deadline.h"
#include "support/test_files.h"
#include "transfer/box_backup.h"
#include "transfer/pending_restart.h"
#include "transfer/timer_merge.h"
#include "web/box_sim.h"
#include "web/web_interface.h"

namespace tivolo::transfer {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A peer that never answers must fail its test in seconds, not at CTest's limit.
const bool kDeadline = tivolo::testing::InstallTestDeadline(40s);
using testing::FakeFtpServer;
using testing::FakeFtpSession;
using testing::LoginAndBackup;
using testing::ReadFile;
using testing::WriteFile;
using Clock = std::chrono::steady_clock;

constexpr const char* kRef = "1:0:19:2B66:3F3:1:C00000:0:0:0:";

// A list of `count` timers an hour apart, with the timers it must read back as.
std::string MakeList(int count, std::vector<ExpectedTimer>* expected, int64_t first = 1765000000,
                     const char* line_end = "\r\n", const char* after = "nothing") {
  std::string text = std::string("<?xml version=\"1.0\" ?>") + line_end + "<timers>" + line_end;
  for (int i = 0; i < count; ++i) {
    const int64_t begin = first + i * 3600;
    const std::string name = "Timer " + std::to_string(i);
    text += "<timer begin=\"" + std::to_string(begin) + "\" end=\"" + std::to_string(begin + 1800) +
            "\" serviceref=\"" + kRef + "\" repeated=\"0\" name=\"" + name +
            "\" description=\"\" afterevent=\"" + after +
            "\" eit=\"\" disabled=\"0\" justplay=\"0\">" + line_end + "</timer>" + line_end;
    if (expected) expected->push_back({begin, begin + 1800, kRef, name, {}});
  }
  return text + "</timers>" + line_end;
}

std::string WithoutCr(std::string text) {
  std::erase(text, '\r');
  return text;
}

// The box's login and shell as a script for busybox telnetd: the login prompt, a password
// asked after the login name (none when empty), what killall prints (with the next prompt, in
// one write), or nothing at all. It notes each name, password and command it receives.
struct BoxShell {
  const char* login_prompt;
  const char* password;
  const char* kill_reply;
  bool silent;
};
constexpr BoxShell kPlainBox{"vuduo2 login: ", "", "", false};

std::string ShellScript(const BoxShell& b, const std::string& notes) {
  std::string s = "#!/bin/sh\nnotes='" + notes + "'\n";
  if (b.silent) return s + "exec sleep 60\n";
  s += "strip() { printf '%s' \"$1\" | tr -d '\\r'; }\nwhile :; do\n  printf '%s' '" +
       std::string(b.login_prompt) + "'\n  read -r user || exit 0\n  user=$(strip \"$user\")\n" +
       "  echo \"user:$user\" >> \"$notes\"\n";
  if (*b.password == 0) {
    s += "  [ \"$user\" = root ] && break\n";
  } else {
    s += "  printf 'Password: '\n  read -r pw || exit 0\n  pw=$(strip \"$pw\")\n"
         "  echo \"pass:$pw\" >> \"$notes\"\n  [ \"$user\" = root ] && [ \"$pw\" = '" +
         std::string(b.password) + "' ] && break\n";
  }
  s += "  printf 'Login incorrect\\n'\ndone\nprompt='root@vuduo2:~# '\n"
       "printf '%s' \"$prompt\"\nwhile read -r cmd; do\n  cmd=$(strip \"$cmd\")\n"
       "  echo \"cmd:$cmd\" >> \"$notes\"\n";
  if (*b.kill_reply)
    s += "  case $cmd in killall*) printf '%s\\r\\n%s' '" + std::string(b.kill_reply) +
         "' \"$prompt\"; continue ;; esac\n";
  return s + "  printf '%s' \"$prompt\"\ndone\n";
}

class Recorder : public SaveObserver {
 public:
  bool questions_fail = false;
  void Progress(SaveStep step) override { steps += SaveStepText(step) + "; "; }
  void Log(const std::string& line) override { log += line + "\n"; }
  bool Ask(const std::string& question) override {
    questions += question + "\n";
    if (questions_fail) throw std::runtime_error("no window to ask in");
    if (answers.empty()) return false;
    bool yes = answers.front();
    answers.erase(answers.begin());
    return yes;
  }
  std::string steps, log, questions;
  std::vector<bool> answers;
};

class SaveToBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Local());
    fs::create_directories(BoxDir());
    input.box = {"127.0.0.1", static_cast<uint16_t>(net::testing::UnusedPort()),
                 static_cast<uint16_t>(net::testing::UnusedPort()), "anonymous", ""};
    input.local_dir = Local();
    input.start.state = boxdata::TimerListState::kComplete;
    input.start.fetch_ok = true;
    input.start.fetched = true;
    input.channel_names = {{kRef, "NPO 1"}};
    bounds.dialogue = 3s;
  }
  std::string Local() const { return work.Path() + "/local"; }
  std::string BoxDir() const { return work.Path() + "/root/etc/enigma2"; }
  std::string Notes() { return fs::exists(work / "notes") ? ReadFile(work / "notes") : ""; }

  // The box's list as it keeps it (LF) and as it was read at start (CR LF, from the fetch).
  void BoxAndStartCopy(const std::string& box_list) {
    WriteFile(BoxDir() + "/timers.xml", WithoutCr(box_list));
    input.start.text = box_list;
  }
  void NewList(int count) {
    input.timers.clear();
    input.timer_list = MakeList(count, &input.timers, 1766000000);
  }
  void StartVsftpd() {
    if (!testing::HaveExecutable("/usr/sbin/vsftpd")) GTEST_SKIP() << "vsftpd is not installed";
    fs::create_directories(work / "vsftpd");
    std::string error;
    ASSERT_TRUE(ftp.Start({testing::ServersDir() + "/vsftpd.sh", work / "root", work / "vsftpd"},
                          true, &error))
        << error;
    input.box.ftp_port = static_cast<uint16_t>(ftp.Port());
    // vsftpd run as the launching user names real paths.
    input.box.folder = BoxDir();
  }
  void StartTelnet(const BoxShell& shell) {
    if (!testing::HaveExecutable("/usr/bin/busybox")) GTEST_SKIP() << "busybox is not installed";
    const std::string script = work / "box_shell.sh";
    WriteFile(script, ShellScript(shell, work / "notes"));
    fs::permissions(script, fs::perms::owner_all);
    std::string error;
    ASSERT_TRUE(telnet.Start(
        {std::string(TIVOLO_SOURCE_DIR) + "/tests/transfer/box_telnetd.sh", script}, true, &error))
        << error;
    input.box.telnet_port = static_cast<uint16_t>(telnet.Port());
  }
  SaveResult Run() {
    // The list was read from the box configured now, unless a test says otherwise.
    if (same_box) input.start.box = input.box;
    const auto start = Clock::now();
    SaveResult r = SaveToBox(input, observer, bounds).Run();
    elapsed = Clock::now() - start;
    return r;
  }

  testing::TempDir work;
  testing::ServerProcess ftp, telnet;
  SaveInput input;
  bool same_box = true;
  BoxBounds bounds;
  Recorder observer;
  Clock::duration elapsed{};
};

TEST_F(SaveToBoxTest, UploadAndRestartWithVsftpdAndBusybox) {
  const std::string start_list = MakeList(3, nullptr);
  BoxAndStartCopy(start_list);
  NewList(4);
  StartVsftpd();
  StartTelnet(kPlainBox);
  if (IsSkipped()) return;

  const SaveResult r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kRestarted) << r.message;
  EXPECT_TRUE(!r.uploaded_list.empty() && r.EndProgram());
  EXPECT_EQ(observer.steps,
            "Writing the timer list; Checking the timer list; Backing up the box's timer list; "
            "Uploading the timer list; Restarting the receiver; Checking the box's timer list "
            "after the restart; ");
  EXPECT_EQ(observer.questions, "");
  const std::string on_box = ReadFile(BoxDir() + "/timers.xml");
  EXPECT_EQ(on_box, WithoutCr(ReadFile(Local() + "/timers.new")));
  EXPECT_FALSE(fs::exists(BoxDir() + "/" + kUploadName));
  EXPECT_EQ(WithoutCr(ReadFile(r.backup.string())), WithoutCr(start_list));
  EXPECT_EQ(Notes(), "user:root\ncmd:killall -9 enigma2\n");
  EXPECT_NE(observer.log.find("asStatusText : Connected.\n"), std::string::npos);
  EXPECT_NE(observer.log.find("vuduo2 login: "), std::string::npos);
  EXPECT_LT(elapsed, 2s);
}

TEST_F(SaveToBoxTest, ATimerAddedOnTheBoxIsKeptAndOnlyAConflictIsAsked) {
  // The box wrote its list in its own layout and added a timer meanwhile; the user replaced
  // the four timers read with two others.
  BoxAndStartCopy(MakeList(4, nullptr));
  const std::string on_box = WithoutCr(MakeList(5, nullptr));
  std::string tabbed;
  for (char c : on_box)
    tabbed += c == '<' && !tabbed.empty() && tabbed.back() == '\n' ? "\t<" : std::string(1, c);
  WriteFile(BoxDir() + "/timers.xml", tabbed);
  NewList(2);
  StartVsftpd();
  StartTelnet(kPlainBox);
  if (IsSkipped()) return;

  SaveResult r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kRestarted) << r.message;
  EXPECT_EQ(observer.questions, "");
  EXPECT_NE(observer.log.find("kept 1 timer added on the box: NPO 1 "), std::string::npos);
  const std::string saved = ReadFile(BoxDir() + "/timers.xml");
  EXPECT_NE(saved.find("name=\"Timer 4\""), std::string::npos);
  EXPECT_EQ(saved.find("begin=\"1765000000\""), std::string::npos);

  // Now the box renames the first of the user's timers, and the user renames it too.
  input.start.text = MakeList(2, nullptr, 1766000000);
  std::string box_renamed = WithoutCr(input.start.text);
  box_renamed.replace(box_renamed.find("Timer 0"), 7, "On the box");
  WriteFile(BoxDir() + "/timers.xml", box_renamed);
  input.timer_list.replace(input.timer_list.find("Timer 0"), 7, "Here");
  observer.questions.clear();
  fs::remove(work / "notes");
  r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kDeclined);
  EXPECT_TRUE(r.uploaded_list.empty());
  EXPECT_NE(observer.questions.find("\"Here\": the box changed it, this list changed it (on the "
                                    "box: NPO 1 "),
            std::string::npos)
      << observer.questions;
  EXPECT_NE(r.message.find("The box's timer list is unchanged."), std::string::npos);
  EXPECT_EQ(ReadFile(BoxDir() + "/timers.xml"), box_renamed);
  EXPECT_FALSE(fs::exists(work / "notes"));  // no telnet

  observer.answers = {true};
  r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kRestarted) << r.message;
  EXPECT_NE(ReadFile(BoxDir() + "/timers.xml").find("name=\"Here\""), std::string::npos);
  EXPECT_FALSE(ListBackups(Local()).empty());
}

TEST_F(SaveToBoxTest, ABoxWithoutItsListOrAQuestionThatFailsKeepsTheBoxAsItIs) {
  // The receiver set an unreadable list aside: nothing is merged away unasked.
  BoxAndStartCopy(MakeList(3, nullptr));
  fs::rename(BoxDir() + "/timers.xml", BoxDir() + "/timers.xml_old");
  NewList(3);
  StartVsftpd();
  StartTelnet(kPlainBox);
  if (IsSkipped()) return;
  SaveResult r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kDeclined);
  EXPECT_EQ(observer.questions, EmptyBoxQuestion(3) + "\n");
  EXPECT_FALSE(fs::exists(BoxDir() + "/timers.xml"));

  // A conflict whose question cannot be asked: No.
  fs::rename(BoxDir() + "/timers.xml_old", BoxDir() + "/timers.xml");
  std::string box_renamed = WithoutCr(input.start.text);
  box_renamed.replace(box_renamed.find("Timer 0"), 7, "On the box");
  WriteFile(BoxDir() + "/timers.xml", box_renamed);
  input.timer_list = MakeList(3, nullptr);
  input.timer_list.replace(input.timer_list.find("Timer 0"), 7, "Here");
  input.timers.clear();
  MakeList(3, &input.timers);
  input.timers[0].name = "Here";
  observer.questions_fail = true;
  r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kDeclined) << r.message;
  EXPECT_EQ(ReadFile(BoxDir() + "/timers.xml"), box_renamed);
  EXPECT_FALSE(fs::exists(work / "notes"));
}

TEST_F(SaveToBoxTest, ARunningRecordingIsAskedAboutFirst) {
  const int64_t now = 1766000000;
  platform::ScopedNow clock(now + 600);
  BoxAndStartCopy(MakeList(2, nullptr, now));  // the first runs from now to now + 30 min
  input.timers.clear();
  input.timer_list = MakeList(3, &input.timers, now);
  StartVsftpd();
  StartTelnet(kPlainBox);
  if (IsSkipped()) return;
  const SaveResult r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kDeclined);
  EXPECT_EQ(observer.questions.substr(0, 64),
            "A recording is running on the box: NPO 1 Timer 0 until 20:03. Re");
  EXPECT_EQ(ReadFile(BoxDir() + "/timers.xml"), WithoutCr(input.start.text));
  EXPECT_FALSE(fs::exists(work / "notes"));
}

TEST_F(SaveToBoxTest, ANewListThatCannotBeWrittenIsReportedAsSuch) {
  NewList(1);
  WriteFile(work / "not_a_folder", "");
  input.local_dir = work / "not_a_folder";
  const SaveResult r = Run();
  EXPECT_EQ(r.error_type, "FileCreateError");
  EXPECT_EQ(r.message.rfind("Cannot create file " + (work / "not_a_folder").string(), 0), 0u)
      << r.message;
}

TEST_F(SaveToBoxTest, AnotherBoxThanTheOneReadIsRefused) {
  NewList(1);
  input.start.box = {"192.168.1.10", 21, 23, "root", ""};
  same_box = false;
  const SaveResult r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kRefused);
  EXPECT_EQ(r.message.substr(0, 97),
            "The timer list was read from the box 192.168.1.10:21, and the configuration now names "
            "the box 127");
  EXPECT_EQ(observer.steps, "");
}

TEST_F(SaveToBoxTest, UnknownOrBadListsSendNothingAndAFailureCanBeTriedAgain) {
  NewList(2);
  input.start.state = boxdata::TimerListState::kIncomplete;
  SaveResult r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kRefused);
  EXPECT_NE(r.message.find("incomplete"), std::string::npos);
  input.start.state = boxdata::TimerListState::kMissing;
  input.start.fetch_ok = false;
  r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kRefused);
  EXPECT_NE(r.message.find("could not be reached"), std::string::npos);
  EXPECT_EQ(observer.steps, "");
  EXPECT_FALSE(fs::exists(Local() + "/timers.new"));

  // A value the receiver cannot read: refused after writing, before connecting.
  input.start.fetch_ok = true;
  input.timer_list = MakeList(2, nullptr, 1766000000, "\r\n", "shutdown");
  r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kRefused);
  EXPECT_EQ(r.message.substr(0, 67),
            "The new timer list was not uploaded: timer 1 (\"Timer 0\"): the after");
  EXPECT_EQ(observer.steps, "Writing the timer list; Checking the timer list; ");

  // An unreachable box: the socket error, and no telnet tried (the box's telnet would note it).
  StartTelnet(kPlainBox);
  if (IsSkipped()) return;
  observer.steps.clear();
  NewList(2);
  for (int attempt = 0; attempt < 2; ++attempt) {
    r = Run();
    EXPECT_EQ(r.outcome, SaveOutcome::kFailed);
    EXPECT_EQ(r.error_type, "SocketError");
    EXPECT_NE(r.message.find("Connection refused."), std::string::npos) << r.message;
    EXPECT_TRUE(r.uploaded_list.empty());
  }
  EXPECT_EQ(observer.steps,
            "Writing the timer list; Checking the timer list; Backing up the box's timer list; "
            "Writing the timer list; Checking the timer list; Backing up the box's timer list; ");
  EXPECT_FALSE(fs::exists(work / "notes"));
}

// A box that does not answer: its address takes no connection, or the connection is taken
// and nobody greets. Either is said within the connect bound, with what to check, and nothing
// is sent.
TEST_F(SaveToBoxTest, ABoxThatDoesNotAnswerIsReportedWithinTheConnectBound) {
  NewList(2);
  bounds.connect = 1s;
  bounds.reply = 8s;
  const net::testing::UnansweredPort unanswered;
  int silent_port = 0;
  const int silent = testing::ListenOnLoopback(silent_port);  // queued by the system, never greeted
  for (int port : {unanswered.Port(), silent_port}) {
    SCOPED_TRACE(port);
    input.box.ftp_port = static_cast<uint16_t>(port);
    const SaveResult r = Run();
    EXPECT_LT(elapsed, 3s);
    EXPECT_EQ(r.outcome, SaveOutcome::kFailed);
    EXPECT_EQ(r.error_type, "BoxNotAnswering");
    EXPECT_EQ(r.message.rfind(
                  "The box at 127.0.0.1:" + std::to_string(port) + " did not answer within 1 s", 0),
              0u)
        << r.message;
    EXPECT_NE(r.message.find("address in Configuration"), std::string::npos);
    EXPECT_NE(r.message.find("The box's timer list is unchanged."), std::string::npos);
  }
  ::close(silent);
}

// Faults of the box's FTP server, scripted: the commands it saw, and what the user is told.
struct FtpFault {
  const char* label;
  std::function<void(FakeFtpSession&, const std::string& box_list)> after_backup;
  const char* commands;  // after the login, CWD and the backup's PORT and retr
  const char* result;    // "outcome uploaded: message start"
  std::vector<bool> answers = {};
  // A second connection, when the save must come back to find out what the box holds.
  std::function<void(FakeFtpSession&, const std::string& box_list)> second_session = nullptr;
};

std::string StoreUpload(FakeFtpSession& s, const char* name, const char* final_reply) {
  s.AcceptPort();
  s.Expect(std::string("STOR ") + name);
  s.Reply("150 Ok to send data.");
  s.ConnectData();
  std::string received = s.ReceiveDataUntilClose();
  s.CloseData();
  s.Reply(final_reply);
  return received;
}

class FtpFaultTest : public SaveToBoxTest, public ::testing::WithParamInterface<FtpFault> {};

TEST_P(FtpFaultTest, BoxListStaysWholeAndTheUserIsTold) {
  const std::string box_list = MakeList(3, nullptr);
  input.start.text = box_list;
  NewList(4);
  input.box.user = "root";
  observer.answers = GetParam().answers;
  FakeFtpServer server(
      [&](FakeFtpSession& s) {
        if (s.Index() > 0) {
          GetParam().second_session(s, box_list);
        } else {
          LoginAndBackup(s, box_list);
          GetParam().after_backup(s, box_list);
          // A connection that breaks is closed by the box; others by the client.
          if (GetParam().second_session) return;
        }
        s.WaitForClientClose();
      },
      GetParam().second_session ? 2 : 1);
  input.box.ftp_port = static_cast<uint16_t>(server.Port());
  const SaveResult r = Run();
  std::string commands = server.Commands();
  const std::string head =
      "user root\npass \ntype A\nsyst\nCWD /etc/enigma2\nDELE timers.xml.upload\nPORT 127,0,0,1,";
  ASSERT_EQ(commands.substr(0, head.size()), head);
  commands = commands.substr(commands.find("retr timers.xml\n") + 16);
  // PORT arguments vary from run to run.
  for (size_t p = commands.find("PORT "); p != std::string::npos; p = commands.find("PORT ", p))
    commands.replace(p, commands.find('\n', p) - p, "PORT_");
  EXPECT_EQ(commands, GetParam().commands);
  const char* names[] = {"restarted",   "refused",       "declined",
                         "failed",      "not restarted", "overwritten",
                         "not checked", "list missing",  "switched off"};
  EXPECT_EQ((names[static_cast<int>(r.outcome)] +
             std::string(r.uploaded_list.empty() ? ": " : " uploaded: ") + r.message)
                .substr(0, std::string(GetParam().result).size()),
            GetParam().result)
      << r.message;
  EXPECT_EQ(server.Failures(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FtpFaultTest,
    ::testing::Values(
        FtpFault{"store_refused",
                 [](FakeFtpSession& s, const std::string&) {
                   s.AcceptPort();
                   s.Expect("STOR ");
                   s.Reply("553 Could not create file.");
                   s.Expect("DELE ");
                   s.Reply("550 Delete operation failed.");
                 },
                 "PORT_\nSTOR timers.xml.upload\nDELE timers.xml.upload\n",
                 "failed: 553 Could not create file."},
        FtpFault{"store_broken_off",
                 [](FakeFtpSession& s, const std::string&) {
                   StoreUpload(s, "timers.xml.upload", "451 Failure writing to local file.");
                   s.Expect("DELE ");
                   s.Reply("250 Delete operation successful.");
                 },
                 "PORT_\nSTOR timers.xml.upload\nDELE timers.xml.upload\n",
                 "failed: 451 Failure writing to local file."},
        FtpFault{"store_reported_whole_but_cut",
                 [](FakeFtpSession& s, const std::string& box_list) {
                   StoreUpload(s, "timers.xml.upload", "226 Transfer complete.");
                   s.Expect("SIZE ");
                   s.Reply("213 100");
                   s.AcceptPort();
                   s.Expect("retr timers.xml.upload");
                   s.Reply("150 Opening data connection.");
                   s.ConnectData();
                   s.SendData(box_list.substr(0, 100));
                   s.CloseData();
                   s.Reply("226 Transfer complete.");
                   s.Expect("DELE ");
                   s.Reply("250 Delete operation successful.");
                 },
                 "PORT_\nSTOR timers.xml.upload\nSIZE timers.xml.upload\nPORT_\n"
                 "retr timers.xml.upload\nDELE timers.xml.upload\n",
                 "failed: The box did not store the whole timer list (timers.xml.upload)."},
        FtpFault{"rename_refused_and_stored_directly",
                 [](FakeFtpSession& s, const std::string& box_list) {
                   StoreUpload(s, "timers.xml.upload", "226 Transfer complete.");
                   s.Expect("SIZE ");
                   s.Reply("550 SIZE not allowed in ASCII mode.");
                   s.ServeFile("timers.xml.upload", WithoutCr(MakeList(4, nullptr, 1766000000)));
                   s.ServeFile("timers.xml", box_list);
                   s.Expect("RNFR ");
                   s.Reply("502 RNFR not implemented.");
                   StoreUpload(s, "timers.xml", "226 Transfer complete.");
                   s.Expect("SIZE ");
                   s.Reply("213 " + std::to_string(MakeList(4, nullptr, 1766000000).size()));
                   // Only now that timers.xml is whole does the upload go.
                   s.Expect("DELE ");
                   s.Reply("250 Delete operation successful.");
                 },
                 "PORT_\nSTOR timers.xml.upload\nSIZE timers.xml.upload\nPORT_\n"
                 "retr timers.xml.upload\nPORT_\nretr timers.xml\nRNFR timers.xml.upload\n"
                 "PORT_\nSTOR timers.xml\nSIZE timers.xml\nDELE timers.xml.upload\n",
                 "not restarted uploaded: The new timer list is on the box, but the receiver was "
                 "not restarted: server not responding.",
                 {true}},
        FtpFault{"rename_refused_and_direct_store_cut",
                 [](FakeFtpSession& s, const std::string& box_list) {
                   const std::string stored = StoreUpload(s, "timers.xml.upload", "226 Done.");
                   s.Expect("SIZE ");
                   s.Reply("213 " + std::to_string(stored.size()));
                   s.ServeFile("timers.xml", box_list);
                   s.Expect("RNFR ");
                   s.Reply("502 RNFR not implemented.");
                   StoreUpload(s, "timers.xml", "426 Connection closed; transfer aborted.");
                 },
                 "PORT_\nSTOR timers.xml.upload\nSIZE timers.xml.upload\nPORT_\n"
                 "retr timers.xml\nRNFR timers.xml.upload\nPORT_\nSTOR timers.xml\n",
                 "failed: 426 Connection closed; transfer aborted.\nThe box's timers.xml may be "
                 "cut now, and the receiver would set it aside and start without timers. The "
                 "whole new list is on the box as timers.xml.upload",
                 {true}},
        FtpFault{"rename_refused_and_not_stored",
                 [](FakeFtpSession& s, const std::string& box_list) {
                   const std::string stored = StoreUpload(s, "timers.xml.upload", "226 Done.");
                   s.Expect("SIZE ");
                   s.Reply("213 " + std::to_string(stored.size()));
                   s.ServeFile("timers.xml", box_list);
                   s.Expect("RNFR ");
                   s.Reply("502 RNFR not implemented.");
                   s.Expect("DELE ");
                   s.Reply("250 Delete operation successful.");
                 },
                 "PORT_\nSTOR timers.xml.upload\nSIZE timers.xml.upload\nPORT_\n"
                 "retr timers.xml\nRNFR timers.xml.upload\nDELE timers.xml.upload\n",
                 "declined: The box refused to rename the new list into place, and it was not "
                 "stored directly.\nThe box's timer list is unchanged."},
        FtpFault{"box_changed_while_saving",
                 [](FakeFtpSession& s, const std::string& box_list) {
                   std::string stored = StoreUpload(s, "timers.xml.upload", "226 Done.");
                   s.Expect("SIZE ");
                   s.Reply("213 " + std::to_string(stored.size()));
                   // A timer added on the box after it was read: merged in, stored again.
                   const std::string changed =
                       WithoutCr(box_list.substr(0, box_list.find("</timers>"))) +
                       "<timer begin=\"1767000000\" end=\"1767003600\" serviceref=\"" + kRef +
                       "\" repeated=\"0\" name=\"Late\" afterevent=\"nothing\" />\n</timers>\n";
                   s.ServeFile("timers.xml", changed);
                   stored = StoreUpload(s, "timers.xml.upload", "226 Done.");
                   if (stored.find("name=\"Late\"") == std::string::npos)
                     s.Fail("the late timer was not merged in");
                   s.Expect("SIZE ");
                   s.Reply("213 " + std::to_string(stored.size()));
                   s.ServeFile("timers.xml", changed);
                   s.Expect("RNFR ");
                   s.Reply("350 Ready for RNTO.");
                   s.Expect("RNTO ");
                   s.Reply("250 Rename successful.");
                 },
                 "PORT_\nSTOR timers.xml.upload\nSIZE timers.xml.upload\nPORT_\n"
                 "retr timers.xml\nPORT_\nSTOR timers.xml.upload\nSIZE timers.xml.upload\n"
                 "PORT_\nretr timers.xml\nRNFR timers.xml.upload\nRNTO timers.xml\n",
                 "not restarted uploaded: The new timer list is on the box"},
        FtpFault{"connection_lost_at_the_rename",
                 [](FakeFtpSession& s, const std::string& box_list) {
                   const std::string stored = StoreUpload(s, "timers.xml.upload", "226 Done.");
                   s.Expect("SIZE ");
                   s.Reply("213 " + std::to_string(stored.size()));
                   s.ServeFile("timers.xml", box_list);
                   s.Expect("RNFR ");
                   s.Reply("350 Ready for RNTO.");
                   s.Expect("RNTO ");  // renamed, but the reply never comes
                 },
                 "PORT_\nSTOR timers.xml.upload\nSIZE timers.xml.upload\nPORT_\n"
                 "retr timers.xml\nRNFR timers.xml.upload\nRNTO timers.xml\n"
                 "user root\npass \ntype A\nsyst\nCWD /etc/enigma2\nPORT_\nretr timers.xml\n",
                 "not restarted uploaded: The new timer list is on the box",
                 {},
                 [](FakeFtpSession& s, const std::string&) {
                   s.Login();
                   s.Expect("CWD ");
                   s.Reply("250 Directory successfully changed.");
                   s.ServeFile("timers.xml", WithoutCr(MakeList(4, nullptr, 1766000000)));
                 }}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(SaveToBoxTest, RefusedLoginStopsBeforeAnything) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Reply("220 ready");
    s.Expect("user ");
    s.Reply("331 Please specify the password.");
    s.Expect("pass ");
    s.Reply("530 Login incorrect.");
    s.WaitForClientClose();
  });
  input.box.ftp_port = static_cast<uint16_t>(server.Port());
  NewList(1);
  const SaveResult r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kFailed);
  EXPECT_EQ(r.error_type + ": " + r.message,
            "ProtocolReplyError: 530 Login incorrect.\nThe box's timer list is unchanged.");
  EXPECT_EQ(server.Commands(), "user anonymous\npass \n");
}

// The telnet dialogue against busybox telnetd with boxes of several kinds, after an upload to
// a scripted FTP server that takes any account.
struct TelnetCase {
  const char* label;
  BoxShell shell;
  const char* user;
  const char* password;
  const char* notes;   // what the box received
  const char* result;  // empty for a restart, else the start of the reason after the colon
  // What the check after the restart finds: the list sent, the box's own list (it wrote it
  // between the rename and the kill), no list (the receiver set it aside), or no answer.
  enum After { kSent, kOwn, kNone, kNoAnswer } after = kSent;
};

class TelnetBoxTest : public SaveToBoxTest, public ::testing::WithParamInterface<TelnetCase> {};

TEST_P(TelnetBoxTest, RestartsOrTellsWhy) {
  const TelnetCase& c = GetParam();
  const std::string box_list = MakeList(2, nullptr);
  BoxAndStartCopy(box_list);
  NewList(3);
  std::string stored;
  const bool restarts = std::string(c.result).empty() || c.after != TelnetCase::kSent;
  FakeFtpServer server(
      [&](FakeFtpSession& s) {
        if (s.Index() == 1) {
          // The check after the restart.
          if (c.after == TelnetCase::kNoAnswer) {
            s.Reply("421 Service not available.");
            return;
          }
          s.Login();
          s.Expect("CWD ");
          s.Reply("250 Directory successfully changed.");
          if (c.after == TelnetCase::kNone) {
            s.AcceptPort();
            s.Expect("retr timers.xml");
            s.Reply("550 Failed to open file.");
          } else {
            s.ServeFile("timers.xml", c.after == TelnetCase::kOwn ? WithoutCr(box_list) : stored);
          }
          s.WaitForClientClose();
          return;
        }
        LoginAndBackup(s, box_list);
        stored = StoreUpload(s, kUploadName, "226 Transfer complete.");
        s.Expect("SIZE ");
        s.Reply("213 " + std::to_string(stored.size()));
        s.ServeFile("timers.xml", WithoutCr(box_list));
        s.Expect("RNFR ");
        s.Reply("350 Ready for RNTO.");
        s.Expect("RNTO ");
        s.Reply("250 Rename successful.");
        s.WaitForClientClose();
      },
      restarts ? 2 : 1);
  input.box.ftp_port = static_cast<uint16_t>(server.Port());
  input.box.user = c.user;
  input.box.password = c.password;
  StartTelnet(c.shell);
  if (IsSkipped()) return;
  bounds.dialogue = c.shell.silent ? 1500ms : 5s;
  const SaveResult r = Run();
  EXPECT_EQ(Notes(), c.notes);
  const std::string lead = "The new timer list is on the box, but the receiver was not restarted: ";
  const std::optional<PendingRestart> pending = ReadPendingRestart(Local());
  if (c.after == TelnetCase::kOwn || c.after == TelnetCase::kNone) {
    EXPECT_EQ(r.outcome,
              c.after == TelnetCase::kOwn ? SaveOutcome::kOverwritten : SaveOutcome::kListMissing);
    EXPECT_NE(r.message.find(c.result), std::string::npos) << r.message;
    EXPECT_FALSE(r.merged_list.empty());
    EXPECT_FALSE(pending.has_value());
    return;
  }
  if (c.after == TelnetCase::kNoAnswer) {
    // Restarted once; the check is what is left, and the record says so.
    EXPECT_EQ(r.outcome, SaveOutcome::kNotChecked) << r.message;
    EXPECT_TRUE(r.RestartPending());
    EXPECT_NE(r.message.find("the receiver is not restarted again"), std::string::npos);
    ASSERT_TRUE(pending.has_value());
    EXPECT_TRUE(pending->restarted);
    EXPECT_EQ(pending->list, r.uploaded_list);
    return;
  }
  EXPECT_EQ(pending.has_value(), !restarts);
  if (restarts) {
    EXPECT_EQ(r.outcome, SaveOutcome::kRestarted) << r.message;
  } else {
    EXPECT_EQ(r.outcome, SaveOutcome::kNotRestarted);
    EXPECT_EQ(r.message.substr(0, lead.size() + std::string(c.result).size()), lead + c.result);
    // A restart of the box by hand would make the receiver write its old list over the new.
    EXPECT_NE(r.message.find("Do not restart the box by hand: Save && Exit again retries"),
              std::string::npos);
  }
  EXPECT_FALSE(r.uploaded_list.empty());
  EXPECT_LT(elapsed, bounds.dialogue + 2s);
  EXPECT_EQ(server.Failures(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, TelnetBoxTest,
    ::testing::Values(
        TelnetCase{"login_prompt_in_capitals",
                   {"VUDUO2 LOGIN: ", "", "", false},
                   "anonymous",
                   "",
                   "user:root\ncmd:killall -9 enigma2\n",
                   ""},
        TelnetCase{"password_configured",
                   {"vuduo2 login: ", "s3cret", "", false},
                   "root",
                   "s3cret",
                   "user:root\npass:s3cret\ncmd:killall -9 enigma2\n",
                   ""},
        TelnetCase{"password_not_configured",
                   {"vuduo2 login: ", "s3cret", "", false},
                   "root",
                   "",
                   "user:root\n",
                   "the box wants a password for root, and no password is configured"},
        TelnetCase{"killall_with_the_prompt",
                   {"vuduo2 login: ", "", "killall: enigma2: no process killed", false},
                   "anonymous",
                   "",
                   "user:root\ncmd:killall -9 enigma2\n",
                   "the box answered \"killall: enigma2: no process killed\""},
        TelnetCase{"box_wrote_its_own_list_first",
                   {"vuduo2 login: ", "", "", false},
                   "anonymous",
                   "",
                   "user:root\ncmd:killall -9 enigma2\n",
                   "the box had written its own timer list over the new one first",
                   TelnetCase::kOwn},
        TelnetCase{"list_set_aside_at_load",
                   {"vuduo2 login: ", "", "", false},
                   "anonymous",
                   "",
                   "user:root\ncmd:killall -9 enigma2\n",
                   "the box has no timer list (timers.xml) now",
                   TelnetCase::kNone},
        TelnetCase{"no_answer_after_the_restart",
                   {"vuduo2 login: ", "", "", false},
                   "anonymous",
                   "",
                   "user:root\ncmd:killall -9 enigma2\n",
                   "",
                   TelnetCase::kNoAnswer},
        TelnetCase{"never_a_prompt",
                   {"", "", "", true},
                   "anonymous",
                   "",
                   "",
                   "the box did not complete the telnet dialogue within 1 s (no login prompt)"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(SaveToBoxTest, AfterARestartWhoseCheckFailedSaveOnlyChecks) {
  std::vector<ExpectedTimer> expected;
  const std::string sent = MakeList(3, &expected, 1766000000);
  input.timer_list = sent;
  input.timers = expected;
  input.start.text = MakeList(2, nullptr);
  input.start.uploaded = sent;
  input.start.restart_done = true;
  RecordPendingRestart(Local(), {"box", 1766000000, sent, true});
  FakeFtpServer server([&](FakeFtpSession& s) {
    s.Login();
    s.Expect("CWD ");
    s.Reply("250 Directory successfully changed.");
    s.ServeFile("timers.xml", WithoutCr(sent));
    s.WaitForClientClose();
  });
  input.box.ftp_port = static_cast<uint16_t>(server.Port());
  // No telnet listens: a second restart would fail.
  const SaveResult r = Run();
  EXPECT_EQ(r.outcome, SaveOutcome::kRestarted) << r.message;
  EXPECT_EQ(observer.steps,
            "Writing the timer list; Checking the timer list; Checking the box's timer list "
            "after the restart; ");
  EXPECT_FALSE(ReadPendingRestart(Local()).has_value());
  EXPECT_EQ(server.Failures(), "");
}

// The upload route on the simulated box whose web interface answers: the receiver writes what
// it holds before the list is fetched, and after the restart its own list is compared with
// what was sent.
TEST_F(SaveToBoxTest, TheReceiverWritesFirstAndATimerItSwitchedOffAtLoadIsNamed) {
  const char* refs[] = {"1:0:1:100:10:1:C00000:0:0:0:", "1:0:1:200:20:1:C00000:0:0:0:",
                        "1:0:1:300:30:1:C00000:0:0:0:"};
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  const int64_t t0 = now - now % 3600 + 2 * 3600;
  auto timer = [&](int i, int64_t begin, const std::string& name) {
    return web::BoxTimer{.serviceref = refs[i], .name = name, .begin = begin, .end = begin + 3600};
  };
  const web::BoxTimer one = timer(0, t0, "Eins"), two = timer(1, t0, "Zwei");
  const testing::BoxSim box({one, two});
  // Renamed through the interface: in the receiver's memory only.
  web::BoxTimer renamed = two;
  renamed.name = "Zwei neu";
  ASSERT_TRUE(web::WebInterface(box.Endpoint()).ChangeTimer(two, renamed).ok);
  ASSERT_EQ(box.TimersFile().find("Zwei neu"), std::string::npos);

  // A third recording beside them: the box's two tuners do not suffice.
  const web::BoxTimer three = timer(2, t0 + 600, "Drei");
  const nlohmann::json& status = box.Status();
  input.box = {"127.0.0.1", status["ftp_port"].get<uint16_t>(),
               status["telnet_port"].get<uint16_t>(), status["user"].get<std::string>(),
               status["password"].get<std::string>()};
  input.start.text = testing::TimersXml({one, two});
  input.timer_list = testing::TimersXml({one, two, three});
  input.timers.clear();
  int64_t place = 0;
  for (const web::BoxTimer& t : {one, two, three})
    input.timers.push_back({t.begin, t.end, t.serviceref, t.name,
                            place < 2 ? std::optional<int64_t>(place++) : std::nullopt});
  input.web = box.Endpoint();
  input.write_first = true;
  bounds.web_restart = 15s;
  const SaveResult r = Run();

  EXPECT_EQ(r.outcome, SaveOutcome::kSwitchedOff) << r.message << observer.log;
  EXPECT_NE(r.message.find("\"Drei\""), std::string::npos) << r.message;
  EXPECT_EQ(r.message.find("\"Eins\""), std::string::npos) << r.message;
  EXPECT_FALSE(r.EndProgram());
  EXPECT_NE(box.TimersFile().find("Zwei neu"), std::string::npos) << box.TimersFile();
  EXPECT_LT(box.WebLog().find("/api/timerlistwrite"), box.WebLog().find("/api/timerlist "))
      << box.WebLog();
  ASSERT_TRUE(r.box_timers.has_value());
  EXPECT_EQ(box.LiveStatus()["kills"], 1);
}

}  // namespace
}  // namespace tivolo::transfer
