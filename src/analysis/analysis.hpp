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

// Console lines ("SOLVED", load percentages, "CONVERGED", "DIVERGED") go to
// `console`; the solver's own messages go to solver.console.
AnalysisOutcome linear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                                Solver& solver, std::ostream& console);
AnalysisOutcome nonlinear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                                   Solver& solver, std::ostream& console);

}  // namespace quorix
