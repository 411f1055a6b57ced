// The process-wide socket stack: name lookup, the error numbers and texts that reach the user,
// and the translation of failed socket calls into exceptions. One stack object lives while at
// least one user (every NetComponent is one) exists.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace tivolo::net {

// Error numbers shown to the user; the POSIX errors map onto them (see ErrnoToSocketCode).
inline constexpr int kErrInterrupted = 10004;
inline constexpr int kErrBadFile = 10009;
inline constexpr int kErrAccess = 10013;
inline constexpr int kErrInvalidArgument = 10022;
inline constexpr int kErrTooManyFiles = 10024;
inline constexpr int kErrWouldBlock = 10035;
inline constexpr int kErrAddressInUse = 10048;
inline constexpr int kErrAddressNotAvailable = 10049;
inline constexpr int kErrNetworkUnreachable = 10051;
inline constexpr int kErrConnectionAborted = 10053;
inline constexpr int kErrConnectionReset = 10054;
inline constexpr int kErrNotConnected = 10057;
inline constexpr int kErrShutdown = 10058;
inline constexpr int kErrTimedOut = 10060;
inline constexpr int kErrConnectionRefused = 10061;
inline constexpr int kErrHostUnreachable = 10065;
inline constexpr int kErrHostNotFound = 11001;

// True when the text splits at its first three "." into four decimal numbers 0..255.
bool IsDottedQuad(const std::string& text);

// "Socket Error # <code>" CR LF <text of the code>; the text is empty for unknown codes.
std::string SocketErrorText(int code);

// The user-visible error number for a POSIX errno value (ECONNREFUSED gives 10061, ...).
int ErrnoToSocketCode(int err);

// Four bytes (network order) to "a.b.c.d" and back; the text must be a dotted quad.
std::string AddressToText(uint32_t address_network_order);
uint32_t TextToAddress(const std::string& dotted_quad);

class SocketStack {
 public:
  virtual ~SocketStack() = default;

  // "localhost" in any case gives "127.0.0.1"; a dotted quad is returned as it is; any other
  // name is looked up (IPv4) and its first address returned. A failed lookup raises
  // SocketError 11001.
  virtual std::string HostToAddress(const std::string& host);

  // Raises SocketError carrying the code with the message of SocketErrorText.
  [[noreturn]] virtual void RaiseSocketFailure(int code);

  // False for a result other than -1; for -1 true when LastError() is tolerated, otherwise
  // raises SocketError with it.
  virtual bool CheckSocketResult(int result, std::initializer_list<int> tolerated = {});

  // A close-on-exec, non-blocking Internet socket; raises InvalidSocket on failure.
  virtual int CreateSocket(int type, int protocol);

  // The error number of the calling thread's last failed socket call (like errno, per thread).
  static int LastError();
  static void SetLastError(int code);

  // The stack while it has users, otherwise nullptr.
  static SocketStack* Instance();
  // The running stack; outside any user's lifetime a stateless fallback, so that a handle
  // used on its own still works.
  static SocketStack& Get();
  static int UserCount();

 protected:
  SocketStack() = default;
};

// POSIX sockets: nothing to load or start; the stack keeps no state of its own.
class SystemSocketStack : public SocketStack {
 public:
  SystemSocketStack() = default;
};

// Holds the stack alive: the first user creates it, the last one destroys it.
class SocketStackUse {
 public:
  SocketStackUse();
  ~SocketStackUse();
  SocketStackUse(const SocketStackUse&) : SocketStackUse() {}
  SocketStackUse& operator=(const SocketStackUse&) { return *this; }
};

}  // namespace tivolo::net
