#include "analysis/element_assembly.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "element/dof_map.hpp"
#include "parallel/task_pool.hpp"

namespace quorix {

void assemble_elements(const Model& model, SparseMatrix* matrix, Table1<double>& rhs, TaskPool* pool,
                       const ElementTerms& terms, int first, int end) {
  constexpr int m = 20;
  constexpr std::int64_t element_words = m * (m + 1) / 2;
  if (end < 0) end = model.elements.size();
  const int count = end - first;
  const std::int64_t first_term = matrix ? matrix->term_count : 0;
  LargeVector<Vec20> vectors(static_cast<std::size_t>(count), Vec20{});
  LargeVector<std::array<int, m>> dofs(static_cast<std::size_t>(count), std::array<int, m>{});
  constexpr int chunk = 256;  // elements a unit
  for_each_unit(pool, (count + chunk - 1) / chunk, [&](int unit) {
    const int last = std::min(count, (unit + 1) * chunk);
    for (int e = unit * chunk; e < last; ++e) {
      const ElementData data = gather_element(model, model.elements[static_cast<std::size_t>(first + e)]);
      const std::size_t slot = static_cast<std::size_t>(e);
      dofs[slot] = element_dof_numbers(data);
      Mat20 element_matrix;
      terms(data, matrix ? &element_matrix : nullptr, vectors[slot]);
      if (matrix)
        put_element_matrix(*matrix, first_term + element_words * e, &element_matrix[0][0], dofs[slot].data(),
                           m);
    }
  });
  if (matrix) matrix->term_count = first_term + element_words * count;
  for (std::size_t e = 0; e < vectors.size(); ++e)
    for (std::size_t j = 0; j < m; ++j) rhs(dofs[e][j]) += vectors[e][j];
}

}  // namespace quorix
