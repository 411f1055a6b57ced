// A connection that waits for exactly one incoming TCP connection (the FTP data connection):
// listen, accept one peer into the inherited socket, close the listening socket. With an
// expected peer address, a connection from any other address is closed and the wait goes on:
// on an FTP data port anyone may connect before the server does.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "net/tcp_connection.h"

namespace tivolo::net {

class OneShotListener : public TcpConnection {
 public:
  OneShotListener() = default;
  ~OneShotListener() override;

  const std::string& BoundIP() const { return bound_ip_; }
  void SetBoundIP(const std::string& ip) { bound_ip_ = ip; }
  int BoundPort() const { return bound_port_; }
  void SetBoundPort(int port) { bound_port_ = port; }

  // The listening socket's address after PrepareListen (the port the system chose).
  std::string ListeningIP() const { return listen_socket_.LocalIP(); }
  int ListeningPort() const { return listen_socket_.LocalPort(); }
  bool Listening() const { return listening_; }

  // Only a peer from this address is accepted; empty: any.
  void SetExpectedPeerIP(const std::string& ip) { expected_peer_ip_ = ip; }
  // Called with the address of every peer closed for coming from elsewhere.
  void SetOnPeerRefused(std::function<void(const std::string& ip)> handler) {
    on_peer_refused_ = std::move(handler);
  }

  // Another socket watched while waiting for the peer: when it turns readable (or is closed)
  // event decides: true ends the wait with kWatchEvent, false stops watching it.
  struct Watch {
    SocketHandle* socket = nullptr;
    std::function<bool()> event;
  };
  enum class PeerWait { kAccepted, kStopped, kWatchEvent };

  // Resets the link, binds a listening socket to BoundIP:BoundPort unless one exists, listens
  // with a backlog of 1.
  void PrepareListen();
  // Waits up to the accept bound for one peer (SocketError 10060 after it), accepts it and
  // closes the listening socket. False when StopWaiting ended the wait.
  bool WaitForPeer();
  // The same, also ending on the watch's event; the listening socket is closed in every case.
  PeerWait WaitForPeer(const Watch& watch);
  // Ends a WaitForPeer in another thread (or the next one on this listening socket).
  void StopWaiting();

  void ResetLink() override;

 protected:
  virtual void BindListener();

 private:
  // Milliseconds left until deadline for a handle wait; no limit without a bound.
  WaitBound WaitLeft(std::chrono::steady_clock::time_point deadline) const;
  // Accepts the pending connection; false (closed, reported) when it came from elsewhere.
  bool AcceptExpected();

  std::string bound_ip_;
  std::string expected_peer_ip_;
  std::function<void(const std::string&)> on_peer_refused_;
  int bound_port_ = 0;
  SocketHandle listen_socket_;
  std::atomic<bool> abort_{false};
  bool listening_ = false;
};

}  // namespace tivolo::net
