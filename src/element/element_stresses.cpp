#include <cstddef>

#include "element/constitutive.hpp"
#include "element/element_kinematics.hpp"
#include "element/element_routines.hpp"

namespace quorix {

// Stresses evaluated directly at the ten nodes from the node derivative
// tables. The in-plane components carry the thickness factor (they come from
// t D); the out-of-plane one is formed from strains and does not.
ElementStresses element_nodal_stresses(const ElementTables& tables, const AnalysisSettings& settings,
                                       const ElementData& element) {
  const Mat3 dt =
      thickness_times_tensor_elastic_matrix(element, settings.analysis_type, settings.stress_state);
  const bool small_strain = settings.analysis_type == "LINEAR";
  const bool plane_stress = settings.stress_state == "PLANE_STRESS";
  const double young = element.material.young_modulus;
  const double nu = element.material.poisson_ratio;
  // Lame's first constant of the material itself: in plane strain
  // szz = nu (sxx + syy) = lambda (exx + eyy), because ezz = 0.
  const double lambda = nu * young / ((1.0 + nu) * (1.0 - 2.0 * nu));

  // Compliance for the tensor shear strain, per unit thickness, so that it
  // undoes dt on the Cauchy stresses of the nonlinear branch.
  Mat3 q_per_t{};
  if (!small_strain) {
    q_per_t = compliance_matrix(element.material, settings.stress_state);
    q_per_t[2][2] = q_per_t[2][2] / 2.0;
    for (auto& row : q_per_t)
      for (double& entry : row) entry = entry / element.thickness;
  }

  ElementStresses out;
  for (std::size_t n = 0; n < 10; ++n) {
    const Vec10& dqsi = tables.node_dqsi[n];
    const Vec10& deta = tables.node_deta[n];
    const Mat2 r = inverse_of(jacobian_from(dqsi, deta, element));
    const Mat2 hd = times(natural_displacement_gradient(dqsi, deta, element), r);
    const double a = hd[0][0];  // du/dx
    const double b = hd[0][1];  // du/dy
    const double c = hd[1][0];  // dv/dx
    const double e = hd[1][1];  // dv/dy

    Vec<3> stress{};
    Vec<3> strain{};
    if (small_strain) {
      strain = {a, e, b + c};
      stress = times(dt, strain);
    } else {
      // Cauchy stress from the second Piola-Kirchhoff stress:
      // sigma = F S F^T / det F, F = I + H (Bathe, Finite Element Procedures, ch. 6).
      const Vec<3> green = {a + (a * a + c * c) / 2.0, e + (e * e + b * b) / 2.0,
                            (b + c + a * b + c * e) / 2.0};
      const Vec<3> pk2 = times(dt, green);
      const Mat2 s = {{{pk2[0], pk2[2]}, {pk2[2], pk2[1]}}};
      const Mat2 f = {{{1.0 + a, b}, {c, 1.0 + e}}};
      const double det_f = (1.0 + a) * (1.0 + e) - b * c;
      const Mat2 f_transposed = {{{f[0][0], f[1][0]}, {f[0][1], f[1][1]}}};
      Mat2 sigma = times(f, times(s, f_transposed));
      const double inv_det_f = 1.0 / det_f;
      for (auto& row : sigma)
        for (double& entry : row) entry = entry * inv_det_f;
      stress = {sigma[0][0], sigma[1][1], sigma[0][1]};
      strain = times(q_per_t, stress);
    }
    out.sxx[n] = stress[0];
    out.syy[n] = stress[1];
    out.sxy[n] = stress[2];
    out.szz[n] = plane_stress ? 0.0 : lambda * (strain[0] + strain[1]);
  }
  return out;
}

}  // namespace quorix
