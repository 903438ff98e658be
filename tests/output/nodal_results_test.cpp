#include "output/nodal_results.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "parallel/task_pool.hpp"
#include "support/plate_mesh.hpp"

namespace quorix {
namespace {

TEST(NodalResults, PlaneStrainPrincipalStressesCarryTheThicknessLikeSxx) {
  // Uniaxial stress sxx = 100 in plane strain (nu = 0.3, so szz = 30) on a
  // plate 0.01 thick: the listed Sxx, S11..S33 and Svm are the true values
  // times 0.01, Szz stays the stress itself, and the true stresses are listed
  // apart.
  testing::PlateSpec layout;
  layout.stress_state = "PLANE_STRAIN";
  layout.thickness = 0.01;
  layout.poisson = 0.3;
  layout.distortion = 0.2;
  AnalysisSettings settings;
  Model model = testing::make_plate(layout, settings);
  const double nu = layout.poisson;
  const double exx = 100.0 * (1.0 - nu * nu) / layout.young;
  const double eyy = -nu / (1.0 - nu) * exx;  // keeps syy = 0
  for (Node& node : model.nodes) {
    node.u = exx * node.x;
    node.v = eyy * node.y;
  }
  const NodalResults results = nodal_results(model, settings, testing::element_tables(), shared_task_pool());
  const double von_mises = std::sqrt((100.0 * 100.0 + 30.0 * 30.0 + 70.0 * 70.0) / 2.0);  // 88.88
  for (int i = 1; i <= model.nodes.size(); ++i) {
    const NodeStress& listed = results.listed(i);
    EXPECT_NEAR(listed.sxx, 1.0, 1e-9);
    EXPECT_NEAR(listed.szz, 30.0, 1e-9);
    EXPECT_NEAR(listed.principal.s11, 1.0, 1e-9);
    EXPECT_NEAR(listed.principal.s22, 0.3, 1e-9);
    EXPECT_NEAR(listed.principal.s33, 0.0, 1e-9);
    EXPECT_NEAR(listed.principal.von_mises, 0.01 * von_mises, 1e-9);
    const NodeStress& stress = results.stress(i);
    EXPECT_NEAR(stress.sxx, 100.0, 1e-7);
    EXPECT_NEAR(stress.principal.von_mises, von_mises, 1e-7);
  }
  EXPECT_NEAR(results.listed(1).principal.von_mises, 0.889, 5e-4);
}

}  // namespace
}  // namespace quorix
