#pragma once
// Memory for the large arrays of a run (matrix terms, factor storage): taken
// straight from the operating system in whole 2 MiB pages, for which it is
// asked to use transparent huge pages, and given back when freed. Fresh pages
// read as zero; the system clears them on first touch, and huge pages make
// that one fault per 2 MiB instead of one per 4 KiB. Smaller requests go to
// the ordinary allocator.

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "parallel/task_pool.hpp"

namespace quorix {

inline constexpr std::size_t kLargeAllocationBytes = std::size_t{4} << 20;
inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// `bytes` (>= kLargeAllocationBytes) of zeroed memory, 2 MiB aligned.
inline void* allocate_large(std::size_t bytes) {
  const std::size_t rounded = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
  const std::size_t mapped = rounded + kHugePageBytes;
  void* const raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  // Keep the 2 MiB aligned part, give back the rest.
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
  if (aligned > start) munmap(raw, aligned - start);
  const std::uintptr_t end = aligned + rounded;
  if (start + mapped > end) munmap(reinterpret_cast<void*>(end), start + mapped - end);
  madvise(reinterpret_cast<void*>(aligned), rounded, MADV_HUGEPAGE);  // a request only
  return reinterpret_cast<void*>(aligned);
}

inline void release_large(void* memory, std::size_t bytes) {
  const std::size_t rounded = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
  munmap(memory, rounded);
}

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14 and later
#endif

// Asks the system to give the whole pages within `bytes` from `memory` their
// memory now, as a write would, without changing what they hold. A system
// that does not know the request leaves the pages to be given on first touch.
inline void populate_pages(void* memory, std::size_t bytes) {
  constexpr std::uintptr_t page = 4096;
  const auto start = reinterpret_cast<std::uintptr_t>(memory);
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t end = (start + bytes) / page * page;
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}

// Gives the whole pages within `bytes` from `memory` back to the system; they
// read as zero when next touched.
inline void discard_pages(void* memory, std::size_t bytes) {
  constexpr std::uintptr_t page = 4096;
  const auto start = reinterpret_cast<std::uintptr_t>(memory);
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t end = (start + bytes) / page * page;
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
}

// populate_pages on the threads of `pool`, in pieces of 32 MiB.
inline void populate_pages(TaskPool& pool, void* memory, std::size_t bytes) {
  constexpr std::size_t piece = std::size_t{32} << 20;
  const auto pieces = static_cast<int>((bytes + piece - 1) / piece);
  pool.for_each_unit(pieces, [&](int p) {
    const std::size_t from = static_cast<std::size_t>(p) * piece;
    populate_pages(static_cast<char*>(memory) + from, std::min(piece, bytes - from));
  });
}

// A std::allocator that serves large requests from allocate_large. Elements
// made without a value are left uninitialised (Table1 asks for zeros itself).
template <class T>
struct LargeAllocator {
  using value_type = T;
  LargeAllocator() = default;
  template <class U>
  LargeAllocator(const LargeAllocator<U>&) {}
  T* allocate(std::size_t count) {
    if (count * sizeof(T) >= kLargeAllocationBytes) return static_cast<T*>(allocate_large(count * sizeof(T)));
    return std::allocator<T>().allocate(count);
  }
  void deallocate(T* memory, std::size_t count) {
    if (count * sizeof(T) >= kLargeAllocationBytes) return release_large(memory, count * sizeof(T));
    std::allocator<T>().deallocate(memory, count);
  }
  template <class U>
  void construct(U* at) {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const LargeAllocator<U>&) const {
    return true;
  }
};

// An array of trivially copyable T, not initialised: a large one reads as
// zero until written, a small one holds anything.
template <class T>
class LargeArray {
 public:
  LargeArray() = default;
  explicit LargeArray(std::int64_t count)
      : size_(count > 0 ? static_cast<std::size_t>(count) : 0),
        data_(size_ > 0 ? allocator().allocate(size_) : nullptr) {}
  LargeArray(LargeArray&& other) noexcept : size_(other.size_), data_(other.data_) {
    other.size_ = 0;
    other.data_ = nullptr;
  }
  LargeArray& operator=(LargeArray&& other) noexcept {
    if (this != &other) {
      reset();
      std::swap(size_, other.size_);
      std::swap(data_, other.data_);
    }
    return *this;
  }
  ~LargeArray() { reset(); }
  void reset() {
    if (data_ != nullptr) allocator().deallocate(data_, size_);
    data_ = nullptr;
    size_ = 0;
  }
  // At least `count` elements, straight from the system however few: they
  // read as zero, and go back to the system when freed.
  static LargeArray from_system(std::int64_t count) {
    return LargeArray(std::max<std::int64_t>(count, kLargeAllocationBytes / sizeof(T)));
  }
  // True when the memory came fresh from the system (and so reads as zero).
  bool fresh_pages() const { return size_ * sizeof(T) >= kLargeAllocationBytes; }
  T* get() const { return data_; }
  std::int64_t size() const { return static_cast<std::int64_t>(size_); }
  T& operator[](std::size_t i) const { return data_[i]; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  static LargeAllocator<T> allocator() { return {}; }
  std::size_t size_ = 0;
  T* data_ = nullptr;
};

}  // namespace quorix
