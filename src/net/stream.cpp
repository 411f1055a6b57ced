#include "net/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "net/net_error.h"

namespace tivolo::net {

std::string MemoryStream::TakeData() {
  position_ = 0;
  return std::move(data_);
}

void MemoryStream::Seek(int64_t position) {
  if (position < 0) throw StreamError("Invalid stream position.");
  position_ = position;
}

size_t MemoryStream::Read(void* buffer, size_t count) {
  if (position_ >= Size()) return 0;
  size_t n = std::min(count, static_cast<size_t>(Size() - position_));
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

void MemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  size_t pos = static_cast<size_t>(position_);
  if (pos + count > data_.size()) data_.resize(pos + count);
  std::memcpy(data_.data() + pos, buffer, count);
  position_ += static_cast<int64_t>(count);
}

void MemoryStream::SetSize(int64_t size) {
  if (size < 0) throw StreamError("Invalid stream size.");
  data_.resize(static_cast<size_t>(size));
  position_ = std::min(position_, size);
}

FileStream::FileStream(const std::string& path, Mode mode) : path_(path) {
  int flags = mode == Mode::kCreate ? O_RDWR | O_CREAT | O_TRUNC : O_RDONLY;
  do {
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) Fail(mode == Mode::kCreate ? "create" : "open", errno);
}

FileStream::~FileStream() {
  if (fd_ >= 0) ::close(fd_);
}

void FileStream::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) Fail("close", errno);
}

int FileStream::Fd() const {
  if (fd_ < 0) throw StreamError("File " + path_ + " is closed.");
  return fd_;
}

void FileStream::Fail(const char* what, int err) const {
  throw StreamError("Cannot " + std::string(what) + " file " + path_ + ": " + std::strerror(err) +
                    ".");
}

int64_t FileStream::Size() const {
  struct stat st {};
  if (::fstat(Fd(), &st) != 0) Fail("examine", errno);
  return static_cast<int64_t>(st.st_size);
}

void FileStream::Seek(int64_t position) {
  if (position < 0) throw StreamError("Invalid stream position.");
  Fd();
  position_ = position;
}

size_t FileStream::Read(void* buffer, size_t count) {
  for (;;) {
    ssize_t n = ::pread(Fd(), buffer, count, position_);
    if (n >= 0) {
      position_ += n;
      return static_cast<size_t>(n);
    }
    if (errno != EINTR) Fail("read", errno);
  }
}

void FileStream::Write(const void* buffer, size_t count) {
  const char* p = static_cast<const char*>(buffer);
  while (count > 0) {
    ssize_t n = ::pwrite(Fd(), p, count, position_);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("write", errno);
    }
    p += n;
    count -= static_cast<size_t>(n);
    position_ += n;
  }
}

void FileStream::SetSize(int64_t size) {
  if (size < 0) throw StreamError("Invalid stream size.");
  while (::ftruncate(Fd(), size) != 0) {
    if (errno != EINTR) Fail("resize", errno);
  }
  position_ = std::min(position_, size);
}

}  // namespace tivolo::net
