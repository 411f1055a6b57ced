#include "transfer/live_save_record.h"

#include <algorithm>

#include "boxdata/text_lines.h"
#include "platform/safe_file.h"

namespace tivolo::transfer {
namespace {

constexpr const char* kRecordName = "live-save-pending";
constexpr char kSent = '+';
constexpr char kNotSent = '-';

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

std::string Bullets(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines)
    out += "\n- " + line;
  return out;
}

}  // namespace

void RecordLiveSave(const std::filesystem::path& local_dir, const LiveSaveRecord& record) {
  std::string text =
      OneLine(record.box) + "\n" + std::to_string(static_cast<long long>(record.when)) + "\n";
  for (const std::string& call : record.sent)
    text += kSent + OneLine(call) + "\n";
  for (const std::string& call : record.not_sent)
    text += kNotSent + OneLine(call) + "\n";
  platform::ReplaceFile(local_dir / kRecordName, text);
}

void ClearLiveSave(const std::filesystem::path& local_dir) {
  std::error_code ec;
  std::filesystem::remove(local_dir / kRecordName, ec);
}

std::optional<LiveSaveRecord> ReadLiveSave(const std::filesystem::path& local_dir) {
  try {
    const std::string text = boxdata::ReadWholeFile(local_dir / kRecordName);
    const std::vector<std::string_view> lines = boxdata::SplitLines(text);
    if (lines.size() < 2) return std::nullopt;
    LiveSaveRecord record;
    record.box = std::string(lines[0]);
    record.when = static_cast<std::time_t>(std::stoll(std::string(lines[1])));
    for (size_t i = 2; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      const std::string call(lines[i].substr(1));
      (lines[i][0] == kSent ? record.sent : record.not_sent).push_back(call);
    }
    return record;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string InterruptedLiveSaveText(const LiveSaveRecord& record, const std::string& when) {
  std::string text = "A save through the box's web interface on " + when +
                     " did not finish: the program ended or the box stopped answering during it.";
  if (!record.sent.empty())
    text +=
        "\nSent to the box, which may or may not have carried them out (the timers shown "
        "are the box's own):" +
        Bullets(record.sent);
  if (!record.not_sent.empty())
    text += "\nNot sent, so not on the box; make them again if they are still wanted:" +
            Bullets(record.not_sent);
  return text;
}

}  // namespace tivolo::transfer
