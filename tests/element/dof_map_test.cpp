#include "element/dof_map.hpp"

#include <gtest/gtest.h>

#include "element/sample_elements.hpp"

namespace quorix {
namespace {

TEST(ElementDofNumbers, ComeFromTheNodeIds) {
  ElementData element = sample::example_element();
  EXPECT_EQ(element_dof_numbers(element),
            (std::array<int, 20>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
  element.node_ids = {7, 3, 12, 1, 2, 4, 5, 6, 8, 9};
  EXPECT_EQ(element_dof_numbers(element),
            (std::array<int, 20>{13, 14, 5, 6, 23, 24, 1, 2, 3, 4, 7, 8, 9, 10, 11, 12, 15, 16, 17, 18}));
}

TEST(ElementGravityVector, DistributesTheWeightConsistently) {
  // Straight-sided cubic triangle: integral of N_i dA is A/30 at a corner, 3A/40
  // at an edge node, 9A/20 at the centre. Area 4.5, specific weight 2, t 0.01.
  const ElementData element = sample::example_element(sample::material(1000.0, 0.3, 2.0), 0.01);
  const Vec20 g = element_gravity_vector(sample::tables(), element);
  const Vec20 g_clockwise = element_gravity_vector(sample::tables(), sample::clockwise(element));
  const double weight = 2.0 * 0.01 * 4.5;
  double total = 0.0, total_clockwise = 0.0;
  for (std::size_t a = 0; a < 10; ++a) {
    EXPECT_EQ(g[2 * a], 0.0);
    EXPECT_NEAR(g[2 * a + 1],
                -weight * (a < 3   ? 1.0 / 30.0
                           : a < 9 ? 3.0 / 40.0
                                   : 9.0 / 20.0),
                1e-15)
        << a + 1;
    total += g[2 * a + 1];
    total_clockwise += g_clockwise[2 * a + 1];
  }
  EXPECT_NEAR(total, -weight, 1e-15);
  EXPECT_NEAR(total_clockwise, weight, 1e-15);
  // No weight, or no thickness: no load.
  EXPECT_EQ(element_gravity_vector(sample::tables(), sample::distorted_element()), Vec20{});
  EXPECT_EQ(
      element_gravity_vector(sample::tables(), sample::distorted_element(sample::material(200, 0.3, 5), 0.0)),
      Vec20{});
}

}  // namespace
}  // namespace quorix
