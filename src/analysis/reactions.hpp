#pragma once
// The forces the supports exert on the plate after an analysis, and the
// self-weight they carry.

#include "element/element_tables.hpp"
#include "model/model.hpp"

namespace quorix {

class TaskPool;

// By equation (node k: 2k - 1 in x, 2k in y): at each prescribed equation the
// element forces there less the loads there, zero at the free equations. The
// element forces are K u of the small-displacement stiffness in a "LINEAR"
// analysis and the internal forces of the current state otherwise; the loads
// are the nodal forces and edge loads times `load_factor` and the self-weight
// in full, as the analyses apply them. Reads the displacements from the node
// records. In equilibrium the reactions and the loads sum to zero. The
// elements are worked on `pool`, or without one on the calling thread.
Table1<double> support_reactions(const Model& model, const AnalysisSettings& settings,
                                 const ElementTables& tables, double load_factor, TaskPool* pool);

// By equation: the self-weight of the elements as the analyses apply it,
// summed over the elements of each node, worked on `pool` as above.
Table1<double> self_weight_loads(const Model& model, const ElementTables& tables, TaskPool* pool);

}  // namespace quorix
