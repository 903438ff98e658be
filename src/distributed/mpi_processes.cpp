#include "distributed/mpi_processes.hpp"

#include <mpi.h>

#include <cstdlib>
#include <iostream>

#include "distributed/mumps_solver.hpp"

namespace quorix {

namespace {

class MpiProcesses final : public Processes {
 public:
  MpiProcesses(int& argc, char**& argv) {
    // Only the main thread calls MPI; the task pool's threads never do.
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &count_);
  }
  MpiProcesses(const MpiProcesses&) = delete;
  MpiProcesses& operator=(const MpiProcesses&) = delete;
  ~MpiProcesses() override { MPI_Finalize(); }

  int rank() const override { return rank_; }
  int count() const override { return count_; }

  int first_failure(bool failed) override {
    const int mine = failed ? rank_ : count_;
    int first = count_;
    MPI_Allreduce(&mine, &first, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    return first == count_ ? -1 : first;
  }

  int broadcast(int value, int from) override {
    MPI_Bcast(&value, 1, MPI_INT, from, MPI_COMM_WORLD);
    return value;
  }

  [[noreturn]] void abort(int status) override {
    std::cout.flush();
    std::cerr.flush();
    MPI_Abort(MPI_COMM_WORLD, status);
    std::_Exit(status);
  }

  std::unique_ptr<EquationSolver> equation_solver(Solver& own, const Model& model) override {
    take_pending_pivot_order(own);
    return std::make_unique<MumpsEquationSolver>(model, MPI_COMM_WORLD, own.pivot_order, own.pool);
  }

 private:
  int rank_ = 0;
  int count_ = 1;
};

}  // namespace

std::unique_ptr<Processes> start_mpi_processes(int& argc, char**& argv) {
  return std::make_unique<MpiProcesses>(argc, argv);
}

}  // namespace quorix
