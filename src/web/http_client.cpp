#include "web/http_client.h"

#include <curl/curl.h>

#include <mutex>
#include <string>

#include "web/web_error.h"

namespace tivolo::web {

namespace {

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      throw WebTransportError("The HTTP library could not be started.");
    }
  });
}

struct Body {
  std::string text;
  bool too_large = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  size_t bytes = size * count;
  if (body->text.size() + bytes > kMaxReplyBytes) {
    body->too_large = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR
  }
  body->text.append(data, bytes);
  return bytes;
}

int RequestGoesOut(void* user, char*, char*, int, int) {
  *static_cast<bool*>(user) = true;
  return CURL_PREREQFUNC_OK;
}

// curl asks this about once a second while it waits, and more often while data flows.
int StopRequested(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* stop = static_cast<const std::atomic<bool>*>(user);
  return stop != nullptr && stop->load(std::memory_order_acquire) ? 1 : 0;
}

std::string Seconds(std::chrono::milliseconds bound) {
  long long ms = bound.count();
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

}  // namespace

struct HttpClient::Handle {
  CURL* curl = nullptr;
  char error[CURL_ERROR_SIZE] = {};
  // Set when the request is about to go out on a connection, a new or a reused one: from
  // then on the box may act on it, however late or oddly it answers. A reused connection's
  // connect time is 0, so that time cannot tell.
  bool request_sent = false;
  ~Handle() {
    if (curl != nullptr) curl_easy_cleanup(curl);
  }
};

HttpClient::HttpClient(HttpEndpoint endpoint, HttpBounds bounds)
    : endpoint_(std::move(endpoint)), bounds_(bounds), handle_(std::make_unique<Handle>()) {
  InitCurlOnce();
  handle_->curl = curl_easy_init();
  if (handle_->curl == nullptr) throw WebTransportError("No HTTP connection could be set up.");
  CURL* c = handle_->curl;
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, handle_->error);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_PROXY, "");  // never a proxy from the environment
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");  // keeps the session cookie in memory
  curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
  curl_easy_setopt(c, CURLOPT_USERAGENT, "Tivolo");
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, &RequestGoesOut);
  curl_easy_setopt(c, CURLOPT_PREREQDATA, &handle_->request_sent);
  SetBounds(bounds_);
  if (endpoint_.https) {
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
  }
}

HttpClient::~HttpClient() = default;

void HttpClient::SetBounds(HttpBounds bounds) {
  bounds_ = bounds;
  CURL* c = handle_->curl;
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(bounds_.connect.count()));
  // The whole request: the connection, then the reply.
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS,
                   static_cast<long>((bounds_.connect + bounds_.reply).count()));
}

void HttpClient::SetStop(const std::atomic<bool>* stop) {
  stop_ = stop;
  CURL* c = handle_->curl;
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &StopRequested);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, stop);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, stop != nullptr ? 0L : 1L);
}

std::string HttpClient::Url(std::string_view path, const QueryParams& params) const {
  std::string url = endpoint_.https ? "https://" : "http://";
  url += endpoint_.host + ":" + std::to_string(endpoint_.port);
  url += path;
  char separator = '?';
  for (const auto& [name, value] : params) {
    url += separator;
    separator = '&';
    for (const std::string* part : {&name, &value}) {
      char* escaped = curl_easy_escape(handle_->curl, part->data(), static_cast<int>(part->size()));
      if (escaped == nullptr) throw WebTransportError("A query value could not be encoded.");
      url += escaped;
      curl_free(escaped);
      if (part == &name) url += '=';
    }
  }
  return url;
}

HttpReply HttpClient::Get(std::string_view path, const QueryParams& params) {
  std::string url = Url(path, params);
  HttpReply reply = Perform(url, false);
  if (reply.status == 401) {
    asked_for_login_ = true;
    reply = Perform(url, true);
    if (reply.status == 401) {
      throw WebAuthError("The box's web interface refused the user name \"" + endpoint_.user +
                         "\" and its password (HTTP 401).");
    }
  }
  ThrowStatus(reply, url);
  return reply;
}

HttpReply HttpClient::Perform(const std::string& url, bool with_login) {
  if (stop_ != nullptr && stop_->load(std::memory_order_acquire))
    throw WebTransportError("The request " + url + " was stopped.");
  CURL* c = handle_->curl;
  Body body;
  handle_->error[0] = '\0';
  handle_->request_sent = false;
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(c, CURLOPT_USERNAME, with_login ? endpoint_.user.c_str() : nullptr);
  curl_easy_setopt(c, CURLOPT_PASSWORD, with_login ? endpoint_.password.c_str() : nullptr);
  CURLcode code = curl_easy_perform(c);
  if (code != CURLE_OK) ThrowTransferFailure(code, url, body.too_large);
  HttpReply reply;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.status);
  reply.body = std::move(body.text);
  return reply;
}

void HttpClient::ThrowTransferFailure(int code, const std::string& url, bool too_large) {
  std::string where = endpoint_.host + ":" + std::to_string(endpoint_.port);
  std::string detail =
      handle_->error[0] != '\0' ? handle_->error : curl_easy_strerror(static_cast<CURLcode>(code));
  switch (code) {
    case CURLE_COULDNT_CONNECT:
      throw WebRefusedError("No connection to the box's web interface at " + where + ": " + detail +
                            ".");
    case CURLE_OPERATION_TIMEDOUT: {
      if (!handle_->request_sent) {
        throw WebTimeoutError("The box's web interface at " + where + " did not accept a " +
                                  "connection within " + Seconds(bounds_.connect) + ".",
                              false);
      }
      throw WebTimeoutError("The box's web interface did not answer " + url + " within " +
                                Seconds(bounds_.reply) + ".",
                            true);
    }
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
      throw WebCutReplyError("The box's reply to " + url + " broke off: " + detail + ".");
    case CURLE_ABORTED_BY_CALLBACK:
      throw WebTransportError("The request " + url + " was stopped.");
    case CURLE_WRITE_ERROR:
      if (too_large) {
        throw WebReplyError("The box's reply to " + url + " is larger than " +
                            std::to_string(kMaxReplyBytes >> 20) + " MB.");
      }
      break;
    default:
      break;
  }
  throw WebTransportError("The request " + url + " failed: " + detail + ".");
}

void HttpClient::ThrowStatus(const HttpReply& reply, const std::string& url) const {
  long s = reply.status;
  if (s >= 200 && s < 300) return;
  std::string text = "The box's web interface answered " + url + " with HTTP " + std::to_string(s);
  if (s == 403) throw WebForbiddenError(text + ": it does not serve this computer.");
  if (s == 404) throw WebNotFoundError(text + ": no such page.");
  if (s >= 300 && s < 400) {
    char* target = nullptr;
    curl_easy_getinfo(handle_->curl, CURLINFO_REDIRECT_URL, &target);
    throw WebRedirectError(
        text + ", a redirect to " + (target ? target : "nowhere") + ", which is not followed.", s);
  }
  throw WebStatusError(text + ".", s, s >= 500);
}

}  // namespace tivolo::web
