#pragma once
// The pieces of one Newton-Raphson iteration of the nonlinear analysis; the
// linear analysis hands its displacements to the nodes in the same way.

#include "analysis/equation_solver.hpp"
#include "element/element_tables.hpp"
#include "model/model.hpp"
#include "sparse/sparse_matrix.hpp"

namespace quorix {

// Tangent matrix (compressed) into model.matrix and the out-of-balance vector
// (self-weight minus internal forces) into model.rhs, from the elements of
// `share`, worked on its pool.
void assemble_tangent_system(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                             GatherWorkspace& workspace, const AssemblyShare& share);

// |increment| / |solution|, after zeroing the prescribed entries of increment.
double displacement_ratio(const Model& model, Table1<double>& increment);

// The node at position k takes solution(2k - 1) and solution(2k) as its u, v.
void copy_displacements_to_nodes(Model& model);

}  // namespace quorix
