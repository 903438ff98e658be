// What holds the plate, and where meshes meet unjoined, on plates of 4 x 2
// cells (16 elements, nodes 1-13 along y = 0, node 1 at the origin).

#include "model/plate_check.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/plate_mesh.hpp"

namespace quorix {
namespace {

struct Support {
  std::vector<int> nodes;
  const char* direction;
};

// The plate `scale` times 4 x 2, or two of them side by side `gap` apart
// (the second's nodes and elements numbered after the first's).
Model plate(double scale, const std::vector<Support>& supports, bool two = false, double gap = 1.0) {
  testing::PlateSpec layout;
  layout.length = 4.0 * scale;
  layout.height = 2.0 * scale;
  AnalysisSettings settings;
  const Model one = testing::make_plate(layout, settings);
  Model model;
  const int n = one.nodes.size(), e = one.elements.size();
  model.nodes = Table1<Node>(two ? 2 * n : n);
  model.elements = Table1<Element>(two ? 2 * e : e);
  for (int k = 1; k <= model.nodes.size(); ++k) {
    model.nodes(k) = one.nodes((k - 1) % n + 1);
    model.nodes(k).id = k;
    if (k > n) model.nodes(k).x += (4.0 + gap) * scale;
  }
  for (int k = 1; k <= model.elements.size(); ++k) {
    model.elements(k) = one.elements((k - 1) % e + 1);
    model.elements(k).id = k;
    if (k > e)
      for (int& node : model.elements(k).nodes) node += n;
  }
  std::vector<PrescribedDisplacement> records;
  for (const Support& support : supports)
    for (const int node : support.nodes)
      records.push_back({static_cast<int>(records.size()) + 1, node, FixedText<4>(support.direction), 0.0});
  model.prescribed_displacements = Table1<PrescribedDisplacement>(static_cast<std::int64_t>(records.size()));
  std::copy(records.begin(), records.end(), model.prescribed_displacements.begin());
  return model;
}

const std::vector<int> kLeft = {1, 14, 27, 40, 53, 66, 79};
const std::vector<int> kBottom = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};

// The lines with their lengths and places left out: what must not depend on
// the units.
std::vector<std::string> without_lengths(const std::vector<std::string>& lines) {
  std::vector<std::string> kept;
  for (const std::string& line : lines)
    kept.push_back(std::regex_replace(line, std::regex(R"(\([^)]*\)|= [-0-9.e+]+)"), "#"));
  return kept;
}

TEST(UnheldMotions, EachPartIsNamedWithTheMotionItsSupportsLeaveFree) {
  const struct {
    const char* what;
    std::vector<Support> supports;
    bool two;
    std::vector<std::string> lines;  // for the plate 4 x 2
  } cases[] = {
      {"held on one edge", {{kLeft, "BOTH"}}, false, {}},
      {"a roller edge and a pin", {{kLeft, "X"}, {{1}, "Y"}}, false, {}},
      {"one edge in X only",
       {{kLeft, "X"}},
       false,
       {"quorix: nothing holds the plate in y: no node of elements 1-16 is prescribed in Y; add a support in "
        "Y "
        "(for example at node 1, (0, 0))"}},
      {"one point",
       {{{1}, "BOTH"}},
       false,
       {"quorix: the plate can turn about node 1 at (0, 0), its only support: add a support at another "
        "node"}},
      {"one point in Y",
       {{{13}, "Y"}},
       false,
       {"quorix: nothing holds the plate in x, and it can turn about node 13 at (4, 0), its only support: no "
        "node of elements 1-16 is prescribed in X; add supports in X at two nodes (for example at node 1, "
        "(0, "
        "0), and node 79, (0, 2))"}},
      {"supports that meet at a point",
       {{kBottom, "X"}, {{1}, "Y"}},
       false,
       {"quorix: the plate can turn about (0, 0): its supports in X all lie on the line y = 0 and those in Y "
        "on "
        "the line x = 0; add a support off them (for example in Y at node 13, (4, 0))"}},
      {"two parts, the second free",
       {{kLeft, "BOTH"}},
       true,
       {"quorix: nothing holds the part: no node of elements 17-32 is prescribed; add supports in X and Y "
        "(for "
        "example BOTH at node 92, (5, 0), and Y at node 104, (9, 0))"}},
      {"nothing at all",
       {},
       false,
       {"quorix: nothing holds the plate: no node of elements 1-16 is prescribed; add supports in X and Y "
        "(for "
        "example BOTH at node 1, (0, 0), and Y at node 13, (4, 0))"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::string> lines = unheld_motions(plate(1.0, c.supports, c.two));
    EXPECT_EQ(lines, c.lines);
    // The same plate in millimetres, or a thousandth of it: the same lines
    // but for the lengths.
    for (const double scale : {1.0e3, 1.0e-3})
      EXPECT_EQ(without_lengths(unheld_motions(plate(scale, c.supports, c.two))), without_lengths(c.lines));
  }
}

TEST(UnjoinedNodes, NamesNodesAtOnePlaceThatNoElementJoins) {
  // Two plates that touch along x = 4: the seven nodes there are doubled.
  const std::vector<std::string> lines = unjoined_nodes(plate(1.0, {}, true, 0.0));
  EXPECT_EQ(
      lines,
      (std::vector<std::string>{
          "quorix: nodes 13 and 92 are both at (4, 0) but no element joins them: the mesh is cut there (two "
          "meshes put together without merging their nodes?)",
          "quorix: nodes 26 and 105 are both at (4, 0.333333) but no element joins them: the mesh is cut "
          "there (two meshes put together without merging their nodes?)",
          "quorix: nodes 39 and 118 are both at (4, 0.666667) but no element joins them: the mesh is cut "
          "there (two meshes put together without merging their nodes?)",
          "quorix: 4 more pairs of nodes at one place that no element joins",
      }));
  // Apart, or one plate: nothing to say; round-off of the size is one place.
  EXPECT_EQ(unjoined_nodes(plate(1.0, {}, true, 1.0e-6)), std::vector<std::string>{});
  EXPECT_EQ(unjoined_nodes(plate(1.0, {})), std::vector<std::string>{});
  Model nearly = plate(1.0, {}, true, 0.0);
  nearly.nodes(92).y += 1.0e-14;
  EXPECT_EQ(unjoined_nodes(nearly).size(), 4u);
}

}  // namespace
}  // namespace quorix
