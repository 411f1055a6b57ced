// Inside the guide: how the receiver takes a short or extended event descriptor apart, and
// how it puts an event's title, short text and long text together from its descriptors.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "boxdata/guide_data.h"

namespace tivolo::boxdata {

inline constexpr uint8_t kShortEventTag = 0x4D;
inline constexpr uint8_t kExtendedEventTag = 0x4E;

// The raw parts of a short or extended event descriptor (tag, length and data); false for
// another tag or one too short to hold its header.
struct DescriptorParts {
  uint8_t tag = 0;
  std::string_view language;
  std::string_view name;  // short only
  std::string_view text;
  uint8_t numbers = 0;  // extended only: its number (high four bits) and the last number
};
bool ParseDescriptor(std::string_view bytes, DescriptorParts& out);

// Adds decoded titles to the guide's block of titles, which it grows by an eighth when full
// (rather than doubling it: for a moment both blocks are held) and never beyond `limit`
// bytes: GuideDamaged then, as events that join names other events share could otherwise
// ask for far more memory than the file's size.
class TitleWriter {
 public:
  TitleWriter(GuideTextPool& titles, size_t limit) : titles_(titles), limit_(limit) {}
  // A short event's name, decoded with `table`.
  TextSpan Decode(std::string_view name, int table);
  // Several titles one after the other.
  TextSpan Join(std::span<const TextSpan> pieces);
  std::string_view Text(TextSpan span) const { return {titles_.data() + span.offset, span.length}; }
  size_t ReleasedWhileGrowing() const { return released_; }
  size_t AllocatedBytes() const { return scratch_.capacity(); }

 private:
  TextSpan Keep(std::string_view text);

  GuideTextPool& titles_;
  size_t limit_;
  size_t released_ = 0;
  std::string scratch_;
};

using FoundDescriptors = std::span<const DescriptorTable::Slot* const>;

// The title of an event whose descriptors, in its order, are `found` (nothing where the
// table has no such id): the names of its short event descriptors. One name is the span the
// table decoded; several are joined.
TextSpan ComposeTitle(FoundDescriptors found, TitleWriter& titles);

// All texts of such an event, decoded from the file now.
GuideEventTexts ComposeTexts(const DescriptorTable& table, FoundDescriptors found,
                             std::string_view title);

}  // namespace tivolo::boxdata
