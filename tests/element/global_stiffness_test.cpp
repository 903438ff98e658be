// The global stiffness of a small irregular mesh, assembled and compressed,
// against a dense assembly of the same element matrices.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "element/dof_map.hpp"
#include "element/element_routines.hpp"
#include "parallel/task_pool.hpp"
#include "support/plate_mesh.hpp"

namespace quorix {
namespace {

TEST(GlobalStiffness, CompressedEqualsDenseAssemblyAndKeepsTheRigidBodyModes) {
  testing::PlateSpec layout;
  layout.nx = 3;
  layout.ny = 2;
  layout.distortion = 0.15;
  AnalysisSettings settings;
  Model model = testing::make_plate(layout, settings);
  const ElementTables tables = init_element_tables();
  const int n = model.matrix.order;

  std::vector<double> dense(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0.0);
  auto at = [&](int r, int c) -> double& {
    return dense[static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(n) +
                 static_cast<std::size_t>(c - 1)];
  };
  clear_sparse_matrix(model.matrix);
  double largest = 0.0;
  for (const Element& element : model.elements) {
    const ElementData data = gather_element(model, element);
    const Mat20 k = linear_element_stiffness(tables, settings, data);
    const std::array<int, 20> dofs = element_dof_numbers(data);
    add_element_matrix(model.matrix, &k[0][0], dofs.data(), 20);
    for (std::size_t i = 0; i < 20; ++i)
      for (std::size_t j = 0; j < 20; ++j) {
        at(dofs[i], dofs[j]) += k[i][j];
        largest = std::max(largest, std::fabs(k[i][j]));
      }
  }
  GatherWorkspace workspace;
  compress_sparse_matrix(model.matrix, workspace, &shared_task_pool());

  // Every stored term is the dense sum; every non-zero of the dense upper
  // triangle is stored exactly once.
  std::vector<char> seen(dense.size(), 0);
  for (std::int64_t t = 1; t <= model.matrix.term_count; ++t) {
    const int r = model.matrix.row_indices(t), c = model.matrix.col_indices(t);
    ASSERT_LE(r, c);
    EXPECT_NEAR(model.matrix.values(t), at(r, c), 1e-12 * largest);
    char& mark =
        seen[static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(n) + static_cast<std::size_t>(c - 1)];
    EXPECT_EQ(mark, 0);
    mark = 1;
  }
  for (int r = 1; r <= n; ++r)
    for (int c = r; c <= n; ++c)
      if (at(r, c) != 0.0) {
        EXPECT_TRUE(seen[static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(n) +
                         static_cast<std::size_t>(c - 1)])
            << r << "," << c;
      }

  // The symmetric matrix from the stored upper triangle times each rigid
  // motion of the whole mesh gives no force.
  for (int mode = 0; mode < 3; ++mode) {
    std::vector<double> d(static_cast<std::size_t>(n) + 1), f(static_cast<std::size_t>(n) + 1, 0.0);
    for (const Node& node : model.nodes) {
      const std::size_t x = static_cast<std::size_t>(2 * node.id - 1);
      d[x] = mode == 0 ? 1.0 : mode == 1 ? 0.0 : -node.y;
      d[x + 1] = mode == 0 ? 0.0 : mode == 1 ? 1.0 : node.x;
    }
    for (std::int64_t t = 1; t <= model.matrix.term_count; ++t) {
      const std::size_t r = static_cast<std::size_t>(model.matrix.row_indices(t));
      const std::size_t c = static_cast<std::size_t>(model.matrix.col_indices(t));
      f[r] += model.matrix.values(t) * d[c];
      if (r != c) f[c] += model.matrix.values(t) * d[r];
    }
    for (int i = 1; i <= n; ++i) EXPECT_NEAR(f[static_cast<std::size_t>(i)], 0.0, 1e-10 * largest) << mode;
  }
}

}  // namespace
}  // namespace quorix
