#pragma once
// A pivot order for the global system by nested dissection of the mesh:
// the graph of element corners, two corners adjacent when they end an
// element edge, is cut in halves by METIS's separators again and again, and
// every other node of an element goes with its corners. On meshes of plates
// this needs a fraction of the arithmetic and storage of the minimum-degree
// order the solver computes itself, and the gap grows with the mesh.

#include <vector>

#include "model/model.hpp"
#include "solver/solver_interface.hpp"

namespace quorix {

// The position (1-based) in the pivot order of each equation, by equation
// 1..2N (node k: 2k - 1 in x, 2k in y): the nodes in the order the
// dissection gives the element corners, each node's two equations next to
// each other, x before y, prescribed or not. METIS runs with a fixed seed, so
// the order depends on the mesh alone. Throws std::runtime_error when METIS
// fails (out of memory).
std::vector<int> nested_dissection_order(const Model& model);

// The elimination tree of `position`, an order of the equations with each
// node's two next to each other (as above), over the pattern every global
// matrix of the model has: two equations coupled when their nodes share an
// element, a node's own two when it is in one. Worked out on the nodes, a
// quarter of the entries, and spread to the equations: a node's first
// equation has its second as father, the second the first equation of the
// node's father. Empty for an order that does not keep the pairs together.
EliminationTree mesh_elimination_tree(const Model& model, const std::vector<int>& position);

}  // namespace quorix
