// The socket stack's pure parts, the stack's lifetime, the byte buffer and memory stream.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <new>
#include <random>
#include <string>

#include "net/byte_buffer.h"
#include "net/net_error.h"
#include "net/socket_handle.h"
#include "net/socket_stack.h"
#include "net/stream.h"
#include "net/tcp_connection.h"

namespace tivolo::net {
namespace {

struct DottedQuadCase {
  const char* text;
  bool expected;
};

class DottedQuadTest : public ::testing::TestWithParam<DottedQuadCase> {};

TEST_P(DottedQuadTest, Classifies) {
  EXPECT_EQ(IsDottedQuad(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DottedQuadTest,
    ::testing::Values(DottedQuadCase{"192.168.0.10", true}, DottedQuadCase{"0.0.0.0", true},
                      DottedQuadCase{"255.255.255.255", true}, DottedQuadCase{"192.168.0", false},
                      DottedQuadCase{"256.1.1.1", false}, DottedQuadCase{"a.b.c.d", false},
                      DottedQuadCase{"1.2.3.4.5", false}, DottedQuadCase{"1..3.4", false},
                      DottedQuadCase{"-0.1.2.3", false}, DottedQuadCase{"1.2.3.4 ", false},
                      DottedQuadCase{"", false}));

TEST(SocketErrorTextTest, KnownAndUnknownCodes) {
  EXPECT_EQ(SocketErrorText(10061), "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(SocketErrorText(11001), "Socket Error # 11001\r\n");
  EXPECT_EQ(SocketErrorText(10035), "Socket Error # 10035\r\nOperation would block. ");
  EXPECT_EQ(SocketErrorText(10066), "Socket Error # 10066\r\nDirectory not empty");
}

TEST(SocketErrorTextTest, PosixErrorsKeepTheUserVisibleNumbers) {
  std::string dump;
  for (int err : {ECONNREFUSED, ETIMEDOUT, ECONNRESET, EHOSTUNREACH, ENETUNREACH, EADDRINUSE,
                  EADDRNOTAVAIL, EPIPE, ESHUTDOWN}) {
    dump += std::to_string(ErrnoToSocketCode(err)) + " ";
  }
  EXPECT_EQ(dump, "10061 10060 10054 10065 10051 10048 10049 10058 10058 ");
}

TEST(SocketStackTest, HostToAddress) {
  SocketStack& stack = SocketStack::Get();
  EXPECT_EQ(stack.HostToAddress("localhost"), "127.0.0.1");
  EXPECT_EQ(stack.HostToAddress("LocalHost"), "127.0.0.1");
  EXPECT_EQ(stack.HostToAddress("10.1.2.3"), "10.1.2.3");  // no lookup, nothing sent
  // A label longer than 63 characters fails inside the resolver, before any query is sent.
  const std::string bad = std::string(70, 'x') + ".invalid";
  try {
    stack.HostToAddress(bad);
    FAIL() << "resolved";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.Code(), 11001);
    EXPECT_STREQ(e.what(), "Socket Error # 11001\r\n");
    EXPECT_EQ(e.TypeName(), "SocketError");
  }
}

TEST(SocketStackTest, CheckSocketResultTolerates) {
  SocketStack& stack = SocketStack::Get();
  EXPECT_FALSE(stack.CheckSocketResult(0));
  SocketStack::SetLastError(10035);
  EXPECT_TRUE(stack.CheckSocketResult(-1, {10035}));
  EXPECT_THROW(stack.CheckSocketResult(-1, {10054}), SocketError);
}

TEST(SocketStackTest, LivesWhileComponentsExist) {
  ASSERT_EQ(SocketStack::Instance(), nullptr);
  {
    TcpConnection first;
    SocketStack* stack = SocketStack::Instance();
    ASSERT_NE(stack, nullptr);
    {
      TcpConnection second;
      EXPECT_EQ(SocketStack::UserCount(), 2);
      EXPECT_EQ(SocketStack::Instance(), stack);
    }
    EXPECT_EQ(SocketStack::UserCount(), 1);
    EXPECT_EQ(SocketStack::Instance(), stack);
  }
  EXPECT_EQ(SocketStack::Instance(), nullptr);
  EXPECT_EQ(SocketStack::UserCount(), 0);
}

TEST(SocketHandleTest, WaitWithoutSocket) {
  SocketHandle handle;
  EXPECT_THROW(handle.WaitReadable(std::chrono::milliseconds(0)), ConnClosedGracefully);
  handle.OpenSocket(SOCK_STREAM, 0);
  handle.SetLocalIP("127.0.0.1");
  handle.BindLocal();
  handle.StartListening(1);  // nobody connects: never readable
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(handle.WaitReadable(std::chrono::milliseconds(0)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_TRUE(handle.ReleaseSocket(true));
  EXPECT_FALSE(handle.ReleaseSocket(true));
  EXPECT_EQ(handle.Handle(), -1);
}

TEST(ExceptionTest, TypeNamesAndTexts) {
  std::string dump;
  auto add = [&dump](const NetError& e) { dump += e.TypeName() + ": " + e.what() + "\n"; };
  add(ConnClosedGracefully());
  add(InvalidSocket());
  add(CouldNotBindSocket());
  add(AlreadyConnected());
  add(NotEnoughDataInBuffer());
  add(NoDataToRead());
  add(ProtocolReplyError(530, "530 Login incorrect."));
  EXPECT_EQ(dump,
            "ConnClosedGracefully: Connection Closed Gracefully.\n"
            "InvalidSocket: Cannot allocate socket.\n"
            "CouldNotBindSocket: Could not bind socket. Address and port are already in use.\n"
            "AlreadyConnected: Already connected.\n"
            "NotEnoughDataInBuffer: Not enough data in buffer.\n"
            "NoDataToRead: No data to read.\n"
            "ProtocolReplyError: 530 Login incorrect.\n");
  // The windows name any error through the shared root, whatever layer raised it.
  EXPECT_EQ(platform::TypeNameOf(SocketError(10061, "refused")), "SocketError");
  EXPECT_EQ(platform::TypeNameOf(std::bad_alloc()), "Exception");
}

TEST(ByteBufferTest, DropAndTake) {
  ByteBuffer buffer;
  buffer.Append("hello world");
  EXPECT_EQ(buffer.Take(6), "hello ");
  EXPECT_THROW(buffer.Drop(6), NotEnoughDataInBuffer);
  EXPECT_EQ(buffer.View(), "world");
  buffer.Drop(5);
  EXPECT_TRUE(buffer.Empty());
}

// Random appends, drops and searches against a plain string.
TEST(ByteBufferTest, MatchesStringModel) {
  std::mt19937 random(12345);
  ByteBuffer buffer;
  std::string model;
  for (int step = 0; step < 20000; ++step) {
    int action = static_cast<int>(random() % 3);
    if (action == 0) {
      std::string piece(random() % 100, 'a');
      for (char& c : piece)
        c = static_cast<char>('a' + random() % 4);
      buffer.Append(piece);
      model += piece;
    } else if (action == 1) {
      size_t n = model.empty() ? 0 : random() % (model.size() + 1);
      buffer.Drop(n);
      model.erase(0, n);
    } else {
      std::string needle = "ab";
      size_t from = model.empty() ? 0 : random() % model.size();
      ASSERT_EQ(buffer.Find(needle, from), model.find(needle, from));
    }
    ASSERT_EQ(buffer.View(), model) << "step " << step;
  }
}

TEST(MemoryStreamTest, WriteSeekCut) {
  MemoryStream stream("0123456789");
  stream.Seek(3);
  stream.Write("ab", 2);
  EXPECT_EQ(stream.Position(), 5);
  stream.SetSize(stream.Position());
  EXPECT_EQ(stream.Data(), "012ab");
  stream.Seek(0);
  char buffer[8];
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 5u);
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0u);
}

}  // namespace
}  // namespace tivolo::net
