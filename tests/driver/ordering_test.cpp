// --ordering nested against the default order, through the program: the
// same console, status and result file to the printed digits, on the
// examples, the golden models and a model that can move freely.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace quorix {
namespace {

using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// The node table of a result file: rows of the 12 values after the label.
std::vector<std::vector<double>> node_rows(const std::string& result) {
  std::vector<std::vector<double>> rows;
  std::istringstream lines(result);
  std::string line;
  std::getline(lines, line);  // the heading
  while (std::getline(lines, line)) {
    std::vector<double> row;
    std::istringstream fields(line);
    std::string field;
    std::getline(fields, field, ',');
    if (field.find_first_of("0123456789") == std::string::npos) break;  // the element table's heading
    while (std::getline(fields, field, ',')) row.push_back(std::stod(field));
    if (row.size() != 12) break;
    rows.push_back(row);
  }
  return rows;
}

TEST(NestedOrdering, GivesTheDefaultOrdersResultsToThePrintedDigits) {
  const std::string one = testing::example_text("one_element.dat");
  const struct {
    std::string name;
    std::string text;
    bool singular = false;  // then the solution is any one, and only the messages agree
  } models[] = {
      {"one_element.dat", one},
      {"cantilever.dat", testing::example_text("cantilever.dat")},
      {"hole_plate.dat", testing::example_text("hole_plate.dat")},
      {"cantilever_nonlinear.dat",
       read_file(testing::source_dir() + "/tests/golden/runs/cantilever_nonlinear.dat")},
      {"thick_ring.dat", read_file(testing::source_dir() + "/tests/golden/runs/thick_ring.dat")},
      {"free.dat", one.substr(0, one.find("DISPLACEMENT")), true},
  };
  // Columns x, y | u, v | the eight stresses: a value may differ from the
  // other order's by 1e-7 of itself or 1e-9 of the largest of its group.
  const std::vector<std::pair<std::size_t, std::size_t>> groups = {{0, 2}, {2, 4}, {4, 12}};
  for (const auto& [name, text, singular] : models) {
    SCOPED_TRACE(name);
    ScratchDir plain, nested;
    write_file(plain / name, text);
    write_file(nested / name, text);
    const auto expected = testing::run_quorix({name}, plain.path());
    const auto found = testing::run_quorix({"--ordering", "nested", name}, nested.path());
    EXPECT_EQ(found.status, expected.status);
    EXPECT_EQ(found.out, expected.out);
    EXPECT_EQ(found.err, expected.err);
    if (singular) continue;
    const auto a = node_rows(read_file(plain / (name + ".out")));
    const auto b = node_rows(read_file(nested / (name + ".out")));
    ASSERT_EQ(a.size(), b.size());
    ASSERT_FALSE(a.empty());
    for (const auto& [first, last] : groups) {
      double largest = 0.0;
      for (const auto& row : a)
        for (std::size_t c = first; c < last; ++c) largest = std::max(largest, std::abs(row[c]));
      for (std::size_t r = 0; r < a.size(); ++r)
        for (std::size_t c = first; c < last; ++c)
          EXPECT_LE(std::abs(a[r][c] - b[r][c]), std::max(1e-7 * std::abs(a[r][c]), 1e-9 * largest))
              << "node " << r + 1 << ", column " << c + 1;
    }
  }
}

TEST(NestedOrdering, IsAskedForByName) {
  ScratchDir dir;
  write_file(dir / "m.dat", testing::example_text("cantilever.dat"));
  const auto wrong = testing::run_quorix({"--ordering", "metis", "m.dat"}, dir.path());
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.err, "quorix: --ordering: expected nested or minimum-degree, found 'metis'\n");
  EXPECT_EQ(testing::run_quorix({"--ordering", "minimum-degree", "m.dat"}, dir.path()).status, 0);
}

}  // namespace
}  // namespace quorix
