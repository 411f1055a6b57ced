#include "net/ftp_client.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "net/ftp_protocol.h"
#include "net/one_shot_listener.h"
#include "net/stream.h"

namespace tivolo::net {

namespace {

// Receive chunk of data connections. Larger than the control connection's 32 KiB: a big
// download then costs a quarter of the receive and write calls and keeps pace with other
// clients on loopback; the memory it takes does not grow with the file.
constexpr int kDataChunk = 256 * 1024;

void CheckArgument(const std::string& value, const char* what) {
  if (HasLineBreak(value)) throw FtpInvalidArgument(what);
}

// True when the text starts (after blank lines) with a negative reply code: 4xx or 5xx.
bool StartsWithFailure(std::string_view text) {
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
    return c == '4' || c == '5';
  }
  return false;
}

// A name next to target that no other file has: the target's name, a marker and a random
// suffix, created empty (exclusively, with the usual permissions) to reserve it.
std::string ReserveTempFile(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  std::random_device seed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".part-%08x%02x", static_cast<unsigned>(seed()),
                  counter.fetch_add(1) & 0xff);
    std::string path = target + suffix;
    int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST)
      throw StreamError("Cannot create file " + path + ": " + std::strerror(errno) + ".");
  }
  throw StreamError("Cannot create a temporary file next to " + target + ".");
}

}  // namespace

FtpClient::FtpClient() {
  SetPort(kDefaultPort);
}

FtpClient::~FtpClient() {
  TakeData().reset();
}

void FtpClient::SetData(std::unique_ptr<TcpConnection> data) {
  std::lock_guard lock(data_mutex_);
  data_ = std::move(data);
}

std::unique_ptr<TcpConnection> FtpClient::TakeData() {
  std::lock_guard lock(data_mutex_);
  return std::move(data_);
}

void FtpClient::SetTransferType(FtpTransferType type) {
  {
    std::lock_guard lock(data_mutex_);
    if (data_) return;
  }
  if (type == transfer_type_) return;
  transfer_type_ = type;
  if (IsOpen()) SendTypeCommand();
}

void FtpClient::SendTypeCommand() {
  SendCommand(std::string("type ") + (transfer_type_ == FtpTransferType::kAscii ? "A" : "I"), 200);
}

void FtpClient::OpenAndLogin(bool log_in) {
  if (log_in) {
    CheckArgument(user_, "user name");
    CheckArgument(password_, "password");
  }
  try {
    Open();
    ReadReply({220});
    if (log_in) {
      int code = SendCommand("user " + user_, {230, 331});
      if (code == 331) SendCommand("pass " + password_, 230);
      SendTypeCommand();
      code = SendCommand("syst", {200, 215, 500});
      server_system_ = SystemFromReply(code, ReplyText());
    }
  } catch (...) {
    try {
      Close();
    } catch (...) {
      // The failure of the step is what the caller needs to see.
    }
    throw;
  }
}

void FtpClient::ChangeRemoteDir(const std::string& directory) {
  CheckArgument(directory, "folder name");
  SendCommand("CWD " + directory, 250);
}

void FtpClient::ListDirectory(std::vector<std::string>& destination, const std::string& mask,
                              bool details) {
  CheckArgument(mask, "mask");
  MemoryStream listing;
  TransferIn(TrimControls((details ? "list " : "nlst ") + mask), listing);
  destination = SplitListing(listing.Data());
}

void FtpClient::Download(const std::string& remote_name, const std::string& local_file,
                         bool may_overwrite) {
  CheckArgument(remote_name, "file name");
  std::error_code ec;
  if (!may_overwrite && std::filesystem::exists(local_file, ec)) throw FtpFileAlreadyExists();
  // The earlier copy stays until the new one is complete: a broken transfer must never
  // leave a cut file where the program reads its lists from.
  std::string temp = ReserveTempFile(local_file);
  try {
    FileStream file(temp, FileStream::Mode::kCreate);
    TransferIn("retr " + remote_name, file);
    file.Close();
    std::filesystem::rename(temp, local_file, ec);
    if (ec) throw StreamError("Cannot replace file " + local_file + ": " + ec.message() + ".");
  } catch (...) {
    std::filesystem::remove(temp, ec);
    throw;
  }
}

void FtpClient::Upload(const std::string& local_file, const std::string& remote_name, bool append) {
  CheckArgument(remote_name, "file name");
  FileStream file(local_file, FileStream::Mode::kRead);
  std::string command;
  if (remote_name.empty()) {
    command = "STOU ";
  } else {
    command = (append ? "APPE " : "STOR ") + remote_name;
  }
  TransferOut(command, file);
}

void FtpClient::AbortTransfer() {
  if (Socket().HandleAllocated()) {
    aborted_ = true;
    SendLine("ABOR");
  }
  DropDataConnection();
}

void FtpClient::DropDataConnection() {
  std::lock_guard lock(data_mutex_);
  if (!data_) return;
  aborted_ = true;
  if (auto* listener = dynamic_cast<OneShotListener*>(data_.get())) listener->StopWaiting();
  data_->Close();
}

void FtpClient::TransferIn(const std::string& command, Stream& sink) {
  Transfer(command, &sink, nullptr);
}

void FtpClient::TransferOut(const std::string& command, Stream& source) {
  Transfer(command, nullptr, &source);
}

void FtpClient::Transfer(const std::string& command, Stream* sink, Stream* source) {
  // The data connection goes away on every way out of here, closing its socket.
  struct DropOnExit {
    FtpClient& client;
    ~DropOnExit() { client.TakeData().reset(); }
  } drop_on_exit{*this};
  aborted_ = false;

  TcpConnection* data = nullptr;
  if (passive_) {
    SendCommand("PASV", 227);
    auto address = ParsePassiveReply(ReplyText());
    if (!address) throw FtpBadPassiveReply(ReplyText());
    auto client = std::make_unique<TcpClient>();
    client->SetHost(address->ip);
    client->SetPort(address->port);
    data = client.get();
    data->SetOnWork(OnWork());
    data->SetOnWorkBegin(OnWorkBegin());
    data->SetOnWorkEnd(OnWorkEnd());
    data->SetBounds(Bounds());
    data->SetRecvBufferSize(kDataChunk);
    SetData(std::move(client));
    SendLine(command);
    static_cast<TcpClient*>(data)->Open();
    if (source) {
      ReadReply({110, 125, 150});
    } else {
      ReadReply({125, 150});
    }
  } else {
    auto listener = std::make_unique<OneShotListener>();
    OneShotListener& l = *listener;
    data = listener.get();
    data->SetOnWork(OnWork());
    data->SetOnWorkBegin(OnWorkBegin());
    data->SetOnWorkEnd(OnWorkEnd());
    data->SetBounds(Bounds());
    data->SetRecvBufferSize(kDataChunk);
    // The server connects back to the address it reached us on, and only the server may.
    l.SetBoundIP(Socket().LocalIP());
    l.SetExpectedPeerIP(Socket().PeerIP());
    l.SetOnPeerRefused([this](const std::string& ip) {
      ReportStatus(NetStatus::kText, "Refused a data connection from " + ip + ".");
    });
    SetData(std::move(listener));
    l.PrepareListen();
    SendCommand(FtpPortCommand(l.ListeningIP(), l.ListeningPort()), 200);
    SendCommand(command, {125, 150});
    WaitForDataPeer(l);
  }
  if (aborted_) throw FtpTransferAborted();

  try {
    if (sink) {
      data->ReceiveIntoStream(*sink, -1, true);
    } else {
      data->SendStream(*source, true, false);
    }
  } catch (const NetError&) {
    if (aborted_) throw FtpTransferAborted();  // the abort, not its side effect, is the news
    throw;
  }
  // Destroying the connection shuts down its sending side, so the server sees the end of an
  // upload before we wait for its final reply.
  TakeData().reset();
  if (aborted_) throw FtpTransferAborted();
  ReadFinalReply();
}

void FtpClient::WaitForDataPeer(OneShotListener& listener) {
  // A negative reply may already sit in the buffer behind the preliminary one.
  if (StartsWithFailure(InputBuffer().View()) || ClosedByPeer()) {
    ReadReply();
    RaiseReplyError();
  }
  // One wait for both connections: a negative reply or a close on the control connection
  // ends it at once. A positive reply (the final one of a server that finished sending
  // early) is left for later: the data connection is pending then, and the control
  // connection is no longer watched.
  OneShotListener::Watch control{
      &socket_, [this] {
        char peek[16];
        int n = socket_.Peek(peek, sizeof peek);
        if (n > 0) {
          return StartsWithFailure(std::string_view(peek, static_cast<size_t>(n)));
        }
        return n == 0 || SocketStack::LastError() != kErrWouldBlock;
      }};
  switch (listener.WaitForPeer(control)) {
    case OneShotListener::PeerWait::kAccepted:
      return;
    case OneShotListener::PeerWait::kStopped:
      throw FtpTransferAborted();
    case OneShotListener::PeerWait::kWatchEvent:
      break;
  }
  // The server answered instead of connecting; a closed connection raises
  // ConnClosedGracefully here.
  ReadReply();
  RaiseReplyError();
}

void FtpClient::ReadFinalReply() {
  int code = ReadReply({225, 226, 250, 426});
  if (code == 426) ReadReply({226});
}

void FtpClient::Rename(const std::string& from, const std::string& to) {
  CheckArgument(from, "file name");
  CheckArgument(to, "file name");
  SendCommand("RNFR " + from, 350);
  SendCommand("RNTO " + to, 250);
}

int64_t FtpClient::Size(const std::string& remote_name) {
  CheckArgument(remote_name, "file name");
  SendCommand("SIZE " + remote_name, 213);
  const std::string text = ReplyText();
  // "213 1234": the number follows the code and a blank; nothing else may stand there.
  size_t pos = 3;
  while (pos < text.size() && text[pos] == ' ')
    ++pos;
  int64_t size = 0;
  size_t digits = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos, ++digits) {
    if (digits >= 18) throw ProtocolReplyError(ReplyCode(), text);
    size = size * 10 + (text[pos] - '0');
  }
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\r'))
    ++pos;
  if (digits == 0 || pos != text.size()) throw ProtocolReplyError(ReplyCode(), text);
  return size;
}

void FtpClient::Delete(const std::string& remote_name) {
  CheckArgument(remote_name, "file name");
  SendCommand("DELE " + remote_name, 250);
}

}  // namespace tivolo::net
