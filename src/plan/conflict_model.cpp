#include "plan/conflict_model.h"

#include <algorithm>
#include <bit>

#include "boxdata/errors.h"
#include "boxdata/service_reference.h"

namespace tivolo::plan {
namespace {

constexpr uint32_t kHighBandFromKhz = 11700000;  // a universal LNB's switch frequency
constexpr uint32_t kGroupFlag = 0x80;            // a reference to alternatives

bool ByBegin(const Occurrence& a, const Occurrence& b) {
  return a.begin != b.begin ? a.begin < b.begin : a.timer < b.timer;
}

}  // namespace

struct ConflictModel::Signal {
  uint32_t ns = 0, tsid = 0, onid = 0;
  uint32_t system = 0;  // the SystemBit the transponder needs
  int orbital = -1;     // satellite only
  int band = -1;        // 0 low, 1 high; -1 unknown
  int polarisation = -1;
  bool multistream = false;
  bool valid = false;  // the reference names a transponder
  bool known = false;  // found in the service list
  bool alternatives = false;
};

// The state of the tuners while recordings are taken in order of begin.
struct ConflictModel::Run {
  const TunerSet& set;
  std::vector<int> users;  // recordings on each tuner (by index into set.tuners)
  std::vector<const Signal*> tuned;
  std::vector<int> cable;  // the slot whose cable each tuner is on

  explicit Run(const TunerSet& s)
      : set(s), users(s.tuners.size(), 0), tuned(s.tuners.size(), nullptr) {
    for (const Tuner& t : s.tuners)
      cable.push_back(t.chain_root >= 0 ? t.chain_root : t.slot);
  }

  static int InputOf(const Tuner& t, int orbital) {
    for (const Position& p : t.positions) {
      if (p.orbital_position == orbital) return p.input;
    }
    return -1;
  }

  static bool Reaches(const Tuner& t, const Signal& s) {
    if (!t.usable || !(t.systems & s.system)) return false;
    if (s.multistream && !t.multistream) return false;
    if (s.orbital < 0 || t.any_position) return true;
    return std::any_of(t.positions.begin(), t.positions.end(),
                       [&](const Position& p) { return p.orbital_position == s.orbital; });
  }

  static bool SameTransponder(const Signal& a, const Signal& b) {
    return a.valid && b.valid && !a.alternatives && !b.alternatives && a.ns == b.ns &&
           a.tsid == b.tsid && a.onid == b.onid;
  }

  // A tuner on a shared cable may only take what every busy tuner on it leaves: the same
  // input, band and polarisation.
  bool CableAllows(size_t i, const Signal& s) const {
    for (size_t j = 0; j < users.size(); ++j) {
      if (j == i || users[j] == 0 || cable[j] != cable[i]) continue;
      const Signal& o = *tuned[j];
      if (s.band < 0 || s.polarisation < 0 || o.band != s.band ||
          o.polarisation != s.polarisation || o.orbital != s.orbital ||
          InputOf(set.tuners[i], s.orbital) != InputOf(set.tuners[j], o.orbital)) {
        return false;
      }
    }
    return true;
  }

  // The tuner index the recording takes, -1 when none is free.
  int Take(const Signal& s) {
    for (size_t i = 0; i < users.size(); ++i) {
      if (users[i] > 0 && SameTransponder(*tuned[i], s)) {
        ++users[i];
        return static_cast<int>(i);
      }
    }
    int best = -1, best_score = -1;
    for (size_t i = 0; i < users.size(); ++i) {
      const Tuner& t = set.tuners[i];
      if (users[i] > 0 || !Reaches(t, s) || !CableAllows(i, s)) continue;
      const int score = 64 - std::popcount(t.systems);
      if (score > best_score) {
        best = static_cast<int>(i);
        best_score = score;
      }
    }
    if (best >= 0) {
      users[best] = 1;
      tuned[best] = &s;
    }
    return best;
  }

  void Release(int i) { --users[i]; }
};

ConflictModel::ConflictModel(std::vector<PlanTimer> timers, TunerSet tuners,
                             const boxdata::TransponderList& transponders,
                             platform::ClockSettings clock, int64_t now)
    : timers_(std::move(timers)),
      tuners_(std::move(tuners)),
      transponders_(transponders),
      clock_(clock),
      now_(now) {
  window_ = WindowFor(timers_, now_);
  signals_.reserve(timers_.size());
  takes_part_.reserve(timers_.size());
  unknowns_ = tuners_.unknowns | kUnknownCiSlots;
  if (!tuners_.Known()) unknowns_ |= kUnknownTuners;
  for (uint32_t i = 0; i < timers_.size(); ++i) {
    const PlanTimer& t = timers_[i];
    signals_.push_back(SignalOf(t));
    const bool part = signals_.back().valid && TakesPart(t, now_);
    takes_part_.push_back(part);
    if (!part) continue;
    unknowns_ |= UnknownsOf(signals_.back());
    if (t.repeated & 0x7F) repeated_.push_back(i);
    AppendOccurrences(t, i, window_, clock_, occurrences_);
  }
  std::sort(occurrences_.begin(), occurrences_.end(), ByBegin);
  int64_t cluster_end = INT64_MIN;
  for (uint32_t i = 0; i < occurrences_.size(); ++i) {
    const Occurrence& o = occurrences_[i];
    if (cluster_start_.empty() || o.begin > cluster_end) {
      cluster_start_.push_back(i);
      cluster_end_.push_back(o.end);
    }
    cluster_end = std::max(cluster_end, o.end);
    cluster_end_.back() = cluster_end;
  }
  cluster_start_.push_back(static_cast<uint32_t>(occurrences_.size()));
}

ConflictModel::Signal ConflictModel::SignalOf(const PlanTimer& t) const {
  Signal s;
  try {
    const boxdata::ReferenceFields f = boxdata::ParseReferenceFields(t.serviceref);
    if (f.count < 7) return s;
    s.valid = true;
    s.tsid = f.value[4];
    s.onid = f.value[5];
    s.ns = f.value[6];
    s.alternatives = ((f.value[1] | f.flags_decimal) & kGroupFlag) != 0;
  } catch (const boxdata::ConversionError&) {
    return s;
  }
  if (s.alternatives) {
    s.system = ~0u;  // the box picks one of them when the timer starts
    return s;
  }
  if (const boxdata::Transponder* tp = transponders_.Find(s.ns, s.tsid, s.onid)) {
    s.known = true;
    if (tp->kind == boxdata::TransponderKind::kSatellite) {
      s.system = tp->second_generation ? kSystemDvbS2 : kSystemDvbS;
      s.orbital = tp->orbital_position;
      s.band = tp->frequency >= kHighBandFromKhz ? 1 : 0;
      s.polarisation = tp->polarisation;
      s.multistream = tp->multistream;
    } else if (tp->kind == boxdata::TransponderKind::kCable) {
      s.system = kSystemDvbC;
    } else {
      s.system = tp->second_generation ? kSystemDvbT2 : kSystemDvbT;
    }
    return s;
  }
  // Not in the service list: the namespace still tells satellite, cable or terrestrial.
  const uint32_t high = s.ns >> 16;
  if (high == 0xFFFF) {
    s.system = kSystemDvbC;
  } else if (high == 0xEEEE) {
    s.system = kSystemDvbT | kSystemDvbT2;
  } else if (const auto pos = boxdata::NamespaceOrbitalPosition(s.ns); pos && s.ns != 0) {
    s.system = kSystemDvbS | kSystemDvbS2;
    s.orbital = *pos;
  } else {
    s.system = ~0u;
  }
  return s;
}

uint32_t ConflictModel::UnknownsOf(const Signal& s) const {
  uint32_t u = 0;
  if (s.alternatives) u |= kUnknownAlternatives;
  if (!s.alternatives && !s.known) u |= kUnknownTransponder;
  return u;
}

ConflictModel::ConflictModel(ConflictModel&&) noexcept = default;
ConflictModel& ConflictModel::operator=(ConflictModel&&) noexcept = default;
ConflictModel::~ConflictModel() = default;

std::vector<Conflict> ConflictModel::Allocate(const std::vector<Occurrence>& sorted,
                                              const Signal* candidate,
                                              std::vector<int>* tuner_of) const {
  struct Active {
    int64_t end;
    uint32_t pos;  // in sorted
    int tuner;     // index into the tuners
  };
  const auto signal = [&](uint32_t timer) -> const Signal& {
    return timer == kCandidateIndex ? *candidate : signals_[timer];
  };
  const auto assignment = [&](uint32_t pos, int tuner) {
    const Occurrence& o = sorted[pos];
    return Assignment{o.timer, o.begin, o.end, tuner < 0 ? -1 : tuners_.tuners[tuner].slot};
  };
  Run run(tuners_);
  std::vector<Active> active;
  std::vector<Conflict> conflicts;
  if (tuner_of) tuner_of->assign(sorted.size(), -1);
  for (uint32_t pos = 0; pos < sorted.size(); ++pos) {
    const Occurrence& o = sorted[pos];
    // An end before this begin frees its tuner; an end at the same second does not.
    for (size_t k = 0; k < active.size();) {
      if (active[k].end < o.begin) {
        run.Release(active[k].tuner);
        active[k] = active.back();
        active.pop_back();
      } else {
        ++k;
      }
    }
    const Signal& s = signal(o.timer);
    const int tuner = run.Take(s);
    if (tuner >= 0) {
      active.push_back({o.end, pos, tuner});
      if (tuner_of) (*tuner_of)[pos] = tuners_.tuners[tuner].slot;
      continue;
    }
    if (conflicts.empty() || o.begin > conflicts.back().end) {
      conflicts.emplace_back();
      conflicts.back().begin = o.begin;
      conflicts.back().end = o.end;
    }
    Conflict& c = conflicts.back();
    c.end = std::max(c.end, o.end);
    c.no_tuner.push_back(assignment(pos, -1));
    for (const Active& a : active) {
      if (!Run::Reaches(tuners_.tuners[a.tuner], s)) continue;
      const Assignment h = assignment(a.pos, a.tuner);
      const bool listed = std::any_of(c.holders.begin(), c.holders.end(), [&](const auto& x) {
        return x.timer == h.timer && x.begin == h.begin;
      });
      if (!listed) c.holders.push_back(h);
    }
  }
  for (Conflict& c : conflicts) {
    std::sort(c.holders.begin(), c.holders.end(),
              [](const auto& a, const auto& b) { return a.begin < b.begin; });
  }
  return conflicts;
}

std::vector<uint32_t> TimersWithoutTuner(const ConflictReport& report) {
  std::vector<uint32_t> out;
  for (const Conflict& c : report.conflicts) {
    for (const Assignment& a : c.no_tuner)
      out.push_back(a.timer);
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

ConflictReport ConflictModel::Check() const {
  ConflictReport report;
  report.unknowns = unknowns_;
  report.checked = tuners_.Known();
  std::vector<int> tuner_of;
  if (report.checked) report.conflicts = Allocate(occurrences_, nullptr, &tuner_of);
  report.allocation.reserve(occurrences_.size());
  for (size_t i = 0; i < occurrences_.size(); ++i) {
    const Occurrence& o = occurrences_[i];
    report.allocation.push_back({o.timer, o.begin, o.end, report.checked ? tuner_of[i] : -1});
  }
  return report;
}

void ConflictModel::AppendClustersAround(int64_t begin, int64_t end,
                                         std::vector<uint8_t>& marked) const {
  // Clusters are disjoint and in order, so their ends rise.
  const size_t clusters = cluster_end_.size();
  size_t k =
      std::lower_bound(cluster_end_.begin(), cluster_end_.end(), begin) - cluster_end_.begin();
  for (; k < clusters && occurrences_[cluster_start_[k]].begin <= end; ++k)
    marked[k] = 1;
}

Verdict ConflictModel::VerdictFor(const PlanTimer& candidate,
                                  std::optional<uint32_t> replaces) const {
  Verdict v;
  const Signal s = SignalOf(candidate);
  v.takes_part = s.valid && TakesPart(candidate, now_);
  v.checked = tuners_.Known();
  v.unknowns = tuners_.unknowns | kUnknownCiSlots | UnknownsOf(s);
  if (!v.checked) v.unknowns |= kUnknownTuners;
  if (!v.takes_part || !v.checked) return v;
  std::vector<Occurrence> own;
  AppendOccurrences(candidate, kCandidateIndex, window_, clock_, own);
  std::vector<uint8_t> marked(cluster_end_.size(), 0);
  for (const Occurrence& o : own)
    AppendClustersAround(o.begin, o.end, marked);
  std::vector<Occurrence> sorted = own;
  for (size_t k = 0; k < marked.size(); ++k) {
    if (!marked[k]) continue;
    for (uint32_t i = cluster_start_[k]; i < cluster_start_[k + 1]; ++i) {
      if (!replaces || occurrences_[i].timer != *replaces) sorted.push_back(occurrences_[i]);
    }
  }
  // A one-shot candidate beyond the weeks of the list: the receiver would widen its window to
  // it, so the repeated timers recur in its weeks too.
  const int64_t window_end = window_.first_week + int64_t{window_.weeks} * 7 * 86400;
  if ((candidate.repeated & 0x7F) == 0 && !own.empty() &&
      (own[0].begin < window_.first_week || own[0].end >= window_end)) {
    RepeatWindow around;
    around.first_week = own[0].begin - (((own[0].begin % 604800) + 604800) % 604800);
    around.weeks = static_cast<int>(
        std::min<int64_t>(kMaxWeeks, (own[0].end - around.first_week) / 604800 + 1));
    around.from_one_shots = true;
    for (uint32_t i : repeated_) {
      if (replaces && i == *replaces) continue;
      const size_t before = sorted.size();
      AppendOccurrences(timers_[i], i, around, clock_, sorted);
      // Keep only those not already laid out in the list's own window.
      sorted.erase(std::remove_if(sorted.begin() + before, sorted.end(),
                                  [&](const Occurrence& o) {
                                    return o.begin >= window_.first_week && o.begin < window_end;
                                  }),
                   sorted.end());
    }
  }
  std::sort(sorted.begin(), sorted.end(), ByBegin);
  const auto involved = [](const std::vector<Assignment>& list) {
    return std::any_of(list.begin(), list.end(),
                       [](const Assignment& a) { return a.timer == kCandidateIndex; });
  };
  for (Conflict& c : Allocate(sorted, &s, nullptr)) {
    if (!involved(c.no_tuner) && !involved(c.holders)) continue;
    for (const auto* list : {&c.no_tuner, &c.holders}) {
      for (const Assignment& a : *list) {
        if (a.timer != kCandidateIndex) v.unknowns |= UnknownsOf(signals_[a.timer]);
      }
    }
    v.conflicts.push_back(std::move(c));
  }
  return v;
}

std::vector<uint32_t> ConflictModel::DisabledOnLoad() const {
  std::vector<uint32_t> disabled;
  if (!tuners_.Known()) return disabled;
  std::vector<Occurrence> kept;  // by begin
  int64_t longest = 0;
  std::vector<Occurrence> own, sorted;
  std::vector<uint32_t> picked;
  for (uint32_t i = 0; i < timers_.size(); ++i) {
    if (!takes_part_[i]) continue;
    own.clear();
    AppendOccurrences(timers_[i], i, window_, clock_, own);
    // The kept recordings linked to this timer's by a chain of overlaps.
    picked.clear();
    for (const Occurrence& o : own) {
      int64_t lo = o.begin, hi = o.end;
      for (bool grown = true; grown;) {
        grown = false;
        const auto from =
            std::lower_bound(kept.begin(), kept.end(), lo - longest,
                             [](const Occurrence& k, int64_t t) { return k.begin < t; });
        for (auto it = from; it != kept.end() && it->begin <= hi; ++it) {
          if (it->end < lo) continue;
          if (it->begin < lo || it->end > hi) grown = true;
          lo = std::min(lo, it->begin);
          hi = std::max(hi, it->end);
          picked.push_back(static_cast<uint32_t>(it - kept.begin()));
        }
      }
    }
    std::sort(picked.begin(), picked.end());
    picked.erase(std::unique(picked.begin(), picked.end()), picked.end());
    sorted = own;
    for (uint32_t k : picked)
      sorted.push_back(kept[k]);
    std::sort(sorted.begin(), sorted.end(), ByBegin);
    bool conflicting = false;
    for (const Conflict& c : Allocate(sorted, nullptr, nullptr)) {
      for (const auto* list : {&c.no_tuner, &c.holders}) {
        conflicting |= std::any_of(list->begin(), list->end(),
                                   [&](const Assignment& a) { return a.timer == i; });
      }
    }
    if (conflicting) {
      disabled.push_back(i);
      continue;
    }
    for (const Occurrence& o : own) {
      kept.insert(std::upper_bound(kept.begin(), kept.end(), o, ByBegin), o);
      longest = std::max(longest, o.end - o.begin);
    }
  }
  return disabled;
}

}  // namespace tivolo::plan
