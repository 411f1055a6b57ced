// Shared helpers of the window tests: a zone with daylight saving time, and the dialog driver that
// acts on each modal dialog as it opens, so that the flows run through the real dialogs with key
// and mouse events and never wait for a person.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <ctime>

#include "platform/clock.h"
#include "platform/now.h"
#include "platform/time_zone.h"
#include "support/dialog_driver.h"

namespace tivolo::ui::testing {

// The zone of every window test (TZ in the test's environment): Central European rules, read
// as the program reads them.
inline platform::ClockSettings ZoneClock() {
  platform::ClockSettings c;
  c.utc_auto = true;
  c.time_zone = platform::ReadSystemTimeZone();
  return c;
}

inline platform::DateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
  return platform::AddSeconds(platform::EncodeDate(y, mo, d), h * 3600 + mi * 60 + s);
}

using tivolo::testing::Control;
using tivolo::testing::DialogScript;

}  // namespace tivolo::ui::testing
