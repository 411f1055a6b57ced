#include "boxdata/box_settings.h"

#include <charconv>

#include "boxdata/text_lines.h"

namespace tivolo::boxdata {
namespace {

constexpr std::string_view kGuideKey = "config.misc.epgcache_filename";
constexpr std::string_view kMarginBeforeKey = "config.recording.margin_before";
constexpr std::string_view kMarginAfterKey = "config.recording.margin_after";

// A margin as the receiver accepts it: a whole number of minutes within its range.
std::optional<int> Margin(std::string_view value) {
  int minutes = 0;
  const char* end = value.data() + value.size();
  const auto [ptr, ec] = std::from_chars(value.data(), end, minutes);
  if (ec != std::errc() || ptr != end || minutes < 0 || minutes > kMaxMarginMinutes)
    return std::nullopt;
  return minutes;
}

}  // namespace

BoxSettings ParseBoxSettings(std::string_view text) {
  BoxSettings settings;
  ForEachLine(WithoutByteOrderMark(text), [&](std::string_view line) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view key = TrimControl(line.substr(0, equals));
    const std::string_view value = TrimControl(line.substr(equals + 1));
    if (key == kGuideKey) {
      if (!value.empty()) settings.guide_file = std::string(value);
    } else if (key == kMarginBeforeKey) {
      settings.margin_before_minutes = Margin(value).value_or(kDefaultMarginBeforeMinutes);
    } else if (key == kMarginAfterKey) {
      settings.margin_after_minutes = Margin(value).value_or(kDefaultMarginAfterMinutes);
    } else if (key.starts_with(kTunerKeyPrefix) && settings.tuner_keys.size() < kMaxTunerKeys) {
      settings.tuner_keys.emplace_back(key.substr(kTunerKeyPrefix.size()), value);
    }
  });
  return settings;
}

BoxSettings LoadBoxSettings(const std::filesystem::path& path) {
  return ParseBoxSettings(ReadWholeFile(path));
}

std::vector<std::string> GuideFileCandidates(const BoxSettings& settings,
                                             std::string_view settings_folder) {
  if (settings.guide_file) return {*settings.guide_file};
  std::string folder(settings_folder);
  if (folder.empty() || folder.back() != '/') folder += '/';
  return {kGuideOnDisk, folder + kGuideFileName};
}

}  // namespace tivolo::boxdata
