// The buffered TCP connection: an input buffer in front of the socket, line and numbered
// reply reading, command, text and stream sending, and stream reading until the peer closes.
//
// Every wait is bounded (Bounds()): a peer that stays silent, never connects or sends an
// endless line ends in an exception instead of a hang. The one wait without a limit is a read
// passed ReadWait::Unlimited() (the telnet reader's); closing the connection from another
// thread wakes it.
//
// Threads: one thread at a time, except that one thread may receive (ReadAvailable,
// ReadLine, ...) while another sends (SendText, ...) or closes (Close). A close waits for a
// call inside the socket to leave it (it wakes it first); the connection itself must outlive
// every thread that uses it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/byte_buffer.h"
#include "net/net_component.h"
#include "net/socket_handle.h"
#include "net/stream.h"

namespace tivolo::net {

// How long a read may wait for data. By default the connection's idle bound applies, and
// running out of it raises SocketError 10060. With a bound of the caller's own (0: only what
// has arrived) running out is no error: the read gives what it has. Unlimited() waits until
// data, the peer's close or a close from another thread.
class ReadWait {
 public:
  constexpr ReadWait() = default;
  constexpr ReadWait(std::chrono::milliseconds own) : kind_(Kind::kOwn), own_(own) {}
  static constexpr ReadWait Unlimited() { return ReadWait(Kind::kUnlimited); }

  constexpr bool IsOwn() const { return kind_ == Kind::kOwn; }
  // The socket's wait, given the connection's idle bound (none when that is zero or less).
  constexpr WaitBound For(std::chrono::milliseconds idle) const {
    if (kind_ == Kind::kOwn) return own_;
    if (kind_ == Kind::kUnlimited || idle.count() <= 0) return kNoLimit;
    return idle;
  }

 private:
  enum class Kind { kIdle, kOwn, kUnlimited };
  constexpr explicit ReadWait(Kind kind) : kind_(kind) {}
  Kind kind_ = Kind::kIdle;
  std::chrono::milliseconds own_{0};
};

// Reply code of a reply line: 1 for "+OK", 0 for "-ERR" (any case), else the first three
// characters as a decimal number, 0 when they are not one.
int ReplyCodeOf(std::string_view line);

struct NetBounds {
  std::chrono::milliseconds connect{15000};  // TcpClient::Open's connect
  std::chrono::milliseconds idle{60000};     // a read's default wait, and waiting to send
  std::chrono::milliseconds accept{60000};   // OneShotListener::WaitForPeer
  size_t max_line = size_t{1} << 20;         // buffered bytes without a line end, and the
                                             // bytes of all lines of one reply, blank ones
                                             // included
};

class TcpConnection : public NetComponent {
 public:
  static constexpr int kDefaultBufferSize = 32768;

  TcpConnection() = default;
  // Closes the socket (shutting down the sending direction) without status reports.
  ~TcpConnection() override;

  // Bounds, with the defaults of NetBounds. Reaching a time bound raises SocketError 10060
  // "Connection timed out."; a longer line raises TcpConnectionError.
  const NetBounds& Bounds() const { return bounds_; }
  void SetBounds(const NetBounds& bounds) { bounds_ = bounds; }
  void SetConnectTimeout(std::chrono::milliseconds timeout) { bounds_.connect = timeout; }
  void SetIdleTimeout(std::chrono::milliseconds timeout) { bounds_.idle = timeout; }
  void SetAcceptTimeout(std::chrono::milliseconds timeout) { bounds_.accept = timeout; }
  void SetMaxLineLength(size_t bytes) { bounds_.max_line = bytes; }

  SocketHandle& Socket() { return socket_; }
  const SocketHandle& Socket() const { return socket_; }

  void SetRecvBufferSize(int size);
  void SetSendBufferSize(int size);

  const NotifyEvent& OnDisconnected() const { return on_disconnected_; }
  void SetOnDisconnected(NotifyEvent handler) { on_disconnected_ = std::move(handler); }

  // DetectPeerClose(false, false), then whether the socket is allocated.
  virtual bool IsOpen();
  bool ClosedByPeer() const { return closed_by_peer_.load(std::memory_order_acquire); }

  // Sends text as a line (unless it is the single byte 0), then ReadReply(accepted).
  int SendCommand(const std::string& text, const std::vector<int>& accepted);
  // code -1: no check; any other code: only that code is accepted.
  int SendCommand(const std::string& text, int code);

  // Reads one numbered reply (multi-line "123-" ... "123 " form); ProtocolReplyError when the
  // code is not accepted (an empty list accepts all). "+OK" gives 1, "-ERR" gives 0.
  virtual int ReadReply(const std::vector<int>& accepted = {});
  virtual int CheckReplyCode(int code, const std::vector<int>& accepted);
  int ReplyCode() const { return reply_code_; }
  const std::vector<std::string>& ReplyLines() const { return reply_lines_; }
  std::string ReplyText() const;  // the last reply line, empty when none

  virtual void SendLine(const std::string& text);  // text + CR LF
  virtual void SendText(const std::string& text);
  // Sends all bytes; ConnClosedGracefully after a close, SocketError on failure.
  void SendBytes(const void* data, size_t count);

  // A line up to the terminator (empty: LF, and one CR before it is removed). Returns an
  // empty string with LineTimedOut() set when the wait ran out (wait >= 0 ms) or the peer
  // closed after a partial line; ConnClosedGracefully once the close is known.
  virtual std::string ReadLine(const std::string& terminator = {}, ReadWait wait = {});
  // ReadLine until a line is non-empty after trimming control characters and blanks. Every
  // line read, blank ones and line ends included, adds to bytes_read; TcpConnectionError
  // "Reply too long" once that passes Bounds().max_line (the one-argument form counts from 0).
  std::string ReadNonEmptyLine();
  std::string ReadNonEmptyLine(size_t& bytes_read);
  bool LineTimedOut() const { return line_timed_out_; }

  // One receive (waiting as given), then everything buffered; empty when not open.
  std::string ReadAvailable(ReadWait wait = {});

  // Everything buffered, then everything received until the peer closes, into the stream at
  // its position; the stream is cut after the last byte written.
  virtual void ReceiveIntoStream(Stream& stream, int64_t count = -1, bool until_closed = true);
  // The stream's bytes (from its start when asked); NoDataToRead when it ends early.
  virtual void SendStream(Stream& stream, bool from_start = true, bool with_length = false);

  // Closes when allocated, reporting nsDisconnecting and nsDisconnected, then OnDisconnected;
  // nothing when already closed. Safe from another thread while one receives.
  virtual void Close();
  virtual void CloseLink();
  // Resets the socket handle (local side included), the input buffer and closed-by-peer.
  virtual void ResetLink();
  // When the peer closed or the socket is gone: closes the link; raises ConnClosedGracefully
  // when asked and (ignore_buffer or nothing is buffered).
  virtual void DetectPeerClose(bool raise_if_closed, bool ignore_buffer);

  size_t BufferedCount() const { return input_buffer_.Size(); }
  virtual std::string TakeBuffered(size_t count);
  virtual void DropBuffered(size_t count);

 protected:
  // The one place data is received; see the .cpp. Returns the count received, 0 when the
  // wait (wait >= 0 ms) ran out or the peer closed.
  virtual int ReceiveChunk(bool raise_if_closed, ReadWait wait, ByteBuffer* target,
                           bool into_input_buffer);
  virtual void NotifyDisconnected();
  [[noreturn]] virtual void RaiseReplyError();
  WaitBound EffectiveWait(ReadWait wait) const { return wait.For(bounds_.idle); }
  ByteBuffer& InputBuffer() { return input_buffer_; }

  NetBounds bounds_;
  SocketHandle socket_;

 private:
  // Everything received until the peer closes, straight from the socket into the stream's
  // descriptor through a pipe, so the bytes never pass through our memory. False when the
  // kernel cannot do that here; the bytes received so far are in the stream then.
  bool SpliceUntilClosed(Stream& stream);
  // Received bytes waiting in the pipe go through memory into the stream.
  void DrainPipe(int pipe_read, size_t count, Stream& stream);

  ByteBuffer input_buffer_;
  ByteBuffer recv_chunk_{kDefaultBufferSize};
  std::atomic<bool> closed_by_peer_{false};
  std::atomic<bool> closing_{false};  // one thread at a time runs CloseLink
  std::vector<std::string> reply_lines_;
  int reply_code_ = 0;
  bool line_timed_out_ = false;
  size_t line_searched_ = 0;       // bytes of the input buffer already searched for a line end
  std::string line_searched_for_;  // ... and the line end searched for
  int recv_buffer_size_ = kDefaultBufferSize;
  int send_buffer_size_ = kDefaultBufferSize;
  NotifyEvent on_disconnected_;
};

}  // namespace tivolo::net
