// The preview of every rule: what the rules would add to the box's list in one run.
#include <algorithm>
#include <unordered_map>

#include "plan/rule_matcher.h"

namespace tivolo::plan {

std::vector<PreviewEntry> PreviewAll(const RuleTitles& titles,
                                     std::span<const boxdata::AutoTimerRule> rules,
                                     std::vector<ExistingTimer> timers,
                                     const RuleRunSettings& settings) {
  RuleMatcher matcher(titles, std::move(timers), settings);
  const size_t box_timers = matcher.TimerCount();
  std::vector<PreviewEntry> out;
  std::unordered_map<size_t, size_t> entry_of_timer;  // timers taken in this run
  for (size_t r = 0; r < rules.size(); ++r) {
    if (!rules[r].enabled) continue;
    size_t next_timer = matcher.TimerCount();
    for (const RuleMatch& m : matcher.Match(rules[r], r)) {
      if (m.check == RuleCheck::kRecorded) {
        entry_of_timer[next_timer++] = out.size();
        out.push_back({r, m, std::nullopt, {}, std::nullopt});
      } else if (m.check == RuleCheck::kDuplicateEvent && m.duplicate_of) {
        if (*m.duplicate_of < box_timers) {
          out.push_back({r, m, m.duplicate_of, {}, std::nullopt});
        } else if (const auto it = entry_of_timer.find(*m.duplicate_of);
                   it != entry_of_timer.end() && out[it->second].rule != r) {
          std::vector<size_t>& also = out[it->second].also_rules;
          if (std::find(also.begin(), also.end(), r) == also.end()) also.push_back(r);
        }
      }
    }
  }
  // The same episode twice: the same title and short text, known by their descriptors.
  const boxdata::Guide& guide = titles.Guide();
  std::unordered_map<uint64_t, size_t> first;
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i].match.check != RuleCheck::kRecorded) continue;
    const uint64_t key = guide.ShortEventKey(guide.Events()[out[i].match.event]);
    if (key == 0) continue;
    const auto [it, added] = first.try_emplace(key, i);
    if (!added) out[i].repeat_of = it->second;
  }
  return out;
}

}  // namespace tivolo::plan
