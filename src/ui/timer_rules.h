// The rules of the timer dialogs as plain functions over date-time values and the Timers
// table, so that they hold whatever toolkit shows them: the defaults of a new timer, the
// validity (the colours) of the editor's pickers, the repetition days and the mask they make,
// and the time steps. The table holds wall-clock times; every rule that compares or adds
// time works on the instants they stand for, read as the timer list writer reads them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "boxdata/guide_link.h"
#include "boxdata/timer_writer.h"
#include "platform/clock.h"
#include "store/mem_table.h"

namespace tivolo::ui {

using platform::DateTime;

// The clock settings in use and the current moment.
struct ClockNow {
  platform::ClockSettings clock;
  DateTime utc = 0;
  DateTime Local() const { return platform::UtcToLocal(utc, clock); }
};

// The wall time x with its seconds (and fractions) cut off.
DateTime WholeMinute(DateTime x);

// The wall time `minutes` real minutes after the instant utc (before it for a negative
// count), in whole minutes: on the night daylight time starts, 01:30 and two hours is 04:30.
DateTime WallTimeAfter(DateTime utc, int minutes, const platform::ClockSettings& clock);

// Day boxes: box 0 is Monday ... box 6 Sunday; box i stands for bit i of the mask.
inline constexpr int kDayBoxes = 7;
using DayBoxes = std::array<bool, kDayBoxes>;

// The box of the weekday of x (Monday 0 ... Sunday 6).
int WeekdayBox(DateTime x);

// ---- Channel picker ----

// The begin a new timer gets, from the local now: today at 20:30 when that is less than five
// whole hours ahead, otherwise now, rounded up to the next whole ten minutes; replaced by
// last_saved_end when that lies after now. Always in whole minutes.
DateTime DefaultBegin(DateTime now_local, DateTime last_saved_end);

inline constexpr int kDefaultMinutes = 120;
inline constexpr int kDefaultEit = 98;

// Writes a new timer's channel and defaults into the Timers record being inserted: the begin
// above, an end two real hours later, repetition 0, after-event "nothing", not zap-only, not
// disabled, eit 98. Name and description stay empty.
void FillNewTimer(store::MemTable& timers, const std::string& zender, const std::string& service,
                  const ClockNow& now, DateTime last_saved_end);

// Writes the timer of a programme picked from the guide into the Timers record being
// inserted: the channel, the event's begin and end with the box's margins, its title as the
// name (through the code page, like names read from the box), its short text as the
// description and its event id; the flags as for any new timer. The times keep the instants
// they were made from, also in the hour a daylight-saving change repeats.
void FillTimerForEvent(store::MemTable& timers, const std::string& zender,
                       const std::string& service, const boxdata::TimerFromEvent& timer);

// ---- Timer editor ----

// The instants a record's begin and end stand for: the seconds the writer gives them.
struct TimerInstants {
  DateTime begin = 0;  // UTC
  DateTime end = 0;
};
TimerInstants InstantsOf(const store::RecordBuffer& record, const boxdata::TimerTimeFields& fields,
                         const ClockNow& now);

inline constexpr int kMarginMinutes = 2;
inline constexpr int kFineStepMinutes = 5;
inline constexpr int kHourStepMinutes = 60;

// The editor's validation state. Red on a picker marks its value as refused; Save refuses
// while any part is set.
struct TimerValidity {
  bool begin_red = false;   // the begin lies more than two minutes before now
  bool end_red = false;     // the end is not after the begin
  bool no_channel = false;  // the timer has no service reference: the box cannot record it
  // The timer has no name, and the save goes through the box's web interface, which takes
  // none without one.
  bool name_missing = false;
  bool CanSave() const { return !begin_red && !end_red && !no_channel && !name_missing; }
  bool operator==(const TimerValidity&) const = default;
};

// The colour rule over instants. A begin the user did not change (an existing timer's, as the
// editor opened it) is never red for lying in the past, so a running recording can still be
// extended.
TimerValidity ColourRule(const TimerInstants& t, bool begin_changed, DateTime now_utc);

// The editor's whole check of the record: the colour rule on its instants and its channel.
TimerValidity CheckTimer(const store::RecordBuffer& record, const boxdata::TimerTimeFields& fields,
                         const std::string& serviceref, bool begin_changed, const ClockNow& now);

// What the editor says under its pickers while Save would refuse the timer: the first of
// "Begin lies in the past", "End is not after Begin" and the web interface's want of a name;
// empty when nothing stands in the way.
std::string RefusalReason(const TimerValidity& validity);

// A programme picked from the guide that is on already (its begin, with the margin, lies
// before now): the timer records the rest of it, from now rounded down to the minute.
boxdata::TimerFromEvent FromNowOn(boxdata::TimerFromEvent timer, const ClockNow& now);

// The value a picker keeps after a change: whole minutes, unless it is back at the value it
// showed when the editor opened (a time read from the box keeps its seconds).
DateTime EnteredValue(DateTime shown, DateTime opened);

// What the editor shows when it opens on a stored mask: whether "Repeated:" is ticked and
// which day boxes are. A positive mask ticks the begin's weekday and every set bit 0 to 6.
struct Repetition {
  bool repeated = false;
  DayBoxes days{};
  bool operator==(const Repetition&) const = default;
};
Repetition RepetitionOnOpening(int32_t repeated_org, DateTime begin);

// The rule run when "Repeated:" is clicked or left: when ticked with no day box ticked, the
// begin's weekday is ticked. Returns whether the day boxes show.
bool ApplyRepetitionRule(bool repeated, DayBoxes& days, DateTime begin);

// The mask Save stores: 0 unless repeated, else the sum of 2^i over the ticked boxes.
int32_t MaskFromBoxes(bool repeated, const DayBoxes& days);

}  // namespace tivolo::ui
