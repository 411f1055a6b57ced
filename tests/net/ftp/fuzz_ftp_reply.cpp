// Fuzzes the reading of server replies as the control connection really does it: the input is
// sent by a peer on a loopback connection, which then closes, and ReadReply runs until the
// close. Also the pure readers of server text (passive reply, listing).
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/ftp_protocol.h"
#include "net/net_error.h"
#include "net/tcp_client.h"
#include "support/loopback.h"

using namespace tivolo::net;

namespace {

// Well below the loopback socket buffers, so the peer's send never waits for our reads.
constexpr std::size_t kMaxInput = 64 * 1024;

void ReadAllReplies(std::string_view bytes) {
  static int port = 0;
  static const int listen_fd = tivolo::testing::ListenOnLoopback(port);

  TcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(port);
  client.SetIdleTimeout(std::chrono::milliseconds(2000));
  client.Open();
  int peer = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
  if (peer < 0) std::abort();
  if (::send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
    std::abort();
  ::close(peer);

  std::size_t replies = 0;
  try {
    for (;;) {
      int code = client.ReadReply();
      const auto& lines = client.ReplyLines();
      if (lines.empty() || code != ReplyCodeOf(lines.back())) std::abort();
      for (const auto& line : lines) {
        if (line.empty() || line.find('\n') != std::string::npos) std::abort();
      }
      // Every reply takes at least one line end from the input.
      if (++replies > bytes.size()) std::abort();
    }
  } catch (const ConnClosedGracefully&) {
  } catch (const TcpConnectionError&) {
    // A line or reply over the bound; the input is capped well below it.
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  std::string_view stream(reinterpret_cast<const char*>(data), size);
  ReadAllReplies(stream);

  if (auto address = ParsePassiveReply(stream)) {
    if (address->port < 1 || address->port > 65535) std::abort();
    if (address->ip.size() < 7 || address->ip.size() > 15) std::abort();
  }
  std::size_t total = 0;
  for (const auto& line : SplitListing(stream))
    total += line.size();
  if (total > stream.size()) std::abort();
  return 0;
}
