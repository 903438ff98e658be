#include "element/element_tables.hpp"

#include <cmath>
#include <cstddef>

#include "element/element_kinematics.hpp"

namespace quorix {

// Symmetric 7-point rule for the triangle, exact for polynomials of degree 5
// (Radon's rule as tabulated by Cowper, Int. J. Numer. Meth. Eng. 7, 1973).
// The weights include the reference area 1/2.
const std::array<double, 7> kAreaQsi = {0.333333333333333, 0.05971587178977,  0.470142064105115,
                                        0.470142064105115, 0.797426985353087, 0.101286507323456,
                                        0.101286507323456};
const std::array<double, 7> kAreaEta = {0.333333333333333, 0.470142064105115, 0.470142064105115,
                                        0.05971587178977,  0.101286507323456, 0.101286507323456,
                                        0.797426985353087};
const std::array<double, 7> kAreaWeight = {0.1125,
                                           0.066197076394253,
                                           0.066197076394253,
                                           0.066197076394253,
                                           0.0629695902724135,
                                           0.0629695902724135,
                                           0.0629695902724135};

// 3-point Gauss-Legendre rule on [-1, 1]: points -sqrt(3/5), 0, sqrt(3/5),
// weights 5/9, 8/9, 5/9.
const std::array<double, 3> kEdgeS = {-0.7745966692414834, 0.0, 0.7745966692414834};
const std::array<double, 3> kEdgeWeight = {0.5555555555555556, 0.8888888888888888, 0.5555555555555556};

// Each edge runs against the counter-clockwise sense of the corners.
const std::array<std::array<int, 4>, 3> kEdgeNodes = {{{2, 5, 4, 1}, {3, 7, 6, 2}, {1, 9, 8, 3}}};

const std::array<double, 10> kNodeQsi = {1.0,
                                         0.0,
                                         0.0,
                                         0.666666666666667,
                                         0.333333333333333,
                                         0.0,
                                         0.0,
                                         0.333333333333333,
                                         0.666666666666667,
                                         0.333333333333333};
const std::array<double, 10> kNodeEta = {0.0,
                                         1.0,
                                         0.0,
                                         0.333333333333333,
                                         0.666666666666667,
                                         0.666666666666667,
                                         0.333333333333333,
                                         0.0,
                                         0.0,
                                         0.333333333333333};

namespace {

std::size_t slot(int number) { return static_cast<std::size_t>(number - 1); }

// Complete cubic Lagrange interpolation on the triangle in area coordinates
// q, e and L = 1 - q - e (Zienkiewicz & Taylor, The Finite Element Method,
// vol. 1, on triangular elements of the Lagrange family): corners
// L_c (3 L_c - 1)(3 L_c - 2) / 2, edge nodes 9/2 L_a L_b (3 L_a - 1) with L_a
// the coordinate of the nearer corner, centre 27 q e L.
Vec10 shape_values(double q, double e) {
  const double l = 1.0 - q - e;
  return {q * (3.0 * q - 1.0) * (3.0 * q - 2.0) / 2.0,
          e * (3.0 * e - 1.0) * (3.0 * e - 2.0) / 2.0,
          l * (3.0 * l - 1.0) * (3.0 * l - 2.0) / 2.0,
          4.5 * q * e * (3.0 * q - 1.0),
          4.5 * q * e * (3.0 * e - 1.0),
          4.5 * e * l * (3.0 * e - 1.0),
          4.5 * e * l * (3.0 * l - 1.0),
          4.5 * q * l * (3.0 * l - 1.0),
          4.5 * q * l * (3.0 * q - 1.0),
          27.0 * q * e * l};
}

// dN_i/dqsi, with dL/dqsi = -1.
Vec10 shape_dqsi(double q, double e) {
  const double l = 1.0 - q - e;
  return {(27.0 * (q * q) - 18.0 * q + 2.0) / 2.0,
          0.0,
          -(27.0 * (l * l) - 18.0 * l + 2.0) / 2.0,
          4.5 * e * (6.0 * q - 1.0),
          4.5 * e * (3.0 * e - 1.0),
          -4.5 * e * (3.0 * e - 1.0),
          -4.5 * e * (6.0 * l - 1.0),
          4.5 * (l * (3.0 * l - 1.0) - q * (6.0 * l - 1.0)),
          4.5 * (l * (6.0 * q - 1.0) - q * (3.0 * q - 1.0)),
          27.0 * e * (l - q)};
}

// dN_i/deta, with dL/deta = -1.
Vec10 shape_deta(double q, double e) {
  const double l = 1.0 - q - e;
  return {0.0,
          (27.0 * (e * e) - 18.0 * e + 2.0) / 2.0,
          -(27.0 * (l * l) - 18.0 * l + 2.0) / 2.0,
          4.5 * q * (3.0 * q - 1.0),
          4.5 * q * (6.0 * e - 1.0),
          4.5 * (l * (6.0 * e - 1.0) - e * (3.0 * e - 1.0)),
          4.5 * (l * (3.0 * l - 1.0) - e * (6.0 * l - 1.0)),
          -4.5 * q * (6.0 * l - 1.0),
          -4.5 * q * (3.0 * q - 1.0),
          27.0 * q * (l - e)};
}

// Cubic Lagrange polynomials through s = -1, -1/3, 1/3, 1.
Vec<4> edge_values(double s) {
  const double s2 = s * s;
  const double s3 = s * s * s;
  return {-(9.0 * s3 - 9.0 * s2 - s + 1.0) / 16.0, (27.0 * s3 - 9.0 * s2 - 27.0 * s + 9.0) / 16.0,
          -(27.0 * s3 + 9.0 * s2 - 27.0 * s - 9.0) / 16.0, (9.0 * s3 + 9.0 * s2 - s - 1.0) / 16.0};
}

Vec<4> edge_derivatives(double s) {
  const double s2 = s * s;
  return {-(27.0 * s2 - 18.0 * s - 1.0) / 16.0, (81.0 * s2 - 18.0 * s - 27.0) / 16.0,
          -(81.0 * s2 + 18.0 * s - 27.0) / 16.0, (27.0 * s2 + 18.0 * s - 1.0) / 16.0};
}

}  // namespace

Vec10 shape_functions(double qsi, double eta) { return shape_values(qsi, eta); }

Vec20 element_displacements(const ElementData& element) {
  Vec20 u{};
  for (std::size_t a = 0; a < 10; ++a) {
    u[2 * a] = element.u[a];
    u[2 * a + 1] = element.v[a];
  }
  return u;
}

void shape_derivatives(double qsi, double eta, Vec10& dqsi, Vec10& deta) {
  dqsi = shape_dqsi(qsi, eta);
  deta = shape_deta(qsi, eta);
}

ElementTables init_element_tables() {
  ElementTables t{};
  for (std::size_t k = 0; k < 7; ++k) {
    t.dqsi[k] = shape_dqsi(kAreaQsi[k], kAreaEta[k]);
    t.deta[k] = shape_deta(kAreaQsi[k], kAreaEta[k]);
    t.shape[k] = shape_values(kAreaQsi[k], kAreaEta[k]);
  }
  for (std::size_t g = 0; g < 3; ++g) {
    t.edge_shape[g] = edge_values(kEdgeS[g]);
    t.edge_deriv[g] = edge_derivatives(kEdgeS[g]);
  }
  // Rows (du/dqsi, du/deta, dv/dqsi, dv/deta); u of node a sits in column 2a,
  // v in column 2a + 1.
  for (Mat<4, 20>& g : t.gradient_operator) g = Mat<4, 20>{};
  for (std::size_t k = 0; k < 7; ++k) {
    Mat<4, 20>& g = t.gradient_operator[k];
    for (std::size_t a = 0; a < 10; ++a) {
      g[0][2 * a] = t.dqsi[k][a];
      g[2][2 * a + 1] = t.dqsi[k][a];
      g[1][2 * a] = t.deta[k][a];
      g[3][2 * a + 1] = t.deta[k][a];
    }
  }
  for (std::size_t n = 0; n < 10; ++n) {
    t.node_dqsi[n] = shape_dqsi(kNodeQsi[n], kNodeEta[n]);
    t.node_deta[n] = shape_deta(kNodeQsi[n], kNodeEta[n]);
  }
  return t;
}

ElementData gather_element(const Model& model, const Element& element) {
  ElementData data;
  for (std::size_t a = 0; a < 10; ++a) {
    const Node& node = model.nodes(element.nodes[a]);
    data.x[a] = node.x;
    data.y[a] = node.y;
    data.u[a] = node.u;
    data.v[a] = node.v;
    data.node_ids[a] = node.id;
  }
  data.material = model.materials(element.material);
  data.thickness = model.thicknesses(element.thickness).value;
  return data;
}

namespace {

// (sum p_i dN_i/dqsi, sum p_i dN_i/deta; the same for q), each sum over the
// ten nodes in order: the natural derivatives of two nodal fields.
Mat2 natural_derivatives(const Vec10& p, const Vec10& q, const Vec10& dqsi, const Vec10& deta) {
  double p_q = 0.0, p_e = 0.0, q_q = 0.0, q_e = 0.0;
  for (std::size_t i = 0; i < 10; ++i) {
    p_q += p[i] * dqsi[i];
    p_e += p[i] * deta[i];
    q_q += q[i] * dqsi[i];
    q_e += q[i] * deta[i];
  }
  return Mat2{{{p_q, p_e}, {q_q, q_e}}};
}

}  // namespace

Mat2 jacobian_from(const Vec10& dqsi, const Vec10& deta, const ElementData& element) {
  return natural_derivatives(element.x, element.y, dqsi, deta);
}

Mat2 natural_displacement_gradient(const Vec10& dqsi, const Vec10& deta, const ElementData& element) {
  return natural_derivatives(element.u, element.v, dqsi, deta);
}

double determinant(const Mat2& j) { return j[0][0] * j[1][1] - j[0][1] * j[1][0]; }

Mat2 inverse_of(const Mat2& j) {
  const double det = determinant(j);
  Mat2 r{};
  r[0][0] = j[1][1] / det;
  r[1][1] = j[0][0] / det;
  r[0][1] = -j[0][1] / det;
  r[1][0] = -j[1][0] / det;
  return r;
}

Mat3x20 strain_displacement_from(const Mat2& r, const Mat<4, 20>& g) {
  // Hm takes (du/dqsi, du/deta, dv/dqsi, dv/deta) to (exx, eyy, gamma_xy) by
  // the chain rule d/dx = R(1,1) d/dqsi + R(2,1) d/deta, d/dy = R(1,2) d/dqsi
  // + R(2,2) d/deta. The full product keeps the zero terms, so B has exactly
  // the bits (signed zeros and non-finite values included) of Hm G.
  const Mat<3, 4> hm = {
      {{r[0][0], r[1][0], 0.0, 0.0}, {0.0, 0.0, r[0][1], r[1][1]}, {r[0][1], r[1][1], r[0][0], r[1][0]}}};
  return times(hm, g);
}

Mat2 jacobian(const ElementTables& tables, const ElementData& element, int k) {
  return jacobian_from(tables.dqsi[slot(k)], tables.deta[slot(k)], element);
}

Mat2 inverse_jacobian(const ElementTables& tables, const ElementData& element, int k) {
  return inverse_of(jacobian(tables, element, k));
}

Mat2 displacement_gradient(const ElementTables& tables, const ElementData& element, int k) {
  const Mat2 a = natural_displacement_gradient(tables.dqsi[slot(k)], tables.deta[slot(k)], element);
  return times(a, inverse_jacobian(tables, element, k));
}

Mat3x20 strain_displacement_matrix(const ElementTables& tables, const ElementData& element, int k) {
  return strain_displacement_from(inverse_jacobian(tables, element, k), tables.gradient_operator[slot(k)]);
}

int first_nonpositive_jacobian_point(const ElementTables& tables, const ElementData& element) {
  for (int k = 1; k <= kAreaPoints; ++k) {
    const double det = determinant(jacobian(tables, element, k));
    if (!(det > 0.0) || !std::isfinite(det)) return k;
  }
  return 0;
}

}  // namespace quorix
