// One socket with its local and peer address. All calls block the calling thread; every wait
// also ends when another thread releases the socket (ReleaseSocket) or calls Wake, so a thread
// waiting without a limit can always be woken. The descriptor is closed only once no call is
// inside it any more, so a descriptor number is never reused under a waiting thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

namespace tivolo::net {

// A wait of this many milliseconds has no limit.
inline constexpr int kWaitForever = -2;

class SocketHandle {
 public:
  enum class WaitResult { kReady, kTimedOut, kWoken };

  SocketHandle() = default;
  // Closes an open socket (shutting down the sending direction first).
  ~SocketHandle();
  SocketHandle(const SocketHandle&) = delete;
  SocketHandle& operator=(const SocketHandle&) = delete;

  int Handle() const;  // the descriptor, -1 when none is open
  bool HandleAllocated() const { return allocated_.load(std::memory_order_acquire); }

  // Address fields; copies, safe to read from any thread.
  std::string LocalIP() const;
  std::string PeerIP() const;
  int LocalPort() const;
  int PeerPort() const;
  void SetLocalIP(const std::string& ip);
  void SetLocalPort(int port);
  void SetPeerIP(const std::string& ip);
  void SetPeerPort(int port);

  // Clears allocation and the peer side; the local side too when asked.
  void Reset(bool reset_local);

  // Releases any open socket (local side reset) and creates a new one.
  void OpenSocket(int type, int protocol);
  // When allocated: shuts down sending, wakes every waiting thread, closes the socket once no
  // call is inside it, and resets the handle. Safe from any thread; only the first of
  // concurrent callers does the work, and it returns true.
  bool ReleaseSocket(bool reset_local);

  // Binds to the local IP (empty = any) and port (0 = any) and reads both back. Address in
  // use raises CouldNotBindSocket, other failures SocketError.
  void BindLocal();
  // Connects to the peer IP and port within timeout_ms (kWaitForever: no limit). Returns 0,
  // or -1 with the stack's last error set (10060 when the time ran out).
  int ConnectPeer(int timeout_ms);
  void StartListening(int backlog);
  // Accepts one pending connection of the listening handle into this one; SocketError when
  // none can be accepted.
  void AcceptPending(SocketHandle& listening);

  // Raises ConnClosedGracefully when no socket is allocated. True when readable (data, the
  // peer's close, a pending connection) or when the socket was released meanwhile.
  bool WaitReadable(int wait_ms);
  // Readiness for the given poll events, telling a Wake apart from readiness and time-out.
  WaitResult Wait(short events, int wait_ms);
  // Waits on this handle (events) and other (other_events) in one poll. kReady tells which
  // through *other_ready; kWoken when either was woken or released.
  WaitResult WaitWith(short events, SocketHandle& other, short other_events, int wait_ms,
                      bool* other_ready);
  // Ends the current or the next wait on this handle with kWoken (until DrainWake).
  void Wake();
  void DrainWake();

  // One receive: bytes, 0 at the peer's close (and once released), -1 with the last error.
  int ReceiveInto(void* buffer, int length);
  // Looks at what is there without taking it or waiting: bytes, 0 at the peer's close or when
  // no socket is allocated, -1 with the last error (10035 when nothing is there yet).
  int Peek(void* buffer, int length);
  // Receives what is there or waits up to wait_ms (kWaitForever: no limit) for it; -1 with
  // last error 10060 when the wait ran out, 0 at the peer's close or when released meanwhile.
  int ReceiveWithin(void* buffer, int length, int wait_ms);
  // Sends what the socket takes, waiting up to wait_ms for room; never raises SIGPIPE.
  // Returns bytes sent or -1 with the last error (10058 after a close, 10060 on time-out).
  int SendFrom(const void* buffer, int length, int wait_ms = kWaitForever);

 private:
  class Use;
  void ReadLocalAddress(int fd);
  void ReadPeerAddress(int fd);
  void Adopt(int fd);
  void CloseNow();  // mutex_ held, users_ == 0

  mutable std::mutex mutex_;
  std::condition_variable idle_;
  std::atomic<bool> allocated_{false};
  int fd_ = -1;
  int wake_read_ = -1;
  int wake_write_ = -1;
  int users_ = 0;
  std::atomic<int> receive_timeout_ms_{-1};  // the socket's receive time-out as last set
  std::string local_ip_;
  std::string peer_ip_;
  int local_port_ = 0;
  int peer_port_ = 0;
};

}  // namespace tivolo::net
