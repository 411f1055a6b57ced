#include "ui/timer_conflicts.h"

#include <utility>

#include "boxdata/box_tables.h"
#include "boxdata/timer_writer.h"
#include "plan/tuner_texts.h"

namespace tivolo::ui {
namespace {}  // namespace

struct TimerConflicts::Collected {
  std::vector<int32_t> records;
  std::vector<plan::PlanTimer> timers;
};

TimerConflicts::Collected TimerConflicts::Collect(store::MemTable& timers,
                                                  const platform::ClockSettings& clock,
                                                  int64_t now) {
  TimerConflicts::Collected out;
  if (!timers.Active()) return out;
  const TimerStateFields fields(timers);
  const int rows = timers.RecordCount();
  out.records.reserve(static_cast<size_t>(rows));
  out.timers.reserve(static_cast<size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    const store::RecordBuffer record = timers.ViewRecordAt(row);
    out.records.push_back(record.RecordId());
    out.timers.push_back(PlanTimerOf(record, fields, clock, now));
  }
  return out;
}

plan::PlanTimer PlanTimerOf(const store::RecordBuffer& record, const TimerStateFields& fields,
                            const platform::ClockSettings& clock, int64_t now) {
  const boxdata::TimerSeconds seconds = boxdata::WrittenSeconds(
      record, fields.times, clock, platform::EpochToDateTime(static_cast<int32_t>(now)));
  plan::PlanTimer t;
  t.begin = seconds.begin;
  t.end = seconds.end;
  t.serviceref = record.AsString(fields.serviceref);
  t.repeated = record.AsLargeInt(fields.repeated_org) & 0x7f;
  t.disabled = record.AsLargeInt(fields.disabled) != 0;
  t.justplay = record.AsLargeInt(fields.justplay) != 0;
  t.conflict_detection =
      record.AsString(fields.extra_attributes).find(" conflict_detection=\"0\"") ==
      std::string::npos;
  t.name = record.AsString(fields.name);
  t.channel = record.AsString(fields.zender);
  return t;
}

TimerConflicts::TimerConflicts(store::MemTable& timers, const TunerContext& context,
                               const platform::ClockSettings& clock, int64_t now)
    : TimerConflicts(Collect(timers, clock, now), context, clock, now) {}

TimerConflicts::TimerConflicts(Collected collected, const TunerContext& context,
                               const platform::ClockSettings& clock, int64_t now)
    : clock_(clock),
      records_(std::move(collected.records)),
      model_(std::move(collected.timers), context.tuners, context.transponders, clock, now),
      report_(model_.Check()) {
  for (const plan::Conflict& c : report_.conflicts) {
    const std::string tip = plan::ConflictTooltip(model_, c, clock_);
    for (const plan::Assignment& a : c.no_tuner) {
      std::string& mark = marks_[RecordOf(a.timer)];
      if (mark.find(tip) == std::string::npos) mark += (mark.empty() ? "" : "\n") + tip;
    }
  }
}

int64_t TimerConflicts::TimerOf(int32_t record) const {
  for (size_t i = 0; i < records_.size(); ++i)
    if (records_[i] == record) return static_cast<int64_t>(i);
  return -1;
}

std::string TimerConflicts::EditorLine(const plan::PlanTimer& candidate, int32_t record) const {
  const int64_t replaces = TimerOf(record);
  const plan::Verdict verdict = model_.VerdictFor(
      candidate,
      replaces >= 0 ? std::optional<uint32_t>(static_cast<uint32_t>(replaces)) : std::nullopt);
  std::string line = plan::EditorLine(model_, verdict, candidate, clock_);
  const std::string unknowns = plan::UnknownsText(verdict.unknowns);
  if (!line.empty() && !unknowns.empty()) line += " (" + unknowns + ")";
  return line;
}

}  // namespace tivolo::ui
