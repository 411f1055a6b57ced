#include "plan/tuner_setup.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace tivolo::plan {
namespace {

// The positions the settings mark as "automatic" and "nothing connected": no LNB.
constexpr int kPositionAutomatic = 3600;
constexpr int kPositionNothing = 3601;
// How far an "equal" or loop-through chain is followed: real chains are one or two links.
constexpr int kMaxChain = 8;

std::optional<int> Number(std::string_view s) {
  int v = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

// Splits "N.rest"; nothing when N is not a slot number.
std::optional<std::pair<int, std::string_view>> SlotAndRest(std::string_view key) {
  const size_t dot = key.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const auto slot = Number(key.substr(0, dot));
  if (!slot || *slot < 0 || *slot >= kMaxSockets) return std::nullopt;
  return std::pair(*slot, key.substr(dot + 1));
}

// The satellite keys, with or without the "dvbs." section of newer images.
void ReadSatelliteKey(std::string_view rest, std::string_view value, bool flat, TunerSetup& s) {
  if (rest == "configMode") {
    (flat ? s.flat : s.satellite) = ConfigModeOf(value);
  } else if (rest == "diseqcMode") {
    s.diseqc_mode = std::string(value);
    if (value.starts_with("positioner")) s.rotor = true;
  } else if (rest.size() == 7 && rest.starts_with("diseqc") && rest[6] >= 'A' && rest[6] <= 'D') {
    s.diseqc[rest[6] - 'A'] = Number(value);
  } else if (rest == "connectedTo") {
    s.connected_to = Number(value).value_or(-1);
  } else if (rest.starts_with("advanced.sat.") && rest.ends_with(".lnb")) {
    // "advanced.sat.192.lnb=1": position 19.2E on LNB 1; LNB 0 is "not configured".
    const std::string_view pos = rest.substr(13, rest.size() - 13 - 4);
    const auto p = Number(pos);
    const auto lnb = Number(value);
    if (p && lnb && *lnb > 0 && s.advanced.size() < 4096) s.advanced.emplace_back(*p, *lnb);
  } else if (rest.starts_with("advanced.lnb.")) {
    if (rest.ends_with(".diseqcMode") && value == "1_2") s.rotor = true;
    if ((rest.ends_with(".lof") && (value == "unicable" || value == "jess")) ||
        rest.find("unicable") != std::string_view::npos) {
      s.unicable = true;
    }
  }
}

void ReadKey(std::string_view rest, std::string_view value, TunerSetup& s) {
  if (rest.starts_with("dvbs.")) {
    ReadSatelliteKey(rest.substr(5), value, false, s);
  } else if (rest == "dvbc.configMode" || rest == "cable.configMode") {
    s.cable = ConfigModeOf(value);
  } else if (rest == "dvbt.configMode" || rest == "terrestrial.configMode") {
    s.terrestrial = ConfigModeOf(value);
  } else if (rest == "multiType") {
    s.multi_type = Number(value).value_or(-1);
  } else {
    ReadSatelliteKey(rest, value, true, s);
  }
}

// The positions of a "simple" tuner: its DiSEqC mode says how many inputs it uses.
void SimplePositions(const TunerSetup& s, Tuner& t, uint32_t& unknowns) {
  if (s.rotor) {
    t.any_position = t.rotor = true;
    return;
  }
  int inputs = 1;
  if (s.diseqc_mode == "toneburst_a_b" || s.diseqc_mode == "diseqc_a_b") inputs = 2;
  if (s.diseqc_mode == "diseqc_a_b_c_d") inputs = 4;
  if (!s.diseqc[0]) {
    // The first input's default depends on the image's satellite list.
    t.any_position = true;
    unknowns |= kUnknownSetup;
    return;
  }
  for (int i = 0; i < inputs; ++i) {
    const int p = s.diseqc[i].value_or(kPositionNothing);
    if (p >= 0 && p < kPositionAutomatic) t.positions.push_back({p, i});
  }
}

void AdvancedPositions(const TunerSetup& s, Tuner& t) {
  for (const auto& [pos, lnb] : s.advanced) {
    if (pos >= 0 && pos < kPositionAutomatic) {
      t.positions.push_back({pos, lnb});
    } else {
      t.any_position = t.rotor = true;  // the positioner's "all satellites" entries
    }
  }
}

// A multi-type tuner takes the systems of its active mode; sections set to "nothing" drop
// theirs.
uint32_t ActiveSystems(const NimSocket& n, const TunerSetup* s) {
  uint32_t systems = n.systems;
  if (!s) return systems;
  if (s->multi_type >= 0 && static_cast<size_t>(s->multi_type) < n.modes.size())
    systems = SystemsOfType(n.modes[s->multi_type]);
  constexpr uint32_t kSat = kSystemDvbS | kSystemDvbS2;
  constexpr uint32_t kTer = kSystemDvbT | kSystemDvbT2;
  if (s->satellite == ConfigMode::kNothing) systems &= ~kSat;
  if (s->cable == ConfigMode::kNothing) systems &= ~kSystemDvbC;
  if (s->terrestrial == ConfigMode::kNothing) systems &= ~kTer;
  if (s->flat == ConfigMode::kNothing && !(systems & kSat)) systems = 0;
  return systems;
}

}  // namespace

ConfigMode ConfigModeOf(std::string_view value) {
  if (value == "simple") return ConfigMode::kSimple;
  if (value == "advanced") return ConfigMode::kAdvanced;
  if (value == "equal") return ConfigMode::kEqual;
  if (value == "loopthrough") return ConfigMode::kLoopThrough;
  if (value == "satposdepends") return ConfigMode::kSatPosDepends;
  if (value == "nothing") return ConfigMode::kNothing;
  if (value == "enabled") return ConfigMode::kEnabled;
  return ConfigMode::kUnknown;
}

std::map<int, TunerSetup> ReadTunerSetup(
    const std::vector<std::pair<std::string, std::string>>& tuner_keys) {
  std::map<int, TunerSetup> out;
  for (const auto& [key, value] : tuner_keys) {
    if (const auto slot_rest = SlotAndRest(key))
      ReadKey(slot_rest->second, value, out[slot_rest->first]);
  }
  return out;
}

int TunerSet::UsableCount() const {
  return static_cast<int>(
      std::count_if(tuners.begin(), tuners.end(), [](const Tuner& t) { return t.usable; }));
}

const Tuner* TunerSet::BySlot(int slot) const {
  for (const Tuner& t : tuners) {
    if (t.slot == slot) return &t;
  }
  return nullptr;
}

TunerSet BuildTunerSet(const std::vector<NimSocket>& sockets,
                       const std::map<int, TunerSetup>* setup) {
  TunerSet set;
  set.setup_read = setup && !setup->empty();
  if (!set.setup_read) set.unknowns |= kUnknownSetup;
  for (const NimSocket& n : sockets) {
    Tuner t;
    t.slot = n.slot;
    t.letter = static_cast<char>('A' + std::min(n.slot, 25));
    t.name = n.name;
    t.type = n.type;
    t.multistream = n.multistream;
    t.fbc = n.name.find("FBC") != std::string::npos;
    if (t.fbc) set.unknowns |= kUnknownFbc;
    const TunerSetup* s = nullptr;
    if (set.setup_read) {
      const auto it = setup->find(n.slot);
      if (it != setup->end()) s = &it->second;
    }
    t.systems = n.empty ? 0 : ActiveSystems(n, s);
    const bool satellite = (t.systems & (kSystemDvbS | kSystemDvbS2)) != 0;
    if (s) {
      t.mode = satellite && s->satellite != ConfigMode::kUnknown ? s->satellite : s->flat;
      t.connected_to = s->connected_to;
      t.unicable = s->unicable;
      t.rotor = s->rotor;
    }
    t.usable = t.systems != 0 && t.mode != ConfigMode::kNothing;
    if (satellite && t.usable) {
      if (t.mode == ConfigMode::kSimple) {
        SimplePositions(*s, t, set.unknowns);
      } else if (t.mode == ConfigMode::kAdvanced) {
        AdvancedPositions(*s, t);
      } else if (t.mode == ConfigMode::kUnknown) {
        t.any_position = true;
        if (set.setup_read) set.unknowns |= kUnknownSetup;
      }
    }
    if (t.unicable) set.unknowns |= kUnknownUnicable;
    if (t.rotor || t.mode == ConfigMode::kSatPosDepends) set.unknowns |= kUnknownRotor;
    set.tuners.push_back(std::move(t));
  }
  // Linked tuners take the positions of the tuner they follow; loop-through and positioner
  // links also share its cable.
  for (Tuner& t : set.tuners) {
    if (t.mode != ConfigMode::kEqual && t.mode != ConfigMode::kLoopThrough &&
        t.mode != ConfigMode::kSatPosDepends) {
      continue;
    }
    if (t.connected_to < 0) {
      // Absent: the receiver's default, the first other satellite tuner.
      for (const Tuner& o : set.tuners) {
        if (&o != &t && (o.systems & (kSystemDvbS | kSystemDvbS2))) {
          t.connected_to = o.slot;
          break;
        }
      }
    }
    const Tuner* source = &t;
    for (int i = 0; i < kMaxChain && source; ++i) {
      const bool linked = source->mode == ConfigMode::kEqual ||
                          source->mode == ConfigMode::kLoopThrough ||
                          source->mode == ConfigMode::kSatPosDepends;
      if (!linked) break;
      source = set.BySlot(source->connected_to);
    }
    const bool still_linked =
        source && (source->mode == ConfigMode::kEqual || source->mode == ConfigMode::kLoopThrough ||
                   source->mode == ConfigMode::kSatPosDepends);
    if (!source || source == &t || still_linked) {
      t.any_position = true;  // a link to nowhere or a loop: the box's own menu forbids it
      set.unknowns |= kUnknownSetup;
      continue;
    }
    t.positions = source->positions;
    t.any_position = source->any_position;
    t.rotor = t.rotor || source->rotor;
    t.unicable = t.unicable || source->unicable;
    if (t.mode != ConfigMode::kEqual) t.chain_root = source->slot;
  }
  return set;
}

TunerSet ManualTunerSet(const std::vector<std::string>& types) {
  std::vector<NimSocket> sockets;
  for (const std::string& type : types) {
    if (sockets.size() >= static_cast<size_t>(kMaxSockets)) break;
    NimSocket n;
    n.slot = static_cast<int>(sockets.size());
    n.type = type;
    n.empty = type.empty();
    n.systems = SystemsOfType(type);
    sockets.push_back(std::move(n));
  }
  TunerSet set = BuildTunerSet(sockets, nullptr);
  set.manual = true;
  return set;
}

}  // namespace tivolo::plan
