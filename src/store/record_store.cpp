#include "store/record_store.h"

#include <cstring>

namespace tivolo::store {

// Block layout: null bits (one per field definition), then the numeric slots as 8-byte
// values, then each text slot as a 4-byte length and its bytes.

void RecordStore::Configure(size_t field_count, size_t num_count, size_t str_count,
                            size_t grow_by) {
  Clear();
  field_count_ = field_count;
  num_count_ = num_count;
  str_count_ = str_count;
  grow_by_ = grow_by > 0 ? grow_by : 1000;
}

void RecordStore::Clear() {
  for (auto& chunk : chunks_) {
    for (size_t i = 0; i < grow_by_; ++i)
      delete[] chunk[i];
  }
  chunks_.clear();
}

void RecordStore::Put(int32_t id, const RecordData& rec) {
  size_t i = static_cast<size_t>(id);
  while (i >= Room())
    chunks_.push_back(std::make_unique<char*[]>(grow_by_));
  size_t size = NullBytes() + num_count_ * 8;
  for (const std::string& s : rec.strs)
    size += 4 + s.size();
  char* block = new char[size]();
  char* p = block;
  for (size_t f = 0; f < field_count_; ++f) {
    if (rec.nulls[f]) p[f / 8] = static_cast<char>(p[f / 8] | (1 << (f % 8)));
  }
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
  delete[] slot;
  slot = block;
}

void RecordStore::Get(int32_t id, RecordData& out) const {
  const char* p = Block(id);
  out.nulls.resize(field_count_);
  for (size_t f = 0; f < field_count_; ++f)
    out.nulls[f] = static_cast<uint8_t>((p[f / 8] >> (f % 8)) & 1);
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
  delete[] slot;
  slot = nullptr;
}

bool RecordStore::IsNull(int32_t id, size_t def) const {
  return (Block(id)[def / 8] >> (def % 8)) & 1;
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
