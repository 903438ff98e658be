// The nested-dissection order of a mesh's equations, as the solver takes it.

#include "ordering/nested_dissection.hpp"

#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace
}  // namespace quorix
