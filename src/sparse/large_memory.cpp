#include "sparse/large_memory.hpp"

#include <sys/mman.h>

#include <cstring>

namespace quorix {

void* allocate_large(std::size_t bytes) {
  if constexpr (!kPagesMove) {
    void* const memory = ::operator new (bytes, std::align_val_t{kHugePageBytes});
    std::memset(memory, 0, bytes);
    return memory;
  }
  const std::size_t rounded = round_up(bytes, kHugePageBytes);
  const std::size_t mapped = rounded + kHugePageBytes;
  void* const raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  // Keep the 2 MiB aligned part, give back the rest.
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = round_up(start, kHugePageBytes);
  if (aligned > start) munmap(raw, aligned - start);
  const std::uintptr_t end = aligned + rounded;
  if (start + mapped > end) munmap(reinterpret_cast<void*>(end), start + mapped - end);
  advise_huge_pages(reinterpret_cast<void*>(aligned), rounded);  // a request only
  return reinterpret_cast<void*>(aligned);
}

void advise_huge_pages(void* memory, std::size_t bytes) {
  if constexpr (!kPagesMove) return;
  const auto start = reinterpret_cast<std::uintptr_t>(memory);
  const std::uintptr_t first = round_up(start, kHugePageBytes),
                       end = round_down(start + bytes, kHugePageBytes);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

void release_large(void* memory, std::size_t bytes) {
  if constexpr (!kPagesMove) return ::operator delete (memory, std::align_val_t{kHugePageBytes});
  const std::size_t rounded = round_up(bytes, kHugePageBytes);
  munmap(memory, rounded);
}

}  // namespace quorix
