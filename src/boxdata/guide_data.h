// Inside the guide: what a Guide keeps once its file has been read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/guide_file.h"
#include "platform/large_memory.h"

namespace tivolo::boxdata {

class TitleWriter;

// The guide's large tables live in memory that favours reading at random.
using GuideEvents = std::vector<GuideEvent, platform::LargeAllocator<GuideEvent>>;
using GuideTextPool =
    std::basic_string<char, std::char_traits<char>, platform::LargeAllocator<char>>;

// A file's bytes, mapped rather than copied: the pages the system holds for it are used as
// they are. Our copy of the guide is only ever replaced by a rename, so the mapped file does
// not change under the guide.
class MappedFile {
 public:
  // FileOpenError when the file cannot be opened or mapped; a file larger than `limit` is
  // mapped as far as `limit` and one byte.
  MappedFile(const std::filesystem::path& path, size_t limit);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  std::string_view Bytes() const { return {bytes_ == nullptr ? "" : bytes_, size_}; }

 private:
  const char* bytes_ = nullptr;
  size_t size_ = 0;
};

// The descriptors of the file in a table by id. A slot holds all that putting an event's
// texts together needs of a descriptor, so that finding one is one read of memory; the
// titles (the names of short event descriptors) are decoded as descriptors are added.
class DescriptorTable {
 public:
  struct Slot {
    uint32_t id = 0;
    uint32_t language = 0;  // three letters packed, and the flags below
    uint8_t tag = 0;        // 0x4D short event, 0x4E extended event, 0 any other or unusable
    uint8_t table = 0;      // the table its language implies (dvb_text.h)
    uint8_t numbers = 0;    // extended: its number (high four bits) and the last number
    uint8_t length = 0;     // its data's length: tag and length byte not counted
    uint32_t offset = 0;    // where its tag stands in the file
    TextSpan name;          // short event: its name, decoded
  };
  static constexpr uint32_t kTextMissing = 1u << 31;  // in `language`: the text is empty
  static constexpr uint32_t kOccupied = 1u << 30;     // in `language`: the slot is taken
  static constexpr uint32_t kLanguageBits = 0xFFFFFF;

  DescriptorTable() = default;
  // `file` outlives the table; room for `expected` descriptors.
  DescriptorTable(std::string_view file, bool big_endian, size_t expected);

  // `offset`: where the descriptor's tag stands in the file, its id eight bytes before. Of
  // two descriptors with one id the later counts, as in the receiver. A short event's name
  // is decoded into the titles.
  void Add(uint32_t offset, TitleWriter& titles);
  // The descriptor with that id, or nothing.
  const Slot* Find(uint32_t id) const;
  // Asks the processor to fetch the place of `id` in the table, so that several memory
  // reads are under way at once instead of one after the other.
  void Prefetch(uint32_t id) const;
  uint32_t IdAt(uint32_t offset) const;
  uint32_t ReadId(std::string_view bytes, size_t at) const;

  std::string_view File() const { return file_; }
  // A descriptor's tag, length and data.
  std::string_view Bytes(const Slot& slot) const;
  size_t AllocatedBytes() const { return slots_.AllocatedBytes(); }

 private:
  size_t Home(uint32_t id) const;

  std::string_view file_;
  bool big_endian_ = false;
  platform::ZeroedLargeArray<Slot> slots_;  // an empty slot is all zero
  uint32_t seed_ = 0;
};

class GuideData {
 public:
  std::unique_ptr<MappedFile> mapped;  // the file, when the guide was loaded from one ...
  std::string owned;                   // ... or a copy of the bytes it was read from
  std::string_view bytes;
  int version = 0;
  bool big_endian = false;
  DescriptorTable descriptors;
  std::vector<GuideService> services;
  GuideEvents events;
  GuideTextPool titles;
};

}  // namespace tivolo::boxdata
