// Series rules file: any bytes are read without a crash and, untouched, written back as they
// were (a byte-order mark aside). A file read as complete, with every rule edited, is written
// as a complete file that reads back as the same rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "boxdata/autotimer_file.h"
#include "boxdata/text_lines.h"

using namespace tivolo::boxdata;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  AutoTimerFile file = ParseAutoTimerFile(bytes);
  if (BuildAutoTimerFile(file) != WithoutByteOrderMark(bytes)) std::abort();
  if (!file.Complete()) return 0;
  for (AutoTimerEntry& e : file.rules)
    e.rule.enabled = !e.rule.enabled;
  const AutoTimerFile again = ParseAutoTimerFile(BuildAutoTimerFile(file));
  if (!again.Complete() || again.rules.size() != file.rules.size()) std::abort();
  for (size_t i = 0; i < file.rules.size(); ++i) {
    if (!(again.rules[i].rule == file.rules[i].rule)) std::abort();
  }
  return 0;
}
