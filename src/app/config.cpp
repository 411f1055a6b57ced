#include "app/config.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/profile_file.h"
#include "platform/text.h"

namespace tivolo::app {
namespace {

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsDottedQuad(std::string_view text) {
  int parts = 0;
  size_t i = 0;
  while (true) {
    const size_t start = i;
    int value = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < 4) {
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    const size_t len = i - start;
    if (len == 0 || len > 3 || value > 255 || (len > 1 && text[start] == '0')) return false;
    ++parts;
    if (i == text.size()) return parts == 4;
    if (text[i] != '.' || parts == 4) return false;
    ++i;
  }
}

bool IsHostName(std::string_view text) {
  if (text.empty() || text.size() > 253) return false;
  size_t start = 0;
  while (true) {
    size_t end = text.find('.', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view label = text.substr(start, end - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
      return false;
    }
    for (char c : label) {
      if (!IsLetter(c) && !IsDigit(c) && c != '-') return false;
    }
    if (end == text.size()) return IsLetter(label.front());
    start = end + 1;
  }
}

int32_t ReadInteger(const platform::ProfileFile& file, const char* key, int32_t fallback) {
  int32_t value = fallback;
  ParseConfigInteger(file.ReadString(kConfigSection, key, ""), value);
  return value;
}

// A port silently replaced by the default would reach another service, or none, and the
// fault would show as a box that does not answer.
uint16_t ReadPort(const platform::ProfileFile& file, const char* key, uint16_t fallback) {
  const std::string text = file.ReadString(kConfigSection, key, "");
  if (text.empty()) return fallback;
  int32_t value = 0;
  if (!ParseConfigInteger(text, value) || value < 1 || value > kLastPort) {
    throw ConfigError("The " + std::string(key) + " \"" + text + "\" in " + kConfigFileName +
                      " is not a port number from 1 to " + std::to_string(kLastPort));
  }
  return static_cast<uint16_t>(value);
}

}  // namespace

std::vector<std::string> ParseManualTuners(std::string_view text) {
  std::vector<std::string> types;
  while (!text.empty() && static_cast<int>(types.size()) < kMaxManualTuners) {
    const size_t comma = text.find(',');
    const std::string part = TrimEntry(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    const auto offered =
        std::find_if(std::begin(kManualTunerSystems), std::end(kManualTunerSystems),
                     [&](const char* system) { return part == system; });
    if (offered != std::end(kManualTunerSystems)) types.push_back(part);
  }
  return types;
}

std::string ConfigFilePath(const std::string& program_dir) {
  return program_dir + kConfigFileName;
}

bool ParseConfigInteger(std::string_view text, int32_t& value) {
  bool negative = false;
  std::string_view digits = text;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  int base = 10;
  if (!digits.empty() && digits.front() == '$') {
    base = 16;
    digits.remove_prefix(1);
  } else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  if (digits.empty()) return false;
  int64_t magnitude = 0;
  for (char c : digits) {
    const int d = base == 16 ? platform::HexDigitValue(c) : (IsDigit(c) ? c - '0' : -1);
    if (d < 0) return false;
    magnitude = magnitude * base + d;
    if (magnitude > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  const int64_t result = negative ? -magnitude : magnitude;
  if (result > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(result);
  return true;
}

Settings LoadConfiguration(const std::string& config_file,
                           const std::function<void(const std::string&)>& log) {
  const platform::ProfileFile file(config_file);
  Settings settings;
  settings.ip = file.ReadString(kConfigSection, "Ip", "");
  settings.username = file.ReadString(kConfigSection, "Username", "");
  settings.password = file.ReadString(kConfigSection, "Password", "");
  settings.utc_offset = ReadInteger(file, "UTC_Offset", 0);
  settings.utc_auto = ReadInteger(file, "UTC_Auto", 1) != 0;
  settings.ftp_port = ReadPort(file, "FtpPort", 21);
  settings.telnet_port = ReadPort(file, "TelnetPort", 23);
  settings.box_folder = file.ReadString(kConfigSection, "BoxFolder", settings.box_folder);
  settings.web_port = ReadPort(file, "WebPort", settings.web_port);
  settings.web_https = ReadInteger(file, "WebHttps", 0) != 0;
  settings.apply_live = ReadInteger(file, "ApplyLive", 1) != 0;
  settings.manual_tuners = ParseManualTuners(file.ReadString(kConfigSection, "ManualTuners", ""));
  if ((settings.utc_offset < kOffsetMin || settings.utc_offset > kOffsetMax) && log) {
    log("UTC_Offset " + std::to_string(settings.utc_offset) + " lies outside " +
        std::to_string(kOffsetMin) + " to +" + std::to_string(kOffsetMax) +
        " hours; it is used as it is");
  }
  return settings;
}

transfer::BoxAddress BoxAddressOf(const Settings& settings) {
  transfer::BoxAddress box;
  box.host = settings.ip;
  box.ftp_port = settings.ftp_port;
  box.telnet_port = settings.telnet_port;
  box.user = settings.username;
  box.password = settings.password;
  box.folder = settings.box_folder;
  return box;
}

std::string MainCaption(const Settings& settings) {
  return "Tivolo  " + settings.ip + ":   (v" TIVOLO_VERSION ")";
}

std::string TrimEntry(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return std::string(text);
}

bool IsValidAddress(std::string_view address) {
  return IsDottedQuad(address) || IsHostName(address);
}

SettingsEntries EntriesFrom(const Settings& settings) {
  SettingsEntries entries;
  entries.ip = settings.ip;
  entries.username = settings.username;
  entries.password = settings.password;
  entries.offset = settings.utc_offset;
  entries.automatic = settings.utc_auto;
  entries.web_port = settings.web_port;
  entries.web_https = settings.web_https;
  entries.apply_live = settings.apply_live;
  entries.manual_tuners = settings.manual_tuners;
  return entries;
}

int32_t KeptOffset(int shown, int32_t loaded) {
  return shown == std::clamp<int32_t>(loaded, kOffsetMin, kOffsetMax) ? loaded : shown;
}

void SaveConfiguration(const std::string& config_file, const Settings& settings) {
  const platform::ProfileFile file(config_file);
  file.WriteString(kConfigSection, "Ip", settings.ip);
  file.WriteString(kConfigSection, "Username", settings.username);
  file.WriteString(kConfigSection, "Password", settings.password);
  file.WriteString(kConfigSection, "UTC_Offset", std::to_string(settings.utc_offset));
  file.WriteString(kConfigSection, "UTC_Auto", settings.utc_auto ? "1" : "0");
  file.WriteString(kConfigSection, "WebPort", std::to_string(settings.web_port));
  file.WriteString(kConfigSection, "WebHttps", settings.web_https ? "1" : "0");
  file.WriteString(kConfigSection, "ApplyLive", settings.apply_live ? "1" : "0");
  // Files without a manual set-up stay as they were.
  std::string manual;
  for (const std::string& type : settings.manual_tuners)
    manual += (manual.empty() ? "" : ",") + type;
  if (!manual.empty() || !file.ReadString(kConfigSection, "ManualTuners", "").empty())
    file.WriteString(kConfigSection, "ManualTuners", manual);
}

SaveResult SaveEntries(const SettingsEntries& entries, Settings& settings,
                       const std::string& config_file) {
  const std::string ip = TrimEntry(entries.ip);
  if (!IsValidAddress(ip)) return SaveResult::kInvalidAddress;
  settings.ip = ip;
  settings.username = TrimEntry(entries.username);
  settings.password = TrimEntry(entries.password);
  const double offset = std::trunc(entries.offset);
  settings.utc_offset = std::isfinite(offset) && offset >= std::numeric_limits<int32_t>::min() &&
                                offset <= std::numeric_limits<int32_t>::max()
                            ? static_cast<int32_t>(offset)
                            : 0;
  settings.utc_auto = entries.automatic;
  // The dialog's spin box keeps to the ports' range; nothing else gives entries.
  settings.web_port = static_cast<uint16_t>(std::clamp<int>(entries.web_port, 1, kLastPort));
  settings.web_https = entries.web_https;
  settings.apply_live = entries.apply_live;
  settings.manual_tuners = entries.manual_tuners;
  SaveConfiguration(config_file, settings);
  return SaveResult::kSaved;
}

}  // namespace tivolo::app
