// The one source of "now" for the whole program: every rule that compares with the current
// time (the editor's colours, the picker's default begin, the reader's "ended a day ago")
// asks here, so that tests can fix the moment whatever the machine's clock says.
#pragma once

#include <functional>

#include "platform/clock.h"

namespace tivolo::platform {

// Seconds since 1970-01-01 00:00 UTC, with the fraction of a second.
using NowSource = std::function<double()>;

// The current moment as UTC seconds; the system clock unless a source is set.
double NowEpochSeconds();
// The current moment as a UTC date-time, and as local time by the settings' rules.
DateTime NowUtc();
DateTime NowLocal(const ClockSettings& settings);

// Replaces the source for the whole process; an empty source restores the system clock.
void SetNowSource(NowSource source);

// Fixes "now" at one UTC moment for the life of the object (tests).
class ScopedNow {
 public:
  explicit ScopedNow(double epoch_seconds);
  ~ScopedNow();
  ScopedNow(const ScopedNow&) = delete;
  ScopedNow& operator=(const ScopedNow&) = delete;
  void Set(double epoch_seconds) { seconds_ = epoch_seconds; }

 private:
  double seconds_;
};

// The UTC seconds at which the local clock shows the given local date-time (for tests that
// must run at a wall-clock time in a chosen zone).
double EpochSecondsOfLocal(DateTime local, const ClockSettings& settings);

}  // namespace tivolo::platform
