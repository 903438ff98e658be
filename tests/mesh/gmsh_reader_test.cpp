// The reader and the importer on damaged meshes: every cut of every test mesh,
// and meshes with bytes overwritten, must either import or stop with an
// InputError, never crash or read outside the file (the sanitizer build runs
// this too).

#include "mesh/gmsh_reader.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "mesh/mesh_to_model.hpp"
#include "model/input_error.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

const char* const kMeshes[] = {"one_element_v22.msh",        "one_element_v22_binary.msh",
                               "one_element_v41.msh",        "one_element_v41_binary.msh",
                               "two_squares_v22_binary.msh", "two_squares_v41_binary.msh"};

// Conditions that both geometries' groups fit.
MeshConditions conditions() {
  MeshConditions c;
  c.materials.push_back({"--material", "", 1000.0, 0.3, 0.0});
  c.thicknesses.push_back({"--thickness", "", 1.0});
  c.supports.push_back({"--fix", "tip", FixedText<4>("BOTH"), 0.0});
  return c;
}

// True when the bytes import, false when they are refused with an InputError.
bool imports(const std::string& bytes) {
  try {
    mesh_to_model(read_gmsh_mesh(bytes, "plate.msh"), conditions(), "plate.msh");
    return true;
  } catch (const InputError& error) {
    EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos) << error.what();
    return false;
  }
}

TEST(GmshReader, EveryCutOfAMeshIsRefused) {
  for (const char* name : kMeshes) {
    const std::string bytes = testing::read_file(testing::source_dir() + "/tests/data/mesh/" + name);
    ASSERT_TRUE(imports(bytes)) << name;
    // Every cut short of the whole closing "$EndElements".
    const std::size_t whole = bytes.rfind("$EndElements") + std::string("$EndElements").size();
    for (std::size_t length = 0; length < whole; ++length)
      EXPECT_FALSE(imports(bytes.substr(0, length))) << name << " cut to " << length << " bytes";
  }
}

TEST(GmshReader, OverwrittenBytesAreImportedOrRefusedSafely) {
  std::mt19937 random(12);
  for (const char* name : kMeshes) {
    const std::string bytes = testing::read_file(testing::source_dir() + "/tests/data/mesh/" + name);
    for (int trial = 0; trial < 300; ++trial) {
      std::string damaged = bytes;
      for (int k = 0; k < 3; ++k) damaged[random() % damaged.size()] = static_cast<char>(random() % 256);
      imports(damaged);
    }
  }
}

}  // namespace
}  // namespace quorix
