// Inside the guide reader: the descriptor pool of the file, found by id, and the texts of an
// event put together from its descriptors as the receiver puts them together.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/guide_file.h"

namespace tivolo::boxdata {

// The descriptors of the file by id; the last of several with the same id counts, as in the
// receiver. Each descriptor's texts are decoded on first use and kept in the text pool, so a
// title shared by a hundred repeats is decoded and stored once.
class DescriptorPool {
 public:
  // `file` outlives the pool; `expected` is how many descriptors will be added.
  DescriptorPool(std::string_view file, size_t expected);

  // `offset`: where the descriptor's tag stands in the file.
  void Add(uint32_t id, uint32_t offset);
  // The index of the descriptor with that id, or -1.
  int64_t Find(uint32_t id) const;
  // Tag, length and data of a descriptor.
  std::string_view Bytes(uint32_t index) const;

  size_t AllocatedBytes() const;

 private:
  friend class EventTexts;
  static constexpr uint32_t kNotDecoded = UINT32_MAX;
  struct Slot {
    uint32_t id = 0;
    uint32_t index_plus_one = 0;  // 0: free
  };
  struct Entry {
    uint32_t offset = 0;
    TextSpan first{kNotDecoded, 0};  // short event: the name; extended: the text
    TextSpan second;                 // short event: the text
  };
  static Entry Fresh(uint32_t offset);
  uint32_t Home(uint32_t id) const;

  std::string_view file_;
  std::vector<Slot> slots_;
  std::vector<Entry> entries_;
  uint32_t mask_ = 0;
  uint32_t seed_ = 0;
};

// Puts together title, short text and long text of events into one text pool.
class EventTexts {
 public:
  // A text pool that grows beyond `pool_limit` bytes raises GuideDamaged: each event may
  // join up to 8 KB of descriptors that other events share, so a hostile file could otherwise
  // ask for far more memory than its size.
  EventTexts(DescriptorPool& descriptors, std::string& pool, size_t pool_limit);

  // `ids`: the event's descriptor ids, four bytes each in the file's byte order.
  void Fill(std::string_view ids, bool big_endian, GuideEvent& event);

  size_t MissingDescriptors() const { return missing_; }
  size_t AllocatedBytes() const;
  // The largest block the text pool let go when it grew: for a moment both were held.
  size_t ReleasedWhileGrowing() const { return released_; }

 private:
  // One short (0x4D) or extended (0x4E) event descriptor as the receiver takes it apart.
  struct Parsed {
    uint8_t tag = 0;
    std::string_view language;
    std::string_view name;  // short only
    std::string_view text;
    int number = 0, last_number = 0;  // extended only
  };
  static bool Parse(std::string_view bytes, Parsed& out);
  void Decode(DescriptorPool::Entry& entry, const Parsed& parsed);
  void AddExtended(const DescriptorPool::Entry& entry, const Parsed& parsed);
  TextSpan Join(const std::vector<TextSpan>& pieces);
  void Reset();

  DescriptorPool& descriptors_;
  std::string& pool_;
  size_t pool_limit_;
  size_t missing_ = 0;
  size_t released_ = 0;
  // Per event, kept to reuse their memory.
  std::vector<TextSpan> title_, short_, extended_;
  std::string language_;
  std::string raw_extended_;  // ISO 6937 long texts are decoded whole, not piece by piece
  std::string scratch_;
};

}  // namespace tivolo::boxdata
