// The telnet client: once connected, a reader thread waits for whatever the box sends,
// removes and answers the telnet commands in it, and hands the remaining text of each piece
// to OnDataAvailable on the user-interface thread, waiting until the handler has returned.
// Text is sent with the inherited SendText, unchanged.
//
// Threads: Open, Close and SendText belong to the user-interface thread (SendText typically
// from inside OnDataAvailable); the reader receives, parses, answers negotiations and fires
// OnTelnetCommand. Set Terminal and the events before Open. Close and the destructor make sure
// no reader outlives the client: a reader waiting for data is woken by the close and joined;
// a reader waiting for its hand-over is released; when Close is called from inside
// OnDataAvailable the reader ends right after the handler returns and is joined later.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/loop_thread.h"
#include "net/net_error.h"
#include "net/tcp_client.h"
#include "net/telnet_handover.h"
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

class TelnetNoDataHandler : public TelnetError {
 public:
  TelnetNoDataHandler() : TelnetError("OnDataAvailable event is nil.") {}
  std::string TypeName() const override { return "TelnetNoDataHandler"; }
};

class TelnetClient;

// The reader thread of one connection.
class TelnetReader : public LoopThread {
 public:
  TelnetReader(TelnetClient& client, UiHandover& handover);
  ~TelnetReader() override;

  SynchronousHandover& Handover() { return handover_; }
  // The last processed piece (reader thread only).
  const std::string& ReceivedText() const { return received_text_; }

 protected:
  void RunOnce() override;

 private:
  TelnetClient& client_;
  SynchronousHandover handover_;
  std::string received_text_;
};

class TelnetClient : public TcpClient {
 public:
  static constexpr int kDefaultPort = 23;
  using DataAvailableEvent = std::function<void(const std::string& buffer)>;
  using ClientEvent = std::function<void()>;
  using TelnetCommandEvent = std::function<void(TelnetClient& sender, TelnetCommand status)>;

  // handover runs the reader's pieces on the user-interface thread; it must outlive the client.
  explicit TelnetClient(UiHandover& handover);
  ~TelnetClient() override;

  // Fires OnConnect, connects and starts the reader. A SocketError from connecting becomes
  // TelnetConnectError "server not responding"; other failures pass unchanged. No reader
  // exists after a failed Open.
  void Open() override;
  // Ends the reader, closes the connection (status reports, OnDisconnected) and fires
  // OnDisconnect.
  void Close() override;

  const std::string& Terminal() const { return terminal_; }
  void SetTerminal(const std::string& terminal) { terminal_ = terminal; }

  void SetOnDataAvailable(DataAvailableEvent handler) { on_data_available_ = std::move(handler); }
  void SetOnConnect(ClientEvent handler) { on_connect_ = std::move(handler); }
  void SetOnDisconnect(ClientEvent handler) { on_disconnect_ = std::move(handler); }
  void SetOnTelnetCommand(TelnetCommandEvent handler) { on_telnet_command_ = std::move(handler); }

  // The command parser's state, carried from piece to piece and across connections (read it
  // while no reader runs).
  TelnetParseState NegotiationState() const { return parser_.State(); }
  // True while a reader thread runs; the message that ended the last reader.
  bool ReaderRunning() const;
  std::string ReaderMessage() const;

 private:
  friend class TelnetReader;
  // Strips the commands of one piece and sends the answers (reader thread).
  std::string ProcessPiece(const std::string& piece);
  // Ends a reader that is not needed any more: joined unless it waits for a hand-over that
  // is running right now on this thread, in which case it is kept until it can be.
  void RetireReader();
  void JoinRetired();

  UiHandover& handover_;
  TelnetCommandParser parser_;
  std::string terminal_ = "dumb";
  DataAvailableEvent on_data_available_;
  ClientEvent on_connect_;
  ClientEvent on_disconnect_;
  TelnetCommandEvent on_telnet_command_;
  std::unique_ptr<TelnetReader> reader_;
  std::vector<std::unique_ptr<TelnetReader>> retired_;
  std::string last_reader_message_;
};

}  // namespace tivolo::net
