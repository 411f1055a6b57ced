// Service list: any bytes load, and the index answers exactly as the walk over all lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "boxdata/service_list.h"
#include "boxdata/service_reference.h"

using namespace tivolo::boxdata;

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
      if (key[4] == ':' && key[13] == ':' && key[18] == ':' &&
          list.NameForKey(key) != ScanNameForKey(list.Lines(), key)) {
        std::abort();
      }
    }
  }
  return 0;
}
