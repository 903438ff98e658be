#pragma once
// The processes a run works in: the program alone, or several copies of it
// started together (mpirun), each reading the model and assembling its share
// of the system for a solver that works across them. This base is the single
// process with the program's own solver; a build with MPI adds the other.

#include <memory>

#include "analysis/equation_solver.hpp"
#include "model/model.hpp"
#include "solver/solver_interface.hpp"

namespace quorix {

class Processes {
 public:
  virtual ~Processes() = default;
  // This process's number, 0 to count() - 1. Process 0 prints the console
  // lines and messages and writes the files; the others stay silent.
  virtual int rank() const { return 0; }
  virtual int count() const { return 1; }
  // Called by every process after a step that may fail: the lowest number
  // of a process whose step failed, or -1, the same on every process.
  virtual int first_failure(bool failed) { return failed ? 0 : -1; }
  // Process `from`'s value, on every process.
  virtual int broadcast(int value, int /*from*/) { return value; }
  // Ends every process of the run at once with `status`, after this one has
  // said why.
  [[noreturn]] virtual void abort(int status);
  // The solver the analyses call; `own` is the program's solver record,
  // `model` the model read, which outlives the solver.
  virtual std::unique_ptr<EquationSolver> equation_solver(Solver& own, const Model& model);
};

}  // namespace quorix
