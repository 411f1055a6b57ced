// HTTP GET requests to the box's web interface over libcurl, one connection kept open
// between calls.
//
// - Only the configured host and port are ever contacted: redirects are not followed, and
//   proxies from the environment are ignored.
// - Every wait is bounded: the connection within HttpBounds::connect, each whole reply
//   within HttpBounds::reply after that.
// - The user name and password are sent only after the box asks for them (401); the
//   session cookie it then sets is kept and sent with every later call, and the
//   credentials again only when the box asks again.
// - With HTTPS the box's certificate is not checked: the interface makes its own,
//   self-signed one, which no authority vouches for.
//
// Failures are thrown as the classes of web_error.h. Not thread-safe: one client per thread.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tivolo::web {

struct HttpEndpoint {
  std::string host;  // an address, such as "192.168.1.10"
  int port = 80;
  bool https = false;
  std::string user;  // for HTTP Basic authentication, when the box asks
  std::string password;
};

struct HttpBounds {
  std::chrono::milliseconds connect{5000};
  std::chrono::milliseconds reply{10000};
};

// Name and value pairs of a query, in the order they are sent; UTF-8, encoded on sending.
using QueryParams = std::vector<std::pair<std::string, std::string>>;

struct HttpReply {
  long status = 0;
  std::string body;
};

// A reply larger than this is refused rather than held: no answer of the interface comes
// near it (the list of 500 timers is about half a megabyte).
inline constexpr size_t kMaxReplyBytes = 32u << 20;

class HttpClient {
 public:
  explicit HttpClient(HttpEndpoint endpoint, HttpBounds bounds = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // The reply to GET path?params when its status is 2xx; throws for anything else.
  HttpReply Get(std::string_view path, const QueryParams& params = {});

  // "http://host:port/path?a=1&b=%3A" as sent; for the log.
  std::string Url(std::string_view path, const QueryParams& params = {}) const;

  const HttpEndpoint& Endpoint() const { return endpoint_; }
  // Bounds for the calls from now on.
  void SetBounds(HttpBounds bounds);
  // A flag that, once set from another thread, ends the call under way within about a second
  // (a WebTransportError) and every later one at once; null for none. Kept by the caller.
  void SetStop(const std::atomic<bool>* stop);
  // Whether the box has asked for the user name and password during this client's life.
  bool AskedForLogin() const { return asked_for_login_; }

 private:
  struct Handle;
  HttpReply Perform(const std::string& url, bool with_login);
  [[noreturn]] void ThrowTransferFailure(int code, const std::string& url, bool too_large);
  void ThrowStatus(const HttpReply& reply, const std::string& url) const;

  HttpEndpoint endpoint_;
  HttpBounds bounds_;
  std::unique_ptr<Handle> handle_;
  bool asked_for_login_ = false;
  const std::atomic<bool>* stop_ = nullptr;
};

}  // namespace tivolo::web
