#include "element/element_tables.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "element/sample_elements.hpp"

namespace quorix {
namespace {

using sample::tables;

// A complete cubic and its derivatives. The element interpolates it exactly,
// so sums over the tables check every shape-function formula at once.
double cubic(double q, double e) {
  return 1 + 2 * q - e + q * q * q - 2 * q * q * e + 3 * q * e * e - e * e * e + q * e;
}
double cubic_dq(double q, double e) { return 2 + 3 * q * q - 4 * q * e + 3 * e * e + e; }
double cubic_de(double q, double e) { return -1 - 2 * q * q + 6 * q * e - 3 * e * e + q; }
double one(double, double) { return 1.0; }

double at_nodes(const Vec10& row, double (*f)(double, double)) {
  double sum = 0.0;
  for (std::size_t i = 0; i < 10; ++i) sum += row[i] * f(kNodeQsi[i], kNodeEta[i]);
  return sum;
}

double det(const Mat2& j) { return j[0][0] * j[1][1] - j[0][1] * j[1][0]; }

TEST(ElementTables, ShapeFunctionsReproduceACompleteCubic) {
  const ElementTables& t = tables();
  for (std::size_t k = 0; k < 7; ++k) {
    const double q = kAreaQsi[k], e = kAreaEta[k];
    EXPECT_NEAR(at_nodes(t.shape[k], one), 1.0, 1e-14);
    EXPECT_NEAR(at_nodes(t.dqsi[k], one), 0.0, 1e-13);
    EXPECT_NEAR(at_nodes(t.deta[k], one), 0.0, 1e-13);
    EXPECT_NEAR(at_nodes(t.shape[k], cubic), cubic(q, e), 1e-13);
    EXPECT_NEAR(at_nodes(t.dqsi[k], cubic), cubic_dq(q, e), 1e-13);
    EXPECT_NEAR(at_nodes(t.deta[k], cubic), cubic_de(q, e), 1e-13);
  }
  for (std::size_t n = 0; n < 10; ++n) {
    EXPECT_NEAR(at_nodes(t.node_dqsi[n], cubic), cubic_dq(kNodeQsi[n], kNodeEta[n]), 1e-12)
        << "node " << n + 1;
    EXPECT_NEAR(at_nodes(t.node_deta[n], cubic), cubic_de(kNodeQsi[n], kNodeEta[n]), 1e-12)
        << "node " << n + 1;
  }
  // dN1/dqsi = (27q^2 - 18q + 2)/2 at nodes 1 and 3; dN4/deta = 9/2 q (3q - 1) at node 1.
  EXPECT_NEAR(t.node_dqsi[0][0], 5.5, 1e-13);
  EXPECT_NEAR(t.node_dqsi[2][0], 1.0, 1e-13);
  EXPECT_NEAR(t.node_deta[0][3], 9.0, 1e-13);
}

TEST(ElementTables, EdgeFunctionsReproduceACubic) {
  const std::array<double, 4> s_nodes = {-1.0, -1.0 / 3.0, 1.0 / 3.0, 1.0};
  auto f = [](double s) { return 2.0 - s + 3.0 * s * s - 5.0 * s * s * s; };
  for (std::size_t g = 0; g < 3; ++g) {
    double sum = 0.0, value = 0.0, slope = 0.0;
    for (std::size_t j = 0; j < 4; ++j) {
      sum += tables().edge_shape[g][j];
      value += tables().edge_shape[g][j] * f(s_nodes[j]);
      slope += tables().edge_deriv[g][j] * f(s_nodes[j]);
    }
    const double s = kEdgeS[g];
    EXPECT_NEAR(sum, 1.0, 1e-15);
    EXPECT_NEAR(value, f(s), 1e-13);
    EXPECT_NEAR(slope, -1.0 + 6.0 * s - 15.0 * s * s, 1e-13);
  }
}

TEST(ElementTables, IntegrationRulesAreExactToTheirDegree) {
  auto factorial = [](int n) { return std::tgamma(n + 1.0); };
  for (int i = 0; i <= 5; ++i)
    for (int j = 0; i + j <= 5; ++j) {  // integral of q^i e^j = i! j! / (i + j + 2)!
      double sum = 0.0;
      for (std::size_t k = 0; k < 7; ++k)
        sum += kAreaWeight[k] * std::pow(kAreaQsi[k], i) * std::pow(kAreaEta[k], j);
      EXPECT_NEAR(sum, factorial(i) * factorial(j) / factorial(i + j + 2), 1e-14) << "q^" << i << " e^" << j;
    }
  for (int p = 0; p <= 5; ++p) {
    double sum = 0.0;
    for (std::size_t g = 0; g < 3; ++g) sum += kEdgeWeight[g] * std::pow(kEdgeS[g], p);
    EXPECT_NEAR(sum, p % 2 == 0 ? 2.0 / (p + 1) : 0.0, 1e-15) << "s^" << p;
  }
}

TEST(Jacobian, IsTheIdentityOnTheReferenceElementAndInvertsElsewhere) {
  double area = 0.0;
  for (int k = 1; k <= kAreaPoints; ++k) {
    const Mat2 j = jacobian(tables(), sample::reference_element(), k);
    const Mat2 r_j = times(inverse_jacobian(tables(), sample::distorted_element(), k),
                           jacobian(tables(), sample::distorted_element(), k));
    for (const Mat2& m : {j, r_j}) {
      EXPECT_NEAR(m[0][0], 1.0, 1e-14);
      EXPECT_NEAR(m[0][1], 0.0, 1e-14);
      EXPECT_NEAR(m[1][0], 0.0, 1e-14);
      EXPECT_NEAR(m[1][1], 1.0, 1e-14);
    }
    area += kAreaWeight[static_cast<std::size_t>(k - 1)] * det(j);
  }
  EXPECT_NEAR(area, 0.5, 1e-15);
}

TEST(Jacobian, FirstNonpositivePointFindsBadGeometry) {
  EXPECT_EQ(first_nonpositive_jacobian_point(tables(), sample::distorted_element()), 0);
  for (int k = 1; k <= kAreaPoints; ++k)
    EXPECT_LT(det(jacobian(tables(), sample::clockwise(sample::distorted_element()), k)), 0.0);
  ElementData collapsed = sample::example_element(), broken = collapsed, folded = collapsed;
  collapsed.y = collapsed.x;
  broken.x[0] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(first_nonpositive_jacobian_point(tables(), collapsed), 1);
  EXPECT_EQ(first_nonpositive_jacobian_point(tables(), broken), 1);
  // The centre node does not enter J at the centroid (point 1): pulling it far
  // out folds the element at later points only.
  folded.x[9] = 8.0;
  const int bad = first_nonpositive_jacobian_point(tables(), folded);
  ASSERT_GT(bad, 1);
  for (int k = 1; k <= bad; ++k)
    EXPECT_EQ(det(jacobian(tables(), folded, k)) > 0.0, k < bad) << "point " << k;
}

TEST(StrainDisplacementMatrix, LinearFieldGivesItsGradientOnACurvedElement) {
  const ElementData plain = sample::distorted_element();
  const Vec20 d = sample::nodal_vector(plain, [](double x, double y) {
    return std::pair{0.02 * x - 0.03 * y + 0.5, 0.04 * x + 0.01 * y - 0.2};
  });
  for (int k = 1; k <= kAreaPoints; ++k) {
    const Mat2 h = displacement_gradient(tables(), sample::with_displacements(plain, d), k);
    EXPECT_NEAR(h[0][0], 0.02, 1e-14);
    EXPECT_NEAR(h[0][1], -0.03, 1e-14);
    EXPECT_NEAR(h[1][0], 0.04, 1e-14);
    EXPECT_NEAR(h[1][1], 0.01, 1e-14);
    const Vec<3> strain = times(strain_displacement_matrix(tables(), plain, k), d);
    EXPECT_NEAR(strain[0], 0.02, 1e-14);
    EXPECT_NEAR(strain[1], 0.01, 1e-14);
    EXPECT_NEAR(strain[2], 0.01, 1e-14);
  }
}

TEST(GatherElement, FollowsTheReferencesByPosition) {
  Model model;
  model.nodes = Table1<Node>(10);
  for (int n = 1; n <= 10; ++n) model.nodes(n) = {n + 100, 1.0 * n, -2.0 * n, 0.1 * n, -0.1 * n};
  model.materials = Table1<Material>(2, sample::material(5.0, 0.25));
  model.thicknesses = Table1<Thickness>(2, Thickness{1, 0.5});
  model.materials(2).young_modulus = 7.0;
  model.thicknesses(2).value = 0.75;
  const ElementData data = gather_element(model, Element{1, 2, 2, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}});
  EXPECT_EQ(data.x, (Vec10{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(data.y[0], -20.0);
  EXPECT_EQ(data.u[9], 0.1);
  EXPECT_EQ(data.v[1], -0.1 * 9);
  EXPECT_EQ(data.node_ids, (std::array<int, 10>{110, 109, 108, 107, 106, 105, 104, 103, 102, 101}));
  EXPECT_EQ(data.material.young_modulus, 7.0);
  EXPECT_EQ(data.thickness, 0.75);
}

}  // namespace
}  // namespace quorix
