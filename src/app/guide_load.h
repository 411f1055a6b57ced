// The programme guide's work off the window's thread: fetch the box's settings and guide
// (GuideFetch), then read the copy into the guide the windows share, with its title search.
// When the fetch cannot be made (the box did not answer at start, the fetch failed or was
// cancelled), the copy an earlier run left is read instead, with the settings fetched with it.
// Without a guide the result still holds the box's margins. The box's series rules come with
// the fetch; a box without them is a note. No windows here.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "boxdata/autotimer_file.h"
#include "platform/clock.h"
#include "transfer/fetch_guide.h"
#include "ui/guide_rows.h"

namespace tivolo::app {

struct GuideLoad {
  transfer::GuideFetchResult fetch;  // what the fetch did; ok false when it was not tried
  bool earlier_copy = false;         // the guide is a copy an earlier run brought
  std::shared_ptr<const ui::GuideState> state;  // always set
  std::string read_error;  // the copy is there but could not be read: the reader's message
  // The box's series rules as this run's fetch brought them; null when the box has none or
  // the fetch did not run (an earlier copy is not taken: the rules may have changed since).
  std::shared_ptr<const boxdata::AutoTimerFile> rules;
  std::string rules_note;  // the log's line about the rules

  // The status bar's text for the rest of the run, such as "Guide of 07-12-26 23:10".
  std::string StatusText() const;
  // The log's line of the outcome.
  std::string LogLine() const;
};

// fetch: the fetch to run first; null to read the earlier copy only. Never throws.
GuideLoad FetchAndReadGuide(transfer::GuideFetch* fetch, const std::filesystem::path& local_dir,
                            const platform::ClockSettings& clock);

}  // namespace tivolo::app
