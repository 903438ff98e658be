#include "driver/solver_choice.hpp"

#include <algorithm>
#include <cstdlib>
#include <utility>

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

LaunchedProcesses launched_processes() {
  // Open MPI's launcher, and the PMI of MPICH's and Slurm's.
  const auto number = [](const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr) return -1;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= 0 && value < (1L << 30) ? static_cast<int>(value) : -1;
  };
  for (const auto& [size, rank] :
       {std::pair{"OMPI_COMM_WORLD_SIZE", "OMPI_COMM_WORLD_RANK"}, std::pair{"PMI_SIZE", "PMI_RANK"}})
    if (const int count = number(size); count > 1) return {count, std::max(number(rank), 0)};
  return {};
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
