// Column access through an index of chosen columns must see exactly what the
// scan over all rows sees.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "parallel/task_pool.hpp"
#include "sparse/sparse_matrix.hpp"

namespace quorix {
namespace {

SparseMatrix random_matrix(int order, int elements, unsigned seed, GatherWorkspace& workspace) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> equation(1, order);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  SparseMatrix matrix;
  init_sparse_matrix(matrix, order, 21 * static_cast<std::int64_t>(elements));
  clear_sparse_matrix(matrix);
  for (int e = 0; e < elements; ++e) {
    int dofs[6];
    double k[36];
    for (int& d : dofs) d = equation(random);
    for (double& v : k) v = value(random);
    add_element_matrix(matrix, k, dofs, 6);
  }
  compress_sparse_matrix(matrix, workspace, &shared_task_pool());
  return matrix;
}

TEST(ColumnIndex, GathersAndSetsTheSameTermsAsTheRowScan) {
  GatherWorkspace scanned, indexed;
  SparseMatrix matrix = random_matrix(60, 40, 7, scanned);
  SparseMatrix copy = random_matrix(60, 40, 7, indexed);
  const std::vector<int> columns = {5, 17, 17, 60, 1, 33, 42};
  const ColumnIndex index = index_columns(copy, columns);
  for (int s = 1; s <= 60; ++s) {  // columns outside the index fall back to the scan
    gather_column(matrix, s, scanned);
    gather_column(copy, index, s, indexed);
    ASSERT_EQ(scanned.gathered_count, indexed.gathered_count) << s;
    for (std::int64_t i = 1; i <= scanned.gathered_count; ++i) {
      EXPECT_EQ(scanned.gathered_rows(i), indexed.gathered_rows(i));
      EXPECT_EQ(scanned.gathered_cols(i), indexed.gathered_cols(i));
      EXPECT_EQ(scanned.gathered_values(i), indexed.gathered_values(i));
    }
  }
  for (int s : {17, 2, 60}) {
    set_column_values(matrix, s, 0.5 * s);
    set_column_values(copy, index, s, 0.5 * s);
  }
  for (std::int64_t k = 1; k <= matrix.term_count; ++k) EXPECT_EQ(matrix.values(k), copy.values(k)) << k;
}

}  // namespace
}  // namespace quorix
