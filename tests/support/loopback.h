// Sockets on the loopback interface for the tests' own peers and servers: a listener at a
// port the system picks, and a connect to a port there. Plain descriptors, closed by the
// caller.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace tivolo::testing {

// A socket listening on 127.0.0.1 at a free port, which goes to `port`. Throws
// std::runtime_error when there is none.
inline int ListenOnLoopback(int& port, int backlog = 4) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port = ntohs(address.sin_port);
  return fd;
}

struct ConnectOptions {
  std::string to_ip = "127.0.0.1";
  std::string from_ip{};  // the local address to connect from; empty: any
  // False: the socket does not block and the connect is only started.
  bool wait = true;
};

// A socket connected to to_ip:port; -1 when the connect (or the bind to from_ip) failed.
inline int ConnectOnLoopback(int port, const ConnectOptions& options = {}) {
  const int fd =
      ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (options.wait ? 0 : SOCK_NONBLOCK), 0);
  if (fd < 0) return -1;
  auto address = [](const std::string& ip, int port_number, sockaddr_in& out) {
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_port = htons(static_cast<uint16_t>(port_number));
    return ::inet_pton(AF_INET, ip.c_str(), &out.sin_addr) == 1;
  };
  sockaddr_in from{};
  sockaddr_in to{};
  bool ok = address(options.to_ip, port, to);
  if (ok && !options.from_ip.empty()) {
    ok = address(options.from_ip, 0, from) &&
         ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0;
  }
  if (ok && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    ok = !options.wait && errno == EINPROGRESS;
  }
  if (!ok) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// True when something on 127.0.0.1 accepts a connection at port.
inline bool LoopbackPortAccepts(int port) {
  const int fd = ConnectOnLoopback(port);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace tivolo::testing
