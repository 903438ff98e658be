#pragma once
// Turns a Gmsh mesh of cubic triangles and the conditions given by physical
// group name into a model: nodes used by the triangles numbered 1..N in the
// mesh's order, triangles 1..E in the mesh's order (turned counter-clockwise
// where Gmsh wrote them clockwise), one material and thickness record per
// option, one support record per node of a fixed group, one edge load per
// triangle edge of a loaded curve, one force per node of a loaded point group.

#include <string>
#include <vector>

#include "mesh/gmsh_reader.hpp"
#include "model/model.hpp"
#include "model/support_groups.hpp"

namespace quorix {

// Each condition keeps the option as written, to name it in messages. An
// empty group means every surface (materials and thicknesses only).
struct SurfaceMaterial {
  std::string option;
  std::string group;
  double young_modulus = 0.0;
  double poisson_ratio = 0.0;
  double specific_weight = 0.0;
};

struct SurfaceThickness {
  std::string option;
  std::string group;
  double value = 0.0;
};

struct GroupSupport {
  std::string option;
  std::string group;
  FixedText<4> direction;  // "X", "Y" or "BOTH"
  double value = 0.0;
};

// q1 and q2 vary linearly along each curve of the group, from the start value
// at the curve's first point to the end value at its last (by length along
// the curve); equal start and end values give a constant load.
struct CurveLoad {
  std::string option;
  std::string group;
  FixedText<6> system;  // "LOCAL" or "GLOBAL"
  double q1_start = 0.0;
  double q1_end = 0.0;
  double q2_start = 0.0;
  double q2_end = 0.0;
};

struct PointForce {
  std::string option;
  std::string group;
  double fx = 0.0;
  double fy = 0.0;
};

struct MeshConditions {
  std::vector<SurfaceMaterial> materials;
  std::vector<SurfaceThickness> thicknesses;
  std::vector<GroupSupport> supports;
  std::vector<CurveLoad> loads;
  std::vector<PointForce> forces;
};

// The model of `mesh` (read from `file_name`, used in messages), to be
// written out rather than solved, so without a global system. Throws
// InputError with one line when a group is unknown or of the wrong dimension,
// a curve lies on no triangle edge, a triangle has no material or thickness
// or is folded over itself, or the mesh holds no triangles.
// When `supports` is given, it receives the DISPLACEMENT records each --fix
// option made, named by the option's group.
Model mesh_to_model(const GmshMesh& mesh, const MeshConditions& conditions, const std::string& file_name,
                    std::vector<SupportGroup>* supports = nullptr);

}  // namespace quorix
