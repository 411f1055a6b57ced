// Line and numbered reply reading against scripted peers.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "net/net_error.h"
#include "net/tcp_client.h"
#include "peer.h"

namespace tivolo::net {
namespace {

using testing::Escaped;
using testing::OpenTo;
using testing::PeerSocket;
using testing::ScriptedPeer;

std::string ReplyDump(const TcpConnection& connection) {
  std::string dump = "code " + std::to_string(connection.ReplyCode()) + ":";
  for (const std::string& line : connection.ReplyLines())
    dump += " [" + Escaped(line) + "]";
  return dump;
}

struct ReplyCase {
  const char* name;
  const char* sent;
  const char* expected;
};

class ReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyTest, Reads) {
  const std::string sent = GetParam().sent;
  ScriptedPeer peer([&sent](PeerSocket& socket) {
    socket.Send(sent);
    socket.WaitForClose();
  });
  TcpClient client;
  OpenTo(client, peer.Port());
  client.ReadReply();
  EXPECT_EQ(ReplyDump(client), GetParam().expected);
  client.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    ::testing::Values(ReplyCase{"CrLf", "220 ready\r\n", "code 220: [220 ready]"},
                      ReplyCase{"BareLf", "220 ready\n", "code 220: [220 ready]"},
                      ReplyCase{"MultiLine", "230-Welcome\r\n  to the box\r\n230 done\r\n",
                                "code 230: [230-Welcome] [to the box] [230 done]"},
                      ReplyCase{"DashLineInside", "230-a\r\n230-b\r\n230 c\r\n",
                                "code 230: [230-a] [230-b] [230 c]"},
                      ReplyCase{"OnlyTheCodeEnds", "230-a\r\nbbbb\r\n230\r\n230 late\r\n",
                                "code 230: [230-a] [bbbb] [230]"},
                      ReplyCase{"OtherCodeInside", "230-a\r\n331 not the end\r\n230 end\r\n",
                                "code 230: [230-a] [331 not the end] [230 end]"},
                      ReplyCase{"ShortLineEnds", "200-a\r\nxy\r\n", "code 0: [200-a] [xy]"},
                      ReplyCase{"MarkerAnyCase", "2ab-x\r\n2AB y\r\n", "code 0: [2ab-x] [2AB y]"},
                      ReplyCase{"BlankLinesFirst", "\r\n\n  \r\n\t\r\n220 hi\r\n",
                                "code 220: [220 hi]"},
                      ReplyCase{"PlusOk", "+OK ready\r\n", "code 1: [+OK ready]"},
                      ReplyCase{"PlusOkLower", "+ok\r\n", "code 1: [+ok]"},
                      ReplyCase{"MinusErr", "-ERR no\r\n", "code 0: [-ERR no]"},
                      ReplyCase{"MinusErrLower", "-err\r\n", "code 0: [-err]"},
                      ReplyCase{"ThreeLetters", "abc\r\n", "code 0: [abc]"},
                      ReplyCase{"TrimmedLine", "  220 x  \r\n", "code 220: [220 x]"}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

// A peer that sends blank lines without end, before or inside a reply: they count toward
// the reply bound, so reading ends with an error in well under the idle bound.
struct BlankFloodCase {
  const char* name;
  const char* first;  // sent before the blank lines
  const char* blank;  // one blank line
};

class BlankFloodTest : public ::testing::TestWithParam<BlankFloodCase> {};

TEST_P(BlankFloodTest, EndsAtTheReplyBound) {
  const BlankFloodCase c = GetParam();
  ScriptedPeer peer([&c](PeerSocket& socket) {
    socket.Send(c.first);
    std::string chunk;
    while (chunk.size() < 65536)
      chunk += c.blank;
    for (size_t sent = 0; sent < (size_t{64} << 20) && socket.Send(chunk); sent += chunk.size()) {
    }
    socket.WaitForClose(2000);
  });
  TcpClient client;
  client.SetIdleTimeout(std::chrono::seconds(2));
  client.SetMaxLineLength(65536);
  OpenTo(client, peer.Port());
  const auto start = std::chrono::steady_clock::now();
  try {
    client.ReadReply();
    ADD_FAILURE() << "no error";
  } catch (const TcpConnectionError& e) {
    EXPECT_STREQ(e.what(), "Reply too long: more than 65536 bytes in one reply.");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  client.Close();
}

INSTANTIATE_TEST_SUITE_P(Floods, BlankFloodTest,
                         ::testing::Values(BlankFloodCase{"BeforeTheReply", "", "\r\n"},
                                           BlankFloodCase{"BlanksAndTabs", "", " \t \r\n"},
                                           BlankFloodCase{"BareLf", "", "\n"},
                                           BlankFloodCase{"InsideAMultiLineReply",
                                                          "230-Welcome\r\n", "\r\n"}),
                         [](const ::testing::TestParamInfo<BlankFloodCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(ReadLineTest, CarriageReturnAloneDoesNotEndALine) {
  ScriptedPeer peer([](PeerSocket& socket) {
    socket.Send("220 ready\r");
    socket.ReceiveLine();  // the client's go-ahead
    socket.Send("\n");
    socket.WaitForClose();
  });
  TcpClient client;
  OpenTo(client, peer.Port());
  EXPECT_EQ(client.ReadLine({}, std::chrono::milliseconds(100)), "");
  EXPECT_TRUE(client.LineTimedOut());
  client.SendLine("go");
  EXPECT_EQ(client.ReadLine(), "220 ready");
  EXPECT_FALSE(client.LineTimedOut());
}

TEST(ReadLineTest, OwnTerminatorKeepsCarriageReturns) {
  ScriptedPeer peer([](PeerSocket& socket) {
    socket.Send("a\r\nb||c\r||");
    socket.WaitForClose();
  });
  TcpClient client;
  OpenTo(client, peer.Port());
  EXPECT_EQ(Escaped(client.ReadLine("||")), "a\\r\\nb");
  EXPECT_EQ(Escaped(client.ReadLine("||")), "c\\r");
}

TEST(ReadLineTest, OneByteAtATime) {
  const std::string reply = "230-first\r\n second\r\n230 last\r\n";
  ScriptedPeer peer([&reply](PeerSocket& socket) {
    for (char c : reply) {
      if (!socket.Send(std::string(1, c))) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    socket.WaitForClose();
  });
  TcpClient client;
  OpenTo(client, peer.Port());
  EXPECT_EQ(client.ReadReply({230}), 230);
  EXPECT_EQ(ReplyDump(client), "code 230: [230-first] [second] [230 last]");
}

TEST(SendCommandTest, AcceptedAndRejectedCodes) {
  std::string received;
  ScriptedPeer peer([&received](PeerSocket& socket) {
    received += socket.ReceiveLine();
    socket.Send("331 Password required\r\n");
    received += socket.ReceiveLine();
    socket.Send("530 Login incorrect.\r\n");
    socket.WaitForClose();
  });
  TcpClient client;
  OpenTo(client, peer.Port());
  EXPECT_EQ(client.SendCommand("user root", {230, 331}), 331);
  try {
    client.SendCommand("pass secret", {230, 331});
    FAIL() << "accepted 530";
  } catch (const ProtocolReplyError& e) {
    EXPECT_EQ(e.Code(), 530);
    EXPECT_STREQ(e.what(), "530 Login incorrect.");
    EXPECT_EQ(e.TypeName(), "ProtocolReplyError");
  }
  client.Close();
  peer.Join();
  EXPECT_EQ(Escaped(received), "user root\\r\\npass secret\\r\\n");
}

TEST(SendCommandTest, ByteZeroOnlyReads) {
  std::string received;
  ScriptedPeer peer([&received](PeerSocket& socket) {
    socket.Send("220 hello\r\n");
    received = socket.ReceiveAll();
  });
  TcpClient client;
  OpenTo(client, peer.Port());
  EXPECT_EQ(client.SendCommand(std::string(1, '\0'), -1), 220);
  client.Close();
  peer.Join();
  EXPECT_EQ(received, "");
}

}  // namespace
}  // namespace tivolo::net
