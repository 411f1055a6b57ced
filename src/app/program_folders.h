// Where config.ini, the local copies of the box's files and "timers.new" live: beside the
// executable while its folder is writable and not one the system installs programs into
// (/usr, /bin, ...: root may write there); in a folder named on the command line (--profile);
// otherwise, for an installed program, in the user's configuration and data folders
// ($XDG_CONFIG_HOME/tivolo and $XDG_DATA_HOME/tivolo, by default ~/.config and ~/.local/share).
#pragma once

#include <functional>
#include <string>

#include "platform/error.h"

namespace tivolo::app {

class ProgramFolderError : public platform::Error {
 public:
  using Error::Error;
  std::string TypeName() const override { return "ProgramFolderError"; }
};

struct ProgramFolders {
  std::string config_file;  // the path of config.ini
  std::string local_dir;    // the folder of the copies and "timers.new", with a trailing "/"
};

// What the choice looks at, replaceable in tests.
struct FolderEnvironment {
  std::function<const char*(const char*)> getenv;    // the process environment by default
  std::function<bool(const std::string&)> writable;  // access(W_OK) by default
};
FolderEnvironment SystemFolderEnvironment();

// exe_dir ends in "/". A profile or XDG folder is created with mode 0700 when missing;
// ProgramFolderError when that fails or no home folder is known.
ProgramFolders ChooseProgramFolders(const std::string& exe_dir, const std::string& profile_dir,
                                    const FolderEnvironment& env = SystemFolderEnvironment());

}  // namespace tivolo::app
