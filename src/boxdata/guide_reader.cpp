#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "boxdata/guide_file.h"
#include "boxdata/guide_texts.h"

namespace tivolo::boxdata {
namespace {

constexpr uint32_t kMagic = 0x98765432;
constexpr size_t kVersionLength = 13;
constexpr std::string_view kFinished = "ENIGMA_EPG_V";
constexpr std::string_view kUnfinished = "UNFINISHED_V";
constexpr size_t kServiceHeader = 16;  // key (three 32-bit ids) and event count
constexpr size_t kEventHeader = 10;    // event id, start, duration
constexpr size_t kIdLength = 4;
constexpr size_t kPoolEntryHeader = 10;  // id, reference count, tag, length
constexpr uint8_t kShortEvent = 0x4D;
constexpr uint8_t kExtendedEvent = 0x4E;
constexpr int kMjdOf1970 = 40587;
constexpr int64_t kSecondsPerDay = 86400;
// How far ahead descriptors are asked for before they are used (guide_texts.h).
constexpr size_t kDescriptorsAhead = 16;
// Real guides stay far below this; a larger file is not one the reader should hold at all.
constexpr size_t kLargestFile = size_t{512} << 20;

// A BCD byte as the receiver reads it: -1 when a digit is not decimal.
int FromBcd(uint8_t bcd) {
  if ((bcd & 0xF0) >= 0xA0 || (bcd & 0x0F) >= 0x0A) return -1;
  return (bcd >> 4) * 10 + (bcd & 0x0F);
}

// The bytes of the file with the position, every read checked against the bytes left.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
  void SetBigEndian(bool big) { big_endian_ = big; }
  size_t Pos() const { return pos_; }
  size_t Left() const { return bytes_.size() - pos_; }

  void Need(size_t n, const char* what) const {
    if (n > Left()) {
      throw GuideDamaged("The guide file ends early: " + std::string(what) + " at byte " +
                         std::to_string(pos_) + " needs " + std::to_string(n) + " bytes, " +
                         std::to_string(Left()) + " are left.");
    }
  }
  uint8_t U8() { return static_cast<uint8_t>(bytes_[pos_++]); }
  uint32_t U16() {
    const uint32_t a = U8(), b = U8();
    return big_endian_ ? (a << 8 | b) : (b << 8 | a);
  }
  uint32_t U32() {
    const uint32_t a = U16(), b = U16();
    return big_endian_ ? (a << 16 | b) : (b << 16 | a);
  }
  void Skip(size_t n) { pos_ += n; }
  // A count of items that take at least `item_size` bytes each: refused when negative or
  // when the items could not fit in what is left.
  uint32_t Count(size_t item_size, const char* what) {
    Need(4, what);
    const auto count = static_cast<int32_t>(U32());
    if (count < 0 || static_cast<uint64_t>(count) * item_size > Left()) {
      throw GuideDamaged("The guide file is damaged: it claims " + std::to_string(count) + " " +
                         what + " at byte " + std::to_string(pos_ - 4) + ", but " +
                         std::to_string(Left()) + " bytes are left.");
    }
    return static_cast<uint32_t>(count);
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
  bool big_endian_ = false;
};

// A service's part of the file; one service may have several when its key repeats.
struct Block {
  GuideServiceKey key;
  uint32_t first_record = 0;  // index into the event records
  uint32_t records = 0;
};

bool KeyLess(const GuideServiceKey& a, const GuideServiceKey& b) {
  return std::tie(a.service_id, a.transport_stream_id, a.original_network_id) <
         std::tie(b.service_id, b.transport_stream_id, b.original_network_id);
}

// An event's times before its texts are put together.
struct Candidate {
  int64_t begin;
  int32_t duration;
  uint32_t record;
};

// A whole file, mapped rather than copied: the pages the system holds for it are used as
// they are. Our own copy of the guide is only ever replaced by a rename, so the mapped file
// does not change under the reader.
class MappedFile {
 public:
  explicit MappedFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail("open", path, errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
      const int err = errno;
      ::close(fd);
      Fail("read", path, err);
    }
    // A guide larger than any real one is refused by the reader; it is not mapped whole.
    size_ = std::min(static_cast<size_t>(std::max<off_t>(info.st_size, 0)), kLargestFile + 1);
    if (size_ > 0) {
      void* mapped = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
      if (mapped == MAP_FAILED) {
        const int err = errno;
        ::close(fd);
        Fail("read", path, err);
      }
      bytes_ = static_cast<const char*>(mapped);
    }
    ::close(fd);
  }
  ~MappedFile() {
    if (bytes_ != nullptr) ::munmap(const_cast<char*>(bytes_), size_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  std::string_view Bytes() const { return {bytes_ == nullptr ? "" : bytes_, size_}; }

 private:
  [[noreturn]] static void Fail(const char* what, const std::filesystem::path& path, int err) {
    throw FileOpenError("Cannot " + std::string(what) + " file \"" + path.string() + "\". " +
                        std::strerror(err));
  }
  const char* bytes_ = nullptr;
  size_t size_ = 0;
};

}  // namespace

class GuideReader {
 public:
  explicit GuideReader(std::string_view bytes) : bytes_(bytes), cursor_(bytes) {}

  Guide Read(GuideReadReport* report, size_t outside_bytes) {
    if (bytes_.size() > kLargestFile)
      throw GuideFormatError("The guide file is larger than any guide a box writes.");
    ReadVersion();
    WalkServices();
    const size_t pool_start = cursor_.Pos();
    const uint32_t descriptor_count = ScanPool();
    // Decoded, most texts take no more room than their descriptors; the pool grows when not.
    guide_.pool_.reserve(text_bytes_ + 4096);
    DescriptorPool descriptors(bytes_, guide_.big_endian_, descriptor_count, guide_.pool_,
                               2 * bytes_.size() + 65536);
    ReadPool(pool_start, descriptor_count, descriptors);
    EventTexts texts(descriptors);
    BuildEvents(descriptors, texts);
    if (report != nullptr) {
      report->events_in_file = records_.size();
      report->events_dropped = records_.size() - guide_.events_.size();
      report->missing_descriptors = missing_;
      report->peak_allocated_bytes =
          outside_bytes + guide_.AllocatedBytes() + descriptors.AllocatedBytes() +
          texts.AllocatedBytes() + records_.capacity() * sizeof(uint32_t) +
          blocks_.capacity() * sizeof(Block) + candidates_.capacity() * sizeof(Candidate) +
          found_.capacity() * sizeof(found_[0]) + descriptors.ReleasedWhileGrowing();
    }
    return std::move(guide_);
  }

 private:
  void ReadVersion() {
    cursor_.Need(4 + kVersionLength, "the header");
    const auto* p = reinterpret_cast<const uint8_t*>(bytes_.data());
    const uint32_t as_big =
        uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
    const uint32_t as_little =
        uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    if (as_big != kMagic && as_little != kMagic)
      throw GuideFormatError("This is not a guide file of the box (its first bytes are wrong).");
    guide_.big_endian_ = as_big == kMagic;
    cursor_.SetBigEndian(guide_.big_endian_);
    cursor_.Skip(4);
    const std::string_view version = bytes_.substr(4, kVersionLength);
    cursor_.Skip(kVersionLength);
    if (version.substr(0, kUnfinished.size()) == kUnfinished) {
      throw GuideUnfinished(
          "The guide file is incomplete: the box was still writing it (its header says \"" +
          std::string(version) + "\"). It is read again after the box has finished.");
    }
    if (version == std::string(kFinished) + "7") {
      guide_.version_ = 7;
    } else if (version == std::string(kFinished) + "8") {
      guide_.version_ = 8;
    } else {
      throw GuideFormatError("The guide file has a layout we do not know (\"" +
                             std::string(version) + "\").");
    }
  }

  size_t TypeLength() const { return guide_.version_ == 8 ? 2 : 1; }

  // The services and where each event record starts; every length is checked here, so that
  // later passes can read without checks.
  void WalkServices() {
    const size_t smallest_event = TypeLength() + 1 + kEventHeader;
    const uint32_t services = cursor_.Count(kServiceHeader, "services");
    blocks_.reserve(services);
    for (uint32_t s = 0; s < services; ++s) {
      cursor_.Need(kServiceHeader, "a service");
      Block block;
      block.key.service_id = cursor_.U32();
      block.key.original_network_id = cursor_.U32();
      block.key.transport_stream_id = cursor_.U32();
      block.first_record = static_cast<uint32_t>(records_.size());
      block.records = cursor_.Count(smallest_event, "events");
      for (uint32_t e = 0; e < block.records; ++e) {
        records_.push_back(static_cast<uint32_t>(cursor_.Pos()));
        cursor_.Need(TypeLength() + 1, "an event");
        cursor_.Skip(TypeLength());
        const size_t length = cursor_.U8();
        if (length < kEventHeader || (length - kEventHeader) % kIdLength != 0) {
          throw GuideDamaged("The guide file is damaged: an event at byte " +
                             std::to_string(cursor_.Pos() - 1) + " has the length " +
                             std::to_string(length) + ".");
        }
        cursor_.Need(length, "an event");
        cursor_.Skip(length);
      }
      blocks_.push_back(block);
    }
  }

  // The pool's count and every descriptor's length checked, and the bytes of their texts
  // summed, before anything is decoded.
  uint32_t ScanPool() {
    const uint32_t count = cursor_.Count(kPoolEntryHeader, "descriptors");
    for (uint32_t d = 0; d < count; ++d) {
      cursor_.Need(kPoolEntryHeader, "a descriptor");
      cursor_.Skip(8);  // its id and reference count
      const uint8_t tag = cursor_.U8();
      const size_t length = cursor_.U8();
      cursor_.Need(length, "a descriptor");
      cursor_.Skip(length);
      if (tag == kShortEvent || tag == kExtendedEvent) text_bytes_ += length;
    }
    // What may follow (the receiver's private section) is not ours to read.
    return count;
  }

  // Adds the descriptors, looking some ahead so that their places in the table are on their
  // way when they are added.
  void ReadPool(size_t at, uint32_t count, DescriptorPool& descriptors) const {
    auto next = [&](size_t tag) { return tag + 2 + static_cast<uint8_t>(bytes_[tag + 1]) + 8; };
    at += 4 + 8;  // the count, then the first id and reference count: at the first tag
    size_t ahead = at;
    uint32_t ahead_index = 0;
    for (uint32_t d = 0; d < count; ++d) {
      for (; ahead_index < count && ahead_index < d + kDescriptorsAhead; ++ahead_index) {
        descriptors.Prefetch(descriptors.IdAt(static_cast<uint32_t>(ahead)));
        ahead = next(ahead);
      }
      descriptors.Add(static_cast<uint32_t>(at));
      at = next(at);
    }
  }

  Candidate ReadCandidate(uint32_t record) const {
    const auto* eit =
        reinterpret_cast<const uint8_t*>(bytes_.data() + records_[record] + TypeLength() + 1);
    const int mjd = std::max(kMjdOf1970, eit[2] << 8 | eit[3]);
    const int64_t begin = (mjd - kMjdOf1970) * kSecondsPerDay + FromBcd(eit[4]) * 3600 +
                          FromBcd(eit[5]) * 60 + FromBcd(eit[6]);
    const int32_t duration = FromBcd(eit[7]) * 3600 + FromBcd(eit[8]) * 60 + FromBcd(eit[9]);
    return {begin, duration, record};
  }

  // An event's descriptors found in the table, for all events of the service at once and
  // each some ahead, so that their reads are under way together.
  void FindDescriptors(const DescriptorPool& descriptors) {
    ids_.clear();
    for (const Candidate& c : candidates_) {
      const std::string_view ids = IdsOf(c);
      for (size_t at = 0; at + kIdLength <= ids.size(); at += kIdLength)
        ids_.push_back(ReadId(ids, at));
    }
    found_.resize(ids_.size());
    for (size_t i = 0; i < ids_.size(); ++i) {
      if (i + kDescriptorsAhead < ids_.size()) descriptors.Prefetch(ids_[i + kDescriptorsAhead]);
      found_[i] = descriptors.Find(ids_[i]);
      if (found_[i] == nullptr) ++missing_;
    }
  }

  uint32_t ReadId(std::string_view ids, size_t at) const {
    const auto* p = reinterpret_cast<const uint8_t*>(ids.data() + at);
    if (guide_.big_endian_)
      return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
  }

  // A service's events as the receiver keeps them: in time order, the later of two with the
  // same start, none that lasts no time or starts before the one before it ends.
  void KeepInOrder() {
    const auto by_begin = [](const Candidate& a, const Candidate& b) { return a.begin < b.begin; };
    if (!std::is_sorted(candidates_.begin(), candidates_.end(), by_begin))
      std::stable_sort(candidates_.begin(), candidates_.end(), by_begin);
    size_t kept = 0;
    int64_t last_end = INT64_MIN;
    for (size_t i = 0; i < candidates_.size(); ++i) {
      const Candidate& c = candidates_[i];
      if (i + 1 < candidates_.size() && candidates_[i + 1].begin == c.begin) continue;
      if (c.duration <= 0 || c.begin < 0 || c.begin < last_end) continue;
      last_end = c.begin + c.duration;
      candidates_[kept++] = c;
    }
    candidates_.resize(kept);
  }

  void BuildEvents(const DescriptorPool& descriptors, EventTexts& texts) {
    std::stable_sort(blocks_.begin(), blocks_.end(),
                     [](const Block& a, const Block& b) { return KeyLess(a.key, b.key); });
    guide_.events_.reserve(records_.size());
    for (size_t b = 0; b < blocks_.size();) {
      GuideService service;
      service.key = blocks_[b].key;
      service.first_event = static_cast<uint32_t>(guide_.events_.size());
      candidates_.clear();
      for (; b < blocks_.size() && blocks_[b].key == service.key; ++b) {
        for (uint32_t r = 0; r < blocks_[b].records; ++r)
          candidates_.push_back(ReadCandidate(blocks_[b].first_record + r));
      }
      KeepInOrder();
      FindDescriptors(descriptors);
      const auto index = static_cast<uint32_t>(guide_.services_.size());
      size_t first_found = 0;
      for (const Candidate& c : candidates_) {
        const size_t count = IdsOf(c).size() / kIdLength;
        const std::span<const DescriptorPool::Slot* const> found(found_.data() + first_found,
                                                                 count);
        guide_.events_.push_back(MakeEvent(c, index, found, texts));
        first_found += count;
      }
      service.event_count = static_cast<uint32_t>(guide_.events_.size()) - service.first_event;
      guide_.services_.push_back(service);
    }
  }

  // The descriptor ids of an event record.
  std::string_view IdsOf(const Candidate& c) const {
    const size_t at = records_[c.record] + TypeLength();
    const size_t length = static_cast<uint8_t>(bytes_[at]);
    return bytes_.substr(at + 1 + kEventHeader, length - kEventHeader);
  }

  GuideEvent MakeEvent(const Candidate& c, uint32_t service,
                       std::span<const DescriptorPool::Slot* const> found,
                       EventTexts& texts) const {
    const auto* eit =
        reinterpret_cast<const uint8_t*>(bytes_.data() + records_[c.record] + TypeLength() + 1);
    GuideEvent event;
    event.begin = static_cast<uint32_t>(c.begin);
    event.duration = c.duration;
    event.service = service;
    event.event_id = static_cast<uint16_t>(eit[0] << 8 | eit[1]);
    texts.Fill(found, event);
    return event;
  }

  std::string_view bytes_;
  Cursor cursor_;
  Guide guide_;
  std::vector<uint32_t> records_;  // where each event record starts
  std::vector<Block> blocks_;
  std::vector<Candidate> candidates_;
  std::vector<uint32_t> ids_;  // the descriptor ids of one service's events ...
  std::vector<const DescriptorPool::Slot*> found_;  // ... and what they name
  size_t text_bytes_ = 0;
  size_t missing_ = 0;
};

std::span<const GuideEvent> Guide::EventsOf(uint32_t service) const {
  if (service >= services_.size()) return {};
  const GuideService& s = services_[service];
  return std::span<const GuideEvent>(events_).subspan(s.first_event, s.event_count);
}

std::span<const GuideEvent> Guide::EventsFrom(uint32_t service, int64_t now) const {
  const std::span<const GuideEvent> all = EventsOf(service);
  // Ends rise with the starts, as the events of a service do not overlap.
  const auto first = std::partition_point(all.begin(), all.end(),
                                          [now](const GuideEvent& e) { return e.End() <= now; });
  return all.subspan(static_cast<size_t>(first - all.begin()));
}

size_t Guide::AllocatedBytes() const {
  return services_.capacity() * sizeof(GuideService) +
         platform::LargeBlockSize(events_.capacity() * sizeof(GuideEvent)) +
         platform::LargeBlockSize(pool_.capacity());
}

Guide ReadGuide(std::string_view bytes, GuideReadReport* report) {
  return GuideReader(bytes).Read(report, 0);
}

Guide LoadGuide(const std::filesystem::path& path, GuideReadReport* report) {
  const MappedFile file(path);
  return GuideReader(file.Bytes()).Read(report, file.Bytes().size());
}

}  // namespace tivolo::boxdata
