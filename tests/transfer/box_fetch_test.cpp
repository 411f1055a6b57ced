// The start-up fetch against vsftpd serving a real box's files (order, refusals, the alert),
// and against scripted servers for what vsftpd will not do (hostile names, stalls to cancel).
#include "transfer/box_fetch.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "net/ftp/fake_ftp_server.h"
#include "net/peer.h"
#include "net/socket_stack.h"
#include "servers/server_process.h"
#include "support/test_deadline.h"
#include "support/test_files.h"

namespace tivolo::transfer {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A peer that never answers must fail its test in seconds, not at CTest's limit.
const bool kDeadline = tivolo::testing::InstallTestDeadline(40s);
using testing::FakeFtpServer;
using testing::FakeFtpSession;
using testing::ReadFile;
using testing::WriteFile;
using Clock = std::chrono::steady_clock;

const char* const kAlertLines =
    "FTP fout bij het ophalen van bestanden vanaf de DM7025\n"
    "Mogelijk zijn er geen of oude timers ingelezen.\n\n";

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines)
    out += line + "\n";
  return out;
}

class RecordingObserver : public FetchObserver {
 public:
  void Log(const std::string& line) override { log.push_back(line); }
  void Progress(const std::string& file, int index, int count) override {
    progress.push_back(file + " " + std::to_string(index) + "/" + std::to_string(count));
  }
  std::vector<std::string> log;
  std::vector<std::string> progress;
};

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(Local()); }
  std::string Local() const { return work / "local"; }
  std::string BoxFolder() const { return work / "root/etc/enigma2"; }
  std::vector<std::string> LocalNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Local()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // The large real set in the box's folder, with LF line ends as a box keeps them, and a file
  // that no mask matches.
  void FillBox() {
    fs::create_directories(BoxFolder());
    const fs::path source = fs::path(TIVOLO_REAL_DATA_DIR) / "dekoderymailZgemma-enigma2-update";
    for (const auto& entry : fs::directory_iterator(source)) {
      std::string name = entry.path().filename().string();
      if (name == "README.txt") continue;
      std::string text = ReadFile(entry.path().string());
      text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
      WriteFile(BoxFolder() + "/" + name, text);
    }
    WriteFile(BoxFolder() + "/settings", "not fetched\n");
  }
  void StartVsftpd(const std::string& extra = {}) {
    if (!testing::HaveExecutable("/usr/sbin/vsftpd"))
      GTEST_SKIP() << "vsftpd is not installed (/usr/sbin/vsftpd)";
    FillBox();
    fs::create_directories(work / "vsftpd");
    std::string error;
    ASSERT_TRUE(
        server.Start({testing::ServersDir() + "/vsftpd.sh", work / "root", work / "vsftpd", extra},
                     true, &error))
        << error;
    box = {"127.0.0.1", static_cast<uint16_t>(server.Port()), 23, "anonymous", "tivolo@",
           BoxFolder()};
  }
  void UseFake(FakeFtpServer& fake) {
    box = {"127.0.0.1", static_cast<uint16_t>(fake.Port()), 23, "root", "dreambox", "/etc/enigma2"};
  }
  FetchResult Run() {
    BoxFetch fetch(box, Local(), observer);
    return fetch.Run();
  }

  testing::TempDir work;
  testing::ServerProcess server;
  BoxAddress box;
  RecordingObserver observer;
};

TEST_F(FetchTest, BouquetsFirstThenTheFourListsFromVsftpd) {
  StartVsftpd();
  if (IsSkipped()) return;
  FetchResult result = Run();
  ASSERT_TRUE(result.ok) << result.AlertText();
  std::vector<std::string> expected;
  for (const auto& entry : fs::directory_iterator(BoxFolder())) {
    std::string name = entry.path().filename().string();
    if (name.rfind("userbouquet", 0) == 0) expected.push_back(name);
  }
  std::sort(expected.begin(), expected.end());  // vsftpd lists sorted
  for (const char* name : {"lamedb", "bouquets.tv", "bouquets.radio", "timers.xml"})
    expected.push_back(name);
  EXPECT_EQ(Lines(result.fetched), Lines(expected));
  std::vector<std::string> progress;
  for (size_t i = 0; i < expected.size(); ++i)
    progress.push_back(expected[i] + " " + std::to_string(i + 1) + "/" +
                       std::to_string(expected.size()));
  EXPECT_EQ(Lines(observer.progress), Lines(progress));
  for (const auto& name : expected) {
    std::string box_text = ReadFile(BoxFolder() + "/" + name);
    std::string crlf;
    for (char c : box_text)
      crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(ReadFile(Local() + "/" + name) == crlf) << name;  // type A converts
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Lines(LocalNames()), Lines(expected));
  EXPECT_TRUE(result.Fetched("timers.xml"));
  EXPECT_FALSE(result.Fetched("settings"));
  EXPECT_EQ(Lines(observer.log),
            "asStatusText : Connecting to 127.0.0.1.\nasStatusText : Connected.\n"
            "asStatusText : Disconnecting from 127.0.0.1.\nasStatusText : Not connected.\n");
}

TEST_F(FetchTest, RefusedTimersListingDownloadsNothing) {
  StartVsftpd("deny_file={timers.xml}");
  if (IsSkipped()) return;
  WriteFile(Local() + "/lamedb", "earlier copy");
  FetchResult result = Run();
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.cancelled);
  EXPECT_EQ(result.AlertText(),
            std::string(kAlertLines) + "ProtocolReplyError550 Permission denied.");
  EXPECT_EQ(Lines(result.fetched) + Lines(observer.progress), "");
  EXPECT_EQ(ReadFile(Local() + "/lamedb"), "earlier copy");
  EXPECT_EQ(Lines(LocalNames()), "lamedb\n");
  EXPECT_EQ(observer.log.back(), "asStatusText : Not connected.");
}

TEST_F(FetchTest, RefusedConnectionAlertEndsWithTheSocketError) {
  const auto nobody = static_cast<uint16_t>(net::testing::UnusedPort());
  box = {"127.0.0.1", nobody, 23, "root", "dreambox", "/etc/enigma2"};
  FetchResult result = Run();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.AlertText(), std::string(kAlertLines) + "SocketError" +
                                    net::SocketErrorText(net::kErrConnectionRefused));
  EXPECT_EQ(Lines(observer.log),
            "asStatusText : Connecting to 127.0.0.1.\n"
            "asStatusText : Disconnecting from 127.0.0.1.\nasStatusText : Not connected.\n");
}

// One listing answered with names through a data connection.
void List(FakeFtpSession& s, const std::string& names) {
  s.BeginTransfer("nlst ");
  s.Reply("150 Here comes the listing");
  s.SendData(names);
  s.CloseData();
  s.Reply("226 Done");
}

TEST_F(FetchTest, NameOutsideTheFolderStopsTheFetchBeforeAnyDownload) {
  FakeFtpServer fake([](FakeFtpSession& s) {
    s.Login();
    s.Expect("CWD /etc/enigma2");
    s.Reply("250 ok");
    List(s, "userbouquet.a.tv\r\n../userbouquet.b.tv\r\n");
    s.WaitForClientClose();
  });
  UseFake(fake);
  FetchResult result = Run();
  fake.Join();
  EXPECT_EQ(result.error_type, "UnsafeRemoteName");
  EXPECT_EQ(Lines(result.fetched) + Lines(LocalNames()), "");
  EXPECT_EQ(fake.Failures(), "");
}

// Where a fetch stalls: the script sets `stalled` when it stops answering.
struct Stall {
  const char* name;
  std::function<void(FakeFtpSession&)> until_stall;
};

class FetchCancelTest : public FetchTest, public ::testing::WithParamInterface<Stall> {};

TEST_P(FetchCancelTest, EndsWithinASecond) {
  std::atomic<bool> stalled{false};
  FakeFtpServer fake([&](FakeFtpSession& s) {
    s.Login();
    GetParam().until_stall(s);
    stalled = true;
    s.WaitForClientClose(5s);
  });
  UseFake(fake);
  BoxFetch fetch(box, Local(), observer);
  FetchResult result;
  std::atomic<bool> done{false};
  std::thread runner([&] {
    result = fetch.Run();
    done = true;
  });
  auto give_up = Clock::now() + 5s;
  while (!stalled && Clock::now() < give_up)
    std::this_thread::sleep_for(5ms);
  std::this_thread::sleep_for(100ms);
  auto start = Clock::now();
  fetch.Cancel();
  while (!done && Clock::now() < start + 3s)
    std::this_thread::sleep_for(5ms);
  auto took = Clock::now() - start;
  runner.join();
  fake.Join();
  EXPECT_LT(took, 1s);
  EXPECT_TRUE(result.cancelled);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error_type + ": " + result.error_message,
            "FetchCancelled: The fetch was cancelled.");
  EXPECT_EQ(Lines(result.fetched) + Lines(LocalNames()), "");  // no cut file left behind
}

// A box whose listener queue is full drops the connection request unanswered: the connect
// waits for its bound, unless Cancel ends it.
TEST_F(FetchTest, CancelBeforeOrDuringAConnectThatNeverAnswersEndsAtOnce) {
  const net::testing::UnansweredPort unanswered;
  box = {"127.0.0.1", static_cast<uint16_t>(unanswered.Port()), 23, "root", "", "/etc/enigma2"};

  BoxFetch before(box, Local(), observer);
  before.Cancel();
  auto start = Clock::now();
  FetchResult result = before.Run();
  EXPECT_LT(Clock::now() - start, 200ms);
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(Lines(observer.log).find("Connecting"), std::string::npos) << Lines(observer.log);

  BoxFetch during(box, Local(), observer);
  std::thread runner([&] { result = during.Run(); });
  std::this_thread::sleep_for(300ms);
  start = Clock::now();
  during.Cancel();
  runner.join();
  EXPECT_LT(Clock::now() - start, 1s);
  EXPECT_TRUE(result.cancelled);
}

INSTANTIATE_TEST_SUITE_P(Stalls, FetchCancelTest,
                         ::testing::Values(Stall{"AwaitingAReply",
                                                 [](FakeFtpSession& s) { s.Expect("CWD"); }},
                                           Stall{"AwaitingTheDataConnection",
                                                 [](FakeFtpSession& s) {
                                                   s.Expect("CWD");
                                                   s.Reply("250 ok");
                                                   s.AcceptPort();
                                                   s.Expect("nlst ");
                                                   s.Reply("150 Here it comes");
                                                 }},
                                           Stall{"InTheMiddleOfADownload",
                                                 [](FakeFtpSession& s) {
                                                   s.Expect("CWD");
                                                   s.Reply("250 ok");
                                                   List(s, "");
                                                   List(s, "lamedb\r\n");
                                                   for (int i = 0; i < 3; ++i)
                                                     List(s, "");
                                                   s.BeginTransfer("retr lamedb");
                                                   s.Reply("150 Opening");
                                                   s.SendData("eDVB services /4/\n");
                                                 }}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tivolo::transfer
