// The box's tuners as the conflict model sees them: the slots (nim_sockets.h) joined with their
// set-up from the settings file ("config.Nims.N.*"), which says which orbital positions each
// satellite tuner reaches, on which DiSEqC input, and which tuners hang on another's cable.
//
// Only values that differ from the receiver's defaults are written to the file, so an absent
// key means the default; where the default is not certain (the satellites of a "simple" tuner
// with no "diseqcA") the tuner is taken to reach every position and kUnknownSetup is named.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plan/nim_sockets.h"

namespace tivolo::plan {

// What the model cannot know, named next to every verdict (see UnknownsText in tuner_texts.h).
enum Unknown : uint32_t {
  kUnknownUnicable = 1u << 0,      // single-cable LNBs: user bands are shared, not modelled
  kUnknownFbc = 1u << 1,           // FBC tuners: root and link tuners are not modelled
  kUnknownRotor = 1u << 2,         // a positioner: one position at a time, not modelled
  kUnknownCiSlots = 1u << 3,       // CI slot assignment is never read
  kUnknownSetup = 1u << 4,         // the set-up of some tuner could not be read
  kUnknownTuners = 1u << 5,        // the tuners themselves are not known
  kUnknownTransponder = 1u << 6,   // a timer's transponder is not in the service list
  kUnknownAlternatives = 1u << 7,  // a timer on alternatives: the box picks one when it starts
};

enum class ConfigMode : uint8_t {
  kUnknown,  // absent (default) or not a value we know
  kSimple,
  kAdvanced,
  kEqual,          // reaches what `connected_to` reaches, with its own cable
  kLoopThrough,    // on `connected_to`'s cable
  kSatPosDepends,  // on `connected_to`'s positioner
  kNothing,        // takes no timer
  kEnabled,        // cable and terrestrial tuners
};

ConfigMode ConfigModeOf(std::string_view value);

// One slot's keys, as written.
struct TunerSetup {
  ConfigMode satellite = ConfigMode::kUnknown;  // "configMode" or "dvbs.configMode"
  ConfigMode cable = ConfigMode::kUnknown;      // "dvbc.configMode"
  ConfigMode terrestrial = ConfigMode::kUnknown;
  ConfigMode flat = ConfigMode::kUnknown;  // "configMode" with no section (older images)
  std::string diseqc_mode;                 // "single", "diseqc_a_b", ...; empty when absent
  std::optional<int> diseqc[4];            // diseqcA..D, orbital positions x 10
  int connected_to = -1;
  int multi_type = -1;                        // the active mode of a multi-type tuner
  std::vector<std::pair<int, int>> advanced;  // (orbital position, LNB number)
  bool rotor = false;
  bool unicable = false;
};

// Reads the "config.Nims." keys of the settings file (BoxSettings::tuner_keys: the part after
// "config.Nims." and the value). Keys of slots at or beyond kMaxSockets are passed over.
std::map<int, TunerSetup> ReadTunerSetup(
    const std::vector<std::pair<std::string, std::string>>& tuner_keys);

// An orbital position a tuner reaches and the input it is on (DiSEqC A..D = 0..3, or the
// advanced set-up's LNB number): two tuners on one cable share a band only on the same input.
struct Position {
  int orbital_position = 0;  // 0..3599, tenths of a degree east
  int input = 0;
};

struct Tuner {
  int slot = 0;
  char letter = 'A';     // the box's name for the slot
  std::string name;      // from the socket list
  std::string type;      // "DVB-S2", "" for an empty slot
  uint32_t systems = 0;  // SystemBit mask it can take a timer on now
  bool multistream = false;
  bool usable = false;  // false for an empty slot and a tuner set to "nothing"
  ConfigMode mode = ConfigMode::kUnknown;
  bool any_position = false;        // reaches every position (not read, or a positioner)
  std::vector<Position> positions;  // otherwise these
  int connected_to = -1;            // equal, loop-through or positioner source
  int chain_root = -1;              // loop-through and positioner: the slot whose cable it shares
  bool rotor = false;
  bool unicable = false;
  bool fbc = false;
};

struct TunerSet {
  std::vector<Tuner> tuners;  // by slot
  uint32_t unknowns = 0;      // Unknown bits that hold for the whole set
  bool setup_read = false;    // the settings' "config.Nims" keys were there
  bool manual = false;        // typed in by the user, not read from the box

  bool Known() const { return !tuners.empty(); }
  int UsableCount() const;
  const Tuner* BySlot(int slot) const;
};

// Joins the slots with their set-up. `setup` null (or empty) when the settings could not be
// read or hold no tuner keys: satellite tuners then reach every position, and kUnknownSetup is
// named. An empty `sockets` gives a set that is not Known().
TunerSet BuildTunerSet(const std::vector<NimSocket>& sockets,
                       const std::map<int, TunerSetup>* setup);

// The user's own description for a box that gives none: one type text ("DVB-S2", "DVB-C") per
// tuner, in slot order; positions unknown.
TunerSet ManualTunerSet(const std::vector<std::string>& types);

}  // namespace tivolo::plan
