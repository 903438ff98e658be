#pragma once
// Small fixed-size vectors and matrices of the element routines. Storage is
// 0-based: m[i][j] is entry (i + 1, j + 1). Element-local degrees of freedom:
// local node a (0..9) owns entries 2a (x) and 2a + 1 (y).
//
// Every product sums over the inner index in increasing order, starting from
// 0.0; that order is part of the result.

#include <array>
#include <cstddef>

namespace quorix {

template <std::size_t Rows, std::size_t Cols>
using Mat = std::array<std::array<double, Cols>, Rows>;
template <std::size_t N>
using Vec = std::array<double, N>;

using Mat2 = Mat<2, 2>;
using Mat3 = Mat<3, 3>;
using Mat3x20 = Mat<3, 20>;
using Mat20 = Mat<20, 20>;
using Vec10 = Vec<10>;
using Vec20 = Vec<20>;

// Returns A B.
template <std::size_t M, std::size_t K, std::size_t N>
Mat<M, N> times(const Mat<M, K>& a, const Mat<K, N>& b) {
  Mat<M, N> c{};
  for (std::size_t i = 0; i < M; ++i)
    for (std::size_t j = 0; j < N; ++j) {
      double sum = 0.0;
      for (std::size_t k = 0; k < K; ++k) sum += a[i][k] * b[k][j];
      c[i][j] = sum;
    }
  return c;
}

// Returns A^T B.
template <std::size_t K, std::size_t M, std::size_t N>
Mat<M, N> transpose_times(const Mat<K, M>& a, const Mat<K, N>& b) {
  Mat<M, N> c{};
  for (std::size_t i = 0; i < M; ++i)
    for (std::size_t j = 0; j < N; ++j) {
      double sum = 0.0;
      for (std::size_t k = 0; k < K; ++k) sum += a[k][i] * b[k][j];
      c[i][j] = sum;
    }
  return c;
}

// Returns A x.
template <std::size_t M, std::size_t N>
Vec<M> times(const Mat<M, N>& a, const Vec<N>& x) {
  Vec<M> y{};
  for (std::size_t i = 0; i < M; ++i) {
    double sum = 0.0;
    for (std::size_t k = 0; k < N; ++k) sum += a[i][k] * x[k];
    y[i] = sum;
  }
  return y;
}

}  // namespace quorix
