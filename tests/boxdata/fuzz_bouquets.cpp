// Bouquet index and bouquet files: any bytes parse; every entry's reference either gives a
// key or raises ConversionError, and upper-casing its fields never touches the rest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "boxdata/bouquet_file.h"
#include "boxdata/errors.h"
#include "boxdata/service_reference.h"

using namespace tivolo::boxdata;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const BouquetIndexEntry& e : ParseBouquetIndex(bytes)) {
    if (!e.unsafe && e.file_name.find('/') != std::string::npos) std::abort();
  }
  const BouquetFile file = ParseBouquetFile(bytes);
  for (const BouquetEntry& e : file.entries) {
    std::string upper = UpperReferenceFields(e.reference);
    if (upper.size() != e.reference.size()) std::abort();
    try {
      const ReferenceFields f = ParseReferenceFields(e.reference);
      if (f.fields_end < upper.size() &&
          upper.compare(f.fields_end, std::string::npos, e.reference, f.fields_end) != 0 &&
          f.count == 10) {
        std::abort();
      }
      if (f.count >= 7 && ServiceKey(e.reference).size() < 19) std::abort();
      (void)IsMarker(f);
    } catch (const ConversionError&) {
    }
  }
  return 0;
}
