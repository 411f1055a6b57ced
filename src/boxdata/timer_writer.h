// Writing the Timers table as the box's timer list "timers.new": the declaration, "<timers>",
// per record its timer line (the ten attributes, then the kept ones), its kept child lines
// and "</timer>", then "</timers>"; every line ends with CR LF. Also the one rule of which
// seconds a begin and an end stand for, which the check of the written list shares.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/now.h"
#include "store/mem_table.h"

namespace tivolo::boxdata {

// The fields of Timers that decide the seconds of a begin and an end.
struct TimerTimeFields {
  explicit TimerTimeFields(const store::MemTable& timers);
  const store::Field& begin;
  const store::Field& end;
  const store::Field& begin_read;  // the local time as read from the box
  const store::Field& end_read;
  const store::Field& begin_seconds;  // the seconds as read from the box
  const store::Field& end_seconds;
};

struct TimerSeconds {
  int64_t begin = 0;  // since 1970 UTC
  int64_t end = 0;
};

// The seconds the box gets for a record's begin and end. A time still equal to the value it
// was read with keeps the seconds it was read with (the clock cannot give them back in the
// repeated hour at the end of daylight time); any other is read with LocalToUtcAhead, the
// begin ahead of now_utc and the end ahead of EndAheadOf(begin, now_utc).
TimerSeconds WrittenSeconds(const store::RecordBuffer& record, const TimerTimeFields& fields,
                            const platform::ClockSettings& clock, platform::DateTime now_utc);

// The whole file text, the stored records in the table's current order, read through the
// table's view: the cursor stays where it is and a pending change stays pending (a record
// being edited is written as the grid shows it; a new record not yet posted is left out).
// Times by WrittenSeconds with now_utc.
std::string BuildTimerList(store::MemTable& timers, const platform::ClockSettings& clock,
                           const platform::CodePage& code_page = platform::CodePage::System(),
                           platform::DateTime now_utc = platform::NowUtc());

// Writes BuildTimerList to local_dir / "timers.new" with platform::ReplaceFile, so a failed
// write leaves any earlier file whole.
// FileCreateError "Cannot create file <path>" on any failure.
void WriteTimerList(store::MemTable& timers, const std::filesystem::path& local_dir,
                    const platform::ClockSettings& clock,
                    const platform::CodePage& code_page = platform::CodePage::System());

// Writes a list's text as local_dir / "timers.new" in the same way.
void WriteTimerListText(std::string_view text, const std::filesystem::path& local_dir);

// Re-expresses every timer's Begin and End, and BeginRead and EndRead, from the clock
// settings `from` to `to`, so that each keeps the instant it stands for (WrittenSeconds with
// now_utc) and a time the user did not change still counts as unchanged. The table must be
// in browse state; its cursor stays on the same record. Fields without a value stay so.
void ReexpressTimerTimes(store::MemTable& timers, const platform::ClockSettings& from,
                         const platform::ClockSettings& to, platform::DateTime now_utc);

}  // namespace tivolo::boxdata
