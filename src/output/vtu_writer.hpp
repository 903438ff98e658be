#pragma once
// The ParaView file: the model and its results as a VTK XML UnstructuredGrid.

#include <iosfwd>

#include "model/model.hpp"
#include "output/nodal_results.hpp"

namespace quorix {

// Every element is one cell of type 69 (a Lagrange triangle; its ten points
// in this program's own node order), every node one point (x, y, 0) at its
// undeformed position. Point data: "displacement" (u, v, 0); "stress", the
// averaged stresses themselves as a symmetric tensor in VTK's order XX, YY,
// ZZ, XY, YZ, XZ; "von_mises" and "principal_stress" (S11, S22, S33) derived
// from them; "reaction" (Rx, Ry, 0), the support reactions, zero elsewhere.
// Cell data: "element" and "material", numbers as in the model file,
// "thickness", the value, and "error_indicator", each element's estimated
// stress error as a share of the solution, when it was estimated. The arrays follow the XML as raw binary
// data in the machine's byte order (declared in the file), in full double precision.
void write_vtu(const Model& model, const NodalResults& results, std::ostream& out);

}  // namespace quorix
