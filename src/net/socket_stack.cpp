#include "net/socket_stack.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <memory>
#include <mutex>

#include "net/net_error.h"

namespace tivolo::net {
namespace {

struct CodeText {
  int code;
  const char* text;
};

// The texts are user-visible and kept exactly, including the blank after 10035's full stop.
constexpr CodeText kCodeTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
};

thread_local int t_last_error = 0;

std::mutex g_stack_mutex;
int g_users = 0;
std::unique_ptr<SocketStack> g_stack;
std::atomic<SocketStack*> g_instance{nullptr};

bool ParseOctet(std::string_view part) {
  if (part.empty() || part.front() == '-') return false;
  int value = 0;
  auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
  return ec == std::errc() && end == part.data() + part.size() && value >= 0 && value <= 255;
}

}  // namespace

bool IsDottedQuad(const std::string& text) {
  std::string_view rest = text;
  for (int i = 0; i < 3; ++i) {
    size_t dot = rest.find('.');
    // A missing "." leaves the later parts empty, and an empty part is no number.
    if (dot == std::string_view::npos || !ParseOctet(rest.substr(0, dot))) return false;
    rest.remove_prefix(dot + 1);
  }
  return ParseOctet(rest);
}

std::string SocketErrorText(int code) {
  std::string text = "Socket Error # " + std::to_string(code) + "\r\n";
  for (const CodeText& entry : kCodeTexts) {
    if (entry.code == code) {
      text += entry.text;
      break;
    }
  }
  return text;
}

int ErrnoToSocketCode(int err) {
  switch (err) {
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
    case EPERM:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    case EAGAIN:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case EPIPE:
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    default:
      return err;
  }
}

std::string AddressToText(uint32_t address_network_order) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address_network_order);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
         std::to_string(b[3]);
}

uint32_t TextToAddress(const std::string& dotted_quad) {
  uint32_t address = 0;
  auto* b = reinterpret_cast<unsigned char*>(&address);
  std::string_view rest = dotted_quad;
  for (int i = 0; i < 4; ++i) {
    size_t dot = i < 3 ? rest.find('.') : std::string_view::npos;
    std::string_view part = rest.substr(0, dot);
    int value = 0;
    std::from_chars(part.data(), part.data() + part.size(), value);
    b[i] = static_cast<unsigned char>(value);
    rest = dot == std::string_view::npos ? std::string_view{} : rest.substr(dot + 1);
  }
  return address;
}

std::string SocketStack::HostToAddress(const std::string& host) {
  std::string upper = host;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (upper == "LOCALHOST") return "127.0.0.1";
  if (IsDottedQuad(host)) return host;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* answer = nullptr;
  int rc = getaddrinfo(host.c_str(), nullptr, &hints, &answer);
  if (rc != 0 || answer == nullptr) {
    if (answer != nullptr) freeaddrinfo(answer);
    // Every failed lookup is "host not found"; the number carries no text of its own.
    SetLastError(kErrHostNotFound);
    RaiseSocketFailure(kErrHostNotFound);
  }
  uint32_t address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(answer);
  return AddressToText(address);
}

void SocketStack::RaiseSocketFailure(int code) {
  throw SocketError(code, SocketErrorText(code));
}

bool SocketStack::CheckSocketResult(int result, std::initializer_list<int> tolerated) {
  if (result != -1) return false;
  int code = LastError();
  if (std::find(tolerated.begin(), tolerated.end(), code) != tolerated.end()) return true;
  RaiseSocketFailure(code);
  return false;  // not reached: an override must raise as well
}

int SocketStack::CreateSocket(int type, int protocol) {
  int fd = ::socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
  if (fd < 0) {
    SetLastError(ErrnoToSocketCode(errno));
    throw InvalidSocket();
  }
  return fd;
}

int SocketStack::LastError() {
  return t_last_error;
}
void SocketStack::SetLastError(int code) {
  t_last_error = code;
}

SocketStack* SocketStack::Instance() {
  return g_instance.load(std::memory_order_acquire);
}

SocketStack& SocketStack::Get() {
  if (SocketStack* stack = Instance()) return *stack;
  static SystemSocketStack fallback;
  return fallback;
}

int SocketStack::UserCount() {
  std::lock_guard lock(g_stack_mutex);
  return g_users;
}

SocketStackUse::SocketStackUse() {
  std::lock_guard lock(g_stack_mutex);
  if (g_users++ == 0) {
    g_stack = std::make_unique<SystemSocketStack>();
    g_instance.store(g_stack.get(), std::memory_order_release);
  }
}

SocketStackUse::~SocketStackUse() {
  std::lock_guard lock(g_stack_mutex);
  if (--g_users == 0) {
    g_instance.store(nullptr, std::memory_order_release);
    g_stack.reset();
  }
}

}  // namespace tivolo::net
