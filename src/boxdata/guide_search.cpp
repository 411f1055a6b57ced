#include "boxdata/guide_search.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "boxdata/search_fold.h"

namespace tivolo::boxdata {
namespace {

// Folded titles end with a line break, which no folded query holds, so no match runs from
// one title into the next.
constexpr char kTitleEnd = '\n';

}  // namespace

GuideSearch::GuideSearch(Guide guide) : guide_(std::move(guide)) {
  const std::span<const GuideEvent> events = guide_.Events();
  title_of_event_.reserve(events.size());
  // Events share the text of a shared title, so one fold serves all of them.
  std::unordered_map<uint64_t, uint32_t> seen;
  for (const GuideEvent& e : events) {
    const uint64_t span = uint64_t{e.title.offset} << 32 | e.title.length;
    const auto [it, added] = seen.try_emplace(span, static_cast<uint32_t>(title_starts_.size()));
    if (added) {
      title_starts_.push_back(static_cast<uint32_t>(folded_.size()));
      std::string title(guide_.Title(e));
      std::replace(title.begin(), title.end(), kTitleEnd, ' ');
      AppendSearchFolded(title, folded_);
      folded_ += kTitleEnd;
    }
    title_of_event_.push_back(it->second);
  }
  by_time_.resize(events.size());
  std::iota(by_time_.begin(), by_time_.end(), 0u);
  std::stable_sort(by_time_.begin(), by_time_.end(),
                   [&](uint32_t a, uint32_t b) { return events[a].begin < events[b].begin; });
}

std::vector<uint32_t> GuideSearch::Find(std::string_view text, int64_t now, size_t limit) const {
  std::string query = SearchFolded(text);
  std::replace(query.begin(), query.end(), kTitleEnd, ' ');
  if (query.empty()) return {};
  std::vector<char> matches(title_starts_.size(), 0);
  const std::string_view all(folded_);
  for (size_t at = all.find(query); at != std::string_view::npos;) {
    const auto next = std::upper_bound(title_starts_.begin(), title_starts_.end(), at);
    matches[static_cast<size_t>(next - title_starts_.begin()) - 1] = 1;
    if (next == title_starts_.end()) break;
    at = all.find(query, *next);
  }
  std::vector<uint32_t> found;
  const std::span<const GuideEvent> events = guide_.Events();
  for (const uint32_t e : by_time_) {
    if (found.size() >= limit) break;
    if (matches[title_of_event_[e]] && events[e].End() > now) found.push_back(e);
  }
  return found;
}

size_t GuideSearch::AllocatedBytes() const {
  return folded_.capacity() +
         (title_starts_.capacity() + title_of_event_.capacity() + by_time_.capacity()) *
             sizeof(uint32_t);
}

}  // namespace tivolo::boxdata
