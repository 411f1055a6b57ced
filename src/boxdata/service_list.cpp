#include "boxdata/service_list.h"

#include "boxdata/text_lines.h"
#include "platform/text.h"

namespace tivolo::boxdata {
namespace {

// Reads one ":"-terminated field at s[pos] in the form "%0*X" gives it: at least min_width
// digits, no leading zero beyond that width, at most eight digits. Only such a prefix can
// equal, once upper-cased, the corresponding part of a ServiceKey.
bool ReadKeyField(std::string_view s, size_t& pos, size_t min_width, uint32_t& value) {
  uint32_t v = 0;
  size_t digits = 0;
  const size_t start = pos;
  while (pos < s.size()) {
    const int d = platform::HexDigitValue(s[pos]);
    if (d < 0) break;
    if (++digits > 8) return false;
    v = v * 16 + static_cast<uint32_t>(d);
    ++pos;
  }
  if (pos >= s.size() || s[pos] != ':') return false;
  if (digits < min_width) return false;
  if (digits > min_width && s[start] == '0') return false;
  ++pos;
  value = v;
  return true;
}

}  // namespace

ServiceList::ServiceList() : content_(std::make_unique<const std::string>()) {}

ServiceList::ServiceList(std::string content)
    : content_(std::make_unique<const std::string>(std::move(content))) {
  lines_.reserve(content_->size() / 24 + 1);
  ForEachLine(WithoutByteOrderMark(*content_), [this](std::string_view line) {
    const std::string_view trimmed = TrimControl(line);
    if (!trimmed.empty()) lines_.push_back(trimmed);
  });
  BuildIndex();
}

ServiceList::ServiceList(ServiceList&&) noexcept = default;
ServiceList& ServiceList::operator=(ServiceList&&) noexcept = default;
ServiceList::~ServiceList() = default;

ServiceList ServiceList::Load(const std::filesystem::path& local_dir) {
  return ServiceList(ReadWholeFile(local_dir / "lamedb"));
}

ServiceList::Slot& ServiceList::SlotFor(const Key& k) {
  const size_t mask = slots_.size() - 1;
  for (size_t i = Hash(k) & mask;; i = (i + 1) & mask) {
    Slot& s = slots_[i];
    if (s.line == kEmpty || s.key == k) {
      s.key = k;
      return s;
    }
  }
}

const ServiceList::Slot* ServiceList::Find(const Key& k) const {
  if (slots_.empty()) return nullptr;
  const size_t mask = slots_.size() - 1;
  for (size_t i = Hash(k) & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (s.line == kEmpty) return nullptr;
    if (s.key == k) return &s;
  }
}

void ServiceList::BuildIndex() {
  const size_t n = lines_.size();
  // Service lines first, in file order; then a table twice their number.
  std::vector<std::pair<Key, uint32_t>> found;
  found.reserve(n / 4 + 16);
  for (size_t i = 0; i < n; ++i) {
    const std::string_view line = lines_[i];
    size_t pos = 0;
    Key k{};
    if (!ReadKeyField(line, pos, 4, k.sid) || !ReadKeyField(line, pos, 8, k.ns) ||
        !ReadKeyField(line, pos, 4, k.tsid)) {
      continue;
    }
    found.emplace_back(k, (i + 1 < n) ? static_cast<uint32_t>(i + 1) : kNoName);
  }
  size_t size = 16;
  while (size < 2 * found.size())
    size *= 2;
  slots_.assign(size, Slot{Key{}, kEmpty});
  // Later lines overwrite earlier ones: the last matching line wins.
  for (const auto& [k, line] : found)
    SlotFor(k).line = line;
}

std::optional<std::string_view> ServiceList::NameForKey(std::string_view key) const {
  size_t pos = 0;
  Key k{};
  if (!ReadKeyField(key, pos, 4, k.sid) || !ReadKeyField(key, pos, 8, k.ns) ||
      !ReadKeyField(key, pos, 4, k.tsid) || pos != key.size()) {
    return std::nullopt;
  }
  // A key in lower case is not a ServiceKey: the walk compares with upper-cased lines.
  for (char c : key) {
    if (c >= 'a' && c <= 'f') return std::nullopt;
  }
  return NameFor(k.sid, k.ns, k.tsid);
}

std::optional<std::string_view> ServiceList::NameFor(uint32_t sid, uint32_t ns,
                                                     uint32_t tsid) const {
  const Slot* slot = Find(Key{sid, ns, tsid});
  if (!slot || slot->line == kNoName) return std::nullopt;
  return lines_[slot->line];
}

std::optional<std::string_view> ScanNameForKey(const std::vector<std::string_view>& lines,
                                               std::string_view key) {
  const size_t n = key.size();
  size_t last = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.size() < n) continue;
    bool equal = true;
    for (size_t j = 0; j < n; ++j) {
      if (AsciiUpper(line[j]) != key[j]) {
        equal = false;
        break;
      }
    }
    if (equal) last = i;
  }
  if (last + 1 >= lines.size()) return std::nullopt;
  return lines[last + 1];
}

}  // namespace tivolo::boxdata
