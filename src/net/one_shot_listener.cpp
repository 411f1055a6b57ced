#include "net/one_shot_listener.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <climits>

#include "net/net_error.h"
#include "net/socket_stack.h"

namespace tivolo::net {

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
  using Clock = std::chrono::steady_clock;
  if (!listening_) PrepareListen();
  bool accepted = false;
  try {
    const auto bound = bounds_.accept;
    const auto deadline = Clock::now() + bound;
    while (!abort_.load(std::memory_order_acquire)) {
      WaitBound wait = kNoLimit;
      if (bound.count() > 0) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        wait = std::max(left, std::chrono::milliseconds(0));
      }
      auto result = listen_socket_.Wait(POLLIN, wait);
      if (result == SocketHandle::WaitResult::kReady) {
        socket_.AcceptPending(listen_socket_);
        accepted = true;
        break;
      }
      if (result == SocketHandle::WaitResult::kTimedOut) {
        SocketStack::SetLastError(kErrTimedOut);
        SocketStack::Get().RaiseSocketFailure(kErrTimedOut);
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
  return accepted;
}

void OneShotListener::StopWaiting() {
  abort_.store(true, std::memory_order_release);
  listen_socket_.Wake();
}

}  // namespace tivolo::net
