// The tuner check of the timer list as the windows show it: the Timers table's records as the
// conflict model's timers, each with its record, so that the grid marks the timers that get no
// tuner, the week picture draws which tuner records what, the editor warns and the save asks.
// Qt-free.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "boxdata/transponder_list.h"
#include "plan/conflict_model.h"
#include "plan/tuner_setup.h"
#include "store/mem_table.h"
#include "ui/timer_state.h"

namespace tivolo::ui {

// What the check needs of the box beside its timers.
struct TunerContext {
  plan::TunerSet tuners;
  boxdata::TransponderList transponders;
};

// A record's values as the model reads them: times by the save's rule at now.
plan::PlanTimer PlanTimerOf(const store::RecordBuffer& record, const TimerStateFields& fields,
                            const platform::ClockSettings& clock, int64_t now);

class TimerConflicts {
 public:
  // Every stored record of the table in its view's order; the cursor is not moved.
  TimerConflicts(store::MemTable& timers, const TunerContext& context,
                 const platform::ClockSettings& clock, int64_t now);

  const plan::ConflictModel& Model() const { return model_; }
  const plan::ConflictReport& Report() const { return report_; }
  // The record of a model timer (plan::Assignment::timer).
  int32_t RecordOf(uint32_t timer) const { return records_.at(timer); }
  // The model timer of a record; -1 when the record is not in the check.
  int64_t TimerOf(int32_t record) const;
  // For the grid: the tooltip of each record that gets no tuner somewhere.
  const std::unordered_map<int32_t, std::string>& Marks() const { return marks_; }

  // The editor's line for a timer as it is being edited (record -1 for a new one): empty when
  // it finds a tuner; followed by what the model could not take into account.
  std::string EditorLine(const plan::PlanTimer& candidate, int32_t record) const;

 private:
  struct Collected;
  static Collected Collect(store::MemTable& timers, const platform::ClockSettings& clock,
                           int64_t now);
  TimerConflicts(Collected collected, const TunerContext& context,
                 const platform::ClockSettings& clock, int64_t now);

  platform::ClockSettings clock_;
  std::vector<int32_t> records_;  // by model timer
  plan::ConflictModel model_;
  plan::ConflictReport report_;
  std::unordered_map<int32_t, std::string> marks_;
};

}  // namespace tivolo::ui
