// One program per profile folder: two would share "timers.new" and the copies the save merges
// with. The lock file is held for the whole run; one left by a program that died is taken over.
#pragma once

#include <QLockFile>
#include <string>

namespace tivolo::app {

class ProfileLock {
 public:
  // local_dir ends in "/".
  explicit ProfileLock(const std::string& local_dir);

  // Takes the folder for this program; when another running program holds it, says so for
  // the user and takes nothing. Empty when taken.
  std::string Take();

 private:
  std::string local_dir_;
  QLockFile lock_;
};

}  // namespace tivolo::app
