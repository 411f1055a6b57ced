// The transponders block of the service list "lamedb" (format 4): a key line
// "NNNNNNNN:TTTT:OOOO" (namespace, transport stream id, original network id, hexadecimal), then
// one line "s ..." (satellite), "c ..." (cable) or "t ..." (terrestrial) and "/". Read only when
// someone asks, from the lines ServiceList already keeps, so that loading the list for the
// channel names costs nothing more.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "boxdata/service_list.h"

namespace tivolo::boxdata {

enum class TransponderKind : uint8_t { kSatellite, kCable, kTerrestrial };

struct Transponder {
  uint32_t ns = 0, tsid = 0, onid = 0;
  TransponderKind kind = TransponderKind::kSatellite;
  uint32_t frequency = 0;          // kHz for satellite, Hz or kHz for the others, as written
  int polarisation = -1;           // satellite: 0 H, 1 V, 2 L, 3 R; -1 elsewhere
  int orbital_position = -1;       // satellite: tenths of a degree east, 0..3599; -1 elsewhere
  bool second_generation = false;  // DVB-S2 or DVB-T2
  bool multistream = false;        // satellite: an input stream id is set
};

class TransponderList {
 public:
  TransponderList() = default;
  explicit TransponderList(std::vector<Transponder> transponders);

  const Transponder* Find(uint32_t ns, uint32_t tsid, uint32_t onid) const;
  size_t size() const { return list_.size(); }
  const std::vector<Transponder>& All() const { return list_; }

 private:
  std::vector<Transponder> list_;  // sorted by (ns, tsid, onid); the last of equal keys kept
};

// Reads the "transponders" ... "end" block of the list's lines. Lines that do not fit are
// passed over; a list without the block gives an empty result.
TransponderList ReadTransponders(const ServiceList& list);

// The orbital position a namespace names (its upper 16 bits), 0..3599; nothing for cable
// (FFFF), terrestrial (EEEE) and values beyond a full circle.
std::optional<int> NamespaceOrbitalPosition(uint32_t ns);

}  // namespace tivolo::boxdata
