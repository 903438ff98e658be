#pragma once
// What both fuzz targets require of an accepted model. A failed check stops
// the run with a trap, which libFuzzer reports.

#include "model/model.hpp"

namespace quorix::fuzz {

inline void require(bool condition) {
  if (!condition) __builtin_trap();
}

// At least one node, node k numbered k, and every reference inside its table.
inline void require_sound_references(const Model& model) {
  const int nodes = model.nodes.size();
  require(nodes >= 1);
  for (int k = 1; k <= nodes; ++k) require(model.nodes(k).id == k);
  for (const Element& element : model.elements) {
    for (const int node : element.nodes) require(node >= 1 && node <= nodes);
    require(element.material >= 1 && element.material <= model.materials.size());
    require(element.thickness >= 1 && element.thickness <= model.thicknesses.size());
  }
  for (const NodalForce& force : model.forces) require(force.node >= 1 && force.node <= nodes);
  for (const EdgePressure& pressure : model.pressures) {
    require(pressure.element >= 1 && pressure.element <= model.elements.size());
    require(pressure.edge >= 1 && pressure.edge <= 3);
  }
  for (const PrescribedDisplacement& displacement : model.prescribed_displacements)
    require(displacement.node >= 1 && displacement.node <= nodes);
}

}  // namespace quorix::fuzz
