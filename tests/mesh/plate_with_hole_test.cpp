// The whole way with a real Gmsh: examples/plate_with_hole.geo, meshed with
// gmsh -2 -order 3, turned into a model by quorix-mesh and analysed by quorix.
// Skipped when gmsh is not on PATH (CI installs it).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "analysis/loads_and_constraints.hpp"
#include "element/element_tables.hpp"
#include "model/input_reader.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

using testing::read_file;
using testing::run_program;
using testing::ScratchDir;
using testing::write_file;

// The plate of the example: 20 long, 10 wide, a hole of radius 1 at its
// centre; the quarter x, y >= 0 is meshed.
constexpr double kWidth = 10.0;
constexpr double kRadius = 1.0;
constexpr double kPull = 100.0;  // tension on the pulled end

std::string gmsh_on_path() {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');)
    if (!dir.empty() && access((dir + "/gmsh").c_str(), X_OK) == 0) return dir + "/gmsh";
  return "";
}

std::string example_geometry() { return testing::example_text("plate_with_hole.geo"); }

// The same geometry with the plate's curve loop drawn clockwise.
std::string clockwise_geometry() {
  return testing::replaced(example_geometry(), "Curve Loop(1) = {1, 2, 3, 4, 5};",
                           "Curve Loop(1) = {-5, -4, -3, -2, -1};");
}

// Meshes `geometry` in `dir` and writes plate.dat from it with the symmetry
// conditions and the given loads.
void make_model(const ScratchDir& dir, const std::string& geometry, const std::vector<std::string>& loads) {
  write_file(dir / "plate.geo", geometry);
  const auto mesh =
      run_program(gmsh_on_path(), {"-2", "-order", "3", "plate.geo", "-o", "plate.msh"}, dir.path());
  ASSERT_EQ(mesh.status, 0) << mesh.out << mesh.err;
  std::vector<std::string> args = {"plate.msh",  "-o",           "plate.dat",   "--analysis", "LINEAR",
                                   "--material", "200000,0.3,0", "--thickness", "1",          "--fix",
                                   "x_axis=Y",   "--fix",        "y_axis=X"};
  args.insert(args.end(), loads.begin(), loads.end());
  const auto run = run_program(testing::quorix_mesh_executable(), args, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
}

struct NodeResult {
  double u = 0.0;
  double v = 0.0;
  double sxx = 0.0;
};

// Runs quorix on plate.dat and returns its node table by the coordinates as
// written, taking the columns by their names in the heading.
std::map<std::pair<std::string, std::string>, NodeResult> analyse(const ScratchDir& dir) {
  const auto run = testing::run_quorix({"plate.dat"}, dir.path());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  std::map<std::pair<std::string, std::string>, NodeResult> nodes;
  std::stringstream lines(read_file(dir / "plate.dat.out"));
  std::map<std::string, std::size_t> column;
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> items;
    std::stringstream cells(line);
    for (std::string item; std::getline(cells, item, ',');)
      items.push_back(item.substr(item.find_first_not_of(' ')));
    if (items.empty()) continue;
    if (items[0] == "node") {
      for (std::size_t c = 0; c < items.size(); ++c) column[items[c]] = c;
    } else if (items[0] == "element") {
      break;
    } else if (!column.empty()) {
      nodes[{items[column["x"]], items[column["y"]]}] = {
          std::stod(items[column["u"]]), std::stod(items[column["v"]]), std::stod(items[column["Sxx"]])};
    }
  }
  return nodes;
}

class PlateWithHole : public ::testing::Test {
 protected:
  void SetUp() override {
    if (gmsh_on_path().empty()) GTEST_SKIP() << "gmsh is not on PATH";
  }
};

TEST_F(PlateWithHole, StressAtTheHoleMatchesTheFiniteWidthKirschValue) {
  ScratchDir dir;
  make_model(dir, example_geometry(), {"--pressure", "pulled=LOCAL,0," + std::to_string(kPull)});
  const auto nodes = analyse(dir);
  // Kirsch's 3 for an infinite plate, for a strip of width W with a hole of
  // diameter d corrected by Heywood's formula: the peak is (2 + (1 - d/W)^3)
  // times the mean stress on the net section, kPull W / (W - d). For d/W =
  // 0.2 that is 3.14 times the pull, as Howland's series solution gives.
  const double ratio = 2.0 * kRadius / kWidth;
  const double peak = (2.0 + std::pow(1.0 - ratio, 3)) * kPull / (1.0 - ratio);
  const auto top = nodes.find({"0.00000000E+00", "0.10000000E+01"});
  ASSERT_NE(top, nodes.end());
  EXPECT_NEAR(top->second.sxx, peak, 0.03 * peak);
}

TEST_F(PlateWithHole, ClockwiseDrawingGivesTheSameResults) {
  ScratchDir counter_clockwise;
  ScratchDir clockwise;
  const std::vector<std::string> pull = {"--pressure", "pulled=LOCAL,0," + std::to_string(kPull)};
  make_model(counter_clockwise, example_geometry(), pull);
  make_model(clockwise, clockwise_geometry(), pull);
  const auto expected = analyse(counter_clockwise);
  const auto found = analyse(clockwise);
  ASSERT_EQ(found.size(), expected.size());
  double largest = 0.0;
  for (const auto& [place, node] : expected)
    largest = std::max({largest, std::abs(node.u), std::abs(node.v)});
  for (const auto& [place, node] : expected) {
    const auto other = found.find(place);
    ASSERT_NE(other, found.end()) << place.first << ", " << place.second;
    EXPECT_NEAR(other->second.u, node.u, 1e-6 * largest);
    EXPECT_NEAR(other->second.v, node.v, 1e-6 * largest);
    EXPECT_NEAR(other->second.sxx, node.sxx, 1e-5 * kPull);
  }
}

TEST_F(PlateWithHole, LocalLoadOnTheCurvedHoleAddsUpToItsResultant) {
  // A pressure p in the hole (q2 = -p, since q2 points out of the plate)
  // pushes the plate away from the centre: over the quarter circle from (1, 0)
  // to (0, 1) that is p r (1, 1). A shear q1 along the boundary, with the
  // plate on its right, runs round the hole anticlockwise: q1 times the chord,
  // q1 (-1, 1).
  ScratchDir dir;
  constexpr double kP = 50.0;
  constexpr double kShear = 20.0;
  make_model(dir, example_geometry(), {"--pressure", "hole=LOCAL,20,-50"});
  Model model;
  AnalysisSettings settings;
  read_input_text(read_file(dir / "plate.dat"), "plate.dat", model, settings);
  const ElementTables tables = init_element_tables();
  double fx = 0.0;
  double fy = 0.0;
  for (const EdgePressure& pressure : model.pressures) {
    const EdgeLoadVector load =
        edge_pressure_vector(tables, gather_element(model, model.elements(pressure.element)), pressure);
    for (std::size_t j = 0; j < 4; ++j) {
      fx += load.forces[2 * j];
      fy += load.forces[2 * j + 1];
    }
  }
  EXPECT_GT(model.pressures.size(), 10);
  EXPECT_NEAR(fx, kP * kRadius - kShear * kRadius, 1e-6 * kP);
  EXPECT_NEAR(fy, kP * kRadius + kShear * kRadius, 1e-6 * kP);
}

}  // namespace
}  // namespace quorix
