// Fetching the box's programme guide, in the background once the window is shown: the box's
// settings file first (it names the guide file and the recording margins), then the guide
// itself into the program's folder, but only when the box's copy differs in size or time
// from the one fetched before, then the box's series rules (autotimer.xml), when it has them. The
// box writes its guide at a clean shutdown only, so the file's time tells how old the guide is.
//
// A box without a guide is a result, not a failure. Like BoxFetch, Run works on the calling
// thread and Cancel may come from any other. Transfers are binary: the guide is no text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "boxdata/box_settings.h"
#include "platform/clock.h"
#include "transfer/box_fetch.h"

namespace tivolo::transfer {

class FtpJob;

// The names in the program's folder: the box's settings file, the guide's copy, and beside it
// where and of which size and time the copy was made.
inline constexpr const char* kSettingsFileName = "settings";
inline constexpr const char* kGuideCopyName = "epg.dat";
inline constexpr const char* kGuideSourceName = "epg.dat.box";
// The box's series rules, fetched with the guide (the rules' preview needs the guide).
inline constexpr const char* kRulesFileName = "autotimer.xml";

class GuideFetchObserver : public FetchObserver {
 public:
  // While the guide comes in: the bytes received so far and the file's size.
  virtual void Received(int64_t bytes, int64_t total) = 0;
};

// What the box's copy of the guide was when the local copy was made of it.
struct GuideSource {
  std::string remote_path;
  int64_t size = 0;
  int64_t modified = 0;  // seconds since 1970 UTC
  friend bool operator==(const GuideSource&, const GuideSource&) = default;
};

struct GuideFetchResult {
  bool ok = false;          // ran to its end; the box may have no guide
  bool cancelled = false;   // ended by Cancel; ok is false then too
  bool found = false;       // the box has a guide file: `source` tells which
  bool downloaded = false;  // this run brought a new copy; otherwise the copy was current
  GuideSource source;
  std::filesystem::path copy;     // the local copy, when found
  boxdata::BoxSettings settings;  // the box's, or the receiver's defaults without the file
  // The box has series rules: this run brought them to `rules_copy`. A box without them (no
  // rule plugin, or no rule yet) is a note in the log, not a failure.
  bool rules_found = false;
  std::filesystem::path rules_copy;
  std::string error_type;     // when !ok: the error's class name ...
  std::string error_message;  // ... and its message

  // "Guide of 07-12-26 23:10": the time the box wrote its guide, as local time of `clock`;
  // empty unless found.
  std::string AgeText(const platform::ClockSettings& clock) const;
};

class GuideFetch {
 public:
  GuideFetch(BoxAddress box, std::filesystem::path local_dir, GuideFetchObserver& observer);
  ~GuideFetch();
  GuideFetch(const GuideFetch&) = delete;
  GuideFetch& operator=(const GuideFetch&) = delete;

  // Never throws; closes the connection whatever happened.
  GuideFetchResult Run();
  // The settings file alone, without the guide (the command line needs only the tuners'
  // set-up); `found` stays false.
  GuideFetchResult RunSettingsOnly();
  // Any thread: ends a running fetch within a second (the result says cancelled).
  void Cancel();

 private:
  void FetchAll(net::FtpClient& client, GuideFetchResult& result);
  boxdata::BoxSettings FetchSettings(net::FtpClient& client);
  void FetchGuide(net::FtpClient& client, GuideFetchResult& result);
  void FetchRules(net::FtpClient& client, GuideFetchResult& result);
  // The first candidate the box has, with its size and time, or nothing.
  bool FindGuide(net::FtpClient& client, const boxdata::BoxSettings& settings, GuideSource& found);

  BoxAddress box_;
  std::filesystem::path local_dir_;
  GuideFetchObserver& observer_;
  std::unique_ptr<FtpJob> job_;
};

// The source of the local copy as the last fetch wrote it beside the copy; nothing when that
// file is missing or unreadable, or when the copy itself is missing or of another size.
std::optional<GuideSource> ReadGuideSource(const std::filesystem::path& local_dir);

}  // namespace tivolo::transfer
