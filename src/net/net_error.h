// Exceptions of the network clients. Every class names itself through TypeName(), which the
// program shows to the user next to the message.
#pragma once

#include <string>
#include "platform/error.h"

namespace tivolo::net {

class NetError : public platform::Error {
 public:
  explicit NetError(const std::string& message) : platform::Error(message) {}
  std::string TypeName() const override { return "NetError"; }
};

// Conditions that end an exchange in an expected way (the peer closed).
class SilentError : public NetError {
 public:
  using NetError::NetError;
  std::string TypeName() const override { return "SilentError"; }
};

class ConnClosedGracefully : public SilentError {
 public:
  ConnClosedGracefully() : SilentError("Connection Closed Gracefully.") {}
  std::string TypeName() const override { return "ConnClosedGracefully"; }
};

// A failed socket call; Code() is the error number that the message shows (10061 and so on).
class SocketError : public NetError {
 public:
  SocketError(int code, const std::string& message) : NetError(message), code_(code) {}
  int Code() const { return code_; }
  std::string TypeName() const override { return "SocketError"; }

 private:
  int code_;
};

class InvalidSocket : public NetError {
 public:
  InvalidSocket() : NetError("Cannot allocate socket.") {}
  std::string TypeName() const override { return "InvalidSocket"; }
};

class SocketHandleError : public NetError {
 public:
  using NetError::NetError;
  std::string TypeName() const override { return "SocketHandleError"; }
};

class CouldNotBindSocket : public SocketHandleError {
 public:
  CouldNotBindSocket()
      : SocketHandleError("Could not bind socket. Address and port are already in use.") {}
  std::string TypeName() const override { return "CouldNotBindSocket"; }
};

class AlreadyConnected : public NetError {
 public:
  AlreadyConnected() : NetError("Already connected.") {}
  std::string TypeName() const override { return "AlreadyConnected"; }
};

// Misuse of a connection's buffers or a peer that breaks the line bound.
class TcpConnectionError : public NetError {
 public:
  using NetError::NetError;
  std::string TypeName() const override { return "TcpConnectionError"; }
};

class NotEnoughDataInBuffer : public TcpConnectionError {
 public:
  NotEnoughDataInBuffer() : TcpConnectionError("Not enough data in buffer.") {}
  std::string TypeName() const override { return "NotEnoughDataInBuffer"; }
};

class NoDataToRead : public TcpConnectionError {
 public:
  NoDataToRead() : TcpConnectionError("No data to read.") {}
  std::string TypeName() const override { return "NoDataToRead"; }
};

// A reply whose code the step does not accept; the message is the reply line.
class ProtocolReplyError : public NetError {
 public:
  ProtocolReplyError(int code, const std::string& reply_text) : NetError(reply_text), code_(code) {}
  int Code() const { return code_; }
  std::string TypeName() const override { return "ProtocolReplyError"; }

 private:
  int code_;
};

// A local file or memory stream that cannot be created, read or written.
class StreamError : public NetError {
 public:
  using NetError::NetError;
  std::string TypeName() const override { return "StreamError"; }
};

}  // namespace tivolo::net
