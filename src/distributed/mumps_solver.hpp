#pragma once
// MUMPS (double precision, symmetric) across the processes of an MPI run.
// Each process hands MUMPS the terms of the elements it assembled, as
// distributed input: MUMPS adds up the terms that several processes give for
// one place, so the assembled matrix is never gathered on one process, and
// neither are the factors. The right-hand side is summed onto process 0,
// which solves with MUMPS; the solution goes back to every process.
//
// The analysis (ordering, symbolic factorization) is made once and kept while
// each process's pattern stays as it was, as in Newton iterations; then
// only the factorization and the solution are run again.

#include <mpi.h>

#include <memory>
#include <vector>

#include "analysis/equation_solver.hpp"

namespace quorix {

class MumpsEquationSolver final : public EquationSolver {
 public:
  // pivot_order, when not empty: the position of each equation in the order
  // MUMPS is to follow (--ordering nested), instead of its own. pool: the
  // threads this process assembles on (none: the calling thread alone).
  MumpsEquationSolver(const Model& model, MPI_Comm comm, std::vector<int> pivot_order, TaskPool* pool);
  MumpsEquationSolver(const MumpsEquationSolver&) = delete;
  MumpsEquationSolver& operator=(const MumpsEquationSolver&) = delete;
  ~MumpsEquationSolver() override;

  AssemblyShare share(const Model& model) const override;
  void expect_repeated_patterns() override {}
  const Table1<double>& whole(const Table1<double>& part, Table1<double>& sum) override;
  SolveStatus solve(const SparseMatrix& matrix, const Table1<double>& rhs, Table1<double>& x) override;
  void release() override;
  const std::vector<int>& free_equations() const override { return free_equations_; }
  EquationSolverFigures figures() const override { return figures_; }

  struct Instance;  // the MUMPS record and what it points to

 private:
  MPI_Comm comm_;
  int rank_ = 0;
  int count_ = 1;
  std::vector<int> pivot_order_;
  TaskPool* pool_;
  std::vector<int> prescribed_;  // equations whose diagonal process 0 places
  double diagonal_ = 1.0;        // that diagonal: the size of the stiffness terms
  std::unique_ptr<Instance> instance_;
  std::vector<int> free_equations_;
  EquationSolverFigures figures_;
};

// A typical size of the model's stiffness terms, Young's modulus times the
// thickness (their largest product over the elements): the diagonal a
// prescribed equation gets, so that its pivot is neither tiny nor huge
// against the others. 1 for a model without elements.
double stiffness_size(const Model& model);

}  // namespace quorix
