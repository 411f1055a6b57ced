#include "boxdata/transponder_list.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <tuple>

#include "platform/text.h"

namespace tivolo::boxdata {
namespace {

bool Hex(std::string_view s, uint32_t& value) {
  if (s.empty() || s.size() > 8) return false;
  uint32_t v = 0;
  for (char c : s) {
    const int d = platform::HexDigitValue(c);
    if (d < 0) return false;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  value = v;
  return true;
}

// "NNNNNNNN:TTTT:OOOO".
bool ReadKey(std::string_view line, Transponder& t) {
  const size_t a = line.find(':');
  if (a == std::string_view::npos) return false;
  const size_t b = line.find(':', a + 1);
  if (b == std::string_view::npos) return false;
  return Hex(line.substr(0, a), t.ns) && Hex(line.substr(a + 1, b - a - 1), t.tsid) &&
         Hex(line.substr(b + 1), t.onid);
}

// The ":"-separated decimal fields after the kind letter; a field that is not a number reads
// as nothing.
std::vector<std::optional<int64_t>> Fields(std::string_view s) {
  std::vector<std::optional<int64_t>> out;
  size_t start = 0;
  while (start <= s.size() && out.size() < 32) {
    size_t end = s.find(':', start);
    if (end == std::string_view::npos) end = s.size();
    const std::string_view f = s.substr(start, end - start);
    int64_t v = 0;
    const auto [ptr, ec] = std::from_chars(f.data(), f.data() + f.size(), v);
    out.push_back(ec == std::errc() && ptr == f.data() + f.size() ? std::optional(v)
                                                                  : std::nullopt);
    start = end + 1;
  }
  return out;
}

int64_t At(const std::vector<std::optional<int64_t>>& f, size_t i, int64_t fallback) {
  return i < f.size() && f[i] ? *f[i] : fallback;
}

bool ReadParameters(std::string_view line, Transponder& t) {
  if (line.size() < 3 || line[1] != ' ') return false;
  const auto f = Fields(line.substr(2));
  const int64_t frequency = At(f, 0, -1);
  if (frequency < 0 || frequency > UINT32_MAX) return false;
  t.frequency = static_cast<uint32_t>(frequency);
  switch (line[0]) {
    case 's': {
      t.kind = TransponderKind::kSatellite;
      t.polarisation = static_cast<int>(std::clamp<int64_t>(At(f, 2, 0), 0, 3));
      int64_t pos = At(f, 4, -1) % 3600;
      if (pos < 0) pos += 3600;
      t.orbital_position = static_cast<int>(pos);
      t.second_generation = At(f, 7, 0) == 1;
      // -1 (no filter) or an absent field: a plain transport stream.
      const int64_t is_id = At(f, 11, -1);
      t.multistream = is_id >= 0 && is_id != 0xFFFFFFFF;
      return true;
    }
    case 'c':
      t.kind = TransponderKind::kCable;
      return true;
    case 't':
      t.kind = TransponderKind::kTerrestrial;
      t.second_generation = At(f, 10, 0) == 1;
      return true;
    default:
      return false;
  }
}

}  // namespace

TransponderList::TransponderList(std::vector<Transponder> transponders)
    : list_(std::move(transponders)) {
  const auto key = [](const Transponder& t) { return std::tuple(t.ns, t.tsid, t.onid); };
  std::stable_sort(list_.begin(), list_.end(),
                   [&](const auto& a, const auto& b) { return key(a) < key(b); });
  // The last of equal keys wins, as the receiver's own reader overwrites.
  std::vector<Transponder> unique;
  unique.reserve(list_.size());
  for (const Transponder& t : list_) {
    if (!unique.empty() && key(unique.back()) == key(t)) {
      unique.back() = t;
    } else {
      unique.push_back(t);
    }
  }
  list_ = std::move(unique);
}

const Transponder* TransponderList::Find(uint32_t ns, uint32_t tsid, uint32_t onid) const {
  const auto key = std::tuple(ns, tsid, onid);
  const auto it = std::lower_bound(list_.begin(), list_.end(), key, [](const auto& t, auto k) {
    return std::tuple(t.ns, t.tsid, t.onid) < k;
  });
  if (it == list_.end() || std::tuple(it->ns, it->tsid, it->onid) != key) return nullptr;
  return &*it;
}

TransponderList ReadTransponders(const ServiceList& list) {
  const auto& lines = list.Lines();
  size_t i = 0;
  while (i < lines.size() && lines[i] != "transponders")
    ++i;
  std::vector<Transponder> found;
  for (++i; i + 1 < lines.size() && lines[i] != "end"; ++i) {
    Transponder t;
    if (!ReadKey(lines[i], t)) continue;
    if (ReadParameters(lines[i + 1], t)) {
      found.push_back(t);
      ++i;
    }
  }
  return TransponderList(std::move(found));
}

std::optional<int> NamespaceOrbitalPosition(uint32_t ns) {
  const uint32_t high = ns >> 16;
  if (high >= 3600) return std::nullopt;
  return static_cast<int>(high);
}

}  // namespace tivolo::boxdata
