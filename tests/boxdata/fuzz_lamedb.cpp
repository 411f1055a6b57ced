// Service list: any bytes load, and the index answers exactly as the walk over all lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "boxdata/service_list.h"
#include "boxdata/service_reference.h"

using namespace tivolo::boxdata;

namespace {

// "XXXX:XXXXXXXX:XXXX:" in upper-case hexadecimal, as ServiceKey makes it.
bool IsServiceKey(std::string_view key) {
  if (key.size() != 19) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    const char c = key[i];
    if (i == 4 || i == 13 || i == 18) {
      if (c != ':') return false;
    } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ServiceList list(std::string(reinterpret_cast<const char*>(data), size));
  // Keys of the lines themselves, and of references made from the input.
  int checked = 0;
  for (std::string_view line : list.Lines()) {
    if (++checked > 64) break;
    try {
      const std::string key = ServiceKey("1:0:1:" + std::string(line.substr(0, 5)) + ":" +
                                         std::string(line.substr(10, 4)) +
                                         ":1:" + std::string(line.substr(5, 9)) + ":0:0:0:");
      if (list.NameForKey(key) != ScanNameForKey(list.Lines(), key)) std::abort();
    } catch (const std::exception&) {
    }
    if (line.size() >= 19) {
      const std::string key = UpperReferenceFields(line.substr(0, 19));
      if (IsServiceKey(key) && list.NameForKey(key) != ScanNameForKey(list.Lines(), key)) {
        std::abort();
      }
    }
  }
  return 0;
}
