#include "boxdata/guide_texts.h"

#include <algorithm>
#include <random>
#include <vector>

#include "boxdata/dvb_text.h"

namespace tivolo::boxdata {
namespace {

// A descriptor's id and reference count stand before its tag.
constexpr uint32_t kIdAndCount = 8;
constexpr size_t kDescriptorHeader = 2;
// The receiver rebuilds an event in a buffer of 8204 bytes, the 12-byte event header first,
// and leaves out each descriptor that would not fit.
constexpr size_t kEventBuffer = 2 * 4096 + 12;
constexpr size_t kEventHeader = 12;
// From this length on the receiver takes a short text for the start of the long one, when
// an extended descriptor without text follows.
constexpr size_t kShortTextMovedToLong = 180;

// Spreads the ids over the table; the seed keeps a hostile file from choosing collisions.
uint32_t Mix(uint32_t h) {
  h ^= h >> 16;
  h *= 0x85EBCA6Bu;
  h ^= h >> 13;
  h *= 0xC2B2AE35u;
  h ^= h >> 16;
  return h;
}

uint32_t PackLanguage(std::string_view code) {
  return uint32_t{static_cast<uint8_t>(code[0])} << 16 |
         uint32_t{static_cast<uint8_t>(code[1])} << 8 | static_cast<uint8_t>(code[2]);
}

// Calls f for each descriptor the receiver uses of an event: those that fit its buffer, of
// a known kind and in the event's language (the first met), in the event's order.
template <typename F>
void ForEachChosen(FoundDescriptors found, F&& f) {
  bool have_language = false;
  uint32_t language = 0;
  size_t used = kEventHeader;
  for (const DescriptorTable::Slot* slot : found) {
    if (slot == nullptr) continue;
    const size_t size = kDescriptorHeader + slot->length;
    if (used + size >= kEventBuffer) continue;
    used += size;
    if (slot->tag == 0) continue;
    const uint32_t slot_language = slot->language & DescriptorTable::kLanguageBits;
    if (have_language && slot_language != language) continue;
    have_language = true;
    language = slot_language;
    f(*slot);
  }
}

}  // namespace

bool ParseDescriptor(std::string_view bytes, DescriptorParts& out) {
  out.tag = static_cast<uint8_t>(bytes[0]);
  const std::string_view body = bytes.substr(kDescriptorHeader);
  out.name = out.text = {};
  if (out.tag == kShortEventTag) {
    // language (3), name length, name, text length, text
    if (body.size() < 5) return false;
    out.language = body.substr(0, 3);
    const size_t name_length = static_cast<uint8_t>(body[3]);
    if (4 + name_length >= body.size()) return true;
    out.name = body.substr(4, name_length);
    const size_t text_length = static_cast<uint8_t>(body[4 + name_length]);
    if (5 + name_length + text_length <= body.size())
      out.text = body.substr(5 + name_length, text_length);
    return true;
  }
  if (out.tag == kExtendedEventTag) {
    // numbers (4 bits each), language (3), items length, items, text length, text
    if (body.size() < 6) return false;
    out.numbers = static_cast<uint8_t>(body[0]);
    out.language = body.substr(1, 3);
    const size_t items_length = static_cast<uint8_t>(body[4]);
    if (5 + items_length >= body.size()) return true;
    const size_t text_length = static_cast<uint8_t>(body[5 + items_length]);
    if (6 + items_length + text_length <= body.size())
      out.text = body.substr(6 + items_length, text_length);
    return true;
  }
  return false;
}

TextSpan TitleWriter::Keep(std::string_view text) {
  if (titles_.capacity() - titles_.size() < text.size()) {
    if (titles_.size() + text.size() > limit_) {
      throw GuideDamaged(
          "The guide's titles need far more room than a guide of its size: "
          "the file is damaged.");
    }
    GuideTextPool bigger;
    bigger.reserve(titles_.size() + std::max(text.size(), titles_.size() / 8));
    bigger = titles_;
    released_ = std::max(released_, platform::LargeBlockSize(titles_.capacity()));
    titles_.swap(bigger);
  }
  const size_t start = titles_.size();
  titles_ += text;
  return {static_cast<uint32_t>(start), static_cast<uint32_t>(text.size())};
}

TextSpan TitleWriter::Decode(std::string_view name, int table) {
  if (name.empty()) return {};
  // Straight into the block when it has room for the most the bytes can become (three bytes
  // of UTF-8 each), through a scratch text otherwise.
  if (titles_.capacity() - titles_.size() >= 3 * name.size()) {
    const size_t start = titles_.size();
    AppendDvbTitle(name, table, titles_);
    return {static_cast<uint32_t>(start), static_cast<uint32_t>(titles_.size() - start)};
  }
  scratch_.clear();
  AppendDvbTitle(name, table, scratch_);
  return Keep(scratch_);
}

TextSpan TitleWriter::Join(std::span<const TextSpan> pieces) {
  scratch_.clear();
  for (const TextSpan& piece : pieces)
    scratch_ += Text(piece);
  return Keep(scratch_);
}

DescriptorTable::DescriptorTable(std::string_view file, bool big_endian, size_t expected)
    : file_(file),
      big_endian_(big_endian),
      // At most seven tenths full, so that a search ends after a probe or two.
      slots_(expected + expected * 3 / 7 + 1),
      seed_(std::random_device{}()) {}

size_t DescriptorTable::Home(uint32_t id) const {
  // The mixed id scaled to the table's size: no power of two needed.
  return static_cast<size_t>((uint64_t{Mix(id ^ seed_)} * slots_.size()) >> 32);
}

uint32_t DescriptorTable::ReadId(std::string_view bytes, size_t at) const {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
  if (big_endian_) return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

uint32_t DescriptorTable::IdAt(uint32_t offset) const {
  return ReadId(file_, offset - kIdAndCount);
}

void DescriptorTable::Prefetch(uint32_t id) const {
  __builtin_prefetch(&slots_[Home(id)]);
}

std::string_view DescriptorTable::Bytes(const Slot& slot) const {
  return file_.substr(slot.offset, kDescriptorHeader + slot.length);
}

void DescriptorTable::Add(uint32_t offset, TitleWriter& titles) {
  Slot entry;
  entry.id = IdAt(offset);
  entry.offset = offset;
  entry.length = static_cast<uint8_t>(file_[offset + 1]);
  entry.language = kOccupied;
  DescriptorParts parts;
  if (ParseDescriptor(Bytes(entry), parts)) {
    entry.tag = parts.tag;
    entry.language |= PackLanguage(parts.language) | (parts.text.empty() ? kTextMissing : 0);
    entry.table = static_cast<uint8_t>(DefaultTableForLanguage(parts.language));
    entry.numbers = parts.numbers;
    if (parts.tag == kShortEventTag) entry.name = titles.Decode(parts.name, entry.table);
  }
  for (size_t i = Home(entry.id);; i = i + 1 == slots_.size() ? 0 : i + 1) {
    Slot& slot = slots_[i];
    if (!(slot.language & kOccupied) || slot.id == entry.id) {
      slot = entry;
      return;
    }
  }
}

const DescriptorTable::Slot* DescriptorTable::Find(uint32_t id) const {
  if (slots_.size() == 0) return nullptr;
  for (size_t i = Home(id);; i = i + 1 == slots_.size() ? 0 : i + 1) {
    const Slot& slot = slots_[i];
    if (!(slot.language & kOccupied)) return nullptr;
    if (slot.id == id) return &slot;
  }
}

TextSpan ComposeTitle(FoundDescriptors found, TitleWriter& titles) {
  TextSpan pieces[2];
  size_t count = 0;
  std::vector<TextSpan> more;  // only for the rare title of three names or more
  ForEachChosen(found, [&](const DescriptorTable::Slot& slot) {
    if (slot.tag != kShortEventTag || slot.name.length == 0) return;
    if (count < 2) {
      pieces[count] = slot.name;
    } else {
      if (more.empty()) more.assign(pieces, pieces + 2);
      more.push_back(slot.name);
    }
    ++count;
  });
  if (count <= 1) return pieces[0];
  if (count == 2) return titles.Join(pieces);
  return titles.Join(more);
}

GuideEventTexts ComposeTexts(const DescriptorTable& table, FoundDescriptors found,
                             std::string_view title) {
  GuideEventTexts texts;
  texts.title = std::string(title);
  std::string raw_extended;  // ISO 6937 long texts are decoded whole, not piece by piece
  DescriptorParts parts;
  ForEachChosen(found, [&](const DescriptorTable::Slot& slot) {
    ParseDescriptor(table.Bytes(slot), parts);
    if (slot.tag == kShortEventTag) {
      AppendDvbText(parts.text, slot.table, texts.short_text);
      return;
    }
    if (parts.text.empty() && texts.short_text.size() >= kShortTextMovedToLong) {
      texts.extended_text = std::move(texts.short_text);
      texts.short_text.clear();
    }
    if (slot.table != dvb_table::kIso6937) {
      AppendDvbText(parts.text, slot.table, texts.extended_text);
      return;
    }
    // Its two-byte letters may straddle two descriptors: the receiver decodes the parts
    // together once the last one has come.
    raw_extended += parts.text;
    if ((slot.numbers >> 4) == (slot.numbers & 0x0F)) {
      AppendDvbText(raw_extended, dvb_table::kIso6937, texts.extended_text);
      raw_extended.clear();  // the receiver keeps it and would repeat it with the next series
    }
  });
  // A short text that only repeats the start of the long one is not shown twice.
  if (texts.extended_text.starts_with(texts.short_text)) texts.short_text.clear();
  return texts;
}

}  // namespace tivolo::boxdata
