#include "element/element_sampling.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "element/constitutive.hpp"
#include "element/element_kinematics.hpp"

namespace quorix {

std::array<double, 2> element_point(const ElementData& element, const NaturalPoint& at) {
  const Vec10 n = shape_functions(at.qsi, at.eta);
  double x = 0.0;
  double y = 0.0;
  for (std::size_t i = 0; i < 10; ++i) {
    x += n[i] * element.x[i];
    y += n[i] * element.y[i];
  }
  return {x, y};
}

bool locate_in_element(const ElementData& element, double x, double y, NaturalPoint& at) {
  // Newton's method converges quadratically near the answer; far outside the
  // element the cubic map may send it anywhere, and it is given up.
  constexpr int kMaxSteps = 30;
  constexpr double kConverged = 1.0e-13;  // a step in natural coordinates, near round-off
  constexpr double kEdge = 1.0e-10;       // round-off of the reference triangle's edges
  NaturalPoint p{1.0 / 3.0, 1.0 / 3.0};
  bool converged = false;
  for (int step = 0; step < kMaxSteps && !converged; ++step) {
    const std::array<double, 2> here = element_point(element, p);
    Vec10 dqsi{}, deta{};
    shape_derivatives(p.qsi, p.eta, dqsi, deta);
    const Mat2 j = jacobian_from(dqsi, deta, element);
    if (!(determinant(j) != 0.0)) return false;
    const Mat2 r = inverse_of(j);
    const double dx = x - here[0];
    const double dy = y - here[1];
    const double d_qsi = r[0][0] * dx + r[0][1] * dy;
    const double d_eta = r[1][0] * dx + r[1][1] * dy;
    p.qsi += d_qsi;
    p.eta += d_eta;
    if (!std::isfinite(p.qsi) || !std::isfinite(p.eta) || std::abs(p.qsi) > 10.0 || std::abs(p.eta) > 10.0)
      return false;
    converged = std::abs(d_qsi) + std::abs(d_eta) <= kConverged;
  }
  if (!converged || p.qsi < -kEdge || p.eta < -kEdge || 1.0 - p.qsi - p.eta < -kEdge) return false;
  at = p;
  return true;
}

std::array<Vec<3>, kAreaPoints> area_point_stresses(const ElementTables& tables,
                                                    const AnalysisSettings& settings,
                                                    const ElementData& element) {
  const Mat3 d = elastic_matrix(element.material, settings.stress_state);
  const Vec20 u = element_displacements(element);
  std::array<Vec<3>, kAreaPoints> stresses{};
  for (int k = 1; k <= kAreaPoints; ++k)
    stresses[static_cast<std::size_t>(k - 1)] =
        times(d, times(strain_displacement_matrix(tables, element, k), u));
  return stresses;
}

}  // namespace quorix
