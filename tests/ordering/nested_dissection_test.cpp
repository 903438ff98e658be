// The nested-dissection order of a mesh's equations, as the solver takes it.

#include "ordering/nested_dissection.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "support/plate_mesh.hpp"

namespace quorix {
namespace {

TEST(NestedDissection, OrdersEveryEquationOnceWithEachNodesPairTogether) {
  testing::PlateSpec layout;
  layout.nx = 12;
  layout.ny = 8;
  AnalysisSettings settings;
  const Model plate = testing::make_plate(layout, settings);
  // The plate and a node that belongs to no element.
  Model model;
  model.elements = plate.elements;
  model.nodes = Table1<Node>(plate.nodes.size() + 1);
  std::copy(plate.nodes.begin(), plate.nodes.end(), model.nodes.begin());
  model.nodes(model.nodes.size()).id = model.nodes.size();
  const int loose = model.nodes.size();

  const std::vector<int> order = nested_dissection_order(model);
  ASSERT_EQ(order.size(), 2 * static_cast<std::size_t>(model.nodes.size()));
  std::vector<int> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (std::size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], static_cast<int>(i) + 1);
  for (int k = 1; k <= model.nodes.size(); ++k)
    EXPECT_EQ(order[2 * static_cast<std::size_t>(k) - 1], order[2 * static_cast<std::size_t>(k) - 2] + 1)
        << k;
  // The node in no element first; the order depends on the mesh alone.
  EXPECT_EQ(order[2 * static_cast<std::size_t>(loose) - 2], 1);
  EXPECT_EQ(nested_dissection_order(model), order);

  // Each element's edge nodes and centre come before the last of its
  // corners: no element waits for a node that is not one of its own to be
  // eliminated after its corners are gone. Its centre comes before all its
  // other nodes (its front is the element), and the two nodes of an edge
  // one after the other.
  for (const Element& element : model.elements) {
    const auto at = [&](int a) {
      return order[2 * static_cast<std::size_t>(element.nodes[static_cast<std::size_t>(a)]) - 2];
    };
    const int last_corner = std::max({at(0), at(1), at(2)});
    for (int a = 3; a < 10; ++a) EXPECT_LT(at(a), last_corner);
    for (int a = 0; a < 9; ++a) EXPECT_LT(at(9), at(a));
    for (int a = 3; a < 9; a += 2) EXPECT_EQ(std::abs(at(a + 1) - at(a)), 2);
  }
}

// Meshes that do not conform (a corner or centre of one element serving as
// an edge node or centre of another, an edge node in three elements, nodes
// left out of every element) still get every equation once.
TEST(NestedDissection, OrdersEveryEquationOnceOnMeshesThatDoNotConform) {
  testing::PlateSpec layout;
  layout.nx = 6;
  layout.ny = 4;
  AnalysisSettings settings;
  Model model = testing::make_plate(layout, settings);
  const auto nodes_of = [&](int e) -> std::array<int, 10>& { return model.elements(e).nodes; };
  nodes_of(1)[3] = nodes_of(30)[0];  // another element's corner as an edge node
  nodes_of(2)[9] = nodes_of(31)[1];  // and as a centre
  nodes_of(3)[5] = nodes_of(32)[9];  // another element's centre as an edge node
  nodes_of(4)[7] = nodes_of(1)[4];   // an edge node in three elements
  nodes_of(5)[4] = nodes_of(5)[3];   // both nodes of an edge the same
  for (int e = 6; e <= 9; ++e) {     // an edge node that is a corner of its own edge
    nodes_of(e)[3] = nodes_of(e)[0];
    nodes_of(e + 4)[4] = nodes_of(e + 4)[1];
  }
  const std::vector<int> order = nested_dissection_order(model);
  std::vector<int> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (std::size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], static_cast<int>(i) + 1);
}

}  // namespace
}  // namespace quorix
