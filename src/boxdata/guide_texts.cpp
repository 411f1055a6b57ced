#include "boxdata/guide_texts.h"

#include <algorithm>
#include <random>

#include "boxdata/dvb_text.h"

namespace tivolo::boxdata {
namespace {

constexpr uint8_t kShortEvent = 0x4D;
constexpr uint8_t kExtendedEvent = 0x4E;
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

uint32_t ReadId(std::string_view bytes, size_t at, bool big_endian) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
  if (big_endian) return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

TextSpan SpanFrom(size_t start, size_t end) {
  return {static_cast<uint32_t>(start), static_cast<uint32_t>(end - start)};
}

}  // namespace

DescriptorPool::DescriptorPool(std::string_view file, size_t expected)
    : file_(file), seed_(std::random_device{}()) {
  size_t capacity = 16;
  while (capacity < expected * 2)
    capacity *= 2;
  slots_.resize(capacity);
  mask_ = static_cast<uint32_t>(capacity - 1);
  entries_.reserve(expected);
}

DescriptorPool::Entry DescriptorPool::Fresh(uint32_t offset) {
  Entry entry;
  entry.offset = offset;
  return entry;
}

uint32_t DescriptorPool::Home(uint32_t id) const {
  return Mix(id ^ seed_) & mask_;
}

void DescriptorPool::Add(uint32_t id, uint32_t offset) {
  for (uint32_t i = Home(id);; i = (i + 1) & mask_) {
    Slot& slot = slots_[i];
    if (slot.index_plus_one == 0) {
      entries_.push_back(Fresh(offset));
      slot = {id, static_cast<uint32_t>(entries_.size())};
      return;
    }
    if (slot.id == id) {
      entries_[slot.index_plus_one - 1] = Fresh(offset);
      return;
    }
  }
}

int64_t DescriptorPool::Find(uint32_t id) const {
  for (uint32_t i = Home(id);; i = (i + 1) & mask_) {
    const Slot& slot = slots_[i];
    if (slot.index_plus_one == 0) return -1;
    if (slot.id == id) return slot.index_plus_one - 1;
  }
}

std::string_view DescriptorPool::Bytes(uint32_t index) const {
  const uint32_t at = entries_[index].offset;
  return file_.substr(at, 2 + static_cast<uint8_t>(file_[at + 1]));
}

size_t DescriptorPool::AllocatedBytes() const {
  return slots_.capacity() * sizeof(Slot) + entries_.capacity() * sizeof(Entry);
}

EventTexts::EventTexts(DescriptorPool& descriptors, std::string& pool, size_t pool_limit)
    : descriptors_(descriptors), pool_(pool), pool_limit_(pool_limit) {}

size_t EventTexts::AllocatedBytes() const {
  return (title_.capacity() + short_.capacity() + extended_.capacity()) * sizeof(TextSpan) +
         language_.capacity() + raw_extended_.capacity() + scratch_.capacity();
}

bool EventTexts::Parse(std::string_view bytes, Parsed& out) {
  out.tag = static_cast<uint8_t>(bytes[0]);
  const std::string_view body = bytes.substr(2);
  out.name = out.text = {};
  if (out.tag == kShortEvent) {
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
  if (out.tag == kExtendedEvent) {
    // numbers (4 bits each), language (3), items length, items, text length, text
    if (body.size() < 6) return false;
    out.number = static_cast<uint8_t>(body[0]) >> 4;
    out.last_number = static_cast<uint8_t>(body[0]) & 0x0F;
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

void EventTexts::Decode(DescriptorPool::Entry& entry, const Parsed& parsed) {
  const int table = DefaultTableForLanguage(parsed.language);
  size_t start = pool_.size();
  if (parsed.tag == kShortEvent) {
    AppendDvbTitle(parsed.name, table, pool_);
    entry.first = SpanFrom(start, pool_.size());
    start = pool_.size();
    AppendDvbText(parsed.text, table, pool_);
    entry.second = SpanFrom(start, pool_.size());
  } else if (table != dvb_table::kIso6937) {
    AppendDvbText(parsed.text, table, pool_);
    entry.first = SpanFrom(start, pool_.size());
  } else {
    entry.first = {};  // decoded with the other parts of the long text
  }
}

void EventTexts::AddExtended(const DescriptorPool::Entry& entry, const Parsed& parsed) {
  size_t short_length = 0;
  for (const TextSpan& piece : short_)
    short_length += piece.length;
  if (parsed.text.empty() && short_length >= kShortTextMovedToLong) {
    extended_ = short_;
    short_.clear();
  }
  if (DefaultTableForLanguage(parsed.language) != dvb_table::kIso6937) {
    extended_.push_back(entry.first);
    return;
  }
  // Its two-byte letters may straddle two descriptors: the receiver decodes the parts
  // together once the last one has come.
  raw_extended_.append(parsed.text);
  if (parsed.number == parsed.last_number) {
    const size_t start = pool_.size();
    AppendDvbText(raw_extended_, dvb_table::kIso6937, pool_);
    extended_.push_back(SpanFrom(start, pool_.size()));
  }
}

TextSpan EventTexts::Join(const std::vector<TextSpan>& pieces) {
  TextSpan only;
  size_t filled = 0;
  for (const TextSpan& piece : pieces) {
    if (piece.length == 0) continue;
    only = piece;
    ++filled;
  }
  if (filled <= 1) return only;
  scratch_.clear();
  for (const TextSpan& piece : pieces)
    scratch_.append(pool_, piece.offset, piece.length);
  const size_t start = pool_.size();
  pool_ += scratch_;
  return SpanFrom(start, pool_.size());
}

void EventTexts::Reset() {
  title_.clear();
  short_.clear();
  extended_.clear();
  language_.clear();
  raw_extended_.clear();
}

void EventTexts::Fill(std::string_view ids, bool big_endian, GuideEvent& event) {
  Reset();
  const size_t capacity = pool_.capacity();
  size_t used = kEventHeader;
  Parsed parsed;
  for (size_t at = 0; at + 4 <= ids.size(); at += 4) {
    const int64_t index = descriptors_.Find(ReadId(ids, at, big_endian));
    if (index < 0) {
      ++missing_;
      continue;
    }
    const std::string_view bytes = descriptors_.Bytes(static_cast<uint32_t>(index));
    if (used + bytes.size() >= kEventBuffer) continue;
    used += bytes.size();
    if (!Parse(bytes, parsed)) continue;
    // The first language met is the event's; descriptors in other languages are passed over.
    if (!language_.empty() && parsed.language != language_) continue;
    language_ = parsed.language;
    DescriptorPool::Entry& entry = descriptors_.entries_[static_cast<size_t>(index)];
    if (entry.first.offset == DescriptorPool::kNotDecoded) Decode(entry, parsed);
    if (parsed.tag == kShortEvent) {
      title_.push_back(entry.first);
      short_.push_back(entry.second);
    } else {
      AddExtended(entry, parsed);
    }
  }
  event.title = Join(title_);
  event.short_text = Join(short_);
  event.extended_text = Join(extended_);
  // A short text that only repeats the start of the long one is not shown twice.
  const std::string_view short_text(pool_.data() + event.short_text.offset,
                                    event.short_text.length);
  const std::string_view long_text(pool_.data() + event.extended_text.offset,
                                   event.extended_text.length);
  if (long_text.substr(0, short_text.size()) == short_text) event.short_text = {};
  if (pool_.capacity() != capacity) released_ = std::max(released_, capacity);
  if (pool_.size() > pool_limit_)
    throw GuideDamaged(
        "The guide's texts need far more room than a guide of its size: the "
        "file is damaged.");
}

}  // namespace tivolo::boxdata
