// Geometrically nonlinear analysis: the loads are applied in equal steps and
// each step is iterated by Newton-Raphson on the total displacements
// (total Lagrangian element, Green-Lagrange strain).

#include <cmath>
#include <cstdio>
#include <ostream>

#include "analysis/analysis.hpp"
#include "analysis/loads_and_constraints.hpp"
#include "analysis/nonlinear_steps.hpp"
#include "analysis/stage_clock.hpp"
#include "element/dof_map.hpp"
#include "element/element_routines.hpp"

namespace quorix {

namespace {

// A step that has not converged after this many iterations ends the analysis.
constexpr int kIterationLimit = 20;
constexpr double kNotConverged = 1.0e10;

// rhs(d) += self-weight - internal forces of every element.
void add_out_of_balance(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                        const ElementData& data, const std::array<int, 20>& dofs) {
  const Vec20 internal = element_internal_forces(tables, settings, data);
  const Vec20 weight = element_gravity_vector(tables, data);
  for (std::size_t j = 0; j < 20; ++j) model.rhs(dofs[j]) += weight[j] - internal[j];
}

}  // namespace

void copy_displacements_to_nodes(Model& model) {
  for (int k = 1; k <= model.nodes.size(); ++k) {
    model.nodes(k).u = model.solution(2 * static_cast<std::int64_t>(k) - 1);
    model.nodes(k).v = model.solution(2 * static_cast<std::int64_t>(k));
  }
}

void assemble_tangent_system(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                             GatherWorkspace& workspace) {
  for (double& r : model.rhs) r = 0.0;
  clear_sparse_matrix(model.matrix);
  for (const Element& element : model.elements) {
    const ElementData data = gather_element(model, element);
    const Mat20 tangent = nonlinear_element_stiffness(tables, settings, data);
    const std::array<int, 20> dofs = element_dof_numbers(data);
    add_element_matrix(model.matrix, &tangent[0][0], dofs.data(), 20);
    add_out_of_balance(model, settings, tables, data, dofs);
  }
  compress_sparse_matrix(model.matrix, workspace);
}

double displacement_ratio(const Model& model, Table1<double>& increment) {
  std::array<int, 2> equations{};
  for (const PrescribedDisplacement& record : model.prescribed_displacements) {
    const int count = prescribed_equations(record, equations);
    for (int e = 0; e < count; ++e) increment(equations[static_cast<std::size_t>(e)]) = 0.0;
  }
  double increment_sum = 0.0;
  double solution_sum = 0.0;
  for (double d : increment) increment_sum += d * d;
  for (double s : model.solution) solution_sum += s * s;
  return std::sqrt(increment_sum) / std::sqrt(solution_sum);
}

double residual_measure(Model& model, const AnalysisSettings& settings, const ElementTables& tables) {
  for (double& r : model.rhs) r = 0.0;
  clear_sparse_matrix(model.matrix);
  for (const Element& element : model.elements) {
    const ElementData data = gather_element(model, element);
    add_out_of_balance(model, settings, tables, data, element_dof_numbers(data));
  }
  std::array<int, 2> equations{};
  for (const PrescribedDisplacement& record : model.prescribed_displacements) {
    const int count = prescribed_equations(record, equations);
    for (int e = 0; e < count; ++e) model.rhs(equations[static_cast<std::size_t>(e)]) = 0.0;
  }
  double sum = 0.0;
  for (double r : model.rhs) sum += r * r;
  return sum;
}

AnalysisOutcome nonlinear_analysis(Model& model, const AnalysisSettings& settings,
                                   const ElementTables& tables, Solver& solver, std::ostream& console,
                                   StageTimes* times, const AnalysisProgress& progress) {
  GatherWorkspace workspace;
  StageClock clock(times);
  Table1<double> increment(model.solution.size64(), 0.0);
  for (double& s : model.solution) s = 0.0;
  bool solver_trouble = false;

  const int steps = settings.load_increments;
  for (int g = 1; g <= steps; ++g) {
    const double load_factor = static_cast<double>(g) / static_cast<double>(steps);
    char percent[32];
    std::snprintf(percent, sizeof percent, "%7.3f", load_factor * 100.0);
    console << percent << '\n';

    int iteration = 0;
    double d = kNotConverged;
    double r = kNotConverged;
    // A measure that is not a number (0/0 with nothing moving) ends the step.
    while (d > settings.displacement_tolerance && r > settings.residual_tolerance) {
      ++iteration;
      progress.stage("assembling");
      assemble_tangent_system(model, settings, tables, workspace);
      clock.lap(&StageTimes::assembly);
      // Prescribed displacements move by their share of the value in the
      // first iteration of the step only; later corrections leave them there.
      const PrescribedImposition imposition{static_cast<double>(steps), iteration > 1};
      apply_loads_and_constraints(model, tables, workspace, load_factor, imposition);
      clock.lap(&StageTimes::constraints);
      progress.stage("solving");
      if (solve_sparse_system(solver, model.matrix, model.rhs, increment) != SolveStatus::solved)
        solver_trouble = true;
      clock.lap(&StageTimes::solve);
      clock.count_solve();
      for (std::int64_t i = 1; i <= model.solution.size64(); ++i) model.solution(i) += increment(i);
      copy_displacements_to_nodes(model);
      d = displacement_ratio(model, increment);
      r = residual_measure(model, settings, tables);
      clock.lap(&StageTimes::assembly);
      progress.iteration(g, steps, iteration, d, r);
      if (iteration > kIterationLimit) {
        console << "DIVERGED\n";
        free_sparse_matrix(model.matrix, workspace);
        return AnalysisOutcome::suspect;
      }
    }
  }
  console << "CONVERGED\n";
  free_sparse_matrix(model.matrix, workspace);
  return solver_trouble ? AnalysisOutcome::suspect : AnalysisOutcome::completed;
}

}  // namespace quorix
