#include "transfer/pending_restart.h"

#include "boxdata/text_lines.h"
#include "platform/safe_file.h"

namespace tivolo::transfer {
namespace {

constexpr const char* kRecordName = "restart-pending";
constexpr const char* kListName = "restart-pending.xml";
constexpr const char* kRestartedLine = "restarted";

}  // namespace

void RecordPendingRestart(const std::filesystem::path& local_dir, const PendingRestart& pending) {
  platform::ReplaceFile(local_dir / kListName, pending.list);
  platform::ReplaceFile(
      local_dir / kRecordName,
      pending.box + "\n" + std::to_string(static_cast<long long>(pending.when)) + "\n" +
          (pending.restarted ? kRestartedLine + std::string("\n") : std::string()));
}

void ClearPendingRestart(const std::filesystem::path& local_dir) {
  std::error_code ec;
  std::filesystem::remove(local_dir / kRecordName, ec);
  std::filesystem::remove(local_dir / kListName, ec);
}

std::optional<PendingRestart> ReadPendingRestart(const std::filesystem::path& local_dir) {
  try {
    const std::string record = boxdata::ReadWholeFile(local_dir / kRecordName);
    const std::vector<std::string_view> lines = boxdata::SplitLines(record);
    if (lines.size() < 2) return std::nullopt;
    PendingRestart pending;
    pending.box = std::string(lines[0]);
    pending.when = static_cast<std::time_t>(std::stoll(std::string(lines[1])));
    pending.restarted = lines.size() > 2 && lines[2] == kRestartedLine;
    pending.list = boxdata::ReadWholeFile(local_dir / kListName);
    return pending;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace tivolo::transfer
