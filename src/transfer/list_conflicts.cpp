#include "transfer/list_conflicts.h"

#include "plan/conflict_model.h"
#include "plan/plan_timer.h"
#include "plan/tuner_texts.h"

namespace tivolo::transfer {

std::string MergedListQuestion(const std::vector<ListedTimer>& merged, const TunerFacts& facts,
                               const TimerLabeller& labeller, const platform::ClockSettings& clock,
                               int64_t now, bool live) {
  if (!facts.tuners.Known()) return {};
  std::vector<plan::PlanTimer> timers;
  timers.reserve(merged.size());
  for (const ListedTimer& t : merged)
    timers.push_back(plan::PlanTimerFromValues(t.values, labeller.Channel(t)));
  const plan::ConflictModel model(std::move(timers), facts.tuners, facts.transponders, clock, now);
  return plan::SaveQuestion(model, model.Check(), clock, live);
}

}  // namespace tivolo::transfer
