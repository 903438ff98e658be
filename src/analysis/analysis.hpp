#pragma once
// The two analyses the driver can run on a model that has been read.

#include <functional>
#include <iosfwd>

#include "analysis/equation_solver.hpp"
#include "element/element_tables.hpp"
#include "model/model.hpp"
#include "solver/solver_interface.hpp"

namespace quorix {

enum class AnalysisOutcome {
  completed,  // results can be trusted
  suspect,    // the solver failed or found the matrix singular, or the iterations diverged
};

// How an analysis ended, and the share of the nodal forces and edge loads the
// displacements it left belong to: 1 after a complete run, the last load
// step's share after a nonlinear run that stopped early.
struct AnalysisResult {
  AnalysisOutcome outcome = AnalysisOutcome::completed;
  double load_level = 1.0;
  bool operator==(AnalysisOutcome other) const { return outcome == other; }
};

// Wall-clock seconds spent in the stages of an analysis, summed over all
// iterations; filled when a record is passed in.
struct StageTimes {
  double assembly = 0.0;     // element matrices and vectors, assembly, compression
  double constraints = 0.0;  // loads and prescribed displacements
  double solve = 0.0;        // the three solver phases
  int solves = 0;            // linear systems solved (Newton iterations)
};

// Told how an analysis goes, for a progress display; either member may be
// empty. The factorization tells its own progress through the Solver.
struct AnalysisProgress {
  // A stage of a solve begins: "assembling", "solving".
  std::function<void(const char* stage)> on_stage;
  // Newton iteration `iteration` of load step `step` of `steps` has ended with
  // these two convergence measures.
  std::function<void(int step, int steps, int iteration, double displacement_ratio, double balance_ratio)>
      on_iteration;
  void stage(const char* name) const {
    if (on_stage) on_stage(name);
  }
  void iteration(int step, int steps, int iteration, double d, double r) const {
    if (on_iteration) on_iteration(step, steps, iteration, d, r);
  }
};

// Console lines ("SOLVED", load percentages, "CONVERGED", "DIVERGED") go to
// `console`, each flushed as it is written; the solver's own messages go to
// solver.console. A line about results that are not to be trusted for a
// reason the console lines do not show (an element turned inside out) goes to
// `errors`, when given. The solver's share says which elements this process
// assembles; every process of a run calls the analysis alike.
AnalysisResult linear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                               EquationSolver& equations, std::ostream& console, StageTimes* times = nullptr,
                               const AnalysisProgress& progress = {});
AnalysisResult nonlinear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                                  EquationSolver& equations, std::ostream& console,
                                  StageTimes* times = nullptr, std::ostream* errors = nullptr,
                                  const AnalysisProgress& progress = {});
// The same with the program's own solver.
AnalysisResult linear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                               Solver& solver, std::ostream& console, StageTimes* times = nullptr,
                               const AnalysisProgress& progress = {});
AnalysisResult nonlinear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                                  Solver& solver, std::ostream& console, StageTimes* times = nullptr,
                                  std::ostream* errors = nullptr, const AnalysisProgress& progress = {});

}  // namespace quorix
