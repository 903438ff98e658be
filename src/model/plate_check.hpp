#pragma once
// Tests of a model that has passed its reading and its checks, on what a new
// user gets wrong without any number being out of place: supports that let
// the plate move as a rigid body, meshes put together without their nodes
// being merged, displacements that only a unit slip explains. Each gives
// lines for standard error, "quorix: ...", that say what to change; none
// stops the run.

#include <string>
#include <vector>

#include "model/model.hpp"

namespace quorix {

// One line per connected part of the mesh (elements joined by shared nodes)
// that a rigid motion of the plane moves without changing any of the part's
// prescribed displacements: a translation in x or y, or a turn. Such a part
// is not held, and its stiffness matrix is singular. The test is on the
// rigid motions at the prescribed equations, with lengths taken relative to
// the part's size, so it means the same in any units. Empty when every part
// is held.
std::vector<std::string> unheld_motions(const Model& model);

// One line for each of the first few pairs of nodes at one place (within
// round-off of the model's size) that no element joins: a crack where two
// meshes meet without sharing their nodes. A last line counts the pairs not
// listed.
std::vector<std::string> unjoined_nodes(const Model& model);

// The largest displacement and where, against the model's size (the
// diagonal of its nodes' bounding box).
struct DisplacementSize {
  double largest = 0.0;  // the largest length of (u, v)
  int node = 0;          // where it is, 0 for a model that does not move
  double model_size = 0.0;
};
DisplacementSize displacement_size(const Model& model);

}  // namespace quorix
