#include "web/web_interface.h"

#include <charconv>
#include <optional>

#include "web/web_error.h"
#include "web/web_replies.h"

namespace tivolo::web {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::string_view kAbout = "/api/about";
constexpr std::string_view kDeviceInfo = "/web/deviceinfo";

std::string Flag(bool on) {
  return on ? "1" : "0";
}

// The values an add and a change both send, named as the interface names them.
QueryParams TimerParams(const BoxTimer& t) {
  QueryParams params = {{"sRef", t.serviceref},
                        {"begin", std::to_string(t.begin)},
                        {"end", std::to_string(t.end)},
                        {"name", t.name},
                        {"description", t.description},
                        {"disabled", Flag(t.disabled)},
                        {"justplay", Flag(t.justplay)},
                        {"afterevent", std::to_string(static_cast<int>(t.afterevent))},
                        {"repeated", std::to_string(t.repeated)},
                        {"dirname", t.dirname},
                        {"tags", t.tags}};
  if (t.eit != 0) params.emplace_back("eit", std::to_string(t.eit));
  return params;
}

// A connection and a reply that together stay within bound.
HttpBounds Within(milliseconds bound) {
  return {bound / 2, bound - bound / 2};
}

InterfaceInfo DetectOn(HttpClient& http, std::optional<Clock::time_point> deadline) {
  try {
    const std::string body = http.Get(kAbout).body;
    InterfaceInfo info = ParseAbout(body);
    info.about = body;
    return info;
  } catch (const WebNotFoundError&) {
    // Older plugins answer only under /web/.
    if (deadline) {
      auto left = std::chrono::duration_cast<milliseconds>(*deadline - Clock::now());
      if (left < milliseconds(2)) throw;
      http.SetBounds(Within(left));
    }
  }
  return ParseDeviceInfo(http.Get(kDeviceInfo).body);
}

}  // namespace

WebInterface::WebInterface(HttpEndpoint endpoint, HttpBounds bounds)
    : http_(std::move(endpoint), bounds) {}

InterfaceInfo WebInterface::Detect() {
  return DetectOn(http_, std::nullopt);
}

std::vector<BoxTimer> WebInterface::TimerList() {
  return ParseTimerList(http_.Get("/api/timerlist").body);
}

std::vector<boxdata::ProgrammeEvent> WebInterface::ServiceGuide(std::string_view serviceref,
                                                                int64_t from) {
  std::vector<boxdata::ProgrammeEvent> events =
      ParseEpgService(http_
                          .Get("/api/epgservice",
                               {{"sRef", std::string(serviceref)}, {"time", std::to_string(from)}})
                          .body);
  // The interface gives what overlaps its time: only what has not ended counts.
  std::erase_if(events, [from](const boxdata::ProgrammeEvent& e) { return e.end <= from; });
  return events;
}

CallResult WebInterface::AddTimer(const BoxTimer& timer) {
  return Call("timeradd", TimerParams(timer));
}

CallResult WebInterface::ChangeTimer(const BoxTimer& before, const BoxTimer& after) {
  QueryParams params = TimerParams(after);
  params.insert(params.end(), {{"channelOld", before.serviceref},
                               {"beginOld", std::to_string(before.begin)},
                               {"endOld", std::to_string(before.end)}});
  return Call("timerchange", params);
}

CallResult WebInterface::DeleteTimer(const BoxTimer& timer) {
  return Call("timerdelete", {{"sRef", timer.serviceref},
                              {"begin", std::to_string(timer.begin)},
                              {"end", std::to_string(timer.end)}});
}

CallResult WebInterface::WriteTimerList() {
  return Call("timerlistwrite", {});
}

CallResult WebInterface::Call(std::string_view name, const QueryParams& params) {
  return ParseCallResult(http_.Get("/api/" + std::string(name), params).body);
}

bool TakesAfterEventNothing(std::string_view version) {
  constexpr std::string_view kPrefix = "OWIF ";
  if (!version.starts_with(kPrefix)) return true;
  version.remove_prefix(kPrefix.size());
  int major = 0, minor = 0;
  const char* end = version.data() + version.size();
  auto [after_major, error] = std::from_chars(version.data(), end, major);
  if (error != std::errc() || after_major == end || *after_major != '.') return true;
  if (std::from_chars(after_major + 1, end, minor).ec != std::errc()) return true;
  return major > 1 || (major == 1 && minor >= 4);
}

InterfaceInfo DetectInterface(const HttpEndpoint& endpoint, milliseconds bound) {
  auto deadline = Clock::now() + bound;
  HttpClient http(endpoint, Within(bound));
  return DetectOn(http, deadline);
}

}  // namespace tivolo::web
