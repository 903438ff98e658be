// Pages handed from one large array to the next through the shared pool:
// the array that takes them is whole and usable over its full length, holds
// what was written into the pages before (they are moved, not copied), and
// an array that finds the pool empty reads as zero. An array whose pages
// went to the pool stays mapped until it is freed: a gap in it could take
// another thread's new mapping, which freeing the array would then unmap.

#include "sparse/page_pool.hpp"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <vector>

#include "sparse/large_memory.hpp"

namespace quorix {
namespace {

TEST(PagePool, PagesGoFromOneArrayToTheNext) {
  constexpr std::int64_t count = std::int64_t{3} << 20;  // 24 MiB of doubles: whole and partial huge pages
  LargeArray<double> first(count);
  for (std::int64_t i = 0; i < count; ++i) first[static_cast<std::size_t>(i)] = static_cast<double>(i);
  return_to_pool(first);

  LargeArray<double> second(count + 1000);
  take_from_pool(second, 100, count);
  // The pages moved keep their data: some word of the second array holds a
  // value written into the first, at the same place within its huge page.
  // (Under AddressSanitizer pages do not move: the array is fresh zeros.)
  std::int64_t kept = 0;
  for (std::int64_t i = 0; i < count + 1000; ++i)
    if (second[static_cast<std::size_t>(i)] != 0.0) ++kept;
  if (kPagesMove) {
    EXPECT_GT(kept, count / 2);
  } else {
    EXPECT_EQ(kept, 0);
  }
  for (std::int64_t i = 0; i < count + 1000; ++i) second[static_cast<std::size_t>(i)] = -1.0;
  for (std::int64_t i = 0; i < count + 1000; ++i) ASSERT_EQ(second[static_cast<std::size_t>(i)], -1.0);

  return_pool_pages_to_system();
  LargeArray<double> third(count);
  take_from_pool(third, 0, count);
  for (std::int64_t i = 0; i < count; ++i) ASSERT_EQ(third[static_cast<std::size_t>(i)], 0.0);

  // Discarded pages read as zero; the words around them keep their values.
  for (std::int64_t i = 0; i < count; ++i) third[static_cast<std::size_t>(i)] = 2.0;
  discard_pages(third.get() + 1, static_cast<std::size_t>(count - 2) * sizeof(double));
  EXPECT_EQ(third[0], 2.0);
  EXPECT_EQ(third[static_cast<std::size_t>(count / 2)], 0.0);
  EXPECT_EQ(third[static_cast<std::size_t>(count - 1)], 2.0);
}

TEST(PagePool, AnArrayThatGaveItsPagesStaysMapped) {
  constexpr std::int64_t count = std::int64_t{1} << 21;  // 16 MiB of doubles
  LargeArray<double> array(count);
  for (std::int64_t i = 0; i < count; ++i) array[static_cast<std::size_t>(i)] = 1.0;
  const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(double);
  move_pages_to_pool(array.get(), bytes);
  // mincore fails with ENOMEM on any part of the range that is not mapped.
  std::vector<unsigned char> resident(bytes / 4096);
  ASSERT_EQ(mincore(array.get(), bytes, resident.data()), 0);
  if (kPagesMove) {
    for (std::int64_t i = 0; i < count; i += 4096) ASSERT_EQ(array[static_cast<std::size_t>(i)], 0.0);
  }
  return_pool_pages_to_system();
}

}  // namespace
}  // namespace quorix
