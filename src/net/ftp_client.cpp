#include "net/ftp_client.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "net/ftp_protocol.h"
#include "net/one_shot_listener.h"
#include "net/stream.h"
#include "platform/safe_file.h"

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

// The receiving end of a download: appends to a replacement of the local file, which takes
// the file's place only once the transfer is complete.
class ReplacementSink : public Stream {
 public:
  explicit ReplacementSink(const std::string& target) : file_(Open(target)) {}

  int64_t Size() const override { return static_cast<int64_t>(file_.Size()); }
  int64_t Position() const override { return Size(); }
  void Seek(int64_t position) override {
    if (position != Size()) throw StreamError("A download is written from start to end.");
  }
  size_t Read(void*, size_t) override { return 0; }
  void Write(const void* buffer, size_t count) override {
    Guard([&] { file_.Write(std::string_view(static_cast<const char*>(buffer), count)); });
  }
  void SetSize(int64_t size) override { Seek(size); }
  void Commit() {
    Guard([&] { file_.Commit(); });
  }

 private:
  static platform::FileReplacement Open(const std::string& target) {
    try {
      return platform::FileReplacement(target);
    } catch (const platform::FileReplaceError& e) {
      throw StreamError(std::string(e.what()) + ".");
    }
  }
  template <class Fn>
  void Guard(Fn fn) {
    try {
      fn();
    } catch (const platform::FileReplaceError& e) {
      throw StreamError(std::string(e.what()) + ".");
    }
  }

  platform::FileReplacement file_;
};

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

namespace {

// Thousands of file names fill well under a megabyte: a listing longer than this is a server
// that sends without end, and would otherwise take all memory.
constexpr size_t kMaxListingBytes = size_t{4} << 20;

class BoundedListing : public MemoryStream {
 public:
  explicit BoundedListing(const std::string& mask) : mask_(mask) {}
  void Write(const void* buffer, size_t count) override {
    if (static_cast<size_t>(Size()) + count > kMaxListingBytes) {
      throw NetError("Listing of " + mask_ + " too long: more than " +
                     std::to_string(kMaxListingBytes) + " bytes.");
    }
    MemoryStream::Write(buffer, count);
  }

 private:
  std::string mask_;
};

}  // namespace

void FtpClient::ListDirectory(std::vector<std::string>& destination, const std::string& mask,
                              bool details) {
  CheckArgument(mask, "mask");
  BoundedListing listing(mask);
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
  ReplacementSink file(local_file);
  TransferIn("retr " + remote_name, file);
  file.Commit();
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
    // A box that cuts a transfer off says why on the control connection (426, 451, ...).
    RaiseFailureReplyIfAny();
    throw;
  }
  // Destroying the connection shuts down its sending side, so the server sees the end of an
  // upload before we wait for its final reply.
  TakeData().reset();
  if (aborted_) throw FtpTransferAborted();
  ReadFinalReply();
}

void FtpClient::RaiseFailureReplyIfAny() {
  if (!socket_.HandleAllocated()) return;
  bool failure = false;
  if (BufferedCount() > 0) {
    failure = StartsWithFailure(InputBuffer().View());
  } else {
    pollfd p{socket_.Handle(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(kFollowUpWait.count())) > 0) {
      char peek[16];
      const int n = socket_.Peek(peek, sizeof peek);
      failure = n > 0 && StartsWithFailure(std::string_view(peek, static_cast<size_t>(n)));
    }
  }
  if (!failure) return;
  ReadReply();
  RaiseReplyError();
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
  if (code != 426) return;
  // A 226 completes the transfer after a 426 and comes right behind it. A box that cut the
  // transfer off sends nothing more: its 426 is the news, at once rather than after the whole
  // reply bound.
  const std::string cut = ReplyText();
  const NetBounds saved = bounds_;
  bounds_.idle = std::min(saved.idle, kFollowUpWait);
  try {
    ReadReply({226});
  } catch (const SocketError& e) {
    bounds_ = saved;
    if (e.Code() == kErrTimedOut) throw ProtocolReplyError(426, cut);
    throw;
  } catch (...) {
    bounds_ = saved;
    throw;
  }
  bounds_ = saved;
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

int64_t FtpClient::ModificationTime(const std::string& remote_name) {
  CheckArgument(remote_name, "file name");
  SendCommand("MDTM " + remote_name, 213);
  const std::optional<int64_t> time = ParseModificationTime(ReplyText());
  if (!time) throw ProtocolReplyError(ReplyCode(), ReplyText());
  return *time;
}

void FtpClient::Delete(const std::string& remote_name) {
  CheckArgument(remote_name, "file name");
  SendCommand("DELE " + remote_name, 250);
}

}  // namespace tivolo::net
