#pragma once
// The pieces of one Newton-Raphson iteration of the nonlinear analysis.

#include "element/element_tables.hpp"
#include "model/model.hpp"
#include "sparse/sparse_matrix.hpp"

namespace quorix {

// Tangent matrix (compressed) into model.matrix and the out-of-balance vector
// (self-weight minus internal forces) into model.rhs, worked on `pool` (none:
// the calling thread alone).
void assemble_tangent_system(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                             GatherWorkspace& workspace, TaskPool* pool);

// |increment| / |solution|, after zeroing the prescribed entries of increment.
double displacement_ratio(const Model& model, Table1<double>& increment);

}  // namespace quorix
