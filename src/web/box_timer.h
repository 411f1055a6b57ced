// A timer as the box's web interface lists it and takes it, and the plain answers of its
// calls. Texts are UTF-8; times are seconds since 1970 UTC, as the box keeps them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tivolo::web {

// What the box does after a recording, numbered as the interface numbers it.
enum class AfterEvent : int { kNothing = 0, kStandby = 1, kDeepStandby = 2, kAuto = 3 };

// The names the box's timer file uses ("nothing", "standby", "deepstandby", "auto").
std::string_view AfterEventName(AfterEvent event);
std::optional<AfterEvent> AfterEventFromName(std::string_view name);

// The state the box reports for a timer.
enum class TimerState : int { kWaiting = 0, kPrepared = 1, kRunning = 2, kEnded = 3 };

// Members all have initializers, so that a timer can be written with only the fields that
// matter named ({.serviceref = ..., .begin = ...}).
struct BoxTimer {
  std::string serviceref{};
  std::string servicename{};  // as the box names the channel; not sent
  std::string name{};
  std::string description{};
  int64_t begin = 0;
  int64_t end = 0;
  TimerState state = TimerState::kWaiting;  // not sent
  bool disabled = false;
  bool justplay = false;
  AfterEvent afterevent = AfterEvent::kAuto;
  int repeated = 0;       // bit 0 Monday ... bit 6 Sunday
  int64_t eit = 0;        // the event the box recorded the timer from; 0 for none; not sent
  std::string dirname{};  // the recording folder; empty for the box's default
  std::string tags{};     // space-separated
};

// The timer's status as the grid shows it: "waiting", "running", "done" or "disabled".
std::string_view StatusText(const BoxTimer& timer);

// A timer the box names as colliding with one it refused.
struct TimerConflict {
  std::string serviceref;
  std::string servicename;
  std::string name;
  int64_t begin = 0;
  int64_t end = 0;
};

// The answer to a call that changes the list: "result", and the conflicts when refused for
// them. The message that comes with it is translated on the box and never read.
struct CallResult {
  bool ok = false;
  std::vector<TimerConflict> conflicts;
};

// What the box's interface says it is.
struct InterfaceInfo {
  std::string version;  // "OWIF 1.5.2"
  std::string model;
  int tuners = 0;     // 0 when not told
  std::string about;  // /api/about's reply as it came (its tuners' types); empty from deviceinfo
};

// The first eleven fields of a service reference, upper case: how the box compares them.
std::string ReferenceHead(std::string_view serviceref);

// Tags as the box keeps them: the words, one blank between each; blanks around them and
// repeated blanks say nothing.
std::string TagWords(const std::string& tags);

}  // namespace tivolo::web
