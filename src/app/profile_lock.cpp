#include "app/profile_lock.h"

namespace tivolo::app {

ProfileLock::ProfileLock(const std::string& local_dir)
    : local_dir_(local_dir), lock_(QString::fromStdString(local_dir) + "tivolo.lock") {
  // Held for the whole run, so never stale by its age; a dead owner is still noticed.
  lock_.setStaleLockTime(0);
}

std::string ProfileLock::Take() {
  if (lock_.tryLock(0)) return {};
  qint64 pid = 0;
  QString host, name;
  lock_.getLockInfo(&pid, &host, &name);
  return "Tivolo is already running with the profile folder " + local_dir_ +
         (pid > 0 ? " (process " + std::to_string(pid) + ")" : std::string()) +
         ". Use that window, or start this one with --profile and another folder.";
}

}  // namespace tivolo::app
