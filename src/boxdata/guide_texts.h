// Inside the guide reader: the descriptor pool of the file, its texts decoded in the order
// the file holds them and found by id, and the texts of an event put together from its
// descriptors as the receiver puts them together.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/guide_file.h"

namespace tivolo::boxdata {

// The descriptors of the file in a table by id. Each is taken apart and its texts decoded
// into the text pool as it is added, so that the file is read from front to back once and a
// title shared by a hundred repeats is decoded and stored once. A slot holds all that putting
// events together needs, so that finding a descriptor is one read of memory.
class DescriptorPool {
 public:
  struct Slot {
    uint32_t id = 0;
    uint32_t language = 0;  // three letters packed, and the flags below
    uint8_t tag = 0;        // 0x4D short event, 0x4E extended event, 0 any other or unusable
    uint8_t table = 0;      // the table its language implies (dvb_text.h)
    uint8_t numbers = 0;    // extended: its number (high four bits) and the last number
    uint8_t length = 0;     // its data's length: tag and length byte not counted
    // Short event: the name. Extended: the text, or for an ISO 6937 text, which is decoded
    // together with the rest of its event, where the descriptor stands in the file.
    TextSpan first;
    TextSpan second;  // short event: the text
    // The first four bytes of the short event's text or the extended one's (zeros after a
    // shorter text): whether a short text starts a long one is mostly told from these,
    // without reading the texts themselves.
    uint32_t head = 0;
  };
  static constexpr uint32_t kTextMissing = 1u << 31;  // in `language`: the text is empty
  static constexpr uint32_t kOccupied = 1u << 30;     // in `language`: the slot is taken
  static constexpr uint32_t kLanguageBits = 0xFFFFFF;

  // `file` and `text_pool` outlive the pool; `expected` descriptors will be added. A text
  // pool that would grow beyond `pool_limit` bytes raises GuideDamaged: events may join up
  // to 8 KB of descriptors that other events share, so a hostile file could otherwise ask
  // for far more memory than its size.
  DescriptorPool(std::string_view file, bool big_endian, size_t expected, GuideTextPool& text_pool,
                 size_t pool_limit);

  // `offset`: where the descriptor's tag stands in the file, its id eight bytes before. Of
  // two descriptors with one id the later counts, as in the receiver.
  void Add(uint32_t offset);
  // The descriptor with that id, or nothing.
  const Slot* Find(uint32_t id) const;
  // Asks the processor to fetch the place of `id` in the table, so that several memory
  // reads are under way at once instead of one after the other.
  void Prefetch(uint32_t id) const;
  uint32_t IdAt(uint32_t offset) const;

  std::string_view File() const { return file_; }
  bool BigEndian() const { return big_endian_; }

  // Adds text to the text pool.
  TextSpan Keep(std::string_view text);
  std::string_view Text(TextSpan span) const { return {pool_.data() + span.offset, span.length}; }

  size_t AllocatedBytes() const;
  // The largest block the text pool let go when it grew: for a moment both were held.
  size_t ReleasedWhileGrowing() const { return released_; }

 private:
  size_t Home(uint32_t id) const;
  // Decodes bytes into the text pool, which it never lets grow by more than Keep does.
  TextSpan Decode(std::string_view bytes, int table, bool title);

  std::string_view file_;
  bool big_endian_;
  GuideTextPool& pool_;
  size_t pool_limit_;
  size_t released_ = 0;
  platform::ZeroedLargeArray<Slot> slots_;  // an empty slot is all zero
  uint32_t seed_ = 0;
  std::string scratch_;
};

// The raw parts of a short or extended event descriptor, as the receiver takes it apart;
// false for another tag or one too short to hold its header.
struct DescriptorParts {
  uint8_t tag = 0;
  std::string_view language;
  std::string_view name;  // short only
  std::string_view text;
  uint8_t numbers = 0;  // extended only
};
bool ParseDescriptor(std::string_view bytes, DescriptorParts& out);

// Puts together title, short text and long text of events.
class EventTexts {
 public:
  explicit EventTexts(DescriptorPool& descriptors);

  // `descriptors`: the event's, in its order; nothing where the pool has no such id.
  void Fill(std::span<const DescriptorPool::Slot* const> descriptors, GuideEvent& event);

  size_t AllocatedBytes() const;

 private:
  // A piece of a text, with its first bytes.
  struct Piece {
    TextSpan span;
    uint32_t head = 0;
  };
  void AddExtended(const DescriptorPool::Slot& slot);
  TextSpan Join(const std::vector<Piece>& pieces);
  // Whether the long text starts with the short one: false at once when they are single
  // pieces whose first bytes differ.
  bool ShortStartsLong(const GuideEvent& event) const;

  DescriptorPool& descriptors_;
  // Per event, kept to reuse their memory.
  std::vector<Piece> title_, short_, extended_;
  std::string raw_extended_;  // ISO 6937 long texts are decoded whole, not piece by piece
  std::string scratch_;       // a text being decoded or joined
};

}  // namespace tivolo::boxdata
