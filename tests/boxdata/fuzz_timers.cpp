// Timer list: any bytes parse, and writing back what was read is a fixed point: the text
// written from a parse of the written text is the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "boxdata/timer_file.h"
#include "boxdata/xml_text.h"

using namespace tivolo::boxdata;

namespace {

std::string Written(const TimerListFile& file) {
  std::string out = "<?xml version=\"1.0\" ?>\r\n<timers>\r\n";
  for (const TimerElement& e : file.timers)
    AppendTimerElement(out, ToTimerText(ExtractTimerValues(e)));
  out += "</timers>\r\n";
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const TimerListFile first = ParseTimerList(bytes);
  const std::string text1 = Written(first);
  const TimerListFile second = ParseTimerList(text1);
  if (!second.Complete() || second.timers.size() != first.timers.size()) std::abort();
  if (Written(second) != text1) std::abort();
  // Escaped text holds no character XML forbids and decodes to a stable value.
  const std::string escaped = XmlEscape(bytes);
  for (unsigned char c : escaped) {
    if (c < 0x20) std::abort();
  }
  if (XmlEscape(XmlUnescape(escaped)) != escaped) std::abort();
  return 0;
}
