#include "net/tcp_connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

#include "net/net_error.h"
#include "net/socket_stack.h"

namespace tivolo::net {
namespace {

std::string TrimControl(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
    ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
    --end;
  return text.substr(begin, end - begin);
}

// Pipe between socket and file when splicing: the largest a process may ask for without
// privileges, so one splice moves as much as a receive into a chunk would.
constexpr int kSplicePipeSize = 1 << 20;

// The two ends of a pipe, closed on every way out.
struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() {
    if (::pipe2(fds, O_CLOEXEC) != 0) fds[0] = fds[1] = -1;
  }
  ~Pipe() {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  bool Open() const { return fds[0] >= 0; }
};

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  size_t n = std::strlen(prefix);
  return text.size() >= n && ::strncasecmp(text.c_str(), prefix, n) == 0;
}

}  // namespace

int ReplyCodeOf(std::string_view line) {
  if (line.size() >= 3 && ::strncasecmp(line.data(), "+OK", 3) == 0) return 1;
  if (line.size() >= 4 && ::strncasecmp(line.data(), "-ERR", 4) == 0) return 0;
  if (line.size() < 3) return 0;
  int code = 0;
  auto [end, ec] = std::from_chars(line.data(), line.data() + 3, code);
  if (ec != std::errc() || end != line.data() + 3) return 0;
  return code;
}

TcpConnection::~TcpConnection() {
  socket_.ReleaseSocket(true);
}

void TcpConnection::SetRecvBufferSize(int size) {
  recv_buffer_size_ = std::max(size, 1);
  recv_chunk_.Resize(static_cast<size_t>(recv_buffer_size_));
}

void TcpConnection::SetSendBufferSize(int size) {
  send_buffer_size_ = std::max(size, 1);
}

bool TcpConnection::IsOpen() {
  DetectPeerClose(false, false);
  return socket_.HandleAllocated();
}

int TcpConnection::SendCommand(const std::string& text, const std::vector<int>& accepted) {
  if (!(text.size() == 1 && text[0] == '\0')) SendLine(text);
  return ReadReply(accepted);
}

int TcpConnection::SendCommand(const std::string& text, int code) {
  if (code == -1) return SendCommand(text, std::vector<int>{});
  return SendCommand(text, std::vector<int>{code});
}

int TcpConnection::ReadReply(const std::vector<int>& accepted) {
  reply_lines_.clear();
  // Blank lines before and inside the reply count too: a peer that sends nothing else would
  // otherwise keep us reading for ever.
  size_t reply_bytes = 0;
  std::string line = ReadNonEmptyLine(reply_bytes);
  reply_lines_.push_back(line);
  if (line.size() > 3 && line[3] == '-') {
    const std::string marker = line.substr(0, 3) + " ";
    for (;;) {
      line = ReadNonEmptyLine(reply_bytes);
      reply_lines_.push_back(line);
      if (line.size() < 4 || StartsWithNoCase(line, marker.c_str())) break;
    }
  }
  reply_code_ = ReplyCodeOf(reply_lines_.back());
  return CheckReplyCode(reply_code_, accepted);
}

int TcpConnection::CheckReplyCode(int code, const std::vector<int>& accepted) {
  if (!accepted.empty() && std::find(accepted.begin(), accepted.end(), code) == accepted.end()) {
    RaiseReplyError();
  }
  return code;
}

void TcpConnection::RaiseReplyError() {
  throw ProtocolReplyError(reply_code_, ReplyText());
}

std::string TcpConnection::ReplyText() const {
  return reply_lines_.empty() ? std::string() : reply_lines_.back();
}

void TcpConnection::SendLine(const std::string& text) {
  SendText(text + "\r\n");
}

void TcpConnection::SendText(const std::string& text) {
  if (text.empty()) return;
  SendBytes(text.data(), text.size());
}

void TcpConnection::SendBytes(const void* data, size_t count) {
  if (count == 0 || data == nullptr) return;
  // The send path never looks at the input buffer, which a reading thread may be filling:
  // after the peer's close a send is an error whatever is still buffered.
  DetectPeerClose(true, true);
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    int piece = static_cast<int>(std::min<size_t>(count, INT_MAX));
    int sent = socket_.SendFrom(p, piece, EffectiveWait({}));
    if (sent == 0) closed_by_peer_.store(true, std::memory_order_release);
    DetectPeerClose(true, true);
    if (sent == -1) {
      int code = SocketStack::LastError();
      if (code == kErrShutdown) CloseLink();
      SocketStack::Get().RaiseSocketFailure(code);
    }
    WorkProgress(WorkMode::kWrite, sent);
    p += sent;
    count -= static_cast<size_t>(sent);
  }
}

int TcpConnection::ReceiveChunk(bool raise_if_closed, ReadWait wait, ByteBuffer* target,
                                bool into_input_buffer) {
  DetectPeerClose(raise_if_closed, false);
  if (!IsOpen()) return 0;
  if (target == nullptr && recv_chunk_.Size() != static_cast<size_t>(recv_buffer_size_)) {
    recv_chunk_.Resize(static_cast<size_t>(recv_buffer_size_));
  }
  ByteBuffer& buffer = target != nullptr ? *target : recv_chunk_;
  int length = static_cast<int>(std::min<size_t>(buffer.Size(), INT_MAX));
  int count = socket_.ReceiveWithin(buffer.Data(), length, EffectiveWait(wait));
  if (count == 0) closed_by_peer_.store(true, std::memory_order_release);
  if (count == -1) {
    int code = SocketStack::LastError();
    if ((code == kErrTimedOut || code == kErrInterrupted) && wait.IsOwn()) {
      return 0;  // the caller's own wait ran out: not an error
    }
    if (code == kErrShutdown) {
      count = 0;
      if (socket_.HandleAllocated()) CloseLink();
      if (input_buffer_.Empty()) SocketStack::Get().RaiseSocketFailure(kErrShutdown);
      return 0;
    }
    SocketStack::Get().RaiseSocketFailure(code);
  }
  if (into_input_buffer) {
    input_buffer_.Append(buffer.Data(), static_cast<size_t>(count));
  } else {
    WorkProgress(WorkMode::kRead, count);
  }
  DetectPeerClose(raise_if_closed, false);
  return count;
}

void TcpConnection::DetectPeerClose(bool raise_if_closed, bool ignore_buffer) {
  if (!ClosedByPeer() && socket_.HandleAllocated()) return;
  if (socket_.HandleAllocated()) CloseLink();
  if (raise_if_closed && (ignore_buffer || input_buffer_.Empty())) throw ConnClosedGracefully();
}

std::string TcpConnection::ReadLine(const std::string& terminator, ReadWait wait) {
  const std::string line_end = terminator.empty() ? std::string("\n") : terminator;
  line_timed_out_ = false;
  if (line_end != line_searched_for_) {
    line_searched_for_ = line_end;
    line_searched_ = 0;
  }
  size_t found = std::string::npos;
  for (;;) {
    if (!input_buffer_.Empty()) {
      // Only the bytes not searched before, plus enough overlap for a split line end.
      size_t from = line_searched_ >= line_end.size() ? line_searched_ - (line_end.size() - 1) : 0;
      found = input_buffer_.Find(line_end, from);
      if (found != std::string::npos) break;
      line_searched_ = input_buffer_.Size();
      if (input_buffer_.Size() > bounds_.max_line) {
        throw TcpConnectionError("Line too long: no line end within " +
                                 std::to_string(bounds_.max_line) + " bytes.");
      }
    }
    DetectPeerClose(true, true);
    if (ReceiveChunk(true, wait, nullptr, true) == 0) {
      line_timed_out_ = true;
      return {};
    }
  }
  std::string line = TakeBuffered(found + line_end.size());
  line.resize(found);
  if (terminator.empty() && !line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string TcpConnection::ReadNonEmptyLine() {
  size_t bytes_read = 0;
  return ReadNonEmptyLine(bytes_read);
}

std::string TcpConnection::ReadNonEmptyLine(size_t& bytes_read) {
  for (;;) {
    std::string line = ReadLine();
    bytes_read += line.size() + 1;  // with its line end
    if (bytes_read > bounds_.max_line) {
      throw TcpConnectionError("Reply too long: more than " + std::to_string(bounds_.max_line) +
                               " bytes in one reply.");
    }
    line = TrimControl(line);
    if (!line.empty()) return line;
  }
}

std::string TcpConnection::ReadAvailable(ReadWait wait) {
  if (!IsOpen()) return {};
  ReceiveChunk(false, wait, nullptr, true);
  return TakeBuffered(BufferedCount());
}

void TcpConnection::ReceiveIntoStream(Stream& stream, int64_t count, bool until_closed) {
  if (!until_closed && count == -1) {
    while (BufferedCount() < 4)
      ReceiveChunk(true, {}, nullptr, true);
    std::string prefix = TakeBuffered(4);
    uint32_t length = 0;
    std::memcpy(&length, prefix.data(), 4);
    count = ntohl(length);
  }
  if (count >= 0 && stream.Size() < stream.Position() + count) {
    stream.SetSize(stream.Position() + count);
  }
  WorkStarted(WorkMode::kRead, until_closed ? 0 : count);
  try {
    int64_t remaining = until_closed ? INT64_MAX : count;
    size_t buffered = static_cast<size_t>(std::min<int64_t>(remaining, BufferedCount()));
    if (buffered > 0) {
      stream.Write(input_buffer_.Data(), buffered);
      DropBuffered(buffered);
      if (!until_closed) remaining -= static_cast<int64_t>(buffered);
    }
    ByteBuffer& scratch = recv_chunk_;
    if (until_closed && stream.Descriptor() >= 0 && SpliceUntilClosed(stream)) remaining = 0;
    while (remaining > 0 && IsOpen()) {
      size_t size = static_cast<size_t>(std::min<int64_t>(remaining, recv_buffer_size_));
      if (scratch.Size() != size) scratch.Resize(size);
      int received = ReceiveChunk(!until_closed, {}, &scratch, false);
      if (received > 0) {
        stream.Write(scratch.Data(), static_cast<size_t>(received));
        if (!until_closed) remaining -= received;
      }
    }
  } catch (...) {
    WorkFinished(WorkMode::kRead);
    throw;
  }
  WorkFinished(WorkMode::kRead);
  if (stream.Size() > stream.Position()) stream.SetSize(stream.Position());
}

bool TcpConnection::SpliceUntilClosed(Stream& stream) {
  Pipe pipe;
  if (!pipe.Open()) return false;
  ::fcntl(pipe.fds[1], F_SETPIPE_SZ, kSplicePipeSize);  // a smaller pipe only costs calls
  const int fd = stream.Descriptor();
  loff_t offset = stream.Position();
  bool moved = false;
  while (IsOpen()) {
    int count = socket_.SpliceWithin(pipe.fds[1], recv_buffer_size_, EffectiveWait({}));
    if (count == 0) {
      closed_by_peer_.store(true, std::memory_order_release);
      break;
    }
    if (count < 0) {
      int code = SocketStack::LastError();
      if (!moved && code == kErrInvalidArgument) return false;  // no splice for this socket
      if (code == kErrShutdown && socket_.HandleAllocated()) CloseLink();
      SocketStack::Get().RaiseSocketFailure(code);
    }
    moved = true;
    size_t left = static_cast<size_t>(count);
    while (left > 0) {
      ssize_t written = ::splice(pipe.fds[0], nullptr, fd, &offset, left, SPLICE_F_MOVE);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        // This file takes no splice: the rest goes through memory, which also raises the
        // file's own error if writing fails there as well.
        stream.Seek(offset);
        DrainPipe(pipe.fds[0], left, stream);
        WorkProgress(WorkMode::kRead, count);
        return false;
      }
      left -= static_cast<size_t>(written);
    }
    stream.Seek(offset);
    WorkProgress(WorkMode::kRead, count);
  }
  DetectPeerClose(false, false);
  return true;
}

void TcpConnection::DrainPipe(int pipe_read, size_t count, Stream& stream) {
  while (count > 0) {
    ssize_t n = ::read(pipe_read, recv_chunk_.Data(), std::min(count, recv_chunk_.Size()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw StreamError("Cannot move received data into the file.");
    stream.Write(recv_chunk_.Data(), static_cast<size_t>(n));
    count -= static_cast<size_t>(n);
  }
}

void TcpConnection::SendStream(Stream& stream, bool from_start, bool with_length) {
  if (from_start) stream.Seek(0);
  int64_t count = std::max<int64_t>(stream.Size() - stream.Position(), 0);
  if (with_length) {
    uint32_t length = htonl(static_cast<uint32_t>(count));
    SendBytes(&length, sizeof length);
  }
  WorkStarted(WorkMode::kWrite, count);
  try {
    std::vector<char> scratch(static_cast<size_t>(send_buffer_size_));
    int64_t left = count;
    for (;;) {
      size_t n = static_cast<size_t>(std::min<int64_t>(left, send_buffer_size_));
      if (n == 0) break;
      size_t got = stream.Read(scratch.data(), n);
      if (got == 0) throw NoDataToRead();
      SendBytes(scratch.data(), got);
      left -= static_cast<int64_t>(got);
    }
  } catch (...) {
    WorkFinished(WorkMode::kWrite);
    throw;
  }
  WorkFinished(WorkMode::kWrite);
}

void TcpConnection::Close() {
  CloseLink();
}

void TcpConnection::CloseLink() {
  if (!socket_.HandleAllocated()) return;
  if (closing_.exchange(true, std::memory_order_acq_rel)) return;  // another thread closes
  if (!socket_.HandleAllocated()) {
    closing_.store(false, std::memory_order_release);
    return;
  }
  const std::string peer = socket_.PeerIP();
  try {
    ReportStatus(NetStatus::kDisconnecting, peer);
  } catch (...) {
    socket_.ReleaseSocket(true);
    closed_by_peer_.store(true, std::memory_order_release);
    closing_.store(false, std::memory_order_release);
    throw;
  }
  socket_.ReleaseSocket(true);
  closed_by_peer_.store(true, std::memory_order_release);
  closing_.store(false, std::memory_order_release);
  ReportStatus(NetStatus::kDisconnected, peer);
  NotifyDisconnected();
}

void TcpConnection::NotifyDisconnected() {
  if (on_disconnected_) on_disconnected_(*this);
}

void TcpConnection::ResetLink() {
  socket_.Reset(true);
  input_buffer_.Clear();
  line_searched_ = 0;
  closed_by_peer_.store(false, std::memory_order_release);
  closing_.store(false, std::memory_order_release);
}

std::string TcpConnection::TakeBuffered(size_t count) {
  if (count > input_buffer_.Size()) throw NotEnoughDataInBuffer();
  std::string taken(input_buffer_.Data(), count);
  DropBuffered(count);
  return taken;
}

void TcpConnection::DropBuffered(size_t count) {
  input_buffer_.Drop(count);
  line_searched_ = 0;
  WorkProgress(WorkMode::kRead, static_cast<int64_t>(count));
}

}  // namespace tivolo::net
