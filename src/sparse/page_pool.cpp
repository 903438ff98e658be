#include "sparse/page_pool.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "parallel/task_pool.hpp"

#ifndef MREMAP_DONTUNMAP
#define MREMAP_DONTUNMAP 4  // Linux 5.7 and later
#endif
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14 and later
#endif

namespace quorix {

namespace {

char* align_up(char* p) {
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  return reinterpret_cast<char*>(round_up(at, kHugePageBytes));
}
char* align_down(char* p) {
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  return reinterpret_cast<char*>(round_down(at, kHugePageBytes));
}

// The pool's pages, in blocks of whole 2 MiB pages each mapped at a 2 MiB
// aligned place of its own; what is left at the end goes back to the system.
struct Pool {
  struct Block {
    char* start;
    std::size_t length;
  };
  ~Pool() { unmap_all(); }
  void unmap_all() {
    std::lock_guard lock(mutex);
    for (const Block& block : blocks) munmap(block.start, block.length);
    blocks.clear();
  }
  std::mutex mutex;
  std::vector<Block> blocks;
};

Pool& page_pool() {
  static Pool pool;
  return pool;
}

// The whole 4 KiB pages within `bytes` from `memory`: [first, end), empty
// when end <= first.
struct PageRange {
  std::uintptr_t first, end;
};
PageRange whole_pages(void* memory, std::size_t bytes) {
  constexpr std::uintptr_t page = 4096;
  const auto start = reinterpret_cast<std::uintptr_t>(memory);
  return {round_up(start, page), round_down(start + bytes, page)};
}

}  // namespace

void move_pages_to_pool(void* memory, std::size_t bytes) {
  if constexpr (!kPagesMove) return;
  char* const first = align_up(static_cast<char*>(memory));
  char* const end = align_down(static_cast<char*>(memory) + bytes);
  if (end <= first) return;
  const auto length = static_cast<std::size_t>(end - first);
  // A place 2 MiB aligned for them, so that huge pages stay huge.
  void* const room = mmap(nullptr, length + kHugePageBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (room == MAP_FAILED) return;
  char* const to = align_up(static_cast<char*>(room));
  // The range keeps its mapping, empty: were it unmapped until its owner
  // frees it, another thread's new mapping could be placed in the gap and
  // then be unmapped with it.
  void* const moved = mremap(first, length, length, MREMAP_MAYMOVE | MREMAP_FIXED | MREMAP_DONTUNMAP, to);
  if (to > room) munmap(room, static_cast<std::size_t>(to - static_cast<char*>(room)));
  char* const room_end = static_cast<char*>(room) + length + kHugePageBytes;
  if (moved == MAP_FAILED) {
    munmap(to, static_cast<std::size_t>(room_end - to));
    return;
  }
  if (room_end > to + length) munmap(to + length, static_cast<std::size_t>(room_end - (to + length)));
  Pool& kept = page_pool();
  std::lock_guard lock(kept.mutex);
  kept.blocks.push_back({to, length});
}

std::size_t move_pool_pages_to(void* memory, std::size_t bytes) {
  if constexpr (!kPagesMove) return 0;
  char* to = align_up(static_cast<char*>(memory));
  char* const end = align_down(static_cast<char*>(memory) + bytes);
  Pool& kept = page_pool();
  std::lock_guard lock(kept.mutex);
  char* reached = static_cast<char*>(memory);
  while (to < end && !kept.blocks.empty()) {
    Pool::Block& block = kept.blocks.back();
    const std::size_t length = std::min(block.length, static_cast<std::size_t>(end - to));
    if (mremap(block.start, length, length, MREMAP_MAYMOVE | MREMAP_FIXED, to) == MAP_FAILED) break;
    to += length;
    reached = to;
    block.start += length;
    block.length -= length;
    if (block.length == 0) kept.blocks.pop_back();
  }
  return static_cast<std::size_t>(reached - static_cast<char*>(memory));
}

void return_pool_pages_to_system() { page_pool().unmap_all(); }

void populate_pages(void* memory, std::size_t bytes) {
  if constexpr (!kPagesMove) return;
  const auto [first, end] = whole_pages(memory, bytes);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}

void populate_pages(TaskPool& pool, void* memory, std::size_t bytes) {
  constexpr std::size_t piece = std::size_t{32} << 20;
  const auto pieces = static_cast<int>((bytes + piece - 1) / piece);
  pool.for_each_unit(pieces, [&](int p) {
    const std::size_t from = static_cast<std::size_t>(p) * piece;
    populate_pages(static_cast<char*>(memory) + from, std::min(piece, bytes - from));
  });
}

void discard_pages(void* memory, std::size_t bytes) {
  const auto [first, end] = whole_pages(memory, bytes);
  if (end <= first) return;
  if constexpr (!kPagesMove) {
    std::memset(reinterpret_cast<void*>(first), 0, end - first);
  } else {
    madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
  }
}

}  // namespace quorix
