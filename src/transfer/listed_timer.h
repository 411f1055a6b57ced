// The timers of a list as content, whatever the layout that wrote them: receivers write their
// own attribute order, quoting, entity forms, indentation and self-closing form, so two lists
// are compared timer by timer on what each timer holds, never as text.
//
// A timer is identified by its service reference, begin and end. A repeated timer's begin and
// end move to its next occurrence on the box, so it is identified by its service reference,
// repeat mask and local times of day instead, and its content holds those times of day.
// Service references are compared as ComparableReference gives them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/timer_file.h"
#include "platform/clock.h"

namespace tivolo::transfer {

// The attributes the program reads and the user edits; the receiver adds others of its own
// (margins, the event's own times, the recording's file, ...) and log lines.
inline constexpr std::string_view kTimerFields[] = {
    "begin",       "end",        "serviceref", "repeated", "name",
    "description", "afterevent", "eit",        "disabled", "justplay"};

// A service reference as two lists that hold the same service agree on it: the receiver writes
// a stream's reference without its last ":", and the hexadecimal digits of the reference's
// fields and of a stream address's escapes may come in either case.
std::string ComparableReference(std::string_view reference);

struct ListedTimer {
  boxdata::TimerValues values;  // as read; written back through them
  std::string identity;         // equal for the same timer in two lists
  // Every attribute with its decoded value (known ones in one form whether written or left
  // out) and the child lines, trimmed: equal when the timer holds the same.
  std::map<std::string, std::string> content;
  std::vector<std::string> children;
  // For the user's list: the identity of the timer as read, when it was read from the box
  // and not added here. The merge pairs it with the box's timer by this, so that a changed
  // begin or end is a change of that timer.
  std::optional<std::string> origin;

  int64_t Begin() const { return values.begin.value_or(0); }
  int64_t End() const { return values.end.value_or(0); }
  bool Repeated() const { return values.repeated != 0; }
  bool SameContent(const ListedTimer& other) const {
    return content == other.content && children == other.children;
  }
  // Sets `identity` again from the content, after fields were taken from another timer.
  void Reidentify();
  // Takes one of kTimerFields (its value and its content) from another timer of the same
  // service, repeat mask and clock.
  void TakeField(const ListedTimer& from, std::string_view field);
};

struct TimerList {
  std::vector<ListedTimer> timers;
  bool complete = false;              // read to its end, every timer whole
  std::vector<std::string> problems;  // why not, for the log
};

// The clock settings give a repeated timer's local times of day.
TimerList ReadTimerList(std::string_view bytes, const platform::ClockSettings& clock);

// The same timers, each as often, whatever the order and layout.
bool SameTimers(const std::vector<ListedTimer>& a, const std::vector<ListedTimer>& b);

// Whether the box's list after a restart still holds what was put there: every timer of
// `sent` that has not ended by `now`, and nothing that was not sent. The receiver drops one-shot
// timers that ended on its own, so those may be gone.
bool StillHolds(const TimerList& box, const TimerList& sent, int64_t now);

// In begin and end order, as the program writes a list.
void SortForWriting(std::vector<ListedTimer>& timers);

// The list's text as the program writes it (declaration, the timers in begin and end order,
// CR LF line ends).
std::string TimerListText(std::vector<ListedTimer> timers);

// For messages: "BBC One Mon 07-12-26  20:30-22:00 \"News\"".
class TimerLabeller {
 public:
  TimerLabeller(platform::ClockSettings clock, std::map<std::string, std::string> channel_names)
      : clock_(std::move(clock)), channel_names_(std::move(channel_names)) {}
  std::string Label(const ListedTimer& timer) const;
  std::string Channel(const ListedTimer& timer) const;
  // "hh:nn" of a second count in local time.
  std::string TimeOfDay(int64_t seconds) const;

 private:
  platform::ClockSettings clock_;
  std::map<std::string, std::string> channel_names_;  // by service reference
};

}  // namespace tivolo::transfer
