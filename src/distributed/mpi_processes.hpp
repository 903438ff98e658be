#pragma once
// The processes mpirun starts for one run, each a copy of the program, and
// the MUMPS solver they share.

#include <memory>

#include "analysis/processes.hpp"

namespace quorix {

// Starts MPI (ended when the object goes). A run without mpirun is one
// process of its own.
std::unique_ptr<Processes> start_mpi_processes(int& argc, char**& argv);

}  // namespace quorix
