#include "transfer/tuner_read.h"

#include <ctime>

#include "boxdata/box_settings.h"
#include "boxdata/text_lines.h"
#include "plan/nim_sockets.h"
#include "platform/safe_file.h"
#include "transfer/fetch_guide.h"
#include "transfer/receiver_restart.h"

namespace tivolo::transfer {
namespace {

namespace fs = std::filesystem;

bool IsAbout(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string::npos && text[first] == '{';
}

// The sockets of a socket list or an about reply; raises the readers' errors.
std::vector<plan::NimSocket> SocketsOf(const std::string& text) {
  if (IsAbout(text)) return plan::SocketsFromAbout(plan::ParseAboutTuners(text));
  return plan::ParseNimSockets(text);
}

plan::TunerSet WithSetup(const std::vector<plan::NimSocket>& sockets, const fs::path& local_dir) {
  std::error_code ec;
  const fs::path settings = local_dir / kSettingsFileName;
  if (!fs::exists(settings, ec)) return plan::BuildTunerSet(sockets, nullptr);
  const auto setup = plan::ReadTunerSetup(boxdata::LoadBoxSettings(settings).tuner_keys);
  return plan::BuildTunerSet(sockets, setup.empty() ? nullptr : &setup);
}

std::string CopyDate(const fs::path& copy) {
  std::error_code ec;
  const auto when = fs::last_write_time(copy, ec);
  if (ec) return {};
  const std::time_t t = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(
          fs::file_time_type::clock::to_sys(when)));
  char text[32];
  std::strftime(text, sizeof text, "%d-%m-%y %H:%M", std::localtime(&t));
  return text;
}

}  // namespace

TunerRead ReadTunerCopy(const fs::path& local_dir) {
  TunerRead read;
  const fs::path copy = local_dir / kTunerCopyName;
  std::error_code ec;
  if (!fs::exists(copy, ec)) return read;
  try {
    read.set = WithSetup(SocketsOf(boxdata::ReadWholeFile(copy)), local_dir);
    read.source = "the copy of " + CopyDate(copy);
  } catch (const std::exception& e) {
    read.problem = std::string("the copy of the tuners cannot be read: ") + e.what();
  }
  return read;
}

TunerRead ReadBoxTuners(const BoxAddress& box, const std::string& about_json,
                        const fs::path& local_dir, std::chrono::milliseconds bound,
                        const std::function<void(const std::string&)>& log,
                        const TelnetWatch* watch) {
  std::string text = about_json;
  std::string problem;
  if (text.empty()) {
    const TelnetOutcome outcome = RunTelnetCommand(box, kNimSocketsCommand, bound, {}, watch);
    if (outcome.completed)
      text = outcome.output;
    else
      problem = outcome.reason;
  }
  if (!text.empty()) {
    try {
      TunerRead read;
      read.set = WithSetup(SocketsOf(text), local_dir);
      read.source = about_json.empty() ? "the box" : "the box's web interface";
      platform::ReplaceFile(local_dir / kTunerCopyName, text);
      return read;
    } catch (const std::exception& e) {
      problem = std::string("the box's answer cannot be read: ") + e.what();
    }
  }
  if (log) log("Tuners: " + problem);
  TunerRead read = ReadTunerCopy(local_dir);
  if (read.problem.empty()) read.problem = problem;
  return read;
}

}  // namespace tivolo::transfer
