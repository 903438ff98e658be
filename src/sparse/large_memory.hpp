#pragma once
// Memory for the large arrays of a run (matrix terms, factor storage): taken
// straight from the operating system in whole 2 MiB pages, for which it is
// asked to use transparent huge pages, and given back when freed. Fresh pages
// read as zero; the system clears them on first touch, and huge pages make
// that one fault per 2 MiB instead of one per 4 KiB. Smaller requests go to
// the ordinary allocator. Moving the pages of such arrays from one to the
// next is in page_pool.hpp.
//
// Under AddressSanitizer every request goes to the ordinary allocator (large
// ones zeroed, as fresh pages would be), so that the sanitizer sees the bounds
// of every array; pages then stay where they are.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

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

// Asks for huge pages over the whole 2 MiB pages within [memory, memory +
// bytes), memory of the ordinary allocator not touched yet: a large buffer
// that cannot be one of these arrays (a std::string, say) then costs as few
// faults on first touch.
void advise_huge_pages(void* memory, std::size_t bytes);

// `bytes` (>= kLargeAllocationBytes) of zeroed memory, 2 MiB aligned.
void* allocate_large(std::size_t bytes);
// Gives memory from allocate_large(bytes) back to the system.
void release_large(void* memory, std::size_t bytes);

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

// A vector whose large buffers are such memory. Elements made without a
// value are left uninitialised (a small buffer then holds anything): give
// the value when it matters.
template <class T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

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
  // `count` elements that read as zero: fresh pages when large, cleared
  // here when small.
  static LargeArray zeroed(std::int64_t count) {
    LargeArray array(count);
    if (!array.fresh_pages()) std::fill(array.data_, array.data_ + array.size_, T{});
    return array;
  }
  // True when the memory came fresh from the system (and so reads as zero).
  bool fresh_pages() const { return is_large(size_ * sizeof(T)); }
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
