#include "transfer/refusal_comparison.h"

#include <optional>

#include "plan/conflict_model.h"

namespace tivolo::transfer {
namespace {

using Kind = web::TimerOperation::Kind;

bool SameService(const std::string& a, const std::string& b) {
  return web::ReferenceHead(a) == web::ReferenceHead(b);
}

// The box's timer as it holds it: a delete's or a change's `before`.
std::optional<size_t> FindHeld(const std::vector<web::BoxTimer>& held, const web::BoxTimer& t) {
  for (size_t i = 0; i < held.size(); ++i) {
    if (held[i].begin == t.begin && held[i].end == t.end && held[i].name == t.name &&
        SameService(held[i].serviceref, t.serviceref))
      return i;
  }
  return std::nullopt;
}

// A timer the box named: by its times, else (a repeated timer the box has moved on to its
// next day) by its name on the same channel.
std::optional<size_t> FindNamed(const std::vector<web::BoxTimer>& held,
                                const web::TimerConflict& c) {
  std::optional<size_t> by_name;
  for (size_t i = 0; i < held.size(); ++i) {
    if (!SameService(held[i].serviceref, c.serviceref)) continue;
    if (held[i].begin == c.begin && held[i].end == c.end) return i;
    if (!by_name && held[i].name == c.name) by_name = i;
  }
  return by_name;
}

}  // namespace

plan::PlanTimer PlanTimerOf(const web::BoxTimer& timer) {
  plan::PlanTimer t;
  t.begin = timer.begin;
  t.end = timer.end;
  t.serviceref = timer.serviceref;
  t.repeated = timer.repeated & 0x7f;
  t.disabled = timer.disabled;
  t.justplay = timer.justplay;
  t.name = timer.name;
  t.channel = timer.servicename;
  return t;
}

RefusalComparison CompareRefusal(const std::vector<web::BoxTimer>& held,
                                 const web::TimerOperation& call,
                                 const std::vector<web::TimerConflict>& named,
                                 const TunerFacts& facts, const platform::ClockSettings& clock,
                                 int64_t now) {
  RefusalComparison out;
  if (!facts.tuners.Known() || call.kind == Kind::kDelete) return out;
  std::vector<plan::PlanTimer> timers;
  timers.reserve(held.size());
  for (const web::BoxTimer& t : held)
    timers.push_back(PlanTimerOf(t));
  // The box puts a change in place before its check: the old version is not in the way.
  std::optional<uint32_t> replaces;
  if (call.kind == Kind::kChange) {
    if (const auto i = FindHeld(held, call.before)) replaces = static_cast<uint32_t>(*i);
  }
  const plan::ConflictModel model(std::move(timers), facts.tuners, facts.transponders, clock, now);
  const plan::Verdict verdict = model.VerdictFor(PlanTimerOf(call.after), replaces);
  if (!verdict.checked) return out;
  out.compared = true;
  out.we_found_conflict = !verdict.conflicts.empty();
  std::vector<bool> ours(held.size()), theirs(held.size());
  for (const plan::Conflict& c : verdict.conflicts) {
    for (const auto* list : {&c.no_tuner, &c.holders}) {
      for (const plan::Assignment& a : *list) {
        if (a.timer != plan::kCandidateIndex && a.timer != replaces) ours[a.timer] = true;
      }
    }
  }
  for (const web::TimerConflict& c : named) {
    if (const auto i = FindNamed(held, c)) {
      theirs[*i] = true;
    } else {
      out.box_only.push_back({.serviceref = c.serviceref,
                              .servicename = c.servicename,
                              .name = c.name,
                              .begin = c.begin,
                              .end = c.end});
    }
  }
  for (size_t i = 0; i < held.size(); ++i) {
    if (theirs[i] && !ours[i]) out.box_only.push_back(held[i]);
    if (ours[i] && !theirs[i]) out.ours_only.push_back(held[i]);
  }
  return out;
}

void ApplyToHeld(std::vector<web::BoxTimer>& held, const web::TimerOperation& call,
                 const web::OperationOutcome& outcome) {
  if (call.kind == Kind::kAdd) {
    held.push_back(call.after);
    if (outcome.status == web::OperationStatus::kShifted) held.back().begin = outcome.box_begin;
    return;
  }
  const auto i = FindHeld(held, call.before);
  if (!i) return;
  if (call.kind == Kind::kDelete)
    held.erase(held.begin() + static_cast<ptrdiff_t>(*i));
  else
    held[*i] = call.after;
}

}  // namespace tivolo::transfer
