#include "analysis/equation_solver.hpp"

namespace quorix {

AssemblyShare OwnEquationSolver::share(const Model& model) const {
  AssemblyShare all;
  all.end_element = model.elements.size();
  all.pool = solver_.pool;
  return all;
}

SolveStatus OwnEquationSolver::solve(const SparseMatrix& matrix, const Table1<double>& rhs,
                                     Table1<double>& x) {
  return solve_sparse_system(solver_, matrix, rhs, x);
}

SolveStatus OwnEquationSolver::solve_freeing_matrix(SparseMatrix& matrix, const Table1<double>& rhs,
                                                    Table1<double>& x) {
  struct Hook {
    Solver& solver;
    ~Hook() { solver.release_matrix = nullptr; }
  } hook{solver_};
  solver_.release_matrix = [&matrix] { move_matrix_pages_to_pool(matrix); };
  return solve_sparse_system(solver_, matrix, rhs, x);
}

void OwnEquationSolver::release() { release_solver_memory(solver_); }

EquationSolverFigures OwnEquationSolver::figures() const {
  return {solver_.info.RFACTS, solver_.info.MFRONT, {}};
}

}  // namespace quorix
