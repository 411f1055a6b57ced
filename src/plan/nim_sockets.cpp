#include "plan/nim_sockets.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <nlohmann/json.hpp>

#include "boxdata/text_lines.h"
#include "plan/errors.h"

namespace tivolo::plan {
namespace {

using boxdata::TrimControl;

// "NIM Socket 3:" gives 3; anything else nothing.
std::optional<int> SocketNumber(std::string_view line) {
  constexpr std::string_view kHead = "NIM Socket ";
  if (!line.starts_with(kHead) || !line.ends_with(':')) return std::nullopt;
  const std::string_view digits = line.substr(kHead.size(), line.size() - kHead.size() - 1);
  int n = 0;
  const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec != std::errc() || ptr != digits.data() + digits.size() || n < 0 || n >= kMaxSockets)
    return std::nullopt;
  return n;
}

// The value after "Key:" with its blanks removed, when the line starts with the key.
std::optional<std::string_view> Value(std::string_view line, std::string_view key) {
  if (!line.starts_with(key) || line.size() <= key.size() || line[key.size()] != ':')
    return std::nullopt;
  return TrimControl(line.substr(key.size() + 1));
}

void ReadSocketLine(std::string_view line, NimSocket& s) {
  if (line == "empty") {
    s.empty = true;
    s.type.clear();
  } else if (const auto type = Value(line, "Type")) {
    s.type = std::string(*type);
    s.empty = false;
  } else if (const auto name = Value(line, "Name")) {
    s.name = std::string(*name);
  } else if (const auto ms = Value(line, "Multistream")) {
    s.multistream = *ms == "yes";
  } else if (line.starts_with("Mode ")) {
    // "Mode 1: DVB-C": the mode's number, then its system.
    const size_t colon = line.find(':');
    int n = -1;
    const std::string_view digits = line.substr(5, colon == std::string_view::npos ? 0 : colon - 5);
    std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (n < 0 || n >= 8) return;
    if (s.modes.size() <= static_cast<size_t>(n)) s.modes.resize(n + 1);
    s.modes[n] = std::string(TrimControl(line.substr(colon + 1)));
  }
}

void Finish(NimSocket& s) {
  s.systems = s.empty ? 0 : SystemsOfType(s.type);
  for (const std::string& m : s.modes)
    s.systems |= SystemsOfType(m);
}

}  // namespace

uint32_t SystemsOfType(std::string_view type) {
  std::string t;
  for (char c : type) {
    if (c != ' ' && c != '-' && c != '_') t += boxdata::AsciiUpper(c);
  }
  if (t.starts_with("DVBS2")) return kSystemDvbS | kSystemDvbS2;  // S2 and S2X
  if (t.starts_with("DVBS")) return kSystemDvbS;
  if (t.starts_with("DVBC")) return kSystemDvbC;
  if (t.starts_with("DVBT2")) return kSystemDvbT | kSystemDvbT2;
  if (t.starts_with("DVBT")) return kSystemDvbT;
  if (t.starts_with("ATSC")) return kSystemAtsc;
  return 0;
}

std::vector<NimSocket> ParseNimSockets(std::string_view text) {
  std::map<int, NimSocket> by_slot;
  NimSocket* current = nullptr;
  boxdata::ForEachLine(boxdata::WithoutByteOrderMark(text), [&](std::string_view raw) {
    const std::string_view line = TrimControl(raw);
    if (const auto n = SocketNumber(line)) {
      NimSocket& s = by_slot[*n];
      s = NimSocket{};
      s.slot = *n;
      current = &s;
    } else if (line.starts_with("NIM Socket")) {
      current = nullptr;  // a slot beyond any box: its lines belong to no tuner we keep
    } else if (current) {
      ReadSocketLine(line, *current);
    }
  });
  if (by_slot.empty()) throw TunerReadError("The box's tuner list names no tuner.");
  std::vector<NimSocket> out;
  for (auto& [slot, s] : by_slot) {
    Finish(s);
    out.push_back(std::move(s));
  }
  return out;
}

std::vector<NimSocket> SocketsFromAbout(const std::vector<AboutTuner>& tuners) {
  std::vector<NimSocket> out;
  for (const AboutTuner& t : tuners) {
    if (out.size() >= static_cast<size_t>(kMaxSockets)) break;
    NimSocket s;
    s.slot = static_cast<int>(out.size());
    // "BCM4506 (internal) (DVB-S2)": the tuner's name, then its system(s) in the last
    // parentheses ("DVB-C/T2" on a multi-type tuner, "N/A" or nothing for an empty slot).
    std::string_view type = t.type;
    while (!type.empty() && type.back() == ' ')
      type.remove_suffix(1);
    const size_t open = type.ends_with(')') ? type.rfind('(') : std::string_view::npos;
    const std::string_view systems =
        open == std::string_view::npos ? type : type.substr(open + 1, type.size() - open - 2);
    s.name =
        std::string(TrimControl(open == std::string_view::npos ? t.name : type.substr(0, open)));
    size_t start = 0;
    while (start <= systems.size()) {
      size_t end = systems.find_first_of("/, ", start);
      if (end == std::string_view::npos) end = systems.size();
      const std::string part(systems.substr(start, end - start));
      uint32_t bits = SystemsOfType(part);
      if (bits == 0 && !part.empty()) bits = SystemsOfType("DVB-" + part);
      if (bits != 0 && s.type.empty()) s.type = bits == SystemsOfType(part) ? part : "DVB-" + part;
      if (bits != 0 && !s.type.empty() && s.type != part && s.type != "DVB-" + part)
        s.modes.push_back(part);
      s.systems |= bits;
      start = end + 1;
    }
    s.empty = s.systems == 0;
    out.push_back(std::move(s));
  }
  return out;
}

std::vector<AboutTuner> ParseAboutTuners(std::string_view json) {
  const auto doc = nlohmann::json::parse(json, nullptr, false);
  if (doc.is_discarded() || !doc.is_object())
    throw TunerReadError("The web interface's description of the box is not readable.");
  const nlohmann::json* info = &doc;
  if (doc.contains("info") && doc["info"].is_object()) info = &doc["info"];
  if (!info->contains("tuners") || !(*info)["tuners"].is_array())
    throw TunerReadError("The web interface's description of the box lists no tuners.");
  std::vector<AboutTuner> out;
  for (const auto& t : (*info)["tuners"]) {
    if (!t.is_object() || out.size() >= static_cast<size_t>(kMaxSockets)) continue;
    AboutTuner a;
    if (t.contains("name") && t["name"].is_string()) a.name = t["name"].get<std::string>();
    if (t.contains("type") && t["type"].is_string()) a.type = t["type"].get<std::string>();
    out.push_back(std::move(a));
  }
  return out;
}

}  // namespace tivolo::plan
