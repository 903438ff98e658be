// Any bytes as a Gmsh mesh, imported with conditions on the groups the
// checked-in meshes have (by name) and on physical tag 1 (by number): the
// mesh reader and the importer must either make a model or refuse the file
// with an InputError, never crash, hang or read out of bounds. Beyond that:
//   - a refusal is one line, "fuzz.msh:N: ...", "fuzz.msh: byte N: ..." or
//     "fuzz.msh: ...", of printable ASCII, which the messages escape;
//   - a model has node k numbered k, every reference inside its table, and
//     the node count within the mesh's.
// A failed check stops the run with a trap, which libFuzzer reports.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mesh/gmsh_reader.hpp"
#include "mesh/mesh_to_model.hpp"
#include "model/input_error.hpp"

namespace {

constexpr std::string_view kName = "fuzz.msh";

void require(bool condition) {
  if (!condition) __builtin_trap();
}

void check_message(std::string_view message) {
  require(message.substr(0, kName.size() + 1) == "fuzz.msh:");
  require(message.size() > kName.size() + 3);  // something is said
  for (const char c : message) require(c >= 0x20 && c < 0x7F);
}

void check_model(const quorix::Model& model, const quorix::GmshMesh& mesh) {
  const int nodes = model.nodes.size();
  require(nodes >= 1 && static_cast<std::size_t>(nodes) <= mesh.nodes.size());
  for (int k = 1; k <= nodes; ++k) require(model.nodes(k).id == k);
  for (const quorix::Element& element : model.elements) {
    for (const int node : element.nodes) require(node >= 1 && node <= nodes);
    require(element.material >= 1 && element.material <= model.materials.size());
    require(element.thickness >= 1 && element.thickness <= model.thicknesses.size());
  }
  for (const quorix::NodalForce& force : model.forces) require(force.node >= 1 && force.node <= nodes);
  for (const quorix::EdgePressure& pressure : model.pressures) {
    require(pressure.element >= 1 && pressure.element <= model.elements.size());
    require(pressure.edge >= 1 && pressure.edge <= 3);
  }
  for (const quorix::PrescribedDisplacement& displacement : model.prescribed_displacements)
    require(displacement.node >= 1 && displacement.node <= nodes);
}

quorix::MeshConditions conditions(int variant) {
  quorix::MeshConditions c;
  c.materials.push_back({"--material 1000,0.3,0", "", 1000.0, 0.3, 0.0});
  c.thicknesses.push_back({"--thickness 1", "", 1.0});
  if (variant == 0) return c;  // nothing but the plate
  if (variant == 1) {
    c.supports.push_back({"--fix 1=BOTH", "1", quorix::FixedText<4>("BOTH"), 0.0});
    return c;
  }
  // The groups of the checked-in meshes.
  c.supports.push_back({"--fix x_fixed=X", "x_fixed", quorix::FixedText<4>("X"), 0.0});
  c.supports.push_back({"--fix left=BOTH", "left", quorix::FixedText<4>("BOTH"), 0.5});
  c.loads.push_back({"--pressure pressed=LOCAL,0,0:-6", "pressed", quorix::FixedText<6>("LOCAL"), 0, 0, 0, -6});
  c.loads.push_back({"--pressure right=GLOBAL,1:2,3", "right", quorix::FixedText<6>("GLOBAL"), 1, 2, 3, 3});
  c.forces.push_back({"--force tip=10,0", "tip", 10.0, 0.0});
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  quorix::GmshMesh mesh;
  try {
    mesh = quorix::read_gmsh_mesh(bytes, std::string(kName));
  } catch (const quorix::InputError& error) {
    check_message(error.what());
    return 0;
  }
  for (int variant = 0; variant < 3; ++variant) {
    try {
      check_model(quorix::mesh_to_model(mesh, conditions(variant), std::string(kName)), mesh);
    } catch (const quorix::InputError& error) {
      check_message(error.what());
    }
  }
  return 0;
}
