// Total Lagrangian form of the element (Bathe, Finite Element Procedures,
// ch. 6; Crisfield, Non-linear Finite Element Analysis of Solids and
// Structures, vol. 1, ch. 5): integrals over the reference geometry,
// Green-Lagrange strain E from the displacement gradient, second
// Piola-Kirchhoff stress S = t D E (St. Venant-Kirchhoff material).

#include <cstddef>

#include "element/constitutive.hpp"
#include "element/element_kinematics.hpp"
#include "element/element_routines.hpp"

namespace quorix {

Mat3 thickness_times_tensor_elastic_matrix(const ElementData& element, const FixedText<10>& analysis_type,
                                           const FixedText<12>& stress_state) {
  Mat3 d = elastic_matrix(element.material, stress_state);
  if (analysis_type == "NONLINEAR") d[2][2] = 2.0 * d[2][2];
  Mat3 dt{};
  for (std::size_t r = 0; r < 3; ++r)
    for (std::size_t s = 0; s < 3; ++s) dt[r][s] = element.thickness * d[r][s];
  return dt;
}

namespace {

// What both routines need at one area point.
struct PointState {
  double det = 0.0;  // det J, with its sign
  Mat2 r{};          // J^-1
  Mat3x20 bbar{};    // dE = Bbar dd, E with the tensor shear component
  Vec<3> s{};        // second Piola-Kirchhoff stress times thickness
};

PointState point_state(const ElementTables& tables, const ElementData& element, const Mat3& dt,
                       std::size_t p) {
  PointState state;
  const Mat2 j = jacobian_from(tables.dqsi[p], tables.deta[p], element);
  state.det = determinant(j);
  state.r = inverse_of(j);
  const Mat2 hd = times(natural_displacement_gradient(tables.dqsi[p], tables.deta[p], element), state.r);
  const double a = hd[0][0];  // du/dx
  const double b = hd[0][1];  // du/dy
  const double c = hd[1][0];  // dv/dx
  const double e = hd[1][1];  // dv/dy

  // M takes (du/dqsi, du/deta, dv/dqsi, dv/deta) to theta = (du/dx, du/dy, dv/dx, dv/dy).
  const Mat2& r = state.r;
  const Mat<4, 4> m = {{{r[0][0], r[1][0], 0.0, 0.0},
                        {r[0][1], r[1][1], 0.0, 0.0},
                        {0.0, 0.0, r[0][0], r[1][0]},
                        {0.0, 0.0, r[0][1], r[1][1]}}};
  // Variation of the Green-Lagrange strains: dE = Z dtheta.
  const Mat<3, 4> z = {
      {{1.0 + a, 0.0, c, 0.0}, {0.0, b, 0.0, 1.0 + e}, {b / 2.0, (1.0 + a) / 2.0, (1.0 + e) / 2.0, c / 2.0}}};
  state.bbar = times(times(z, m), tables.gradient_operator[p]);

  // E = (H + H^T + H^T H) / 2 written out, H the displacement gradient.
  const Vec<3> strain = {a + (a * a + c * c) / 2.0, e + (e * e + b * b) / 2.0, (b + c + a * b + c * e) / 2.0};
  state.s = times(dt, strain);
  return state;
}

}  // namespace

// F_int = integral of Bbar^T W S dA, W = diag(1, 1, 2) turning the tensor
// shear component into the engineering one in the work product.
Vec20 element_internal_forces(const ElementTables& tables, const AnalysisSettings& settings,
                              const ElementData& element) {
  const Mat3 dt =
      thickness_times_tensor_elastic_matrix(element, settings.analysis_type, settings.stress_state);
  Vec20 f{};
  for (std::size_t p = 0; p < kAreaPoints; ++p) {
    const PointState st = point_state(tables, element, dt, p);
    const double weight = kAreaWeight[p];
    for (std::size_t col = 0; col < 20; ++col) {
      const double fk =
          0.0 + st.bbar[0][col] * st.s[0] + st.bbar[1][col] * st.s[1] + 2.0 * st.bbar[2][col] * st.s[2];
      f[col] += st.det * (weight * fk);
    }
  }
  return f;
}

// K_T = integral of (Bbar^T W Dt Bbar + K_sigma) dA. The initial-stress part
// is the consistent one of the total Lagrangian form: for nodes a, b and each
// direction separately, grad N_a^T S grad N_b with the physical gradients on
// the reference geometry. It is what makes K_T the exact derivative of F_int.
Mat20 nonlinear_element_stiffness(const ElementTables& tables, const AnalysisSettings& settings,
                                  const ElementData& element) {
  const Mat3 dt =
      thickness_times_tensor_elastic_matrix(element, settings.analysis_type, settings.stress_state);
  Mat20 kt{};
  for (std::size_t p = 0; p < kAreaPoints; ++p) {
    const PointState st = point_state(tables, element, dt, p);

    // T = (W Bbar)^T Dt, then K_M = T Bbar. W only doubles the third row.
    Mat<3, 20> wb = st.bbar;
    for (double& entry : wb[2]) entry = 2.0 * entry;
    const Mat<20, 3> t = transpose_times(wb, dt);
    Mat20 contribution = times(t, st.bbar);

    // Initial-stress part, S = (Sxx, Syy, Sxy) at the point.
    const Mat2& r = st.r;
    const double sxx = st.s[0], syy = st.s[1], sxy = st.s[2];
    Vec10 dndx{}, dndy{}, s_dndx{}, s_dndy{};
    for (std::size_t a = 0; a < 10; ++a) {
      dndx[a] = r[0][0] * tables.dqsi[p][a] + r[1][0] * tables.deta[p][a];
      dndy[a] = r[0][1] * tables.dqsi[p][a] + r[1][1] * tables.deta[p][a];
    }
    for (std::size_t b = 0; b < 10; ++b) {
      s_dndx[b] = sxx * dndx[b] + sxy * dndy[b];
      s_dndy[b] = sxy * dndx[b] + syy * dndy[b];
    }
    for (std::size_t a = 0; a < 10; ++a)
      for (std::size_t b = 0; b < 10; ++b) {
        const double g = dndx[a] * s_dndx[b] + dndy[a] * s_dndy[b];
        contribution[2 * a][2 * b] += g;
        contribution[2 * a + 1][2 * b + 1] += g;
      }

    const double weight = kAreaWeight[p];
    for (std::size_t i = 0; i < 20; ++i)
      for (std::size_t j = 0; j < 20; ++j) kt[i][j] += contribution[i][j] * weight * st.det;
  }
  return kt;
}

bool turned_inside_out(const ElementTables& tables, const ElementData& element) {
  for (int k = 1; k <= kAreaPoints; ++k) {
    const Mat2 h = displacement_gradient(tables, element, k);
    if (!((1.0 + h[0][0]) * (1.0 + h[1][1]) - h[0][1] * h[1][0] > 0.0)) return true;
  }
  return false;
}

}  // namespace quorix
