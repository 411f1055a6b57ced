// Where the running program lives: its local copies of the box's files and config.ini sit
// beside it.
#pragma once

#include <stdexcept>
#include <string>

namespace tivolo::platform {

class ExecutablePathError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  virtual const char* TypeName() const { return "ExecutablePathError"; }
};

// Absolute path of the running executable (/proc/self/exe, symbolic links resolved).
std::string ExecutablePath();

// The executable's folder followed by "/". Throws ExecutablePathError when unknown.
std::string ExecutableDir();

}  // namespace tivolo::platform
