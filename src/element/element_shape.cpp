#include "element/element_shape.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace quorix {

namespace {

// Whether (ax, ay) and (bx, by) point the same way (positive dot product).
// Each is first divided by its larger component, so that the test holds for
// coordinates whose products would overflow.
bool same_way(double ax, double ay, double bx, double by) {
  const double a = std::max(std::fabs(ax), std::fabs(ay));
  const double b = std::max(std::fabs(bx), std::fabs(by));
  if (!(a > 0.0) || !(b > 0.0) || std::isinf(a) || std::isinf(b)) return false;
  return (ax / a) * (bx / b) + (ay / a) * (by / b) > 0.0;
}

}  // namespace

EdgeFold first_folded_edge(const ElementData& element) {
  for (std::size_t e = 0; e < 3; ++e) {
    double x[4], y[4];
    for (std::size_t j = 0; j < 4; ++j) {
      const auto a = static_cast<std::size_t>(kEdgeNodes[e][j] - 1);
      x[j] = element.x[a];
      y[j] = element.y[a];
    }
    const double chord_x = x[3] - x[0];
    const double chord_y = y[3] - y[0];
    if (chord_x == 0.0 && chord_y == 0.0) return EdgeFold{static_cast<int>(e + 1), 0};
    for (std::size_t j = 0; j < 4; ++j) {
      double tx = 0.0, ty = 0.0;
      for (std::size_t m = 0; m < 4; ++m) {
        tx += kEdgeTangent[j][m] * x[m];
        ty += kEdgeTangent[j][m] * y[m];
      }
      if (!same_way(tx, ty, chord_x, chord_y))
        return EdgeFold{static_cast<int>(e + 1), static_cast<int>(j + 1)};
    }
  }
  return EdgeFold{};
}

std::string edge_order_problem(const ElementData& element) {
  const EdgeFold fold = first_folded_edge(element);
  if (fold.edge == 0) return "";
  const auto& local = kEdgeNodes[static_cast<std::size_t>(fold.edge - 1)];
  std::string text = "expected the nodes of edge " + std::to_string(fold.edge) + " in order along it (nodes ";
  for (std::size_t j = 0; j < 4; ++j) text += std::to_string(local[j]) + (j < 3 ? ", " : "");
  text += " of the record: one end, the two thirds, the other end), found ";
  if (fold.position == 0) return text + "both its ends at the same place";
  return text + "the edge heading back at node " +
         std::to_string(local[static_cast<std::size_t>(fold.position - 1)]);
}

}  // namespace quorix
