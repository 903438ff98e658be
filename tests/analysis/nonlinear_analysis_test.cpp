// The load-stepped Newton-Raphson analysis with the total Lagrangian element.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "analysis/loads_and_constraints.hpp"
#include "analysis/nonlinear_steps.hpp"
#include "parallel/task_pool.hpp"
#include "support/plate_mesh.hpp"

namespace quorix {
namespace {

using testing::PlateSpec;

const ElementTables& tables() { return testing::element_tables(); }

// A cantilever clamped at x = 0 with an end force P (global y, dead load)
// spread uniformly over its end.
struct Cantilever {
  PlateSpec layout;
  AnalysisSettings settings;
  Model model;
};

Cantilever make_cantilever(const char* type, int increments, double force, int nx = 10, int ny = 1,
                           double young = 1.0e5) {
  Cantilever c;
  c.layout.nx = nx;
  c.layout.ny = ny;
  c.layout.length = 10.0;
  c.layout.height = 0.5;
  c.layout.young = young;
  c.layout.poisson = 0.3;
  c.layout.analysis_type = type;
  c.layout.load_increments = increments;
  c.model = testing::make_plate(c.layout, c.settings);
  const std::vector<int> left = testing::plate_left_nodes(c.layout);
  c.model.prescribed_displacements = Table1<PrescribedDisplacement>(static_cast<std::int64_t>(left.size()));
  for (std::size_t k = 0; k < left.size(); ++k)
    c.model.prescribed_displacements[k] =
        PrescribedDisplacement{static_cast<int>(k + 1), left[k], FixedText<4>("BOTH"), 0.0};
  const std::vector<int> ends = testing::plate_right_edge_elements(c.layout);
  c.model.pressures = Table1<EdgePressure>(static_cast<std::int64_t>(ends.size()));
  for (std::size_t k = 0; k < ends.size(); ++k) {
    EdgePressure& p = c.model.pressures[k];
    p.id = static_cast<int>(k + 1);
    p.element = ends[k];
    p.edge = 1;
    p.system.assign("GLOBAL");
    p.q2_start = p.q2_end = -force / c.layout.height;
  }
  return c;
}

Node tip(const Cantilever& c) {
  const std::vector<int> right = testing::plate_right_nodes(c.layout);
  return c.model.nodes(right[right.size() / 2]);
}

double bending_stiffness(const Cantilever& c) {
  return c.layout.young * c.layout.height * c.layout.height * c.layout.height / 12.0;
}

TEST(NonlinearAnalysis, UnloadedModelConvergesAtOnceAndPrintsTheLoadSteps) {
  Cantilever c = make_cantilever("NONLINEAR", 3, 0.0);
  std::ostringstream messages, console;
  Solver solver;
  solver.console = &messages;
  EXPECT_EQ(nonlinear_analysis(c.model, c.settings, tables(), solver, console), AnalysisOutcome::completed);
  EXPECT_EQ(console.str(), " 33.333\n 66.667\n100.000\nCONVERGED\n");
  for (const Node& node : c.model.nodes) EXPECT_EQ(std::fabs(node.u) + std::fabs(node.v), 0.0);
}

TEST(NonlinearAnalysis, SmallLoadGivesTheLinearSolution) {
  // Tip deflection about 1e-4 of the length: the geometric effect is of the
  // order of that ratio squared relative to the linear answer.
  const double force = 1.0e-4 * 3.0 * 1.0e5 * 0.5 * 0.5 * 0.5 / 12.0 / 100.0;
  Cantilever linear = make_cantilever("LINEAR", 1, force);
  Cantilever nonlinear = make_cantilever("NONLINEAR", 1, force);
  std::ostringstream messages, console;
  Solver solver;
  solver.console = &messages;
  linear_analysis(linear.model, linear.settings, tables(), solver, console);
  nonlinear_analysis(nonlinear.model, nonlinear.settings, tables(), solver, console);
  const double v_linear = tip(linear).v;
  const double ratio = std::fabs(v_linear) / linear.layout.length;
  EXPECT_GT(ratio, 5e-5);
  for (int k = 1; k <= linear.model.nodes.size(); ++k) {
    EXPECT_NEAR(nonlinear.model.nodes(k).v, linear.model.nodes(k).v,
                10.0 * ratio * ratio * linear.layout.length);
    EXPECT_NEAR(nonlinear.model.nodes(k).u, linear.model.nodes(k).u,
                10.0 * ratio * ratio * linear.layout.length);
  }
}

TEST(NonlinearAnalysis, SlenderCantileverFollowsTheElastica) {
  // End load P L^2 / (E I) = 2. The elastica (inextensible, shear-rigid rod)
  // gives a tip deflection of 0.49346 L and a tip shortening of 0.16064 L.
  // Measured on a 10 x 0.5 strip: 20 x 1 cells give 0.4965 L and 0.1551 L
  // (0.6 % and 3.4 % off), 40 x 2 cells 0.4943 L and 0.1611 L (0.2 % and 0.3 %).
  Cantilever c = make_cantilever("NONLINEAR", 4, 0.0, 40, 2);
  const double force = 2.0 * bending_stiffness(c) / (c.layout.length * c.layout.length);
  c = make_cantilever("NONLINEAR", 4, force, 40, 2);
  std::ostringstream messages, console;
  Solver solver;
  solver.console = &messages;
  EXPECT_EQ(nonlinear_analysis(c.model, c.settings, tables(), solver, console), AnalysisOutcome::completed);
  EXPECT_EQ(console.str(), " 25.000\n 50.000\n 75.000\n100.000\nCONVERGED\n");
  EXPECT_NEAR(-tip(c).v / c.layout.length, 0.49346, 0.005 * 0.49346);
  EXPECT_NEAR(-tip(c).u / c.layout.length, 0.16064, 0.005 * 0.16064);
}

TEST(NonlinearAnalysis, NewtonIterationsConvergeQuadratically) {
  // One load step of the cantilever above, iterated by hand: each
  // displacement ratio is of the order of the previous one squared.
  Cantilever c = make_cantilever("NONLINEAR", 1, 0.0, 10, 1);
  const double force = 1.0 * bending_stiffness(c) / (c.layout.length * c.layout.length);
  c = make_cantilever("NONLINEAR", 1, force, 10, 1);
  std::ostringstream messages;
  Solver solver;
  solver.console = &messages;
  AssemblyShare all;  // every element, on the shared pool
  all.end_element = c.model.elements.size();
  all.pool = &shared_task_pool();
  GatherWorkspace workspace;
  Table1<double> increment(c.model.solution.size64(), 0.0);
  std::vector<double> ratios;
  for (int iteration = 1; iteration <= 12; ++iteration) {
    assemble_tangent_system(c.model, c.settings, tables(), workspace, all);
    apply_loads_and_constraints(c.model, tables(), workspace, 1.0, PrescribedImposition{1.0, iteration > 1});
    ASSERT_EQ(solve_sparse_system(solver, c.model.matrix, c.model.rhs, increment), SolveStatus::solved);
    for (std::int64_t i = 1; i <= increment.size64(); ++i) c.model.solution(i) += increment(i);
    copy_displacements_to_nodes(c.model);
    ratios.push_back(displacement_ratio(c.model, increment));
    if (ratios.back() < 1e-12) break;
  }
  // Measured: 1, 0.17, 0.020, 0.016, 4.6e-3, 2.1e-4, 1.7e-6, 2.6e-11. Once in
  // the basin of the solution each ratio is within a modest factor of the
  // previous one squared, down to round-off.
  ASSERT_LT(ratios.back(), 1e-12);
  int quadratic_steps = 0;
  for (std::size_t k = 0; k + 1 < ratios.size(); ++k) {
    if (ratios[k] > 1e-3 || ratios[k] < 1e-9) continue;
    EXPECT_LT(ratios[k + 1], 100.0 * ratios[k] * ratios[k]) << "iteration " << k + 2;
    ++quadratic_steps;
  }
  EXPECT_GE(quadratic_steps, 2);
}

TEST(NonlinearAnalysis, LoadBeyondWhatTheStepCanFollowDiverges) {
  // End compression of half E A: with this material the end force of a bar
  // in compression cannot exceed E A / (3 sqrt 3), so no equilibrium exists.
  Cantilever c = make_cantilever("NONLINEAR", 1, 0.0);
  for (EdgePressure& p : c.model.pressures) {
    p.q1_start = p.q1_end = -0.5 * c.layout.young;
    p.q2_start = p.q2_end = 0.0;
  }
  std::ostringstream messages, console;
  Solver solver;
  solver.console = &messages;
  EXPECT_EQ(nonlinear_analysis(c.model, c.settings, tables(), solver, console), AnalysisOutcome::suspect);
  EXPECT_EQ(console.str(), "100.000\nDIVERGED\n");
}

TEST(NonlinearAnalysis, PrescribedDisplacementMovesByItsShareOncePerStep) {
  // A strip pulled at its end by a prescribed displacement in three steps.
  Cantilever c = make_cantilever("NONLINEAR", 3, 0.0, 4, 1);
  const std::vector<int> right = testing::plate_right_nodes(c.layout);
  Table1<PrescribedDisplacement> records(c.model.prescribed_displacements.size64() + 1);
  for (int k = 1; k < records.size(); ++k) records(k) = c.model.prescribed_displacements(k);
  records(records.size()) = PrescribedDisplacement{records.size(), right.front(), FixedText<4>("X"), 0.3};
  c.model.prescribed_displacements = std::move(records);
  std::ostringstream messages, console;
  Solver solver;
  solver.console = &messages;
  EXPECT_EQ(nonlinear_analysis(c.model, c.settings, tables(), solver, console), AnalysisOutcome::completed);
  EXPECT_NEAR(c.model.nodes(right.front()).u, 0.3, 1e-15);
}

// ---- States the iterations must not accept -------------------------------

struct StepRun {
  AnalysisResult outcome;
  std::string console;
  std::string errors;
  int solves;
};

StepRun run_nonlinear(Cantilever& c) {
  std::ostringstream messages, console, errors;
  Solver solver;
  solver.console = &messages;
  StageTimes times;
  const AnalysisResult outcome =
      nonlinear_analysis(c.model, c.settings, tables(), solver, console, &times, &errors);
  return {outcome, console.str(), errors.str(), times.solves};
}

TEST(NonlinearAnalysis, UnitsOfForceDoNotChangeTheAnswer) {
  // The cantilever of the elastica test with its modulus and load in other
  // force units. The absolute residual measure, met at once in small units,
  // used to end the steps there before any equilibrium was reached.
  auto make = [](double scale) {
    Cantilever c = make_cantilever("NONLINEAR", 0, 0.0, 20, 1);
    const double force = 2.0 * bending_stiffness(c) / (c.layout.length * c.layout.length);
    return make_cantilever("NONLINEAR", 2, scale * force, 20, 1, scale * 1.0e5);
  };
  Cantilever reference = make(1.0);
  const StepRun base = run_nonlinear(reference);
  ASSERT_EQ(base.outcome, AnalysisOutcome::completed);
  EXPECT_NEAR(-tip(reference).v / reference.layout.length, 0.4965, 0.001);
  for (const double scale : {1.0e-3, 1.0e-6, 1.0e3}) {
    Cantilever c = make(scale);
    const StepRun run = run_nonlinear(c);
    EXPECT_EQ(run.outcome, AnalysisOutcome::completed) << scale;
    EXPECT_EQ(run.console, base.console) << scale;
    EXPECT_EQ(run.solves, base.solves) << scale;
    for (int k = 1; k <= c.model.nodes.size(); ++k) {
      EXPECT_NEAR(c.model.nodes(k).u, reference.model.nodes(k).u, 1e-6 * reference.layout.length) << scale;
      EXPECT_NEAR(c.model.nodes(k).v, reference.model.nodes(k).v, 1e-6 * reference.layout.length) << scale;
    }
  }
}

TEST(NonlinearAnalysis, StatesOutOfBalanceOrInsideOutAreNotResults) {
  // A strip on rollers, without lateral contraction, pressed with a stress
  // equal to its modulus: the first (linear) correction moves every node to
  // x = 0, where the strip carries no force at all. Nothing balances the load.
  {
    Cantilever c = make_cantilever("NONLINEAR", 1, 0.0, 4, 1);
    c.layout.poisson = 0.0;
    c.model.materials(1).poisson_ratio = 0.0;
    int id = 0;
    for (PrescribedDisplacement& record : c.model.prescribed_displacements)
      record = PrescribedDisplacement{++id, record.node, FixedText<4>(id == 1 ? "BOTH" : "X"), 0.0};
    for (EdgePressure& p : c.model.pressures) {
      p.q1_start = p.q1_end = -c.layout.young;
      p.q2_start = p.q2_end = 0.0;
    }
    const StepRun run = run_nonlinear(c);
    EXPECT_EQ(run.outcome, AnalysisOutcome::suspect);
    EXPECT_EQ(run.console, "100.000\nDIVERGED\n");
  }
  // Pressed with 0.4 E in one step, the clamped strip finds a balanced state
  // turned inside out.
  {
    Cantilever c = make_cantilever("NONLINEAR", 1, 0.0);
    for (EdgePressure& p : c.model.pressures) {
      p.q1_start = p.q1_end = -0.4 * c.layout.young;
      p.q2_start = p.q2_end = 0.0;
    }
    const StepRun run = run_nonlinear(c);
    EXPECT_EQ(run.outcome, AnalysisOutcome::suspect);
    EXPECT_EQ(run.console, "100.000\n");
    EXPECT_EQ(run.errors,
              "quorix: element 1 is turned inside out after the step to 100 %: the result is not physical\n");
    EXPECT_EQ(run.outcome.load_level, 1.0);
  }
  // A load beyond the range of real numbers: the measures are not numbers.
  {
    Cantilever c = make_cantilever("NONLINEAR", 1, 1.0e300);
    const StepRun run = run_nonlinear(c);
    EXPECT_EQ(run.outcome, AnalysisOutcome::suspect);
    EXPECT_EQ(run.console, "100.000\nDIVERGED\n");
  }
}

}  // namespace
}  // namespace quorix
