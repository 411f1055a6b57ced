#include "plan/tuner_texts.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "store/date_format.h"

namespace tivolo::plan {
namespace {

// "a", "a and b", "a, b and c".
std::string JoinAnd(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += i + 1 == parts.size() ? " and " : ", ";
    out += parts[i];
  }
  return out;
}

std::string Join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += separator;
    out += parts[i];
  }
  return out;
}

// The main system of a tuner as the box names it, for a manual set or a multi-type tuner.
std::string TypeText(const Tuner& t) {
  if (!t.type.empty()) return t.type;
  if (t.systems & kSystemDvbS2) return "DVB-S2";
  if (t.systems & kSystemDvbS) return "DVB-S";
  if (t.systems & kSystemDvbC) return "DVB-C";
  if (t.systems & kSystemDvbT2) return "DVB-T2";
  if (t.systems & kSystemDvbT) return "DVB-T";
  return "tuner";
}

std::string LetterOf(const TunerSet& set, int slot) {
  const Tuner* t = set.BySlot(slot);
  return t ? std::string(1, t->letter) : std::to_string(slot);
}

std::string PositionsText(const Tuner& t, bool with_and) {
  std::vector<std::string> names;
  for (const Position& p : t.positions) {
    const std::string name = OrbitalText(p.orbital_position);
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return with_and ? JoinAnd(names) : Join(names, ", ");
}

std::string TunerText(const TunerSet& set, const Tuner& t) {
  std::string out(1, t.letter);
  out += ": ";
  if (t.type.empty() && t.systems == 0) return out + "empty";
  out += TypeText(t);
  const bool satellite = (t.systems & (kSystemDvbS | kSystemDvbS2)) != 0;
  if (t.mode == ConfigMode::kNothing || !t.usable) return out + ", not used";
  if (t.mode == ConfigMode::kLoopThrough)
    return out + ", loop-through from " + LetterOf(set, t.connected_to);
  if (t.mode == ConfigMode::kEqual) return out + ", equal to " + LetterOf(set, t.connected_to);
  if (t.mode == ConfigMode::kSatPosDepends)
    return out + ", on the positioner of " + LetterOf(set, t.connected_to);
  if (!satellite) return out;
  if (t.rotor) out += ", positioner";
  if (!t.positions.empty()) out += ", " + PositionsText(t, true);
  if (t.unicable) out += ", unicable";
  return out;
}

std::string LocalText(int64_t t, const platform::ClockSettings& clock, std::string_view pattern,
                      const store::FormatSettings& settings) {
  const platform::DateTime local = platform::UtcToLocal(platform::EpochSecondsToDateTime(t), clock);
  return store::FormatDateTime(pattern, local, settings);
}

// "Tue 15-12 20:15-21:00".
std::string SpanText(int64_t begin, int64_t end, const platform::ClockSettings& clock) {
  const auto& settings = store::DefaultFormatSettings();
  return LocalText(begin, clock, "ddd dd-mm hh:nn", settings) + "-" +
         LocalText(end, clock, "hh:nn", settings);
}

// "\"X\" (Canal Vista)", the channel left out when it is not known.
std::string TimerText(const PlanTimer& t) {
  std::string out = "\"" + t.name + "\"";
  if (!t.channel.empty()) out += " (" + t.channel + ")";
  return out;
}

const PlanTimer& TimerOf(const ConflictModel& model, const PlanTimer* candidate, uint32_t i) {
  return i == kCandidateIndex ? *candidate : model.Timers()[i];
}

}  // namespace

std::string OrbitalText(int p) {
  const bool west = p > 1800;
  const int tenths = west ? 3600 - p : p;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + (west ? "W" : "E");
}

std::string DescribeTuners(const TunerSet& set) {
  if (!set.Known()) return "No tuners known";
  std::vector<std::string> parts;
  for (const Tuner& t : set.tuners)
    parts.push_back(TunerText(set, t));
  return Join(parts, "; ");
}

std::string TunerStatus(const TunerSet& set) {
  if (!set.Known() || set.UsableCount() == 0) return "Tuners unknown: conflicts are not checked";
  // Types in slot order, each with its count and the positions its tuners reach.
  std::vector<std::string> order;
  std::map<std::string, int> count;
  std::map<std::string, std::vector<std::string>> positions;
  for (const Tuner& t : set.tuners) {
    if (!t.usable) continue;
    const std::string type = TypeText(t);
    if (count[type]++ == 0) order.push_back(type);
    auto& list = positions[type];
    for (const Position& p : t.positions) {
      const std::string name = OrbitalText(p.orbital_position);
      if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
    }
  }
  std::vector<std::string> parts;
  for (const std::string& type : order) {
    std::string part = std::to_string(count[type]) + " x " + type;
    if (!positions[type].empty()) part += " (" + Join(positions[type], ", ") + ")";
    parts.push_back(part);
  }
  return "Tuners: " + Join(parts, ", ");
}

std::string UnknownsText(uint32_t u) {
  static const std::pair<uint32_t, const char*> kNames[] = {
      {kUnknownTuners, "the tuners"},
      {kUnknownSetup, "the tuners' set-up"},
      {kUnknownTransponder, "transponders missing from the service list"},
      {kUnknownAlternatives, "alternatives"},
      {kUnknownUnicable, "unicable"},
      {kUnknownFbc, "FBC links"},
      {kUnknownRotor, "positioners"},
      {kUnknownCiSlots, "CI slots"},
  };
  std::vector<std::string> names;
  for (const auto& [bit, name] : kNames) {
    if (u & bit) names.push_back(name);
  }
  return names.empty() ? std::string() : "Not checked: " + Join(names, ", ");
}

std::string Ordinal(int n) {
  static const char* const kWords[] = {"first", "second", "third",   "fourth",
                                       "fifth", "sixth",  "seventh", "eighth"};
  if (n >= 1 && n <= 8) return kWords[n - 1];
  return std::to_string(n) + "th";
}

std::string EditorLine(const ConflictModel& model, const Verdict& verdict,
                       const PlanTimer& candidate, const platform::ClockSettings& clock) {
  if (!verdict.checked || verdict.conflicts.empty()) return {};
  const Conflict& c = verdict.conflicts.front();
  if (c.holders.empty()) return "No tuner of the box receives this channel";
  // The candidate's recording in this conflict, and the others at that moment.
  int64_t begin = c.begin, end = c.end;
  std::vector<std::string> others;
  std::set<int> tuners;
  std::vector<Assignment> all = c.no_tuner;
  all.insert(all.end(), c.holders.begin(), c.holders.end());
  for (const Assignment& a : all) {
    if (a.tuner >= 0) tuners.insert(a.tuner);
    if (a.timer == kCandidateIndex) continue;
    const std::string text = TimerText(TimerOf(model, &candidate, a.timer));
    if (std::find(others.begin(), others.end(), text) == others.end()) others.push_back(text);
  }
  for (const Assignment& a : all) {
    begin = std::max(begin, a.begin);
    end = std::min(end, a.end);
  }
  if (begin > end) {
    const auto own = std::find_if(all.begin(), all.end(),
                                  [](const Assignment& a) { return a.timer == kCandidateIndex; });
    begin = own->begin;
    end = own->end;
  }
  return "Needs a " + Ordinal(static_cast<int>(tuners.size()) + 1) + " tuner on " +
         SpanText(begin, end, clock) + ", with " + JoinAnd(others);
}

std::string ConflictTooltip(const ConflictModel& model, const Conflict& c,
                            const platform::ClockSettings& clock) {
  std::string out = "No tuner on " + SpanText(c.begin, c.end, clock);
  if (c.holders.empty()) return out + ": no tuner of the box receives the channel";
  std::vector<std::string> holders;
  for (const Assignment& a : c.holders)
    holders.push_back(TimerText(model.Timers()[a.timer]));
  return out + "; the tuners record " + JoinAnd(holders);
}

std::string CommandLineLine(const ConflictModel& model, const Conflict& c,
                            const platform::ClockSettings& clock) {
  // Fixed separators and digits whatever the user's date settings: scripts read this.
  const store::FormatSettings fixed;
  std::vector<std::string> parts;
  for (const Assignment& a : c.no_tuner) {
    const PlanTimer& t = model.Timers()[a.timer];
    parts.push_back(t.serviceref + " " + std::to_string(a.begin) + " " + std::to_string(a.end) +
                    " " + t.name);
  }
  return LocalText(c.begin, clock, "yyyy-mm-dd hh:nn", fixed) + " " + Join(parts, " | ");
}

std::string SaveQuestion(const ConflictModel& model, const ConflictReport& report,
                         const platform::ClockSettings& clock, bool live) {
  if (!report.checked || report.conflicts.empty()) return {};
  const size_t n = report.conflicts.size();
  std::string text = "The list holds " + std::to_string(n) + (n == 1 ? " moment" : " moments") +
                     " when the box has too few tuners:";
  for (const Conflict& c : report.conflicts) {
    std::string names;
    for (const Assignment& a : c.no_tuner) {
      const PlanTimer& t = model.Timers()[a.timer];
      const std::string name = "\"" + t.name + "\" (" + t.channel + ")";
      if (names.find(name) == std::string::npos) names += (names.empty() ? "" : ", ") + name;
    }
    text += "\n- " + names + ": " + ConflictTooltip(model, c, clock);
  }
  const std::string unknowns = UnknownsText(report.unknowns);
  if (!unknowns.empty()) text += "\n" + unknowns + ".";
  text += live ? "\nThe box will refuse these."
               : "\nThe receiver will switch these off when it starts.";
  text += "\nYes saves the list as it is; No sends nothing.\nSave anyway?";
  return text;
}

}  // namespace tivolo::plan
