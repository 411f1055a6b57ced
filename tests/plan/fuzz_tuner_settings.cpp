// The tuners' set-up from the settings file: any bytes give a set-up, joined with four tuners
// of every kind, without a fault; linked tuners never point outside the set.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "boxdata/box_settings.h"
#include "plan/tuner_setup.h"

using namespace tivolo::plan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto setup = ReadTunerSetup(tivolo::boxdata::ParseBoxSettings(text).tuner_keys);
  std::vector<NimSocket> sockets(4);
  const char* types[] = {"DVB-S2", "DVB-S", "DVB-C", "DVB-T2"};
  for (int i = 0; i < 4; ++i) {
    sockets[i].slot = i;
    sockets[i].type = types[i];
    sockets[i].systems = SystemsOfType(types[i]);
  }
  const TunerSet set = BuildTunerSet(sockets, &setup);
  for (const Tuner& t : set.tuners) {
    if (t.chain_root >= 0 && !set.BySlot(t.chain_root)) std::abort();
  }
  return 0;
}
