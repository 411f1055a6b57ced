// The guide's titles made ready for the series rules' title checks: each distinct title once,
// as written and folded to small letters, so that a rule's title check is one scan of a block
// of text (or a look-up) instead of one comparison per event. Built once per guide and shared
// by every rule and every preview.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/autotimer_file.h"
#include "boxdata/guide_file.h"

namespace tivolo::plan {

// Small letters for the letters the box's guide search folds: ASCII, the Latin-1 and Latin
// Extended-A capitals, Greek and Cyrillic capitals. Every change keeps the byte length, so a
// position in the folded text is the same position in the text.
std::string FoldCase(std::string_view utf8);

class RuleTitles {
 public:
  // The index keeps the guide (a Guide is shared, not copied).
  explicit RuleTitles(boxdata::Guide guide);

  const boxdata::Guide& Guide() const { return guide_; }

  // Indexes into Guide().Events() of the events whose title matches `match` by the search
  // type (kPartial, kExact, kStart, kEnd; nothing for kDescription, which looks at texts) in
  // no particular order. `match` is compared as written, or folded when not case sensitive.
  std::vector<uint32_t> EventsWithTitle(std::string_view match, boxdata::RuleSearchType type,
                                        bool case_sensitive) const;

  // One plain pass over every event's title, case sensitive (the least a rule's title check
  // could cost without the index): the number of events whose title holds `text`. For the
  // benchmark's comparison.
  size_t CountEventsHolding(std::string_view text) const;

  size_t DistinctTitles() const { return starts_.size(); }

 private:
  void MarkTitles(std::string_view match, boxdata::RuleSearchType type, bool case_sensitive,
                  std::vector<char>& hit) const;
  std::string_view TitleAt(const std::string& block, uint32_t title) const;

  boxdata::Guide guide_;
  std::string exact_;                  // each distinct title, then "\n"
  std::string folded_;                 // the same, folded; byte for byte the same places
  std::vector<uint32_t> starts_;       // where each distinct title starts in both blocks
  std::vector<uint32_t> first_event_;  // events of title t: event_list_[first_event_[t] ..
  std::vector<uint32_t> event_list_;   // first_event_[t + 1])
};

}  // namespace tivolo::plan
