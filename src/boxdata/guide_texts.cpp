#include "boxdata/guide_texts.h"

#include <algorithm>
#include <random>

#include "boxdata/dvb_text.h"

namespace tivolo::boxdata {
namespace {

constexpr uint8_t kShortEvent = 0x4D;
constexpr uint8_t kExtendedEvent = 0x4E;
// A descriptor's id and reference count stand before its tag.
constexpr uint32_t kIdAndCount = 8;
// The receiver rebuilds an event in a buffer of 8204 bytes, the 12-byte event header first,
// and leaves out each descriptor that would not fit.
constexpr size_t kEventBuffer = 2 * 4096 + 12;
constexpr size_t kEventHeader = 12;
constexpr size_t kDescriptorHeader = 2;
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

uint32_t Head(std::string_view text) {
  uint32_t head = 0;
  for (size_t i = 0; i < 4; ++i)
    head = head << 8 | (i < text.size() ? static_cast<uint8_t>(text[i]) : 0u);
  return head;
}

uint32_t PackLanguage(std::string_view code) {
  return uint32_t{static_cast<uint8_t>(code[0])} << 16 |
         uint32_t{static_cast<uint8_t>(code[1])} << 8 | static_cast<uint8_t>(code[2]);
}

}  // namespace

bool ParseDescriptor(std::string_view bytes, DescriptorParts& out) {
  out.tag = static_cast<uint8_t>(bytes[0]);
  const std::string_view body = bytes.substr(kDescriptorHeader);
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

DescriptorPool::DescriptorPool(std::string_view file, bool big_endian, size_t expected,
                               GuideTextPool& text_pool, size_t pool_limit)
    : file_(file),
      big_endian_(big_endian),
      pool_(text_pool),
      pool_limit_(pool_limit),
      // At most seven tenths full, so that a search ends after a probe or two.
      slots_(expected + expected * 3 / 7 + 1),
      seed_(std::random_device{}()) {}

size_t DescriptorPool::Home(uint32_t id) const {
  // The mixed id scaled to the table's size: no power of two needed.
  return static_cast<size_t>((uint64_t{Mix(id ^ seed_)} * slots_.size()) >> 32);
}

uint32_t DescriptorPool::IdAt(uint32_t offset) const {
  return ReadId(file_, offset - kIdAndCount, big_endian_);
}

void DescriptorPool::Prefetch(uint32_t id) const {
  __builtin_prefetch(&slots_[Home(id)]);
}

void DescriptorPool::Add(uint32_t offset) {
  Slot entry;
  entry.id = IdAt(offset);
  entry.length = static_cast<uint8_t>(file_[offset + 1]);
  entry.language = kOccupied;
  const std::string_view bytes = file_.substr(offset, kDescriptorHeader + entry.length);
  DescriptorParts parts;
  if (ParseDescriptor(bytes, parts)) {
    entry.tag = parts.tag;
    entry.language |= PackLanguage(parts.language) | (parts.text.empty() ? kTextMissing : 0);
    entry.table = static_cast<uint8_t>(DefaultTableForLanguage(parts.language));
    entry.numbers = parts.numbers;
    if (parts.tag == kShortEvent) {
      entry.first = Decode(parts.name, entry.table, true);
      entry.second = Decode(parts.text, entry.table, false);
      entry.head = Head(Text(entry.second));
    } else if (entry.table != dvb_table::kIso6937) {
      entry.first = Decode(parts.text, entry.table, false);
      entry.head = Head(Text(entry.first));
    } else {
      entry.first = {offset, 0};
    }
  }
  for (size_t i = Home(entry.id);; i = i + 1 == slots_.size() ? 0 : i + 1) {
    Slot& slot = slots_[i];
    if (!(slot.language & kOccupied) || slot.id == entry.id) {
      slot = entry;
      return;
    }
  }
}

const DescriptorPool::Slot* DescriptorPool::Find(uint32_t id) const {
  for (size_t i = Home(id);; i = i + 1 == slots_.size() ? 0 : i + 1) {
    const Slot& slot = slots_[i];
    if (!(slot.language & kOccupied)) return nullptr;
    if (slot.id == id) return &slot;
  }
}

TextSpan DescriptorPool::Decode(std::string_view bytes, int table, bool title) {
  // Straight into the pool when it has room for the most the bytes can become (three bytes
  // of UTF-8 each), through a scratch text otherwise.
  if (pool_.capacity() - pool_.size() >= 3 * bytes.size()) {
    const size_t start = pool_.size();
    if (title) {
      AppendDvbTitle(bytes, table, pool_);
    } else {
      AppendDvbText(bytes, table, pool_);
    }
    return {static_cast<uint32_t>(start), static_cast<uint32_t>(pool_.size() - start)};
  }
  scratch_.clear();
  if (title) {
    AppendDvbTitle(bytes, table, scratch_);
  } else {
    AppendDvbText(bytes, table, scratch_);
  }
  return Keep(scratch_);
}

TextSpan DescriptorPool::Keep(std::string_view text) {
  if (pool_.capacity() - pool_.size() < text.size()) {
    if (pool_.size() + text.size() > pool_limit_) {
      throw GuideDamaged(
          "The guide's texts need far more room than a guide of its size: the "
          "file is damaged.");
    }
    // Grown by an eighth rather than doubled: for a moment both blocks are held.
    GuideTextPool bigger;
    bigger.reserve(pool_.size() + std::max(text.size(), pool_.size() / 8));
    bigger = pool_;
    released_ = std::max(released_, platform::LargeBlockSize(pool_.capacity()));
    pool_.swap(bigger);
  }
  const size_t start = pool_.size();
  pool_ += text;
  return {static_cast<uint32_t>(start), static_cast<uint32_t>(text.size())};
}

size_t DescriptorPool::AllocatedBytes() const {
  return slots_.AllocatedBytes() + scratch_.capacity();
}

EventTexts::EventTexts(DescriptorPool& descriptors) : descriptors_(descriptors) {}

size_t EventTexts::AllocatedBytes() const {
  return (title_.capacity() + short_.capacity() + extended_.capacity()) * sizeof(Piece) +
         raw_extended_.capacity() + scratch_.capacity();
}

void EventTexts::AddExtended(const DescriptorPool::Slot& entry) {
  size_t short_length = 0;
  for (const Piece& piece : short_)
    short_length += piece.span.length;
  if ((entry.language & DescriptorPool::kTextMissing) && short_length >= kShortTextMovedToLong) {
    extended_ = short_;
    short_.clear();
  }
  if (entry.table != dvb_table::kIso6937) {
    extended_.push_back({entry.first, entry.head});
    return;
  }
  // Its two-byte letters may straddle two descriptors: the receiver decodes the parts
  // together once the last one has come.
  DescriptorParts parts;
  const std::string_view file = descriptors_.File();
  ParseDescriptor(file.substr(entry.first.offset, kDescriptorHeader + entry.length), parts);
  raw_extended_.append(parts.text);
  if ((entry.numbers >> 4) == (entry.numbers & 0x0F)) {
    scratch_.clear();
    AppendDvbText(raw_extended_, dvb_table::kIso6937, scratch_);
    extended_.push_back({descriptors_.Keep(scratch_), Head(scratch_)});
  }
}

namespace {

// The first non-empty piece, and how many there are.
template <typename Pieces>
auto FirstFilled(const Pieces& pieces, size_t& filled) {
  filled = 0;
  typename Pieces::value_type first{};
  for (const auto& piece : pieces) {
    if (piece.span.length == 0) continue;
    if (filled++ == 0) first = piece;
  }
  return first;
}

}  // namespace

TextSpan EventTexts::Join(const std::vector<Piece>& pieces) {
  size_t filled = 0;
  const Piece first = FirstFilled(pieces, filled);
  if (filled <= 1) return first.span;
  scratch_.clear();
  for (const Piece& piece : pieces)
    scratch_ += descriptors_.Text(piece.span);
  return descriptors_.Keep(scratch_);
}

void EventTexts::Fill(std::span<const DescriptorPool::Slot* const> descriptors, GuideEvent& event) {
  title_.clear();
  short_.clear();
  extended_.clear();
  raw_extended_.clear();
  bool have_language = false;
  uint32_t language = 0;
  size_t used = kEventHeader;
  for (const DescriptorPool::Slot* entry : descriptors) {
    if (entry == nullptr) continue;
    const size_t size = kDescriptorHeader + entry->length;
    if (used + size >= kEventBuffer) continue;
    used += size;
    if (entry->tag == 0) continue;
    // The first language met is the event's; descriptors in other languages are passed over.
    const uint32_t entry_language = entry->language & DescriptorPool::kLanguageBits;
    if (have_language && entry_language != language) continue;
    have_language = true;
    language = entry_language;
    if (entry->tag == kShortEvent) {
      title_.push_back({entry->first, 0});
      short_.push_back({entry->second, entry->head});
    } else {
      AddExtended(*entry);
    }
  }
  event.title = Join(title_);
  event.short_text = Join(short_);
  event.extended_text = Join(extended_);
  // A short text that only repeats the start of the long one is not shown twice.
  if (ShortStartsLong(event)) event.short_text = {};
}

bool EventTexts::ShortStartsLong(const GuideEvent& event) const {
  const size_t length = event.short_text.length;
  if (length == 0) return true;
  if (length > event.extended_text.length) return false;
  // Single pieces carry their first bytes; joined ones are compared whole.
  size_t short_pieces = 0, long_pieces = 0;
  const Piece short_first = FirstFilled(short_, short_pieces);
  const Piece long_first = FirstFilled(extended_, long_pieces);
  if (short_pieces == 1 && long_pieces == 1) {
    const uint32_t mask = length >= 4 ? ~0u : ~(~0u >> (8 * length));
    if ((short_first.head & mask) != (long_first.head & mask)) return false;
  }
  const std::string_view short_text = descriptors_.Text(event.short_text);
  return descriptors_.Text(event.extended_text).substr(0, length) == short_text;
}

}  // namespace tivolo::boxdata
