#include <gtest/gtest.h>

#include "element/element_routines.hpp"
#include "element/sample_elements.hpp"

namespace quorix {
namespace {

using sample::max_abs;

Mat20 stiffness(const ElementData& element, const char* stress_state = "PLANE_STRESS") {
  return linear_element_stiffness(sample::tables(), sample::settings("LINEAR", stress_state), element);
}

TEST(LinearElementStiffness, IsSymmetricAndBalanced) {
  for (const ElementData& element : {sample::distorted_element(), sample::example_element()}) {
    const Mat20 k = stiffness(element, "PLANE_STRAIN");
    const double tol = 1e-12 * max_abs(k);
    for (std::size_t i = 0; i < 20; ++i)
      for (std::size_t j = 0; j < i; ++j) EXPECT_NEAR(k[i][j], k[j][i], tol);
    // Rigid motions give no force; any displacements give forces summing to zero in x and in y.
    for (auto field : {+[](double, double) {
                         return std::pair{1.0, 0.0};
                       },
                       +[](double, double) {
                         return std::pair{0.0, 1.0};
                       },
                       +[](double x, double y) {
                         return std::pair{-y, x};
                       }})
      for (double force : times(k, sample::nodal_vector(element, field))) EXPECT_NEAR(force, 0.0, 10.0 * tol);
    Vec20 d{};
    for (std::size_t i = 0; i < 20; ++i) d[i] = std::sin(1.7 * static_cast<double>(i) + 0.3);
    const Vec20 f = times(k, d);
    double fx = 0.0, fy = 0.0;
    for (std::size_t a = 0; a < 10; ++a) {
      fx += f[2 * a];
      fy += f[2 * a + 1];
    }
    EXPECT_NEAR(fx, 0.0, tol);
    EXPECT_NEAR(fy, 0.0, tol);
  }
}

TEST(LinearElementStiffness, StoresTheStrainEnergyOfAUniformStretch) {
  // u = eps x, v = 0: d^T K d = t A eps^2 E / (1 - nu^2), A by the rule (exact here).
  const ElementData element = sample::distorted_element(sample::material(200.0, 0.3), 0.5);
  double area = 0.0;
  for (int k = 1; k <= kAreaPoints; ++k) {
    const Mat2 j = jacobian(sample::tables(), element, k);
    area += kAreaWeight[static_cast<std::size_t>(k - 1)] * (j[0][0] * j[1][1] - j[0][1] * j[1][0]);
  }
  const Vec20 d = sample::nodal_vector(element, [](double x, double) { return std::pair{0.01 * x, 0.0}; });
  const Vec20 f = times(stiffness(element), d);
  double energy = 0.0;
  for (std::size_t i = 0; i < 20; ++i) energy += d[i] * f[i];
  EXPECT_NEAR(energy, 0.5 * area * 1e-4 * 200.0 / (1.0 - 0.09), 1e-12);
}

TEST(LinearElementStiffness, ScalesWithThicknessNotWithSize) {
  const Mat20 k = stiffness(sample::distorted_element(sample::material(200.0, 0.3), 0.5));
  const Mat20 thicker = stiffness(sample::distorted_element(sample::material(200.0, 0.3), 1.0));
  ElementData larger = sample::distorted_element(sample::material(200.0, 0.3), 0.5);
  for (std::size_t a = 0; a < 10; ++a) {
    larger.x[a] = 3.0 * larger.x[a];
    larger.y[a] = 3.0 * larger.y[a];
  }
  const Mat20 scaled = stiffness(larger);
  for (std::size_t i = 0; i < 20; ++i)
    for (std::size_t j = 0; j < 20; ++j) {
      EXPECT_EQ(thicker[i][j], 2.0 * k[i][j]);  // doubling is exact in every operation
      EXPECT_NEAR(scaled[i][j], k[i][j], 1e-12 * max_abs(k));
    }
}

TEST(LinearElementStiffness, ClockwiseListingNegatesTheMatrix) {
  const Mat20 k = stiffness(sample::distorted_element());
  const Mat20 k_clockwise = stiffness(sample::clockwise(sample::distorted_element()));
  for (std::size_t i = 0; i < 20; ++i)
    for (std::size_t j = 0; j < 20; ++j)
      EXPECT_NEAR(k_clockwise[i][j],
                  -k[2 * sample::kClockwiseOrder[i / 2] + i % 2][2 * sample::kClockwiseOrder[j / 2] + j % 2],
                  1e-12 * max_abs(k));
}

TEST(LinearElementStiffness, StressStatesAgreeOnlyWithoutPoissonEffect) {
  const ElementData element = sample::distorted_element(sample::material(200.0, 0.0), 0.5);
  EXPECT_EQ(stiffness(element, "PLANE_STRAIN"), stiffness(element, "PLANE_STRESS"));
  EXPECT_NE(stiffness(sample::distorted_element(), "PLANE_STRAIN"), stiffness(sample::distorted_element()));
}

}  // namespace
}  // namespace quorix
