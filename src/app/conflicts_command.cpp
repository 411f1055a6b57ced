#include "app/conflicts_command.h"

#include <ctime>
#include <filesystem>
#include <vector>

#include "app/config.h"
#include "boxdata/service_list.h"
#include "boxdata/text_lines.h"
#include "boxdata/timer_file.h"
#include "boxdata/transponder_list.h"
#include "plan/tuner_texts.h"
#include "platform/now.h"
#include "platform/time_zone.h"
#include "transfer/box_fetch.h"
#include "transfer/fetch_guide.h"
#include "transfer/tuner_read.h"
#include "transfer/web_route.h"

namespace tivolo::app {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTimerListName = "timers.xml";

// The fetch's lines are the window's log; here only a failure is told, by the result.
class QuietObserver : public transfer::GuideFetchObserver {
 public:
  void Log(const std::string&) override {}
  void Progress(const std::string&, int, int) override {}
  void Received(int64_t, int64_t) override {}
};

// The error texts of the network layer run over two lines; a note keeps to one.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

std::string FileDate(const fs::path& file) {
  std::error_code ec;
  const auto when = fs::last_write_time(file, ec);
  if (ec) return "at an unknown time";
  const std::time_t t = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(
          fs::file_time_type::clock::to_sys(when)));
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", std::localtime(&t));
  return text;
}

// err: what is wrong and what to do, without the final line end.
ConflictsOutput Failure(std::string err) {
  ConflictsOutput out;
  out.exit_code = kCannotCheck;
  out.err = std::move(err) + "\n";
  return out;
}

std::vector<plan::PlanTimer> ReadTimers(const fs::path& file, std::string& note) {
  const boxdata::TimerListFile list = boxdata::ParseTimerList(boxdata::ReadWholeFile(file));
  if (!list.Complete())
    note += "Note: the timer list is damaged or cut off; its readable timers are checked.\n";
  std::vector<plan::PlanTimer> timers;
  timers.reserve(list.timers.size());
  for (const boxdata::TimerElement& element : list.timers)
    timers.push_back(plan::PlanTimerFromValues(boxdata::ExtractTimerValues(element)));
  return timers;
}

boxdata::TransponderList ReadTransponders(const fs::path& local_dir, std::string& note) {
  try {
    return boxdata::ReadTransponders(boxdata::ServiceList::Load(local_dir));
  } catch (const std::exception& e) {
    note += "Note: the service list (lamedb) cannot be read (" + std::string(e.what()) +
            "); transponders are told apart by their references alone.\n";
    return {};
  }
}

enum class BoxReading { kRead, kNotReached, kNoTimerList };

// The box's files, settings file and tuners, as the start-up and the window read them; notes
// what could not be asked. Not reached: the copies stand.
BoxReading ReadFromBox(const Settings& settings, const ConflictsRun& run, ConflictsOutput& out,
                       transfer::TunerRead& tuners) {
  const transfer::BoxAddress box = BoxAddressOf(settings);
  QuietObserver quiet;
  transfer::BoxFetch fetch(box, run.local_dir, quiet, run.bounds);
  const transfer::FetchResult fetched = fetch.Run();
  if (!fetched.ok) {
    out.err += "Note: the box " + box.Label() + " could not be reached (" +
               OneLine(fetched.error_message) + "); the copies kept in " + run.local_dir +
               " are checked instead.\n";
    return BoxReading::kNotReached;
  }
  // The receiver set an unreadable list aside, or never had one: it records nothing, and an
  // earlier copy is not what it holds.
  if (!fetched.Fetched(kTimerListName)) return BoxReading::kNoTimerList;
  const transfer::GuideFetchResult set_up =
      transfer::GuideFetch(box, run.local_dir, quiet).RunSettingsOnly();
  if (!set_up.ok)
    out.err += "Note: the box's settings file could not be fetched (" +
               OneLine(set_up.error_message) +
               "); the copy kept, if any, gives the tuners' set-up.\n";
  const transfer::WebDetection web = transfer::DetectWeb(
      {settings.ip, settings.web_port, settings.web_https, settings.username, settings.password});
  tuners = transfer::ReadBoxTuners(box, web.found ? web.info.about : std::string(), run.local_dir,
                                   run.tuner_bound, {});
  if (!tuners.problem.empty())
    out.err += "Note: the box's tuners could not be read (" + tuners.problem + ")" +
               (tuners.set.Known() ? "; " + tuners.source + " is used" : std::string()) + ".\n";
  return BoxReading::kRead;
}

// What the check lacks, and what gets it, or empty.
std::string MissingInput(const fs::path& timer_list, const transfer::TunerRead& tuners) {
  if (!fs::exists(timer_list))
    return "No copy of the box's timer list in " + timer_list.parent_path().string() +
           ".\nStart tivolo with the same --profile once while the box is on, so that it reads "
           "the box; then run --conflicts again.";
  if (!tuners.set.Known())
    return "The box's tuners are not known, so conflicts cannot be checked.\nRun --conflicts "
           "while the box is on (its web interface or its telnet login tells the tuners), or "
           "start tivolo once then, which keeps them for later.";
  return {};
}

ConflictsOutput Run(const ConflictsRun& run) {
  const fs::path local_dir = run.local_dir;
  if (!fs::exists(run.config_file))
    return Failure("No configuration (" + run.config_file +
                   "): no box has been set up there.\nStart tivolo with the same --profile "
                   "once, set the box up in its configuration and let it read the box; then run "
                   "--conflicts again.");
  const Settings settings = LoadConfiguration(run.config_file);
  ConflictsOutput out;
  transfer::TunerRead tuners;
  if (!run.ask_box) {
    out.err += "Note: another tivolo is using " + run.local_dir +
               "; the copies it read are checked and the box is not asked.\n";
  }
  const BoxReading reading =
      run.ask_box ? ReadFromBox(settings, run, out, tuners) : BoxReading::kNotReached;
  if (reading == BoxReading::kNoTimerList) {
    out.exit_code = kNoConflicts;
    out.err += "Note: the box has no timer list (timers.xml), so it holds no timers to check.\n";
    return out;
  }
  const bool from_copies = reading == BoxReading::kNotReached;
  if (from_copies) {
    tuners = transfer::ReadTunerCopy(local_dir);
    if (!tuners.problem.empty()) out.err += "Note: " + tuners.problem + ".\n";
  }
  const fs::path timer_list = local_dir / kTimerListName;
  if (std::string missing = MissingInput(timer_list, tuners); !missing.empty())
    return Failure(out.err + missing);
  if (from_copies)
    out.err += "Note: the timer list checked was fetched " + FileDate(timer_list) + ".\n";

  std::string problem;
  const platform::ClockSettings clock{.utc_auto = settings.utc_auto,
                                      .utc_offset = settings.utc_offset,
                                      .time_zone = platform::ReadSystemTimeZone(&problem)};
  std::vector<plan::PlanTimer> timers = ReadTimers(timer_list, out.err);
  const plan::ConflictModel model(
      std::move(timers), tuners.set, ReadTransponders(local_dir, out.err), clock,
      run.now != 0 ? run.now : static_cast<int64_t>(platform::NowEpochSeconds()));
  const plan::ConflictReport report = model.Check();
  ConflictsOutput lines = ConflictLines(model, report, clock);
  // CI slots are never known: said beside conflicts only, so that a run that finds none and
  // meets no problem prints nothing (a scheduled job mails whatever is printed).
  const uint32_t unknowns = report.conflicts.empty()
                                ? report.unknowns & ~uint32_t{plan::kUnknownCiSlots}
                                : report.unknowns;
  if (const std::string text = plan::UnknownsText(unknowns); !text.empty())
    out.err += "Note: " + text + ".\n";
  lines.err = out.err;
  return lines;
}

}  // namespace

ConflictsOutput ConflictLines(const plan::ConflictModel& model, const plan::ConflictReport& report,
                              const platform::ClockSettings& clock) {
  ConflictsOutput out;
  for (const plan::Conflict& c : report.conflicts)
    out.out += plan::CommandLineLine(model, c, clock) + "\n";
  out.exit_code = report.conflicts.empty() ? kNoConflicts : kConflictsFound;
  return out;
}

ConflictsOutput RunConflictsCommand(const ConflictsRun& run) {
  try {
    return Run(run);
  } catch (const std::exception& e) {
    return Failure(std::string(e.what()) + "\nNothing was checked.");
  }
}

}  // namespace tivolo::app
