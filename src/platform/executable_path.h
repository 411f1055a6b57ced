// Where the running program lives: its local copies of the box's files and config.ini sit
// beside it.
#pragma once

#include <string>
#include "platform/error.h"

namespace tivolo::platform {

class ExecutablePathError : public Error {
 public:
  using Error::Error;
  std::string TypeName() const override { return "ExecutablePathError"; }
};

// Absolute path of the running executable (/proc/self/exe, symbolic links resolved).
std::string ExecutablePath();

// The executable's folder followed by "/". Throws ExecutablePathError when unknown.
std::string ExecutableDir();

}  // namespace tivolo::platform
