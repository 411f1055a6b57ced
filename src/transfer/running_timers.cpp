#include "transfer/running_timers.h"

#include <cmath>

namespace tivolo::transfer {
namespace {

constexpr int kDaysPerWeek = 7;

int64_t ToUtcSeconds(platform::DateTime local, const platform::ClockSettings& clock) {
  return platform::DateTimeToEpoch(platform::LocalToUtc(local, clock));
}

// The end of the repeated timer's occurrence that runs at `now`, or 0. Its days are bit 0
// Monday to bit 6 Sunday; an occurrence may have begun the day before and run past midnight.
int64_t RunningOccurrenceEnd(const ListedTimer& t, int64_t now,
                             const platform::ClockSettings& clock) {
  const platform::DateTime begin_local =
      platform::UtcToLocal(platform::EpochToDateTime(static_cast<int32_t>(t.Begin())), clock);
  const platform::DateTime begin_time = begin_local - std::floor(begin_local);
  const int64_t length = t.End() - t.Begin();
  const platform::DateTime today =
      std::floor(platform::UtcToLocal(platform::EpochToDateTime(static_cast<int32_t>(now)), clock));
  for (int back = 0; back <= 1; ++back) {
    const platform::DateTime day = today - back;
    const int monday_based = (platform::DayOfWeek(day) + 6) % kDaysPerWeek;
    if ((t.values.repeated & (int64_t{1} << monday_based)) == 0) continue;
    const int64_t begin = ToUtcSeconds(day + begin_time, clock);
    if (begin <= now && now < begin + length) return begin + length;
  }
  return 0;
}

}  // namespace

std::vector<RunningRecording> RunningRecordings(const std::vector<ListedTimer>& timers, int64_t now,
                                                const platform::ClockSettings& clock) {
  std::vector<RunningRecording> running;
  for (const ListedTimer& t : timers) {
    if (t.values.disabled != 0 || t.values.justplay != 0) continue;
    if (t.Begin() <= now && now < t.End()) {
      running.push_back({t, t.End()});
      continue;
    }
    if (!t.Repeated()) continue;
    if (const int64_t end = RunningOccurrenceEnd(t, now, clock); end != 0)
      running.push_back({t, end});
  }
  return running;
}

std::string RunningRecordingQuestion(const std::vector<RunningRecording>& running,
                                     const TimerLabeller& labeller) {
  std::string what;
  for (const RunningRecording& r : running) {
    if (!what.empty()) what += ", ";
    what += labeller.Channel(r.timer) + " " + r.timer.values.name + " until " +
            labeller.TimeOfDay(r.end);
  }
  const bool one = running.size() == 1;
  return std::string(one ? "A recording is running on the box: "
                         : "Recordings are running on the box: ") +
         what + ". Restarting the receiver now cuts " + (one ? "it" : "them") +
         " into two files. Save and restart anyway?";
}

}  // namespace tivolo::transfer
