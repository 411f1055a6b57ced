#include "plan/rules_overview.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "plan/tuner_texts.h"

namespace tivolo::plan {
namespace {

// A reference the conflict model can read for a service the user has no channel of: the
// guide's key with namespace 0 (its transponder is then not known beyond the key).
std::string ReferenceOfKey(const boxdata::GuideServiceKey& key) {
  char text[64];
  std::snprintf(text, sizeof text, "1:0:1:%X:%X:%X:0:0:0:0:", key.service_id,
                key.transport_stream_id, key.original_network_id);
  return text;
}

std::string ReferenceOf(const boxdata::Guide& guide, uint32_t service,
                        const std::vector<std::string>& references) {
  if (service < references.size() && !references[service].empty()) return references[service];
  return ReferenceOfKey(guide.Services()[service].key);
}

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

void AddName(std::vector<std::string>& names, const std::string& name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

// Runs the conflict model on the box's list and the new recordings and marks the items whose
// recording takes part in a conflict, either way round.
void MarkConflicts(RulesOverview& overview, std::span<const boxdata::AutoTimerRule> rules,
                   const RuleTitles& titles, const RuleRunSettings& settings,
                   const OverviewTuners& tuners) {
  if (!tuners.tuners.Known()) return;
  const boxdata::Guide& guide = titles.Guide();
  std::vector<PlanTimer> timers = tuners.list;
  const size_t box_timers = timers.size();
  std::vector<size_t> item_of;  // by new model timer
  for (size_t i = 0; i < overview.items.size(); ++i) {
    const OverviewItem& item = overview.items[i];
    if (item.covered) continue;
    const boxdata::AutoTimerRule& rule = rules[item.entry.rule];
    const boxdata::GuideEvent& event = guide.Events()[item.entry.match.event];
    PlanTimer t;
    t.begin = item.entry.match.timer_begin;
    t.end = item.entry.match.timer_end;
    t.serviceref = ReferenceOf(guide, event.service, tuners.service_references);
    t.justplay = rule.justplay != 0;
    t.conflict_detection = rule.conflict_detection;
    t.name = std::string(guide.Title(event));
    timers.push_back(std::move(t));
    item_of.push_back(i);
  }
  const ConflictModel model(std::move(timers), tuners.tuners, tuners.transponders, settings.clock,
                            settings.now);
  const ConflictReport report = model.Check();
  overview.tuners_checked = report.checked;
  overview.unknowns = report.unknowns;
  const auto item_at = [&](uint32_t timer) -> OverviewItem* {
    return timer >= box_timers ? &overview.items[item_of[timer - box_timers]] : nullptr;
  };
  for (const Conflict& c : report.conflicts) {
    std::vector<const Assignment*> all;
    for (const Assignment& a : c.no_tuner)
      all.push_back(&a);
    for (const Assignment& a : c.holders)
      all.push_back(&a);
    for (size_t k = 0; k < all.size(); ++k) {
      OverviewItem* item = item_at(all[k]->timer);
      if (!item) continue;
      (k < c.no_tuner.size() ? item->no_tuner : item->takes_tuner) = true;
      for (const Assignment* other : all)
        if (other->timer != all[k]->timer)
          AddName(item->conflicts_with, model.Timers()[other->timer].name);
    }
  }
}

}  // namespace

std::string RulesOverview::Summary() const {
  if (items.empty()) return "The enabled rules add nothing now";
  std::string text = Count(added, "new timer", "new timers");
  if (covered) text += ", " + std::to_string(covered) + " covered already";
  if (twice) text += ", " + std::to_string(twice) + " twice";
  if (!tuners_checked) return text + "; tuners unknown: conflicts not checked";
  text += conflicts ? ", " + std::to_string(conflicts) + " in a conflict" : ", no conflict";
  const std::string unknown = UnknownsText(unknowns);
  return unknown.empty() ? text : text + " (" + unknown + ")";
}

RulesOverview OverviewOfRules(const RuleTitles& titles,
                              std::span<const boxdata::AutoTimerRule> rules,
                              std::vector<ExistingTimer> timers, const RuleRunSettings& settings,
                              const OverviewTuners& tuners) {
  RulesOverview overview;
  for (PreviewEntry& entry : PreviewAll(titles, rules, std::move(timers), settings)) {
    OverviewItem item;
    item.covered = entry.covered_by_timer.has_value();
    item.twice = !entry.also_rules.empty();
    item.entry = std::move(entry);
    overview.items.push_back(std::move(item));
  }
  // Both items of a repeated episode are marked: either may be the one to leave.
  for (size_t i = 0; i < overview.items.size(); ++i) {
    const std::optional<size_t> first = overview.items[i].entry.repeat_of;
    if (!first) continue;
    overview.items[i].twice = true;
    overview.items[i].twin = first;
    overview.items[*first].twice = true;
    if (!overview.items[*first].twin) overview.items[*first].twin = i;
  }
  MarkConflicts(overview, rules, titles, settings, tuners);
  for (const OverviewItem& item : overview.items) {
    if (item.covered) {
      ++overview.covered;
    } else {
      ++overview.added;
    }
    if (item.twice) ++overview.twice;
    if (item.Conflict()) ++overview.conflicts;
  }
  return overview;
}

}  // namespace tivolo::plan
