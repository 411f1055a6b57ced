#include "platform/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace tivolo::platform {
namespace fs = std::filesystem;
namespace {

// As the kernel's own bound on a chain of links.
constexpr int kMaxLinkHops = 40;

constexpr std::string_view kTempMark = ".tmp-";
constexpr size_t kTempDigits = 10;

int OpenUnique(const fs::path& target, unsigned mode, std::string& path) {
  static std::atomic<unsigned> counter{0};
  std::random_device seed;
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%s%08x%02x", kTempMark.data(),
                  static_cast<unsigned>(seed()), counter.fetch_add(1) & 0xffu);
    path = (folder / ("." + target.filename().string() + suffix)).string();
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void SyncFolder(const fs::path& target) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

fs::path FollowLinks(const fs::path& path) {
  fs::path current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(current, ec))) return current;
    const fs::path next = fs::read_symlink(current, ec);
    if (ec) return current;
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  throw FileReplaceError("Cannot replace " + path.string() + ": " + std::strerror(ELOOP));
}

FileReplacement::FileReplacement(const fs::path& target, unsigned new_file_mode)
    : target_(FollowLinks(target)) {
  struct stat st {};
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) Fail(errno);
  if (exists && !S_ISREG(st.st_mode)) Fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  fd_ = OpenUnique(target_, new_file_mode, temp_);
  if (fd_ < 0) Fail(errno);
  if (exists && ::fchmod(fd_, st.st_mode & 07777) != 0) Fail(errno);
}

FileReplacement::~FileReplacement() {
  Discard();
}

void FileReplacement::Discard() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

void FileReplacement::Fail(int err) {
  Discard();
  throw FileReplaceError("Cannot replace " + target_.string() + ": " + std::strerror(err));
}

void FileReplacement::Write(std::string_view bytes) {
  if (fd_ < 0) Fail(EBADF);
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(n < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<size_t>(n));
    size_ += static_cast<size_t>(n);
  }
}

void FileReplacement::Commit() {
  if (fd_ < 0) Fail(EBADF);
  if (::fsync(fd_) != 0) Fail(errno);
  const int fd = fd_;
  fd_ = -1;
  // A close can report what the sync did not (a network file system's write-back).
  if (::close(fd) != 0 && errno != EINTR) Fail(errno);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) Fail(errno);
  temp_.clear();
  SyncFolder(target_);
}

void ReplaceFile(const fs::path& target, std::string_view bytes, unsigned new_file_mode) {
  FileReplacement replacement(target, new_file_mode);
  replacement.Write(bytes);
  replacement.Commit();
}

int RemoveLeftoverReplacements(const fs::path& folder) {
  int removed = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    const size_t mark = name.rfind(kTempMark);
    if (name.empty() || name[0] != '.' || mark == std::string::npos ||
        name.size() != mark + kTempMark.size() + kTempDigits ||
        name.find_first_not_of("0123456789abcdef", mark + kTempMark.size()) != std::string::npos)
      continue;
    if (fs::remove(entry.path(), ec)) ++removed;
  }
  return removed;
}

}  // namespace tivolo::platform
