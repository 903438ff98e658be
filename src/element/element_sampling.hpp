#pragma once
// Values of one element away from its nodes: where a point of the plane lies
// in the element's curved map, and the element's own small-strain stresses at
// its area points, against which smoothed stresses are measured.

#include <array>

#include "element/element_tables.hpp"
#include "element/small_matrix.hpp"
#include "model/model.hpp"

namespace quorix {

struct NaturalPoint {
  double qsi = 0.0;
  double eta = 0.0;
};

// The point of the plane at natural coordinates `at`: sum N_i (x_i, y_i).
std::array<double, 2> element_point(const ElementData& element, const NaturalPoint& at);

// Inverts the element's map by Newton's method from its centre: the natural
// coordinates of (x, y). True when the iteration converged to a point of the
// reference triangle (within round-off of its edges), so that (x, y) lies in
// the element; `at` is then that point.
bool locate_in_element(const ElementData& element, double x, double y, NaturalPoint& at);

// The element's stresses (xx, yy, xy) themselves, not times the thickness, at
// its seven area points, from D B u of the small-strain formulation.
std::array<Vec<3>, kAreaPoints> area_point_stresses(const ElementTables& tables,
                                                    const AnalysisSettings& settings,
                                                    const ElementData& element);

}  // namespace quorix
