#include "store/record_store.h"

#include <cstring>
#include <memory>

namespace tivolo::store {

// Block layout: a null flag byte per field definition (a byte reads faster than a bit), then the
// numeric slots as 8-byte values, then each text slot as a 4-byte length and its bytes.

namespace {
size_t Aligned(size_t size) {
  return (size + 7) & ~size_t{7};
}
}  // namespace

void RecordStore::Configure(size_t field_count, size_t num_count, size_t str_count,
                            size_t grow_by) {
  Clear();
  field_count_ = field_count;
  num_count_ = num_count;
  str_count_ = str_count;
  if (grow_by == 0) grow_by = 1000;
  chunk_size_ = 1;
  chunk_shift_ = 0;
  while (chunk_size_ < grow_by) {
    chunk_size_ <<= 1;
    ++chunk_shift_;
  }
}

void RecordStore::Clear() {
  chunks_.clear();
  arenas_.clear();
  next_ = nullptr;
  left_ = 0;
  live_bytes_ = dead_bytes_ = 0;
}

size_t RecordStore::BlockSize(const char* block) const {
  const char* p = block + NullBytes() + num_count_ * 8;
  for (size_t s = 0; s < str_count_; ++s) {
    uint32_t len;
    std::memcpy(&len, p, 4);
    p += 4 + len;
  }
  return Aligned(static_cast<size_t>(p - block));
}

char* RecordStore::Allocate(size_t size) {
  size = Aligned(size);
  if (size > kArenaSize / 4) {
    // A large record gets an arena of its own; the current arena stays in use.
    Arena own = std::make_unique_for_overwrite<char[]>(size);
    char* p = own.get();
    arenas_.insert(arenas_.end() - (arenas_.empty() ? 0 : 1), std::move(own));
    return p;
  }
  if (size > left_) {
    arenas_.push_back(std::make_unique_for_overwrite<char[]>(kArenaSize));
    next_ = arenas_.back().get();
    left_ = kArenaSize;
  }
  char* p = next_;
  next_ += size;
  left_ -= size;
  return p;
}

void RecordStore::Put(int32_t id, const RecordData& rec) {
  size_t i = static_cast<size_t>(id);
  while (i >= Room())
    chunks_.push_back(std::make_unique<char*[]>(chunk_size_));
  size_t size = NullBytes() + num_count_ * 8;
  for (const std::string& s : rec.strs)
    size += 4 + s.size();
  char* block = Allocate(size);
  char* p = block;
  for (size_t f = 0; f < field_count_; ++f)
    p[f] = rec.nulls[f] ? 1 : 0;
  p += NullBytes();
  if (num_count_) std::memcpy(p, rec.nums.data(), num_count_ * 8);
  p += num_count_ * 8;
  for (const std::string& s : rec.strs) {
    uint32_t len = static_cast<uint32_t>(s.size());
    std::memcpy(p, &len, 4);
    p += 4;
    if (len) std::memcpy(p, s.data(), len);
    p += len;
  }
  char*& slot = Slot(id);
  if (slot) {
    size_t old = BlockSize(slot);
    live_bytes_ -= old;
    dead_bytes_ += old;
  }
  slot = block;
  live_bytes_ += Aligned(size);
  if (dead_bytes_ > kArenaSize && dead_bytes_ > live_bytes_) Compact();
}

void RecordStore::Get(int32_t id, RecordData& out) const {
  const char* p = Block(id);
  out.nulls.resize(field_count_);
  std::memcpy(out.nulls.data(), p, field_count_);
  p += NullBytes();
  out.nums.resize(num_count_);
  if (num_count_) std::memcpy(out.nums.data(), p, num_count_ * 8);
  p += num_count_ * 8;
  out.strs.resize(str_count_);
  for (size_t s = 0; s < str_count_; ++s) {
    uint32_t len;
    std::memcpy(&len, p, 4);
    p += 4;
    out.strs[s].assign(p, len);
    p += len;
  }
}

void RecordStore::Free(int32_t id) {
  char*& slot = Slot(id);
  if (!slot) return;
  size_t old = BlockSize(slot);
  live_bytes_ -= old;
  dead_bytes_ += old;
  slot = nullptr;
  if (dead_bytes_ > kArenaSize && dead_bytes_ > live_bytes_) Compact();
}

// Copies every live block into fresh arenas, in identifier order, and drops the old ones.
void RecordStore::Compact() {
  std::vector<Arena> old = std::move(arenas_);
  arenas_.clear();
  next_ = nullptr;
  left_ = 0;
  dead_bytes_ = 0;
  for (auto& chunk : chunks_) {
    for (size_t i = 0; i < chunk_size_; ++i) {
      if (!chunk[i]) continue;
      size_t size = BlockSize(chunk[i]);
      char* block = Allocate(size);
      std::memcpy(block, chunk[i], size);
      chunk[i] = block;
    }
  }
}

bool RecordStore::IsNull(int32_t id, size_t def) const {
  return Block(id)[def] != 0;
}

int64_t RecordStore::Num(int32_t id, size_t slot) const {
  int64_t v;
  std::memcpy(&v, Block(id) + NullBytes() + slot * 8, 8);
  return v;
}

std::string_view RecordStore::Str(int32_t id, size_t slot) const {
  const char* p = Block(id) + NullBytes() + num_count_ * 8;
  for (size_t s = 0;; ++s) {
    uint32_t len;
    std::memcpy(&len, p, 4);
    if (s == slot) return std::string_view(p + 4, len);
    p += 4 + len;
  }
}

}  // namespace tivolo::store
