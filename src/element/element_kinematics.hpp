#pragma once
// Building blocks shared by the element routines, so that a routine needing
// J, det J and R at the same place forms them once. Each gives exactly the
// bits of the corresponding public point routine of element_tables.hpp.
//
// dqsi and deta are one row of a derivative table: an area point's
// (tables.dqsi[k - 1]) or a node's (tables.node_dqsi[n - 1]).

#include "element/element_tables.hpp"
#include "element/small_matrix.hpp"
#include "model/model.hpp"

namespace quorix {

// J = (dx/dqsi, dx/deta; dy/dqsi, dy/deta), each a 10-term sum in node order.
Mat2 jacobian_from(const Vec10& dqsi, const Vec10& deta, const ElementData& element);
// (du/dqsi, du/deta; dv/dqsi, dv/deta) from the current nodal displacements.
Mat2 natural_displacement_gradient(const Vec10& dqsi, const Vec10& deta, const ElementData& element);
// J(1,1) J(2,2) - J(1,2) J(2,1), with its sign.
double determinant(const Mat2& j);
// Closed-form inverse: R(1,1) = dqsi/dx, R(1,2) = dqsi/dy, R(2,1) = deta/dx, R(2,2) = deta/dy.
Mat2 inverse_of(const Mat2& j);
// B = Hm G for the inverse Jacobian r and the point's slice g of the gradient operator.
Mat3x20 strain_displacement_from(const Mat2& r, const Mat<4, 20>& g);

}  // namespace quorix
