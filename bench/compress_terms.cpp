// Compression of an assembled plate matrix: the sorts by row and column and
// the summation of duplicates, on the raw terms of a strip-numbered mesh of
// 10-node triangles (the order assembly leaves them in).
//
//   compress_terms [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "parallel/task_pool.hpp"
#include "sparse/sparse_matrix.hpp"

namespace {

// Raw terms of an nx x ny plate: each cell is cut into two cubic triangles on
// a lattice of spacing a third of a cell, numbered row by row; the element
// matrices hold arbitrary values.
quorix::SparseMatrix raw_plate_terms(int nx, int ny) {
  const int cols = 3 * nx + 1;
  auto node = [cols](int i, int j) { return j * cols + i + 1; };
  quorix::SparseMatrix matrix;
  quorix::init_sparse_matrix(matrix, 2 * cols * (3 * ny + 1), std::int64_t{2} * nx * ny * 210);
  quorix::clear_sparse_matrix(matrix);
  std::array<double, 400> k{};
  for (std::size_t e = 0; e < k.size(); ++e) k[e] = 1.0 + 1e-3 * static_cast<double>(e);
  for (int cy = 0; cy < ny; ++cy)
    for (int cx = 0; cx < nx; ++cx)
      for (int half = 0; half < 2; ++half) {
        std::array<int, 20> dofs{};
        std::size_t a = 0;
        // The ten lattice points of the triangle (numbering order does not matter here).
        for (int j = 0; j <= 3; ++j)
          for (int i = 0; i + j <= 3; ++i) {
            const int n = half == 0 ? node(3 * cx + i, 3 * cy + j) : node(3 * cx + 3 - i, 3 * cy + 3 - j);
            dofs[a++] = 2 * n - 1;
            dofs[a++] = 2 * n;
          }
        quorix::add_element_matrix(matrix, k.data(), dofs.data(), 20);
      }
  return matrix;
}

void CompressPlateTerms(benchmark::State& state) {
  const quorix::SparseMatrix raw =
      raw_plate_terms(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  quorix::SparseMatrix matrix = raw;
  quorix::GatherWorkspace workspace;
  for (auto _ : state) {
    state.PauseTiming();
    quorix::clear_sparse_matrix(matrix);
    matrix.term_count = raw.term_count;
    matrix.row_indices = raw.row_indices;
    matrix.col_indices = raw.col_indices;
    matrix.values = raw.values;
    state.ResumeTiming();
    quorix::compress_sparse_matrix(matrix, workspace, &quorix::shared_task_pool());
    benchmark::DoNotOptimize(matrix.values.data());
  }
  state.SetItemsProcessed(state.iterations() * raw.term_count);
}
BENCHMARK(CompressPlateTerms)->Args({50, 40})->Args({250, 200})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
