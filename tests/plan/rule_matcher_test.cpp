// What a series rule would record: one case per check of the plugin, on a small guide of two
// channels whose clock runs on UTC.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "boxdata/guide_writer.h"
#include "plan/rule_matcher.h"

namespace tivolo::plan {
namespace {

using boxdata::AutoTimerRule;
using boxdata::RuleFilterWhere;
using boxdata::RuleSearchType;
using boxdata::testing::GuideWriter;

constexpr int64_t kMonday = 1767571200;  // 2026-01-05 00:00 UTC, a Monday
constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 86400;
const char* const kChannelA = "1:0:19:100:10:1:C00000:0:0:0:";
const char* const kChannelB = "1:0:19:101:10:1:C00000:0:0:0:";

// Event ids: 1-9 on channel A, 21 on channel B.
boxdata::Guide TestGuide() {
  GuideWriter w;
  auto event = [&](uint16_t id, int64_t begin, int32_t minutes, const char* title,
                   const char* short_text, const char* extended) {
    std::vector<uint32_t> d{w.Title(title)};
    if (short_text[0]) d.push_back(w.ShortText(short_text));
    if (extended[0]) d.push_back(w.Extended(extended));
    return boxdata::testing::WrittenEvent{id, begin, minutes * 60, d, 0};
  };
  boxdata::testing::WrittenService a{0x100, 1, 0x10, {}};
  a.events = {
      event(10, kMonday - kDay, 60, "Tatort", "Alt", ""),  // over before now
      event(1, kMonday + 20 * kHour + 900, 90, "Tatort", "Folge 1", "Kommissar Krimi"),
      event(6, kMonday + kDay + 1 * kHour, 60, "Tatort", "Folge 3", ""),  // Tuesday 01:00
      event(11, kMonday + kDay + 12 * kHour, 30, "Tatort", "Mittag", ""),
      event(3, kMonday + kDay + 21 * kHour, 30, "Tatort: Spezial", "Folge 4", ""),
      event(4, kMonday + 2 * kDay + 21 * kHour, 30, "Der Tatort", "Folge 5", ""),
      event(5, kMonday + 3 * kDay + 22 * kHour, 30, "tatort", "Folge 6", ""),
      event(8, kMonday + 4 * kDay + 20 * kHour, 30, "Tatort", "Wiederholung", ""),
      event(2, kMonday + 5 * kDay + 20 * kHour, 30, "Tatort", "Folge 2", ""),
      event(9, kMonday + 5 * kDay + 22 * kHour, 30, "Nachrichten", "Tatort heute", ""),
  };
  boxdata::testing::WrittenService b{0x101, 1, 0x10, {}};
  b.events = {event(21, kMonday + 20 * kHour + 900, 90, "Tatort", "Folge 1", "Kommissar Krimi")};
  w.services = {a, b};
  return boxdata::ReadGuide(w.Bytes());
}

const RuleTitles& Titles() {
  static const RuleTitles titles(TestGuide());
  return titles;
}

RuleRunSettings Settings() {
  RuleRunSettings s;
  s.clock.utc_auto = false;
  s.clock.utc_offset = 0;
  s.now = kMonday - kHour;
  s.margins.margin_before_minutes = 3;
  s.margins.margin_after_minutes = 5;
  return s;
}

AutoTimerRule Rule(const char* match) {
  AutoTimerRule r;
  r.match = match;
  return r;
}

uint16_t EventId(const RuleMatch& m) {
  return Titles().Guide().Events()[m.event].event_id;
}

// Each event the rule finds, by id, with its check.
std::map<int, RuleCheck> Checks(const AutoTimerRule& rule, std::vector<ExistingTimer> timers = {},
                                RuleRunSettings settings = Settings()) {
  RuleMatcher matcher(Titles(), std::move(timers), std::move(settings));
  std::map<int, RuleCheck> out;
  for (const RuleMatch& m : matcher.Match(rule))
    out[EventId(m)] = m.check;
  return out;
}

std::vector<int> Found(const std::map<int, RuleCheck>& checks) {
  std::vector<int> ids;
  for (const auto& [id, check] : checks)
    ids.push_back(id);
  return ids;
}

TEST(RuleMatcher, SearchTypesAndCaseFindTheirTitles) {
  const struct {
    const char* match;
    RuleSearchType type;
    bool case_sensitive;
    std::vector<int> found;
  } cases[] = {
      {"tatort", RuleSearchType::kPartial, false, {1, 2, 3, 4, 5, 6, 8, 10, 11, 21}},
      {"Tatort", RuleSearchType::kPartial, true, {1, 2, 3, 4, 6, 8, 10, 11, 21}},
      {"TATORT", RuleSearchType::kExact, false, {1, 2, 5, 6, 8, 10, 11, 21}},
      {"Tatort", RuleSearchType::kExact, true, {1, 2, 6, 8, 10, 11, 21}},
      {"tatort:", RuleSearchType::kStart, false, {3}},
      {"der ", RuleSearchType::kStart, false, {4}},
      {"r tatort", RuleSearchType::kEnd, false, {4}},
      {"tatort heute", RuleSearchType::kDescription, false, {9}},
      {"krimi", RuleSearchType::kDescription, false, {1, 21}},
      {"krimi", RuleSearchType::kDescription, true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.match);
    AutoTimerRule r = Rule(c.match);
    r.search_type = c.type;
    r.case_sensitive = c.case_sensitive;
    EXPECT_EQ(Found(Checks(r)), c.found);
  }
}

TEST(RuleMatcher, EachCheckLeavesOutItsProgramme) {
  const struct {
    const char* what;
    std::function<void(AutoTimerRule&)> edit;
    std::map<int, RuleCheck> expected;  // the events looked at
  } cases[] = {
      {"over before now",
       [](AutoTimerRule&) {},
       {{10, RuleCheck::kStarted}, {1, RuleCheck::kRecorded}}},
      {"span wrapping midnight",
       [](AutoTimerRule& r) {
         r.from = boxdata::TimeOfDay{20, 0};
         r.to = boxdata::TimeOfDay{2, 0};
       },
       {{1, RuleCheck::kRecorded}, {6, RuleCheck::kRecorded}, {11, RuleCheck::kTimeSpan}}},
      {"span within the day",
       [](AutoTimerRule& r) {
         r.from = boxdata::TimeOfDay{20, 0};
         r.to = boxdata::TimeOfDay{21, 0};
       },
       {{1, RuleCheck::kRecorded}, {6, RuleCheck::kTimeSpan}, {2, RuleCheck::kRecorded}}},
      {"weekdays only",
       [](AutoTimerRule& r) {
         r.includes = {{RuleFilterWhere::kDayOfWeek, "weekday"}};
       },
       {{1, RuleCheck::kRecorded}, {2, RuleCheck::kDay}, {8, RuleCheck::kRecorded}}},
      {"no weekends",
       [](AutoTimerRule& r) {
         r.excludes = {{RuleFilterWhere::kDayOfWeek, "weekend"}};
       },
       {{2, RuleCheck::kDay}, {1, RuleCheck::kRecorded}}},
      {"Monday, with the night after it",
       [](AutoTimerRule& r) {
         r.from = boxdata::TimeOfDay{20, 0};
         r.to = boxdata::TimeOfDay{2, 0};
         r.includes = {{RuleFilterWhere::kDayOfWeek, "0"}};
       },
       {{1, RuleCheck::kRecorded}, {6, RuleCheck::kRecorded}, {11, RuleCheck::kDay}}},
      {"one channel",
       [](AutoTimerRule& r) { r.services = {kChannelB}; },
       {{1, RuleCheck::kChannel}, {21, RuleCheck::kRecorded}}},
      {"maximum duration",
       [](AutoTimerRule& r) { r.max_duration_minutes = 60; },
       {{1, RuleCheck::kDuration}, {6, RuleCheck::kRecorded}}},
      {"time frame",
       [](AutoTimerRule& r) {
         r.after = kMonday;
         r.before = kMonday + kDay;
       },
       {{1, RuleCheck::kRecorded}, {6, RuleCheck::kTimeFrame}}},
      {"exclude on the short text",
       [](AutoTimerRule& r) {
         r.excludes = {{RuleFilterWhere::kShortDescription, "^Wieder"}};
       },
       {{8, RuleCheck::kExcluded}, {2, RuleCheck::kRecorded}}},
      {"include on the title",
       [](AutoTimerRule& r) {
         r.search_type = RuleSearchType::kPartial;
         r.includes = {{RuleFilterWhere::kTitle, "^Tatort$"}};
       },
       {{3, RuleCheck::kNotIncluded}, {1, RuleCheck::kRecorded}}},
      {"include on the long text",
       [](AutoTimerRule& r) {
         r.includes = {{RuleFilterWhere::kDescription, "Kommissar"}};
       },
       {{1, RuleCheck::kRecorded}, {6, RuleCheck::kNotIncluded}}},
      {"one a week",
       [](AutoTimerRule& r) {
         r.counter = 1;
         r.counter_format = "%W";
       },
       {{1, RuleCheck::kRecorded}, {21, RuleCheck::kCounter}, {2, RuleCheck::kCounter}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    AutoTimerRule r = Rule("Tatort");
    r.search_type = RuleSearchType::kExact;
    r.case_sensitive = true;
    c.edit(r);
    const std::map<int, RuleCheck> got = Checks(r);
    for (const auto& [id, check] : c.expected) {
      ASSERT_TRUE(got.count(id)) << id;
      EXPECT_EQ(RuleCheckText(got.at(id)), RuleCheckText(check)) << "event " << id;
    }
  }
}

TEST(RuleMatcher, TimerTimesTakeTheOffsetOrElseTheBoxMargins) {
  const int64_t begin = kMonday + 20 * kHour + 900, end = begin + 90 * 60;
  const struct {
    std::optional<int> before, after;
    int justplay, set_endtime;
    int64_t timer_begin, timer_end;
  } cases[] = {
      {std::nullopt, std::nullopt, 0, 1, begin - 3 * 60, end + 5 * 60},
      {10, 20, 0, 1, begin - 10 * 60, end + 20 * 60},
      {0, 0, 0, 1, begin, end},
      {10, 20, 1, 0, begin - 10 * 60, begin - 10 * 60},  // a zap timer without an end
  };
  for (const auto& c : cases) {
    AutoTimerRule r = Rule("Tatort");
    r.services = {kChannelA};
    r.offset_before = c.before;
    r.offset_after = c.after;
    r.justplay = c.justplay;
    r.set_endtime = c.set_endtime;
    RuleMatcher matcher(Titles(), {}, Settings());
    for (const RuleMatch& m : matcher.Match(r)) {
      if (EventId(m) != 1) continue;
      EXPECT_EQ(m.timer_begin, c.timer_begin);
      EXPECT_EQ(m.timer_end, c.timer_end);
    }
  }
}

TEST(RuleMatcher, DuplicatesOfTimersAndOfDescriptions) {
  const int64_t begin = kMonday + 20 * kHour + 900;
  ExistingTimer by_id{kChannelA, 1, "Tatort", "Folge 1", false, begin - 180, begin + 5700};
  ExistingTimer by_time{kChannelA, std::nullopt, "Hand made", "", false, begin, begin + 5400};
  ExistingTimer other_channel{kChannelB, 77, "Tatort", "Folge 3", false, 0, 60};
  ExistingTimer disabled = other_channel;
  disabled.disabled = true;
  RuleRunSettings no_guessing = Settings();
  no_guessing.guess_by_time = false;
  const struct {
    const char* what;
    int avoid;
    std::vector<ExistingTimer> timers;
    RuleRunSettings settings;
    std::map<int, RuleCheck> expected;
  } cases[] = {
      {"same event id",
       0,
       {by_id},
       no_guessing,
       {{1, RuleCheck::kDuplicateEvent}, {21, RuleCheck::kRecorded}}},
      {"a timer over the same time", 0, {by_time}, Settings(), {{1, RuleCheck::kDuplicateEvent}}},
      {"not guessed when the box does not", 0, {by_time}, no_guessing, {{1, RuleCheck::kRecorded}}},
      {"repeat on another channel, level 1",
       1,
       {},
       Settings(),
       {{1, RuleCheck::kRecorded}, {21, RuleCheck::kRecorded}}},
      {"repeat on another channel, level 2",
       2,
       {},
       Settings(),
       {{1, RuleCheck::kRecorded}, {21, RuleCheck::kDuplicateDescription}}},
      {"a timer's description on another channel",
       2,
       {other_channel},
       Settings(),
       {{6, RuleCheck::kDuplicateDescription}, {2, RuleCheck::kRecorded}}},
      {"a disabled timer does not count", 2, {disabled}, Settings(), {{6, RuleCheck::kRecorded}}},
      {"same description, level 0", 0, {other_channel}, Settings(), {{6, RuleCheck::kRecorded}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    AutoTimerRule r = Rule("Tatort");
    r.search_type = RuleSearchType::kExact;
    r.avoid_duplicate_description = c.avoid;
    const std::map<int, RuleCheck> got = Checks(r, c.timers, c.settings);
    for (const auto& [id, check] : c.expected) {
      EXPECT_EQ(RuleCheckText(got.at(id)), RuleCheckText(check)) << "event " << id;
    }
  }
}

TEST(RuleMatcher, PreviewMarksCoveredProgrammesRepeatsAndRulesThatMeet) {
  AutoTimerRule first = Rule("Tatort");
  first.search_type = RuleSearchType::kExact;
  AutoTimerRule second = Rule("Tatort: Spezial");
  AutoTimerRule off = Rule("Tatort");
  off.enabled = false;
  AutoTimerRule third = Rule("Tatort");  // partial: meets the first rule's programmes
  third.services = {kChannelB};
  const std::vector<AutoTimerRule> rules{first, off, second, third};
  const ExistingTimer covering{kChannelA, 6, "Tatort", "Folge 3", false, 0, 0};
  const std::vector<PreviewEntry> all = PreviewAll(Titles(), rules, {covering}, Settings());
  std::map<int, const PreviewEntry*> by_event;
  for (const PreviewEntry& e : all) {
    EXPECT_NE(e.rule, 1u) << "a disabled rule adds nothing";
    by_event[EventId(e.match)] = &e;
  }
  ASSERT_TRUE(by_event.count(6) && by_event.count(1) && by_event.count(21) && by_event.count(3));
  EXPECT_EQ(by_event[6]->covered_by_timer, 0u);
  EXPECT_FALSE(by_event[1]->covered_by_timer);
  EXPECT_EQ(by_event[21]->also_rules, std::vector<size_t>{3});
  EXPECT_EQ(by_event[3]->rule, 2u);
  // Event 21 repeats event 1 (same title and short text on another channel).
  ASSERT_TRUE(by_event[21]->repeat_of);
  EXPECT_EQ(EventId(all[*by_event[21]->repeat_of].match), 1);
  EXPECT_FALSE(by_event[2]->repeat_of);
}

}  // namespace
}  // namespace tivolo::plan
