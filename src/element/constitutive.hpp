#pragma once
// Isotropic linear elastic material in plane stress or plane strain: stress
// (xx, yy, xy) = D strain (xx, yy, engineering xy), and strain = Q stress.

#include "element/small_matrix.hpp"
#include "model/fixed_text.hpp"
#include "model/model.hpp"

namespace quorix {

// Any stress state other than "PLANE_STRAIN" is treated as plane stress.
Mat3 elastic_matrix(const Material& material, const FixedText<12>& stress_state);
// Any stress state other than "PLANE_STRESS" is treated as plane strain.
Mat3 compliance_matrix(const Material& material, const FixedText<12>& stress_state);

}  // namespace quorix
