// Geometrically nonlinear analysis: the loads are applied in equal steps and
// each step is iterated by Newton-Raphson on the total displacements
// (total Lagrangian element, Green-Lagrange strain).

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>

#include "analysis/analysis.hpp"
#include "analysis/element_assembly.hpp"
#include "analysis/loads_and_constraints.hpp"
#include "analysis/nonlinear_steps.hpp"
#include "analysis/stage_clock.hpp"
#include "element/dof_map.hpp"
#include "element/element_routines.hpp"

namespace quorix {

namespace {

// A step that has not converged after this many iterations ends the analysis.
constexpr int kIterationLimit = 20;
// A step is in equilibrium when the force left out of balance is at most this
// share of the forces applied: a test that does not depend on the units.
constexpr double kBalanceTolerance = 1.0e-4;

// Self-weight minus internal forces of one element.
Vec20 out_of_balance(const AnalysisSettings& settings, const ElementTables& tables, const ElementData& data) {
  const Vec20 internal = element_internal_forces(tables, settings, data);
  const Vec20 weight = element_gravity_vector(tables, data);
  Vec20 forces;
  for (std::size_t j = 0; j < 20; ++j) forces[j] = weight[j] - internal[j];
  return forces;
}

// Sets the prescribed entries of `values` to 0.
void zero_prescribed(const Model& model, Table1<double>& values) {
  std::array<int, 2> equations{};
  for (const PrescribedDisplacement& record : model.prescribed_displacements) {
    const int count = prescribed_equations(record, equations);
    for (int e = 0; e < count; ++e) values(equations[static_cast<std::size_t>(e)]) = 0.0;
  }
}

// The loads that stay as they are through the whole analysis: the
// self-weight, which acts in full from the first step, and the nodal forces
// and edge loads at load factor 1 (edge loads keep their direction: they act
// on the undeformed edges).
struct SteadyLoads {
  Table1<double> weight;
  Table1<double> applied;
  Table1<char> prescribed;
};

SteadyLoads assemble_steady_loads(const Model& model, const ElementTables& tables, TaskPool* pool) {
  SteadyLoads loads{Table1<double>(model.rhs.size64(), 0.0), applied_loads(model, tables),
                    prescribed_mask(model)};
  assemble_elements(model, nullptr, loads.weight, pool, [&](const ElementData& data, Mat20*, Vec20& weight) {
    weight = element_gravity_vector(tables, data);
  });
  return loads;
}

// Euclidean norm of the n terms term(i), scaled so that large forces do not
// overflow when squared.
template <class Term>
double norm_of(std::int64_t n, Term term) {
  double largest = 0.0;
  for (std::int64_t i = 1; i <= n; ++i) largest = std::max(largest, std::fabs(term(i)));
  if (largest == 0.0 || !std::isfinite(largest)) return largest;
  double sum = 0.0;
  for (std::int64_t i = 1; i <= n; ++i) {
    const double t = term(i) / largest;
    sum += t * t;
  }
  return largest * std::sqrt(sum);
}

// How far the state is from equilibrium with the loads of the step.
// `balance` holds self-weight minus internal forces at every equation. The
// force out of balance, load factor times the applied loads plus `balance`
// over the free equations, is measured against the loads themselves; when
// there are none (only prescribed displacements move the model), against the
// internal forces. 0 when nothing moves and nothing is loaded; not a number
// for a state that is not a number.
double balance_ratio(const SteadyLoads& loads, const Table1<double>& balance, double factor) {
  const std::int64_t n = balance.size64();
  const double left = norm_of(
      n, [&](std::int64_t i) { return loads.prescribed(i) ? 0.0 : factor * loads.applied(i) + balance(i); });
  double reference = norm_of(n, [&](std::int64_t i) {
    return loads.prescribed(i) ? 0.0 : factor * loads.applied(i) + loads.weight(i);
  });
  if (reference == 0.0) reference = norm_of(n, [&](std::int64_t i) { return loads.weight(i) - balance(i); });
  return left == 0.0 ? 0.0 : left / reference;
}

bool all_zero(const Table1<double>& values) {
  for (double v : values)
    if (v != 0.0) return false;
  return true;
}

bool all_finite(const Table1<double>& values) {
  for (double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

// The first element (by position) that the current displacements turn inside
// out, or 0.
int first_inverted_element(const Model& model, const ElementTables& tables) {
  for (int k = 1; k <= model.elements.size(); ++k)
    if (turned_inside_out(tables, gather_element(model, model.elements(k)))) return k;
  return 0;
}

// A load level in per cent for a message: 40, 33.333, 100.
std::string percent_for_message(double load_factor) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", load_factor * 100.0);
  std::string result = text;
  while (result.back() == '0') result.pop_back();
  if (result.back() == '.') result.pop_back();
  return result;
}

}  // namespace

void copy_displacements_to_nodes(Model& model) {
  for (int k = 1; k <= model.nodes.size(); ++k) {
    model.nodes(k).u = model.solution(2 * static_cast<std::int64_t>(k) - 1);
    model.nodes(k).v = model.solution(2 * static_cast<std::int64_t>(k));
  }
}

void assemble_tangent_system(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                             GatherWorkspace& workspace, const AssemblyShare& share) {
  for (double& r : model.rhs) r = 0.0;
  clear_sparse_matrix(model.matrix);
  assemble_elements(
      model, &model.matrix, model.rhs, share.pool,
      [&](const ElementData& data, Mat20* tangent, Vec20& forces) {
        *tangent = nonlinear_element_stiffness(tables, settings, data);
        forces = out_of_balance(settings, tables, data);
      },
      share.first_element, share.end_element);
  compress_sparse_matrix(model.matrix, workspace, share.pool);
}

double displacement_ratio(const Model& model, Table1<double>& increment) {
  zero_prescribed(model, increment);
  double increment_sum = 0.0;
  double solution_sum = 0.0;
  for (double d : increment) increment_sum += d * d;
  for (double s : model.solution) solution_sum += s * s;
  return std::sqrt(increment_sum) / std::sqrt(solution_sum);
}

AnalysisResult nonlinear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                                  EquationSolver& equations, std::ostream& console, StageTimes* times,
                                  std::ostream* errors, const AnalysisProgress& progress) {
  // Every iteration assembles and solves the same pattern.
  GatherWorkspace workspace;
  workspace.patterns_repeat = true;
  equations.expect_repeated_patterns();
  const AssemblyShare share = equations.share(model);
  Table1<double> balance_sum;  // the processes' out-of-balance forces added up, when there are several
  StageClock clock(times);
  Table1<double> increment(model.solution.size64(), 0.0);
  for (double& s : model.solution) s = 0.0;
  const SteadyLoads loads = assemble_steady_loads(model, tables, share.pool);
  bool solver_trouble = false;
  double load_level = 1.0;  // of the step the displacements belong to
  auto give_up = [&] {
    console << "DIVERGED" << std::endl;
    free_sparse_matrix(model.matrix, workspace);
    return AnalysisResult{AnalysisOutcome::suspect, load_level};
  };

  // Each state is assembled once: its tangent and out-of-balance forces tell
  // whether it ends its step and, when they do not, give the next correction;
  // the state that ends a step begins the next one.
  const int steps = settings.load_increments;
  if (steps >= 1) {
    progress.stage("assembling");
    assemble_tangent_system(model, settings, tables, workspace, share);
    clock.lap(&StageTimes::assembly);
  }
  for (int g = 1; g <= steps; ++g) {
    const double load_factor = static_cast<double>(g) / static_cast<double>(steps);
    load_level = load_factor;
    char percent[32];
    std::snprintf(percent, sizeof percent, "%7.3f", load_factor * 100.0);
    console << percent << std::endl;

    int iteration = 0;
    bool converged = false;
    while (!converged) {
      ++iteration;
      // Prescribed displacements move by their share of the value in the
      // first iteration of the step only; later corrections leave them there.
      const PrescribedImposition imposition{static_cast<double>(steps), iteration > 1};
      apply_loads_and_constraints(model, tables, workspace, load_factor, imposition, share);
      clock.lap(&StageTimes::constraints);
      progress.stage("solving");
      if (equations.solve(model.matrix, model.rhs, increment) != SolveStatus::solved) solver_trouble = true;
      clock.lap(&StageTimes::solve);
      clock.count_solve();
      for (std::int64_t i = 1; i <= model.solution.size64(); ++i) model.solution(i) += increment(i);
      copy_displacements_to_nodes(model);
      // Displacements that are no longer numbers cannot come back.
      if (!all_finite(model.solution)) return give_up();
      const double d = displacement_ratio(model, increment);
      if (iteration > kIterationLimit) return give_up();
      progress.stage("assembling");
      assemble_tangent_system(model, settings, tables, workspace, share);
      const double balance = balance_ratio(loads, equations.whole(model.rhs, balance_sum), load_factor);
      clock.lap(&StageTimes::assembly);
      progress.iteration(g, steps, iteration, d, balance);
      // A small correction ends the step, provided the state is in
      // equilibrium with the step's loads (a ratio of 0/0: nothing moves at
      // all). The residual test of old, a sum of squares of the out-of-balance
      // forces without the applied loads against a fixed 0.001, met at once in
      // small units of force and never in large ones, no longer ends a step.
      const bool small_correction =
          d <= settings.displacement_tolerance || (std::isnan(d) && all_zero(model.solution));
      converged = small_correction && balance <= kBalanceTolerance;
    }

    // A converged state with an element turned inside out solves the
    // equations but is no deformation a solid can have.
    if (const int element = first_inverted_element(model, tables); element != 0) {
      if (errors)
        *errors << "quorix: element " << element << " is turned inside out after the step to "
                << percent_for_message(load_factor) << " %: the result is not physical" << std::endl;
      free_sparse_matrix(model.matrix, workspace);
      return {AnalysisOutcome::suspect, load_level};
    }
  }
  console << "CONVERGED" << std::endl;
  free_sparse_matrix(model.matrix, workspace);
  return {solver_trouble ? AnalysisOutcome::suspect : AnalysisOutcome::completed, load_level};
}

AnalysisResult nonlinear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                                  Solver& solver, std::ostream& console, StageTimes* times,
                                  std::ostream* errors, const AnalysisProgress& progress) {
  OwnEquationSolver equations(solver);
  return nonlinear_analysis(model, settings, tables, equations, console, times, errors, progress);
}

}  // namespace quorix
