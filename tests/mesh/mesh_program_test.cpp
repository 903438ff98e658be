// quorix-mesh run on the meshes under tests/data/mesh/, which Gmsh wrote
// (make_meshes.py there). Every variant of a geometry (MSH 2.2 and 4.1, ASCII
// and binary, sparse tags) must give the same model file, checked against a
// golden file; each bad input must give one line and no model file.
//
// The golden files were checked by hand (nodes and elements against the
// meshes, the clockwise triangles turned, each edge load on the right edge
// with its values in the right order) and are regenerated only on purpose,
// with the commands of kGoldenRuns run in a folder holding the mesh as
// plate.msh.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace quorix {
namespace {

using testing::read_file;
using testing::run_program;
using testing::ScratchDir;
using testing::write_file;

std::string mesh_path(const std::string& name) { return testing::source_dir() + "/tests/data/mesh/" + name; }

testing::ProgramRun run_mesh(const std::vector<std::string>& args, const ScratchDir& dir) {
  return run_program(testing::quorix_mesh_executable(), args, dir.path());
}

struct GoldenRun {
  const char* golden;
  std::vector<std::string> meshes;
  std::vector<std::string> args;
};

const std::vector<GoldenRun> kGoldenRuns = {
    // One triangle; the hypotenuse's load rises against the edge's direction.
    {"one_element_mesh.dat",
     {"one_element_v22.msh", "one_element_v22_binary.msh", "one_element_v41.msh",
      "one_element_v41_binary.msh"},
     {"plate.msh", "-o", "plate.dat", "--analysis", "LINEAR", "--material", "plate=1000000,0.3,0",
      "--thickness", "0.01", "--fix", "x_fixed=X", "--fix", "tip=Y", "--pressure", "pressed=LOCAL,0,0:-6",
      "--force", "tip=10,0"}},
    // Eight triangles, four clockwise, two materials, each triangle in two
    // surface groups, nodes unused by triangles; loads with and against the
    // edges.
    {"two_squares_mesh.dat",
     {"two_squares_v22.msh", "two_squares_v22_binary.msh", "two_squares_v22_sparse.msh",
      "two_squares_v41.msh", "two_squares_v41_binary.msh", "two_squares_v41_sparse.msh"},
     {"plate.msh", "-o", "plate.dat", "--analysis", "LINEAR", "--material", "steel=210000,0.3,7.85e-5",
      "--material", "aluminium=70000,0.33,2.7e-5", "--thickness", "all=0.5", "--fix", "left=BOTH",
      "--pressure", "right=LOCAL,0,0:50", "--pressure", "top=GLOBAL,0,0:-10", "--force", "tip=5,0"}},
};

TEST(MeshProgram, EveryVariantOfAMeshGivesTheGoldenModelFileThatQuorixRuns) {
  for (const GoldenRun& golden : kGoldenRuns) {
    const std::string expected = read_file(testing::source_dir() + "/tests/golden/" + golden.golden);
    for (const std::string& mesh : golden.meshes) {
      ScratchDir dir;
      write_file(dir / "plate.msh", read_file(mesh_path(mesh)));
      const auto run = run_mesh(golden.args, dir);
      EXPECT_EQ(run.status, 0) << mesh << ": " << run.err;
      EXPECT_EQ(run.out + run.err, "") << mesh;
      EXPECT_EQ(read_file(dir / "plate.dat"), expected) << mesh;
      const auto analysis = testing::run_quorix({"plate.dat"}, dir.path());
      EXPECT_EQ(analysis.status, 0) << mesh << ": " << analysis.out << analysis.err;
    }
  }
}

TEST(MeshProgram, HelpGivesAnExampleOfEachOption) {
  ScratchDir dir;
  const auto run = run_mesh({"--help"}, dir);
  EXPECT_EQ(run.status, 0);
  for (const char* option : {"-o", "--analysis", "--state", "--increments", "--tolerance", "--material",
                             "--thickness", "--fix", "--pressure", "--force"})
    EXPECT_NE(run.out.find(std::string("example: ") + option + " "), std::string::npos) << option;
}

struct BadRun {
  const char* what;
  std::string mesh;  // the content of plate.msh
  std::vector<std::string> conditions;
  int status;
  std::string message;  // the one line on standard error
};

std::string mesh_text(const std::string& name) { return read_file(mesh_path(name)); }

std::string cut(const std::string& text, const std::string& before) {
  return text.substr(0, text.find(before));
}

TEST(MeshProgram, RefusesBadInputWithOneLineAndLeavesAnEarlierModelFile) {
  const std::vector<std::string> one = {"--material", "1000,0.3,0", "--thickness", "1"};
  const std::string squares = mesh_text("two_squares_v41.msh");
  const std::string triangle = mesh_text("one_element_v41.msh");
  const std::string binary = mesh_text("one_element_v41_binary.msh");
  const std::vector<BadRun> cases = {
      {"unknown group",
       triangle,
       {"--material", "1000,0.3,0", "--thickness", "1", "--fix", "nowhere=X"},
       1,
       "plate.msh: --fix nowhere=X: expected the name of a physical group, found 'nowhere'; the groups are "
       "'tip' "
       "(point), 'pressed' (curve), 'x_fixed' (curve), 'outline' (curve), 'plate' (surface)"},
      {"pressure on a surface",
       triangle,
       {"--material", "1000,0.3,0", "--thickness", "1", "--pressure", "plate=LOCAL,0,-1"},
       1,
       "plate.msh: --pressure plate=LOCAL,0,-1: expected a curve group, found 'plate', a surface group"},
      {"force on a curve",
       triangle,
       {"--material", "1000,0.3,0", "--thickness", "1", "--force", "pressed=0,1"},
       1,
       "plate.msh: --force pressed=0,1: expected a point group, found 'pressed', a curve group"},
      {"curve on no triangle",
       squares,
       {"--material", "1,0.3,0", "--thickness", "1", "--fix", "stray=X"},
       1,
       "plate.msh:170: --fix stray=X: expected the lines of curve group 'stray' on triangle edges, found "
       "line 6 "
       "on none"},
      {"surface without material",
       squares,
       {"--material", "steel=1,0.3,0", "--thickness", "1"},
       1,
       "plate.msh:177: expected a material for surface group aluminium or all, found none: add --material "
       "aluminium=E,nu,weight or --material all=E,nu,weight"},
      {"surface without thickness",
       triangle,
       {"--material", "1,0.3,0"},
       1,
       "plate.msh:63: expected a thickness for surface group plate, found none: add --thickness plate=t"},
      {"MSH 4.0", testing::replaced(triangle, "4.1 0 8", "4 0 8"), one, 1,
       "plate.msh:2: expected MSH version 2.2 or 4.1 (gmsh -format msh41 or -format msh22), found version "
       "'4'"},
      // A file for another step of the way is named as such.
      {"a .geo file", read_file(mesh_path("one_element.geo")), one, 1,
       "plate.msh:2: plate.msh is a Gmsh geometry: mesh it with gmsh -2 -order 3 plate.msh, then use "
       "quorix-mesh on the .msh file"},
      {"a model file", testing::example_text("one_element.dat"), one, 1,
       "plate.msh:1: plate.msh is a model file for quorix, not a mesh: analyse it with quorix plate.msh"},
      {"a junk section", triangle + std::string("$Junk\xff\x00\x01 and more\n", 18), one, 1,
       "plate.msh:65: expected \"$EndJunk\\xFF\\x00\\x01 and more\" to close the section, found the end of "
       "the "
       "file"},
      {"off the plane z = 0", testing::replaced(triangle, "\n3 0 0\n", "\n3 0 3\n"), one, 1,
       "plate.msh:26: expected node 1 at z = 0, found it at (3, 0, 3): the mesh must lie in the plane z = 0 "
       "(draw the plate in x and y)"},
      {"a number two groups share",
       testing::replaced(testing::replaced(triangle, "1 4 \"outline\"", "1 1 \"outline\""),
                         "3 0 0 0 3 0 0 1 4 2 3 -1", "3 0 0 0 3 0 0 1 1 2 3 -1"),
       {"--material", "1000,0.3,0", "--thickness", "1", "--fix", "1=BOTH"},
       1,
       "plate.msh: --fix 1=BOTH: expected one physical group, found '1' naming the point group 1 ('tip') and "
       "the curve group 1 ('outline'): give the groups names of their own in the .geo file and use those"},
      {"two values for one node",
       triangle,
       {"--material", "1000,0.3,0", "--thickness", "1", "--fix", "x_fixed=X", "--fix", "x_fixed=BOTH,0.1"},
       1,
       "plate.msh: --fix x_fixed=BOTH,0.1: expected one value for node 2 at (0, 3) in X, found 0 from --fix "
       "x_fixed=X and 0.1 from --fix x_fixed=BOTH,0.1"},
      {"ASCII cut short", cut(triangle, "0.9999999999966984"), one, 1,
       "plate.msh:45: expected the x coordinate of node 8, found the end of the file"},
      {"binary cut short", binary.substr(0, 1200), one, 1,
       "plate.msh: byte 1194: expected a parametric coordinate of node 10 (8 bytes), found the end of the "
       "file"},
      {"curves only", mesh_text("curves_only.msh"), one, 1,
       "plate.msh: expected cubic triangles (type 21), found none: the mesh has physical groups but no "
       "physical "
       "surface, and Gmsh then saves only the elements of physical groups; add a Physical Surface holding "
       "the "
       "plate to the .geo file and mesh again"},
      {"incomplete cubic triangles", mesh_text("one_element_incomplete.msh"), one, 1,
       "plate.msh:32: expected cubic triangles with their centre node (type 21), found 9-node cubic "
       "triangles "
       "(type 20): mesh again without Mesh.SecondOrderIncomplete"},
      {"order 2", mesh_text("one_element_order2.msh"), one, 1,
       "plate.msh:48: expected elements of order 3 (cubic triangles, type 21, and their 4-node lines, type "
       "26), "
       "found 3-node lines (type 8): mesh with gmsh -2 -order 3"},
      {"decimal comma",
       triangle,
       {"--material", "1000,0,3,0", "--thickness", "1"},
       2,
       "quorix-mesh: --material 1000,0,3,0: expected E,nu,weight, found 4 values (write decimals with a "
       "point)"},
      {"Poisson's ratio for plane strain",
       triangle,
       {"--material", "1000,0.5,0", "--thickness", "1", "--state", "plane_strain"},
       2,
       "quorix-mesh: --material 1000,0.5,0: expected Poisson's ratio above -1 and below 0.5 for plane "
       "strain"},
      {"group given to a whole-model option",
       triangle,
       {"--material", "1,0.3,0", "--thickness", "1", "--analysis", "plate=LINEAR"},
       2,
       "quorix-mesh: --analysis plate=LINEAR: expected a value alone, found a group: the option applies to "
       "the "
       "whole model"},
      {"model file named as the mesh",
       triangle,
       {"--material", "1,0.3,0", "--thickness", "1", "-o", "plate.msh"},
       1,
       "quorix-mesh: -o plate.msh: expected a model file name, found the mesh file"},
      {"unknown option",
       triangle,
       {"--version", "--materials", "1,0.3,0"},
       2,
       "quorix-mesh: unknown option '--materials' (quorix-mesh --help lists them)"},
  };
  for (const BadRun& bad : cases) {
    ScratchDir dir;
    write_file(dir / "plate.msh", bad.mesh);
    write_file(dir / "plate.dat", "an earlier model\n");
    std::vector<std::string> args = {"plate.msh"};
    if (std::find(bad.conditions.begin(), bad.conditions.end(), "-o") == bad.conditions.end())
      args.insert(args.end(), {"-o", "plate.dat"});
    args.insert(args.end(), bad.conditions.begin(), bad.conditions.end());
    const auto run = run_mesh(args, dir);
    EXPECT_EQ(run.status, bad.status) << bad.what;
    EXPECT_EQ(run.err, bad.message + "\n") << bad.what;
    EXPECT_EQ(run.out, "") << bad.what;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"plate.dat", "plate.msh"})) << bad.what;
    EXPECT_EQ(read_file(dir / "plate.dat"), "an earlier model\n") << bad.what;
  }
}

}  // namespace
}  // namespace quorix
