// Whole runs against their golden files: every model of
// tests/golden/runs/models.txt run with --report --csv must write, byte for
// byte, the result file, report and table recorded beside it (the report's
// time line aside). A change meant to change an output regenerates them with
// tests/golden/runs/regenerate.sh, and the diff shows what changed.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "model/input_reader.hpp"
#include "model/support_groups.hpp"
#include "parallel/task_pool.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

std::string golden(const std::string& name) { return testing::source_dir() + "/tests/golden/runs/" + name; }

std::vector<std::string> golden_models() {
  std::vector<std::string> models;
  std::istringstream list(read_file(golden("models.txt")));
  for (std::string line; std::getline(list, line);)
    if (!line.empty()) models.push_back(line);
  return models;
}

// The report without the solver's time, which no two runs share.
std::string without_time(const std::string& report) {
  std::istringstream lines(report);
  std::string kept;
  for (std::string line; std::getline(lines, line);)
    kept += (line.rfind("  time ", 0) == 0 ? "  time" : line) + "\n";
  return kept;
}

TEST(GoldenRuns, EveryOutputOfTheModelsIsAsRecorded) {
  const std::vector<std::string> models = golden_models();
  ASSERT_GE(models.size(), 4u);
  for (const std::string& model : models) {
    const std::string name = model.substr(model.rfind('/') + 1);
    SCOPED_TRACE(name + " (tests/golden/runs/regenerate.sh writes the golden files anew)");
    ScratchDir dir;
    write_file(dir / name, read_file(testing::source_dir() + "/" + model));
    const auto run = testing::run_quorix({"--report", "--csv", name}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir / (name + ".out")), read_file(golden(name + ".out")));
    EXPECT_EQ(read_file(dir / (name + ".csv")), read_file(golden(name + ".csv")));
    const std::string report = read_file(dir / (name + ".report"));
    EXPECT_EQ(without_time(report), without_time(read_file(golden(name + ".report"))));

    // The supports carry the loads: what is left over is round-off.
    const std::vector<double> loads = testing::report_numbers(report, "all loads");
    const std::vector<double> balance = testing::report_numbers(report, "loads and reactions (balance)");
    ASSERT_EQ(loads.size(), 3u);
    ASSERT_EQ(balance.size(), 3u);
    const double force = std::hypot(loads[0], loads[1]);
    EXPECT_LE(std::hypot(balance[0], balance[1]), 1e-9 * force);
    EXPECT_LE(std::abs(balance[2]), 1e-9 * std::max(std::abs(loads[2]), force));
  }
}

// The report's sum for a group of supports is the sum of the table's
// reactions at the nodes of the group's DISPLACEMENT records.
TEST(GoldenRuns, GroupReactionsAreTheSumsOverTheGroupsNodes) {
  std::map<int, std::array<double, 2>> reaction;  // by node, from the table
  std::istringstream table(read_file(golden("thick_ring.dat.csv")));
  std::string row;
  std::getline(table, row);
  while (std::getline(table, row)) {
    std::vector<double> items;
    std::istringstream cells(row);
    for (std::string item; std::getline(cells, item, ',');) items.push_back(std::stod(item));
    reaction[static_cast<int>(items.at(0))] = {items.at(13), items.at(14)};
  }
  Model model;
  AnalysisSettings settings;
  const std::string text = read_file(golden("thick_ring.dat"));
  read_input_text(text, "thick_ring.dat", model, settings, shared_task_pool());
  const std::string report = read_file(golden("thick_ring.dat.report"));
  const std::vector<SupportGroup> groups = read_support_groups(text);
  ASSERT_EQ(groups.size(), 2u);
  for (const SupportGroup& group : groups) {
    SCOPED_TRACE(group.name);
    double rx = 0.0, ry = 0.0;
    for (int r = group.first_record; r <= group.last_record; ++r) {
      const PrescribedDisplacement& record = model.prescribed_displacements(r);
      if (record.direction.trimmed() != "Y") rx += reaction[record.node][0];
      if (record.direction.trimmed() != "X") ry += reaction[record.node][1];
    }
    const std::vector<double> sums = testing::report_numbers(report, "group " + group.name);
    ASSERT_EQ(sums.size(), 3u);  // Rx Ry Mz
    EXPECT_NEAR(sums[0], rx, 1e-6 * std::abs(sums[0]) + 1e-9);
    EXPECT_NEAR(sums[1], ry, 1e-6 * std::abs(sums[1]) + 1e-9);
    // A quarter of the bore, 25 in radius, under a pressure of 10.
    EXPECT_NEAR(std::hypot(sums[0], sums[1]), 250.0, 0.01);
  }
}

// numpy reads the table as it is; its stresses are the result file's divided
// by the thickness.
TEST(GoldenRuns, NumpyReadsTheTable) {
  ScratchDir dir;
  write_file(dir / "probe.py", R"(
import sys, numpy
table = numpy.genfromtxt(sys.argv[1], names=True, delimiter=',')
row = table[table['node'] == 457][0]
print(len(table), repr(row['x']), repr(row['y']), repr(row['sxx']), repr(row['von_mises']), repr(row['ry']))
)");
  const auto run =
      testing::run_program("/usr/bin/python3", {"probe.py", golden("hole_plate.dat.csv")}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream found(run.out);
  double rows = 0, x = 0, y = 0, sxx = 0, von_mises = 0, ry = 0;
  found >> rows >> x >> y >> sxx >> von_mises >> ry;
  EXPECT_EQ(rows, 475);
  EXPECT_EQ(x, 0.0);
  EXPECT_EQ(y, 20.0);
  // Row 456 of the result file is node 457: Sxx = 0.33161693E+03, the plate
  // 10 thick.
  EXPECT_NEAR(sxx, 331.61693 / 10.0, 1e-6);
  EXPECT_GT(von_mises, sxx * 0.99);
  EXPECT_EQ(ry, 0.0);  // held in x only
}

}  // namespace
}  // namespace quorix
