// The TCP client: connects to Host:Port with status reports nsResolving (names only),
// nsConnecting and nsConnected; a failed connect closes the socket again before it raises.
#pragma once

#include <string>

#include "net/tcp_connection.h"

namespace tivolo::net {

class TcpClient : public TcpConnection {
 public:
  TcpClient() = default;

  const std::string& BoundIP() const { return bound_ip_; }
  void SetBoundIP(const std::string& ip) { bound_ip_ = ip; }
  const std::string& Host() const { return host_; }
  void SetHost(const std::string& host) { host_ = host; }
  int Port() const { return port_; }
  void SetPort(int port) { port_ = port; }

  void SetOnConnected(NotifyEvent handler) { on_connected_ = std::move(handler); }

  // AlreadyConnected when the socket is open; otherwise connects within the connect bound.
  // Failures: InvalidSocket, CouldNotBindSocket, SocketError (11001 lookup, 10061 refused,
  // 10060 timed out, ...), always with the socket closed again.
  virtual void Open();

 protected:
  virtual void NotifyConnected();

 private:
  std::string bound_ip_;
  std::string host_;
  int port_ = 0;
  NotifyEvent on_connected_;
};

}  // namespace tivolo::net
