#include <algorithm>

#include "boxdata/guide_data.h"
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
constexpr int kMjdOf1970 = 40587;
constexpr int64_t kSecondsPerDay = 86400;
// How far ahead descriptors are asked for before they are used (guide_data.h).
constexpr size_t kDescriptorsAhead = 16;
constexpr size_t kEventsPerBatch = 256;
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

}  // namespace

class GuideReader {
 public:
  // Fills `data`, whose bytes are set.
  explicit GuideReader(GuideData& data) : data_(data), bytes_(data.bytes), cursor_(data.bytes) {}

  Guide Read(std::shared_ptr<GuideData> keep, GuideReadReport* report) {
    if (bytes_.size() > kLargestFile)
      throw GuideFormatError("The guide file is larger than any guide a box writes.");
    ReadVersion();
    WalkServices();
    const size_t pool_start = cursor_.Pos();
    const uint32_t descriptor_count = ScanPool();
    // Decoded, most names take no more room than in the file; the block grows when not.
    data_.titles.reserve(name_bytes_ + 4096);
    TitleWriter titles(data_.titles, 2 * bytes_.size() + 65536);
    data_.descriptors = DescriptorTable(bytes_, data_.big_endian, descriptor_count);
    ReadPool(pool_start, descriptor_count, titles);
    BuildEvents(titles);
    if (report != nullptr) {
      report->events_in_file = records_.size();
      report->events_dropped = records_.size() - data_.events.size();
      report->missing_descriptors = missing_;
      const Guide guide(keep);
      report->peak_allocated_bytes =
          guide.AllocatedBytes() + titles.AllocatedBytes() + titles.ReleasedWhileGrowing() +
          records_.capacity() * sizeof(uint32_t) + blocks_.capacity() * sizeof(Block) +
          candidates_.capacity() * sizeof(Candidate) + ids_.capacity() * sizeof(uint32_t) +
          found_.capacity() * sizeof(found_[0]);
    }
    return Guide(std::move(keep));
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
    data_.big_endian = as_big == kMagic;
    cursor_.SetBigEndian(data_.big_endian);
    cursor_.Skip(4);
    const std::string_view version = bytes_.substr(4, kVersionLength);
    cursor_.Skip(kVersionLength);
    if (version.substr(0, kUnfinished.size()) == kUnfinished) {
      throw GuideUnfinished(
          "The guide file is incomplete: the box was still writing it (its header says \"" +
          std::string(version) + "\"). It is read again after the box has finished.");
    }
    if (version == std::string(kFinished) + "7") {
      data_.version = 7;
    } else if (version == std::string(kFinished) + "8") {
      data_.version = 8;
    } else {
      throw GuideFormatError("The guide file has a layout we do not know (\"" +
                             std::string(version) + "\").");
    }
  }

  size_t TypeLength() const { return data_.version == 8 ? 2 : 1; }

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

  // The pool's count and every descriptor's length checked, and the bytes of the names
  // summed, before anything is decoded.
  uint32_t ScanPool() {
    const uint32_t count = cursor_.Count(kPoolEntryHeader, "descriptors");
    for (uint32_t d = 0; d < count; ++d) {
      cursor_.Need(kPoolEntryHeader, "a descriptor");
      cursor_.Skip(8);  // its id and reference count
      const uint8_t tag = cursor_.U8();
      const size_t length = cursor_.U8();
      cursor_.Need(length, "a descriptor");
      // language (3) and the name's length come first in a short event descriptor
      if (tag == kShortEventTag && length > 3)
        name_bytes_ += static_cast<uint8_t>(bytes_[cursor_.Pos() + 3]);
      cursor_.Skip(length);
    }
    // What may follow (the receiver's private section) is not ours to read.
    return count;
  }

  // Adds the descriptors, looking some ahead so that their places in the table are on their
  // way when they are added.
  void ReadPool(size_t at, uint32_t count, TitleWriter& titles) {
    DescriptorTable& descriptors = data_.descriptors;
    auto next = [&](size_t tag) { return tag + 2 + static_cast<uint8_t>(bytes_[tag + 1]) + 8; };
    at += 4 + 8;  // the count, then the first id and reference count: at the first tag
    size_t ahead = at;
    uint32_t ahead_index = 0;
    for (uint32_t d = 0; d < count; ++d) {
      for (; ahead_index < count && ahead_index < d + kDescriptorsAhead; ++ahead_index) {
        descriptors.Prefetch(descriptors.IdAt(static_cast<uint32_t>(ahead)));
        ahead = next(ahead);
      }
      descriptors.Add(static_cast<uint32_t>(at), titles);
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

  // The descriptors of the kept events [first, last) found in the table, all at once and
  // each some ahead, so that their reads are under way together.
  void FindDescriptors(size_t first, size_t last) {
    const DescriptorTable& descriptors = data_.descriptors;
    ids_.clear();
    for (size_t k = first; k < last; ++k) {
      const std::string_view ids = IdsOf(candidates_[k]);
      for (size_t at = 0; at + kIdLength <= ids.size(); at += kIdLength)
        ids_.push_back(descriptors.ReadId(ids, at));
    }
    found_.resize(ids_.size());
    for (size_t i = 0; i < ids_.size(); ++i) {
      if (i + kDescriptorsAhead < ids_.size()) descriptors.Prefetch(ids_[i + kDescriptorsAhead]);
      found_[i] = descriptors.Find(ids_[i]);
      if (found_[i] == nullptr) ++missing_;
    }
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

  void BuildEvents(TitleWriter& titles) {
    std::stable_sort(blocks_.begin(), blocks_.end(),
                     [](const Block& a, const Block& b) { return KeyLess(a.key, b.key); });
    data_.events.reserve(records_.size());
    for (size_t b = 0; b < blocks_.size();) {
      GuideService service;
      service.key = blocks_[b].key;
      service.first_event = static_cast<uint32_t>(data_.events.size());
      candidates_.clear();
      for (; b < blocks_.size() && blocks_[b].key == service.key; ++b) {
        for (uint32_t r = 0; r < blocks_[b].records; ++r)
          candidates_.push_back(ReadCandidate(blocks_[b].first_record + r));
      }
      KeepInOrder();
      const auto index = static_cast<uint32_t>(data_.services.size());
      // A batch at a time, so that the found descriptors take little room however many
      // events a service has.
      for (size_t first = 0; first < candidates_.size(); first += kEventsPerBatch) {
        const size_t last = std::min(candidates_.size(), first + kEventsPerBatch);
        FindDescriptors(first, last);
        size_t first_found = 0;
        for (size_t k = first; k < last; ++k) {
          const size_t count = IdsOf(candidates_[k]).size() / kIdLength;
          const FoundDescriptors found(found_.data() + first_found, count);
          data_.events.push_back(MakeEvent(candidates_[k], index, found, titles));
          first_found += count;
        }
      }
      service.event_count = static_cast<uint32_t>(data_.events.size()) - service.first_event;
      data_.services.push_back(service);
    }
  }

  // The descriptor ids of an event record.
  std::string_view IdsOf(const Candidate& c) const {
    const size_t at = records_[c.record] + TypeLength();
    const size_t length = static_cast<uint8_t>(bytes_[at]);
    return bytes_.substr(at + 1 + kEventHeader, length - kEventHeader);
  }

  GuideEvent MakeEvent(const Candidate& c, uint32_t service, FoundDescriptors found,
                       TitleWriter& titles) const {
    const auto* eit =
        reinterpret_cast<const uint8_t*>(bytes_.data() + records_[c.record] + TypeLength() + 1);
    GuideEvent event;
    event.begin = static_cast<uint32_t>(c.begin);
    event.duration = c.duration;
    event.service = service;
    event.event_id = static_cast<uint16_t>(eit[0] << 8 | eit[1]);
    event.descriptor_count = static_cast<uint8_t>(found.size());
    event.descriptors = static_cast<uint32_t>(IdsOf(c).data() - bytes_.data());
    event.title = ComposeTitle(found, titles);
    return event;
  }

  GuideData& data_;
  std::string_view bytes_;
  Cursor cursor_;
  std::vector<uint32_t> records_;  // where each event record starts
  std::vector<Block> blocks_;
  std::vector<Candidate> candidates_;
  std::vector<uint32_t> ids_;                        // the descriptor ids of a batch of events ...
  std::vector<const DescriptorTable::Slot*> found_;  // ... and what they name
  size_t name_bytes_ = 0;
  size_t missing_ = 0;
};

Guide ReadGuide(std::string_view bytes, GuideReadReport* report) {
  auto data = std::make_shared<GuideData>();
  data->owned = std::string(bytes);
  data->bytes = data->owned;
  return GuideReader(*data).Read(std::move(data), report);
}

Guide LoadGuide(const std::filesystem::path& path, GuideReadReport* report) {
  auto data = std::make_shared<GuideData>();
  data->mapped = std::make_unique<MappedFile>(path, kLargestFile);
  data->bytes = data->mapped->Bytes();
  return GuideReader(*data).Read(std::move(data), report);
}

}  // namespace tivolo::boxdata
