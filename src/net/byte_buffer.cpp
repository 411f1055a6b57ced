#include "net/byte_buffer.h"

#include <algorithm>
#include <cstring>

#include "net/net_error.h"

namespace tivolo::net {

void ByteBuffer::Resize(size_t size) {
  if (start_ > 0) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  bytes_.resize(size);
}

void ByteBuffer::Append(const void* data, size_t count) {
  if (count == 0) return;
  // Compact before growing, so a buffer that is read as fast as it fills stays small.
  if (start_ > 0 && bytes_.size() + count > bytes_.capacity()) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  const char* p = static_cast<const char*>(data);
  bytes_.insert(bytes_.end(), p, p + count);
}

void ByteBuffer::Drop(size_t count) {
  if (count > Size()) throw NotEnoughDataInBuffer();
  if (count == Size()) {
    Clear();
    return;
  }
  start_ += count;
  if (start_ >= Size()) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
}

std::string ByteBuffer::Take(size_t count) {
  if (count > Size()) throw NotEnoughDataInBuffer();
  std::string taken(Data(), count);
  Drop(count);
  return taken;
}

void ByteBuffer::Clear() {
  bytes_.clear();
  start_ = 0;
}

size_t ByteBuffer::Find(std::string_view needle, size_t from) const {
  return View().find(needle, from);
}

}  // namespace tivolo::net
