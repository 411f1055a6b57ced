// When the box's web interface refuses an add or a change for a conflict, it names the timers
// in the way. Our own tuner check, run on the list the box held when it was asked, names its
// own; where the two differ the log says so, which is how a fault in our check comes to light.
// Qt-free.
#pragma once

#include <cstdint>
#include <vector>

#include "boxdata/transponder_list.h"
#include "plan/plan_timer.h"
#include "plan/tuner_setup.h"
#include "platform/clock.h"
#include "web/box_timer.h"
#include "web/live_apply.h"

namespace tivolo::transfer {

// What our check needs of the box beside its timers; nothing is compared while the tuners are
// not known.
struct TunerFacts {
  plan::TunerSet tuners;
  boxdata::TransponderList transponders;
};

struct RefusalComparison {
  bool compared = false;                 // the tuners were known and the call is an add or a change
  bool we_found_conflict = false;        // our check found the call in a conflict at all
  std::vector<web::BoxTimer> box_only;   // named by the box, not by our check
  std::vector<web::BoxTimer> ours_only;  // named by our check, not by the box
  bool Differs() const { return compared && (!box_only.empty() || !ours_only.empty()); }
};

// The timer as our check reads it (no conflict_detection attribute comes through the
// interface: it counts as on).
plan::PlanTimer PlanTimerOf(const web::BoxTimer& timer);

// held: the box's list just before the call; named: the timers the box said are in the way,
// the refused one itself left out. Our side is every other recording in a conflict the call's
// timer is part of, with a tuner or without.
RefusalComparison CompareRefusal(const std::vector<web::BoxTimer>& held,
                                 const web::TimerOperation& call,
                                 const std::vector<web::TimerConflict>& named,
                                 const TunerFacts& facts, const platform::ClockSettings& clock,
                                 int64_t now);

// The box's list after a call it applied (a shifted add at the begin the box gave it).
void ApplyToHeld(std::vector<web::BoxTimer>& held, const web::TimerOperation& call,
                 const web::OperationOutcome& outcome);

}  // namespace tivolo::transfer
