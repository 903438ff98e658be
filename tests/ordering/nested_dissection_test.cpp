// The nested-dissection order of a mesh's equations, as the solver takes it.

#include "ordering/nested_dissection.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "element/dof_map.hpp"
#include "element/element_tables.hpp"
#include "model/global_system.hpp"
#include "parallel/task_pool.hpp"
#include "solver/analysis_phase.hpp"
#include "sparse/sparse_matrix.hpp"
#include "support/plate_mesh.hpp"

namespace quorix {
namespace {

// The entries of the factor's lower triangle when the nodes are eliminated
// in the given order (position[k] of node k, from 0), each node two
// equations: rows are followed up the elimination tree of the node graph
// (two nodes adjacent when they share an element).
std::int64_t factor_entries(const Model& model, const std::vector<int>& position) {
  const std::size_t n = position.size();
  std::vector<std::vector<int>> earlier(n);  // by position: the neighbours before it
  for (const Element& element : model.elements)
    for (const int a : element.nodes)
      for (const int b : element.nodes)
        if (position[static_cast<std::size_t>(b - 1)] < position[static_cast<std::size_t>(a - 1)])
          earlier[static_cast<std::size_t>(position[static_cast<std::size_t>(a - 1)])].push_back(
              position[static_cast<std::size_t>(b - 1)]);
  std::vector<int> parent(n, -1), seen(n, -1);
  std::int64_t entries = 0;
  for (std::size_t i = 0; i < n; ++i) {
    seen[i] = static_cast<int>(i);
    for (int k : earlier[i])
      for (; seen[static_cast<std::size_t>(k)] != static_cast<int>(i);
           k = parent[static_cast<std::size_t>(k)]) {
        seen[static_cast<std::size_t>(k)] = static_cast<int>(i);
        if (parent[static_cast<std::size_t>(k)] < 0)
          parent[static_cast<std::size_t>(k)] = static_cast<int>(i);
        entries += 4;  // the 2 x 2 block of nodes i and k
      }
  }
  return entries + 3 * static_cast<std::int64_t>(n);  // the diagonal blocks' lower triangles
}

// A square plate numbered row by row has fronts as wide as a row; cut in
// halves again and again down to pieces of two corners, its factor is a
// seventh of that (pieces of forty corners left uncut, or the separators
// eliminated before their parts, bring it above).
TEST(NestedDissection, CutsAPlateDownToSmallPieces) {
  testing::PlateSpec layout;
  layout.nx = 40;
  layout.ny = 40;
  layout.length = layout.height = 40.0;
  AnalysisSettings settings;
  const Model model = testing::make_plate(layout, settings);
  const std::vector<int> order = nested_dissection_order(model);
  std::vector<int> nested(static_cast<std::size_t>(model.nodes.size())), by_number(nested.size());
  for (std::size_t k = 0; k < nested.size(); ++k) {
    nested[k] = (order[2 * k] - 1) / 2;
    by_number[k] = static_cast<int>(k);
  }
  EXPECT_LT(factor_entries(model, nested), factor_entries(model, by_number) / 7);
}

// A plate of nx by ny cells, with one more node, in no element, when asked.
Model plate(int nx, int ny, bool loose_node = false) {
  testing::PlateSpec layout;
  layout.nx = nx;
  layout.ny = ny;
  AnalysisSettings settings;
  Model model = testing::make_plate(layout, settings);
  if (loose_node) {
    Table1<Node> nodes(model.nodes.size() + 1);
    std::copy(model.nodes.begin(), model.nodes.end(), nodes.begin());
    nodes(nodes.size()).id = nodes.size();
    model.nodes = std::move(nodes);
  }
  return model;
}

TEST(NestedDissection, OrdersEveryEquationOnceWithEachNodesPairTogether) {
  // The plate and a node that belongs to no element.
  const Model model = plate(12, 8, true);
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
  Model model = plate(6, 4);
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

// What the analysis leaves for a supplied order: the positions, the nodes
// and their fronts, the forecast, the messages.
struct Plan {
  std::vector<int> iplan, fronts;
  std::vector<double> forecast;
  std::string console;
  bool operator==(const Plan&) const = default;
};

Plan analyse(int n, const std::vector<int>& rows, const std::vector<int>& cols, const std::vector<int>& order,
             const EliminationTree* tree) {
  Solver solver;
  std::ostringstream console;
  solver.console = &console;
  const auto nz = static_cast<std::int64_t>(rows.size()), liw = 3 * static_cast<std::int64_t>(n) + 2 * nz + 1;
  std::vector<int> int_space(static_cast<std::size_t>(liw)), iplan(3 * static_cast<std::size_t>(n)),
      tree_work(2 * static_cast<std::size_t>(n));
  std::copy(order.begin(), order.end(), iplan.begin());
  int nnodes = 0, iflag = 1;
  MFANAL(solver, n, nz, rows, cols, int_space, liw, iplan, tree_work, nnodes, iflag, tree);
  EXPECT_GE(iflag, 0);
  const View1<int> fronts = node_front_orders(int_space, n, liw);
  const SolverInfo& i = solver.info;
  return {iplan,
          std::vector<int>(fronts.data(), fronts.data() + nnodes),
          {i.OPS, double(i.RTOTAL), double(i.RNEEDS), double(i.ITOTAL), double(i.INEEDS), double(i.RFACTS)},
          console.str()};
}

// The tree worked out on the mesh's nodes is the one the analysis finds in
// the entries of the assembled matrix: given it, the analysis leaves the same
// plan. On a plate with a node in no element and on a mesh that does not
// conform, for the nested order and for random orders of the nodes (either
// of a node's equations first); none for an order that parts a node's two.
TEST(MeshEliminationTree, IsTheTreeTheAssembledEntriesGive) {
  Model loose = plate(7, 5, true);
  Model unjoined = plate(7, 5);
  unjoined.elements(1).nodes[3] = unjoined.elements(30).nodes[0];
  unjoined.elements(4).nodes[7] = unjoined.elements(1).nodes[4];
  unjoined.elements(5).nodes[4] = unjoined.elements(5).nodes[3];
  std::mt19937 random(3);
  for (Model* model : {&loose, &unjoined}) {
    create_global_matrix(*model);
    const std::array<double, 400> zeros{};
    for (const Element& element : model->elements) {
      const std::array<int, 20> dofs = element_dof_numbers(gather_element(*model, element));
      add_element_matrix(model->matrix, zeros.data(), dofs.data(), 20);
    }
    GatherWorkspace workspace;
    compress_sparse_matrix(model->matrix, workspace, &shared_task_pool());
    const SparseMatrix& matrix = model->matrix;
    std::vector<int> rows(matrix.row_indices.data(), matrix.row_indices.data() + matrix.term_count),
        cols(matrix.col_indices.data(), matrix.col_indices.data() + matrix.term_count);

    std::vector<std::vector<int>> orders = {nested_dissection_order(*model)};
    for (int k = 0; k < 3; ++k) {
      std::vector<int> rank(static_cast<std::size_t>(model->nodes.size())), order(2 * rank.size());
      std::iota(rank.begin(), rank.end(), 0);
      std::shuffle(rank.begin(), rank.end(), random);
      for (std::size_t v = 0; v < rank.size(); ++v) {
        const bool y_first = random() % 2 == 1;
        order[2 * v] = 2 * rank[v] + (y_first ? 2 : 1);
        order[2 * v + 1] = 2 * rank[v] + (y_first ? 1 : 2);
      }
      orders.push_back(order);
    }
    for (const std::vector<int>& order : orders) {
      const EliminationTree tree = mesh_elimination_tree(*model, order);
      ASSERT_EQ(tree.father.size(), order.size());
      EXPECT_EQ(analyse(matrix.order, rows, cols, order, &tree),
                analyse(matrix.order, rows, cols, order, nullptr));
    }
    // An entry out of range is named, and the rest analysed, as without the tree.
    rows.push_back(matrix.order + 1);
    cols.push_back(1);
    const EliminationTree tree = mesh_elimination_tree(*model, orders[0]);
    const Plan warned = analyse(matrix.order, rows, cols, orders[0], &tree);
    EXPECT_NE(warned.console.find("IFLAG = 1"), std::string::npos);
    EXPECT_EQ(warned, analyse(matrix.order, rows, cols, orders[0], nullptr));
    std::vector<int> parted = orders.back();
    std::swap(parted[1], parted[2]);
    EXPECT_TRUE(mesh_elimination_tree(*model, parted).father.empty());
  }
}

}  // namespace
}  // namespace quorix
