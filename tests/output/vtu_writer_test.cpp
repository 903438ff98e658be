// The ParaView file as VTK's own reader sees it.

#include "output/vtu_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "element/element_tables.hpp"
#include "model/input_reader.hpp"
#include "parallel/task_pool.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// Reads FILE with VTK's XML reader and prints, one per line: the counts, the
// cell types, the point data of point POINT, the sum of the reactions, the
// root of the sum of the squared error indicators, and
// where VTK's own Lagrange triangle puts parametric points of cell CELL.
const char* const kVtkProbe = R"(
import sys, vtk
reader = vtk.vtkXMLUnstructuredGridReader()
reader.SetFileName(sys.argv[1])
reader.Update()
grid = reader.GetOutput()
point, cell_number = int(sys.argv[2]), int(sys.argv[3])
print("points", grid.GetNumberOfPoints())
print("cells", grid.GetNumberOfCells())
print("types", *sorted({grid.GetCellType(c) for c in range(grid.GetNumberOfCells())}))
data = grid.GetPointData()
for name in ("displacement", "stress", "von_mises"):
    print(name, *map(repr, data.GetArray(name).GetTuple(point)))
reaction = data.GetArray("reaction")
print("reaction_sum", *[repr(sum(reaction.GetComponent(p, c) for p in range(grid.GetNumberOfPoints())))
                        for c in range(3)])
indicator = grid.GetCellData().GetArray("error_indicator")
print("indicator", repr(sum(indicator.GetValue(c) ** 2 for c in range(grid.GetNumberOfCells())) ** 0.5))
cell = grid.GetCell(cell_number)
for r, s in ((0.2, 0.3), (0.05, 0.9), (1 / 3, 1 / 3), (0.7, 0.1), (0.0, 0.5)):
    x = [0.0] * 3
    cell.EvaluateLocation(vtk.reference(0), [r, s, 0.0], x, [0.0] * cell.GetNumberOfPoints())
    print("location", repr(r), repr(s), repr(x[0]), repr(x[1]))
)";

// The probe's lines as name -> numbers (location lines in order).
struct Probe {
  std::map<std::string, std::vector<double>> values;
  std::vector<std::vector<double>> locations;
};

Probe parse_probe(const std::string& text) {
  Probe probe;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream items(line);
    std::string name;
    items >> name;
    std::vector<double> numbers;
    for (double x; items >> x;) numbers.push_back(x);
    if (name == "location")
      probe.locations.push_back(numbers);
    else
      probe.values[name] = numbers;
  }
  return probe;
}

// Field `column` (0 = label) of the result file's row for 0-based node `label`.
double result_field(const std::string& result, int label, int column) {
  std::istringstream lines(result);
  std::string line;
  for (int k = 0; k <= label + 1; ++k) std::getline(lines, line);
  std::istringstream fields(line);
  std::string field;
  for (int c = 0; c <= column; ++c) std::getline(fields, field, ',');
  return std::stod(field);
}

TEST(WriteVtu, VtkReadsTheCubicCellsTheirGeometryAndTheResults) {
  // The plate with a hole: curved elements along the hole, thickness 10.
  ScratchDir dir;
  const std::string text = testing::example_text("hole_plate.dat");
  write_file(dir / "hole.dat", text);
  const testing::ProgramRun run = testing::run_quorix({"--vtu", "--report", "hole.dat"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  write_file(dir / "probe.py", kVtkProbe);
  const int point = 456;  // the top of the hole, where the stress peaks
  const int cell = 1;     // element 2, with an edge along the hole
  const testing::ProgramRun probed = testing::run_program(
      QUORIX_PYTHON, {"probe.py", "hole.dat.vtu", std::to_string(point), std::to_string(cell)}, dir.path());
  ASSERT_EQ(probed.status, 0) << probed.err;
  const Probe probe = parse_probe(probed.out);

  Model model;
  AnalysisSettings settings;
  read_input_text(text, "hole.dat", model, settings, shared_task_pool());
  EXPECT_EQ(probe.values.at("points"), std::vector<double>{static_cast<double>(model.nodes.size())});
  EXPECT_EQ(probe.values.at("cells"), std::vector<double>{static_cast<double>(model.elements.size())});
  EXPECT_EQ(probe.values.at("types"), std::vector<double>{69.0});

  // The result file rounds to 8 digits; its Sxx, Syy, Sxy and Svm carry the
  // thickness, the ParaView file's stresses do not.
  const std::string result = read_file(dir / "hole.dat.out");
  const double t = 10.0;
  const std::vector<double>& u = probe.values.at("displacement");
  const std::vector<double>& s = probe.values.at("stress");
  const double expected[][2] = {
      {u.at(0), result_field(result, point, 3)},
      {u.at(1), result_field(result, point, 4)},
      {u.at(2), 0.0},
      {s.at(0), result_field(result, point, 5) / t},
      {s.at(1), result_field(result, point, 6) / t},
      {s.at(2), result_field(result, point, 7)},
      {s.at(3), result_field(result, point, 8) / t},
      {s.at(4), 0.0},
      {s.at(5), 0.0},
      {probe.values.at("von_mises").at(0), result_field(result, point, 12) / t},
  };
  for (const auto& [vtk, out] : expected) EXPECT_NEAR(vtk, out, 1e-7 * std::fabs(out) + 1e-12);
  EXPECT_GT(s.at(0), 25.0);  // about three times the tension of 10

  // The supports carry the edge load of 100 per length on the edge of
  // length 100 at x = 100, and the weight of the plate.
  const std::vector<double>& reaction = probe.values.at("reaction_sum");
  EXPECT_NEAR(reaction.at(0), -10000.0, 1e-6);
  EXPECT_GT(reaction.at(1), 0.0);

  // The elements' shares of the error add up, as squares, to the report's.
  const std::vector<double> share =
      testing::report_numbers(read_file(dir / "hole.dat.report"), "estimated error, share of the solution");
  ASSERT_EQ(share.size(), 1u);
  EXPECT_NEAR(100.0 * probe.values.at("indicator").at(0), share[0], 0.005);

  // VTK's Lagrange triangle with parametric (r, s) is this program's element
  // at qsi = 1 - r - s, eta = r.
  const Element& element = model.elements(cell + 1);
  ASSERT_EQ(probe.locations.size(), 5u);
  for (const std::vector<double>& location : probe.locations) {
    const double r = location.at(0), p = location.at(1);
    const Vec10 n = shape_functions(1.0 - r - p, r);
    double x = 0.0, y = 0.0;
    for (std::size_t i = 0; i < 10; ++i) {
      x += n[i] * model.nodes(element.nodes[i]).x;
      y += n[i] * model.nodes(element.nodes[i]).y;
    }
    EXPECT_NEAR(location.at(2), x, 1e-12 * 100.0) << "at (" << r << ", " << p << ")";
    EXPECT_NEAR(location.at(3), y, 1e-12 * 100.0) << "at (" << r << ", " << p << ")";
  }
}

}  // namespace
}  // namespace quorix
