#include "driver/solver_choice.hpp"

#ifdef QUORIX_WITH_MUMPS
#include "distributed/mpi_processes.hpp"
#endif

namespace quorix {

bool solver_built(SolverKind kind) {
#ifdef QUORIX_WITH_MUMPS
  return kind == SolverKind::own || kind == SolverKind::mumps;
#else
  return kind == SolverKind::own;
#endif
}

std::unique_ptr<Processes> start_processes(SolverKind kind, int& argc, char**& argv) {
#ifdef QUORIX_WITH_MUMPS
  if (kind == SolverKind::mumps) return start_mpi_processes(argc, argv);
#else
  (void)argc;
  (void)argv;
#endif
  (void)kind;
  return std::make_unique<Processes>();
}

}  // namespace quorix
