// A connection that waits for exactly one incoming TCP connection (the FTP data connection):
// listen, accept one peer into the inherited socket, close the listening socket.
#pragma once

#include <atomic>
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

  // Resets the link, binds a listening socket to BoundIP:BoundPort unless one exists, listens
  // with a backlog of 1.
  void PrepareListen();
  // Waits up to the accept bound for one peer (SocketError 10060 after it), accepts it and
  // closes the listening socket. False when StopWaiting ended the wait.
  bool WaitForPeer();
  // Ends a WaitForPeer in another thread (or the next one on this listening socket).
  void StopWaiting();

  void ResetLink() override;

 protected:
  virtual void BindListener();

 private:
  std::string bound_ip_;
  int bound_port_ = 0;
  SocketHandle listen_socket_;
  std::atomic<bool> abort_{false};
  bool listening_ = false;
};

}  // namespace tivolo::net
