#include <gtest/gtest.h>

#include <cmath>

#include "element/element_routines.hpp"
#include "element/sample_elements.hpp"

namespace quorix {
namespace {

using sample::max_abs;

Vec20 forces(const ElementData& element, const char* state = "PLANE_STRESS") {
  return element_internal_forces(sample::tables(), sample::settings("NONLINEAR", state), element);
}
Mat20 tangent(const ElementData& element, const char* state = "PLANE_STRESS",
              const char* type = "NONLINEAR") {
  return nonlinear_element_stiffness(sample::tables(), sample::settings(type, state), element);
}
Mat20 linear(const ElementData& element, const char* state = "PLANE_STRESS") {
  return linear_element_stiffness(sample::tables(), sample::settings("LINEAR", state), element);
}

// Stretch, shear and a rotation of half a radian; det F stays positive.
Vec20 large_displacements(const ElementData& element) {
  return sample::nodal_vector(element, [](double x, double y) {
    const auto [ru, rv] = sample::rotation(0.5)(x, y);
    return std::pair{ru + 0.12 * x + 0.05 * y * y - 0.08 * x * y, rv - 0.1 * x + 0.07 * y + 0.04 * x * x};
  });
}

Vec20 scaled(Vec20 v, double s) {
  for (double& x : v) x = s * x;
  return v;
}

TEST(NonlinearElement, UnstrainedElementHasNoForceAndTheLinearTangent) {
  for (const char* state : {"PLANE_STRESS", "PLANE_STRAIN"}) {
    const ElementData still = sample::distorted_element();
    const ElementData moved = sample::displaced(still, [](double, double) { return std::pair{0.4, -0.3}; });
    const Mat20 k = linear(still, state);
    EXPECT_EQ(forces(still, state), Vec20{});
    for (double f : forces(moved, state)) EXPECT_NEAR(f, 0.0, 1e-13 * max_abs(k));
    for (const Mat20& kt : {tangent(still, state), tangent(moved, state)})
      for (std::size_t i = 0; i < 20; ++i)
        for (std::size_t j = 0; j < 20; ++j) EXPECT_NEAR(kt[i][j], k[i][j], 1e-13 * max_abs(k)) << state;
  }
}

TEST(NonlinearElement, FiniteRigidRotationGivesNoForce) {
  const double scale = max_abs(linear(sample::distorted_element()));
  for (double phi : {0.3, 1.2, 3.0})
    for (double f : forces(sample::displaced(sample::distorted_element(), sample::rotation(phi))))
      EXPECT_NEAR(f, 0.0, 1e-12 * scale) << "phi " << phi;
}

TEST(NonlinearElement, UniformStretchGivesGreenLagrangeStrain) {
  // u = eps x: Exx = eps + eps^2/2, Eyy = Exy = 0, and the u-rows carry the
  // stretch 1 + eps: F_int = Exx (1 + eps) K d1 on x entries, Exx K d1 on y, d1 the field u = x.
  const ElementData element = sample::example_element();
  const Vec20 unit = sample::nodal_vector(element, [](double x, double) { return std::pair{x, 0.0}; });
  const Vec20 k_unit = times(linear(element), unit);
  const double eps = 0.1, exx = eps + eps * eps / 2.0;
  const Vec20 f = forces(sample::with_displacements(element, scaled(unit, eps)));
  double fx = 0.0;
  for (std::size_t a = 0; a < 10; ++a) {
    EXPECT_NEAR(f[2 * a], exx * (1.0 + eps) * k_unit[2 * a], 1e-12 * max_abs(k_unit));
    EXPECT_NEAR(f[2 * a + 1], exx * k_unit[2 * a + 1], 1e-12 * max_abs(k_unit));
    fx += f[2 * a];
  }
  EXPECT_NEAR(fx, 0.0, 1e-12 * max_abs(f));
  EXPECT_GT(max_abs(f), 0.1 * max_abs(k_unit));
}

TEST(NonlinearElement, SmallDisplacementForcesApproachTheLinearStiffness) {
  const ElementData element = sample::distorted_element();
  const Vec20 d = large_displacements(element), expected = times(linear(element), d);
  for (double s : {1e-4, 1e-6}) {  // the difference is of second order
    const Vec20 f = forces(sample::with_displacements(element, scaled(d, s)));
    for (std::size_t i = 0; i < 20; ++i) EXPECT_NEAR(f[i] / s, expected[i], 10.0 * s * max_abs(expected));
  }
}

TEST(NonlinearElement, TangentIsTheDerivativeOfTheInternalForces) {
  // Central differences on curved and straight elements with finite displacements;
  // the initial-stress part is about a tenth of K_T here.
  for (const ElementData& base : {sample::distorted_element(), sample::example_element()})
    for (const char* state : {"PLANE_STRESS", "PLANE_STRAIN"}) {
      const Vec20 d = large_displacements(base);
      const Mat20 kt = tangent(sample::with_displacements(base, d), state);
      const double h = 1e-6;
      for (std::size_t j = 0; j < 20; ++j) {
        Vec20 plus = d, minus = d;
        plus[j] += h;
        minus[j] -= h;
        const Vec20 fp = forces(sample::with_displacements(base, plus), state);
        const Vec20 fm = forces(sample::with_displacements(base, minus), state);
        for (std::size_t i = 0; i < 20; ++i)
          EXPECT_NEAR(kt[i][j], (fp[i] - fm[i]) / (2.0 * h), 1e-6 * max_abs(kt))
              << state << " " << i + 1 << ", " << j + 1;
      }
      for (std::size_t i = 0; i < 20; ++i)
        for (std::size_t j = 0; j < i; ++j) EXPECT_NEAR(kt[i][j], kt[j][i], 1e-12 * max_abs(kt));
    }
}

TEST(NonlinearElement, ThicknessScalesForcesAndTangent) {
  const ElementData thin = sample::with_displacements(sample::distorted_element(),
                                                      large_displacements(sample::distorted_element()));
  ElementData thick = thin;
  thick.thickness = 2.0 * thin.thickness;
  EXPECT_EQ(forces(thick), scaled(forces(thin), 2.0));  // doubling is exact throughout
  const Mat20 k = tangent(thin), k2 = tangent(thick);
  for (std::size_t i = 0; i < 20; ++i) EXPECT_EQ(k2[i], scaled(k[i], 2.0));
}

}  // namespace
}  // namespace quorix
