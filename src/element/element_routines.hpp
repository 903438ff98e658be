#pragma once
// Element matrices, vectors and stresses of the 10-node cubic triangle. Each
// routine is a pure function of one element's records and the settings.

#include "element/element_tables.hpp"
#include "element/small_matrix.hpp"
#include "model/fixed_text.hpp"
#include "model/model.hpp"

namespace quorix {

// Small-displacement stiffness: 7-point integral of B^T (t D) B.
Mat20 linear_element_stiffness(const ElementTables& tables, const AnalysisSettings& settings,
                               const ElementData& element);

// Total Lagrangian element for the current displacements: internal forces
// and tangent stiffness (material plus initial-stress part).
Vec20 element_internal_forces(const ElementTables& tables, const AnalysisSettings& settings,
                              const ElementData& element);
Mat20 nonlinear_element_stiffness(const ElementTables& tables, const AnalysisSettings& settings,
                                  const ElementData& element);

// True when det F = det(I + grad u), F the deformation gradient of the
// current displacements, is not positive at one of the area points: the
// displacements turn the element inside out there.
bool turned_inside_out(const ElementTables& tables, const ElementData& element);

// The elastic matrix of the Green-Lagrange formulation times the thickness:
// D(3,3) doubled when the analysis type is "NONLINEAR" (so that it acts on the
// tensor shear strain), then every entry multiplied by t; element_nodal_stresses
// uses it too.
Mat3 thickness_times_tensor_elastic_matrix(const ElementData& element, const FixedText<10>& analysis_type,
                                           const FixedText<12>& stress_state);

// Stresses at the ten nodes: small-strain for "LINEAR", Cauchy otherwise.
// sxx, syy, sxy carry the thickness factor; szz does not.
struct ElementStresses {
  Vec10 sxx{}, syy{}, sxy{}, szz{};
};
ElementStresses element_nodal_stresses(const ElementTables& tables, const AnalysisSettings& settings,
                                       const ElementData& element);

}  // namespace quorix
