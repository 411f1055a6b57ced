// Errors of the box's web interface client. Each class says what happened, so that a caller
// can tell "this box has no usable interface" from "the box stopped answering half-way";
// ReachedBox() says whether the request may have been carried out by the box, which decides
// whether a change can still be made another way.
#pragma once

#include <string>

#include "platform/error.h"

namespace tivolo::web {

class WebError : public platform::Error {
 public:
  WebError(const std::string& message, bool reached_box)
      : platform::Error(message), reached_box_(reached_box) {}
  std::string TypeName() const override { return "WebError"; }
  // False when the box certainly did not act on the request (no connection, or the
  // interface turned it away before handling it).
  bool ReachedBox() const { return reached_box_; }

 private:
  bool reached_box_;
};

// No connection: refused, or the address cannot be reached.
class WebRefusedError : public WebError {
 public:
  explicit WebRefusedError(const std::string& message) : WebError(message, false) {}
  std::string TypeName() const override { return "WebRefusedError"; }
};

// No connection within the connect bound, or no whole reply within the reply bound.
class WebTimeoutError : public WebError {
 public:
  WebTimeoutError(const std::string& message, bool connected) : WebError(message, connected) {}
  std::string TypeName() const override { return "WebTimeoutError"; }
};

// An HTTP status other than success; Status() is its code.
class WebStatusError : public WebError {
 public:
  WebStatusError(const std::string& message, long status, bool reached_box)
      : WebError(message, reached_box), status_(status) {}
  std::string TypeName() const override { return "WebStatusError"; }
  long Status() const { return status_; }

 private:
  long status_;
};

// 401 again after the user name and password were sent.
class WebAuthError : public WebStatusError {
 public:
  explicit WebAuthError(const std::string& message) : WebStatusError(message, 401, false) {}
  std::string TypeName() const override { return "WebAuthError"; }
};

// 403: the interface does not serve this computer.
class WebForbiddenError : public WebStatusError {
 public:
  explicit WebForbiddenError(const std::string& message) : WebStatusError(message, 403, false) {}
  std::string TypeName() const override { return "WebForbiddenError"; }
};

// 404: no such call, or no web interface at all.
class WebNotFoundError : public WebStatusError {
 public:
  explicit WebNotFoundError(const std::string& message) : WebStatusError(message, 404, false) {}
  std::string TypeName() const override { return "WebNotFoundError"; }
};

// A redirect, which is never followed. The box read the whole request before it chose to
// send one, and may have carried it out first (as after a form's action).
class WebRedirectError : public WebStatusError {
 public:
  WebRedirectError(const std::string& message, long status)
      : WebStatusError(message, status, true) {}
  std::string TypeName() const override { return "WebRedirectError"; }
};

// The connection ended before the whole reply had come.
class WebCutReplyError : public WebError {
 public:
  explicit WebCutReplyError(const std::string& message) : WebError(message, true) {}
  std::string TypeName() const override { return "WebCutReplyError"; }
};

// A whole reply that is not what the call answers: not JSON, not of the expected shape,
// or too large.
class WebReplyError : public WebError {
 public:
  explicit WebReplyError(const std::string& message) : WebError(message, true) {}
  std::string TypeName() const override { return "WebReplyError"; }
};

// Any other failure of the transfer (TLS, a name that does not resolve, ...).
class WebTransportError : public WebError {
 public:
  explicit WebTransportError(const std::string& message) : WebError(message, true) {}
  std::string TypeName() const override { return "WebTransportError"; }
};

}  // namespace tivolo::web
