#include <gtest/gtest.h>

#include <cmath>

#include "element/element_routines.hpp"
#include "element/sample_elements.hpp"

namespace quorix {
namespace {

constexpr double kYoung = 200.0, kNu = 0.3;
constexpr double kLambda = kNu * kYoung / ((1.0 + kNu) * (1.0 - 2.0 * kNu)),
                 kMu = kYoung / (2.0 * (1.0 + kNu));

ElementStresses stresses(const ElementData& element, const char* type, const char* state) {
  return element_nodal_stresses(sample::tables(), sample::settings(type, state), element);
}

// A homogeneous deformation x -> F x of the distorted element.
ElementData deformed(double f11, double f12, double f21, double f22, double thickness = 1.0) {
  return sample::displaced(sample::distorted_element(sample::material(kYoung, kNu), thickness),
                           [=](double x, double y) {
                             return std::pair{(f11 - 1) * x + f12 * y, f21 * x + (f22 - 1) * y};
                           });
}

// Expects each component at all ten nodes; a NaN expectation skips that component.
void expect_all(const ElementStresses& s, double sxx, double syy, double sxy, double szz, double tol) {
  for (std::size_t n = 0; n < 10; ++n) {
    EXPECT_NEAR(s.sxx[n], sxx, tol) << "node " << n + 1;
    EXPECT_NEAR(s.syy[n], syy, tol) << "node " << n + 1;
    EXPECT_NEAR(s.sxy[n], sxy, tol) << "node " << n + 1;
    EXPECT_NEAR(s.szz[n], szz, tol) << "node " << n + 1;
  }
}

TEST(ElementNodalStresses, VanishWithoutStrain) {
  const ElementData shifted = sample::displaced(sample::distorted_element(), [](double, double) {
    return std::pair{0.3, -0.2};
  });
  const ElementData turned = sample::displaced(sample::distorted_element(), sample::rotation(0.7));
  for (const char* type : {"LINEAR", "NONLINEAR"}) {
    expect_all(stresses(sample::distorted_element(), type, "PLANE_STRAIN"), 0, 0, 0, 0, 1e-12);
    expect_all(stresses(shifted, type, "PLANE_STRAIN"), 0, 0, 0, 0, 1e-12);
  }
  expect_all(stresses(turned, "NONLINEAR", "PLANE_STRAIN"), 0, 0, 0, 0, 1e-12);
  EXPECT_GT(std::abs(stresses(turned, "LINEAR", "PLANE_STRAIN").sxx[0]),
            1.0);  // small strain sees rotation as strain
}

TEST(ElementNodalStresses, LinearHomogeneousFieldsHaveClosedFormStresses) {
  const double eps = 1e-3, c = kYoung / (1.0 - kNu * kNu);
  expect_all(stresses(deformed(1 + eps, 0, 0, 1), "LINEAR", "PLANE_STRESS"), c * eps, kNu * c * eps, 0, 0,
             1e-12);
  expect_all(stresses(deformed(1 + eps, 0, 0, 1), "LINEAR", "PLANE_STRAIN"), (kLambda + 2 * kMu) * eps,
             kLambda * eps, 0, kLambda * eps, 1e-12);
  expect_all(stresses(deformed(1, eps, 0, 1), "LINEAR", "PLANE_STRAIN"), 0, 0, kMu * eps, 0, 1e-12);
}

TEST(ElementNodalStresses, NonlinearStretchGivesCauchyStress) {
  // u = eps x: Exx = eps + eps^2/2, F = diag(1 + eps, 1), so sigma_xx = (1 + eps) S_xx,
  // sigma_yy = S_yy / (1 + eps); ezz = 0 gives szz = nu (sigma_xx + sigma_yy) per unit thickness.
  const double eps = 0.2, t = 0.5, exx = eps + eps * eps / 2.0;
  const double sxx = (1 + eps) * t * (kLambda + 2 * kMu) * exx, syy = t * kLambda * exx / (1 + eps);
  expect_all(stresses(deformed(1 + eps, 0, 0, 1, t), "NONLINEAR", "PLANE_STRAIN"), sxx, syy, 0,
             kNu * (sxx + syy) / t, 1e-11);
}

TEST(ElementNodalStresses, CauchyStressTurnsWithTheBody) {
  // F0, then F0 followed by a rotation Q: sigma must become Q sigma Q^T, szz must stay.
  const double f[2][2] = {{1.1, 0.2}, {-0.15, 0.95}}, cs = std::cos(0.6), sn = std::sin(0.6);
  const double q[2][2] = {{cs, -sn}, {sn, cs}};
  const ElementStresses s =
      stresses(deformed(f[0][0], f[0][1], f[1][0], f[1][1], 0.5), "NONLINEAR", "PLANE_STRAIN");
  const ElementStresses r = stresses(deformed(cs * f[0][0] - sn * f[1][0], cs * f[0][1] - sn * f[1][1],
                                              sn * f[0][0] + cs * f[1][0], sn * f[0][1] + cs * f[1][1], 0.5),
                                     "NONLINEAR", "PLANE_STRAIN");
  for (std::size_t n = 0; n < 10; ++n) {
    const double sigma[2][2] = {{s.sxx[n], s.sxy[n]}, {s.sxy[n], s.syy[n]}};
    double turned[2][2] = {};
    for (int i = 0; i < 2; ++i)
      for (int j = 0; j < 2; ++j)
        for (int k = 0; k < 2; ++k)
          for (int l = 0; l < 2; ++l) turned[i][j] += q[i][k] * sigma[k][l] * q[j][l];
    EXPECT_NEAR(r.sxx[n], turned[0][0], 1e-11);
    EXPECT_NEAR(r.syy[n], turned[1][1], 1e-11);
    EXPECT_NEAR(r.sxy[n], turned[0][1], 1e-11);
    EXPECT_NEAR(r.szz[n], s.szz[n], 1e-11);
    EXPECT_GT(std::abs(s.sxy[n]), 1.0);
  }
}

TEST(ElementNodalStresses, BranchesAgreeForSmallStrains) {
  // Checks the doubled shear term and the out-of-plane stress of the nonlinear branch.
  const ElementData element = sample::displaced(
      sample::distorted_element(sample::material(kYoung, kNu), 1.0), [](double x, double y) {
        return std::pair{1e-9 * (x + 2 * y * y), 1e-9 * (3 * x * y - y)};
      });
  for (const char* state : {"PLANE_STRESS", "PLANE_STRAIN"}) {
    const ElementStresses lin = stresses(element, "LINEAR", state),
                          nonlin = stresses(element, "NONLINEAR", state);
    for (std::size_t n = 0; n < 10; ++n) {
      EXPECT_NEAR(nonlin.sxx[n], lin.sxx[n], 1e-12) << state;
      EXPECT_NEAR(nonlin.syy[n], lin.syy[n], 1e-12) << state;
      EXPECT_NEAR(nonlin.sxy[n], lin.sxy[n], 1e-12) << state;
      EXPECT_NEAR(nonlin.szz[n], lin.szz[n], 1e-12) << state;
    }
    EXPECT_GT(sample::max_abs(lin.sxy), 1e-7);
  }
}

TEST(ElementNodalStresses, ThicknessScalesInPlaneComponentsOnly) {
  for (const char* type : {"LINEAR", "NONLINEAR"}) {
    const ElementStresses one = stresses(deformed(1.05, 0.02, 0, 1, 1.0), type, "PLANE_STRAIN");
    const ElementStresses two = stresses(deformed(1.05, 0.02, 0, 1, 2.0), type, "PLANE_STRAIN");
    for (std::size_t n = 0; n < 10; ++n) {  // doubling is exact throughout
      EXPECT_EQ(two.sxx[n], 2.0 * one.sxx[n]) << type;
      EXPECT_EQ(two.syy[n], 2.0 * one.syy[n]) << type;
      EXPECT_EQ(two.sxy[n], 2.0 * one.sxy[n]) << type;
      EXPECT_EQ(two.szz[n], one.szz[n]) << type;
      EXPECT_NE(one.szz[n], 0.0);
    }
  }
}

}  // namespace
}  // namespace quorix
