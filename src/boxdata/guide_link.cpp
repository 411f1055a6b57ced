#include "boxdata/guide_link.h"

#include <algorithm>
#include <limits>
#include <tuple>

#include "boxdata/errors.h"
#include "boxdata/service_reference.h"

namespace tivolo::boxdata {
namespace {

constexpr int kSecondsPerMinute = 60;

bool KeyBefore(const GuideServiceKey& a, const GuideServiceKey& b) {
  return std::tie(a.service_id, a.transport_stream_id, a.original_network_id) <
         std::tie(b.service_id, b.transport_stream_id, b.original_network_id);
}

platform::DateTime LocalOf(int64_t utc_seconds, const platform::ClockSettings& clock) {
  const int64_t clamped = std::clamp<int64_t>(utc_seconds, std::numeric_limits<int32_t>::min(),
                                              std::numeric_limits<int32_t>::max());
  return platform::UtcToLocal(platform::EpochToDateTime(static_cast<int32_t>(clamped)), clock);
}

}  // namespace

std::optional<GuideServiceKey> GuideKeyOf(std::string_view service_reference) {
  ReferenceFields fields;
  try {
    fields = ParseReferenceFields(service_reference);
  } catch (const ConversionError&) {
    return std::nullopt;
  }
  if (fields.count < 6) return std::nullopt;
  return GuideServiceKey{fields.value[3], fields.value[4], fields.value[5]};
}

std::optional<uint32_t> FindGuideService(const Guide& guide, const GuideServiceKey& key) {
  // The reader keeps the services in key order.
  const auto& services = guide.Services();
  const auto it = std::lower_bound(
      services.begin(), services.end(), key,
      [](const GuideService& s, const GuideServiceKey& k) { return KeyBefore(s.key, k); });
  if (it == services.end() || !(it->key == key)) return std::nullopt;
  return static_cast<uint32_t>(it - services.begin());
}

std::optional<uint32_t> FindGuideService(const Guide& guide, std::string_view service_reference) {
  const std::optional<GuideServiceKey> key = GuideKeyOf(service_reference);
  if (!key) return std::nullopt;
  return FindGuideService(guide, *key);
}

ProgrammeEvent ProgrammeOf(const Guide& guide, const GuideEvent& event) {
  GuideEventTexts texts = guide.Texts(event);
  return {event.begin, event.End(), event.event_id, std::move(texts.title),
          std::move(texts.short_text)};
}

TimerFromEvent TimerForEvent(const ProgrammeEvent& event, const BoxSettings& margins,
                             const platform::ClockSettings& clock) {
  TimerFromEvent timer;
  timer.begin_seconds = event.begin - int64_t{margins.margin_before_minutes} * kSecondsPerMinute;
  timer.end_seconds = event.end + int64_t{margins.margin_after_minutes} * kSecondsPerMinute;
  timer.begin = LocalOf(timer.begin_seconds, clock);
  timer.end = LocalOf(timer.end_seconds, clock);
  timer.name = event.title;
  timer.description = event.short_text;
  timer.eit = event.event_id;
  return timer;
}

TimerFromEvent TimerForEvent(const Guide& guide, const GuideEvent& event,
                             const BoxSettings& margins, const platform::ClockSettings& clock) {
  return TimerForEvent(ProgrammeOf(guide, event), margins, clock);
}

LocalTimes EventLocalTimes(const GuideEvent& event, const platform::ClockSettings& clock) {
  return {LocalOf(event.begin, clock), LocalOf(event.End(), clock)};
}

TimerSpan TimerSpanOf(std::string service_reference, platform::DateTime local_begin,
                      platform::DateTime local_end, const platform::ClockSettings& clock) {
  return {std::move(service_reference),
          platform::DateTimeToEpoch(platform::LocalToUtc(local_begin, clock)),
          platform::DateTimeToEpoch(platform::LocalToUtc(local_end, clock))};
}

bool Covers(const Guide& guide, const TimerSpan& timer, const GuideEvent& event) {
  return timer.begin <= event.begin && timer.end >= event.End() &&
         FindGuideService(guide, timer.service_reference) == event.service;
}

bool Covers(const TimerSpan& timer, std::string_view service_reference,
            const ProgrammeEvent& event) {
  if (timer.begin > event.begin || timer.end < event.end) return false;
  const std::optional<GuideServiceKey> key = GuideKeyOf(service_reference);
  return key && GuideKeyOf(timer.service_reference) == key;
}

std::vector<bool> CoveredEvents(const Guide& guide, std::span<const TimerSpan> timers) {
  std::vector<bool> covered(guide.Events().size(), false);
  for (const TimerSpan& timer : timers) {
    const std::optional<uint32_t> service = FindGuideService(guide, timer.service_reference);
    if (!service) continue;
    const std::span<const GuideEvent> events = guide.EventsOf(*service);
    // The events from the first that starts at the timer's begin or later.
    auto it = std::partition_point(events.begin(), events.end(),
                                   [&](const GuideEvent& e) { return e.begin < timer.begin; });
    for (; it != events.end() && it->End() <= timer.end; ++it)
      covered[static_cast<size_t>(&*it - guide.Events().data())] = true;
  }
  return covered;
}

}  // namespace tivolo::boxdata
