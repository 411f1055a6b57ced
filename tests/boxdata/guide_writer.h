// A writer of exact guide files (epg.dat) for the tests, the fuzz corpus and the benchmark:
// either byte order, layout 7 or 8, finished or not, and the places of the counts and lengths
// so that a test can make them lie.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tivolo::boxdata::testing {

// The 5 bytes of a start time: Modified Julian Date (big-endian) and BCD hours, minutes and
// seconds, all UTC; and the 3 BCD bytes of a duration.
inline std::string DvbStart(int64_t utc_seconds) {
  const int64_t days = utc_seconds / 86400;
  const int64_t rest = utc_seconds % 86400;
  const auto mjd = static_cast<uint32_t>(days + 40587);
  auto bcd = [](int64_t v) { return static_cast<char>((v / 10) << 4 | (v % 10)); };
  return {static_cast<char>(mjd >> 8), static_cast<char>(mjd & 0xFF), bcd(rest / 3600),
          bcd(rest / 60 % 60), bcd(rest % 60)};
}

inline std::string DvbDuration(int32_t seconds) {
  auto bcd = [](int64_t v) { return static_cast<char>((v / 10) << 4 | (v % 10)); };
  return {bcd(seconds / 3600), bcd(seconds / 60 % 60), bcd(seconds % 60)};
}

struct WrittenEvent {
  uint16_t event_id = 0;
  int64_t begin = 0;  // UTC seconds
  int32_t duration = 0;
  std::vector<uint32_t> descriptors;
  uint16_t type = 0;
};

struct WrittenService {
  uint32_t service_id = 0;
  uint32_t original_network_id = 0;
  uint32_t transport_stream_id = 0;
  std::vector<WrittenEvent> events;
};

// Where the counts and lengths stood in the last Bytes(), for tests that make them lie.
struct GuideLayout {
  size_t service_count = 0;
  size_t first_event_count = 0;   // the first service's event count
  size_t first_event_length = 0;  // the length byte of the first event
  size_t pool_count = 0;
  size_t first_descriptor_length = 0;
};

class GuideWriter {
 public:
  bool big_endian = false;
  int version = 8;
  bool unfinished = false;
  std::vector<WrittenService> services;

  // A descriptor of the pool (tag, length, data); the same bytes get the same id, as the
  // receiver's ids are checksums of them.
  uint32_t Descriptor(uint8_t tag, std::string_view data) {
    std::string bytes{static_cast<char>(tag), static_cast<char>(data.size())};
    bytes += data;
    const auto [it, added] = ids_.try_emplace(bytes, Hash(bytes));
    if (added) pool_.emplace_back(it->second, bytes);
    return it->second;
  }
  // A short event descriptor with a raw name and text (their table bytes included).
  uint32_t ShortEvent(std::string_view name, std::string_view text,
                      std::string_view language = "eng") {
    std::string data(language);
    data += static_cast<char>(name.size());
    data += name;
    data += static_cast<char>(text.size());
    data += text;
    return Descriptor(0x4D, data);
  }
  // A title as the receiver stores it: UTF-8 behind the table byte 0x15, no text.
  uint32_t Title(std::string_view utf8, std::string_view language = "eng") {
    return ShortEvent("\x15" + std::string(utf8), "", language);
  }
  // A short text as the receiver stores it: no name, the text in its broadcast bytes.
  uint32_t ShortText(std::string_view raw, std::string_view language = "eng") {
    return ShortEvent("", raw, language);
  }
  uint32_t Extended(std::string_view raw, int number = 0, int last = 0,
                    std::string_view language = "eng") {
    std::string data{static_cast<char>(number << 4 | last)};
    data += language;
    data += '\0';  // no items
    data += static_cast<char>(raw.size());
    data += raw;
    return Descriptor(0x4E, data);
  }
  // An id no descriptor of the pool has.
  static constexpr uint32_t kMissing = 0xDEADBEEF;

  std::string Bytes() {
    std::string out;
    U32(out, 0x98765432);
    out += unfinished ? "UNFINISHED_V" : "ENIGMA_EPG_V";
    out += static_cast<char>('0' + version);
    layout.service_count = out.size();
    U32(out, static_cast<uint32_t>(services.size()));
    bool first = true;
    for (const WrittenService& s : services) {
      U32(out, s.service_id);
      U32(out, s.original_network_id);
      U32(out, s.transport_stream_id);
      if (first) layout.first_event_count = out.size();
      U32(out, static_cast<uint32_t>(s.events.size()));
      for (const WrittenEvent& e : s.events) {
        if (version == 8) {
          U16(out, e.type);
        } else {
          out += static_cast<char>(e.type);
        }
        if (first) layout.first_event_length = out.size();
        first = false;
        out += static_cast<char>(10 + 4 * e.descriptors.size());
        out += static_cast<char>(e.event_id >> 8);
        out += static_cast<char>(e.event_id & 0xFF);
        out += DvbStart(e.begin);
        out += DvbDuration(e.duration);
        for (uint32_t id : e.descriptors)
          U32(out, id);
      }
      first = false;
    }
    layout.pool_count = out.size();
    U32(out, static_cast<uint32_t>(pool_.size()));
    // In the order of their ids, as unrelated to the events' order as the receiver's hash
    // table makes it.
    std::vector<std::pair<uint32_t, std::string>> pool = pool_;
    std::stable_sort(pool.begin(), pool.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < pool.size(); ++i) {
      U32(out, pool[i].first);
      U32(out, 1);  // reference count
      if (i == 0) layout.first_descriptor_length = out.size() + 1;
      out += pool[i].second;
    }
    return out;
  }

  GuideLayout layout;

 private:
  static uint32_t Hash(std::string_view bytes) {
    uint32_t h = 2166136261u;
    for (char c : bytes)
      h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return h == kMissing ? h + 1 : h;
  }
  void U16(std::string& out, uint32_t v) const {
    const char hi = static_cast<char>(v >> 8 & 0xFF), lo = static_cast<char>(v & 0xFF);
    out += big_endian ? hi : lo;
    out += big_endian ? lo : hi;
  }
  void U32(std::string& out, uint32_t v) const {
    U16(out, big_endian ? v >> 16 : v & 0xFFFF);
    U16(out, big_endian ? v & 0xFFFF : v >> 16);
  }

  std::map<std::string, uint32_t> ids_;
  std::vector<std::pair<uint32_t, std::string>> pool_;
};

// Puts a 32-bit value in the file's byte order at `at` (a test's lie).
inline void Patch32(std::string& bytes, size_t at, uint32_t value, bool big_endian) {
  for (int i = 0; i < 4; ++i) {
    const int shift = big_endian ? 24 - 8 * i : 8 * i;
    bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> shift & 0xFF);
  }
}

}  // namespace tivolo::boxdata::testing
