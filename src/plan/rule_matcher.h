// What a series rule would record: the programmes of the guide in memory that its title check
// finds, each with the check that left it out or the timer it would make, in the order the
// box's rule plugin applies its checks:
//   1. the title by the search type and case (or, for "description", the short or long text);
//   2. programmes that have ended or begin within 60 s;
//   3. the day of week (a span that wraps midnight counts an early programme on the day
//      before), the channels, the maximum duration, the time span, the time frame, then the
//      excludes and the includes (every include must match);
//   4. the rule's offsets, or the box's recording margins;
//   5. the duplicates: a timer on the same channel with the same event id (or, as the plugin
//      guesses, one that covers most of the programme); with avoidDuplicateDescription 1 a
//      timer on the same channel with the same title and short text (and long text when
//      searchForDuplicateDescription is 2 or more), from 2 on any channel;
//   6. the counter.
// Programmes a rule takes count as timers for the checks of its later matches and of the
// rules after it, as on the box.
//
// What is modelled loosely: the plugin's likeness of two texts (above 80 % similar) is taken
// as "holds" for titles and short texts and as equality for long texts; the box's case
// folding as that of FoldCase; regular expressions as ECMAScript (the plugin's are Python's);
// a damaged pattern is left out (PatternProblems names it). Not modelled: recordings already
// on disk (avoidDuplicateDescription 3 checks timers only), the plugin's limit of days ahead,
// linked services, alternatives, conflicts.
//
// Usage: build RuleTitles once per guide; make a RuleMatcher with the timers of the box and
// its settings; Match(rule) for the rule being edited (a new matcher, or Reset, for each
// preview, so that the rule does not meet its own earlier matches), PreviewAll(rules) for
// every rule.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/autotimer_file.h"
#include "boxdata/box_settings.h"
#include "boxdata/guide_file.h"
#include "boxdata/timer_file.h"
#include "plan/rule_titles.h"
#include "platform/clock.h"

namespace tivolo::plan {

// A timer of the box as the duplicate checks see it.
struct ExistingTimer {
  std::string service_reference;
  std::optional<int64_t> eit;
  std::string name;         // decoded
  std::string description;  // the short text, decoded
  bool disabled = false;
  int64_t begin = 0;  // UTC seconds
  int64_t end = 0;
};
ExistingTimer ExistingTimerOf(const boxdata::TimerValues& values);

// Why a programme is recorded or left out.
enum class RuleCheck {
  kRecorded,              // the rule makes a timer for it
  kStarted,               // ended, or begins within 60 s
  kDay,                   // day of week include or exclude
  kChannel,               // not one of the rule's channels or bouquets
  kDuration,              // longer than the maximum duration
  kTimeSpan,              // begins outside the span of the day
  kTimeFrame,             // begins outside the time frame (after/before)
  kExcluded,              // an exclude on the title, short or long text matched
  kNotIncluded,           // an include on the title, short or long text did not match
  kDuplicateEvent,        // a timer already covers it (same channel and event id)
  kDuplicateDescription,  // a timer records the same title and texts
  kCounter,               // the counter is used up for the period
};
std::string_view RuleCheckText(RuleCheck check);

struct RuleMatch {
  uint32_t event = 0;  // index into Guide().Events()
  RuleCheck check = RuleCheck::kRecorded;
  // The timer's begin and end (UTC seconds, offsets or margins applied); set from the
  // duplicate checks on.
  int64_t timer_begin = 0;
  int64_t timer_end = 0;
  // For the duplicate checks: the timer it duplicates, an index into the matcher's timers
  // (the box's first, then those the rules took in this run: see TimerRule).
  std::optional<size_t> duplicate_of;
};

// The settings of the run that are not in the rules.
struct RuleRunSettings {
  boxdata::BoxSettings margins;   // the box's recording margins
  platform::ClockSettings clock;  // the box's clock, for days and spans of the day
  int64_t now = 0;                // UTC seconds
  // The plugin's "guess existing timers by time" setting: a timer on the channel that covers
  // more than 80 % of a programme counts as the programme's timer.
  bool guess_by_time = true;
  // The service references of a bouquet's channels, for rules limited to bouquets; when not
  // given, no channel is in any bouquet.
  std::function<std::vector<std::string>(std::string_view bouquet)> bouquet_services;
};

class RuleMatcher {
 public:
  // The titles (and their guide) outlive the matcher.
  RuleMatcher(const RuleTitles& titles, std::vector<ExistingTimer> timers,
              RuleRunSettings settings);
  ~RuleMatcher();
  RuleMatcher(const RuleMatcher&) = delete;
  RuleMatcher& operator=(const RuleMatcher&) = delete;

  // Every programme whose title the rule finds, by begin and then channel, with its check.
  // Matches the rule against the box's timers and those taken so far in this run; its own
  // recorded programmes are taken, labelled `rule_index` (Reset forgets them). A disabled
  // rule is matched as well. The rule's channels are read and its patterns compiled once per
  // call.
  std::vector<RuleMatch> Match(const boxdata::AutoTimerRule& rule, size_t rule_index = 0);

  // Forgets the timers taken in this run.
  void Reset();

  // The regular expressions of the rule that cannot be read, with the reason; they are not
  // used (the plugin would not load such a rule).
  static std::vector<std::string> PatternProblems(const boxdata::AutoTimerRule& rule);

  // The timers: the box's, then one per programme taken in this run.
  size_t TimerCount() const;
  // The rule_index of the Match that took a timer of this run; nothing for a box's timer.
  std::optional<size_t> TimerRule(size_t timer) const;

  // The matcher's data (rule_matcher.cpp).
  struct State;

 private:
  std::unique_ptr<State> state_;
};

// One programme in the preview of all rules.
struct PreviewEntry {
  size_t rule = 0;  // index into the rules given
  RuleMatch match;  // kRecorded, or kDuplicateEvent for one a timer covers already
  // The box's timer (index into the timers given) that covers it already.
  std::optional<size_t> covered_by_timer;
  // Other rules that found the same programme (the box records it once, for the first).
  std::vector<size_t> also_rules;
  // An earlier entry with the same title and short text (the same short event descriptors
  // of the guide): the same episode recorded twice.
  std::optional<size_t> repeat_of;
};

// What every enabled rule would add now, in the rules' order and each rule's programmes by
// time: the programmes they record and those a timer of the box covers already.
std::vector<PreviewEntry> PreviewAll(const RuleTitles& titles,
                                     std::span<const boxdata::AutoTimerRule> rules,
                                     std::vector<ExistingTimer> timers,
                                     const RuleRunSettings& settings);

}  // namespace tivolo::plan
