// The box's own settings file (/etc/enigma2/settings): one "key=value" per line, holding only
// what differs from the receiver's defaults. We take two things from it: where the receiver
// keeps its programme guide, and the margins it puts around a recording made from the guide;
// and the tuners' set-up ("config.Nims.*"), which the conflict model reads.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tivolo::boxdata {

// The receiver's own defaults when the file does not name them, and the range its settings
// screen offers (a value outside it is ignored by the receiver, which keeps the default).
inline constexpr int kDefaultMarginBeforeMinutes = 3;
inline constexpr int kDefaultMarginAfterMinutes = 5;
inline constexpr int kMaxMarginMinutes = 120;

// Where the guide lies when the settings do not say: the hard disk first, then the settings
// folder. The second is relative to the box's settings folder ("/etc/enigma2" on a box).
inline constexpr const char* kGuideOnDisk = "/media/hdd/epg.dat";
inline constexpr const char* kGuideFileName = "epg.dat";

struct BoxSettings {
  // config.misc.epgcache_filename, when the file names one.
  std::optional<std::string> guide_file;
  // config.recording.margin_before / margin_after, in minutes.
  int margin_before_minutes = kDefaultMarginBeforeMinutes;
  int margin_after_minutes = kDefaultMarginAfterMinutes;
  // Every "config.Nims.<rest>=value" line as (rest, value), in file order; at most
  // kMaxTunerKeys of them (a real file holds a few hundred).
  std::vector<std::pair<std::string, std::string>> tuner_keys;
};

inline constexpr size_t kMaxTunerKeys = 20000;
inline constexpr std::string_view kTunerKeyPrefix = "config.Nims.";

// Reads the settings text. Lines that are not "key=value", unknown keys and unusable values
// are passed over: the file belongs to the receiver and holds hundreds of keys we never use.
BoxSettings ParseBoxSettings(std::string_view text);

// The whole file; FileOpenError when it cannot be read.
BoxSettings LoadBoxSettings(const std::filesystem::path& path);

// The paths to try for the guide, in order: the one the settings name, or else the hard disk
// and then `settings_folder` + "/epg.dat".
std::vector<std::string> GuideFileCandidates(const BoxSettings& settings,
                                             std::string_view settings_folder);

}  // namespace tivolo::boxdata
