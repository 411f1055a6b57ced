// A key set in any INI text reads back as written, and setting it again changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tivolo::platform;
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)FindProfileValue(text, "DB7025", "Ip");
  const std::string value = "v" + std::to_string(size);
  const std::string once = SetProfileValue(text, "DB7025", "Ip", value);
  const auto read = FindProfileValue(once, "db7025", "IP");
  if (!read || *read != value) std::abort();
  if (SetProfileValue(once, "DB7025", "Ip", value) != once) std::abort();
  return 0;
}
