#include "platform/executable_path.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace tivolo::platform {

std::string ExecutablePath() {
  std::vector<char> buffer(256);
  while (true) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) {
      throw ExecutablePathError(std::string("Cannot find the program's own path: ") +
                                std::strerror(errno));
    }
    if (static_cast<size_t>(n) < buffer.size()) {
      std::string path(buffer.data(), static_cast<size_t>(n));
      // The kernel marks a replaced executable; its folder is still where it was.
      constexpr std::string_view kDeleted = " (deleted)";
      if (path.size() > kDeleted.size() &&
          path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
        path.resize(path.size() - kDeleted.size());
      }
      return path;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutableDir() {
  std::string path = ExecutablePath();
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    throw ExecutablePathError("Cannot find the program's own folder in " + path);
  }
  path.resize(slash + 1);
  return path;
}

}  // namespace tivolo::platform
