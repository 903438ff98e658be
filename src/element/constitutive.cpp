#include "element/constitutive.hpp"

namespace quorix {

Mat3 elastic_matrix(const Material& material, const FixedText<12>& stress_state) {
  const double young = material.young_modulus;
  const double nu = material.poisson_ratio;
  // Plane strain is plane stress with E* = E / (1 - nu^2) and nu* = nu / (1 - nu),
  // which gives D(1,1) = E (1 - nu) / ((1 + nu)(1 - 2 nu)) (Timoshenko & Goodier,
  // Theory of Elasticity, on plane strain).
  double e_eff = young;
  double nu_eff = nu;
  if (stress_state == "PLANE_STRAIN") {
    e_eff = young / (1.0 - nu * nu);
    nu_eff = nu / (1.0 - nu);
  }
  const double c = e_eff / (1.0 - nu_eff * nu_eff);
  Mat3 d{};
  d[0][0] = c;
  d[1][1] = c;
  d[0][1] = nu_eff * c;
  d[1][0] = nu_eff * c;
  d[2][2] = (1.0 - nu_eff) * c * 0.5;  // the shear modulus, acting on engineering shear strain
  return d;
}

Mat3 compliance_matrix(const Material& material, const FixedText<12>& stress_state) {
  const double young = material.young_modulus;
  const double nu = material.poisson_ratio;
  // Plane stress: Q = (1/E) [1, -nu, 0; -nu, 1, 0; 0, 0, 2 (1 + nu)]. Plane
  // strain, from eps_zz = 0: Q = ((1 + nu)/E) [1 - nu, -nu, 0; -nu, 1 - nu, 0; 0, 0, 2].
  // The unscaled matrix is set first and then scaled as a whole.
  Mat3 q{};
  double scale = 0.0;
  if (stress_state == "PLANE_STRESS") {
    q[0][0] = 1.0;
    q[1][1] = 1.0;
    q[0][1] = -nu;
    q[1][0] = -nu;
    q[2][2] = 2.0 * (1.0 + nu);
    scale = 1.0 / young;
  } else {
    q[0][0] = 1.0 - nu;
    q[1][1] = 1.0 - nu;
    q[0][1] = -nu;
    q[1][0] = -nu;
    q[2][2] = 2.0;
    scale = (1.0 + nu) / young;
  }
  for (auto& row : q)
    for (double& entry : row) entry = entry * scale;
  return q;
}

}  // namespace quorix
