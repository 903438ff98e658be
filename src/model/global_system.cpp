#include "model/global_system.hpp"

#include <cstdint>

#include "sparse/sparse_matrix.hpp"

namespace quorix {

void create_global_system(Model& model) {
  const std::int64_t equations = 2 * model.nodes.size64();
  model.rhs = Table1<double>(equations, 0.0);
  model.solution = Table1<double>(equations, 0.0);
  create_global_matrix(model);
}

void create_global_matrix(Model& model) {
  init_sparse_matrix(model.matrix, static_cast<int>(2 * model.nodes.size64()), 210 * model.elements.size64());
}

}  // namespace quorix
