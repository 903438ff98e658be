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

#include "fuzz/fuzz_checks.hpp"
#include "mesh/gmsh_reader.hpp"
#include "mesh/mesh_to_model.hpp"
#include "model/input_error.hpp"

namespace {

constexpr std::string_view kName = "fuzz.msh";

using quorix::fuzz::require;

void check_message(std::string_view message) {
  require(message.substr(0, kName.size() + 1) == "fuzz.msh:");
  require(message.size() > kName.size() + 3);  // something is said
  for (const char c : message) require(c >= 0x20 && c < 0x7F);
}

void check_model(const quorix::Model& model, const quorix::GmshMesh& mesh) {
  quorix::fuzz::require_sound_references(model);
  require(static_cast<std::size_t>(model.nodes.size()) <= mesh.nodes.size());
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
  c.loads.push_back(
      {"--pressure pressed=LOCAL,0,0:-6", "pressed", quorix::FixedText<6>("LOCAL"), 0, 0, 0, -6});
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
