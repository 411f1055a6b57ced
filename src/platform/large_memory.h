// Memory for the few large tables a reader builds (a guide's events and texts, its file's
// bytes, the table of its descriptors). Blocks of 2 MB and more are taken straight from the
// system, aligned and marked for huge pages where the system offers them, so that reading
// them at random spends its time on the data and not on page tables: on a virtual machine
// that halves the time a 20 MB guide takes to read. Smaller blocks come from the heap.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

namespace tivolo::platform {

// What a block of `bytes` really takes.
size_t LargeBlockSize(size_t bytes);
// std::bad_alloc when the system has no memory to give.
void* AllocateLarge(size_t bytes);
void FreeLarge(void* block, size_t bytes) noexcept;

// A block whose bytes are all zero.
void* AllocateLargeZeroed(size_t bytes);

// A fixed number of T, every byte zero to begin with (for types whose zero bytes are a
// valid value): the system's fresh memory is zero already, so nothing is written twice.
template <typename T>
class ZeroedLargeArray {
 public:
  ZeroedLargeArray() = default;
  explicit ZeroedLargeArray(size_t count)
      : items_(static_cast<T*>(AllocateLargeZeroed(count * sizeof(T)))), count_(count) {}
  ~ZeroedLargeArray() { FreeLarge(items_, count_ * sizeof(T)); }
  ZeroedLargeArray(const ZeroedLargeArray&) = delete;
  ZeroedLargeArray& operator=(const ZeroedLargeArray&) = delete;
  ZeroedLargeArray(ZeroedLargeArray&& other) noexcept
      : items_(std::exchange(other.items_, nullptr)), count_(std::exchange(other.count_, 0)) {}
  ZeroedLargeArray& operator=(ZeroedLargeArray&& other) noexcept {
    if (this != &other) {
      FreeLarge(items_, count_ * sizeof(T));
      items_ = std::exchange(other.items_, nullptr);
      count_ = std::exchange(other.count_, 0);
    }
    return *this;
  }

  T& operator[](size_t i) { return items_[i]; }
  const T& operator[](size_t i) const { return items_[i]; }
  size_t size() const { return count_; }
  size_t AllocatedBytes() const { return LargeBlockSize(count_ * sizeof(T)); }

 private:
  T* items_ = nullptr;
  size_t count_ = 0;
};

// For std::vector and std::basic_string.
template <typename T>
struct LargeAllocator {
  using value_type = T;
  LargeAllocator() = default;
  template <typename U>
  LargeAllocator(const LargeAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateLarge(n * sizeof(T)));
  }
  void deallocate(T* block, size_t n) noexcept { FreeLarge(block, n * sizeof(T)); }
  friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

}  // namespace tivolo::platform
