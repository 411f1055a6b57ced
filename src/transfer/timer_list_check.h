// The check of the written timer list: read back with our own reader before it goes to the
// box, it must hold exactly the timers of the table, each in a form the receiver can load.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "store/mem_table.h"

namespace tivolo::transfer {

// One timer as the written list must give it back.
struct ExpectedTimer {
  int64_t begin = 0;  // seconds since 1970 UTC
  int64_t end = 0;
  std::string serviceref;
  std::string name;  // only for messages
  // The timer's place in the list the table was read from; none for a timer added here.
  std::optional<int64_t> list_index;
};

// The after-event names the receiver can read; any other stops it at start.
inline constexpr std::string_view kAfterEvents[] = {"nothing", "standby", "deepstandby", "auto"};

// The timers of the table as the writer writes them with the same now_utc, in the same order
// and through the same view, so neither the cursor nor a pending change is touched.
std::vector<ExpectedTimer> ExpectedTimers(store::MemTable& timers,
                                          const platform::ClockSettings& clock,
                                          platform::DateTime now_utc);

// Empty when bytes, read with the timer list reader, is a whole list holding exactly the
// expected timers (count, begin, end, service reference) with every begin, end and repeated
// a whole number and every after-event one the receiver knows; otherwise the first fault.
std::string CheckWrittenList(std::string_view bytes, const std::vector<ExpectedTimer>& expected);

}  // namespace tivolo::transfer
