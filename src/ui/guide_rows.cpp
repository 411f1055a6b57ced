#include "ui/guide_rows.h"

#include <algorithm>

#include "boxdata/box_tables.h"
#include "store/date_format.h"

namespace tivolo::ui {
namespace {

constexpr const char* kTimeFormat = "hh:nn";

int64_t NowSeconds(const ClockNow& now) {
  return platform::DateTimeToEpoch(now.utc);
}

// The day and times of a row in the clock settings in use.
void SetTimes(GuideRow& row, const platform::ClockSettings& clock) {
  auto local = [&clock](int64_t utc) {
    return platform::UtcToLocal(platform::EpochSecondsToDateTime(utc), clock);
  };
  const platform::DateTime begin = local(row.event.begin);
  row.day = store::FormatDateTime(kGuideDayFormat, begin);
  row.times = store::FormatDateTime(kTimeFormat, begin) + "-" +
              store::FormatDateTime(kTimeFormat, local(row.event.end));
}

GuideRow FileRow(const boxdata::Guide& guide, const boxdata::GuideEvent& e,
                 const platform::ClockSettings& clock) {
  GuideRow row;
  row.event = {e.begin, e.End(), e.event_id, std::string(guide.Title(e)), {}};
  row.guide_event = &e - guide.Events().data();
  SetTimes(row, clock);
  return row;
}

}  // namespace

GuideRow GuideEventRow(const boxdata::Guide& guide, uint32_t event,
                       const platform::ClockSettings& clock) {
  return FileRow(guide, guide.Events()[event], clock);
}

bool GuideFileStale(const GuideState* state, int64_t now_utc) {
  return !state || !state->HasGuide() || now_utc - state->written > kStaleGuideSeconds;
}

std::vector<boxdata::TimerSpan> TimerSpans(store::MemTable& timers, const ClockNow& now) {
  std::vector<boxdata::TimerSpan> spans;
  if (!timers.Active()) return spans;
  const boxdata::TimerTimeFields times(timers);
  const store::Field& service = timers.FieldNamed(boxdata::fields::kServiceref);
  // The stored records come first in the view; a record being inserted follows them.
  const int rows = timers.RecordCount();
  spans.reserve(static_cast<size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    const store::RecordBuffer r = timers.ViewRecordAt(row);
    if (r.IsNull(times.begin) || r.IsNull(times.end)) continue;
    const boxdata::TimerSeconds s = boxdata::WrittenSeconds(r, times, now.clock, now.utc);
    spans.push_back({r.AsString(service), s.begin, s.end});
  }
  return spans;
}

std::vector<GuideRow> ChannelRows(const GuideState& state, std::string_view service_reference,
                                  std::span<const boxdata::TimerSpan> timers, const ClockNow& now) {
  std::vector<GuideRow> rows;
  const std::optional<uint32_t> service = boxdata::FindGuideService(state.guide, service_reference);
  if (!service) return rows;
  std::vector<const boxdata::TimerSpan*> own;
  for (const boxdata::TimerSpan& t : timers) {
    if (boxdata::FindGuideService(state.guide, t.service_reference) == service) own.push_back(&t);
  }
  for (const boxdata::GuideEvent& e : state.guide.EventsFrom(*service, NowSeconds(now))) {
    GuideRow row = FileRow(state.guide, e, now.clock);
    row.covered = std::any_of(own.begin(), own.end(), [&](const boxdata::TimerSpan* t) {
      return boxdata::Covers(state.guide, *t, e);
    });
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<GuideRow> WebRows(std::vector<boxdata::ProgrammeEvent> events,
                              std::string_view service_reference,
                              std::span<const boxdata::TimerSpan> timers, const ClockNow& now) {
  std::sort(events.begin(), events.end(),
            [](const auto& a, const auto& b) { return a.begin < b.begin; });
  std::vector<GuideRow> rows;
  const int64_t now_seconds = NowSeconds(now);
  for (boxdata::ProgrammeEvent& e : events) {
    if (e.end <= now_seconds) continue;
    GuideRow row;
    row.event = std::move(e);
    row.covered = std::any_of(timers.begin(), timers.end(), [&](const boxdata::TimerSpan& t) {
      return boxdata::Covers(t, service_reference, row.event);
    });
    SetTimes(row, now.clock);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<int32_t> ChannelOfServices(const boxdata::Guide& guide,
                                       const boxdata::ChannelNames& channels) {
  std::vector<int32_t> of(guide.Services().size(), -1);
  for (size_t i = 0; i < channels.size(); ++i) {
    const std::optional<uint32_t> service = boxdata::FindGuideService(guide, channels[i].service);
    if (service && of[*service] < 0) of[*service] = static_cast<int32_t>(i);
  }
  return of;
}

FoundRows FindRows(const GuideState& state, std::string_view text,
                   std::span<const int32_t> channel_of_service,
                   const boxdata::ChannelNames& channels, const std::vector<bool>& covered,
                   const ClockNow& now, size_t limit) {
  FoundRows found;
  if (!state.search) return found;
  const std::span<const boxdata::GuideEvent> events = state.guide.Events();
  for (uint32_t index : state.search->Find(text, NowSeconds(now))) {
    const boxdata::GuideEvent& e = events[index];
    const int32_t channel =
        e.service < channel_of_service.size() ? channel_of_service[e.service] : -1;
    if (channel < 0) continue;
    if (found.rows.size() == limit) {
      found.cut = true;
      break;
    }
    GuideRow row = FileRow(state.guide, e, now.clock);
    row.channel = channels[static_cast<size_t>(channel)].name;
    row.service = channels[static_cast<size_t>(channel)].service;
    row.covered = index < covered.size() && covered[index];
    found.rows.push_back(std::move(row));
  }
  return found;
}

boxdata::ProgrammeEvent ProgrammeOfRow(const GuideState& state, const GuideRow& row) {
  if (row.guide_event < 0 || static_cast<size_t>(row.guide_event) >= state.guide.Events().size())
    return row.event;
  return boxdata::ProgrammeOf(state.guide,
                              state.guide.Events()[static_cast<size_t>(row.guide_event)]);
}

}  // namespace tivolo::ui
