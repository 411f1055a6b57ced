// The telnet client against scripted peers on 127.0.0.1 (negotiation byte for byte, pieces,
// the box's close, Close from inside the hand-over, lifetimes) and against real telnet
// servers: busybox telnetd and inetutils telnetd behind our own accept-and-exec launcher.
#include "net/telnet_client.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "servers/server_process.h"
#include "support/test_deadline.h"
#include "telnet/test_ui_loop.h"

namespace tivolo::net {
namespace {

using namespace std::chrono_literals;

// A peer that never answers must fail its test in seconds, not at CTest's limit.
const bool kDeadline = tivolo::testing::InstallTestDeadline(40s);
using Clock = std::chrono::steady_clock;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values)
    s += static_cast<char>(v);
  return s;
}

std::string Dump(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += std::to_string(c);
  }
  return out;
}

// One peer connection on a thread of the test: the script reads and writes raw bytes, every
// wait bounded, ending early when the peer is destroyed.
class ScriptedPeer {
 public:
  class Session {
   public:
    void Send(const std::string& bytes) {
      if (fd_ >= 0) ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Exactly n bytes (fewer when the client closed or the bound passed).
    std::string Read(std::size_t n, std::chrono::milliseconds bound = 5s) {
      std::string got;
      auto deadline = Clock::now() + bound;
      while (got.size() < n && Clock::now() < deadline && !peer_.stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        char buf[4096];
        ssize_t r = ::recv(fd_, buf, std::min(sizeof buf, n - got.size()), 0);
        if (r <= 0) break;
        got.append(buf, static_cast<std::size_t>(r));
      }
      return got;
    }
    // Everything until the client closes; false when it did not within the bound.
    bool WaitForClose(std::string* received = nullptr, std::chrono::milliseconds bound = 5s) {
      auto deadline = Clock::now() + bound;
      while (Clock::now() < deadline && !peer_.stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        char buf[4096];
        ssize_t r = ::recv(fd_, buf, sizeof buf, 0);
        if (r <= 0) return true;
        if (received) received->append(buf, static_cast<std::size_t>(r));
      }
      return false;
    }
    void Sleep(std::chrono::milliseconds d) {
      auto deadline = Clock::now() + d;
      while (Clock::now() < deadline && !peer_.stop_)
        std::this_thread::sleep_for(5ms);
    }
    void Close() {
      if (fd_ >= 0) ::close(fd_);
      fd_ = -1;
    }
    void Note(const std::string& text) {
      std::lock_guard lock(peer_.mutex_);
      peer_.notes_ += text + "\n";
    }

   private:
    friend class ScriptedPeer;
    explicit Session(ScriptedPeer& peer) : peer_(peer) {}
    ScriptedPeer& peer_;
    int fd_ = -1;
  };

  explicit ScriptedPeer(std::function<void(Session&)> script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] {
      Session session(*this);
      auto deadline = Clock::now() + 10s;
      while (session.fd_ < 0 && !stop_ && Clock::now() < deadline) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0)
          session.fd_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      }
      if (session.fd_ >= 0) script_(session);
      session.Close();
      done_ = true;
    });
  }
  ~ScriptedPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  int Port() const { return port_; }
  std::string Notes() {
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    return notes_;
  }
  bool Done() const { return done_; }

 private:
  std::function<void(Session&)> script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::mutex mutex_;
  std::string notes_;
  std::thread thread_;
};

// A client with a recording OnDataAvailable on the tests' user-interface loop.
class TelnetClientTest : public ::testing::Test {
 protected:
  void Prepare(int port) {
    client.SetHost("127.0.0.1");
    client.SetPort(port);
    client.SetOnDataAvailable([this](const std::string& buffer) {
      EXPECT_TRUE(ui.OnUiThread());
      pieces.push_back(buffer);
      if (on_piece) on_piece(buffer);
    });
    client.SetOnDisconnect([this] { ++disconnects; });
  }
  // All pieces so far joined, each in brackets.
  std::string Pieces() const {
    std::string out;
    for (const auto& p : pieces)
      out += "[" + p + "]";
    return out;
  }
  std::string Text() const {
    std::string out;
    for (const auto& p : pieces)
      out += p;
    return out;
  }

  testing::TestUiLoop ui;
  TelnetClient client{ui};
  std::vector<std::string> pieces;
  std::function<void(const std::string&)> on_piece;
  int disconnects = 0;
};

TEST_F(TelnetClientTest, NegotiationAnswersByteForByte) {
  ScriptedPeer peer([](ScriptedPeer::Session& s) {
    s.Send(Bytes({255, 253, 24}));
    s.Note("do ttype: " + Dump(s.Read(3)));
    s.Send(Bytes({255, 250, 24, 1, 255, 240}));
    s.Note("sb send: " + Dump(s.Read(10)));
    s.Send(Bytes({255, 251, 1}));
    s.Note("will echo: " + Dump(s.Read(3)));
    s.Send(Bytes({255, 251, 3, 255, 253, 31, 255, 253, 37, 255, 246}));
    s.Note("others: " + Dump(s.Read(9)));
    s.Send(Bytes({255}));
    s.Sleep(50ms);
    s.Send(Bytes({253, 24}) + "ok" + Bytes({255, 255}) + "!");
    s.Note("split: " + Dump(s.Read(3)));
    s.WaitForClose();
  });
  Prepare(peer.Port());
  std::vector<TelnetCommand> commands;
  client.SetOnTelnetCommand([&](TelnetClient&, TelnetCommand c) { commands.push_back(c); });
  client.Open();
  ASSERT_TRUE(ui.RunUntil([&] { return Text().find('!') != std::string::npos; }));
  client.Close();
  EXPECT_EQ(peer.Notes(),
            "do ttype: 255 251 24\n"
            "sb send: 255 250 24 0 100 117 109 98 255 240\n"
            "will echo: 255 253 1\n"
            "others: 255 254 3 255 252 31 255 252 37\n"
            "split: 255 251 24\n");
  EXPECT_EQ(Text(), "ok" + Bytes({255}) + "!");
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0], TelnetCommand::kRemoteEcho);
  EXPECT_EQ(pieces.front(), "");  // a piece of commands only is still handed over, empty
  EXPECT_EQ(disconnects, 1);
}

TEST_F(TelnetClientTest, PiecesFollowTheNetworkNotTheLines) {
  ScriptedPeer peer([](ScriptedPeer::Session& s) {
    s.Send("dm7025 login: ");
    s.Sleep(150ms);
    s.Send("Pass");
    s.Sleep(150ms);
    s.Send("word: ");
    s.WaitForClose();
  });
  Prepare(peer.Port());
  client.Open();
  ASSERT_TRUE(ui.RunUntil([&] { return pieces.size() >= 3; }));
  client.Close();
  EXPECT_EQ(Pieces(), "[dm7025 login: ][Pass][word: ]");
}

TEST_F(TelnetClientTest, BoxClosingHandsOverAFinalEmptyPiece) {
  ScriptedPeer peer([](ScriptedPeer::Session& s) {
    s.Send("bye\r\n");
    s.Sleep(100ms);
    s.Close();
  });
  Prepare(peer.Port());
  std::vector<std::string> status;
  client.SetOnStatus([&](NetComponent&, NetStatus, const std::string& t) { status.push_back(t); });
  client.Open();
  ASSERT_TRUE(ui.RunUntil([&] { return !client.ReaderRunning(); }));
  EXPECT_EQ(Pieces(), "[bye\r\n][]");
  EXPECT_EQ(disconnects, 0);
  EXPECT_EQ(client.ReaderMessage(), "Connection Closed Gracefully.");
  EXPECT_FALSE(client.Socket().HandleAllocated());
  ASSERT_GE(status.size(), 2u);
  EXPECT_EQ(status[status.size() - 2], "Disconnecting from 127.0.0.1.");
  EXPECT_EQ(status.back(), "Not connected.");
  client.Close();  // after the reader ended: nothing to touch, still no hang
  EXPECT_EQ(disconnects, 1);
}

TEST_F(TelnetClientTest, CloseFromInsideTheHandover) {
  ScriptedPeer peer([](ScriptedPeer::Session& s) {
    s.Send("dm7025 login: ");
    std::string got = s.Read(5);
    s.Note("got " + got.substr(0, 4));
    s.Send("root@dm7025:~# ");
    got = s.Read(19);
    s.Note("got " + got.substr(0, 18));
    s.Send("killall: enigma2: no process killed\n");
    s.Send("more text after the answer\n");
    std::string rest;
    s.Note(s.WaitForClose(&rest) ? "closed" : "not closed");
  });
  Prepare(peer.Port());
  // The box dialogue of the save: answer the login, stop the receiver, close on its answer.
  on_piece = [this](const std::string& text) {
    if (text.find("login") != std::string::npos) client.SendText("root\n");
    if (text.find("root@") != std::string::npos) client.SendText("killall -9 enigma2\n");
    if (text.find("killall:") != std::string::npos) client.Close();
  };
  client.Open();
  ASSERT_TRUE(ui.RunUntil([&] { return disconnects == 1; }));
  ui.RunFor(100ms);  // nothing more may arrive after Close
  EXPECT_EQ(pieces.back().find("killall:"), 0u);
  EXPECT_EQ(disconnects, 1);
  EXPECT_EQ(peer.Notes(), "got root\ngot killall -9 enigma2\nclosed\n");
  EXPECT_FALSE(client.ReaderRunning());
}

TEST_F(TelnetClientTest, SendTextSendsBytesUnchanged) {
  ScriptedPeer peer([](ScriptedPeer::Session& s) {
    s.Note(Dump(s.Read(6)));
    s.WaitForClose();
  });
  Prepare(peer.Port());
  client.Open();
  client.SendText("a\n" + Bytes({255}) + "\r\n" + Bytes({0}));
  client.Close();
  EXPECT_EQ(peer.Notes(), "97 10 255 13 10 0\n");
}

TEST_F(TelnetClientTest, NothingListeningIsServerNotResponding) {
  int port;
  {
    ScriptedPeer unused([](ScriptedPeer::Session&) {});
    port = unused.Port();
  }  // closed again: nothing listens there now
  Prepare(port);
  int connects = 0;
  client.SetOnConnect([&] { ++connects; });
  try {
    client.Open();
    ADD_FAILURE() << "no exception";
  } catch (const TelnetConnectError& e) {
    EXPECT_EQ(std::string(e.what()), "server not responding");
    EXPECT_EQ(e.TypeName(), "TelnetConnectError");
  }
  EXPECT_EQ(connects, 1);
  EXPECT_FALSE(client.ReaderRunning());
  EXPECT_FALSE(client.Socket().HandleAllocated());
}

TEST_F(TelnetClientTest, MissingHandlerEndsTheReader) {
  ScriptedPeer peer([](ScriptedPeer::Session& s) {
    s.Send("login: ");
    s.WaitForClose();
  });
  client.SetHost("127.0.0.1");
  client.SetPort(peer.Port());
  client.Open();
  ASSERT_TRUE(ui.RunUntil([&] { return !client.ReaderRunning(); }));
  EXPECT_EQ(client.ReaderMessage(), "OnDataAvailable event is nil.");
  client.Close();
}

TEST_F(TelnetClientTest, StateCarriesAcrossConnections) {
  ScriptedPeer peer([](ScriptedPeer::Session& s) {
    s.Send("x" + Bytes({255}));
    s.Sleep(100ms);
    s.Close();
  });
  Prepare(peer.Port());
  client.Open();
  ASSERT_TRUE(ui.RunUntil([&] { return !client.ReaderRunning(); }));
  client.Close();
  EXPECT_EQ(client.NegotiationState(), TelnetParseState::kCommand);
}

// Lifetimes: the client goes away while its reader waits for data, or while the reader waits
// for a hand-over that the user-interface thread never runs. Neither may hang or touch freed
// memory (AddressSanitizer and ThreadSanitizer watch this).
TEST(TelnetClientLifetimeTest, DestroyedWhileTheReaderWaitsForData) {
  ScriptedPeer peer([](ScriptedPeer::Session& s) { s.WaitForClose(); });
  testing::TestUiLoop ui;
  auto start = Clock::now();
  {
    TelnetClient client(ui);
    client.SetHost("127.0.0.1");
    client.SetPort(peer.Port());
    client.SetOnDataAvailable([](const std::string&) {});
    client.Open();
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_LT(Clock::now() - start, 2s);
}

TEST(TelnetClientLifetimeTest, DestroyedWhileTheReaderWaitsForItsHandover) {
  ScriptedPeer peer([](ScriptedPeer::Session& s) {
    s.Send("login: ");
    s.WaitForClose();
  });
  testing::TestUiLoop ui;
  std::atomic<int> calls{0};
  {
    TelnetClient client(ui);
    client.SetHost("127.0.0.1");
    client.SetPort(peer.Port());
    client.SetOnDataAvailable([&](const std::string&) { ++calls; });
    client.Open();
    std::this_thread::sleep_for(100ms);  // the piece is queued; the loop does not run it
  }
  ui.RunFor(50ms);  // the queued hand-over runs after the client is gone: it must do nothing
  EXPECT_EQ(calls, 0);
}

TEST(TelnetClientLifetimeTest, DestroyedFromInsideItsHandover) {
  ScriptedPeer peer([](ScriptedPeer::Session& s) {
    s.Send("login: ");
    s.WaitForClose();
  });
  testing::TestUiLoop ui;
  auto client = std::make_unique<TelnetClient>(ui);
  client->SetHost("127.0.0.1");
  client->SetPort(peer.Port());
  client->SetOnDataAvailable([&](const std::string&) { client.reset(); });
  client->Open();
  EXPECT_TRUE(ui.RunUntil([&] { return client == nullptr; }));
}

// Real telnet servers, with the box's login dialogue of the save.
class RealTelnetServerTest : public TelnetClientTest {
 protected:
  void RunDialogue() {
    on_piece = [this](const std::string&) {
      std::string text = Text();
      if (!sent_user && text.find("login") != std::string::npos) {
        sent_user = true;
        client.SendText("root\n");
      } else if (sent_user && !sent_kill && text.find("root@") != std::string::npos) {
        sent_kill = true;
        client.SendText("killall -9 enigma2\n");
      } else if (sent_kill && text.find("killall:") != std::string::npos && disconnects == 0) {
        client.Close();
      }
    };
    client.Open();
    ASSERT_TRUE(ui.RunUntil([&] { return disconnects == 1; }, 15s)) << Text();
    EXPECT_NE(Text().find("killall: enigma2: no process killed"), std::string::npos) << Text();
  }
  testing::ServerProcess server;
  bool sent_user = false;
  bool sent_kill = false;
};

TEST_F(RealTelnetServerTest, BusyboxTelnetdLogin) {
  if (!testing::HaveExecutable("/usr/bin/busybox"))
    GTEST_SKIP() << "busybox is not installed (/usr/bin/busybox)";
  std::string error;
  ASSERT_TRUE(server.Start({testing::ServersDir() + "/busybox_telnetd.sh"}, true, &error)) << error;
  Prepare(server.Port());
  std::vector<TelnetCommand> commands;
  client.SetOnTelnetCommand([&](TelnetClient&, TelnetCommand c) { commands.push_back(c); });
  RunDialogue();
  // busybox opens with DO ECHO, DO NAWS, WILL ECHO, WILL SGA.
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0], TelnetCommand::kLocalEcho);
  EXPECT_EQ(commands[1], TelnetCommand::kRemoteEcho);
}

TEST_F(RealTelnetServerTest, InetutilsTelnetdLoginWithTerminalType) {
  if (!testing::HaveExecutable("/usr/sbin/telnetd"))
    GTEST_SKIP() << "inetutils telnetd is not installed (/usr/sbin/telnetd)";
  std::string error;
  ASSERT_TRUE(server.Start({"/usr/bin/python3", testing::ServersDir() + "/telnetd_launcher.py",
                            testing::ServersDir() + "/box_login.sh"},
                           false, &error))
      << error;
  Prepare(server.Port());
  RunDialogue();
  // telnetd asked for the terminal type and started the login with it.
  EXPECT_NE(Text().find("TERM=dumb"), std::string::npos) << Text();
}

}  // namespace
}  // namespace tivolo::net
