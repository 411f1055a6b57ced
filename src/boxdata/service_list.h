// The box's service list "lamedb", kept only as its non-empty lines: a service line begins
// with "ssss:nnnnnnnn:tttt:" (service id, namespace, transport stream id, any case) and the
// next line holds the service's name in UTF-8.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tivolo::boxdata {

class ServiceList {
 public:
  ServiceList();
  // Takes the file's bytes; lines are trimmed of codes 0 to 32, empty ones left out.
  explicit ServiceList(std::string content);
  ServiceList(ServiceList&&) noexcept;
  ServiceList& operator=(ServiceList&&) noexcept;
  ~ServiceList();

  // Reads local_dir / "lamedb"; FileOpenError when it cannot be read.
  static ServiceList Load(const std::filesystem::path& local_dir);

  const std::vector<std::string_view>& Lines() const { return lines_; }

  // The raw (UTF-8) line after the last line whose first key.size() characters, in upper
  // case, equal the key; nothing when no line matches or the last match is the final line.
  // The key is a ServiceKey; any other text matches nothing.
  std::optional<std::string_view> NameForKey(std::string_view key) const;
  // The same for the key FormatServiceKey(sid, ns, tsid), without making the text.
  std::optional<std::string_view> NameFor(uint32_t sid, uint32_t ns, uint32_t tsid) const;

 private:
  struct Key {
    uint32_t sid, ns, tsid;
    bool operator==(const Key&) const = default;
  };
  // key -> index of the line after the last matching line (kNoName when there is none), in
  // one flat open-addressing table: one allocation, no nodes.
  struct Slot {
    Key key;
    uint32_t line;  // kEmpty for a free slot
  };
  static constexpr uint32_t kNoName = 0xFFFFFFFEu;
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
  static size_t Hash(const Key& k) {
    // splitmix64's finaliser over the three numbers: every input bit reaches the low bits.
    uint64_t h = (uint64_t{k.sid} << 32 | k.ns) ^ (uint64_t{k.tsid} * 0x9E3779B97F4A7C15ull);
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
    return static_cast<size_t>(h ^ (h >> 31));
  }

  void BuildIndex();
  Slot& SlotFor(const Key& k);
  const Slot* Find(const Key& k) const;

  std::unique_ptr<const std::string> content_;
  std::vector<std::string_view> lines_;
  std::vector<Slot> slots_;  // size a power of two, at most half used
};

// The literal walk over every line: the reference NameForKey is checked and measured against.
std::optional<std::string_view> ScanNameForKey(const std::vector<std::string_view>& lines,
                                               std::string_view key);

}  // namespace tivolo::boxdata
