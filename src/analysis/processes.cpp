#include "analysis/processes.hpp"

#include <cstdlib>

namespace quorix {

void Processes::abort(int status) { std::exit(status); }

std::unique_ptr<EquationSolver> Processes::equation_solver(Solver& own, const Model&) {
  return std::make_unique<OwnEquationSolver>(own);
}

}  // namespace quorix
