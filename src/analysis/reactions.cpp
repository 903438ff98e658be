#include "analysis/reactions.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/loads_and_constraints.hpp"
#include "element/dof_map.hpp"
#include "element/element_routines.hpp"

namespace quorix {

Table1<double> support_reactions(const Model& model, const AnalysisSettings& settings,
                                 const ElementTables& tables, double load_factor) {
  const std::int64_t n = 2 * model.nodes.size64();
  Table1<double> reactions(n, 0.0);
  const Table1<char> prescribed = prescribed_mask(model);

  // Element forces less self-weight, from the elements that touch a support
  // only: the others add nothing at a prescribed equation.
  const bool small_displacements = settings.analysis_type == "LINEAR";
  for (const Element& element : model.elements) {
    const ElementData data = gather_element(model, element);
    const std::array<int, 20> dofs = element_dof_numbers(data);
    bool supported = false;
    for (int d : dofs) supported = supported || prescribed(d) != 0;
    if (!supported) continue;
    Vec20 forces{};
    if (small_displacements) {
      Vec20 u{};
      for (std::size_t a = 0; a < 10; ++a) {
        u[2 * a] = data.u[a];
        u[2 * a + 1] = data.v[a];
      }
      forces = times(linear_element_stiffness(tables, settings, data), u);
    } else {
      forces = element_internal_forces(tables, settings, data);
    }
    const Vec20 weight = element_gravity_vector(tables, data);
    for (std::size_t j = 0; j < 20; ++j)
      if (prescribed(dofs[j]) != 0) reactions(dofs[j]) += forces[j] - weight[j];
  }

  // Less the nodal forces and edge loads at the supports.
  const Table1<double> loads = applied_loads(model, tables);
  for (std::int64_t i = 1; i <= n; ++i)
    if (prescribed(i) != 0) reactions(i) -= load_factor * loads(i);
  return reactions;
}

}  // namespace quorix
