#include "transfer/box_backup.h"

#include <algorithm>
#include <cstdio>

namespace tivolo::transfer {
namespace {

constexpr std::string_view kPrefix = "timers-";
constexpr std::string_view kSuffix = ".xml";
constexpr size_t kStampLength = 15;  // YYYYMMDD-HHMMSS

bool IsBackupName(const std::string& name) {
  if (name.size() != kPrefix.size() + kStampLength + kSuffix.size()) return false;
  if (name.compare(0, kPrefix.size(), kPrefix) != 0) return false;
  if (name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) return false;
  for (size_t i = 0; i < kStampLength; ++i) {
    const char c = name[kPrefix.size() + i];
    if (i == 8 ? c != '-' : (c < '0' || c > '9')) return false;
  }
  return true;
}

}  // namespace

std::filesystem::path BackupDir(const std::filesystem::path& local_dir) {
  return local_dir / "backups";
}

std::string BackupName(std::time_t when) {
  std::tm local{};
  ::localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof text, "timers-%Y%m%d-%H%M%S.xml", &local);
  return text;
}

std::vector<std::filesystem::path> ListBackups(const std::filesystem::path& local_dir) {
  std::vector<std::filesystem::path> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(BackupDir(local_dir), ec)) {
    if (entry.is_regular_file(ec) && IsBackupName(entry.path().filename().string()))
      found.push_back(entry.path());
  }
  // The stamp sorts as the time does.
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<std::filesystem::path> PruneBackups(const std::filesystem::path& local_dir, int keep) {
  std::vector<std::filesystem::path> backups = ListBackups(local_dir);
  std::vector<std::filesystem::path> removed;
  const size_t kept = static_cast<size_t>(std::max(keep, 0));
  for (size_t i = 0; i + kept < backups.size(); ++i) {
    std::error_code ec;
    if (std::filesystem::remove(backups[i], ec)) removed.push_back(backups[i]);
  }
  return removed;
}

}  // namespace tivolo::transfer
