// Which tuner records which timer, and where the box runs out of tuners, following the
// receiver's own rules (its sanity check and its tuner allocation):
//  - the timers that take part (plan_timer.h: TakesPart) recur over the window the receiver
//    checks (RepeatWindow);
//  - recordings are taken in order of begin; a begin at the same second as another's end
//    overlaps it (the ending recording still holds its tuner);
//  - a recording on a transponder (namespace, TSID, ONID) already tuned shares that tuner;
//  - otherwise the free compatible tuner with the best score (the fewest systems: a plain DVB-S
//    tuner before a DVB-S2 one for a DVB-S transponder), the lowest slot on ties. Compatible:
//    the system, multistream, and for satellite an orbital position the tuner reaches; on a
//    loop-through cable a tuner may only take a transponder on the same input, band (high
//    from 11700 MHz) and polarisation as every busy tuner on that cable;
//  - a recording that finds no tuner gets none for its whole length.
// What it cannot know is returned as Unknown bits with every answer (tuner_texts.h words them).
//
// Build one model per timer list (it copies what it needs); every question is then const.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "boxdata/transponder_list.h"
#include "plan/plan_timer.h"
#include "plan/tuner_setup.h"
#include "platform/clock.h"

namespace tivolo::plan {

// The timer index that stands for the candidate of VerdictFor.
inline constexpr uint32_t kCandidateIndex = std::numeric_limits<uint32_t>::max();

// One recording and the tuner the model gives it (a slot, -1 for none).
struct Assignment {
  uint32_t timer = 0;
  int64_t begin = 0, end = 0;
  int tuner = -1;
};

// A stretch of time in which recordings get no tuner.
struct Conflict {
  int64_t begin = 0;                 // the first recording without a tuner begins
  int64_t end = 0;                   // the last of them ends
  std::vector<Assignment> no_tuner;  // in order of begin
  // The recordings that hold a tuner one of them could have used when it began, in order of
  // begin, each once. Empty when no tuner of the box can receive it at all.
  std::vector<Assignment> holders;
};

struct ConflictReport {
  std::vector<Conflict> conflicts;     // in order of time
  std::vector<Assignment> allocation;  // every recording, in order of begin (the week picture)
  uint32_t unknowns = 0;               // Unknown bits
  bool checked = false;                // false when the tuners are not known: nothing was checked
};

struct Verdict {
  bool takes_part = false;          // false: the receiver does not check this timer (disabled, ...)
  bool checked = false;             // false when the tuners are not known
  std::vector<Conflict> conflicts;  // those the candidate is part of, either way round
  uint32_t unknowns = 0;
  bool Ok() const { return conflicts.empty(); }
};

// The timers (indices) that get no tuner somewhere in the report, ascending, each once: the
// grid's conflict marks and its "conflicts only" filter.
std::vector<uint32_t> TimersWithoutTuner(const ConflictReport& report);

class ConflictModel {
 public:
  // `transponders` may be empty (no service list): transponders are then known only by their
  // namespace, and kUnknownTransponder is named.
  ConflictModel(std::vector<PlanTimer> timers, TunerSet tuners,
                const boxdata::TransponderList& transponders, platform::ClockSettings clock,
                int64_t now);
  ConflictModel(ConflictModel&&) noexcept;
  ConflictModel& operator=(ConflictModel&&) noexcept;
  ~ConflictModel();

  const std::vector<PlanTimer>& Timers() const { return timers_; }
  const TunerSet& Tuners() const { return tuners_; }

  // Every conflict in the list, and the allocation.
  ConflictReport Check() const;

  // The candidate against every other timer: `replaces` is the index of the timer being edited
  // (left out), nothing for a new timer. Fast: only recordings that overlap the candidate's,
  // directly or through a chain of overlaps, are allocated again. A one-shot candidate outside
  // the list's window meets the repeated timers in its own weeks, as the receiver would.
  Verdict VerdictFor(const PlanTimer& candidate, std::optional<uint32_t> replaces) const;

  // The timers the receiver switches off when it loads the list: it takes them in list order
  // and disables each one that conflicts with those already kept. Indices, ascending.
  std::vector<uint32_t> DisabledOnLoad() const;

 private:
  struct Signal;
  struct Run;
  Signal SignalOf(const PlanTimer& timer) const;
  uint32_t UnknownsOf(const Signal& signal) const;
  // Allocates the recordings (sorted by begin) and returns their conflicts; tuner_of (when
  // given) receives each recording's tuner slot.
  std::vector<Conflict> Allocate(const std::vector<Occurrence>& sorted, const Signal* candidate,
                                 std::vector<int>* tuner_of) const;
  // The model's recordings overlapping [begin, end] directly or through a chain of overlaps.
  void AppendClustersAround(int64_t begin, int64_t end, std::vector<uint8_t>& marked) const;

  std::vector<PlanTimer> timers_;
  TunerSet tuners_;
  boxdata::TransponderList transponders_;
  platform::ClockSettings clock_;
  int64_t now_ = 0;
  RepeatWindow window_;
  std::vector<Signal> signals_;          // per timer
  std::vector<uint8_t> takes_part_;      // per timer
  std::vector<uint32_t> repeated_;       // the repeated timers that take part
  std::vector<Occurrence> occurrences_;  // of the timers that take part, by begin
  // Clusters: runs of occurrences_ linked by overlaps. cluster_start_[k] is the first index
  // of cluster k (plus a final entry), cluster_end_[k] the latest end within it.
  std::vector<uint32_t> cluster_start_;
  std::vector<int64_t> cluster_end_;
  uint32_t unknowns_ = 0;
};

}  // namespace tivolo::plan
