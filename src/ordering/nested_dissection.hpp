#pragma once
// A pivot order for the global system by nested dissection of the mesh:
// the graph of element corners, two corners adjacent when they end an
// element edge, is cut in halves by METIS's separators again and again, and
// every other node of an element goes with its corners. On meshes of plates
// this needs a fraction of the arithmetic and storage of the minimum-degree
// order the solver computes itself, and the gap grows with the mesh.

#include <vector>

#include "model/model.hpp"

namespace quorix {

// The position (1-based) in the pivot order of each equation, by equation
// 1..2N (node k: 2k - 1 in x, 2k in y): the nodes in the order the
// dissection gives the element corners, each node's two equations next to
// each other, x before y, prescribed or not. METIS runs with a fixed seed, so
// the order depends on the mesh alone. Throws std::runtime_error when METIS
// fails (out of memory).
std::vector<int> nested_dissection_order(const Model& model);

}  // namespace quorix
