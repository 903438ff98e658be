// Nodal forces, edge loads and prescribed displacements on the assembled system.

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/analysis.hpp"
#include "analysis/loads_and_constraints.hpp"
#include "parallel/task_pool.hpp"
#include "support/plate_mesh.hpp"

namespace quorix {
namespace {

using testing::PlateSpec;

const ElementTables& tables() { return testing::element_tables(); }

// A straight-sided element with its edge 1 (local nodes 2, 5, 4, 1) running
// from (x2, y2) to (x1, y1) and the third corner at (x3, y3).
ElementData straight_element(double x1, double y1, double x2, double y2, double x3, double y3) {
  ElementData e;
  const double cx[3] = {x1, x2, x3}, cy[3] = {y1, y2, y3};
  auto put = [&](int a, double p, double q, double r) {
    e.x[static_cast<std::size_t>(a)] = p * cx[0] + q * cx[1] + r * cx[2];
    e.y[static_cast<std::size_t>(a)] = p * cy[0] + q * cy[1] + r * cy[2];
  };
  put(0, 1, 0, 0), put(1, 0, 1, 0), put(2, 0, 0, 1);
  put(3, 2.0 / 3, 1.0 / 3, 0), put(4, 1.0 / 3, 2.0 / 3, 0);
  put(5, 0, 2.0 / 3, 1.0 / 3), put(6, 0, 1.0 / 3, 2.0 / 3);
  put(7, 1.0 / 3, 0, 2.0 / 3), put(8, 2.0 / 3, 0, 1.0 / 3);
  put(9, 1.0 / 3, 1.0 / 3, 1.0 / 3);
  for (int a = 0; a < 10; ++a) e.node_ids[static_cast<std::size_t>(a)] = a + 1;
  return e;
}

EdgePressure pressure_on(int edge, const char* system, double q1s, double q1e, double q2s, double q2e) {
  EdgePressure p;
  p.element = 1;
  p.edge = edge;
  p.system.assign(system);
  p.q1_start = q1s;
  p.q1_end = q1e;
  p.q2_start = q2s;
  p.q2_end = q2e;
  return p;
}

TEST(EdgePressureVector, UniformLoadSplitsOneThreeThreeOne) {
  // Edge 1 from (0, 3) to (3, 0): length 3 * sqrt(2).
  const ElementData e = straight_element(3, 0, 0, 3, 0, 0);
  const double length = 3.0 * std::sqrt(2.0);
  const EdgeLoadVector load = edge_pressure_vector(tables(), e, pressure_on(1, "GLOBAL", 0, 0, -2.0, -2.0));
  const double share[4] = {1, 3, 3, 1};
  for (std::size_t j = 0; j < 4; ++j) {
    EXPECT_NEAR(load.forces[2 * j], 0.0, 1e-13);
    EXPECT_NEAR(load.forces[2 * j + 1], -2.0 * length * share[j] / 8.0, 1e-12);
  }
  // Equations follow the edge's nodes 2, 5, 4, 1.
  const int expected[8] = {3, 4, 9, 10, 7, 8, 1, 2};
  for (std::size_t j = 0; j < 8; ++j) EXPECT_EQ(load.equations[j], expected[j]);
}

TEST(EdgePressureVector, LocalComponentsAreTangentialAndNormal) {
  // Edge 2 (nodes 3, 7, 6, 2) runs from corner 3 to corner 2: here from
  // (0, 0) to (3, 4), length 5, unit tangent (0.6, 0.8), normal (-0.8, 0.6).
  const ElementData e = straight_element(5, -1, 3, 4, 0, 0);
  const EdgeLoadVector tangential =
      edge_pressure_vector(tables(), e, pressure_on(2, "LOCAL", 1.5, 1.5, 0, 0));
  const EdgeLoadVector normal = edge_pressure_vector(tables(), e, pressure_on(2, "LOCAL", 0, 0, 2.0, 2.0));
  double tx = 0, ty = 0, nx = 0, ny = 0;
  for (std::size_t j = 0; j < 4; ++j) {
    tx += tangential.forces[2 * j], ty += tangential.forces[2 * j + 1];
    nx += normal.forces[2 * j], ny += normal.forces[2 * j + 1];
  }
  EXPECT_NEAR(tx, 1.5 * 5 * 0.6, 1e-12);
  EXPECT_NEAR(ty, 1.5 * 5 * 0.8, 1e-12);
  EXPECT_NEAR(nx, 2.0 * 5 * -0.8, 1e-12);
  EXPECT_NEAR(ny, 2.0 * 5 * 0.6, 1e-12);
  // The same text in lower case is not the local system: global components.
  const EdgeLoadVector global = edge_pressure_vector(tables(), e, pressure_on(2, "local", 1.5, 1.5, 0, 0));
  for (std::size_t j = 0; j < 4; ++j) EXPECT_EQ(global.forces[2 * j + 1], 0.0);
}

TEST(EdgePressureVector, LinearlyVaryingLoadHasTheTriangleResultantAndMoment) {
  // Edge 3 (nodes 1, 9, 8, 3) from corner 1 (4, 0) to corner 3 (0, 0):
  // q2 grows from 0 at x = 4 to 6 at x = 0. Resultant 12 acting at x = 4/3.
  const ElementData e = straight_element(4, 0, 0, 5, 0, 0);
  const EdgeLoadVector load = edge_pressure_vector(tables(), e, pressure_on(3, "GLOBAL", 0, 0, 0.0, 6.0));
  const int local[4] = {1, 9, 8, 3};
  double resultant = 0, moment = 0;
  for (std::size_t j = 0; j < 4; ++j) {
    resultant += load.forces[2 * j + 1];
    moment += load.forces[2 * j + 1] * e.x[static_cast<std::size_t>(local[j] - 1)];
  }
  EXPECT_NEAR(resultant, 12.0, 1e-12);
  EXPECT_NEAR(moment, 12.0 * 4.0 / 3.0, 1e-12);
}

// A clamped 2 x 1 plate; returns the model with the left edge fixed.
Model clamped_plate(AnalysisSettings& settings, PlateSpec& layout) {
  layout.nx = 2;
  layout.ny = 1;
  layout.length = 2.0;
  layout.height = 1.0;
  Model model = testing::make_plate(layout, settings);
  const std::vector<int> left = testing::plate_left_nodes(layout);
  model.prescribed_displacements = Table1<PrescribedDisplacement>(static_cast<std::int64_t>(left.size()));
  for (std::size_t k = 0; k < left.size(); ++k) {
    PrescribedDisplacement& p = model.prescribed_displacements[k];
    p.id = static_cast<int>(k + 1);
    p.node = left[k];
    p.direction.assign("BOTH");
  }
  return model;
}

TEST(ApplyLoadsAndConstraints, FactorScalesForcesAndPressuresButNotPrescribedValues) {
  AnalysisSettings settings;
  PlateSpec layout;
  Model model = clamped_plate(settings, layout);
  const int tip = testing::plate_right_nodes(layout).back();
  model.forces = Table1<NodalForce>(1);
  model.forces(1) = NodalForce{1, tip, 4.0, -8.0};
  model.pressures = Table1<EdgePressure>(1);
  model.pressures(1) = pressure_on(1, "GLOBAL", 3.0, 3.0, 0, 0);
  model.pressures(1).element = testing::plate_right_edge_elements(layout)[0];
  model.prescribed_displacements(1).value = 0.5;  // bottom-left node, both directions

  GatherWorkspace workspace;
  auto run = [&](double factor) {
    clear_sparse_matrix(model.matrix);
    for (double& r : model.rhs) r = 0.0;
    // A unit diagonal is enough to carry the constraint code.
    for (int s = 1; s <= model.matrix.order; ++s) {
      const double one[1] = {1.0};
      add_element_matrix(model.matrix, one, &s, 1);
    }
    compress_sparse_matrix(model.matrix, workspace, &shared_task_pool());
    apply_loads_and_constraints(model, tables(), workspace, factor, PrescribedImposition{1.0, false});
    return model.rhs;
  };
  const Table1<double> full = run(1.0);
  const Table1<double> half = run(0.5);
  const int bottom_left = model.prescribed_displacements(1).node;
  EXPECT_EQ(full(2 * bottom_left - 1), 0.5);
  EXPECT_EQ(half(2 * bottom_left - 1), 0.5);
  // Every other entry (the tip force, the edge load, zeros) halves exactly.
  double total_x = 0.0;
  for (std::int64_t i = 1; i <= full.size64(); ++i) {
    if (i == 2 * bottom_left - 1 || i == 2 * bottom_left) continue;
    EXPECT_EQ(half(i), 0.5 * full(i)) << i;
    if (i % 2 == 1) total_x += full(i);
  }
  EXPECT_NEAR(total_x, 4.0 + 3.0 * layout.height / layout.ny, 1e-12);  // force plus q1 times edge length
  EXPECT_EQ(full(2 * tip), -8.0);
}

TEST(ApplyLoadsAndConstraints, EliminationIsSymmetricAndMovesTheColumnToTheRightHandSide) {
  // K = [[4, 1, 2], [1, 5, 3], [2, 3, 6]] with equation 2 prescribed; a value
  // as small as a micrometre in metres still moves its column.
  Model model;
  model.nodes = Table1<Node>(2);
  model.rhs = Table1<double>(4, 0.0);
  model.solution = Table1<double>(4, 0.0);
  init_sparse_matrix(model.matrix, 4, 16);
  clear_sparse_matrix(model.matrix);
  const double k[9] = {4, 1, 2, 1, 5, 3, 2, 3, 6};
  const int dofs[3] = {1, 2, 3};
  add_element_matrix(model.matrix, k, dofs, 3);
  const double four[1] = {7.0};
  const int d4 = 4;
  add_element_matrix(model.matrix, four, &d4, 1);
  GatherWorkspace workspace;
  compress_sparse_matrix(model.matrix, workspace, &shared_task_pool());
  model.prescribed_displacements = Table1<PrescribedDisplacement>(2);
  model.prescribed_displacements(1) = PrescribedDisplacement{1, 1, FixedText<4>("Y"), 5.0e-7};
  model.prescribed_displacements(2) = PrescribedDisplacement{2, 2, FixedText<4>("Y"), 0.0};
  apply_loads_and_constraints(model, tables(), workspace, 1.0, PrescribedImposition{1.0, false});

  EXPECT_EQ(model.rhs(1), -5.0e-7 * 1.0);
  EXPECT_EQ(model.rhs(2), 5.0e-7);
  EXPECT_EQ(model.rhs(3), -5.0e-7 * 3.0);
  EXPECT_EQ(model.rhs(4), 0.0);
  for (std::int64_t t = 1; t <= model.matrix.term_count; ++t) {
    const int r = model.matrix.row_indices(t), c = model.matrix.col_indices(t);
    const double v = model.matrix.values(t);
    if (r == 2 || c == 2 || r == 4 || c == 4) {
      EXPECT_EQ(v, r == c ? 1.0 : 0.0) << r << "," << c;
    }
  }
}

// One node whose two equations couple: K = [[2, 1], [1, 3]], compressed.
Model one_node_system(GatherWorkspace& workspace) {
  Model model;
  model.nodes = Table1<Node>(1);
  model.rhs = Table1<double>(2, 0.0);
  model.solution = Table1<double>(2, 0.0);
  init_sparse_matrix(model.matrix, 2, 3);
  clear_sparse_matrix(model.matrix);
  const double k[4] = {2, 1, 1, 3};
  const int dofs[2] = {1, 2};
  add_element_matrix(model.matrix, k, dofs, 2);
  compress_sparse_matrix(model.matrix, workspace, &shared_task_pool());
  return model;
}

TEST(ApplyLoadsAndConstraints, TwoRecordsOnOneEquationKeepTheLastValue) {
  // The first record's value moves the column; the second sees it zeroed but
  // sets the final right-hand side.
  GatherWorkspace workspace;
  Model model = one_node_system(workspace);
  model.prescribed_displacements = Table1<PrescribedDisplacement>(2);
  model.prescribed_displacements(1) = PrescribedDisplacement{1, 1, FixedText<4>("X"), 0.25};
  model.prescribed_displacements(2) = PrescribedDisplacement{2, 1, FixedText<4>("X"), 0.75};
  apply_loads_and_constraints(model, tables(), workspace, 1.0, PrescribedImposition{1.0, false});
  EXPECT_EQ(model.rhs(1), 0.75);
  EXPECT_EQ(model.rhs(2), -0.25);
}

TEST(ApplyLoadsAndConstraints, LaterNewtonIterationsImposeZero) {
  GatherWorkspace workspace;
  Model model = one_node_system(workspace);
  model.prescribed_displacements = Table1<PrescribedDisplacement>(1);
  model.prescribed_displacements(1) = PrescribedDisplacement{1, 1, FixedText<4>("BOTHWAYS"), 0.3};
  apply_loads_and_constraints(model, tables(), workspace, 1.0, PrescribedImposition{3.0, false});
  EXPECT_EQ(model.rhs(1), 0.3 / 3.0);
  EXPECT_EQ(model.rhs(2), 0.3 / 3.0);
  apply_loads_and_constraints(model, tables(), workspace, 1.0, PrescribedImposition{3.0, true});
  EXPECT_EQ(model.rhs(1), 0.0);
  EXPECT_EQ(model.rhs(2), 0.0);
}

}  // namespace
}  // namespace quorix
