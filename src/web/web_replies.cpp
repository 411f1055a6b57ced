#include "web/web_replies.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <limits>
#include <string>

#include "boxdata/xml_scan.h"
#include "boxdata/xml_text.h"
#include "web/web_error.h"

namespace tivolo::web {

namespace {

using Json = nlohmann::json;

constexpr std::string_view kKnownInterface = "OWIF";
// Beyond any time a programme has; keeps its begin plus its length within range.
constexpr int64_t kLatestSeconds = std::numeric_limits<int64_t>::max() / 4;
// The plugin lists a timer without a recording folder with this text.
constexpr std::string_view kNoFolder = "None";

Json Parse(std::string_view body, std::string_view call) {
  Json json = Json::parse(body, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    throw WebReplyError("The box's answer to " + std::string(call) + " is not JSON: \"" +
                        std::string(body.substr(0, 60)) + "\".");
  }
  return json;
}

std::string Text(const Json& o, const char* key) {
  auto it = o.find(key);
  if (it == o.end() || it->is_null()) return {};
  if (it->is_string()) return it->get<std::string>();
  return it->dump();
}

int64_t Number(const Json& o, const char* key) {
  auto it = o.find(key);
  if (it == o.end()) return 0;
  if (it->is_number_integer()) return it->get<int64_t>();
  if (it->is_number_float()) {
    // Only a value within range converts; NaN and the infinities fail both tests.
    double d = it->get<double>();
    return d > -9.2e18 && d < 9.2e18 ? static_cast<int64_t>(d) : 0;
  }
  if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
  if (it->is_string()) {
    const std::string& s = it->get_ref<const std::string&>();
    int64_t value = 0;
    std::from_chars(s.data(), s.data() + s.size(), value);
    return value;
  }
  return 0;
}

BoxTimer ReadTimer(const Json& t) {
  BoxTimer timer;
  timer.serviceref = Text(t, "serviceref");
  timer.servicename = Text(t, "servicename");
  timer.name = Text(t, "name");
  timer.description = Text(t, "description");
  timer.begin = Number(t, "begin");
  timer.end = Number(t, "end");
  int64_t state = Number(t, "state");
  timer.state = state >= 0 && state <= 3 ? static_cast<TimerState>(state) : TimerState::kWaiting;
  timer.disabled = Number(t, "disabled") != 0;
  timer.justplay = Number(t, "justplay") != 0;
  int64_t after = Number(t, "afterevent");
  timer.afterevent = after >= 0 && after <= 3 ? static_cast<AfterEvent>(after) : AfterEvent::kAuto;
  timer.repeated = static_cast<int>(Number(t, "repeated"));
  timer.eit = Number(t, "eit");
  timer.dirname = Text(t, "dirname");
  if (timer.dirname == kNoFolder) timer.dirname.clear();
  timer.tags = Text(t, "tags");
  return timer;
}

InterfaceInfo CheckVersion(InterfaceInfo info, std::string_view call) {
  if (info.version.rfind(kKnownInterface, 0) != 0) {
    throw WebReplyError("The box's web interface (" + std::string(call) + ": \"" + info.version +
                        "\") is not one whose timer calls this program knows.");
  }
  return info;
}

}  // namespace

std::vector<BoxTimer> ParseTimerList(std::string_view body) {
  Json json = Parse(body, "timerlist");
  auto result = json.find("result");
  auto timers = json.find("timers");
  if (result == json.end() || *result != true || timers == json.end() || !timers->is_array()) {
    throw WebReplyError("The box did not give its timer list.");
  }
  std::vector<BoxTimer> list;
  list.reserve(timers->size());
  for (const Json& t : *timers) {
    if (t.is_object()) list.push_back(ReadTimer(t));
  }
  return list;
}

std::vector<boxdata::ProgrammeEvent> ParseEpgService(std::string_view body) {
  Json json = Parse(body, "epgservice");
  auto events = json.find("events");
  if (events == json.end() || !events->is_array())
    throw WebReplyError("The box did not give the channel's guide.");
  std::vector<boxdata::ProgrammeEvent> list;
  for (const Json& e : *events) {
    if (!e.is_object()) continue;
    const int64_t id = Number(e, "id");
    const int64_t begin = Number(e, "begin_timestamp");
    const int64_t duration = Number(e, "duration_sec");
    if (id <= 0 || begin <= 0 || duration <= 0 || begin > kLatestSeconds ||
        duration > kLatestSeconds)
      continue;
    list.push_back({begin, begin + duration, id, boxdata::XmlUnescape(Text(e, "title")),
                    boxdata::XmlUnescape(Text(e, "shortdesc"))});
  }
  return list;
}

CallResult ParseCallResult(std::string_view body) {
  Json json = Parse(body, "the timer call");
  auto result = json.find("result");
  if (result == json.end() || !result->is_boolean()) {
    throw WebReplyError("The box's answer to a timer call has no result.");
  }
  CallResult call{result->get<bool>(), {}};
  auto conflicts = json.find("conflicts");
  if (conflicts != json.end() && conflicts->is_array()) {
    for (const Json& c : *conflicts) {
      if (!c.is_object()) continue;
      call.conflicts.push_back({Text(c, "serviceref"), Text(c, "servicename"), Text(c, "name"),
                                Number(c, "begin"), Number(c, "end")});
    }
  }
  return call;
}

InterfaceInfo ParseAbout(std::string_view body) {
  Json json = Parse(body, "about");
  auto info = json.find("info");
  if (info == json.end() || !info->is_object()) {
    throw WebReplyError("The box's answer to about says nothing about the interface.");
  }
  InterfaceInfo result{Text(*info, "webifver"), Text(*info, "model"), 0, {}};
  auto tuners = info->find("tuners");
  if (tuners != info->end() && tuners->is_array()) result.tuners = static_cast<int>(tuners->size());
  return CheckVersion(std::move(result), "about");
}

InterfaceInfo ParseDeviceInfo(std::string_view xml) {
  InterfaceInfo info;
  boxdata::XmlTokenizer tokens(xml);
  std::string_view element;
  for (boxdata::XmlToken t = tokens.Next(); t.kind != boxdata::XmlToken::Kind::kEnd;
       t = tokens.Next()) {
    if (t.kind == boxdata::XmlToken::Kind::kStartTag) element = t.name;
    if (t.kind == boxdata::XmlToken::Kind::kEndTag) element = {};
    if (t.kind != boxdata::XmlToken::Kind::kText) continue;
    std::string text = boxdata::XmlUnescape(xml.substr(t.begin, t.end - t.begin));
    if (element == "e2webifversion") info.version = text;
    if (element == "e2devicename") info.model = text;
  }
  return CheckVersion(std::move(info), "deviceinfo");
}

}  // namespace tivolo::web
