// Which tuners the box has: the kernel's socket list (/proc/bus/nim_sockets, read with "cat"
// over the telnet login) or the web interface's /api/about ("info.tuners"). Both give one entry
// per slot with its delivery system; neither gives the dish set-up (see tuner_setup.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tivolo::plan {

// Delivery systems as bits, so that a tuner's abilities are one mask.
enum SystemBit : uint32_t {
  kSystemDvbS = 1u << 0,
  kSystemDvbS2 = 1u << 1,
  kSystemDvbC = 1u << 2,
  kSystemDvbT = 1u << 3,
  kSystemDvbT2 = 1u << 4,
  kSystemAtsc = 1u << 5,
};

// The systems a tuner type text stands for: "DVB-S2" also receives DVB-S, "DVB-S2X" both,
// "DVB-T2" also DVB-T, "DVB-C2" DVB-C. Case and blanks do not matter; an unknown text gives 0.
uint32_t SystemsOfType(std::string_view type);

struct NimSocket {
  int slot = 0;
  bool empty = false;              // "empty": the slot holds no tuner
  std::string type;                // as written, "DVB-S2"; empty for an empty slot
  std::string name;                // "BCM4506 (internal)", "Si2166D FBC"
  std::vector<std::string> modes;  // "Mode N:" lines of a multi-type tuner, by N
  bool multistream = false;        // "Multistream: yes"
  uint32_t systems = 0;            // of the type and every mode
};

// Reads the socket list. Slots may come in any order; a slot named twice keeps its last entry;
// lines outside a socket and unknown lines are passed over. At most kMaxSockets sockets with
// numbers below kMaxSockets. TunerReadError when no "NIM Socket N:" line is found.
inline constexpr int kMaxSockets = 64;
std::vector<NimSocket> ParseNimSockets(std::string_view text);

// The same from the fields of /api/about's "info.tuners": per slot, in order, the slot's name
// ("Tuner A") and "<tuner name> (<systems>)" ("BCM4506 (internal) (DVB-S2)", "Si2169 (DVB-C/T2)").
// A slot whose text names no system is taken as empty.
struct AboutTuner {
  std::string name;
  std::string type;
};
std::vector<NimSocket> SocketsFromAbout(const std::vector<AboutTuner>& tuners);

// /api/about's JSON text; TunerReadError when it is not JSON or holds no "tuners" list.
std::vector<AboutTuner> ParseAboutTuners(std::string_view json);

}  // namespace tivolo::plan
