#pragma once
// How far the stresses of a linear analysis may be from the true ones: the
// averaged nodal stresses, interpolated over each element with its own shape
// functions, are smoother and mostly closer to the truth than the element's
// own stresses, and the energy norm of their difference estimates the error
// (Zienkiewicz and Zhu, 1987). Measured against the energy norm of the
// solution, it says whether the mesh is fine enough.

#include <vector>

#include "element/element_tables.hpp"
#include "model/model.hpp"
#include "output/nodal_results.hpp"

namespace quorix {

class TaskPool;

// Energy norms here are square roots of strain energies: a field of stresses
// s has the norm sqrt(1/2 integral of s^T Q s t), Q the compliance, so the
// solution's is sqrt(u^T K u / 2), half the loads times the displacements.
struct ErrorEstimate {
  bool estimated = false;             // false for a nonlinear analysis
  double error_norm = 0.0;            // sqrt of the sum of element_error squared
  double solution_norm = 0.0;         // the energy norm of the solution
  double relative = 0.0;              // error_norm / solution_norm (0 for a plate at rest)
  std::vector<double> element_error;  // by element position, from 0: each element's energy norm
};

// Each element's error is the energy norm over the element of s* - s, s its
// own stresses, s* those interpolated from the averaged nodal stresses, by the
// 7-point rule. The sums run in element order, so they are the same for any
// number of threads `pool` has. A nonlinear analysis is not estimated.
ErrorEstimate estimate_stress_error(const Model& model, const AnalysisSettings& settings,
                                    const ElementTables& tables, const NodalResults& results, TaskPool& pool);

// Each element's error as a share of the solution's norm, by element number.
Table1<double> relative_element_errors(const ErrorEstimate& estimate);

// The element size that would bring each element's error to an equal share of
// `target` times the solution's norm, by the rate at which the energy error of
// cubic elements falls with their size (h^3): the element's longest corner to
// corner edge times (share / error)^(1/3), kept within a tenth and four times
// that edge. By element position, from 0; empty when nothing was estimated.
std::vector<double> refined_element_sizes(const Model& model, const ErrorEstimate& estimate, double target);

}  // namespace quorix
