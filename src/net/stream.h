// Byte streams that transfers read from and write into: a seekable position, a size that can
// be cut, reads and writes at the position. Failures raise StreamError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tivolo::net {

class Stream {
 public:
  virtual ~Stream() = default;
  virtual int64_t Size() const = 0;
  virtual int64_t Position() const = 0;
  virtual void Seek(int64_t position) = 0;
  // Up to count bytes from the position; 0 at the end.
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes at the position (growing the stream) and advances it.
  virtual void Write(const void* buffer, size_t count) = 0;
  // Sets the size; the position is kept unless it lies beyond the new end.
  virtual void SetSize(int64_t size) = 0;
  // The file descriptor behind the stream, for moving received bytes into it without passing
  // them through memory (the bytes go at Position(); Seek past them afterwards); -1 if none.
  virtual int Descriptor() const { return -1; }
};

class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::string data) : data_(std::move(data)) {}

  const std::string& Data() const { return data_; }
  std::string TakeData();

  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  int64_t Position() const override { return position_; }
  void Seek(int64_t position) override;
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  void SetSize(int64_t size) override;

 private:
  std::string data_;
  int64_t position_ = 0;
};

// A local file, unbuffered: transfers move large chunks anyway.
class FileStream : public Stream {
 public:
  enum class Mode {
    kCreate,  // create or truncate, read and write
    kRead,    // existing file, read only; others may go on using it
  };
  FileStream(const std::string& path, Mode mode);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  const std::string& Path() const { return path_; }
  // Closes the file now; later calls raise StreamError. Raises when a write-back fails.
  void Close();

  int64_t Size() const override;
  int64_t Position() const override { return position_; }
  void Seek(int64_t position) override;
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  void SetSize(int64_t size) override;
  int Descriptor() const override { return fd_; }

 private:
  [[noreturn]] void Fail(const char* what, int err) const;
  int Fd() const;

  std::string path_;
  int fd_ = -1;
  int64_t position_ = 0;
};

}  // namespace tivolo::net
