// Reading the interface's replies. Each throws WebReplyError for a reply that is not JSON or
// lacks what the call must answer; fields beyond those are ignored, and a field of another
// type than expected (a number as a string, null for a text) is taken as well as it can be,
// since the plugin's versions differ there.
#pragma once

#include <string_view>
#include <vector>

#include "boxdata/guide_link.h"
#include "web/box_timer.h"

namespace tivolo::web {

// /api/timerlist: {"result": true, "timers": [...]}.
std::vector<BoxTimer> ParseTimerList(std::string_view body);

// /api/timeradd, timerchange, timerdelete, timerlistwrite: {"result": ..., "conflicts": [...]}.
CallResult ParseCallResult(std::string_view body);

// /api/epgservice: {"result": true, "events": [{"id", "begin_timestamp", "duration_sec",
// "title", "shortdesc", ...}]}, texts HTML-escaped as the interface sends them in JSON. The
// interface fills an empty list with one placeholder ("N/A", no time), which is left out, as
// is any entry without an id or a length.
std::vector<boxdata::ProgrammeEvent> ParseEpgService(std::string_view body);

// /api/about: {"info": {"webifver": "OWIF ...", ...}}. Throws WebReplyError when the
// interface is not one whose calls this client knows.
InterfaceInfo ParseAbout(std::string_view body);

// /web/deviceinfo (XML): the version in <e2webifversion>, with the same check.
InterfaceInfo ParseDeviceInfo(std::string_view xml);

}  // namespace tivolo::web
