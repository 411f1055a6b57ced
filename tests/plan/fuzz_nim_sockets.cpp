// The socket list and the web interface's answer: any bytes give tuners or TunerReadError,
// and every slot read lies within the box's range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "plan/errors.h"
#include "plan/nim_sockets.h"
#include "plan/tuner_setup.h"

using namespace tivolo::plan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const auto sockets = ParseNimSockets(text);
    for (const NimSocket& s : sockets) {
      if (s.slot < 0 || s.slot >= kMaxSockets || s.modes.size() > 8) std::abort();
    }
    BuildTunerSet(sockets, nullptr);
  } catch (const TunerReadError&) {
  }
  try {
    BuildTunerSet(SocketsFromAbout(ParseAboutTuners(text)), nullptr);
  } catch (const TunerReadError&) {
  }
  return 0;
}
