#include "platform/large_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>

namespace tivolo::platform {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t RoundUp(size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

size_t LargeBlockSize(size_t bytes) {
  return bytes < kHugePage ? bytes : RoundUp(bytes);
}

void* AllocateLarge(size_t bytes) {
  if (bytes < kHugePage) return ::operator new(bytes == 0 ? 1 : bytes);
  const size_t size = RoundUp(bytes);
  // One huge page more than needed, so that the block can start on a huge page's boundary;
  // the spare ends are given back at once.
  void* mapped =
      ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start) ::munmap(mapped, aligned - start);
  const uintptr_t end = start + size + kHugePage;
  if (end > aligned + size) ::munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
  void* block = reinterpret_cast<void*>(aligned);
  // A system without huge pages refuses; the block then has ordinary pages.
  ::madvise(block, size, MADV_HUGEPAGE);
  return block;
}

void* AllocateLargeZeroed(size_t bytes) {
  void* block = AllocateLarge(bytes);
  // Mapped blocks come zeroed from the system; heap blocks do not.
  if (bytes < kHugePage) std::memset(block, 0, bytes);
  return block;
}

void FreeLarge(void* block, size_t bytes) noexcept {
  if (block == nullptr) return;
  if (bytes < kHugePage) {
    ::operator delete(block);
    return;
  }
  ::munmap(block, RoundUp(bytes));
}

}  // namespace tivolo::platform
