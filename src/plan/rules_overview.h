// What every enabled series rule would add to the box's list now, with what the user should
// look at before the rules run: the programmes a timer of the box covers already, those that
// would be recorded twice (found by two rules, or the same episode taken twice), and the new
// recordings that would meet the box's tuners in a conflict, found by the conflict model on the
// box's list together with the new recordings (when the tuners are known).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "boxdata/transponder_list.h"
#include "plan/conflict_model.h"
#include "plan/rule_matcher.h"
#include "plan/tuner_setup.h"

namespace tivolo::plan {

// What the conflict check needs beside the rules' matches.
struct OverviewTuners {
  std::vector<PlanTimer> list;  // the box's list as the conflict model reads it
  TunerSet tuners;              // not Known(): nothing is checked
  boxdata::TransponderList transponders;
  // The service reference of each service of the guide (index into Guide().Services()), for
  // the new recordings' transponders; a missing or empty one is made from the guide's key.
  std::vector<std::string> service_references;
};

struct OverviewItem {
  PreviewEntry entry;
  bool covered = false;  // a timer of the box records it already: the rule adds nothing
  // Found by more than one rule (entry.also_rules), or the same episode as another item that
  // is recorded too (twin): either way the user may not want both.
  bool twice = false;
  std::optional<size_t> twin;  // the other item of the same episode (the first, or a later)
  // The conflict model's verdict on the new recording: it gets no tuner somewhere, or it holds
  // a tuner another recording then lacks.
  bool no_tuner = false;
  bool takes_tuner = false;
  std::vector<std::string> conflicts_with;  // the names of the other recordings, each once
  bool Conflict() const { return no_tuner || takes_tuner; }
};

struct RulesOverview {
  std::vector<OverviewItem> items;  // as PreviewAll gives them
  bool tuners_checked = false;      // false: the tuners are not known
  uint32_t unknowns = 0;            // what the conflict model could not take into account
  size_t added = 0, covered = 0, twice = 0, conflicts = 0;
  // "5 new timers, 1 covered already, 2 twice, 1 in a conflict" (or "tuners unknown").
  std::string Summary() const;
};

RulesOverview OverviewOfRules(const RuleTitles& titles,
                              std::span<const boxdata::AutoTimerRule> rules,
                              std::vector<ExistingTimer> timers, const RuleRunSettings& settings,
                              const OverviewTuners& tuners);

}  // namespace tivolo::plan
