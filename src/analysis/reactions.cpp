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
  const std::int64_t n = 2 * static_cast<std::int64_t>(model.nodes.size());
  Table1<double> reactions(n, 0.0);
  Table1<char> prescribed(n, 0);
  std::array<int, 2> equations{};
  for (const PrescribedDisplacement& record : model.prescribed_displacements) {
    const int count = prescribed_equations(record, equations);
    for (int e = 0; e < count; ++e) prescribed(equations[static_cast<std::size_t>(e)]) = 1;
  }

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
  for (const NodalForce& force : model.forces) {
    const std::int64_t x = 2 * static_cast<std::int64_t>(force.node) - 1;
    if (prescribed(x) != 0) reactions(x) -= load_factor * force.fx;
    if (prescribed(x + 1) != 0) reactions(x + 1) -= load_factor * force.fy;
  }
  for (const EdgePressure& pressure : model.pressures) {
    const ElementData data = gather_element(model, model.elements(pressure.element));
    const EdgeLoadVector load = edge_pressure_vector(tables, data, pressure);
    for (std::size_t j = 0; j < 8; ++j)
      if (prescribed(load.equations[j]) != 0) reactions(load.equations[j]) -= load_factor * load.forces[j];
  }
  return reactions;
}

}  // namespace quorix
