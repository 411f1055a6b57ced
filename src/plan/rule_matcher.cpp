#include "plan/rule_matcher.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <regex>
#include <unordered_map>

#include "boxdata/guide_link.h"
#include "boxdata/xml_text.h"
#include "plan/rule_period.h"

namespace tivolo::plan {
namespace {

using boxdata::AutoTimerRule;
using boxdata::GuideEvent;
using boxdata::GuideEventTexts;
using boxdata::GuideServiceKey;
using boxdata::RuleFilterWhere;

constexpr int64_t kStartsWithin = 60;  // seconds: a programme this close is not taken

uint64_t KeyHash(const GuideServiceKey& k) {
  return uint64_t{k.service_id} << 40 ^ uint64_t { k.transport_stream_id } << 20 ^
         k.original_network_id;
}

// The plugin takes a match when the text holds the other or both are nearly the same; the
// likeness it measures is modelled as equality.
bool Holds(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

struct KnownTimer {
  std::optional<GuideServiceKey> key;
  std::optional<int64_t> eit;
  std::string_view name;  // the guide's title, or a name the matcher keeps
  // Looked up in the guide when first needed: the texts of a programme a rule took are
  // decoded only when a later check compares them.
  std::optional<std::string> short_text;
  std::optional<std::string> extended;
  std::optional<uint32_t> event;  // the programme of a timer a rule took
  bool disabled = false;
  int64_t begin = 0;
  int64_t end = 0;
  std::optional<size_t> rule;
};

struct Patterns {
  std::vector<std::regex> text[3];  // title, short, long
  std::vector<std::string> days;
  bool Empty() const { return text[0].empty() && text[1].empty() && text[2].empty(); }
};

// Compiles the filters of one kind; the reason for each pattern that cannot be read.
Patterns Compile(const std::vector<boxdata::RuleFilter>& filters, bool case_sensitive,
                 std::vector<std::string>* problems) {
  Patterns p;
  for (const boxdata::RuleFilter& f : filters) {
    if (f.where == RuleFilterWhere::kDayOfWeek) {
      p.days.push_back(f.pattern);
      continue;
    }
    try {
      (void)case_sensitive;  // the plugin's filters always look at case
      p.text[static_cast<int>(f.where)].emplace_back(f.pattern,
                                                     std::regex::ECMAScript | std::regex::optimize);
    } catch (const std::regex_error& e) {
      if (problems) problems->push_back("\"" + f.pattern + "\": " + e.what());
    }
  }
  return p;
}

bool Searches(const std::regex& re, const std::string& text) {
  try {
    return std::regex_search(text, re);
  } catch (const std::regex_error&) {
    return false;  // too complex for the text: counted as no match
  }
}

bool DayIn(const std::vector<std::string>& days, int weekday) {
  const std::string day(1, static_cast<char>('0' + weekday));
  for (const std::string& d : days) {
    if (d == day || (d == "weekend" && weekday >= 5) || (d == "weekday" && weekday < 5)) {
      return true;
    }
  }
  return false;
}

int Minutes(boxdata::TimeOfDay t) {
  return t.hour * 60 + t.minute;
}

}  // namespace

// A channel's timers by begin, for the guess by time.
struct ServiceTimers {
  std::vector<std::pair<int64_t, size_t>> by_begin;  // sorted; a channel has few
  int64_t longest = 0;
  std::vector<size_t> box;  // the box's own timers on the channel
};

struct RuleMatcher::State {
  const RuleTitles& titles;
  const boxdata::Guide& guide;
  RuleRunSettings settings;
  std::vector<KnownTimer> timers;
  size_t box_timers = 0;
  // The timers indexed for the duplicate checks, so that a check does not look at every
  // timer: thousands are taken in a preview of all rules.
  std::unordered_map<uint64_t, ServiceTimers> by_service;
  std::unordered_map<uint64_t, size_t> by_event;  // channel and event id: the first timer
  // By name, the timers the rules took, indexed as far as names_indexed when a rule first
  // needs it.
  std::unordered_map<std::string_view, std::vector<size_t>> taken_by_name;
  size_t names_indexed = 0;
  std::deque<std::string> box_names;  // the names of the box's timers, at fixed places
  std::unordered_map<uint32_t, GuideEventTexts> texts;
  std::unordered_map<int64_t, int64_t> offsets;  // UTC hour -> seconds the clock is ahead

  State(const RuleTitles& t, RuleRunSettings s)
      : titles(t), guide(t.Guide()), settings(std::move(s)) {}

  // One number per channel and event id (the guide's ids are 16 bits each).
  static uint64_t EventHash(const GuideServiceKey& key, int64_t eit) {
    return (uint64_t{key.service_id} << 48) ^ (uint64_t{key.transport_stream_id} << 32) ^
           (uint64_t{key.original_network_id} << 16) ^ static_cast<uint64_t>(eit);
  }

  void Index(size_t i) {
    const KnownTimer& t = timers[i];
    if (!t.key) return;
    ServiceTimers& service = by_service[KeyHash(*t.key)];
    const std::pair<int64_t, size_t> entry{t.begin, i};
    service.by_begin.insert(
        std::upper_bound(service.by_begin.begin(), service.by_begin.end(), entry), entry);
    service.longest = std::max(service.longest, t.end - t.begin);
    if (!t.rule) service.box.push_back(i);
    if (t.eit) by_event.try_emplace(EventHash(*t.key, *t.eit), i);
  }

  void Add(KnownTimer timer) {
    timers.push_back(std::move(timer));
    Index(timers.size() - 1);
  }

  void IndexNames() {
    for (; names_indexed < timers.size(); ++names_indexed) {
      if (timers[names_indexed].rule)
        taken_by_name[timers[names_indexed].name].push_back(names_indexed);
    }
  }

  void Reindex() {
    by_service.clear();
    by_event.clear();
    taken_by_name.clear();
    names_indexed = 0;
    for (size_t i = 0; i < timers.size(); ++i)
      Index(i);
  }

  const GuideEventTexts& Texts(uint32_t event) {
    auto it = texts.find(event);
    if (it == texts.end()) it = texts.emplace(event, guide.Texts(guide.Events()[event])).first;
    return it->second;
  }

  const GuideServiceKey& KeyOf(const GuideEvent& e) const {
    return guide.Services()[e.service].key;
  }

  const std::string& Short(KnownTimer& t) {
    if (!t.short_text) {
      const GuideEventTexts& x = Texts(*t.event);
      t.short_text = x.short_text.empty() ? x.extended_text : x.short_text;
    }
    return *t.short_text;
  }

  // The long text of a timer's programme, from the guide by its channel and event id.
  const std::string& Extended(KnownTimer& t) {
    if (!t.extended) {
      t.extended.emplace();
      if (t.event) {
        *t.extended = Texts(*t.event).extended_text;
      } else if (t.key && t.eit) {
        if (const std::optional<uint32_t> s = boxdata::FindGuideService(guide, *t.key)) {
          const std::span<const GuideEvent> all = guide.Events();
          for (const GuideEvent& e : guide.EventsOf(*s)) {
            if (e.event_id == *t.eit) {
              *t.extended = Texts(static_cast<uint32_t>(&e - all.data())).extended_text;
              break;
            }
          }
        }
      }
    }
    return *t.extended;
  }

  LocalTime Local(int64_t utc) {
    const int64_t hour = utc >= 0 ? utc / 3600 : (utc - 3599) / 3600;
    auto it = offsets.find(hour);
    if (it == offsets.end()) {
      const platform::DateTime u = platform::EpochSecondsToDateTime(hour * 3600);
      const double ahead = (platform::UtcToLocal(u, settings.clock) - u) * 86400.0;
      it = offsets.emplace(hour, static_cast<int64_t>(std::llround(ahead))).first;
    }
    const int64_t local = utc + it->second;
    const int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    const int64_t rest = local - days * 86400;
    LocalTime t;
    t.weekday = static_cast<int>(((days + 3) % 7 + 7) % 7);  // 1 January 1970 was a Thursday
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.days = days;
    return t;
  }
};

namespace {

// One rule made ready for a run: its channels as a flag per guide service, its patterns
// compiled, and the counter's state.
struct Prepared {
  const AutoTimerRule& rule;
  std::vector<char> allowed;  // per guide service; empty: every channel
  Patterns excludes, includes;
  bool wraps = false;  // the span of the day runs past midnight
  int counter_left = 0;
  std::string counter_limit;
  int64_t last_begin = 0;

  Prepared(const AutoTimerRule& r, RuleMatcher::State& s)
      : rule(r),
        excludes(Compile(r.excludes, r.case_sensitive, nullptr)),
        includes(Compile(r.includes, r.case_sensitive, nullptr)),
        counter_left(r.Left()),
        counter_limit(r.last_activation),
        last_begin(r.last_begin) {
    if (r.from && r.to) wraps = Minutes(*r.to) <= Minutes(*r.from);
    if (r.services.empty() && r.bouquets.empty()) return;
    allowed.assign(s.guide.Services().size(), 0);
    auto allow = [&](std::string_view reference) {
      if (const std::optional<uint32_t> i = boxdata::FindGuideService(s.guide, reference)) {
        allowed[*i] = 1;
      }
    };
    for (const std::string& ref : r.services)
      allow(ref);
    if (s.settings.bouquet_services) {
      for (const std::string& b : r.bouquets) {
        for (const std::string& ref : s.settings.bouquet_services(b))
          allow(ref);
      }
    }
  }
};

}  // namespace

// The checks of one programme after its title matched; the check that leaves it out.
class ProgrammeChecks {
 public:
  ProgrammeChecks(RuleMatcher::State& s, Prepared& p) : s_(s), p_(p), r_(p.rule) {}

  RuleCheck Run(uint32_t index, RuleMatch& m, std::optional<KnownTimer>& taken) {
    const GuideEvent& e = s_.guide.Events()[index];
    if (int64_t{e.begin} < s_.settings.now + kStartsWithin) return RuleCheck::kStarted;
    const LocalTime t = s_.Local(e.begin);
    UpdateCounter(e.begin, t);
    if (!DayAllowed(t)) return RuleCheck::kDay;
    if (!p_.allowed.empty() && !p_.allowed[e.service]) return RuleCheck::kChannel;
    if (r_.max_duration_minutes && e.duration > int64_t{*r_.max_duration_minutes} * 60) {
      return RuleCheck::kDuration;
    }
    if (!InSpan(t)) return RuleCheck::kTimeSpan;
    if (!InFrame(e.begin)) return RuleCheck::kTimeFrame;
    const bool texts_needed =
        !p_.excludes.Empty() || !p_.includes.Empty() || r_.avoid_duplicate_description >= 1;
    std::string title, short_text, extended;
    if (texts_needed) {
      const GuideEventTexts& x = s_.Texts(index);
      title = x.title;
      // The plugin compares the long text where a programme has no short one.
      short_text = x.short_text.empty() ? x.extended_text : x.short_text;
      extended = x.extended_text;
    }
    const std::string* parts[3] = {&title, &short_text, &extended};
    for (int k = 0; k < 3; ++k) {
      for (const std::regex& re : p_.excludes.text[k]) {
        if (Searches(re, *parts[k])) return RuleCheck::kExcluded;
      }
    }
    for (int k = 0; k < 3; ++k) {
      for (const std::regex& re : p_.includes.text[k]) {
        if (!Searches(re, *parts[k])) return RuleCheck::kNotIncluded;
      }
    }
    m.timer_begin =
        int64_t{e.begin} -
        int64_t{r_.offset_before ? *r_.offset_before : s_.settings.margins.margin_before_minutes} *
            60;
    m.timer_end =
        e.End() +
        int64_t{r_.offset_after ? *r_.offset_after : s_.settings.margins.margin_after_minutes} * 60;
    if (r_.justplay && !r_.set_endtime) m.timer_end = m.timer_begin;
    if (const RuleCheck d = Duplicates(e, title, short_text, extended, m);
        d != RuleCheck::kRecorded) {
      return d;
    }
    if (CounterUsedUp(t)) return RuleCheck::kCounter;
    if (r_.counter && p_.counter_left > 0) --p_.counter_left;
    taken.emplace();
    taken->key = s_.KeyOf(e);
    taken->eit = e.event_id;
    taken->name = s_.guide.Title(e);
    taken->event = index;
    if (texts_needed) {
      taken->short_text = short_text;
      taken->extended = extended;
    }
    taken->begin = m.timer_begin;
    taken->end = m.timer_end;
    return RuleCheck::kRecorded;
  }

 private:
  bool DayAllowed(const LocalTime& t) const {
    if (p_.excludes.days.empty() && p_.includes.days.empty()) return true;
    int day = t.weekday;
    // A span that runs past midnight belongs to the day it starts on.
    if (p_.wraps && t.hour * 60 + t.minute <= Minutes(*r_.to)) day = (day + 6) % 7;
    if (!p_.excludes.days.empty() && DayIn(p_.excludes.days, day)) return false;
    return p_.includes.days.empty() || DayIn(p_.includes.days, day);
  }

  bool InSpan(const LocalTime& t) const {
    if (!r_.from || !r_.to) return true;
    const int at = t.hour * 60 + t.minute;
    if (p_.wraps) return at >= Minutes(*r_.from) || at <= Minutes(*r_.to);
    return at >= Minutes(*r_.from) && at <= Minutes(*r_.to);
  }

  bool InFrame(int64_t begin) const {
    if (!r_.after || !r_.before) return true;
    // Equal ends mean "from then on".
    if (*r_.after == *r_.before) return begin >= *r_.after;
    return begin > *r_.after && begin < *r_.before;
  }

  bool SameProgramme(std::string_view name1, std::string_view short1, std::string_view ext1,
                     KnownTimer& t) {
    if (name1.empty() || t.name.empty() || !Holds(t.name, name1)) return false;
    const int depth = r_.search_for_duplicate_description;
    if (depth > 0 && !short1.empty()) {
      const std::string& short2 = s_.Short(t);
      if (!short2.empty() && !Holds(short2, short1)) return false;
    }
    if (depth > 1 && !ext1.empty()) {
      const std::string& ext2 = s_.Extended(t);
      if (!ext2.empty()) return ext1 == ext2;
    }
    return true;
  }

  static int64_t Overlap(const KnownTimer& t, int64_t begin, int64_t end) {
    if (begin <= t.begin && t.begin <= end) return end - t.begin;
    if (t.begin <= begin && begin <= t.end) return t.end - begin;
    return 0;
  }

  // The plugin looks at the channel's timers one by one and stops at the first that has the
  // event id, covers the programme's time or (from level 1) has its description; here the
  // event id is looked for first, then the time, then the description.
  RuleCheck Duplicates(const GuideEvent& e, const std::string& title, const std::string& short_text,
                       const std::string& extended, RuleMatch& m) {
    const GuideServiceKey& key = s_.KeyOf(e);
    auto same_channel = [&](const KnownTimer& t) { return t.key && *t.key == key; };
    if (const auto it = s_.by_event.find(RuleMatcher::State::EventHash(key, e.event_id));
        it != s_.by_event.end()) {
      const KnownTimer& t = s_.timers[it->second];
      if (same_channel(t) && *t.eit == e.event_id) {
        m.duplicate_of = it->second;
        return RuleCheck::kDuplicateEvent;
      }
    }
    const auto service = s_.by_service.find(KeyHash(key));
    if (s_.settings.guess_by_time && service != s_.by_service.end()) {
      const ServiceTimers& st = service->second;
      const auto end = std::upper_bound(st.by_begin.begin(), st.by_begin.end(),
                                        std::pair<int64_t, size_t>{e.End(), SIZE_MAX});
      const auto first =
          std::lower_bound(st.by_begin.begin(), st.by_begin.end(),
                           std::pair<int64_t, size_t>{int64_t{e.begin} - st.longest, 0});
      for (auto it = first; it < end; ++it) {
        const KnownTimer& t = s_.timers[it->second];
        if (same_channel(t) && Overlap(t, e.begin, e.End()) > e.duration / 10 * 8) {
          m.duplicate_of = it->second;
          return RuleCheck::kDuplicateEvent;
        }
      }
    }
    const int adp = r_.avoid_duplicate_description;
    if (adp < 1) return RuleCheck::kRecorded;
    s_.IndexNames();
    // The box's timers one by one; those the rules took (named by their titles) by name.
    auto check = [&](size_t i, bool any_channel) {
      KnownTimer& t = s_.timers[i];
      if (t.disabled || !(any_channel || same_channel(t))) return false;
      if (!SameProgramme(title, short_text, extended, t)) return false;
      m.duplicate_of = i;
      return true;
    };
    for (int level = 1; level <= std::min(adp, 2); ++level) {
      const bool any = level == 2;
      if (any) {
        for (size_t i = 0; i < s_.box_timers; ++i) {
          if (check(i, true)) return RuleCheck::kDuplicateDescription;
        }
      } else if (service != s_.by_service.end()) {
        for (size_t i : service->second.box) {
          if (check(i, false)) return RuleCheck::kDuplicateDescription;
        }
      }
      if (const auto it = s_.taken_by_name.find(title); it != s_.taken_by_name.end()) {
        for (size_t i : it->second) {
          if (check(i, any)) return RuleCheck::kDuplicateDescription;
        }
      }
    }
    return RuleCheck::kRecorded;
  }

  // Every programme that gets this far moves the counter's period on, as on the box.
  void UpdateCounter(int64_t begin, const LocalTime& t) {
    if (r_.counter == 0 || begin <= p_.last_begin) return;
    p_.last_begin = begin;
    const std::string limit = FormatPeriod(r_.counter_format, t);
    if (limit != p_.counter_limit) {
      p_.counter_left = r_.counter;
      p_.counter_limit = limit;
    }
  }

  bool CounterUsedUp(const LocalTime& t) const {
    if (r_.counter == 0) return false;
    if (FormatPeriod(r_.counter_format, t) != p_.counter_limit) return true;
    return p_.counter_left <= 0;
  }

  RuleMatcher::State& s_;
  Prepared& p_;
  const AutoTimerRule& r_;
};

ExistingTimer ExistingTimerOf(const boxdata::TimerValues& v) {
  ExistingTimer t;
  t.service_reference = v.serviceref;
  t.eit = v.eit;
  t.name = v.name;
  t.description = boxdata::XmlUnescape(v.description);
  t.disabled = v.disabled != 0;
  t.begin = v.begin.value_or(0);
  t.end = v.end.value_or(0);
  return t;
}

std::string_view RuleCheckText(RuleCheck check) {
  switch (check) {
    case RuleCheck::kRecorded:
      return "recorded";
    case RuleCheck::kStarted:
      return "begins too soon or is over";
    case RuleCheck::kDay:
      return "day of week";
    case RuleCheck::kChannel:
      return "channel";
    case RuleCheck::kDuration:
      return "longer than the maximum duration";
    case RuleCheck::kTimeSpan:
      return "time span";
    case RuleCheck::kTimeFrame:
      return "time frame";
    case RuleCheck::kExcluded:
      return "excluded";
    case RuleCheck::kNotIncluded:
      return "not included";
    case RuleCheck::kDuplicateEvent:
      return "a timer covers it already";
    case RuleCheck::kDuplicateDescription:
      return "duplicate by description";
    case RuleCheck::kCounter:
      return "counter used up";
  }
  return "";
}

RuleMatcher::RuleMatcher(const RuleTitles& titles, std::vector<ExistingTimer> timers,
                         RuleRunSettings settings)
    : state_(std::make_unique<State>(titles, std::move(settings))) {
  for (ExistingTimer& e : timers) {
    KnownTimer t;
    t.key = boxdata::GuideKeyOf(e.service_reference);
    t.eit = e.eit;
    t.name = state_->box_names.emplace_back(std::move(e.name));
    t.short_text = std::move(e.description);
    t.disabled = e.disabled;
    t.begin = e.begin;
    t.end = e.end;
    state_->Add(std::move(t));
  }
  state_->box_timers = state_->timers.size();
}

RuleMatcher::~RuleMatcher() = default;

void RuleMatcher::Reset() {
  State& s = *state_;
  s.timers.resize(s.box_timers);
  s.Reindex();
}

size_t RuleMatcher::TimerCount() const {
  return state_->timers.size();
}

std::optional<size_t> RuleMatcher::TimerRule(size_t timer) const {
  return timer < state_->timers.size() ? state_->timers[timer].rule : std::nullopt;
}

std::vector<std::string> RuleMatcher::PatternProblems(const AutoTimerRule& rule) {
  std::vector<std::string> problems;
  Compile(rule.excludes, rule.case_sensitive, &problems);
  Compile(rule.includes, rule.case_sensitive, &problems);
  return problems;
}

namespace {

// The events the rule's first check finds: by title, or by short or long text.
std::vector<uint32_t> Candidates(RuleMatcher::State& s, const Prepared& p) {
  const AutoTimerRule& r = p.rule;
  if (r.match.empty()) return {};
  if (r.search_type != boxdata::RuleSearchType::kDescription) {
    return s.titles.EventsWithTitle(r.match, r.search_type, r.case_sensitive);
  }
  // The plugin looks at the texts of the rule's channels only (of all when it has none).
  const std::string match = r.case_sensitive ? r.match : FoldCase(r.match);
  std::vector<uint32_t> found;
  const std::span<const GuideEvent> all = s.guide.Events();
  for (uint32_t i = 0; i < all.size(); ++i) {
    if (!p.allowed.empty() && !p.allowed[all[i].service]) continue;
    if (all[i].End() <= s.settings.now) continue;
    const GuideEventTexts& x = s.Texts(i);
    auto holds = [&](const std::string& text) {
      return Holds(r.case_sensitive ? text : FoldCase(text), match);
    };
    if (holds(x.short_text) || holds(x.extended_text)) found.push_back(i);
  }
  return found;
}

}  // namespace

std::vector<RuleMatch> RuleMatcher::Match(const AutoTimerRule& rule, size_t rule_index) {
  State& s = *state_;
  Prepared prepared(rule, s);
  std::vector<uint32_t> events = Candidates(s, prepared);
  // By begin, then channel: events are kept channel after channel, so at one begin their
  // indexes are in channel order, and a begin and an index make one number to sort.
  const std::span<const GuideEvent> all = s.guide.Events();
  std::vector<uint64_t> order(events.size());
  for (size_t i = 0; i < events.size(); ++i)
    order[i] = uint64_t{all[events[i]].begin} << 32 | events[i];
  std::sort(order.begin(), order.end());
  for (size_t i = 0; i < events.size(); ++i)
    events[i] = static_cast<uint32_t>(order[i]);
  if (const size_t need = s.timers.size() + events.size(); need > s.timers.capacity()) {
    s.timers.reserve(std::max(need, 2 * s.timers.capacity()));
  }
  std::vector<RuleMatch> out;
  out.reserve(events.size());
  ProgrammeChecks checks(s, prepared);
  for (uint32_t index : events) {
    RuleMatch m;
    m.event = index;
    std::optional<KnownTimer> taken;
    m.check = checks.Run(index, m, taken);
    if (taken) {
      taken->rule = rule_index;
      s.Add(std::move(*taken));
    }
    out.push_back(m);
  }
  return out;
}

}  // namespace tivolo::plan
