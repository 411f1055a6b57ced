#include "store/record_store.h"

#include <cstring>
#include <memory>

namespace tivolo::store {

// Block layout: a null flag byte per field definition (a byte reads faster than a bit), then the
// numeric slots as 8-byte values, then each text slot as a 4-byte length and its bytes.

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
}

void RecordStore::Put(int32_t id, const RecordData& rec) {
  size_t i = static_cast<size_t>(id);
  while (i >= Room())
    chunks_.push_back(std::make_unique<OwnedBlock[]>(chunk_size_));
  size_t size = NullBytes() + num_count_ * 8;
  for (const std::string& s : rec.strs)
    size += 4 + s.size();
  OwnedBlock block = std::make_unique_for_overwrite<char[]>(size);
  char* p = block.get();
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
  Slot(id) = std::move(block);
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
  Slot(id).reset();
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
