// Internal: the stored records of a table. Each record is one compact byte block of its own;
// the slots that own the blocks come in chunks of GrowBy slots (rounded up to a power of two),
// so growing never moves what is stored.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/record.h"

namespace tivolo::store {

class RecordStore {
 public:
  RecordStore() = default;
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // Shapes the blocks: field definitions, numeric and text slots.
  void Configure(size_t field_count, size_t num_count, size_t str_count, size_t grow_by);
  void Clear();  // frees every slot and the room they took

  size_t Room() const { return chunks_.size() * chunk_size_; }
  void Put(int32_t id, const RecordData& rec);  // grows the room a chunk at a time
  void Get(int32_t id, RecordData& out) const;
  void Free(int32_t id);

  size_t FieldCount() const { return field_count_; }
  // Inline: every index comparison reads them.
  bool IsNull(int32_t id, size_t def) const { return Block(id)[def] != 0; }
  int64_t Num(int32_t id, size_t slot) const {
    int64_t v;
    std::memcpy(&v, Block(id) + NullBytes() + slot * 8, 8);
    return v;
  }
  std::string_view Str(int32_t id, size_t slot) const;

  // Scan hints: bring a slot, or the block a slot points to, towards the cache.
  void PrefetchSlot(int32_t id) const { __builtin_prefetch(&Slot(id)); }
  void PrefetchBlock(int32_t id) const { __builtin_prefetch(Block(id)); }

 private:
  using OwnedBlock = std::unique_ptr<char[]>;
  OwnedBlock& Slot(int32_t id) const {
    size_t i = static_cast<size_t>(id);
    return chunks_[i >> chunk_shift_][i & (chunk_size_ - 1)];
  }
  const char* Block(int32_t id) const { return Slot(id).get(); }
  size_t NullBytes() const { return field_count_; }

  size_t field_count_ = 0, num_count_ = 0, str_count_ = 0;
  // A slot is found by shift and mask, without a division: every record read looks one up.
  size_t chunk_size_ = 1024;
  unsigned chunk_shift_ = 10;
  std::vector<std::unique_ptr<OwnedBlock[]>> chunks_;  // null slot: free
};

}  // namespace tivolo::store
