#pragma once
// Moving the pages of the large arrays (large_memory.hpp) without touching
// their data: into a pool of pages kept between one stage and the next and
// out of it over another array, back to the system, or in from the system
// ahead of their first touch.
//
// The pool: an array a stage is done with hands its whole 2 MiB pages over
// before it is freed, and a large array of the next stage takes them instead
// of having fresh pages cleared by the system on first touch. Moving pages
// changes no data, only where they are mapped; pages taken hold whatever they
// held. A system that does not move pages leaves the pool empty.

#include <cstddef>
#include <cstdint>

#include "sparse/large_memory.hpp"
#include "sparse/one_based.hpp"

namespace quorix {

class TaskPool;

// Moves the whole 2 MiB pages within [memory, memory + bytes) into the pool:
// the range stays mapped and reads as zero afterwards. A system that cannot
// move pages so keeps them where they are.
void move_pages_to_pool(void* memory, std::size_t bytes);

// Moves pages of the pool over the whole 2 MiB pages within [memory, memory +
// bytes) (part of a large array), from its start on, as far as the pool goes.
// Returns the bytes from `memory` to the end of the last page moved (0 when
// none was).
std::size_t move_pool_pages_to(void* memory, std::size_t bytes);

// Gives every page of the pool back to the system.
void return_pool_pages_to_system();

// Frees the array, its whole pages going to the pool.
template <class T>
void return_to_pool(LargeArray<T>& array) {
  if (array.fresh_pages())
    move_pages_to_pool(array.get(), static_cast<std::size_t>(array.size()) * sizeof(T));
  array.reset();
}
template <class T>
void return_to_pool(Table1<T>& table) {
  if (is_large(table.storage_bytes())) move_pages_to_pool(table.data(), table.storage_bytes());
  table.release();
}

// Moves pages of the pool over the elements from .. from + count - 1 of a
// large array: they then hold anything. Returns how many of those elements,
// from `from` on, the moved pages reach (part of the last may lie beyond).
template <class T>
std::int64_t take_from_pool(LargeArray<T>& array, std::int64_t from, std::int64_t count) {
  if (!array.fresh_pages() || count <= 0) return 0;
  const std::size_t reached =
      move_pool_pages_to(array.get() + from, static_cast<std::size_t>(count) * sizeof(T));
  return std::min(count, static_cast<std::int64_t>((reached + sizeof(T) - 1) / sizeof(T)));
}
// Moves pages of the pool over a large table: its entries then hold anything.
template <class T>
void take_from_pool(Table1<T>& table) {
  if (is_large(table.storage_bytes())) move_pool_pages_to(table.data(), table.storage_bytes());
}

// Asks the system to give the whole pages within `bytes` from `memory` their
// memory now, as a write would, without changing what they hold. A system
// that does not know the request leaves the pages to be given on first touch.
void populate_pages(void* memory, std::size_t bytes);
// The same on the threads of `pool`, in pieces of 32 MiB.
void populate_pages(TaskPool& pool, void* memory, std::size_t bytes);

// Gives the whole pages within `bytes` from `memory` back to the system; they
// read as zero when next touched.
void discard_pages(void* memory, std::size_t bytes);

}  // namespace quorix
