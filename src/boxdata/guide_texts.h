// Inside the guide reader: the descriptor pool of the file, its texts decoded in the order
// the file holds them and found by id, and the texts of an event put together from its
// descriptors as the receiver puts them together.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/guide_file.h"

namespace tivolo::boxdata {

// The descriptors of the file. Each is taken apart and its texts decoded into the text pool
// as it is added, so that the file is read from front to back once and a title shared by a
// hundred repeats is decoded and stored once; events then only look up what is ready.
class DescriptorPool {
 public:
  // One descriptor, as much as putting events together needs of it.
  struct Entry {
    uint32_t offset = 0;    // where its tag stands in the file; its id eight bytes before
    uint32_t language = 0;  // three letters packed, and kTextMissing
    uint8_t tag = 0;        // 0x4D short event, 0x4E extended event, 0 any other or unusable
    uint8_t table = 0;      // the table its language implies (dvb_text.h)
    uint8_t numbers = 0;    // extended: its number (high four bits) and the last number
    uint8_t length = 0;     // its data's length: tag and length byte not counted
    TextSpan first;         // short event: the name; extended: the text (but for ISO 6937)
    TextSpan second;        // short event: the text
    // The first four bytes of the short event's text or the extended one's (zeros after a
    // shorter text): whether a short text starts a long one is mostly told from these,
    // without reading the texts themselves.
    uint32_t head = 0;
  };
  static constexpr uint32_t kTextMissing = 1u << 31;  // in `language`: the text is empty

  // `file` and `text_pool` outlive the pool; `expected` descriptors will be added. A text
  // pool that would grow beyond `pool_limit` bytes raises GuideDamaged: events may join up
  // to 8 KB of descriptors that other events share, so a hostile file could otherwise ask
  // for far more memory than its size.
  DescriptorPool(std::string_view file, bool big_endian, size_t expected, std::string& text_pool,
                 size_t pool_limit);

  // `offset`: where the descriptor's tag stands in the file.
  void Add(uint32_t offset);
  // Makes the descriptors added so far findable by id.
  void Index();
  // The index of the descriptor with that id, or -1.
  int64_t Find(uint32_t id) const;
  const Entry& At(uint32_t index) const { return entries_[index]; }
  std::string_view File() const { return file_; }
  bool BigEndian() const { return big_endian_; }

  // Asks the processor to fetch what a later Find or At will read, so that several memory
  // reads are under way at once instead of one after the other.
  void PrefetchSlot(uint32_t id) const;
  void PrefetchEntry(uint32_t index) const;

  // Adds text to the text pool.
  TextSpan Keep(std::string_view text);
  // Decodes straight into the text pool when it has room for the most the bytes can become,
  // through a scratch text otherwise.
  TextSpan Decode(std::string_view bytes, int table, bool title);
  std::string_view Text(TextSpan span) const { return {pool_.data() + span.offset, span.length}; }

  size_t AllocatedBytes() const;
  // The largest block the text pool let go when it grew: for a moment both were held.
  size_t ReleasedWhileGrowing() const { return released_; }

 private:
  struct Slot {
    uint32_t id = 0;
    uint32_t index_plus_one = 0;  // 0: free
  };
  uint32_t Home(uint32_t id) const;
  void Insert(uint32_t id, uint32_t index);

  std::string_view file_;
  bool big_endian_;
  std::string& pool_;
  size_t pool_limit_;
  size_t released_ = 0;
  std::vector<Slot> slots_;
  std::vector<Entry> entries_;
  uint32_t mask_ = 0;
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

  // `ids`: the event's descriptor ids, four bytes each in the file's byte order.
  void Fill(std::string_view ids, GuideEvent& event);
  // Readies what Fill of these ids will read: step 1 the table's slots, step 2 the entries
  // (which need the slots, so step 1 must have been asked for some time before).
  void Prefetch(std::string_view ids, int step) const;

  size_t MissingDescriptors() const { return missing_; }
  size_t AllocatedBytes() const;

 private:
  // A piece of a text, with its first bytes.
  struct Piece {
    TextSpan span;
    uint32_t head = 0;
  };
  void AddExtended(const DescriptorPool::Entry& entry);
  TextSpan Join(const std::vector<Piece>& pieces);
  // Whether the long text starts with the short one: false at once when they are single
  // pieces whose first bytes differ.
  bool ShortStartsLong(const GuideEvent& event) const;

  DescriptorPool& descriptors_;
  size_t missing_ = 0;
  // Per event, kept to reuse their memory.
  std::vector<Piece> title_, short_, extended_;
  std::string raw_extended_;  // ISO 6937 long texts are decoded whole, not piece by piece
  std::string scratch_;       // a text being decoded or joined
};

}  // namespace tivolo::boxdata
