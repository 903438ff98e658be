#include "output/error_estimate.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "element/constitutive.hpp"
#include "element/element_kinematics.hpp"
#include "element/element_sampling.hpp"
#include "element/element_tables.hpp"
#include "parallel/task_pool.hpp"

namespace quorix {

namespace {

// v^T Q v for a symmetric 3 x 3 Q.
double energy_density(const Mat3& q, const Vec<3>& v) {
  double sum = 0.0;
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = 0; j < 3; ++j) sum += v[i] * q[i][j] * v[j];
  return sum;
}

struct ElementEnergies {
  double error = 0.0;     // half the integral of (s* - s)^T Q (s* - s) t
  double solution = 0.0;  // half the integral of s^T Q s t: the strain energy
};

ElementEnergies element_energies(const Model& model, const AnalysisSettings& settings,
                                 const ElementTables& tables, const NodalResults& results,
                                 const Element& record) {
  const ElementData element = gather_element(model, record);
  const Mat3 q = compliance_matrix(element.material, settings.stress_state);
  const std::array<Vec<3>, kAreaPoints> own = area_point_stresses(tables, settings, element);
  ElementEnergies sums;
  for (std::size_t k = 0; k < kAreaPoints; ++k) {
    Vec<3> smoothed{};
    for (std::size_t i = 0; i < 10; ++i) {
      const NodeStress& s = results.stress(record.nodes[i]);
      smoothed[0] += tables.shape[k][i] * s.sxx;
      smoothed[1] += tables.shape[k][i] * s.syy;
      smoothed[2] += tables.shape[k][i] * s.sxy;
    }
    const Vec<3> difference = {smoothed[0] - own[k][0], smoothed[1] - own[k][1], smoothed[2] - own[k][2]};
    const double weight =
        kAreaWeight[k] * determinant(jacobian(tables, element, static_cast<int>(k) + 1)) * element.thickness;
    // Energies: half the integral of the density.
    sums.error += 0.5 * weight * energy_density(q, difference);
    sums.solution += 0.5 * weight * energy_density(q, own[k]);
  }
  return sums;
}

}  // namespace

ErrorEstimate estimate_stress_error(const Model& model, const AnalysisSettings& settings,
                                    const ElementTables& tables, const NodalResults& results,
                                    TaskPool& pool) {
  ErrorEstimate estimate;
  if (settings.analysis_type != "LINEAR") return estimate;
  estimate.estimated = true;
  const int elements = model.elements.size();
  std::vector<ElementEnergies> energies(static_cast<std::size_t>(elements));
  constexpr int kUnit = 256;
  pool.for_each_unit((elements + kUnit - 1) / kUnit, [&](int unit) {
    for (int e = unit * kUnit; e < std::min(elements, (unit + 1) * kUnit); ++e)
      energies[static_cast<std::size_t>(e)] =
          element_energies(model, settings, tables, results, model.elements(e + 1));
  });
  double error = 0.0;
  double solution = 0.0;
  estimate.element_error.resize(energies.size());
  for (std::size_t e = 0; e < energies.size(); ++e) {
    error += energies[e].error;
    solution += energies[e].solution;
    estimate.element_error[e] = std::sqrt(std::max(energies[e].error, 0.0));
  }
  estimate.error_norm = std::sqrt(std::max(error, 0.0));
  estimate.solution_norm = std::sqrt(std::max(solution, 0.0));
  estimate.relative = estimate.solution_norm > 0.0 ? estimate.error_norm / estimate.solution_norm : 0.0;
  return estimate;
}

Table1<double> relative_element_errors(const ErrorEstimate& estimate) {
  Table1<double> shares(static_cast<std::int64_t>(estimate.element_error.size()), 0.0);
  if (estimate.solution_norm > 0.0)
    for (std::size_t e = 0; e < estimate.element_error.size(); ++e)
      shares[e] = estimate.element_error[e] / estimate.solution_norm;
  return shares;
}

std::vector<double> refined_element_sizes(const Model& model, const ErrorEstimate& estimate, double target) {
  std::vector<double> sizes;
  if (!estimate.estimated || estimate.element_error.empty()) return sizes;
  const double share =
      target * estimate.solution_norm / std::sqrt(static_cast<double>(estimate.element_error.size()));
  sizes.resize(estimate.element_error.size());
  for (std::size_t e = 0; e < sizes.size(); ++e) {
    const Element& element = model.elements[e];
    double edge = 0.0;
    for (std::size_t a = 0; a < 3; ++a) {
      const Node& p = model.nodes(element.nodes[a]);
      const Node& q = model.nodes(element.nodes[(a + 1) % 3]);
      edge = std::max(edge, std::hypot(q.x - p.x, q.y - p.y));
    }
    const double error = estimate.element_error[e];
    const double factor = error > 0.0 ? std::cbrt(share / error) : 4.0;
    sizes[e] = edge * std::clamp(factor, 0.1, 4.0);
  }
  return sizes;
}

}  // namespace quorix
