#include "analysis/reactions.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "analysis/element_assembly.hpp"
#include "analysis/loads_and_constraints.hpp"
#include "element/dof_map.hpp"
#include "element/element_routines.hpp"

namespace quorix {

Table1<double> support_reactions(const Model& model, const AnalysisSettings& settings,
                                 const ElementTables& tables, double load_factor, TaskPool* pool) {
  Table1<double> reactions(2 * model.nodes.size64(), 0.0);
  const Table1<char> prescribed = prescribed_mask(model);

  // Element forces less self-weight, from the elements that touch a support
  // only: the others add nothing at a prescribed equation.
  const bool small_displacements = settings.analysis_type == "LINEAR";
  assemble_elements(model, nullptr, reactions, pool, [&](const ElementData& data, Mat20*, Vec20& forces) {
    forces = Vec20{};
    const std::array<int, 20> dofs = element_dof_numbers(data);
    if (std::none_of(dofs.begin(), dofs.end(), [&](int d) { return prescribed(d) != 0; })) return;
    forces = small_displacements
                 ? times(linear_element_stiffness(tables, settings, data), element_displacements(data))
                 : element_internal_forces(tables, settings, data);
    const Vec20 weight = element_gravity_vector(tables, data);
    for (std::size_t j = 0; j < 20; ++j) forces[j] -= weight[j];
  });

  // Less the nodal forces and edge loads at the supports; nothing elsewhere.
  const Table1<double> loads = applied_loads(model, tables);
  for (std::int64_t i = 1; i <= reactions.size64(); ++i)
    reactions(i) = prescribed(i) != 0 ? reactions(i) - load_factor * loads(i) : 0.0;
  return reactions;
}

Table1<double> self_weight_loads(const Model& model, const ElementTables& tables, TaskPool* pool) {
  Table1<double> weight(2 * model.nodes.size64(), 0.0);
  assemble_elements(model, nullptr, weight, pool, [&](const ElementData& data, Mat20*, Vec20& forces) {
    forces = element_gravity_vector(tables, data);
  });
  return weight;
}

}  // namespace quorix
