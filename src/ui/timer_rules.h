// The rules of the timer dialogs as plain functions over date-time values, so that they hold
// whatever toolkit shows them: the default begin of a new timer, the colour (validity) of the
// editor's pickers, the repetition days and the mask they make, and the time steps.
#pragma once

#include <array>
#include <cstdint>

#include "platform/clock.h"

namespace tivolo::ui {

using platform::DateTime;

// Day boxes: box 0 is Monday ... box 6 Sunday; box i stands for bit i of the mask.
inline constexpr int kDayBoxes = 7;
using DayBoxes = std::array<bool, kDayBoxes>;

// The box of the weekday of x (Monday 0 ... Sunday 6).
int WeekdayBox(DateTime x);

// ---- Channel picker ----

// The begin a new timer gets: today at 20:30 when that is less than five whole hours ahead,
// otherwise now; rounded up to the next whole ten minutes keeping the seconds; replaced by
// last_saved_end when that lies after now.
DateTime DefaultBegin(DateTime now, DateTime last_saved_end);
// Exactly two hours after the begin.
DateTime DefaultEnd(DateTime begin);

// ---- Timer editor ----

struct PickerColours {
  bool begin_red = false;  // the begin lies more than two minutes in the past
  bool end_red = false;    // the end is not after the begin
  bool operator==(const PickerColours&) const = default;
};
PickerColours ColourRule(DateTime begin, DateTime end, DateTime now);

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

// The quick buttons' end, and the key steps of the pickers.
DateTime EndAfter(DateTime begin, int minutes);
inline constexpr int kFineStepMinutes = 5;
inline constexpr int kMarginMinutes = 2;

}  // namespace tivolo::ui
