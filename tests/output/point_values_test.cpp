// Results between the nodes, and the error estimate, on displacement fields
// set by hand: a smooth field on the curved elements of the plate with a
// hole, and a linear one, which every element reproduces exactly, on an
// irregular mesh.

#include "output/point_values.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "model/input_reader.hpp"
#include "output/error_estimate.hpp"
#include "parallel/task_pool.hpp"
#include "support/plate_mesh.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

// The plate with a hole (curved elements along the hole), displaced by a
// smooth field that no element reproduces exactly.
Model curved_plate(AnalysisSettings& settings) {
  Model model;
  read_input_text(testing::example_text("hole_plate.dat"), "hole_plate.dat", model, settings,
                  shared_task_pool());
  for (Node& node : model.nodes) {
    node.u = 1e-3 * std::sin(node.x / 30.0) * node.y / 100.0;
    node.v = 1e-3 * std::cos(node.y / 40.0) * node.x / 100.0;
  }
  return model;
}

TEST(PointValues, AtEveryNodeTheNodesOwnValues) {
  AnalysisSettings settings;
  const Model model = curved_plate(settings);
  const NodalResults results = nodal_results(model, settings, testing::element_tables(), shared_task_pool());
  const PointLocator locator(model);
  for (int k = 1; k <= model.nodes.size(); ++k) {
    const Node& node = model.nodes(k);
    const PointValues at = values_at(model, results, locator, node.x, node.y);
    ASSERT_NE(at.element, 0) << k;
    EXPECT_NEAR(at.u, node.u, 1e-15) << k;
    EXPECT_NEAR(at.v, node.v, 1e-15) << k;
    const NodeStress& s = results.stress(k);
    const double scale = std::abs(s.sxx) + std::abs(s.syy) + std::abs(s.sxy);
    EXPECT_NEAR(at.stress.sxx, s.sxx, 1e-12 * scale) << k;
    EXPECT_NEAR(at.stress.sxy, s.sxy, 1e-12 * scale) << k;
    EXPECT_NEAR(at.stress.principal.von_mises, s.principal.von_mises, 1e-12 * scale) << k;
  }
}

TEST(PointValues, APointInsideACurvedElementIsFoundWhereItMapsBack) {
  AnalysisSettings settings;
  const Model model = curved_plate(settings);
  const PointLocator locator(model);
  const double size = std::hypot(100.0, 100.0);
  int curved = 0;
  for (int e = 1; e <= model.elements.size(); ++e) {
    const ElementData element = gather_element(model, model.elements(e));
    // An edge node off the chord of its edge: the element is curved.
    const double chord_x = (2.0 * element.x[0] + element.x[1]) / 3.0 - element.x[3];
    const double chord_y = (2.0 * element.y[0] + element.y[1]) / 3.0 - element.y[3];
    if (std::hypot(chord_x, chord_y) < 1e-6) continue;
    ++curved;
    for (const NaturalPoint inside :
         {NaturalPoint{0.2, 0.3}, NaturalPoint{0.6, 0.35}, NaturalPoint{0.05, 0.05}}) {
      const std::array<double, 2> point = element_point(element, inside);
      NaturalPoint found;
      ASSERT_EQ(locator.find(point[0], point[1], found), e);
      const std::array<double, 2> back = element_point(element, found);
      EXPECT_LE(std::hypot(back[0] - point[0], back[1] - point[1]), 1e-12 * size);
    }
  }
  EXPECT_GE(curved, 8);
  NaturalPoint unused;
  EXPECT_EQ(locator.find(5.0, 5.0, unused), 0);  // in the hole
  EXPECT_EQ(locator.find(150.0, 50.0, unused), 0);
}

// A displacement field linear in x and y: every element strains uniformly,
// the averaged stresses are that uniform stress, and so is every point.
TEST(PointValues, APatchOfElementsGivesTheUniformStressEverywhere) {
  testing::PlateSpec layout;
  layout.distortion = 0.3;
  AnalysisSettings settings;
  Model model = testing::make_plate(layout, settings);
  const double exx = 1e-3, eyy = -4e-4, gamma = 6e-4;
  for (Node& node : model.nodes) {
    node.u = exx * node.x + gamma * node.y;
    node.v = eyy * node.y;
  }
  const NodalResults results = nodal_results(model, settings, testing::element_tables(), shared_task_pool());
  // Plane stress, E = 1000, nu = 0.25.
  const double c = 1000.0 / (1.0 - 0.0625);
  const double sxx = c * (exx + 0.25 * eyy), syy = c * (eyy + 0.25 * exx), sxy = 400.0 * gamma;
  const PointLocator locator(model);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> x(0.0, layout.length), y(0.0, layout.height);
  for (int k = 0; k < 200; ++k) {
    const PointValues at = values_at(model, results, locator, x(random), y(random));
    ASSERT_NE(at.element, 0);
    EXPECT_NEAR(at.stress.sxx, sxx, 1e-12 * sxx);
    EXPECT_NEAR(at.stress.syy, syy, 1e-12 * sxx);
    EXPECT_NEAR(at.stress.sxy, sxy, 1e-12 * sxx);
    EXPECT_NEAR(at.u, exx * at.x + gamma * at.y, 1e-15);
  }
  EXPECT_EQ(values_at(model, results, locator, -0.1, 1.0).element, 0);
  // Nothing for the estimate to find, and an energy of the uniform stress.
  const ErrorEstimate estimate =
      estimate_stress_error(model, settings, testing::element_tables(), results, shared_task_pool());
  EXPECT_LT(estimate.relative, 1e-12);
  const double energy = 0.5 * (sxx * exx + syy * eyy + sxy * gamma) * layout.length * layout.height;
  EXPECT_NEAR(estimate.solution_norm, std::sqrt(energy), 1e-12 * std::sqrt(energy));
}

}  // namespace
}  // namespace quorix
