#include "net/one_shot_listener.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <climits>

#include "net/net_error.h"
#include "net/socket_stack.h"

namespace tivolo::net {

using Clock = std::chrono::steady_clock;

OneShotListener::~OneShotListener() {
  listen_socket_.ReleaseSocket(true);
}

void OneShotListener::ResetLink() {
  TcpConnection::ResetLink();
  abort_.store(false, std::memory_order_release);
  listening_ = false;
}

void OneShotListener::PrepareListen() {
  ResetLink();
  if (!listen_socket_.HandleAllocated()) BindListener();
  listen_socket_.StartListening(1);
  listening_ = true;
}

void OneShotListener::BindListener() {
  listen_socket_.OpenSocket(SOCK_STREAM, 0);
  try {
    listen_socket_.SetLocalIP(bound_ip_);
    listen_socket_.SetLocalPort(bound_port_);
    listen_socket_.BindLocal();
  } catch (...) {
    listen_socket_.ReleaseSocket(true);
    throw;
  }
}

bool OneShotListener::WaitForPeer() {
  return WaitForPeer(Watch{}) == PeerWait::kAccepted;
}

int OneShotListener::WaitLeft(std::chrono::steady_clock::time_point deadline) const {
  if (bounds_.accept.count() <= 0) return kWaitForever;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(std::min<decltype(left)>(left, INT_MAX)) : 0;
}

bool OneShotListener::AcceptExpected() {
  socket_.AcceptPending(listen_socket_);
  if (expected_peer_ip_.empty()) return true;
  std::string peer = socket_.PeerIP();
  if (peer == expected_peer_ip_) return true;
  socket_.ReleaseSocket(false);
  if (on_peer_refused_) on_peer_refused_(peer);
  return false;
}

OneShotListener::PeerWait OneShotListener::WaitForPeer(const Watch& watch) {
  if (!listening_) PrepareListen();
  PeerWait outcome = PeerWait::kStopped;
  SocketHandle* watched = watch.event ? watch.socket : nullptr;
  try {
    const auto deadline = Clock::now() + bounds_.accept;
    while (!abort_.load(std::memory_order_acquire)) {
      bool watched_ready = false;
      const int wait = WaitLeft(deadline);
      auto result = watched
                        ? listen_socket_.WaitWith(POLLIN, *watched, POLLIN, wait, &watched_ready)
                        : listen_socket_.Wait(POLLIN, wait);
      if (result == SocketHandle::WaitResult::kTimedOut) {
        SocketStack::SetLastError(kErrTimedOut);
        SocketStack::Get().RaiseSocketFailure(kErrTimedOut);
      }
      if (watched_ready) {
        if (result == SocketHandle::WaitResult::kWoken && watched->HandleAllocated()) {
          watched->DrainWake();  // woken, not closed: nothing to look at
          continue;
        }
        // Readable or closed: the event tells whether that ends the wait.
        if (watch.event()) {
          outcome = PeerWait::kWatchEvent;
          break;
        }
        watched = nullptr;
        continue;
      }
      if (result == SocketHandle::WaitResult::kReady) {
        if (AcceptExpected()) {
          outcome = PeerWait::kAccepted;
          break;
        }
        continue;
      }
      if (!listen_socket_.HandleAllocated()) break;
      listen_socket_.DrainWake();  // a wake-up without StopWaiting: wait on
    }
  } catch (...) {
    listen_socket_.ReleaseSocket(true);
    listening_ = false;
    throw;
  }
  listen_socket_.ReleaseSocket(true);
  listening_ = false;
  return outcome;
}

void OneShotListener::StopWaiting() {
  abort_.store(true, std::memory_order_release);
  listen_socket_.Wake();
}

}  // namespace tivolo::net
