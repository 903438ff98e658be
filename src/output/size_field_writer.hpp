#pragma once
// Element sizes for remeshing, as a Gmsh post-processing view of scalar
// triangles: gmsh -bgm FILE.pos -2 -order 3 plate.geo meshes the plate again
// with them as its background mesh.

#include <iosfwd>
#include <vector>

#include "model/model.hpp"

namespace quorix {

// One scalar triangle per element over its three corners; at each corner the
// smallest size of the elements that meet there, so that the field is
// continuous and no element gets larger than it asked for. `sizes` by
// element position, from 0.
void write_size_field(const Model& model, const std::vector<double>& sizes, std::ostream& out);

}  // namespace quorix
