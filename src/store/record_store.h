// Internal: the stored records of a table, one compact byte block per record slot, held in
// chunks of GrowBy slots so that growing never moves the records already stored. A record is
// read by decoding its block into a RecordData; one block per record keeps a scan in index
// order to about one cache miss per record.
#pragma once

#include <cstdint>
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
  ~RecordStore() { Clear(); }

  // Shapes the blocks: field definitions, numeric and text slots.
  void Configure(size_t field_count, size_t num_count, size_t str_count, size_t grow_by);
  void Clear();  // frees every slot and the room they took

  size_t Room() const { return chunks_.size() * grow_by_; }
  void Put(int32_t id, const RecordData& rec);  // grows the room in GrowBy steps when needed
  void Get(int32_t id, RecordData& out) const;
  void Free(int32_t id);
  // Hints for a scan: bring a slot, or the block a slot points to, towards the cache.
  void PrefetchSlot(int32_t id) const { __builtin_prefetch(&Slot(id)); }
  void PrefetchBlock(int32_t id) const { __builtin_prefetch(Slot(id)); }

  bool IsNull(int32_t id, size_t def) const;
  int64_t Num(int32_t id, size_t slot) const;
  std::string_view Str(int32_t id, size_t slot) const;

 private:
  char*& Slot(int32_t id) const {
    size_t i = static_cast<size_t>(id);
    return chunks_[i / grow_by_][i % grow_by_];
  }
  const char* Block(int32_t id) const { return Slot(id); }
  size_t NullBytes() const { return (field_count_ + 7) / 8; }

  size_t field_count_ = 0, num_count_ = 0, str_count_ = 0;
  size_t grow_by_ = 1000;
  // Slots hold owned blocks (new[]), null when free; 8 bytes a slot keeps them in cache.
  std::vector<std::unique_ptr<char*[]>> chunks_;
};

}  // namespace tivolo::store
