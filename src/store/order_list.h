// Internal: a sequence of record identifiers with random access by position and cheap
// insertion anywhere, held in blocks so that a large index does not move everything on each
// insert. Positions are global over all blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tivolo::store {

class OrderList {
 public:
  size_t Size() const { return size_; }
  int32_t At(size_t pos) const;
  void Insert(size_t pos, int32_t id);
  void Erase(size_t pos);
  void PushBack(int32_t id) { Insert(size_, id); }
  void Clear();

 private:
  static constexpr size_t kMaxBlock = 1024;
  size_t BlockOf(size_t pos) const;  // block holding pos (pos < size_)
  void Renumber(size_t from_block);

  std::vector<std::vector<int32_t>> blocks_;
  std::vector<size_t> starts_;     // position of each block's first entry
  mutable size_t last_block_ = 0;  // scans ask for neighbouring positions
  size_t size_ = 0;
};

}  // namespace tivolo::store
