// What the series rules window shows, without Qt: a rule's row in the list, the includes and
// excludes as lines of text the editor can take back, the box's timers as the rules' duplicate
// checks see them, and the preview of one rule against the guide in memory with the check
// that left each programme out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/autotimer_file.h"
#include "boxdata/box_reader.h"
#include "plan/rule_matcher.h"
#include "store/mem_table.h"
#include "ui/guide_rows.h"

namespace tivolo::ui {

// One rule in the list: name, what it matches, channels, time span, days, enabled.
struct RuleListRow {
  std::string name, match, channels, span, days, enabled;
};
RuleListRow RuleRowOf(const boxdata::AutoTimerRule& rule);

// The days a rule's day-of-week filters leave: "every day", "Mon-Fri", "not Sat, Sun", ...
std::string RuleDaysText(const boxdata::AutoTimerRule& rule);

// Includes or excludes as lines "where: pattern" (where: title, shortdescription,
// description or dayofweek), and back. A line that names no place is a problem: its text.
std::string FilterLines(const std::vector<boxdata::RuleFilter>& filters);
std::vector<boxdata::RuleFilter> ParseFilterLines(std::string_view text, std::string& problem);

// The names of a rule's channels among the user's ("Nederland 1, RTL 4"), with a count of
// those that are none of them; "every channel" for none.
std::string RuleChannelNames(const std::vector<std::string>& services,
                             const boxdata::ChannelNames& channels);

// A name for the copy of a rule that no rule of the file has yet: "News (copy)", "News (copy 2)".
std::string CopyName(const boxdata::AutoTimerFile& file, std::string_view name);

// What keeps a rule from being taken as edited: no match, a span or frame with one end only,
// a regular expression that cannot be read. Empty when there is nothing.
std::string RuleProblem(const boxdata::AutoTimerRule& rule);

// The stored timers as the duplicate checks see them (a new record not yet posted is left out).
std::vector<plan::ExistingTimer> ExistingTimers(store::MemTable& timers, const ClockNow& now);

struct RulePreviewRow {
  GuideRow row;  // day, times, title, channel
  plan::RuleCheck check = plan::RuleCheck::kRecorded;
  std::string reason;  // "recorded", or "left out: <check>"
};

struct RulePreview {
  std::vector<RulePreviewRow> rows;
  size_t recorded = 0;  // of all matches, also those past the limit
  size_t matches = 0;
  std::string Summary() const;  // "3 of 12 programmes recorded"
};

// The programmes to come that the rule's title check finds in the guide, by time, each with
// its reason (those over or beginning within the minute are left out); past `limit` rows, the
// recorded ones all and the first of the others up to the limit. state
// must hold a guide; channels name the guide's services.
RulePreview PreviewRule(const GuideState& state, const boxdata::AutoTimerRule& rule,
                        std::vector<plan::ExistingTimer> timers,
                        const boxdata::ChannelNames& channels, const ClockNow& now, size_t limit);

}  // namespace tivolo::ui
