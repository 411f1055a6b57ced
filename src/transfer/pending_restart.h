// A save that put a new list on the box but did not complete the receiver's restart is
// recorded in the program's folder, so that the next start can say so and offer the restart:
// until the receiver loads the list, any save by the box (a timer ending, a clean shutdown)
// overwrites it with the receiver's old one.
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "transfer/box_address.h"

namespace tivolo::transfer {

struct PendingRestart {
  std::string box;       // BoxAddress::Label() of the box
  std::time_t when = 0;  // when the list was put in place
  std::string list;      // the list put on the box
  // The receiver was restarted, but the box's list could not be read back afterwards: what
  // is left is the check, not the restart.
  bool restarted = false;
};

// Written just before the list is put in place on the box, and again after a restart whose
// check could not be made; removed once the restart is checked, or the user declines it.
void RecordPendingRestart(const std::filesystem::path& local_dir, const PendingRestart& pending);
void ClearPendingRestart(const std::filesystem::path& local_dir);
// Nothing when no restart is pending (or the record cannot be read).
std::optional<PendingRestart> ReadPendingRestart(const std::filesystem::path& local_dir);

}  // namespace tivolo::transfer
