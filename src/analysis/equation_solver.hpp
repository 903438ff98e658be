#pragma once
// The solve as the analyses see it. A run works in one process or in several
// (MPI), and the solver behind it is the program's own multifrontal solver or
// another one; the analyses ask this interface which elements to assemble,
// have it add up what the processes assembled, and hand it the system.
// A new solver is a new implementation of EquationSolver.

#include <cstdint>
#include <string>
#include <vector>

#include "model/model.hpp"
#include "solver/solver_interface.hpp"
#include "sparse/one_based.hpp"
#include "sparse/sparse_matrix.hpp"

namespace quorix {

class TaskPool;

// What one process assembles of a system. Each process forms the matrix terms
// and element vectors of its elements; the system solved is the sum over the
// processes. The process that adds the loads also imposes the prescribed
// values; the others leave zeros at the prescribed equations.
struct AssemblyShare {
  int first_element = 0;  // positions from 0: first_element <= e < end_element
  int end_element = 0;
  bool adds_loads = true;
  // The value each stored diagonal term of a prescribed equation receives,
  // and the factor of the prescribed value on the right-hand side: 1 and 1
  // for the program's own solver, which sees the whole matrix; a solver
  // whose processes' terms are summed sets the stored terms to 0 and places
  // the diagonal itself.
  double prescribed_diagonal = 1.0;
  double prescribed_scale = 1.0;
  // The threads this process assembles on; none: the calling thread alone.
  TaskPool* pool = nullptr;
};

// Figures for the report's solver section, from the last solve.
struct EquationSolverFigures {
  std::int64_t factor_entries = 0;
  int largest_front = 0;
  std::string name;  // empty for the program's own solver
};

class EquationSolver {
 public:
  virtual ~EquationSolver() = default;

  virtual AssemblyShare share(const Model& model) const = 0;
  // A caller that solves one pattern again and again (Newton iterations)
  // says so before its first solve.
  virtual void expect_repeated_patterns() = 0;
  // `part` holds what this process assembled of a vector; returns the sum
  // over all processes, the same on every process (`part` itself when the
  // run has one process, else `sum`, filled).
  virtual const Table1<double>& whole(const Table1<double>& part, Table1<double>& sum) = 0;
  // Solves the system whose matrix and right-hand side are the sums over
  // the processes of `matrix` and `rhs` (compressed, loads and constraints
  // applied by the share); x receives the solution on every process.
  virtual SolveStatus solve(const SparseMatrix& matrix, const Table1<double>& rhs, Table1<double>& x) = 0;
  // As solve, for a matrix that serves no purpose after the solve: the
  // solver may free its arrays once it holds the terms itself, and returns
  // matrix_needed should it need them again (the caller then assembles the
  // same matrix anew and calls solve). A solver that does not free them
  // solves as solve does.
  virtual SolveStatus solve_freeing_matrix(SparseMatrix& matrix, const Table1<double>& rhs,
                                           Table1<double>& x) {
    return solve(matrix, rhs, x);
  }
  // No more solves: what is kept between solves is given back.
  virtual void release() = 0;
  // The equations, ascending, that the last singular solve left without a
  // usable pivot (the directions in which the model can move freely).
  virtual const std::vector<int>& free_equations() const = 0;
  virtual EquationSolverFigures figures() const = 0;
};

// The program's own solver, on the one process of the run.
class OwnEquationSolver : public EquationSolver {
 public:
  explicit OwnEquationSolver(Solver& solver) : solver_(solver) {}
  AssemblyShare share(const Model& model) const override;
  void expect_repeated_patterns() override { solver_.patterns_repeat = true; }
  const Table1<double>& whole(const Table1<double>& part, Table1<double>&) override { return part; }
  SolveStatus solve(const SparseMatrix& matrix, const Table1<double>& rhs, Table1<double>& x) override;
  SolveStatus solve_freeing_matrix(SparseMatrix& matrix, const Table1<double>& rhs,
                                   Table1<double>& x) override;
  void release() override;
  const std::vector<int>& free_equations() const override { return solver_.free_equations; }
  EquationSolverFigures figures() const override;

 private:
  Solver& solver_;
};

}  // namespace quorix
