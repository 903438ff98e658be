#pragma once
// The 10-node cubic triangle: reference geometry, integration rules, the
// shape-function tables built once at start-up, and the geometric quantities
// at an area integration point.
//
// Local nodes (qsi, eta): 1 (1,0), 2 (0,1), 3 (0,0) corners counter-clockwise;
// 4, 5 on edge 1-2; 6, 7 on edge 2-3; 8, 9 on edge 3-1; 10 the centre.
// Storage is 0-based: local node a is index a - 1, area point k index k - 1.

#include <array>

#include "element/small_matrix.hpp"
#include "model/model.hpp"

namespace quorix {

inline constexpr int kAreaPoints = 7;
inline constexpr int kEdgePoints = 3;

// Tables built once by init_element_tables and only read afterwards.
struct ElementTables {
  Mat<7, 10> shape;       // shape[k][i]: N_i at area point k
  Mat<7, 10> dqsi;        // dN_i/dqsi at area point k
  Mat<7, 10> deta;        // dN_i/deta at area point k
  Mat<10, 10> node_dqsi;  // node_dqsi[n][i]: dN_i/dqsi at local node n
  Mat<10, 10> node_deta;
  Mat<3, 4> edge_shape;  // edge_shape[g][j]: M_j at edge point g
  Mat<3, 4> edge_deriv;  // dM_j/ds at edge point g
  // gradient_operator[k] maps the element displacements (u1, v1, ..., u10,
  // v10) to (du/dqsi, du/deta, dv/dqsi, dv/deta) at area point k.
  std::array<Mat<4, 20>, 7> gradient_operator;
};

// The 7-point area rule (weights scaled to the reference area 1/2) and the
// 3-point Gauss rule on an edge, with the values the tables are built from.
extern const std::array<double, 7> kAreaQsi;
extern const std::array<double, 7> kAreaEta;
extern const std::array<double, 7> kAreaWeight;
extern const std::array<double, 3> kEdgeS;
extern const std::array<double, 3> kEdgeWeight;
// Local nodes (1-based) of each edge at s = -1, -1/3, +1/3, +1.
extern const std::array<std::array<int, 4>, 3> kEdgeNodes;
// The tangent of an edge's cubic interpolation at its four nodes: d/ds of
// sum M_m(s) x_m at s = -1, -1/3, 1/3, 1, row j holding the weights of the
// four nodal values.
inline constexpr double kEdgeTangent[4][4] = {
    {-2.75, 4.5, -2.25, 0.5}, {-0.5, -0.75, 1.5, -0.25}, {0.25, -1.5, 0.75, 0.5}, {-0.5, 2.25, -4.5, 2.75}};
// Natural coordinates of the ten local nodes, stored to 15 decimals (1/3 and
// 2/3 rounded); the node derivative tables are evaluated at these values.
extern const std::array<double, 10> kNodeQsi;
extern const std::array<double, 10> kNodeEta;

ElementTables init_element_tables();

// The ten shape functions N_i at natural coordinates (qsi, eta), for drawing
// and sampling an element between its integration points.
Vec10 shape_functions(double qsi, double eta);
// Their derivatives dN_i/dqsi and dN_i/deta there.
void shape_derivatives(double qsi, double eta, Vec10& dqsi, Vec10& deta);

// One element's records, gathered from the model: coordinates and current
// displacements of its ten nodes in local order, its material and thickness.
struct ElementData {
  Vec10 x{}, y{}, u{}, v{};
  std::array<int, 10> node_ids{};
  Material material;
  double thickness = 0.0;
};
ElementData gather_element(const Model& model, const Element& element);
// The element's displacements in the order of its 20-vectors: u1, v1, u2, ...
Vec20 element_displacements(const ElementData& element);

// At area point k = 1..7. The determinant is not returned; it keeps its sign.
Mat2 jacobian(const ElementTables& tables, const ElementData& element, int k);
Mat2 inverse_jacobian(const ElementTables& tables, const ElementData& element, int k);
// (du/dx, du/dy; dv/dx, dv/dy) from the current nodal displacements.
Mat2 displacement_gradient(const ElementTables& tables, const ElementData& element, int k);
// Rows: exx, eyy, engineering gamma_xy; columns: u1, v1, ..., u10, v10.
Mat3x20 strain_displacement_matrix(const ElementTables& tables, const ElementData& element, int k);

// The first area point (1..7) at which det J is not positive, or 0 when the
// element is counter-clockwise and non-degenerate at every point.
int first_nonpositive_jacobian_point(const ElementTables& tables, const ElementData& element);

}  // namespace quorix
