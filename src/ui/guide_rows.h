// The programme guide as the channel picker and the find window list it: one row per event
// (day, begin-end, title, and the channel in the find window), marked when a timer of the
// table already covers it; and the rule that lets the picker ask the box's web interface
// when the guide file is old. No windows here: the lists only show these rows.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/box_reader.h"
#include "boxdata/box_settings.h"
#include "boxdata/guide_file.h"
#include "boxdata/guide_link.h"
#include "boxdata/guide_search.h"
#include "plan/rule_titles.h"
#include "store/mem_table.h"
#include "ui/timer_rules.h"

namespace tivolo::ui {

// The guide as the windows share it once it has been read (in the background); it never
// changes after that, a new reading replaces it whole.
struct GuideState {
  boxdata::BoxSettings settings;  // the box's margins; the receiver's defaults without its file
  boxdata::Guide guide;           // empty when the box has no guide
  std::shared_ptr<const boxdata::GuideSearch> search;  // null when the box has no guide
  // The titles for the series rules' preview; null when the box has no guide.
  std::shared_ptr<const plan::RuleTitles> rule_titles;
  std::string age_text;  // "Guide of 07-12-26 23:10"; empty without a guide
  int64_t written = 0;   // when the box wrote its guide, UTC seconds; 0 without a guide
  bool HasGuide() const { return search != nullptr; }
};

// How a programme's day shows in the lists, such as "Mon 07-12".
inline constexpr const char* kGuideDayFormat = "ddd dd-mm";

// A guide file older than this may be passed over for the web interface's guide.
inline constexpr int64_t kStaleGuideSeconds = 24 * 60 * 60;

// True when the guide file is missing or was written more than a day before now_utc: the
// box's web interface, when there is one, knows the programmes better.
bool GuideFileStale(const GuideState* state, int64_t now_utc);

struct GuideRow {
  // Times and title always; the short text only for a row of the web interface (a row of the
  // file decodes it when picked: ProgrammeOfRow).
  boxdata::ProgrammeEvent event;
  int64_t guide_event = -1;  // its index in Guide::Events() for a row of the file
  std::string channel;       // the channel's name and service reference (find window)
  std::string service;
  std::string day;    // "Mon 07-12" in the clock settings
  std::string times;  // "20:15-21:45"
  bool covered = false;
};

// The spans of the stored timers (a new record not yet posted is left out), read through the
// table's view: the cursor and a pending change stay as they are.
std::vector<boxdata::TimerSpan> TimerSpans(store::MemTable& timers, const ClockNow& now);

// The programmes of a channel in the guide file that have not ended, in time order; none when
// the guide has no service for it.
std::vector<GuideRow> ChannelRows(const GuideState& state, std::string_view service_reference,
                                  std::span<const boxdata::TimerSpan> timers, const ClockNow& now);

// The same for programmes the web interface gave for a channel.
std::vector<GuideRow> WebRows(std::vector<boxdata::ProgrammeEvent> events,
                              std::string_view service_reference,
                              std::span<const boxdata::TimerSpan> timers, const ClockNow& now);

// For each service of the guide, the first of the bouquets' channels that is it (an index
// into channels), or -1: events of services that are no channel of the user's cannot be set.
std::vector<int32_t> ChannelOfServices(const boxdata::Guide& guide,
                                       const boxdata::ChannelNames& channels);

struct FoundRows {
  std::vector<GuideRow> rows;
  bool cut = false;  // more events matched than the limit
};

// Every event not ended whose title holds text, on the user's channels, by time; at most
// `limit`. `covered` is CoveredEvents of the table's timers.
FoundRows FindRows(const GuideState& state, std::string_view text,
                   std::span<const int32_t> channel_of_service,
                   const boxdata::ChannelNames& channels, const std::vector<bool>& covered,
                   const ClockNow& now, size_t limit);

// The row of one event of the guide file (no channel set).
GuideRow GuideEventRow(const boxdata::Guide& guide, uint32_t event,
                       const platform::ClockSettings& clock);

// The programme of a row with all its texts.
boxdata::ProgrammeEvent ProgrammeOfRow(const GuideState& state, const GuideRow& row);

}  // namespace tivolo::ui
