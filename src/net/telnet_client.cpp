#include "net/telnet_client.h"

namespace tivolo::net {

TelnetReader::TelnetReader(TelnetClient& client, UiHandover& handover)
    : client_(client), handover_(handover) {}

TelnetReader::~TelnetReader() {
  Terminate();
  handover_.Abandon();
  Join();
}

void TelnetReader::RunOnce() {
  // 1. Wait without a limit for data or the close; closing the socket wakes this wait.
  std::string piece = client_.ReadAvailable(ReadWait::Unlimited());
  if (Terminated()) return;  // Close was called meanwhile: nothing more is handed over
  // 2. Strip the commands; their answers are sent from here, on this thread.
  received_text_ = client_.ProcessPiece(piece);
  // 3. Hand the text to the user-interface thread and wait there. The handler and the text
  // are copied first, so that a handler that destroys the client cannot pull either away
  // from under itself.
  std::string text = received_text_;
  TelnetClient::DataAvailableEvent handler = client_.on_data_available_;
  bool ran = handover_.RunAndWait([handler, text] {
    if (!handler) throw TelnetNoDataHandler();
    handler(text);
  });
  if (!ran || Terminated()) {
    Terminate();
    return;
  }
  // 4. When the box closed the connection (or Close ran inside the handler), end here with
  // ConnClosedGracefully as the terminating message.
  client_.DetectPeerClose(true, false);
}

TelnetClient::TelnetClient(UiHandover& handover) : handover_(handover) {
  SetPort(kDefaultPort);
}

TelnetClient::~TelnetClient() {
  // Wake and join every reader before any member goes: a reader waiting for data ends when
  // the socket is released (without status reports or events: the owner is going away too),
  // one waiting for its hand-over is released by Abandon.
  if (reader_) {
    reader_->Terminate();
    reader_->Handover().Abandon();
  }
  for (auto& reader : retired_) {
    reader->Terminate();
    reader->Handover().Abandon();
  }
  socket_.ReleaseSocket(true);
  reader_.reset();
  retired_.clear();
}

bool TelnetClient::ReaderRunning() const {
  return reader_ && !reader_->Finished();
}

std::string TelnetClient::ReaderMessage() const {
  if (reader_ && reader_->Finished()) return reader_->TerminatingMessage();
  return last_reader_message_;
}

std::string TelnetClient::ProcessPiece(const std::string& piece) {
  class Sink : public TelnetParserSink {
   public:
    explicit Sink(TelnetClient& client) : client_(client) {}
    void TelnetCommandSeen(TelnetCommand command) override {
      if (client_.on_telnet_command_) client_.on_telnet_command_(client_, command);
    }
    void SendAnswer(const std::string& bytes) override { client_.SendText(bytes); }

   private:
    TelnetClient& client_;
  } sink(*this);
  return parser_.Process(piece, terminal_, sink);
}

void TelnetClient::RetireReader() {
  if (!reader_) return;
  reader_->Terminate();
  if (reader_->IsLoopThread() || reader_->Handover().InsideCall()) {
    // Called by the reader's own hand-over (or its thread): it cannot be joined from here.
    // It ends as soon as the hand-over returns and is joined later.
    retired_.push_back(std::move(reader_));
    return;
  }
  reader_->Handover().Abandon();
  reader_->Join();
  last_reader_message_ = reader_->TerminatingMessage();
  reader_.reset();
}

void TelnetClient::JoinRetired() {
  for (auto it = retired_.begin(); it != retired_.end();) {
    if ((*it)->Finished() && !(*it)->IsLoopThread()) {
      (*it)->Join();
      it = retired_.erase(it);
    } else {
      ++it;
    }
  }
}

void TelnetClient::Open() {
  if (on_connect_) on_connect_();
  JoinRetired();
  // A reader of an earlier connection has ended or is ending (its socket is closed).
  if (reader_ && !Socket().HandleAllocated()) RetireReader();
  try {
    TcpClient::Open();
  } catch (const SocketError&) {
    throw TelnetConnectError();
  }
  reader_ = std::make_unique<TelnetReader>(*this, handover_);
  reader_->Start();
}

void TelnetClient::Close() {
  if (reader_) reader_->Terminate();
  bool join = reader_ && !reader_->IsLoopThread() && !reader_->Handover().InsideCall();
  if (join) reader_->Handover().Abandon();
  // Closing the socket wakes a reader that waits for data.
  TcpClient::Close();
  if (join) {
    reader_->Join();
    last_reader_message_ = reader_->TerminatingMessage();
    reader_.reset();
  } else if (reader_) {
    retired_.push_back(std::move(reader_));
  }
  JoinRetired();
  if (on_disconnect_) on_disconnect_();
}

}  // namespace tivolo::net
