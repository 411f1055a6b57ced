// Copies of the box's timer list taken just before a save replaces it, kept in the folder
// "backups" of the program's folder as "timers-YYYYMMDD-HHMMSS.xml" (local time), the newest
// ones only.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace tivolo::transfer {

inline constexpr int kBackupsKept = 20;

// local_dir / "backups".
std::filesystem::path BackupDir(const std::filesystem::path& local_dir);

// "timers-YYYYMMDD-HHMMSS.xml" for the local time of `when`.
std::string BackupName(std::time_t when);

// The backups in the folder (names of the form above only), oldest first.
std::vector<std::filesystem::path> ListBackups(const std::filesystem::path& local_dir);

// Removes all but the newest `keep` backups; other files in the folder are left alone.
// Returns the paths removed. Failures to remove are skipped: a backup too many harms nobody.
std::vector<std::filesystem::path> PruneBackups(const std::filesystem::path& local_dir,
                                                int keep = kBackupsKept);

}  // namespace tivolo::transfer
