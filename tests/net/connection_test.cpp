// Connecting, closing, peer close, streams, bounds and the two-thread use of a connection.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "net/net_error.h"
#include "net/stream.h"
#include "net/tcp_client.h"
#include "peer.h"
#include "support/test_deadline.h"
#include "support/test_files.h"

namespace tivolo::net {
namespace {

using namespace std::chrono_literals;
using testing::OpenTo;
using testing::PeerSocket;
using testing::ScriptedPeer;
using testing::StatusLog;
using Clock = std::chrono::steady_clock;

// Every test of this program, the reply and listener tests too: a peer that keeps sending
// while a bound of the connection fails to stop the read would otherwise run forever.
const bool kDeadline = tivolo::testing::InstallTestDeadline(20s);

std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i)
    data[i] = static_cast<char>('A' + (i * 7 + i / 251) % 53);
  return data;
}

TEST(ConnectTest, RefusedReportsAndCloses) {
  TcpClient client;
  StatusLog log;
  log.Attach(client);
  client.SetHost("LOCALHOST");
  client.SetPort(testing::UnusedPort());
  try {
    client.Open();
    FAIL() << "connected";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.Code(), 10061);
    EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
  }
  EXPECT_EQ(log.text,
            "Resolving hostname LOCALHOST.\n"
            "Connecting to 127.0.0.1.\n"
            "Disconnecting from 127.0.0.1.\n"
            "Not connected.\n");
  EXPECT_FALSE(client.Socket().HandleAllocated());
}

TEST(ConnectTest, NameThatDoesNotResolve) {
  TcpClient client;
  StatusLog log;
  log.Attach(client);
  client.SetHost(std::string(70, 'y') + ".invalid");  // fails before any query leaves
  client.SetPort(21);
  try {
    client.Open();
    FAIL() << "connected";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.Code(), 11001);
  }
  EXPECT_EQ(log.text.find("Connecting"), std::string::npos) << log.text;
  EXPECT_FALSE(client.Socket().HandleAllocated());
}

TEST(ConnectTest, ConnectBoundFires) {
  const testing::UnansweredPort unanswered;
  const int port = unanswered.Port();
  TcpClient client;
  client.SetConnectTimeout(300ms);
  const auto start = Clock::now();
  try {
    OpenTo(client, port);
    ADD_FAILURE() << "connected";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.Code(), 10060);
    EXPECT_STREQ(e.what(), "Socket Error # 10060\r\nConnection timed out.");
  }
  EXPECT_LT(Clock::now() - start, 5s);
}

TEST(ConnectTest, StatusesCloseTwiceAndAlreadyConnected) {
  ScriptedPeer peer([](PeerSocket& socket) { socket.WaitForClose(); });
  TcpClient client;
  StatusLog log;
  log.Attach(client);
  int disconnected = 0;
  client.SetOnDisconnected([&disconnected](NetComponent&) { ++disconnected; });
  int connected = 0;
  client.SetOnConnected([&connected](NetComponent&) { ++connected; });
  OpenTo(client, peer.Port());
  EXPECT_TRUE(client.IsOpen());
  EXPECT_EQ(client.Socket().PeerIP(), "127.0.0.1");
  EXPECT_EQ(client.Socket().PeerPort(), peer.Port());
  EXPECT_NE(client.Socket().LocalPort(), 0);
  try {
    client.Open();
    FAIL() << "opened twice";
  } catch (const AlreadyConnected& e) {
    EXPECT_STREQ(e.what(), "Already connected.");
  }
  EXPECT_TRUE(client.IsOpen());
  client.Close();
  client.Close();
  EXPECT_EQ(log.text,
            "Connecting to 127.0.0.1.\n"
            "Connected.\n"
            "Disconnecting from 127.0.0.1.\n"
            "Not connected.\n");
  EXPECT_EQ(connected, 1);
  EXPECT_EQ(disconnected, 1);
  EXPECT_FALSE(client.IsOpen());
}

TEST(PeerCloseTest, PartialReplyThenClose) {
  ScriptedPeer peer([](PeerSocket& socket) { socket.Send("220 "); });
  TcpClient client;
  StatusLog log;
  log.Attach(client);
  OpenTo(client, peer.Port());
  peer.Join();
  EXPECT_THROW(client.ReadReply({220}), ConnClosedGracefully);
  EXPECT_EQ(client.BufferedCount(), 4u);
  EXPECT_EQ(client.TakeBuffered(4), "220 ");
  EXPECT_THROW(client.TakeBuffered(1), NotEnoughDataInBuffer);
  EXPECT_TRUE(client.ClosedByPeer());
  EXPECT_EQ(log.text,
            "Connecting to 127.0.0.1.\nConnected.\n"
            "Disconnecting from 127.0.0.1.\nNot connected.\n");
  // Reading on after the close keeps failing the same way.
  EXPECT_THROW(client.ReadLine(), ConnClosedGracefully);
}

TEST(PeerCloseTest, ReceiveIntoStreamUntilCloseCutsLongerStream) {
  const std::string data = Pattern(100000);
  ScriptedPeer peer([&data](PeerSocket& socket) { socket.Send("150 here\r\n" + data); });
  TcpClient client;
  int64_t progress = 0;
  int begins = 0, ends = 0;
  client.SetOnWork([&progress](NetComponent&, WorkMode, int64_t total) { progress = total; });
  client.SetOnWorkBegin([&begins](NetComponent&, WorkMode, int64_t) { ++begins; });
  client.SetOnWorkEnd([&ends](NetComponent&, WorkMode) { ++ends; });
  OpenTo(client, peer.Port());
  EXPECT_EQ(client.ReadLine(), "150 here");  // the data after it may already be buffered
  MemoryStream stream(std::string(150000, 'x'));
  client.ReceiveIntoStream(stream);
  EXPECT_EQ(stream.Size(), 100000);
  EXPECT_TRUE(stream.Data() == data);
  EXPECT_EQ(progress, 100000);
  EXPECT_EQ(begins, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(client.IsOpen());
}

TEST(PeerCloseTest, ReceiveIntoFileStream) {
  const std::string data = Pattern(300000);
  const tivolo::testing::TempDir dir;
  const std::string path = dir / "receive.bin";
  tivolo::testing::WriteFile(path, std::string(400000, 'o'));
  ScriptedPeer peer([&data](PeerSocket& socket) { socket.Send(data); });
  TcpClient client;
  OpenTo(client, peer.Port());
  {
    FileStream file(path, FileStream::Mode::kCreate);
    file.Write("head", 4);
    client.ReceiveIntoStream(file);
    file.Close();
  }
  EXPECT_TRUE(tivolo::testing::ReadFile(path) == "head" + data);
}

// A file stream whose descriptor takes no splice (opened for appending), so a receive must
// fall back to copying after the first spliced piece.
class NoSpliceFile : public Stream {
 public:
  explicit NoSpliceFile(const std::string& path)
      : file_(path, FileStream::Mode::kCreate),
        append_(::open(path.c_str(), O_WRONLY | O_APPEND)) {}
  ~NoSpliceFile() override { ::close(append_); }
  int64_t Size() const override { return file_.Size(); }
  int64_t Position() const override { return file_.Position(); }
  void Seek(int64_t position) override { file_.Seek(position); }
  size_t Read(void* buffer, size_t count) override { return file_.Read(buffer, count); }
  void Write(const void* buffer, size_t count) override { file_.Write(buffer, count); }
  void SetSize(int64_t size) override { file_.SetSize(size); }
  int Descriptor() const override { return append_; }

 private:
  FileStream file_;
  int append_;
};

class FileReceiveTest : public ::testing::TestWithParam<bool> {};

// Buffered bytes first, then the rest straight into the file (or copied where it cannot be).
TEST_P(FileReceiveTest, EveryByteInOrderAndCounted) {
  const std::string data = Pattern(3 << 20);
  const std::string path = ::testing::TempDir() + "net_file_receive_test.bin";
  ScriptedPeer peer([&data](PeerSocket& socket) { socket.Send("150 here\r\n" + data); });
  TcpClient client;
  int64_t progress = 0;
  client.SetOnWork([&progress](NetComponent&, WorkMode, int64_t total) { progress = total; });
  OpenTo(client, peer.Port());
  EXPECT_EQ(client.ReadLine(), "150 here");
  {
    std::unique_ptr<Stream> file;
    if (GetParam()) {
      file = std::make_unique<FileStream>(path, FileStream::Mode::kCreate);
    } else {
      file = std::make_unique<NoSpliceFile>(path);
    }
    client.ReceiveIntoStream(*file);
    EXPECT_EQ(file->Position(), static_cast<int64_t>(data.size()));
  }
  std::ifstream in(path, std::ios::binary);
  std::stringstream read;
  read << in.rdbuf();
  EXPECT_TRUE(read.str() == data) << read.str().size();
  EXPECT_EQ(progress, static_cast<int64_t>(data.size()));
  std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Files, FileReceiveTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Spliced" : "Copied"; });

TEST(SendTest, SendStreamAndText) {
  std::string received;
  ScriptedPeer peer([&received](PeerSocket& socket) { received = socket.ReceiveAll(); });
  const std::string data = Pattern(200000);
  TcpClient client;
  OpenTo(client, peer.Port());
  client.SendText("");
  MemoryStream empty;
  client.SendStream(empty);
  MemoryStream stream(data);
  stream.Seek(stream.Size());  // from the start all the same
  client.SendStream(stream);
  client.SendLine("end");
  client.Close();
  peer.Join();
  EXPECT_EQ(received.size(), data.size() + 5);
  EXPECT_TRUE(received == data + "end\r\n");
}

TEST(SendTest, SendAfterPeerCloseRaisesWithoutSignal) {
  ScriptedPeer peer([](PeerSocket& socket) { socket.Close(); });
  TcpClient client;
  OpenTo(client, peer.Port());
  peer.Join();
  bool raised = false;
  const std::string block(4096, 'z');
  for (int i = 0; i < 1000 && !raised; ++i) {
    try {
      client.SendText(block);
    } catch (const SocketError& e) {
      raised = e.Code() == 10054 || e.Code() == 10058;
      EXPECT_TRUE(raised) << e.what();
    } catch (const ConnClosedGracefully&) {
      raised = true;
    }
  }
  EXPECT_TRUE(raised);
}

TEST(BoundTest, SilentPeer) {
  ScriptedPeer peer([](PeerSocket& socket) { socket.WaitForClose(); });
  TcpClient client;
  client.SetIdleTimeout(200ms);
  OpenTo(client, peer.Port());
  const auto start = Clock::now();
  try {
    client.ReadReply({220});
    FAIL() << "read a reply";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.Code(), 10060);
    EXPECT_STREQ(e.what(), "Socket Error # 10060\r\nConnection timed out.");
  }
  const auto spent = Clock::now() - start;
  EXPECT_GE(spent, 190ms);
  EXPECT_LT(spent, 5s);
  client.Close();
}

TEST(BoundTest, SilentPeerDuringStreamReceive) {
  ScriptedPeer peer([](PeerSocket& socket) {
    socket.Send("some");
    socket.WaitForClose();
  });
  TcpClient client;
  client.SetIdleTimeout(200ms);
  OpenTo(client, peer.Port());
  MemoryStream stream;
  EXPECT_THROW(client.ReceiveIntoStream(stream), SocketError);
  client.Close();
}

TEST(BoundTest, SilentPeerDuringFileReceive) {
  ScriptedPeer peer([](PeerSocket& socket) {
    socket.Send("some");
    socket.WaitForClose();
  });
  TcpClient client;
  client.SetIdleTimeout(200ms);
  OpenTo(client, peer.Port());
  const std::string path = ::testing::TempDir() + "net_silent_file_test.bin";
  FileStream file(path, FileStream::Mode::kCreate);
  const auto start = Clock::now();
  EXPECT_THROW(client.ReceiveIntoStream(file), SocketError);
  EXPECT_LT(Clock::now() - start, 5s);
  client.Close();
  std::remove(path.c_str());
}

TEST(BoundTest, EndlessLine) {
  std::atomic<bool> stop{false};
  ScriptedPeer peer([&stop](PeerSocket& socket) {
    const std::string block(16384, 'a');
    while (!stop && socket.Send(block)) {
    }
  });
  TcpClient client;
  OpenTo(client, peer.Port());
  try {
    client.ReadLine();
    FAIL() << "read a line";
  } catch (const TcpConnectionError& e) {
    EXPECT_EQ(e.TypeName(), "TcpConnectionError");
    EXPECT_STREQ(e.what(), "Line too long: no line end within 1048576 bytes.");
  }
  EXPECT_LT(client.BufferedCount(), (size_t{1} << 20) + 65536);
  stop = true;
  client.Close();
}

TEST(BoundTest, EndlessReply) {
  std::atomic<bool> stop{false};
  ScriptedPeer peer([&stop](PeerSocket& socket) {
    socket.Send("220-start\r\n");
    const std::string block = "220-more of the same\r\n";
    while (!stop && socket.Send(block)) {
    }
  });
  TcpClient client;
  client.SetMaxLineLength(4096);
  OpenTo(client, peer.Port());
  EXPECT_THROW(client.ReadReply(), TcpConnectionError);
  stop = true;
  client.Close();
}

TEST(BoundTest, OwnWaitRunsOutWithoutError) {
  ScriptedPeer peer([](PeerSocket& socket) { socket.WaitForClose(); });
  TcpClient client;
  OpenTo(client, peer.Port());
  EXPECT_EQ(client.ReadLine({}, 0ms), "");
  EXPECT_TRUE(client.LineTimedOut());
  EXPECT_EQ(client.ReadAvailable(0ms), "");
  EXPECT_TRUE(client.IsOpen());
}

// The telnet pattern: one thread reads without a limit while another sends, then closes.
TEST(ThreadTest, CloseWakesUnboundedReaderWhileOtherThreadSends) {
  ScriptedPeer peer([](PeerSocket& socket) {
    for (;;) {
      std::string line = socket.ReceiveLine();
      if (line.empty()) return;
      if (!socket.Send("echo " + line)) return;
    }
  });
  TcpClient client;
  StatusLog log;
  log.Attach(client);
  OpenTo(client, peer.Port());
  std::string echoed;
  std::string ending;
  std::atomic<bool> reader_done{false};
  std::atomic<size_t> echoed_size{0};
  std::thread reader([&] {
    try {
      for (;;) {
        echoed += client.ReadAvailable(ReadWait::Unlimited());
        echoed_size = echoed.size();
        client.DetectPeerClose(true, false);
      }
    } catch (const NetError& e) {
      ending = e.TypeName();
    }
    reader_done = true;
  });
  std::string expected;
  for (int i = 0; i < 20; ++i) {
    client.SendText("line " + std::to_string(i) + "\n");
    expected += "echo line " + std::to_string(i) + "\n";
  }
  // Wait for the echoes, then close while the reader waits without a limit.
  const auto deadline = Clock::now() + 5s;
  while (Clock::now() < deadline && echoed_size < expected.size()) {
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(100ms);
  client.Close();
  const auto closed = Clock::now();
  reader.join();
  EXPECT_LT(Clock::now() - closed, 2s);
  EXPECT_TRUE(reader_done);
  EXPECT_EQ(ending, "ConnClosedGracefully");
  EXPECT_EQ(echoed, expected);
  EXPECT_EQ(log.text,
            "Connecting to 127.0.0.1.\nConnected.\n"
            "Disconnecting from 127.0.0.1.\nNot connected.\n");
}

TEST(ThreadTest, PeerCloseEndsUnboundedReader) {
  ScriptedPeer peer([](PeerSocket& socket) { socket.Send("login: "); });
  TcpClient client;
  OpenTo(client, peer.Port());
  std::string pieces;
  try {
    for (;;) {
      pieces += "[" + client.ReadAvailable(ReadWait::Unlimited()) + "]";
      client.DetectPeerClose(true, false);
    }
  } catch (const ConnClosedGracefully&) {
  }
  // The close may arrive with the text or in a receive of its own.
  EXPECT_TRUE(pieces == "[login: ][]" || pieces == "[login: ]") << pieces;
  EXPECT_FALSE(client.IsOpen());
}

}  // namespace
}  // namespace tivolo::net
