#include "element/element_shape.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

#include "sample_elements.hpp"

namespace quorix {
namespace {

using sample::Point;

// An element whose edge 1 (from corner 2 to corner 1) is an arc of the unit
// circle about the origin, from angle `from` to angle `to`, its two nodes at
// the thirds of the arc; the other edges straight, their nodes at the thirds;
// the centre node where the edges put it (the edge nodes' mean times 3/2
// less the corners' mean times 1/2, the corners' mean for straight edges).
ElementData element_on_arc(double from, double to, Point corner_3) {
  const auto arc = [&](double t) {
    const double angle = from + t * (to - from);
    return Point{std::cos(angle), std::sin(angle)};
  };
  const Point p2 = arc(0.0), p1 = arc(1.0), p3 = corner_3;
  const auto at = [](Point a, Point b, double t) {
    return Point{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
  };
  std::array<Point, 10> xy = {p1,
                              p2,
                              p3,
                              arc(2.0 / 3.0),
                              arc(1.0 / 3.0),
                              at(p3, p2, 2.0 / 3.0),
                              at(p3, p2, 1.0 / 3.0),
                              at(p1, p3, 2.0 / 3.0),
                              at(p1, p3, 1.0 / 3.0),
                              {}};
  for (std::size_t a = 0; a < 9; ++a) {
    const double weight = a < 3 ? -1.0 / 6.0 : 1.0 / 4.0;
    xy[9].x += weight * xy[a].x;
    xy[9].y += weight * xy[a].y;
  }
  return sample::element_at(xy, sample::material(1.0, 0.0), 1.0);
}

// A quarter circle split into 1, 2, 4 or 8 cubic edges, as a mesh generator
// would make it, with the element inside the circle (edge bulging out) or
// outside it (edge bulging in): every edge runs one way.
TEST(EdgeOrder, CurvedEdgesOfAQuarterCirclePass) {
  const double quarter = std::numbers::pi / 2.0;
  for (const int pieces : {1, 2, 4, 8}) {
    const double step = quarter / pieces;
    for (int k = 0; k < pieces; ++k) {
      const double a = k * step, b = (k + 1) * step, middle = (a + b) / 2.0;
      const Point outside = {1.6 * std::cos(middle), 1.6 * std::sin(middle)};
      for (const ElementData& element :
           {element_on_arc(b, a, Point{0.0, 0.0}), element_on_arc(a, b, outside)}) {
        SCOPED_TRACE(testing::Message() << pieces << " pieces, piece " << k);
        ASSERT_EQ(first_nonpositive_jacobian_point(sample::tables(), element), 0);
        EXPECT_EQ(first_folded_edge(element).edge, 0);
        EXPECT_EQ(edge_order_problem(element), "");
      }
    }
  }
}

}  // namespace
}  // namespace quorix
