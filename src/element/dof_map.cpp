#include "element/dof_map.hpp"

#include <cstddef>

#include "element/element_kinematics.hpp"

namespace quorix {

std::array<int, 20> element_dof_numbers(const ElementData& element) {
  std::array<int, 20> dofs{};
  for (std::size_t a = 0; a < 10; ++a) {
    dofs[2 * a] = 2 * element.node_ids[a] - 1;
    dofs[2 * a + 1] = 2 * element.node_ids[a];
  }
  return dofs;
}

// Consistent nodal loads of the self-weight: entry 2i = -gamma t integral of
// N_i dA. For a straight-sided element the integrals are A/30 at the corners,
// 3A/40 at the edge nodes and 9A/20 at the centre.
Vec20 element_gravity_vector(const ElementTables& tables, const ElementData& element) {
  Vec20 g{};
  const double load = -(element.material.specific_weight * element.thickness);  // per unit area
  for (int k = 1; k <= kAreaPoints; ++k) {
    const Mat2 j = jacobian(tables, element, k);
    const double a = determinant(j) * kAreaWeight[static_cast<std::size_t>(k - 1)];
    const Vec10& shape = tables.shape[static_cast<std::size_t>(k - 1)];
    for (std::size_t i = 0; i < 10; ++i) g[2 * i + 1] += a * (load * shape[i]);
  }
  return g;
}

}  // namespace quorix
