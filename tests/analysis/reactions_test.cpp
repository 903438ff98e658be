#include "analysis/reactions.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "analysis/analysis.hpp"
#include "analysis/loads_and_constraints.hpp"
#include "element/dof_map.hpp"
#include "model/input_reader.hpp"
#include "parallel/task_pool.hpp"
#include "support/plate_mesh.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

TEST(SupportReactions, BalanceTheLoadsAndTheSelfWeight) {
  // The cantilever carries its weight, a line load and a point load on a
  // clamped end; the quarter plate with a hole is pulled at one edge and
  // held on its two planes of symmetry, where it also carries its weight.
  for (const char* name : {"cantilever.dat", "hole_plate.dat"}) {
    SCOPED_TRACE(name);
    const ElementTables& tables = testing::element_tables();
    Model model;
    AnalysisSettings settings;
    read_input_text(testing::example_text(name), name, model, settings, shared_task_pool());
    Solver solver;
    std::ostringstream console;
    solver.console = &console;
    ASSERT_EQ(linear_analysis(model, settings, tables, solver, console), AnalysisOutcome::completed);
    const Table1<double> reactions = support_reactions(model, settings, tables, 1.0, &shared_task_pool());

    // Every load the analysis applied, summed by direction, and the largest
    // single reaction, which the sums are measured against.
    double load[2] = {0.0, 0.0};
    for (const NodalForce& force : model.forces) {
      load[0] += force.fx;
      load[1] += force.fy;
    }
    for (const EdgePressure& pressure : model.pressures) {
      const EdgeLoadVector edge =
          edge_pressure_vector(tables, gather_element(model, model.elements(pressure.element)), pressure);
      for (std::size_t j = 0; j < 8; ++j) load[j % 2] += edge.forces[j];
    }
    for (const Element& element : model.elements) {
      const Vec20 weight = element_gravity_vector(tables, gather_element(model, element));
      for (std::size_t j = 0; j < 20; ++j) load[j % 2] += weight[j];
    }
    double reaction[2] = {0.0, 0.0};
    double largest = 0.0;
    for (std::int64_t e = 1; e <= reactions.size64(); ++e) {
      reaction[(e - 1) % 2] += reactions(e);
      largest = std::max(largest, std::fabs(reactions(e)));
    }
    ASSERT_GT(std::fabs(load[0]) + std::fabs(load[1]), 0.0);
    const double scale = std::max(std::fabs(load[0]), std::fabs(load[1]));
    EXPECT_NEAR(reaction[0] + load[0], 0.0, 1e-9 * scale);
    EXPECT_NEAR(reaction[1] + load[1], 0.0, 1e-9 * scale);
    EXPECT_GT(largest, 1e-3 * scale);  // the supports do carry the load
  }
}

}  // namespace
}  // namespace quorix
