#include "element/constitutive.hpp"

#include <gtest/gtest.h>

#include "element/sample_elements.hpp"

namespace quorix {
namespace {

using State = FixedText<12>;

void expect_near(const Mat3& actual, const Mat3& expected, double tolerance) {
  for (std::size_t r = 0; r < 3; ++r)
    for (std::size_t c = 0; c < 3; ++c)
      EXPECT_NEAR(actual[r][c], expected[r][c], tolerance) << r + 1 << ", " << c + 1;
}

TEST(ConstitutiveMatrices, MatchHandWorkedValues) {
  const Material unit = sample::material(1.0, 0.0), quarter = sample::material(1.0, 0.25);
  expect_near(elastic_matrix(unit, State("PLANE_STRESS")), {{{1, 0, 0}, {0, 1, 0}, {0, 0, 0.5}}}, 0.0);
  expect_near(compliance_matrix(unit, State("PLANE_STRESS")), {{{1, 0, 0}, {0, 1, 0}, {0, 0, 2}}}, 0.0);
  expect_near(elastic_matrix(quarter, State("PLANE_STRAIN")), {{{1.2, 0.4, 0}, {0.4, 1.2, 0}, {0, 0, 0.4}}},
              1e-15);
  expect_near(compliance_matrix(quarter, State("PLANE_STRAIN")),
              {{{0.9375, -0.3125, 0}, {-0.3125, 0.9375, 0}, {0, 0, 2.5}}}, 1e-16);
  // Plane strain in Lame form, plane stress with E / (1 - nu^2); D(3,3) is mu in both.
  const double e = 210000.0, nu = 0.3, c = e / (1.0 - nu * nu);
  const double lambda = nu * e / ((1.0 + nu) * (1.0 - 2.0 * nu)), mu = e / (2.0 * (1.0 + nu));
  expect_near(elastic_matrix(sample::material(e, nu), State("PLANE_STRAIN")),
              {{{lambda + 2.0 * mu, lambda, 0}, {lambda, lambda + 2.0 * mu, 0}, {0, 0, mu}}}, 1e-9);
  expect_near(elastic_matrix(sample::material(e, nu), State("PLANE_STRESS")),
              {{{c, nu * c, 0}, {nu * c, c, 0}, {0, 0, mu}}}, 1e-9);
}

TEST(ConstitutiveMatrices, ComplianceInvertsElasticity) {
  for (const char* state : {"PLANE_STRESS", "PLANE_STRAIN"})
    for (const Material& m : {sample::material(1.0, 0.25), sample::material(210000.0, 0.3),
                              sample::material(3.5, -0.2), sample::material(70.0, 0.45)}) {
      SCOPED_TRACE(state);
      expect_near(times(compliance_matrix(m, State(state)), elastic_matrix(m, State(state))),
                  {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}, 1e-14);
    }
}

TEST(ConstitutiveMatrices, OnlyTheExactKeywordSelectsTheOtherBranch) {
  const Material m = sample::material(1.0, 0.25);
  const Mat3 plane_stress_d = elastic_matrix(m, State("PLANE_STRESS"));
  const Mat3 plane_strain_q = compliance_matrix(m, State("PLANE_STRAIN"));
  EXPECT_NE(elastic_matrix(m, State("PLANE_STRAIN")), plane_stress_d);
  EXPECT_NE(compliance_matrix(m, State("PLANE_STRESS")), plane_strain_q);
  for (const char* other :
       {"plane_strain", " PLANE_STRAIN", "", "PLANE"}) {  // D: plane stress, Q: plane strain
    EXPECT_EQ(elastic_matrix(m, State(other)), plane_stress_d) << "'" << other << "'";
    EXPECT_EQ(compliance_matrix(m, State(other)), plane_strain_q) << "'" << other << "'";
  }
}

}  // namespace
}  // namespace quorix
