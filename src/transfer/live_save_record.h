// A save through the box's web interface is recorded in the program's folder before its first
// call and cleared when it ends with the box's list read back, so that a save cut off (the
// program killed, the connection lost) is told at the next start: which calls may have
// reached the box and which were never made. Until then what the box holds is not known
// here, and no other save is to be made on the grounds of an older list.
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tivolo::transfer {

struct LiveSaveRecord {
  std::string box;                    // BoxAddress::Label() of the box
  std::time_t when = 0;               // when the first call was made
  std::vector<std::string> sent;      // calls that may have reached the box: "adding ..."
  std::vector<std::string> not_sent;  // calls never made
};

void RecordLiveSave(const std::filesystem::path& local_dir, const LiveSaveRecord& record);
void ClearLiveSave(const std::filesystem::path& local_dir);
// Nothing when no live save was cut off (or the record cannot be read).
std::optional<LiveSaveRecord> ReadLiveSave(const std::filesystem::path& local_dir);

// What the user is told of it at the next start; when is its time as the user reads it.
std::string InterruptedLiveSaveText(const LiveSaveRecord& record, const std::string& when);

// Why no save is made while such a record stands.
inline constexpr const char* kReloadBeforeSaving =
    "The last save through the box's web interface ended before the box's timer list could be "
    "read back, so what the box holds now is not known here. Use \"Reload from box\" before "
    "saving again.";

}  // namespace tivolo::transfer
