// A growable byte buffer that drops bytes from its front. Dropping is amortised O(1): the
// remaining bytes move to the start only once the dropped part outweighs them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tivolo::net {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  explicit ByteBuffer(size_t size) : bytes_(size) {}

  size_t Size() const { return bytes_.size() - start_; }
  bool Empty() const { return Size() == 0; }
  char* Data() { return bytes_.data() + start_; }
  const char* Data() const { return bytes_.data() + start_; }
  std::string_view View() const { return {Data(), Size()}; }

  // Sets the size (new bytes are zero); used for scratch buffers.
  void Resize(size_t size);
  void Append(const void* data, size_t count);
  void Append(std::string_view text) { Append(text.data(), text.size()); }
  // Raises NotEnoughDataInBuffer when count exceeds Size().
  void Drop(size_t count);
  // The first count bytes, then dropped; NotEnoughDataInBuffer when fewer are held.
  std::string Take(size_t count);
  void Clear();
  // Position of needle at or after from, or npos.
  size_t Find(std::string_view needle, size_t from = 0) const;

 private:
  std::vector<char> bytes_;
  size_t start_ = 0;
};

}  // namespace tivolo::net
