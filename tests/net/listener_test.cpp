// The one-shot listener: exactly one peer, the listening socket closed after it, the bound
// and StopWaiting.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "net/net_error.h"
#include "net/one_shot_listener.h"
#include "net/stream.h"
#include "net/tcp_client.h"
#include "peer.h"

namespace tivolo::net {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class ListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    listener_.SetBoundIP("127.0.0.1");
    listener_.PrepareListen();
    port_ = listener_.ListeningPort();
    ASSERT_GT(port_, 0);
    ASSERT_TRUE(listener_.Listening());
    ASSERT_EQ(listener_.ListeningIP(), "127.0.0.1");
  }

  OneShotListener listener_;
  int port_ = 0;
};

TEST_F(ListenerTest, AcceptsExactlyOnePeerAndStopsListening) {
  std::thread peer([this] {
    int fd = testing::ConnectTo(port_);
    ASSERT_GE(fd, 0);
    testing::PeerSocket socket(fd);
    socket.Send("listing\r\n");
  });
  EXPECT_TRUE(listener_.WaitForPeer());
  peer.join();
  EXPECT_FALSE(listener_.Listening());
  EXPECT_EQ(listener_.Socket().PeerIP(), "127.0.0.1");
  EXPECT_EQ(listener_.Socket().LocalPort(), port_);
  // Nobody else gets in: the listening socket is gone.
  EXPECT_EQ(testing::ConnectTo(port_), -1);
  MemoryStream stream;
  listener_.ReceiveIntoStream(stream);
  EXPECT_EQ(stream.Data(), "listing\r\n");
}

TEST_F(ListenerTest, PeersFromAnotherAddressAreClosedWhileTheWaitGoesOn) {
  listener_.SetExpectedPeerIP("127.0.0.1");
  std::vector<std::string> refused;
  listener_.SetOnPeerRefused([&](const std::string& ip) { refused.push_back(ip); });
  std::string stranger_got = "nothing";
  std::thread peers([&] {
    int fd = testing::ConnectTo(port_, "127.0.0.2");
    ASSERT_GE(fd, 0);
    {
      testing::PeerSocket stranger(fd);
      stranger.Send("forged\r\n");
      stranger_got = stranger.ReceiveAll();  // until the listener closes it
    }
    testing::PeerSocket expected(testing::ConnectTo(port_));
    expected.Send("listing\r\n");
  });
  EXPECT_TRUE(listener_.WaitForPeer());
  peers.join();
  EXPECT_EQ(stranger_got, "");
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0], "127.0.0.2");
  EXPECT_EQ(listener_.Socket().PeerIP(), "127.0.0.1");
  MemoryStream stream;
  listener_.ReceiveIntoStream(stream);
  EXPECT_EQ(stream.Data(), "listing\r\n");
}

TEST_F(ListenerTest, OnlyStrangersEndInTheBound) {
  listener_.SetExpectedPeerIP("127.0.0.1");
  listener_.SetAcceptTimeout(300ms);
  int stranger = testing::ConnectTo(port_, "127.0.0.2");
  ASSERT_GE(stranger, 0);
  const auto start = Clock::now();
  EXPECT_THROW(listener_.WaitForPeer(), SocketError);
  EXPECT_LT(Clock::now() - start, 2s);
  ::close(stranger);
}

// The wait for the peer also watches another connection (the FTP control connection).
TEST_F(ListenerTest, WatchedSocketEndsTheWaitOrIsLeftAlone) {
  testing::ScriptedPeer control_peer([](testing::PeerSocket& p) {
    p.Send("226 done early\r\n");
    p.ReceiveAll();
  });
  TcpClient control;
  control.SetHost("127.0.0.1");
  control.SetPort(control_peer.Port());
  control.Open();
  int events = 0;
  // Readable with a reply the event does not want: no longer watched, the peer still counts.
  std::thread data_peer([this] {
    std::this_thread::sleep_for(200ms);
    testing::PeerSocket peer(testing::ConnectTo(port_));
  });
  auto outcome = listener_.WaitForPeer({&control.Socket(), [&] {
                                          ++events;
                                          return false;
                                        }});
  data_peer.join();
  EXPECT_EQ(outcome, OneShotListener::PeerWait::kAccepted);
  EXPECT_EQ(events, 1);
  // Closed from another thread while watched: the event ends the wait at once.
  listener_.PrepareListen();
  std::thread closer([&] {
    std::this_thread::sleep_for(100ms);
    control.Socket().ReleaseSocket(true);
  });
  const auto start = Clock::now();
  outcome = listener_.WaitForPeer({&control.Socket(), [] { return true; }});
  closer.join();
  EXPECT_EQ(outcome, OneShotListener::PeerWait::kWatchEvent);
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_FALSE(listener_.Listening());
}

TEST_F(ListenerTest, NobodyConnects) {
  listener_.SetAcceptTimeout(200ms);
  const auto start = Clock::now();
  try {
    listener_.WaitForPeer();
    FAIL() << "accepted";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.Code(), 10060);
  }
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_FALSE(listener_.Listening());
  EXPECT_EQ(testing::ConnectTo(port_), -1);
}

TEST_F(ListenerTest, StopWaitingFromAnotherThread) {
  std::thread stopper([this] {
    std::this_thread::sleep_for(100ms);
    listener_.StopWaiting();
  });
  const auto start = Clock::now();
  EXPECT_FALSE(listener_.WaitForPeer());
  EXPECT_LT(Clock::now() - start, 5s);  // the default bound is a minute
  stopper.join();
  EXPECT_FALSE(listener_.Socket().HandleAllocated());
  EXPECT_EQ(testing::ConnectTo(port_), -1);
}

TEST(ListenerBindTest, PortInUse) {
  testing::ScriptedPeer holder([](testing::PeerSocket&) {});
  OneShotListener listener;
  listener.SetBoundIP("127.0.0.1");
  listener.SetBoundPort(holder.Port());
  EXPECT_THROW(listener.PrepareListen(), CouldNotBindSocket);
  EXPECT_FALSE(listener.Listening());
  // Connect once so that the holder's accept ends.
  int fd = testing::ConnectTo(holder.Port());
  if (fd >= 0) ::close(fd);
}

}  // namespace
}  // namespace tivolo::net
