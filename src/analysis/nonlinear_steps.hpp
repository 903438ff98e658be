#pragma once
// The pieces of one Newton-Raphson iteration of the nonlinear analysis.

#include "element/element_tables.hpp"
#include "model/model.hpp"
#include "sparse/sparse_matrix.hpp"

namespace quorix {

// Tangent matrix (compressed) into model.matrix and the out-of-balance vector
// (self-weight minus internal forces) into model.rhs.
void assemble_tangent_system(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                             GatherWorkspace& workspace);

// |increment| / |solution|, after zeroing the prescribed entries of increment.
double displacement_ratio(const Model& model, Table1<double>& increment);

// Sum of squares of the out-of-balance forces at the free equations (left in
// model.rhs); leaves model.matrix empty. Nodal forces and edge loads do not enter.
// It is assemble_out_of_balance followed by free_residual_sum.
double residual_measure(Model& model, const AnalysisSettings& settings, const ElementTables& tables);
// Self-weight minus internal forces into model.rhs at every equation; leaves
// model.matrix empty.
void assemble_out_of_balance(Model& model, const AnalysisSettings& settings, const ElementTables& tables);
// Zeroes the prescribed entries of model.rhs and returns the sum of squares of
// what is left.
double free_residual_sum(Model& model);

}  // namespace quorix
