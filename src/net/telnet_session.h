// A telnet connection driven by its caller, without a reader thread: each Receive waits a
// bounded time for what the box sends, answers the option negotiations in it and gives back
// the text. Made for a short scripted dialogue on a thread that may block, such as the
// restart of the receiver after a save.
#pragma once

#include <chrono>
#include <string>

#include "net/net_error.h"
#include "net/tcp_client.h"
#include "net/telnet_parser.h"

namespace tivolo::net {

class TelnetError : public NetError {
 public:
  using NetError::NetError;
  std::string TypeName() const override { return "TelnetError"; }
};

class TelnetConnectError : public TelnetError {
 public:
  TelnetConnectError() : TelnetError("server not responding") {}
  std::string TypeName() const override { return "TelnetConnectError"; }
};

class TelnetSession : public TcpClient {
 public:
  static constexpr int kDefaultPort = 23;

  TelnetSession();

  // Connects within the connect bound; a SocketError becomes TelnetConnectError "server not
  // responding".
  void Open() override;

  // Waits up to `wait` for data and returns its text with the telnet commands removed and
  // answered. Empty when nothing arrived in time, when only commands arrived, or when the box
  // has closed the connection (then Closed() is true).
  std::string Receive(std::chrono::milliseconds wait);
  // The box closed the connection, or it was never open.
  bool Closed();

 private:
  TelnetCommandParser parser_;
  std::string terminal_ = "dumb";
};

}  // namespace tivolo::net
