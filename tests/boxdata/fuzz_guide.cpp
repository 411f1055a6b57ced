// Guide file: any bytes either raise a GuideFormatError or give a guide that keeps its
// promises: per service the events in time order without overlaps, every text inside the pool
// and well-formed UTF-8, the reader's memory within a small multiple of the file, and a search
// for an event's own title finding it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "boxdata/guide_file.h"
#include "boxdata/guide_search.h"
#include "boxdata/search_fold.h"
#include "platform/text.h"

using namespace tivolo;
using namespace tivolo::boxdata;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckText(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const size_t n = platform::CodePointAt(text, i, c);
    Check(n > 0);
    Check(c < 0x80 || c > 0x9F);  // no broadcast control codes
    i += n;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  GuideReadReport report;
  Guide guide;
  try {
    guide = ReadGuide(bytes, &report);
  } catch (const GuideFormatError&) {
    return 0;
  }
  Check(report.peak_allocated_bytes <= 8 * size + (size_t{1} << 20));
  const size_t title_bytes = guide.TitleBytes();
  size_t events = 0;
  for (uint32_t s = 0; s < guide.Services().size(); ++s) {
    int64_t last_end = INT64_MIN;
    for (const GuideEvent& e : guide.EventsOf(s)) {
      Check(e.service == s && e.duration > 0 && e.begin >= last_end);
      last_end = e.End();
      Check(uint64_t{e.title.offset} + e.title.length <= title_bytes);
      const GuideEventTexts texts = guide.Texts(e);
      Check(texts.title == guide.Title(e));
      CheckText(texts.title);
      CheckText(texts.short_text);
      CheckText(texts.extended_text);
      ++events;
    }
  }
  Check(events == guide.Events().size());
  Check(report.events_in_file == events + report.events_dropped);
  if (!guide.Events().empty()) {
    const GuideEvent& first = guide.Events().front();
    const std::string_view title = guide.Title(first);
    if (!SearchFolded(title).empty()) {
      bool found = false;
      for (uint32_t e : GuideSearch(guide).Find(title))
        found = found || e == 0;
      Check(found);
    }
  }
  return 0;
}
