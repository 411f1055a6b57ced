// Replacing a file so that a crash, a full disk or a failed write leaves the old file or the
// new one, never a mix or a cut: the new content goes to a temporary file beside the target,
// is flushed to the disk, and then renamed over the target; the folder is synced after the
// rename so that the rename itself survives a crash.
//
// The target is the file a symbolic link (or a chain of them) points to; the link stays a
// link. An existing target keeps its permission bits. A new target is created with
// new_file_mode less the process's umask: kOrdinaryFileMode for plain data, kPrivateFileMode
// for files that hold settings such as a password.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace tivolo::platform {

// "Cannot replace <target>: <reason>"; nothing changed at the target.
class FileReplaceError : public Error {
 public:
  using Error::Error;
  std::string TypeName() const override { return "FileReplaceError"; }
};

inline constexpr unsigned kOrdinaryFileMode = 0666;
inline constexpr unsigned kPrivateFileMode = 0600;

// The path a chain of symbolic links ends at (the path itself when it is no link); the end
// need not exist. Throws FileReplaceError for a loop of links.
std::filesystem::path FollowLinks(const std::filesystem::path& path);

// A replacement written piece by piece (a download, say). The temporary file exists from
// construction; Commit() puts it in the target's place. Destroying an uncommitted
// replacement, or any failure, removes the temporary file and leaves the target as it was.
class FileReplacement {
 public:
  explicit FileReplacement(const std::filesystem::path& target,
                           unsigned new_file_mode = kOrdinaryFileMode);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Bytes written so far.
  size_t Size() const { return size_; }

  void Write(std::string_view bytes);
  // Syncs and closes the temporary file, renames it over the target and syncs the folder.
  // A failed folder sync is not reported: the new content is already in place.
  void Commit();

 private:
  [[noreturn]] void Fail(int err);
  void Discard() noexcept;

  std::filesystem::path target_;
  std::string temp_;
  int fd_ = -1;
  size_t size_ = 0;
};

// Removes the temporary files that replacements of a process that was killed left in the
// folder (only names of the form they use); returns how many. Call it only while no other
// process replaces files there.
int RemoveLeftoverReplacements(const std::filesystem::path& folder);

// Replaces target with bytes, as FileReplacement does.
void ReplaceFile(const std::filesystem::path& target, std::string_view bytes,
                 unsigned new_file_mode = kOrdinaryFileMode);

}  // namespace tivolo::platform
