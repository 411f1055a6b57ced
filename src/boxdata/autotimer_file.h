// The box's series rules, /etc/enigma2/autotimer.xml: `<autotimer version="8">`, an optional
// `<defaults .../>`, then one `<timer .../>` per rule. The file is read as the timer list is:
// every byte of it is kept, so a rule nobody edited is written back exactly as it was read,
// and an edited rule is written the way the box's rule plugin writes it (only values that
// differ from its defaults), with the attributes and children we do not know kept as read.
//
// Usage: ParseAutoTimerFile(bytes) gives the rules; edit `rules[i].rule` (the typed view),
// erase or append entries (AppendRule); BuildAutoTimerFile(file) gives the text to upload.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/xml_scan.h"

namespace tivolo::boxdata {

inline constexpr const char* kAutoTimerFileName = "autotimer.xml";
inline constexpr const char* kAutoTimerVersion = "8";

struct TimeOfDay {
  int hour = 0;  // 0..23
  int minute = 0;
  friend bool operator==(const TimeOfDay&, const TimeOfDay&) = default;
};

// How the rule's `match` is compared with a programme: part of the title, the whole title,
// its start, its end, or part of the short or long text.
enum class RuleSearchType { kPartial, kExact, kStart, kEnd, kDescription };

// Where an include or exclude filter looks.
enum class RuleFilterWhere { kTitle, kShortDescription, kDescription, kDayOfWeek };

// An include or exclude: a regular expression searched in the text, or for kDayOfWeek a day
// "0" (Monday) to "6", "weekday" or "weekend".
struct RuleFilter {
  RuleFilterWhere where = RuleFilterWhere::kTitle;
  std::string pattern;  // decoded
  friend bool operator==(const RuleFilter&, const RuleFilter&) = default;
};

// What the box does after a recording ("none", "standby", "shutdown", "deepstandby",
// "auto"), optionally only when the recording ends within a span of the day.
struct RuleAfterEvent {
  std::string action;
  std::optional<TimeOfDay> from, to;
  friend bool operator==(const RuleAfterEvent&, const RuleAfterEvent&) = default;
};

// One rule as the plugin understands it, with its defaults (an attribute that is absent
// reads as the value given here).
struct AutoTimerRule {
  std::string match;  // required: a rule without it is kept but never matches
  std::string name;   // read as the match when the file gives none; empty: DisplayName is the match
  bool enabled = true;
  std::optional<TimeOfDay> from, to;     // both or neither; the span may wrap midnight
  std::optional<int64_t> after, before;  // time frame, UTC seconds; both or neither
  std::optional<int> max_duration_minutes;
  std::string location;  // empty: the box's default recording folder
  // Minutes before and after; none: the box's recording margins.
  std::optional<int> offset_before, offset_after;
  int justplay = 0;
  int set_endtime = 1;
  int avoid_duplicate_description = 0;  // 0..3
  int search_for_duplicate_description = 2;
  RuleSearchType search_type = RuleSearchType::kPartial;
  bool case_sensitive = false;
  int counter = 0;          // 0: no counter
  std::optional<int> left;  // none: as many as `counter`
  std::string counter_format;
  std::string last_activation;
  int64_t last_begin = 0;
  std::string encoding;  // empty: the plugin's default (UTF-8); written whenever given
  bool conflict_detection = true;
  int always_zap = 0;
  std::vector<std::string> services;  // service references, as written
  std::vector<std::string> bouquets;
  std::vector<RuleAfterEvent> after_events;
  std::vector<std::string> tags;
  std::vector<RuleFilter> includes, excludes;

  std::string_view DisplayName() const { return name.empty() ? match : name; }
  int Left() const { return left.value_or(counter); }
  friend bool operator==(const AutoTimerRule&, const AutoTimerRule&) = default;
};

// A rule in the file: its typed view and what the write-back needs.
struct AutoTimerEntry {
  AutoTimerRule rule;     // edit this
  AutoTimerRule read_as;  // the rule as read; equal to `rule`: written back unchanged
  std::string leading;    // the bytes between the element before and this rule
  std::string raw;        // the rule's element as read (empty for a new rule)
  // Attributes we do not know, or whose value we could not read, in file order (values as
  // written); children we do not know and comments on lines of their own, as written.
  std::vector<XmlAttribute> kept_attributes;
  std::vector<std::string> kept_children;
  // Comments written after a service or bouquet (the channel's name), by reference.
  std::vector<std::pair<std::string, std::string>> reference_comments;
  bool well_formed = true;  // false: only ever written back as read, whatever `rule` says
  size_t line_number = 0;
};

struct AutoTimerFile {
  std::string head;  // everything before the first rule (declaration, root, defaults)
  std::vector<AutoTimerEntry> rules;
  std::string tail;                   // everything after the last rule
  std::vector<std::string> problems;  // one text per fault, for the log
  bool Complete() const { return problems.empty(); }
};

// Reads the file. Never throws: faults are listed in `problems`; a rule that cannot be read
// whole is kept as its bytes.
AutoTimerFile ParseAutoTimerFile(std::string_view bytes);

// An empty file as the plugin starts one.
AutoTimerFile EmptyAutoTimerFile();

// Adds a new rule at the end.
void AppendRule(AutoTimerFile& file, AutoTimerRule rule);

// The text to write: unchanged rules as read, edited and new ones as the plugin writes them.
std::string BuildAutoTimerFile(const AutoTimerFile& file);

// One rule's element as the plugin writes it (attributes that differ from the defaults, then
// the children), with the kept attributes and children of `entry`.
std::string BuildRuleElement(const AutoTimerEntry& entry);

// Which rule made a timer of timers.xml, from the timer's attributes besides the ten the
// program works with (TimerValues::extra_attributes, or the attributes themselves):
// flags="autotimer <rule name>" names it; isAutoTimer="1" says a rule made it, not which.
struct TimerRuleOrigin {
  bool by_rule = false;
  std::string rule_name;  // empty when the timer does not say
};
TimerRuleOrigin RuleOriginOf(std::string_view extra_attributes);
TimerRuleOrigin RuleOriginOf(const std::vector<XmlAttribute>& attributes);

// "HH:MM", or nothing when the text is not a time of day.
std::optional<TimeOfDay> ParseTimeOfDay(std::string_view text);
std::string FormatTimeOfDay(TimeOfDay t);

std::string_view SearchTypeName(RuleSearchType type);
std::string_view FilterWhereName(RuleFilterWhere where);

}  // namespace tivolo::boxdata
