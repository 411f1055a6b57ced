// The texts the windows and the command line show about tuners and conflicts. Pure functions:
// the same inputs give the same text, so that each place says a thing the same way.
#pragma once

#include <cstdint>
#include <string>

#include "plan/conflict_model.h"
#include "plan/tuner_setup.h"
#include "platform/clock.h"

namespace tivolo::plan {

// "19.2E", "5.0W" for an orbital position in tenths of a degree east (0..3599).
std::string OrbitalText(int orbital_position);

// Configuration's description of the set-up as read:
// "A: DVB-S2, 19.2E and 13.0E; B: DVB-S2, loop-through from A; C: DVB-C; D: empty".
// "No tuners known" for an empty set.
std::string DescribeTuners(const TunerSet& set);

// The status bar: "Tuners: 2 x DVB-S2 (19.2E, 28.2E)", several types separated by ", ";
// "Tuners unknown: conflicts are not checked" when the set is not known.
std::string TunerStatus(const TunerSet& set);

// What the model could not take into account, for the Unknown bits given:
// "Not checked: unicable, CI slots". Empty for none.
std::string UnknownsText(uint32_t unknowns);

// "second", "third", ... "eighth", then "9th".
std::string Ordinal(int n);

// The editor's line for a verdict (empty when it is fine or was not checked), about its first
// conflict: "Needs a third tuner on Tue 15-12 20:15-21:00, with "X" (Canal Vista) and "Y"
// (Iris)"; "No tuner of the box receives this channel" when none could. The time is when all
// of them record at once, local, in the day and date format of the store's settings. Show
// UnknownsText(verdict.unknowns) next to it.
std::string EditorLine(const ConflictModel& model, const Verdict& verdict,
                       const PlanTimer& candidate, const platform::ClockSettings& clock);

// A conflict for the grid's tooltip: "No tuner on Tue 15-12 20:15-21:00; the tuners record
// "X" (Canal Vista) and "Y" (Iris)".
std::string ConflictTooltip(const ConflictModel& model, const Conflict& conflict,
                            const platform::ClockSettings& clock);

// The command line's line for a conflict: "YYYY-MM-DD HH:MM" local time of its begin, a blank,
// then each recording that gets no tuner as "serviceref begin end name", joined by " | ".
std::string CommandLineLine(const ConflictModel& model, const Conflict& conflict,
                            const platform::ClockSettings& clock);

// The question before a save whose list has conflicts, naming each moment and the timers that
// get no tuner then; live: the box's interface refuses them, otherwise the receiver switches
// them off when it loads the list. Empty when the report holds none.
std::string SaveQuestion(const ConflictModel& model, const ConflictReport& report,
                         const platform::ClockSettings& clock, bool live);

}  // namespace tivolo::plan
