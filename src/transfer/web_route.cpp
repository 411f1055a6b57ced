#include "transfer/web_route.h"

#include "web/web_error.h"

namespace tivolo::transfer {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Below this, what is left of the bound is not worth a request.
constexpr milliseconds kLeastForList{200};

constexpr const char* kUploadRoute = "changes are uploaded and the receiver restarted";

}  // namespace

WebDetection DetectWeb(const web::HttpEndpoint& endpoint, milliseconds bound) {
  const auto deadline = Clock::now() + bound;
  WebDetection answer;
  try {
    answer.info = web::DetectInterface(endpoint, bound);
    answer.found = true;
  } catch (const web::WebAuthError& e) {
    answer.problem = e.what();
    answer.absence = "the web interface refused the login";
    return answer;
  } catch (const web::WebForbiddenError& e) {
    answer.problem = e.what();
    answer.absence = "the web interface does not serve this computer";
    return answer;
  } catch (const std::exception& e) {
    answer.problem = e.what();
    answer.not_answering = !InterfaceAbsent(e);
    return answer;
  }
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
  if (left < kLeastForList) return answer;
  try {
    web::WebInterface box(endpoint, {left / 2, left - left / 2});
    answer.timers = box.TimerList();
  } catch (const std::exception& e) {
    answer.problem = std::string("the timer list did not come: ") + e.what();
  }
  return answer;
}

bool InterfaceAbsent(const std::exception& failure) {
  // A 401 or 403 is answered by the interface itself, and DetectWeb names it.
  return dynamic_cast<const web::WebNotFoundError*>(&failure) ||
         dynamic_cast<const web::WebReplyError*>(&failure) ||
         dynamic_cast<const web::WebRedirectError*>(&failure) ||
         dynamic_cast<const web::WebAuthError*>(&failure) ||
         dynamic_cast<const web::WebForbiddenError*>(&failure);
}

bool SameInterface(const web::HttpEndpoint& a, const web::HttpEndpoint& b) {
  return a.host == b.host && a.port == b.port && a.https == b.https;
}

const WebDetection* WebRoute::AnswerFor(const web::HttpEndpoint& interface) const {
  return detection && SameInterface(endpoint, interface) ? &*detection : nullptr;
}

SaveRoute ChooseSaveRoute(bool apply_live, const WebDetection* answer, bool upload_pending) {
  if (!apply_live || upload_pending) return SaveRoute::kUpload;
  if (!answer || (!answer->found && answer->not_answering)) return SaveRoute::kAskFirst;
  return answer->found ? SaveRoute::kLive : SaveRoute::kUpload;
}

std::string SaveRouteText(const std::string& host, const WebDetection& answer, bool apply_live) {
  const std::string box = "Box " + host + ": ";
  if (!answer.found && answer.not_answering)
    return box + "web interface not answering: Save && Exit asks it again";
  if (!answer.found) return box + answer.absence + ": " + kUploadRoute;
  const std::string found = box + "web interface " + answer.info.version;
  if (!apply_live) return found + ", live apply is off: " + kUploadRoute;
  return found + ", changes are applied live";
}

}  // namespace tivolo::transfer
