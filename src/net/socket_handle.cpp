#include "net/socket_handle.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "net/net_error.h"
#include "net/socket_stack.h"

namespace tivolo::net {
namespace {

using Clock = std::chrono::steady_clock;

int Fail(int code) {
  SocketStack::SetLastError(code);
  return -1;
}

int FailErrno() {
  return Fail(ErrnoToSocketCode(errno));
}

// What one poll found: which entry was ready (-1: none), and whether a wake pipe fired.
struct PollOutcome {
  SocketHandle::WaitResult result;
  int ready = -1;
};

// Waits on pairs of (socket, wake pipe) descriptors; wait_ms < 0 waits without a limit. A wake
// pipe below 0 is not watched.
PollOutcome WaitOnAll(const int* fds, const int* wakes, const short* events, int count,
                      int wait_ms) {
  constexpr int kMaxPairs = 2;
  const auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms < 0 ? 0 : wait_ms);
  for (;;) {
    pollfd polled[2 * kMaxPairs];
    int n = 0;
    for (int i = 0; i < count && i < kMaxPairs; ++i) {
      polled[n++] = {fds[i], events[i], 0};
      polled[n++] = {wakes[i], POLLIN, 0};  // poll ignores a negative descriptor
    }
    int timeout = -1;
    if (wait_ms >= 0) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      timeout = left > 0 ? static_cast<int>(left) : 0;
    }
    int rc = ::poll(polled, static_cast<nfds_t>(n), timeout);
    if (rc < 0) {
      if (errno == EINTR) continue;
      // poll fails only for resource shortage here; report it as readiness so that the next
      // socket call surfaces the actual error.
      return {SocketHandle::WaitResult::kReady, 0};
    }
    if (rc == 0) {
      if (wait_ms >= 0 && Clock::now() >= deadline) return {SocketHandle::WaitResult::kTimedOut};
      continue;
    }
    for (int i = 0; i < n / 2; ++i) {
      if (polled[2 * i + 1].revents != 0) return {SocketHandle::WaitResult::kWoken, i};
    }
    for (int i = 0; i < n / 2; ++i) {
      if (polled[2 * i].revents != 0) return {SocketHandle::WaitResult::kReady, i};
    }
  }
}

SocketHandle::WaitResult WaitOn(int fd, int wake, short events, int wait_ms) {
  return WaitOnAll(&fd, &wake, &events, 1, wait_ms).result;
}

sockaddr_in MakeAddress(const std::string& ip, int port, bool* valid) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  *valid = port >= 0 && port <= 65535;
  if (ip.empty()) {
    address.sin_addr.s_addr = htonl(INADDR_ANY);
  } else if (IsDottedQuad(ip)) {
    address.sin_addr.s_addr = TextToAddress(ip);
  } else {
    *valid = false;
  }
  return address;
}

}  // namespace

// Marks one call inside the socket, so that a release from another thread waits for the call
// to leave before the descriptor is closed. fd is -1 when no socket is allocated.
class SocketHandle::Use {
 public:
  explicit Use(SocketHandle& handle) : handle_(handle) {
    std::lock_guard lock(handle_.mutex_);
    if (handle_.allocated_.load(std::memory_order_relaxed)) {
      fd = handle_.fd_;
      wake = handle_.wake_read_;
      ++handle_.users_;
    }
  }
  ~Use() {
    if (fd < 0) return;
    std::lock_guard lock(handle_.mutex_);
    if (--handle_.users_ == 0) handle_.idle_.notify_all();
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;

  int fd = -1;
  int wake = -1;

 private:
  SocketHandle& handle_;
};

SocketHandle::~SocketHandle() {
  ReleaseSocket(true);
}

int SocketHandle::Handle() const {
  std::lock_guard lock(mutex_);
  return allocated_.load(std::memory_order_relaxed) ? fd_ : -1;
}

std::string SocketHandle::LocalIP() const {
  std::lock_guard lock(mutex_);
  return local_ip_;
}

std::string SocketHandle::PeerIP() const {
  std::lock_guard lock(mutex_);
  return peer_ip_;
}

int SocketHandle::LocalPort() const {
  std::lock_guard lock(mutex_);
  return local_port_;
}

int SocketHandle::PeerPort() const {
  std::lock_guard lock(mutex_);
  return peer_port_;
}

void SocketHandle::SetLocalIP(const std::string& ip) {
  std::lock_guard lock(mutex_);
  local_ip_ = ip;
}

void SocketHandle::SetLocalPort(int port) {
  std::lock_guard lock(mutex_);
  local_port_ = port;
}

void SocketHandle::SetPeerIP(const std::string& ip) {
  std::lock_guard lock(mutex_);
  peer_ip_ = ip;
}

void SocketHandle::SetPeerPort(int port) {
  std::lock_guard lock(mutex_);
  peer_port_ = port;
}

void SocketHandle::Reset(bool reset_local) {
  // A socket still open would leak; release it first.
  ReleaseSocket(reset_local);
  std::lock_guard lock(mutex_);
  peer_ip_.clear();
  peer_port_ = 0;
  if (reset_local) {
    local_ip_.clear();
    local_port_ = 0;
  }
}

void SocketHandle::OpenSocket(int type, int protocol) {
  ReleaseSocket(true);
  Adopt(SocketStack::Get().CreateSocket(type, protocol));
}

void SocketHandle::Adopt(int fd) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    SocketStack::SetLastError(ErrnoToSocketCode(errno));
    ::close(fd);
    throw InvalidSocket();
  }
  std::lock_guard lock(mutex_);
  receive_timeout_ms_.store(-1, std::memory_order_relaxed);
  fd_ = fd;
  wake_read_ = pipe_fds[0];
  wake_write_ = pipe_fds[1];
  allocated_.store(true, std::memory_order_release);
}

bool SocketHandle::ReleaseSocket(bool reset_local) {
  std::unique_lock lock(mutex_);
  if (!allocated_.load(std::memory_order_relaxed)) return false;
  allocated_.store(false, std::memory_order_release);
  // The peer sees the end of our data. A thread inside the socket wakes up: a wait through
  // the wake pipe, a receive because the receiving direction is shut as well.
  ::shutdown(fd_, users_ > 0 ? SHUT_RDWR : SHUT_WR);
  char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_write_, &byte, 1);
  idle_.wait(lock, [this] { return users_ == 0; });
  CloseNow();
  peer_ip_.clear();
  peer_port_ = 0;
  if (reset_local) {
    local_ip_.clear();
    local_port_ = 0;
  }
  return true;
}

void SocketHandle::CloseNow() {
  ::close(fd_);
  ::close(wake_read_);
  ::close(wake_write_);
  fd_ = wake_read_ = wake_write_ = -1;
}

void SocketHandle::ReadLocalAddress(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
  std::lock_guard lock(mutex_);
  local_ip_ = AddressToText(address.sin_addr.s_addr);
  local_port_ = ntohs(address.sin_port);
}

void SocketHandle::ReadPeerAddress(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
  std::lock_guard lock(mutex_);
  peer_ip_ = AddressToText(address.sin_addr.s_addr);
  peer_port_ = ntohs(address.sin_port);
}

void SocketHandle::BindLocal() {
  Use use(*this);
  if (use.fd < 0) SocketStack::Get().RaiseSocketFailure(kErrBadFile);
  bool valid = false;
  sockaddr_in address = MakeAddress(LocalIP(), LocalPort(), &valid);
  if (!valid) SocketStack::Get().RaiseSocketFailure(kErrAddressNotAvailable);
  if (::bind(use.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    int code = ErrnoToSocketCode(errno);
    SocketStack::SetLastError(code);
    if (code == kErrAddressInUse) throw CouldNotBindSocket();
    SocketStack::Get().RaiseSocketFailure(code);
  }
  ReadLocalAddress(use.fd);
}

int SocketHandle::ConnectPeer(int timeout_ms) {
  Use use(*this);
  if (use.fd < 0) return Fail(kErrShutdown);
  bool valid = false;
  sockaddr_in address = MakeAddress(PeerIP(), PeerPort(), &valid);
  if (!valid || address.sin_addr.s_addr == htonl(INADDR_ANY)) return Fail(kErrAddressNotAvailable);
  if (::connect(use.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) return FailErrno();
    switch (WaitOn(use.fd, use.wake, POLLOUT, timeout_ms)) {
      case WaitResult::kTimedOut:
        return Fail(kErrTimedOut);
      case WaitResult::kWoken:
        return Fail(HandleAllocated() ? kErrInterrupted : kErrShutdown);
      case WaitResult::kReady:
        break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(use.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return FailErrno();
    if (error != 0) return Fail(ErrnoToSocketCode(error));
  }
  // Connected: receives block (bounded by their time-out); sends stay non-blocking per call.
  int flags = ::fcntl(use.fd, F_GETFL);
  if (flags >= 0) ::fcntl(use.fd, F_SETFL, flags & ~O_NONBLOCK);
  ReadLocalAddress(use.fd);
  ReadPeerAddress(use.fd);
  return 0;
}

void SocketHandle::StartListening(int backlog) {
  Use use(*this);
  if (use.fd < 0) SocketStack::Get().RaiseSocketFailure(kErrBadFile);
  if (::listen(use.fd, backlog) != 0) {
    FailErrno();
    SocketStack::Get().RaiseSocketFailure(SocketStack::LastError());
  }
}

void SocketHandle::AcceptPending(SocketHandle& listening) {
  int fd = -1;
  {
    Use use(listening);
    if (use.fd < 0) SocketStack::Get().RaiseSocketFailure(kErrBadFile);
    do {
      fd = ::accept4(use.fd, nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      FailErrno();
      SocketStack::Get().RaiseSocketFailure(SocketStack::LastError());
    }
  }
  ReleaseSocket(true);
  Adopt(fd);
  ReadLocalAddress(fd);
  ReadPeerAddress(fd);
}

SocketHandle::WaitResult SocketHandle::Wait(short events, int wait_ms) {
  Use use(*this);
  if (use.fd < 0) return WaitResult::kWoken;
  return WaitOn(use.fd, use.wake, events, wait_ms);
}

SocketHandle::WaitResult SocketHandle::WaitWith(short events, SocketHandle& other,
                                                short other_events, int wait_ms,
                                                bool* other_ready) {
  *other_ready = false;
  Use use(*this);
  Use other_use(other);
  if (use.fd < 0 || other_use.fd < 0) {
    *other_ready = use.fd >= 0;
    return WaitResult::kWoken;
  }
  const int fds[] = {use.fd, other_use.fd};
  const int wakes[] = {use.wake, other_use.wake};
  const short polled[] = {events, other_events};
  PollOutcome outcome = WaitOnAll(fds, wakes, polled, 2, wait_ms);
  *other_ready = outcome.ready == 1;
  return outcome.result;
}

bool SocketHandle::WaitReadable(int wait_ms) {
  if (!HandleAllocated()) throw ConnClosedGracefully();
  switch (Wait(POLLIN, wait_ms)) {
    case WaitResult::kReady:
      return true;
    case WaitResult::kTimedOut:
      return false;
    case WaitResult::kWoken:
      if (!HandleAllocated()) return true;  // released: the receive that follows gives 0
      DrainWake();
      return false;
  }
  return false;
}

void SocketHandle::Wake() {
  std::lock_guard lock(mutex_);
  if (wake_write_ < 0) return;
  char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_write_, &byte, 1);
}

void SocketHandle::DrainWake() {
  std::lock_guard lock(mutex_);
  if (wake_read_ < 0 || !allocated_.load(std::memory_order_relaxed)) return;
  char bytes[64];
  while (::read(wake_read_, bytes, sizeof bytes) > 0) {
  }
}

int SocketHandle::ReceiveInto(void* buffer, int length) {
  Use use(*this);
  if (use.fd < 0) return 0;
  for (;;) {
    ssize_t n = ::recv(use.fd, buffer, static_cast<size_t>(length), 0);
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) return FailErrno();
  }
}

int SocketHandle::Peek(void* buffer, int length) {
  Use use(*this);
  if (use.fd < 0) return 0;
  for (;;) {
    ssize_t n = ::recv(use.fd, buffer, static_cast<size_t>(length), MSG_PEEK | MSG_DONTWAIT);
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) return FailErrno();
  }
}

int SocketHandle::ReceiveWithin(void* buffer, int length, int wait_ms) {
  Use use(*this);
  if (use.fd < 0) return 0;
  const size_t size = static_cast<size_t>(length);
  if (wait_ms == 0) {
    for (;;) {
      ssize_t n = ::recv(use.fd, buffer, size, MSG_DONTWAIT);
      if (n >= 0) return static_cast<int>(n);
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return Fail(kErrTimedOut);
      return FailErrno();
    }
  }
  // A blocking receive with the bound as the socket's receive time-out: one system call per
  // chunk, streaming or not. A release from another thread shuts the receiving direction,
  // which ends the receive with 0.
  if (receive_timeout_ms_.load(std::memory_order_relaxed) != wait_ms) {
    timeval tv{};
    if (wait_ms > 0) {
      tv.tv_sec = wait_ms / 1000;
      tv.tv_usec = (wait_ms % 1000) * 1000;
    }
    if (::setsockopt(use.fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return FailErrno();
    receive_timeout_ms_.store(wait_ms, std::memory_order_relaxed);
  }
  for (;;) {
    ssize_t n = ::recv(use.fd, buffer, size, 0);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Fail(kErrTimedOut);
    return FailErrno();
  }
}

int SocketHandle::SendFrom(const void* buffer, int length, int wait_ms) {
  Use use(*this);
  if (use.fd < 0) return Fail(kErrShutdown);
  const auto start = Clock::now();
  for (;;) {
    ssize_t n = ::send(use.fd, buffer, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return FailErrno();
    int left = wait_ms;
    if (wait_ms >= 0) {
      auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
      left = spent.count() >= wait_ms ? 0 : wait_ms - static_cast<int>(spent.count());
    }
    switch (WaitOn(use.fd, use.wake, POLLOUT, left)) {
      case WaitResult::kTimedOut:
        return Fail(kErrTimedOut);
      case WaitResult::kWoken:
        return Fail(HandleAllocated() ? kErrInterrupted : kErrShutdown);
      case WaitResult::kReady:
        break;
    }
  }
}

}  // namespace tivolo::net
