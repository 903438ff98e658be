#pragma once
// Tables and array views numbered from 1, like the equation, node and element
// numbers the program reads, stores and prints. The offset lives here only:
// `(n)` takes a 1-based number, `[i]` a 0-based subscript. Large tables take
// their memory in huge pages (large_memory.hpp; page_pool.hpp moves them).

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <vector>

#include "sparse/large_memory.hpp"

namespace quorix {

// Asks Table1 for entries that are written before they are read.
struct Uninitialised {};
inline constexpr Uninitialised uninitialised{};

template <class T>
class Table1 {
 public:
  Table1() = default;
  explicit Table1(std::int64_t count) : items_(count > 0 ? static_cast<std::size_t>(count) : 0, T{}) {}
  // Entries of trivial type hold whatever the memory held: no time is spent
  // on values that are overwritten before use.
  Table1(std::int64_t count, Uninitialised) : items_(count > 0 ? static_cast<std::size_t>(count) : 0) {}
  Table1(std::int64_t count, const T& value)
      : items_(count > 0 ? static_cast<std::size_t>(count) : 0, value) {}

  T& operator()(std::int64_t number) { return items_[slot(number)]; }
  const T& operator()(std::int64_t number) const { return items_[slot(number)]; }
  T& operator[](std::size_t i) { return items_[i]; }
  const T& operator[](std::size_t i) const { return items_[i]; }

  // The count as an int, as the loops over model tables want it; the reader
  // keeps those within int. A larger table stops rather than wraps around.
  int size() const {
    if (items_.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
      throw std::length_error("a table has more entries than an int can count");
    return static_cast<int>(items_.size());
  }
  std::int64_t size64() const { return static_cast<std::int64_t>(items_.size()); }
  bool empty() const { return items_.empty(); }
  std::span<T> all() { return items_; }
  std::span<const T> all() const { return items_; }
  T* data() { return items_.data(); }
  const T* data() const { return items_.data(); }
  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  // Releases the storage (used where an owner frees its arrays early).
  void release() { LargeVector<T>().swap(items_); }
  // The bytes of the storage from data() on, which may hold more entries
  // than size().
  std::size_t storage_bytes() const { return items_.capacity() * sizeof(T); }

 private:
  std::size_t slot(std::int64_t number) const {
    assert(1 <= number && number <= static_cast<std::int64_t>(items_.size()));
    return static_cast<std::size_t>(number - 1);
  }
  LargeVector<T> items_;
};

// A 1-based view of contiguous storage it does not own: element (1) is
// data[0]. Used by the solver phases, whose work arrays are addressed by
// positions that are part of their contracts.
template <class T>
class View1 {
 public:
  View1() = default;
  View1(T* data, std::int64_t size) : data_(data), size_(size) {}
  template <class U, class A>
  View1(std::vector<U, A>& v) : data_(v.data()), size_(static_cast<std::int64_t>(v.size())) {}
  template <class U, class A>
  View1(const std::vector<U, A>& v) : data_(v.data()), size_(static_cast<std::int64_t>(v.size())) {}
  template <class U>
  View1(Table1<U>& t) : data_(t.data()), size_(t.size64()) {}
  template <class U>
  View1(const Table1<U>& t) : data_(t.data()), size_(t.size64()) {}
  template <class U>
  View1(const View1<U>& v) : data_(v.data()), size_(v.size()) {}

  T& operator()(std::int64_t number) const {
    assert(1 <= number && number <= size_);
    return data_[number - 1];
  }
  T* data() const { return data_; }
  std::int64_t size() const { return size_; }
  // The view of positions `first` .. size(); its (1) is this view's (first).
  View1 from(std::int64_t first) const {
    assert(1 <= first && first <= size_ + 1);
    return View1(data_ + (first - 1), size_ - (first - 1));
  }

 private:
  T* data_ = nullptr;
  std::int64_t size_ = 0;
};

}  // namespace quorix
