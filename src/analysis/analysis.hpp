#pragma once
// The two analyses the driver can run on a model that has been read.

#include <iosfwd>

#include "element/element_tables.hpp"
#include "model/model.hpp"
#include "solver/solver_interface.hpp"

namespace quorix {

enum class AnalysisOutcome {
  completed,  // results can be trusted
  suspect,    // the solver failed or found the matrix singular, or the iterations diverged
};

// Wall-clock seconds spent in the stages of an analysis, summed over all
// iterations; filled when a record is passed in.
struct StageTimes {
  double assembly = 0.0;     // element matrices and vectors, assembly, compression
  double constraints = 0.0;  // loads and prescribed displacements
  double solve = 0.0;        // the three solver phases
  int solves = 0;            // linear systems solved (Newton iterations)
};

// Console lines ("SOLVED", load percentages, "CONVERGED", "DIVERGED") go to
// `console`, each flushed as it is written; the solver's own messages go to
// solver.console. A line about results that are not to be trusted for a
// reason the console lines do not show (an element turned inside out) goes to
// `errors`, when given.
AnalysisOutcome linear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                                Solver& solver, std::ostream& console, StageTimes* times = nullptr);
AnalysisOutcome nonlinear_analysis(Model& model, const AnalysisSettings& settings,
                                   const ElementTables& tables, Solver& solver, std::ostream& console,
                                   StageTimes* times = nullptr, std::ostream* errors = nullptr);

// The node at position k takes solution(2k - 1) and solution(2k) as its u, v.
void copy_displacements_to_nodes(Model& model);

}  // namespace quorix
