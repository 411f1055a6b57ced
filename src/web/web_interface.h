// The calls of the box's web interface that concern timers, under /api/ (JSON).
//
// Adds and changes pass every value of the timer, because a change clears what it is not
// given (folder, tags, description), and the event id when there is one, as a timer list
// file holds it; the interface looks the event up in its own guide all the same, so what it
// stored is for the caller to check. A delete passes no event id: it would match any timer
// of the same event on the channel, not only the one meant.
#pragma once

#include <string>
#include <vector>

#include "boxdata/guide_link.h"
#include "web/box_timer.h"
#include "web/http_client.h"

namespace tivolo::web {

// How long the detection at start may take in all (both of its calls together).
inline constexpr std::chrono::milliseconds kDetectBound{3000};

class WebInterface {
 public:
  explicit WebInterface(HttpEndpoint endpoint, HttpBounds bounds = {});

  // What the interface is: /api/about, or /web/deviceinfo when the first is not there.
  // Throws a WebError when there is none this program can use.
  InterfaceInfo Detect();

  std::vector<BoxTimer> TimerList();
  CallResult AddTimer(const BoxTimer& timer);
  // Finds the timer by before's service, begin and end and gives it after's values.
  CallResult ChangeTimer(const BoxTimer& before, const BoxTimer& after);
  CallResult DeleteTimer(const BoxTimer& timer);
  // The programmes of the channel `serviceref` that have not ended at `from` (UTC seconds), as
  // the receiver holds them now: its guide in memory may be newer than its guide file.
  std::vector<boxdata::ProgrammeEvent> ServiceGuide(std::string_view serviceref, int64_t from);
  // Makes the receiver write its list to its timer file (it does not after a change).
  CallResult WriteTimerList();

  HttpClient& Http() { return http_; }

 private:
  CallResult Call(std::string_view name, const QueryParams& params);

  HttpClient http_;
};

// Whether the interface of this version ("OWIF 1.3.5") takes "nothing" (0) as a timer's
// after-event. Older versions take 1 to 3 only and make any other value "auto"; the value
// was added to their calls in 2019, so versions before 1.4 are taken not to have it. A
// version that cannot be read is taken to have it.
bool TakesAfterEventNothing(std::string_view version);

// Detect() on a client of its own whose waits together stay within bound: for the start of
// the program, which must not wait on a box that does not answer.
InterfaceInfo DetectInterface(const HttpEndpoint& endpoint,
                              std::chrono::milliseconds bound = kDetectBound);

}  // namespace tivolo::web
