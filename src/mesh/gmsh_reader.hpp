#pragma once
// Gmsh's MSH files, versions 2.2 and 4.1, ASCII or binary, as far as a plate
// model needs them: the physical group names, the nodes, and the elements a
// cubic plate mesh is made of (10-node triangles, 4-node boundary lines and
// points). Any other element type is refused with a message that says how to
// mesh for quorix.
//
// The two versions keep group membership differently: in 2.2 every element
// line carries its physical tag, and an element in two groups is written
// twice; in 4.1 elements come in blocks per geometric entity, and $Entities
// lists each entity's physical tags. Node and element tags may be sparse and
// in any order. A 4.1 node block may carry parametric coordinates after x, y,
// z (one extra number on a curve, two on a surface).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorix {

struct PhysicalName {
  int dimension = 0;  // 0 points, 1 curves, 2 surfaces, 3 volumes
  int tag = 0;
  std::string name;
};

// Where something was read, for messages: a line (from 1) in an ASCII file, a
// byte offset (from 0) in a binary one.
struct FilePlace {
  bool binary = false;
  std::int64_t at = 0;
};

struct MeshNode {
  std::uint64_t tag = 0;
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;  // a plate's mesh has 0 here
  FilePlace place;
};

inline constexpr int kGmshPoint = 15;
inline constexpr int kGmshCubicLine = 26;
inline constexpr int kGmshCubicTriangle = 21;

// A point, cubic line or cubic triangle as the file gives it. A line runs from
// nodes[0] to nodes[1], nodes[2] next to nodes[0]; a triangle's ten nodes come
// in quorix's own order (corners, two nodes per edge, centre).
struct MeshElement {
  std::uint64_t tag = 0;
  int type = 0;    // kGmshPoint, kGmshCubicLine or kGmshCubicTriangle
  int entity = 0;  // the geometric entity (point, curve, surface) it meshes
  int node_count = 0;
  std::array<std::uint64_t, 10> nodes{};
  std::vector<int> physical;  // tags of the physical groups it belongs to
  FilePlace place;
};

struct GmshMesh {
  std::string version;  // "2.2" or "4.1"
  bool binary = false;
  std::vector<PhysicalName> names;
  std::vector<MeshNode> nodes;        // in file order
  std::vector<MeshElement> elements;  // in file order; 2.2 duplicates kept
};

// Reads the whole file content `bytes`. Throws InputError with one line,
// "FILE:LINE: expected ..., found ..." or "FILE: byte N: expected ..., found
// ...", when the file is not an MSH 2.2 or 4.1 file, is cut short, or holds
// elements other than points, cubic lines and cubic triangles.
GmshMesh read_gmsh_mesh(std::string_view bytes, const std::string& file_name);

// "FILE:LINE: " or "FILE: byte N: ".
std::string place_prefix(const std::string& file_name, const FilePlace& place);

}  // namespace quorix
