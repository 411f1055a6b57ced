// Finding programmes by title across the whole guide: part of a title, case and accents
// ignored, gives every event whose title holds it, in time order. The titles are folded once
// when the search is made, so that each query is a scan of one block of text.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/guide_file.h"

namespace tivolo::boxdata {

class GuideSearch {
 public:
  // The search keeps the guide (a Guide is shared, not copied).
  explicit GuideSearch(Guide guide);

  // Indexes into guide.Events() of the events whose title holds `text`, ordered by begin and
  // then by service; only those not ended at `now` (UTC seconds), at most `limit`. Nothing
  // for a text that is empty once folded.
  std::vector<uint32_t> Find(std::string_view text,
                             int64_t now = std::numeric_limits<int64_t>::min(),
                             size_t limit = std::numeric_limits<size_t>::max()) const;

  size_t AllocatedBytes() const;

 private:
  Guide guide_;
  std::string folded_;                  // each distinct title folded, followed by "\n"
  std::vector<uint32_t> title_starts_;  // where each distinct title starts in folded_
  std::vector<uint32_t> title_of_event_;
  std::vector<uint32_t> by_time_;  // every event, by begin and then by service
};

}  // namespace tivolo::boxdata
