#pragma once
// The solvers a run can use (--solver), and the processes each runs in.

#include <memory>
#include <string>

#include "analysis/processes.hpp"

namespace quorix {

enum class SolverKind {
  own,    // the program's multifrontal solver, in this one process
  mumps,  // MUMPS across the processes mpirun started (a build with -DQUORIX_MPI=ON)
};

// Whether this build has the solver.
bool solver_built(SolverKind kind);

// How many processes a launcher (mpirun, or srun through PMI) started
// together with this one, by the environment it gives them, and this one's
// rank among them: {1, 0} for a process started alone.
struct LaunchedProcesses {
  int count = 1;
  int rank = 0;
};
LaunchedProcesses launched_processes();

// The processes of the run for a solver this build has; for MUMPS this
// starts MPI, which ends when the object goes.
std::unique_ptr<Processes> start_processes(SolverKind kind, int& argc, char**& argv);

}  // namespace quorix
