#include "app/guide_load.h"

#include <system_error>

#include "boxdata/box_settings.h"
#include "boxdata/errors.h"
#include "boxdata/guide_file.h"
#include "boxdata/text_lines.h"
#include "platform/error.h"

namespace tivolo::app {
namespace {

namespace fs = std::filesystem;

// The settings the earlier fetch left beside the copy; the receiver's defaults without them.
boxdata::BoxSettings EarlierSettings(const fs::path& local_dir) {
  try {
    return boxdata::LoadBoxSettings(local_dir / transfer::kSettingsFileName);
  } catch (const boxdata::FileOpenError&) {
    return {};
  }
}

// Reads the copy into state; a copy that cannot be read leaves state without a guide.
void ReadCopy(const fs::path& copy, const transfer::GuideSource& source,
              const platform::ClockSettings& clock, ui::GuideState& state,
              std::string& read_error) {
  try {
    state.guide = boxdata::LoadGuide(copy);
    state.search = std::make_shared<const boxdata::GuideSearch>(state.guide);
    state.rule_titles = std::make_shared<const plan::RuleTitles>(state.guide);
  } catch (const platform::Error& e) {
    read_error = e.TypeName() + ": " + e.what();
    state.guide = {};
    state.search.reset();
    state.rule_titles.reset();
    return;
  } catch (const std::exception& e) {
    read_error = e.what();
    state.guide = {};
    state.search.reset();
    state.rule_titles.reset();
    return;
  }
  transfer::GuideFetchResult found;
  found.found = true;
  found.source = source;
  state.age_text = found.AgeText(clock);
  state.written = source.modified;
}

// The rules this run's fetch brought; the reader never throws, a fault is a line of the note.
void ReadRules(const transfer::GuideFetchResult& fetch, GuideLoad& load) {
  if (!fetch.ok) {
    load.rules_note = "The series rules were not read: the guide fetch did not run to its end.";
    return;
  }
  if (!fetch.rules_found) {
    load.rules_note = "The box has no series rules (autotimer.xml).";
    return;
  }
  std::string bytes;
  try {
    bytes = boxdata::ReadWholeFile(fetch.rules_copy);
  } catch (const platform::Error& e) {
    load.rules_note = "The series rules could not be read: " + e.TypeName() + ": " + e.what();
    return;
  }
  auto file = std::make_shared<boxdata::AutoTimerFile>(boxdata::ParseAutoTimerFile(bytes));
  load.rules_note = "The box has " + std::to_string(file->rules.size()) + " series rule" +
                    (file->rules.size() == 1 ? "" : "s") + ".";
  for (const std::string& problem : file->problems)
    load.rules_note += "\n  " + problem;
  load.rules = std::move(file);
}

}  // namespace

GuideLoad FetchAndReadGuide(transfer::GuideFetch* fetch, const fs::path& local_dir,
                            const platform::ClockSettings& clock) {
  GuideLoad load;
  if (fetch) load.fetch = fetch->Run();
  auto state = std::make_shared<ui::GuideState>();
  if (load.fetch.ok) {
    state->settings = load.fetch.settings;
    if (load.fetch.found)
      ReadCopy(load.fetch.copy, load.fetch.source, clock, *state, load.read_error);
  } else if (const std::optional<transfer::GuideSource> source =
                 transfer::ReadGuideSource(local_dir)) {
    load.earlier_copy = true;
    state->settings = EarlierSettings(local_dir);
    ReadCopy(local_dir / transfer::kGuideCopyName, *source, clock, *state, load.read_error);
  } else {
    state->settings = EarlierSettings(local_dir);
  }
  load.state = std::move(state);
  ReadRules(load.fetch, load);
  return load;
}

std::string GuideLoad::StatusText() const {
  if (state && state->HasGuide())
    return state->age_text + (earlier_copy ? " (an earlier copy)" : "");
  if (!read_error.empty()) return "The guide could not be read";
  if (fetch.ok) return "The box has no guide";
  if (fetch.cancelled) return "Guide fetch cancelled";
  return "No guide: the box did not answer";
}

std::string GuideLoad::LogLine() const {
  std::string line;
  if (fetch.cancelled) {
    line = "The guide fetch was cancelled. ";
  } else if (!fetch.ok && !fetch.error_type.empty()) {
    line = "The guide fetch failed: " + fetch.error_type + ": " + fetch.error_message + " ";
  }
  if (!read_error.empty()) return line + "The guide copy could not be read: " + read_error;
  if (state && state->HasGuide()) {
    return line + state->age_text + (earlier_copy ? ", the copy an earlier run brought" : "") +
           ": " + std::to_string(state->guide.Events().size()) + " programmes on " +
           std::to_string(state->guide.Services().size()) + " services.";
  }
  return line + (fetch.ok ? "The box has no guide." : "No guide.");
}

}  // namespace tivolo::app
