#pragma once
// Sample elements and small helpers shared by the element tests.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <utility>

#include "element/element_tables.hpp"
#include "element/small_matrix.hpp"
#include "model/model.hpp"

namespace quorix::sample {

struct Point {
  double x, y;
};

inline const ElementTables& tables() {
  static const ElementTables built = init_element_tables();
  return built;
}

inline Material material(double young, double nu, double weight = 0.0) { return {1, young, nu, weight}; }

inline AnalysisSettings settings(std::string_view analysis_type, std::string_view stress_state) {
  AnalysisSettings s;
  s.analysis_type = analysis_type;
  s.stress_state = stress_state;
  return s;
}

// One element on nodes 1..10 with material 1 and thickness 1, read back from a model.
inline ElementData element_at(const std::array<Point, 10>& xy, const Material& mat, double thickness) {
  Model model;
  model.nodes = Table1<Node>(10);
  for (int n = 1; n <= 10; ++n) {
    const Point& p = xy[static_cast<std::size_t>(n - 1)];
    model.nodes(n) = {n, p.x, p.y, 0.0, 0.0};
  }
  model.materials = Table1<Material>(1, mat);
  model.thicknesses = Table1<Thickness>(1, Thickness{1, thickness});
  model.elements = Table1<Element>(1, Element{1, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}});
  return gather_element(model, model.elements(1));
}

// Nodes at x = qsi, y = eta.
inline ElementData reference_element() {
  std::array<Point, 10> xy;
  for (std::size_t a = 0; a < 10; ++a) xy[a] = {kNodeQsi[a], kNodeEta[a]};
  return element_at(xy, material(1.0, 0.0), 1.0);
}

// Curved edges (a quadratic map of the reference triangle), edge and centre
// nodes off their third points, away from the origin.
inline ElementData distorted_element(const Material& mat = material(200.0, 0.3), double thickness = 0.5) {
  const std::array<Point, 10> natural = {{{1, 0},
                                          {0, 1},
                                          {0, 0},
                                          {0.62, 0.38},
                                          {0.36, 0.64},
                                          {0, 0.7},
                                          {0, 0.3},
                                          {0.35, 0},
                                          {0.64, 0},
                                          {0.3, 0.36}}};
  std::array<Point, 10> xy;
  for (std::size_t a = 0; a < 10; ++a) {
    const double q = natural[a].x, e = natural[a].y;
    xy[a] = {1.0 + 2.0 * q + 0.5 * e + 0.3 * q * e - 0.1 * e * e,
             -0.5 + 0.2 * q + 1.5 * e + 0.25 * q * q - 0.2 * q * e};
  }
  return element_at(xy, mat, thickness);
}

// The one-element example: straight sides, corners (3,0), (0,3), (0,0).
inline ElementData example_element(const Material& mat = material(1000.0, 0.3), double thickness = 0.01) {
  return element_at({{{3, 0}, {0, 3}, {0, 0}, {2, 1}, {1, 2}, {0, 2}, {0, 1}, {1, 0}, {2, 0}, {1, 1}}}, mat,
                    thickness);
}

// The same nodes listed clockwise: new local node a is old local node kClockwiseOrder[a].
inline constexpr std::array<std::size_t, 10> kClockwiseOrder = {1, 0, 2, 4, 3, 8, 7, 6, 5, 9};
inline ElementData clockwise(const ElementData& element) {
  ElementData out = element;
  for (std::size_t a = 0; a < 10; ++a) {
    const std::size_t old = kClockwiseOrder[a];
    out.x[a] = element.x[old];
    out.y[a] = element.y[old];
    out.u[a] = element.u[old];
    out.v[a] = element.v[old];
    out.node_ids[a] = element.node_ids[old];
  }
  return out;
}

// Nodal values (u1, v1, ..., u10, v10) of a field (x, y) -> (u, v).
template <class Field>
Vec20 nodal_vector(const ElementData& element, Field field) {
  Vec20 d{};
  for (std::size_t a = 0; a < 10; ++a) std::tie(d[2 * a], d[2 * a + 1]) = field(element.x[a], element.y[a]);
  return d;
}

inline ElementData with_displacements(ElementData element, const Vec20& d) {
  for (std::size_t a = 0; a < 10; ++a) {
    element.u[a] = d[2 * a];
    element.v[a] = d[2 * a + 1];
  }
  return element;
}

template <class Field>
ElementData displaced(const ElementData& element, Field field) {
  return with_displacements(element, nodal_vector(element, field));
}

// Rigid rotation by phi about the origin, as total displacements.
inline auto rotation(double phi) {
  return [phi](double x, double y) {
    return std::pair{(std::cos(phi) - 1.0) * x - std::sin(phi) * y,
                     std::sin(phi) * x + (std::cos(phi) - 1.0) * y};
  };
}

template <std::size_t N>
double max_abs(const Vec<N>& v) {
  double m = 0.0;
  for (double x : v) m = std::max(m, std::abs(x));
  return m;
}
template <std::size_t R, std::size_t C>
double max_abs(const Mat<R, C>& a) {
  double m = 0.0;
  for (const auto& row : a) m = std::max(m, max_abs(row));
  return m;
}

}  // namespace quorix::sample
