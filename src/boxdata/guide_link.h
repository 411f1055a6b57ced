// The guide beside the program's own tables: which guide service a channel is, which events a
// timer already covers, and the timer a picked event makes. No windows here: the picker's
// guide list and the search window only show what these functions give.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/box_settings.h"
#include "boxdata/guide_file.h"
#include "platform/clock.h"

namespace tivolo::boxdata {

// The guide's key of a channel's service reference (the Zenders table's Service field, such
// as "1:0:19:283D:3FB:1:C00000:0:0:0:"): its fourth, fifth and sixth fields, the service id,
// transport stream id and original network id; the namespace does not count, as the guide
// has none. Nothing for a reference with fewer than six fields or a field that is not
// hexadecimal.
std::optional<GuideServiceKey> GuideKeyOf(std::string_view service_reference);

// The guide's service of a key or of a channel's service reference; nothing when the guide
// has no events for it.
std::optional<uint32_t> FindGuideService(const Guide& guide, const GuideServiceKey& key);
std::optional<uint32_t> FindGuideService(const Guide& guide, std::string_view service_reference);

// A programme as the windows offer it, from the guide file or from the box's web interface:
// its times in UTC seconds and its texts in UTF-8.
struct ProgrammeEvent {
  int64_t begin = 0;
  int64_t end = 0;
  int64_t event_id = 0;
  std::string title;
  std::string short_text;
};

// The programme of a guide event, its texts decoded now.
ProgrammeEvent ProgrammeOf(const Guide& guide, const GuideEvent& event);

// The new timer for a picked event, with the box's margins: begin is the event's start less
// the margin before, end its end plus the margin after, both as local date-times of the
// clock settings and as the UTC seconds they stand for (so that a time in the hour a
// daylight-saving change repeats keeps its instant); the name is the title, the description
// the short text and the eit the event id. Name and description are whole; the table's
// fields cut them to their sizes.
struct TimerFromEvent {
  platform::DateTime begin = 0;
  platform::DateTime end = 0;
  int64_t begin_seconds = 0;
  int64_t end_seconds = 0;
  std::string name;
  std::string description;
  int64_t eit = 0;
};
TimerFromEvent TimerForEvent(const ProgrammeEvent& event, const BoxSettings& margins,
                             const platform::ClockSettings& clock);
TimerFromEvent TimerForEvent(const Guide& guide, const GuideEvent& event,
                             const BoxSettings& margins, const platform::ClockSettings& clock);

// An event's begin and end as local date-times of the clock settings (for the lists).
struct LocalTimes {
  platform::DateTime begin = 0;
  platform::DateTime end = 0;
};
LocalTimes EventLocalTimes(const GuideEvent& event, const platform::ClockSettings& clock);

// A timer as the marking needs it: its service reference and its times in UTC seconds.
struct TimerSpan {
  std::string service_reference;
  int64_t begin = 0;
  int64_t end = 0;
};
// The span of a timer of the Timers table, whose Begin and End are local date-times.
TimerSpan TimerSpanOf(std::string service_reference, platform::DateTime local_begin,
                      platform::DateTime local_end, const platform::ClockSettings& clock);

// A timer covers an event of its own channel when it runs from the event's start (or before)
// to its end (or after).
bool Covers(const Guide& guide, const TimerSpan& timer, const GuideEvent& event);
// The same for a programme of the channel `service_reference` (one the web interface gave).
bool Covers(const TimerSpan& timer, std::string_view service_reference,
            const ProgrammeEvent& event);

// One flag per event of guide.Events(): true when any of the timers covers the event.
std::vector<bool> CoveredEvents(const Guide& guide, std::span<const TimerSpan> timers);

}  // namespace tivolo::boxdata
