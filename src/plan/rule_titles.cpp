#include "plan/rule_titles.h"

#include <algorithm>
#include <functional>
#include <unordered_map>

#include "platform/text.h"

namespace tivolo::plan {
namespace {

using boxdata::RuleSearchType;

// Titles end with a line break, which no title holds (they are replaced), so that no match
// runs from one title into the next.
constexpr char kTitleEnd = '\n';

char32_t LowerOf(char32_t cp) {
  if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) || (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2) ||
      (cp >= 0x410 && cp <= 0x42F)) {
    return cp + 0x20;
  }
  if (cp >= 0x400 && cp <= 0x40F) return cp + 0x50;
  if (((cp >= 0x100 && cp <= 0x12F) || (cp >= 0x132 && cp <= 0x137) ||
       (cp >= 0x14A && cp <= 0x177)) &&
      cp % 2 == 0) {
    return cp + 1;
  }
  if (((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E)) && cp % 2 == 1) return cp + 1;
  return cp;
}

}  // namespace

std::string FoldCase(std::string_view utf8) {
  std::string out(utf8);
  for (size_t i = 0; i < out.size();) {
    const auto b = static_cast<unsigned char>(out[i]);
    if (b < 0x80) {
      if (b >= 'A' && b <= 'Z') out[i] = static_cast<char>(b + 32);
      ++i;
      continue;
    }
    char32_t cp = 0;
    const size_t len = platform::CodePointAt(out, i, cp);
    if (len == 2) {
      const char32_t lower = LowerOf(cp);
      out[i] = static_cast<char>(0xC0 | (lower >> 6));
      out[i + 1] = static_cast<char>(0x80 | (lower & 0x3F));
    }
    i += len == 0 ? 1 : len;
  }
  return out;
}

RuleTitles::RuleTitles(boxdata::Guide guide) : guide_(std::move(guide)) {
  const std::span<const boxdata::GuideEvent> events = guide_.Events();
  // Events share the text of a shared title, so one copy serves all of them.
  std::unordered_map<uint64_t, uint32_t> seen;
  std::vector<uint32_t> title_of_event;
  title_of_event.reserve(events.size());
  for (const boxdata::GuideEvent& e : events) {
    const uint64_t span = uint64_t{e.title.offset} << 32 | e.title.length;
    const auto [it, added] = seen.try_emplace(span, static_cast<uint32_t>(starts_.size()));
    if (added) {
      starts_.push_back(static_cast<uint32_t>(exact_.size()));
      std::string title(guide_.Title(e));
      std::replace(title.begin(), title.end(), kTitleEnd, ' ');
      exact_ += title;
      exact_ += kTitleEnd;
    }
    title_of_event.push_back(it->second);
  }
  folded_ = FoldCase(exact_);
  // The events of each title, grouped by title.
  first_event_.assign(starts_.size() + 1, 0);
  for (uint32_t t : title_of_event)
    ++first_event_[t + 1];
  for (size_t t = 1; t < first_event_.size(); ++t)
    first_event_[t] += first_event_[t - 1];
  event_list_.resize(events.size());
  std::vector<uint32_t> fill(first_event_.begin(), first_event_.end() - 1);
  for (uint32_t e = 0; e < title_of_event.size(); ++e)
    event_list_[fill[title_of_event[e]]++] = e;
}

std::string_view RuleTitles::TitleAt(const std::string& block, uint32_t title) const {
  const uint32_t begin = starts_[title];
  const uint32_t end =
      title + 1 < starts_.size() ? starts_[title + 1] - 1 : static_cast<uint32_t>(block.size()) - 1;
  return std::string_view(block).substr(begin, end - begin);
}

void RuleTitles::MarkTitles(std::string_view match, RuleSearchType type, bool case_sensitive,
                            std::vector<char>& hit) const {
  const std::string& block = case_sensitive ? exact_ : folded_;
  if (type == RuleSearchType::kPartial) {
    const std::string_view all(block);
    // A searcher that skips ahead by the query's length: the block is scanned once per rule.
    const std::boyer_moore_horspool_searcher searcher(match.begin(), match.end());
    for (auto it = all.begin(); it != all.end();) {
      const auto found = std::search(it, all.end(), searcher);
      if (found == all.end()) break;
      const auto at = static_cast<uint32_t>(found - all.begin());
      const auto next = std::upper_bound(starts_.begin(), starts_.end(), at);
      hit[static_cast<size_t>(next - starts_.begin()) - 1] = 1;
      if (next == starts_.end()) break;
      it = all.begin() + *next;
    }
    return;
  }
  for (uint32_t t = 0; t < starts_.size(); ++t) {
    const std::string_view title = TitleAt(block, t);
    const bool ok = type == RuleSearchType::kExact   ? title == match
                    : type == RuleSearchType::kStart ? title.starts_with(match)
                                                     : title.ends_with(match);
    if (ok) hit[t] = 1;
  }
}

std::vector<uint32_t> RuleTitles::EventsWithTitle(std::string_view match, RuleSearchType type,
                                                  bool case_sensitive) const {
  if (type == RuleSearchType::kDescription || starts_.empty()) return {};
  std::string query = case_sensitive ? std::string(match) : FoldCase(match);
  std::replace(query.begin(), query.end(), kTitleEnd, ' ');
  // An empty match would select every title; the plugin refuses such a rule.
  if (query.empty()) return {};
  std::vector<char> hit(starts_.size(), 0);
  MarkTitles(query, type, case_sensitive, hit);
  std::vector<uint32_t> events;
  for (uint32_t t = 0; t < starts_.size(); ++t) {
    if (!hit[t]) continue;
    events.insert(events.end(), event_list_.begin() + first_event_[t],
                  event_list_.begin() + first_event_[t + 1]);
  }
  return events;
}

size_t RuleTitles::CountEventsHolding(std::string_view text) const {
  size_t count = 0;
  for (const boxdata::GuideEvent& e : guide_.Events()) {
    if (guide_.Title(e).find(text) != std::string_view::npos) ++count;
  }
  return count;
}

}  // namespace tivolo::plan
