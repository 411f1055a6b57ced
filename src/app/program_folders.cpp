#include "app/program_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/config.h"

namespace tivolo::app {
namespace {

constexpr mode_t kPrivateFolder = 0700;

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// Creates dir and any missing parents; only the folders created here get the private mode.
void MakeFolders(const std::string& dir) {
  std::string path;
  for (size_t at = 0; at != std::string::npos;) {
    const size_t next = dir.find('/', at + 1);
    path = dir.substr(0, next);
    at = next;
    if (path.empty()) continue;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) throw ProgramFolderError(path + " is not a folder");
      continue;
    }
    if (::mkdir(path.c_str(), kPrivateFolder) != 0 && errno != EEXIST) {
      throw ProgramFolderError("Unable to create folder " + path + ": " + std::strerror(errno));
    }
  }
}

std::string XdgFolder(const FolderEnvironment& env, const char* variable, const char* fallback) {
  const char* set = env.getenv(variable);
  // Relative values are invalid by the XDG rules and are ignored.
  if (set && set[0] == '/') return WithSlash(set) + "tivolo/";
  const char* home = env.getenv("HOME");
  if (!home || home[0] != '/') {
    throw ProgramFolderError(std::string("Neither ") + variable + " nor HOME names a folder");
  }
  return WithSlash(home) + fallback + "/tivolo/";
}

// Folders the system's packages install into. Root may write there, but settings and copies
// of one user's box have no place beside the system's programs.
bool IsSystemFolder(const std::string& dir) {
  static constexpr const char* kSystemRoots[] = {"/usr/", "/bin/",   "/sbin/",
                                                 "/lib/", "/lib64/", "/etc/"};
  const std::string normal = WithSlash(std::filesystem::path(dir).lexically_normal().string());
  for (const char* root : kSystemRoots) {
    if (normal.rfind(root, 0) == 0) return true;
  }
  return false;
}

}  // namespace

FolderEnvironment SystemFolderEnvironment() {
  return {[](const char* name) -> const char* { return std::getenv(name); },
          [](const std::string& dir) { return ::access(dir.c_str(), W_OK) == 0; }};
}

ProgramFolders ChooseProgramFolders(const std::string& exe_dir, const std::string& profile_dir,
                                    const FolderEnvironment& env) {
  if (!profile_dir.empty()) {
    const std::string dir = WithSlash(std::filesystem::absolute(profile_dir).lexically_normal());
    MakeFolders(dir);
    return {ConfigFilePath(dir), dir};
  }
  if (env.writable(exe_dir) && !IsSystemFolder(exe_dir)) return {ConfigFilePath(exe_dir), exe_dir};
  const std::string config_dir = XdgFolder(env, "XDG_CONFIG_HOME", ".config");
  const std::string data_dir = XdgFolder(env, "XDG_DATA_HOME", ".local/share");
  MakeFolders(config_dir);
  MakeFolders(data_dir);
  return {ConfigFilePath(config_dir), data_dir};
}

}  // namespace tivolo::app
