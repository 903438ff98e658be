#pragma once
// Memory for the large arrays of a run (matrix terms, factor storage): taken
// straight from the operating system in whole 2 MiB pages, for which it is
// asked to use transparent huge pages, and given back when freed. Fresh pages
// read as zero; the system clears them on first touch, and huge pages make
// that one fault per 2 MiB instead of one per 4 KiB. Smaller requests go to
// the ordinary allocator.
//
// Under AddressSanitizer every request goes to the ordinary allocator (large
// ones zeroed, as fresh pages would be), so that the sanitizer sees the bounds
// of every array; pages then stay where they are.

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "parallel/task_pool.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define QUORIX_ORDINARY_LARGE_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORIX_ORDINARY_LARGE_MEMORY 1
#endif
#endif

namespace quorix {

#ifdef QUORIX_ORDINARY_LARGE_MEMORY
inline constexpr bool kPagesMove = false;
#else
inline constexpr bool kPagesMove = true;
#endif

inline constexpr std::size_t kLargeAllocationBytes = std::size_t{4} << 20;
inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

inline constexpr std::uintptr_t round_up(std::uintptr_t x, std::uintptr_t step) {
  return (x + step - 1) / step * step;
}
inline constexpr std::uintptr_t round_down(std::uintptr_t x, std::uintptr_t step) { return x / step * step; }
inline constexpr bool is_large(std::size_t bytes) { return bytes >= kLargeAllocationBytes; }

// The whole 4 KiB pages within `bytes` from `memory`: [first, end), empty
// when end <= first.
struct PageRange {
  std::uintptr_t first, end;
};
inline PageRange whole_pages(void* memory, std::size_t bytes) {
  constexpr std::uintptr_t page = 4096;
  const auto start = reinterpret_cast<std::uintptr_t>(memory);
  return {round_up(start, page), round_down(start + bytes, page)};
}

// `bytes` (>= kLargeAllocationBytes) of zeroed memory, 2 MiB aligned.
inline void* allocate_large(std::size_t bytes) {
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
  madvise(reinterpret_cast<void*>(aligned), rounded, MADV_HUGEPAGE);  // a request only
  return reinterpret_cast<void*>(aligned);
}

inline void release_large(void* memory, std::size_t bytes) {
  if constexpr (!kPagesMove) return ::operator delete (memory, std::align_val_t{kHugePageBytes});
  const std::size_t rounded = round_up(bytes, kHugePageBytes);
  munmap(memory, rounded);
}

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14 and later
#endif

// Asks the system to give the whole pages within `bytes` from `memory` their
// memory now, as a write would, without changing what they hold. A system
// that does not know the request leaves the pages to be given on first touch.
inline void populate_pages(void* memory, std::size_t bytes) {
  if constexpr (!kPagesMove) return;
  const auto [first, end] = whole_pages(memory, bytes);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}

// Gives the whole pages within `bytes` from `memory` back to the system; they
// read as zero when next touched.
inline void discard_pages(void* memory, std::size_t bytes) {
  const auto [first, end] = whole_pages(memory, bytes);
  if (end <= first) return;
  if constexpr (!kPagesMove) {
    std::memset(reinterpret_cast<void*>(first), 0, end - first);
  } else {
    madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
  }
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

// Pages already given to the process, kept between one stage and the next:
// an array a stage is done with hands its whole 2 MiB pages over before it is
// freed, and a large array of the next stage takes them instead of having
// fresh pages cleared by the system on first touch. Moving pages changes no
// data, only where they are mapped; pages taken hold whatever they held.
// A system that does not move pages leaves the pool empty.
class PagePool {
 public:
  static PagePool& shared() {
    static PagePool pool;
    return pool;
  }
  ~PagePool() { release_all(); }

  // Moves the whole 2 MiB pages within [memory, memory + bytes) into the
  // pool: that range is no longer mapped, and must be freed (or mapped again)
  // before it is touched.
  void keep(void* memory, std::size_t bytes) {
    if constexpr (!kPagesMove) return;
    char* const first = align_up(static_cast<char*>(memory));
    char* const end = align_down(static_cast<char*>(memory) + bytes);
    if (end <= first) return;
    const auto length = static_cast<std::size_t>(end - first);
    // A place 2 MiB aligned for them, so that huge pages stay huge.
    void* const room = mmap(nullptr, length + kHugePageBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (room == MAP_FAILED) return;
    char* const to = align_up(static_cast<char*>(room));
    void* const moved = mremap(first, length, length, MREMAP_MAYMOVE | MREMAP_FIXED, to);
    if (to > room) munmap(room, static_cast<std::size_t>(to - static_cast<char*>(room)));
    char* const room_end = static_cast<char*>(room) + length + kHugePageBytes;
    if (moved == MAP_FAILED) {
      munmap(to, static_cast<std::size_t>(room_end - to));
      return;
    }
    if (room_end > to + length) munmap(to + length, static_cast<std::size_t>(room_end - (to + length)));
    std::lock_guard lock(mutex_);
    blocks_.push_back({to, length});
  }

  // Moves pages from the pool over the whole 2 MiB pages within [memory,
  // memory + bytes) (part of a large array), from its start on, as far as
  // the pool goes.
  void give(void* memory, std::size_t bytes) {
    if constexpr (!kPagesMove) return;
    char* to = align_up(static_cast<char*>(memory));
    char* const end = align_down(static_cast<char*>(memory) + bytes);
    std::lock_guard lock(mutex_);
    while (to < end && !blocks_.empty()) {
      Block& block = blocks_.back();
      const std::size_t length = std::min(block.length, static_cast<std::size_t>(end - to));
      if (mremap(block.start, length, length, MREMAP_MAYMOVE | MREMAP_FIXED, to) == MAP_FAILED) return;
      to += length;
      block.start += length;
      block.length -= length;
      if (block.length == 0) blocks_.pop_back();
    }
  }

  // Gives every page of the pool back to the system.
  void release_all() {
    std::lock_guard lock(mutex_);
    for (const Block& block : blocks_) munmap(block.start, block.length);
    blocks_.clear();
  }

 private:
  struct Block {
    char* start;
    std::size_t length;
  };
  static char* align_up(char* p) {
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    return reinterpret_cast<char*>(round_up(at, kHugePageBytes));
  }
  static char* align_down(char* p) {
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    return reinterpret_cast<char*>(round_down(at, kHugePageBytes));
  }
  std::mutex mutex_;
  std::vector<Block> blocks_;
};

// A std::allocator that serves large requests from allocate_large. Elements
// made without a value are left uninitialised (Table1 asks for zeros itself).
template <class T>
struct LargeAllocator {
  using value_type = T;
  LargeAllocator() = default;
  template <class U>
  LargeAllocator(const LargeAllocator<U>&) {}
  T* allocate(std::size_t count) {
    if (is_large(count * sizeof(T))) return static_cast<T*>(allocate_large(count * sizeof(T)));
    return std::allocator<T>().allocate(count);
  }
  void deallocate(T* memory, std::size_t count) {
    if (is_large(count * sizeof(T))) return release_large(memory, count * sizeof(T));
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
  bool fresh_pages() const { return is_large(size_ * sizeof(T)); }
  // Takes pages of the shared pool for elements from .. from + count - 1:
  // they then hold anything.
  void take_pool_pages(std::int64_t from, std::int64_t count) {
    if (fresh_pages() && count > 0)
      PagePool::shared().give(data_ + from, static_cast<std::size_t>(count) * sizeof(T));
  }
  // Frees the array, its pages going to the shared pool.
  void reset_to_pool() {
    if (fresh_pages()) PagePool::shared().keep(data_, size_ * sizeof(T));
    reset();
  }
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
