// The FTP client against scripted fake servers: the command streams, the accepted codes, and
// the faults real servers will not produce, each ending in the expected exception in time.
#include "net/ftp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "net/ftp/fake_ftp_server.h"
#include "servers/server_process.h"
#include "support/loopback.h"
#include "support/test_deadline.h"

namespace tivolo::net {
namespace {

using namespace std::chrono_literals;

// A peer that never answers must fail its test in seconds, not at CTest's limit.
const bool kDeadline = tivolo::testing::InstallTestDeadline(40s);
using testing::FakeFtpServer;
using testing::FakeFtpSession;
using Clock = std::chrono::steady_clock;

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines)
    out += "[" + l + "]";
  return out;
}

class FtpClientTest : public ::testing::Test {
 protected:
  void Connect(FakeFtpServer& server) {
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetUser("root");
    client.SetPassword("dreambox");
    client.SetTransferType(FtpTransferType::kAscii);
    // Short bounds, so the fault cases end quickly; each test checks its error came in time.
    client.SetIdleTimeout(800ms);
    client.SetAcceptTimeout(800ms);
    client.SetConnectTimeout(2s);
  }
  // Runs fn and returns "TypeName code: message" of what it raised, with the time it took.
  template <typename Fn>
  std::string Failure(Fn fn) {
    auto start = Clock::now();
    std::string result = "nothing raised";
    try {
      fn();
    } catch (const ProtocolReplyError& e) {
      result = e.TypeName() + " " + std::to_string(e.Code()) + ": " + e.what();
    } catch (const SocketError& e) {
      result = e.TypeName() + " " + std::to_string(e.Code());
    } catch (const NetError& e) {
      result = e.TypeName() + ": " + e.what();
    }
    elapsed = Clock::now() - start;
    return result;
  }
  FtpClient client;
  testing::TempDir dir;
  Clock::duration elapsed{};
};

TEST_F(FtpClientTest, LoginSequenceAndSystem) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.Expect("CWD ");
    s.Reply("250 OK");
    s.WaitForClientClose();
  });
  Connect(server);
  std::vector<std::string> status;
  client.SetOnStatus(
      [&](NetComponent&, NetStatus, const std::string& text) { status.push_back(text); });
  client.OpenAndLogin(true);
  EXPECT_EQ(client.ServerSystem(), " UNIX Type: L8");
  client.ChangeRemoteDir("/etc/enigma2");
  client.Close();
  EXPECT_EQ(server.Commands(), "user root\npass dreambox\ntype A\nsyst\nCWD /etc/enigma2\n");
  EXPECT_EQ(server.Failures(), "");
  EXPECT_EQ(
      Join(status),
      "[Connecting to 127.0.0.1.][Connected.][Disconnecting from 127.0.0.1.][Not connected.]");
}

TEST_F(FtpClientTest, UserAnswered230SendsNoPassword) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Reply("220 ready");
    s.Expect("user ");
    s.Reply("230 Welcome, no password needed");
    s.Expect("type ");
    s.Reply("200 ok");
    s.Expect("syst");
    s.Reply("500 syst not understood");
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  EXPECT_EQ(client.ServerSystem(), "Unknown");
  EXPECT_TRUE(client.IsOpen());
  client.Close();
  EXPECT_EQ(server.Commands(), "user root\ntype A\nsyst\n");
}

TEST_F(FtpClientTest, MultiLineGreetingAndLogin) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Send("220-Welcome to the box\r\n220-  second line\r\n220 ready\r\n");
    s.Expect("user ");
    s.Send("230-Logged in\r\n230 enjoy\r\n");
    s.Expect("type ");
    s.Reply("200 ok");
    s.Expect("syst");
    s.Reply("215 UNIX");
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  EXPECT_EQ(client.ServerSystem(), " UNIX");
  client.Close();
  EXPECT_EQ(server.Commands(), "user root\ntype A\nsyst\n");
}

struct LoginFault {
  const char* name;
  const char* greeting;
  const char* syst_reply;  // nullptr: the login fails before "syst"
  const char* expected;
};

class FtpLoginFaultTest : public FtpClientTest, public ::testing::WithParamInterface<LoginFault> {};

TEST_P(FtpLoginFaultTest, FailsAndCloses) {
  const LoginFault& c = GetParam();
  FakeFtpServer server([&](FakeFtpSession& s) {
    s.Reply(c.greeting);
    if (!c.syst_reply) {
      s.WaitForClientClose();
      return;
    }
    s.Expect("user ");
    s.Reply("331 Password required");
    s.Expect("pass ");
    s.Reply(std::string(c.syst_reply).rfind("530", 0) == 0 ? c.syst_reply : "230 ok");
    if (std::string(c.syst_reply).rfind("530", 0) != 0) {
      s.Expect("type ");
      s.Reply("200 ok");
      s.Expect("syst");
      s.Reply(c.syst_reply);
    }
    s.WaitForClientClose();
  });
  Connect(server);
  EXPECT_EQ(Failure([&] { client.OpenAndLogin(true); }), c.expected);
  EXPECT_FALSE(client.Socket().HandleAllocated());
  EXPECT_EQ(server.Failures(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FtpLoginFaultTest,
    ::testing::Values(LoginFault{"Greeting421", "421 Too many users", nullptr,
                                 "ProtocolReplyError 421: 421 Too many users"},
                      LoginFault{"Syst502", "220 ready", "502 Command not implemented",
                                 "ProtocolReplyError 502: 502 Command not implemented"},
                      LoginFault{"Password530", "220 ready", "530 Login incorrect.",
                                 "ProtocolReplyError 530: 530 Login incorrect."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FtpClientTest, OpenAndLoginOnAnOpenClientClosesIt) {
  FakeFtpServer server(
      [](FakeFtpSession& s) {
        s.Login();
        if (s.Index() == 0) {
          s.Expect("CWD ");
          s.Reply("550 No such folder");
        }
        s.WaitForClientClose();
      },
      2);
  Connect(server);
  client.OpenAndLogin(true);
  EXPECT_EQ(Failure([&] { client.ChangeRemoteDir("/nowhere"); }),
            "ProtocolReplyError 550: 550 No such folder");
  EXPECT_EQ(Failure([&] { client.OpenAndLogin(true); }), "AlreadyConnected: Already connected.");
  EXPECT_FALSE(client.Socket().HandleAllocated());
  client.OpenAndLogin(true);  // starts afresh
  client.Close();
  EXPECT_EQ(server.Failures(), "");
}

// The listing data of a fake "nlst", as sent, and the entries it must give.
struct ListingCase {
  const char* name;
  std::string data;
  const char* entries;
};

class FtpListingTest : public FtpClientTest, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(FtpListingTest, NamesAsSent) {
  const ListingCase& c = GetParam();
  FakeFtpServer server([&](FakeFtpSession& s) {
    s.Login();
    s.BeginTransfer("nlst userbouquet*.*");
    s.Reply("150 Here comes the listing");
    s.SendData(c.data);
    s.CloseData();
    s.Reply("226 Transfer complete");
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  std::vector<std::string> names{"stale entry"};
  client.ListDirectory(names, "userbouquet*.*", false);
  EXPECT_EQ(Join(names), c.entries);
  client.Close();
  EXPECT_EQ(server.Failures(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Data, FtpListingTest,
    ::testing::Values(ListingCase{"CrLf", "userbouquet.a.tv\r\nuserbouquet.b.radio\r\n",
                                  "[userbouquet.a.tv][userbouquet.b.radio]"},
                      ListingCase{"NoFinalLineEnd", "userbouquet.a.tv\r\nuserbouquet.b.radio",
                                  "[userbouquet.a.tv][userbouquet.b.radio]"},
                      ListingCase{"Lf", "userbouquet.a.tv\nuserbouquet.b.radio\n",
                                  "[userbouquet.a.tv][userbouquet.b.radio]"},
                      ListingCase{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A server that sends without end: the listing and the final reply are bounded, and the
// client says so in seconds.
TEST_F(FtpClientTest, EndlessListingRaisesInsteadOfFillingMemory) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.BeginTransfer("nlst userbouquet*.*");
    s.Reply("150 Here comes the listing");
    s.Flood("userbouquet.endless.tv\r\n", size_t{64} << 20, true);
    s.CloseData();
    s.Reply("226 Transfer complete");
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  std::vector<std::string> names;
  EXPECT_EQ(Failure([&] { client.ListDirectory(names, "userbouquet*.*", false); }),
            "NetError: Listing of userbouquet*.* too long: more than 4194304 bytes.");
  EXPECT_LT(elapsed, 5s);
  client.Close();
}

TEST_F(FtpClientTest, EndlessBlankLinesInsteadOfTheFinalReplyRaise) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.BeginTransfer("nlst lamedb");
    s.Reply("150 Here comes the listing");
    s.SendData("lamedb\r\n");
    s.CloseData();
    s.Flood(" \t\r\n", size_t{64} << 20);
    s.WaitForClientClose();
  });
  Connect(server);
  client.SetMaxLineLength(65536);
  client.OpenAndLogin(true);
  std::vector<std::string> names;
  EXPECT_EQ(Failure([&] { client.ListDirectory(names, "lamedb", false); }),
            "TcpConnectionError: Reply too long: more than 65536 bytes in one reply.");
  EXPECT_LT(elapsed, 5s);
  client.Close();
}

TEST_F(FtpClientTest, PortCommandNamesTheControlAddress) {
  // The exact text: the control connection's address and the port the client listens on.
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.Expect("PORT ");
    s.Reply("200 ok");
    s.Expect("nlst lamedb");
    s.Reply("550 No such file");
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  EXPECT_EQ(Failure([&] {
              std::vector<std::string> names;
              client.ListDirectory(names, "lamedb", false);
            }),
            "ProtocolReplyError 550: 550 No such file");
  client.Close();
  std::string commands = server.Commands();
  auto at = commands.find("PORT 127,0,0,1,");
  ASSERT_NE(at, std::string::npos) << commands;
  int p1 = 0, p2 = 0;
  ASSERT_EQ(std::sscanf(commands.c_str() + at, "PORT 127,0,0,1,%d,%d", &p1, &p2), 2);
  // The listening socket is closed once the listing failed.
  EXPECT_FALSE(testing::LoopbackPortAccepts(p1 * 256 + p2));
}

TEST_F(FtpClientTest, MaskMatchingNothingRaisesAfterThePortExchange) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.AcceptPort();
    s.Expect("nlst userbouquet*.*");
    s.Reply("450 No files found");
    s.Expect("CWD ");  // the control connection stays usable
    s.Reply("250 ok");
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  std::vector<std::string> names;
  EXPECT_EQ(Failure([&] { client.ListDirectory(names, "userbouquet*.*", false); }),
            "ProtocolReplyError 450: 450 No files found");
  client.ChangeRemoteDir("/etc/enigma2");
  client.Close();
  EXPECT_EQ(server.Failures(), "");
}

struct FinalReplyCase {
  const char* name;
  const char* replies;
  const char* expected;
};

class FtpFinalReplyTest : public FtpClientTest,
                          public ::testing::WithParamInterface<FinalReplyCase> {};

TEST_P(FtpFinalReplyTest, Download) {
  const FinalReplyCase& c = GetParam();
  FakeFtpServer server([&](FakeFtpSession& s) {
    s.Login();
    s.BeginTransfer("retr timers.xml");
    s.Reply("150 Opening");
    s.SendData("<timers>\r\n</timers>\r\n");
    s.CloseData();
    s.Send(c.replies);
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  std::string local = dir / "timers.xml";
  testing::WriteFile(local, "earlier copy");
  std::string outcome = Failure([&] { client.Download("timers.xml", local, true); });
  client.Close();
  EXPECT_EQ(outcome, c.expected);
  EXPECT_LT(elapsed, 1500ms);
  EXPECT_EQ(testing::ReadFile(local),
            outcome == "nothing raised" ? "<timers>\r\n</timers>\r\n" : "earlier copy");
  // No temporary file is left behind either way.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FtpFinalReplyTest,
    ::testing::Values(FinalReplyCase{"Complete226", "226 Transfer complete\r\n", "nothing raised"},
                      FinalReplyCase{"Complete250", "250 ok\r\n", "nothing raised"},
                      FinalReplyCase{"Aborted426Then226",
                                     "426 Connection closed\r\n226 Abort ok\r\n", "nothing raised"},
                      FinalReplyCase{"Aborted426Then451",
                                     "426 Connection closed\r\n451 Local error\r\n",
                                     "ProtocolReplyError 451: 451 Local error"},
                      // A box that cut the transfer off sends nothing after its 426.
                      FinalReplyCase{"Cut426Alone", "426 Failure writing network stream.\r\n",
                                     "ProtocolReplyError 426: 426 Failure writing network "
                                     "stream."},
                      FinalReplyCase{"Failed451", "451 Local error in processing\r\n",
                                     "ProtocolReplyError 451: 451 Local error in processing"},
                      FinalReplyCase{"StopsMidLine", "22", "SocketError 10060"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FtpClientTest, FinalReplyBeforeTheDataConnectionCloses) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.BeginTransfer("retr lamedb");
    s.Reply("150 Opening");
    s.Reply("226 Transfer complete");  // before any data
    s.Sleep(100ms);
    s.SendData(std::string(100000, 'x'));
    s.CloseData();
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  std::string local = dir / "lamedb";
  client.Download("lamedb", local, false);
  client.Close();
  EXPECT_EQ(testing::ReadFile(local), std::string(100000, 'x'));
  EXPECT_EQ(server.Failures(), "");
}

TEST_F(FtpClientTest, ServerFinishedBeforeWeWaitForTheConnection) {
  // The server connects, sends, closes and replies 226 all at once, before the client starts
  // waiting for the data connection: the pending connection is still accepted.
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.BeginTransfer("retr bouquets.tv");
    s.SendData("#NAME Bouquets (TV)\n");
    s.CloseData();
    s.Send("150 Opening\r\n226 Transfer complete\r\n");
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  std::string local = dir / "bouquets.tv";
  client.Download("bouquets.tv", local, true);
  client.Close();
  EXPECT_EQ(testing::ReadFile(local), "#NAME Bouquets (TV)\n");
}

TEST_F(FtpClientTest, DataConnectionFromAStrangerIsRefusedAndLogged) {
  // Someone else on the network reaches the data port first, with a forged listing.
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.AcceptPort();
    s.Expect("nlst timers.xml");
    s.StrangerConnects("127.0.0.2", "forged.xml\r\n");
    s.Reply("150 Here comes the listing");
    if (!s.StrangerWasClosed()) s.Fail("the stranger's connection stayed open");
    s.ConnectData();
    s.SendData("timers.xml\r\n");
    s.CloseData();
    s.Reply("226 Done");
    s.WaitForClientClose();
  });
  Connect(server);
  std::string log;
  client.SetOnStatus(
      [&](NetComponent&, NetStatus, const std::string& text) { log += text + "\n"; });
  client.OpenAndLogin(true);
  std::vector<std::string> names;
  client.ListDirectory(names, "timers.xml", false);
  client.Close();
  server.Join();
  EXPECT_EQ(Join(names), "[timers.xml]");
  EXPECT_NE(log.find("Connected.\nRefused a data connection from 127.0.0.2.\nDisconnecting"),
            std::string::npos)
      << log;
  EXPECT_EQ(server.Failures(), "");
}

TEST_F(FtpClientTest, DownloadMayOverwrite) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.BeginTransfer("retr lamedb");
    s.Reply("125 Data connection already open");
    s.SendData("eDVB services /4/\n");
    s.CloseData();
    s.Reply("226 ok");
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  std::string local = dir / "lamedb";
  testing::WriteFile(local, "old");
  EXPECT_EQ(Failure([&] { client.Download("lamedb", local, false); }),
            "FtpFileAlreadyExists: Destination file already exists.");
  EXPECT_EQ(testing::ReadFile(local), "old");
  client.Download("lamedb", local, true);
  client.Close();
  EXPECT_EQ(testing::ReadFile(local), "eDVB services /4/\n");
  // The refused download sent nothing: one PORT only.
  EXPECT_EQ(server.Commands().find("PORT"), server.Commands().rfind("PORT"));
}

TEST_F(FtpClientTest, UploadCommandsAndEmptyFile) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    for (const char* command : {"STOR timers.xml", "APPE timers.xml", "STOU "}) {
      std::string line = s.BeginTransfer(command);
      if (line != command) s.Fail("got \"" + line + "\"");
      s.Reply("150 Ok to send data");
      std::string received = s.ReceiveDataUntilClose();
      s.CloseData();
      s.Reply("226 received " + std::to_string(received.size()));
    }
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  std::string local = dir / "timers.new";
  testing::WriteFile(local, "<timers>\r\n</timers>\r\n");
  client.Upload(local, "timers.xml", false);
  EXPECT_EQ(client.ReplyText(), "226 received 21");
  std::string empty = dir / "empty";
  testing::WriteFile(empty, "");
  client.Upload(empty, "timers.xml", true);
  EXPECT_EQ(client.ReplyText(), "226 received 0");
  client.Upload(local, "", false);
  client.Close();
  EXPECT_EQ(server.Failures(), "");
}

TEST_F(FtpClientTest, StoreCutOffByTheBoxIsReportedAtOnceWithItsReply) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.BeginTransfer("STOR timers.xml");
    s.Reply("150 Ok to send data");
    s.CloseData();
    s.Reply("426 Failure writing network stream.");
    s.WaitForClientClose();
  });
  Connect(server);
  client.SetIdleTimeout(15s);
  client.OpenAndLogin(true);
  std::string local = dir / "timers.new";
  testing::WriteFile(local, std::string(8 << 20, 'x'));
  EXPECT_EQ(Failure([&] { client.Upload(local, "timers.xml", false); }),
            "ProtocolReplyError 426: 426 Failure writing network stream.");
  EXPECT_LT(elapsed, 3s);
  client.Close();
}

TEST_F(FtpClientTest, ArgumentsWithLineBreaksAreRefusedBeforeSending) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.Expect("CWD ");
    s.Reply("250 ok");
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  std::vector<std::string> names;
  std::string local = dir / "x";
  testing::WriteFile(local, "x");
  EXPECT_EQ(Failure([&] { client.ChangeRemoteDir("/etc\r\nDELE timers.xml"); }),
            "FtpInvalidArgument: Invalid folder name: it contains a line break.");
  EXPECT_EQ(Failure([&] { client.ListDirectory(names, "a\nb", false); }),
            "FtpInvalidArgument: Invalid mask: it contains a line break.");
  EXPECT_EQ(Failure([&] { client.Download("timers.xml\r", local, true); }),
            "FtpInvalidArgument: Invalid file name: it contains a line break.");
  EXPECT_EQ(Failure([&] { client.Upload(local, "a\nRMD /", false); }),
            "FtpInvalidArgument: Invalid file name: it contains a line break.");
  client.ChangeRemoteDir("/etc/enigma2");
  client.Close();
  EXPECT_EQ(server.Commands(), "user root\npass dreambox\ntype A\nsyst\nCWD /etc/enigma2\n");
  FtpClient other;
  other.SetHost("127.0.0.1");
  other.SetPort(server.Port());
  other.SetUser("root\r\nDELE x");
  EXPECT_EQ(Failure([&] { other.OpenAndLogin(true); }),
            "FtpInvalidArgument: Invalid user name: it contains a line break.");
}

// Faults while the client waits for the server to open the data connection.
struct DataWaitFault {
  const char* name;
  std::function<void(FakeFtpSession&)> after_150;
  const char* expected;
  std::chrono::milliseconds within;
};

class FtpDataWaitTest : public FtpClientTest,
                        public ::testing::WithParamInterface<DataWaitFault> {};

TEST_P(FtpDataWaitTest, EndsWithTheErrorInTime) {
  const DataWaitFault& c = GetParam();
  FakeFtpServer server([&](FakeFtpSession& s) {
    s.Login();
    s.AcceptPort();
    s.Expect("retr timers.xml");
    s.Reply("150 Opening");
    c.after_150(s);
  });
  Connect(server);
  client.SetAcceptTimeout(3s);  // the control connection must end the wait long before this
  client.OpenAndLogin(true);
  std::string local = dir / "timers.xml";
  testing::WriteFile(local, "earlier copy");
  EXPECT_EQ(Failure([&] { client.Download("timers.xml", local, true); }), c.expected);
  EXPECT_LT(elapsed, c.within);
  EXPECT_EQ(testing::ReadFile(local), "earlier copy");
  client.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FtpDataWaitTest,
    ::testing::Values(
        DataWaitFault{"Reply425",
                      [](FakeFtpSession& s) {
                        s.Sleep(100ms);
                        s.Reply("425 Cannot open data connection");
                        s.WaitForClientClose();
                      },
                      "ProtocolReplyError 425: 425 Cannot open data connection", 1500ms},
        DataWaitFault{"Reply425InTheSamePacket",
                      [](FakeFtpSession& s) {
                        s.Reply("425 Cannot open data connection");
                        s.WaitForClientClose();
                      },
                      "ProtocolReplyError 425: 425 Cannot open data connection", 1500ms},
        DataWaitFault{"Reply421",
                      [](FakeFtpSession& s) {
                        s.Sleep(100ms);
                        s.Reply("421 Service not available, closing control connection");
                      },
                      "ProtocolReplyError 421: 421 Service not available, closing control "
                      "connection",
                      1500ms},
        DataWaitFault{"ControlClosed", [](FakeFtpSession& s) { s.Sleep(100ms); },
                      "ConnClosedGracefully: Connection Closed Gracefully.", 1500ms},
        DataWaitFault{"NeverConnects", [](FakeFtpSession& s) { s.WaitForClientClose(5s); },
                      "SocketError 10060", 4500ms}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FtpClientTest, BrokenDownloadKeepsTheEarlierFile) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.BeginTransfer("retr timers.xml");
    s.Reply("150 Opening");
    s.SendData("<timers>\r\n<timer begin=\"17");  // cut off: the box went away
    s.CloseData();
    // and the control connection closes without a final reply
  });
  Connect(server);
  client.OpenAndLogin(true);
  std::string local = dir / "timers.xml";
  testing::WriteFile(local, "<timers>\r\n</timers>\r\n");
  EXPECT_EQ(Failure([&] { client.Download("timers.xml", local, true); }),
            "ConnClosedGracefully: Connection Closed Gracefully.");
  EXPECT_EQ(testing::ReadFile(local), "<timers>\r\n</timers>\r\n");
  client.Close();
}

TEST_F(FtpClientTest, SilentServerTimesOut) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.Expect("CWD ");
    s.WaitForClientClose();  // accepts the command and never answers
  });
  Connect(server);
  client.OpenAndLogin(true);
  EXPECT_EQ(Failure([&] { client.ChangeRemoteDir("/etc/enigma2"); }), "SocketError 10060");
  EXPECT_LT(elapsed, 2s);
  client.Close();
}

TEST_F(FtpClientTest, SilentDataConnectionTimesOut) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.BeginTransfer("retr lamedb");
    s.Reply("150 Opening");
    s.SendData("eDVB");
    s.WaitForClientClose();  // keeps the data connection open and silent
  });
  Connect(server);
  client.OpenAndLogin(true);
  std::string local = dir / "lamedb";
  EXPECT_EQ(Failure([&] { client.Download("lamedb", local, true); }), "SocketError 10060");
  EXPECT_LT(elapsed, 2s);
  EXPECT_FALSE(std::filesystem::exists(local));
  client.Close();
}

TEST_F(FtpClientTest, TransferTypeChangeSendsTheCommandWhenOpen) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.Expect("type I");
    s.Reply("200 Switching to Binary mode.");
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  client.SetTransferType(FtpTransferType::kAscii);  // unchanged: nothing sent
  client.SetTransferType(FtpTransferType::kBinary);
  client.Close();
  EXPECT_EQ(server.Commands(), "user root\npass dreambox\ntype A\nsyst\ntype I\n");
}

TEST_F(FtpClientTest, PassiveDownload) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.AcceptPasv();
    s.Expect("retr lamedb");
    s.AcceptData();
    s.Reply("150 Opening");
    s.SendData("passive bytes");
    s.CloseData();
    s.Reply("226 ok");
    s.WaitForClientClose();
  });
  Connect(server);
  client.SetPassive(true);
  client.OpenAndLogin(true);
  std::string local = dir / "lamedb";
  client.Download("lamedb", local, true);
  client.Close();
  EXPECT_EQ(testing::ReadFile(local), "passive bytes");
  EXPECT_EQ(server.Failures(), "");
}

TEST_F(FtpClientTest, AbortTransferFromAnotherThread) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.BeginTransfer("retr lamedb");
    s.Reply("150 Opening");
    s.SendData("part");
    s.Expect("ABOR");
    s.Reply("426 aborted");
    s.Reply("226 ok");
    s.WaitForClientClose();
  });
  Connect(server);
  client.SetIdleTimeout(5s);
  client.OpenAndLogin(true);
  std::string local = dir / "lamedb";
  testing::WriteFile(local, "earlier");
  std::thread aborter([&] {
    std::this_thread::sleep_for(200ms);
    client.AbortTransfer();
  });
  EXPECT_EQ(Failure([&] { client.Download("lamedb", local, true); }),
            "FtpTransferAborted: Transfer aborted.");
  aborter.join();
  EXPECT_LT(elapsed, 2s);
  EXPECT_EQ(testing::ReadFile(local), "earlier");
  client.Close();
}

// Rename, size, modification time and delete: the command texts, the codes each accepts, the size
// read from the reply, and arguments with line breaks refused before anything is sent.
TEST_F(FtpClientTest, RenameSizeAndDelete) {
  FakeFtpServer server([](FakeFtpSession& s) {
    s.Login();
    s.Expect("RNFR ");
    s.Reply("350 Ready for RNTO.");
    s.Expect("RNTO ");
    s.Reply("250 Rename successful.");
    s.Expect("SIZE ");
    s.Reply("213 40960");
    s.Expect("SIZE ");
    s.Reply("213 a lot");
    s.Expect("MDTM ");
    s.Reply("213 20261207221000");
    s.Expect("MDTM ");
    s.Reply("213 yesterday");
    s.Expect("DELE ");
    s.Reply("250 Delete operation successful.");
    s.Expect("RNFR ");
    s.Reply("550 RNFR command failed.");
    s.Expect("RNFR ");
    s.Reply("350 Ready for RNTO.");
    s.Expect("RNTO ");
    s.Reply("553 Rename failed.");
    s.Expect("SIZE ");
    s.Reply("550 Could not get file size.");
    s.Expect("DELE ");
    s.Reply("550 Delete operation failed.");
    s.WaitForClientClose();
  });
  Connect(server);
  client.OpenAndLogin(true);
  client.Rename("timers.xml.upload", "timers.xml");
  EXPECT_EQ(client.Size("timers.xml"), 40960);
  std::string faults = Failure([&] { client.Size("timers.xml"); }) + "\n";
  EXPECT_EQ(client.ModificationTime("epg.dat"), 1796681400);
  faults += Failure([&] { client.ModificationTime("epg.dat"); }) + "\n";
  client.Delete("timers.xml.upload");
  faults += Failure([&] { client.Rename("a", "b"); }) + "\n";
  faults += Failure([&] { client.Rename("a", "b"); }) + "\n";
  faults += Failure([&] { client.Size("gone"); }) + "\n";
  faults += Failure([&] { client.Delete("gone"); }) + "\n";
  faults += Failure([&] { client.Rename("a\r\nDELE x", "b"); }) + "\n";
  faults += Failure([&] { client.Rename("a", "b\nDELE x"); }) + "\n";
  faults += Failure([&] { client.Size("a\nDELE x"); }) + "\n";
  faults += Failure([&] { client.Delete("a\rDELE x"); }) + "\n";
  client.Close();
  EXPECT_EQ(faults,
            "ProtocolReplyError 213: 213 a lot\n"
            "ProtocolReplyError 213: 213 yesterday\n"
            "ProtocolReplyError 550: 550 RNFR command failed.\n"
            "ProtocolReplyError 553: 553 Rename failed.\n"
            "ProtocolReplyError 550: 550 Could not get file size.\n"
            "ProtocolReplyError 550: 550 Delete operation failed.\n"
            "FtpInvalidArgument: Invalid file name: it contains a line break.\n"
            "FtpInvalidArgument: Invalid file name: it contains a line break.\n"
            "FtpInvalidArgument: Invalid file name: it contains a line break.\n"
            "FtpInvalidArgument: Invalid file name: it contains a line break.\n");
  EXPECT_EQ(server.Commands(),
            "user root\npass dreambox\ntype A\nsyst\n"
            "RNFR timers.xml.upload\nRNTO timers.xml\nSIZE timers.xml\nSIZE timers.xml\n"
            "MDTM epg.dat\nMDTM epg.dat\nDELE timers.xml.upload\nRNFR a\nRNFR a\nRNTO b\nSIZE "
            "gone\nDELE gone\n");
  EXPECT_EQ(server.Failures(), "");
}

}  // namespace
}  // namespace tivolo::net
