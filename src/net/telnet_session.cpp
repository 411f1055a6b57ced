#include "net/telnet_session.h"

namespace tivolo::net {
namespace {

class AnswerSink : public TelnetParserSink {
 public:
  explicit AnswerSink(TcpConnection& connection) : connection_(connection) {}
  void TelnetCommandSeen(TelnetCommand) override {}
  void SendAnswer(const std::string& bytes) override { connection_.SendText(bytes); }

 private:
  TcpConnection& connection_;
};

}  // namespace

TelnetSession::TelnetSession() {
  SetPort(kDefaultPort);
}

void TelnetSession::Open() {
  try {
    TcpClient::Open();
  } catch (const SocketError&) {
    throw TelnetConnectError();
  }
}

std::string TelnetSession::Receive(std::chrono::milliseconds wait) {
  const std::string piece = ReadAvailable(ReadWait(wait));
  if (piece.empty()) return {};
  AnswerSink sink(*this);
  return parser_.Process(piece, terminal_, sink);
}

bool TelnetSession::Closed() {
  return !IsOpen();
}

}  // namespace tivolo::net
