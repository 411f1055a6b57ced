// Scripted peers for the connection tests: real sockets on 127.0.0.1, ports chosen at run
// time, each peer running its script on a thread of its own. Every wait of a peer is bounded,
// so a failing test ends instead of hanging.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "support/loopback.h"

namespace tivolo::net::testing {

// Below the test's own deadline, so that a peer gives up first and the test reports why.
inline constexpr int kPeerWaitMs = 5000;

// One connected socket of a peer.
class PeerSocket {
 public:
  explicit PeerSocket(int fd) : fd_(fd) {
    timeval tv{kPeerWaitMs / 1000, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  }
  ~PeerSocket() { Close(); }
  PeerSocket(const PeerSocket&) = delete;
  PeerSocket& operator=(const PeerSocket&) = delete;

  int Fd() const { return fd_; }

  // False once the other side has gone away (or the send timed out).
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

  // Bytes up to and including the next LF; what there is when the other side closes.
  std::string ReceiveLine() {
    std::string line;
    char c;
    while (::recv(fd_, &c, 1, 0) == 1) {
      line += c;
      if (c == '\n') break;
    }
    return line;
  }

  // Everything until the other side closes (or the wait bound).
  std::string ReceiveAll() {
    std::string all;
    char buffer[65536];
    ssize_t n;
    while ((n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0)
      all.append(buffer, static_cast<size_t>(n));
    return all;
  }

  // True when the other side closed within the wait.
  bool WaitForClose(int wait_ms = kPeerWaitMs) {
    pollfd p{fd_, POLLIN, 0};
    while (::poll(&p, 1, wait_ms) == 1) {
      char c;
      ssize_t n = ::recv(fd_, &c, 1, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return true;
    }
    return false;
  }

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// A listening socket on 127.0.0.1 that accepts one connection and runs the script on it.
class ScriptedPeer {
 public:
  using Script = std::function<void(PeerSocket&)>;

  explicit ScriptedPeer(Script script) {
    listen_fd_ = tivolo::testing::ListenOnLoopback(port_);
    thread_ = std::thread([this, script = std::move(script)] {
      pollfd p{listen_fd_, POLLIN, 0};
      if (::poll(&p, 1, kPeerWaitMs) != 1) return;
      int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) return;
      PeerSocket socket(fd);
      script(socket);
    });
  }
  ~ScriptedPeer() {
    Join();
    ::close(listen_fd_);
  }
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  int Port() const { return port_; }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  int listen_fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// Connects to 127.0.0.1:port; -1 when refused.
inline int ConnectTo(int port, const char* from_ip = nullptr) {
  return tivolo::testing::ConnectOnLoopback(port, {.from_ip = from_ip ? from_ip : ""});
}

// A port on 127.0.0.1 where nothing listens (bound once, then released).
inline int UnusedPort() {
  int port = 0;
  ::close(tivolo::testing::ListenOnLoopback(port));
  return port;
}

}  // namespace tivolo::net::testing

#include "net/tcp_client.h"

namespace tivolo::net::testing {

// Collects the status texts of a component, one a line.
struct StatusLog {
  std::string text;
  void Attach(NetComponent& component) {
    component.SetOnStatus(
        [this](NetComponent&, NetStatus, const std::string& status) { text += status + "\n"; });
  }
};

// Makes bytes readable in a failure message.
inline std::string Escaped(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

inline void OpenTo(TcpClient& client, int port) {
  client.SetHost("127.0.0.1");
  client.SetPort(port);
  client.Open();
}

// A port on 127.0.0.1 whose listener queue is full: a connection request to it is dropped
// unanswered, so a connect waits for its bound.
class UnansweredPort {
 public:
  UnansweredPort() {
    listener_ = tivolo::testing::ListenOnLoopback(port_, 0);
    for (int& fd : queued_)
      fd = tivolo::testing::ConnectOnLoopback(port_, {.wait = false});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~UnansweredPort() {
    for (int fd : queued_)
      ::close(fd);
    ::close(listener_);
  }
  UnansweredPort(const UnansweredPort&) = delete;
  UnansweredPort& operator=(const UnansweredPort&) = delete;
  int Port() const { return port_; }

 private:
  int listener_ = -1;
  int queued_[3] = {-1, -1, -1};
  int port_ = 0;
};

}  // namespace tivolo::net::testing
