// The solver's entry for the analyses: one call runs the three phases on the
// matrix and returns the solution. Nothing survives from one call to the next.

#include "solver/solver_driver.hpp"

#include <algorithm>
#include <chrono>
#include <limits>
#include <ostream>
#include <vector>

#include "solver/factorization_phase.hpp"
#include "solver/pivot_check.hpp"
#include "solver/solver_interface.hpp"
#include "solver/solver_listings.hpp"

namespace quorix {

namespace {

std::size_t length(std::int64_t words) { return static_cast<std::size_t>(std::max<std::int64_t>(words, 0)); }

// Wall-clock seconds since `start`, for the phase times in SolverInfo.
double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// After an error return of either phase the factors are unusable: a failed
// factorization for want of storage is retried with the storage its IERROR
// asks for (see factorize_with_retries); any other error, or retries spent,
// gives x = 0 and `failed`, the phase's message having been printed.
SolveStatus multifrontal_solve(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                               View1<const int> cols, View1<const double> values, View1<const double> rhs,
                               View1<double> x) {
  auto fail = [&] {
    for (int i = 1; i <= n; ++i) x(i) = 0.0;
    return SolveStatus::failed;
  };
  SolverInfo& info = solver.info;
  info.phase_seconds = {0.0, 0.0, 0.0};
  info.MFRONT = 0;
  // 1. The phases only read the index arrays: they are passed as they are.
  // 2. No listings.
  solver.controls.diagnostic_level = 0;

  // 3-5. Analysis: pivot order, assembly tree, storage forecast.
  const std::int64_t order = std::max(n, 0);
  std::vector<int> iplan(length(3 * order));
  int nnodes = 0;
  int iflag = 0;
  {
    const std::int64_t liw = 3 * static_cast<std::int64_t>(n) + 2 * nz + 1;
    std::vector<int> int_space(length(liw));
    std::vector<int> tree_work(length(2 * order));
    const auto start = std::chrono::steady_clock::now();
    MFANAL(solver, n, nz, rows, cols, int_space, liw, iplan, tree_work, nnodes, iflag);
    info.phase_seconds[0] = seconds_since(start);
  }
  if (iflag < 0) return fail();

  // The factorization numbers the words of its sorted input rows with 32-bit
  // integers; a matrix beyond that is refused before anything is allocated.
  if (nz + static_cast<std::int64_t>(n) > std::numeric_limits<int>::max()) {
    if (solver.controls.error_unit > 0)
      solver_console(solver) << " **** MATRIX TOO LARGE: NZ + N =" << fortran_int(nz + n, 12)
                             << " EXCEEDS 2147483647\n";
    return fail();
  }

  // 6-7. Factorization in twice the forecast storage (with compressions).
  FactorStorage storage;
  storage.la = 2 * info.RNEEDS;
  storage.liw = 2 * info.INEEDS;
  {
    std::vector<int> tree_work(length(order));
    const auto start = std::chrono::steady_clock::now();
    iflag = factorize_with_retries(solver, n, nz, rows, cols, values, iplan, nnodes, tree_work, storage,
                                   storage_retries);
    info.phase_seconds[1] = seconds_since(start);
    info.MFRONT = storage.mfront;
  }
  if (iflag < 0) return fail();

  // 8-10. Solution, computed in x from a copy of the right-hand side.
  std::vector<double> front_work(length(storage.mfront));
  std::vector<std::int64_t> block_start(length(nnodes));
  for (int i = 1; i <= n; ++i) x(i) = rhs(i);
  const auto start = std::chrono::steady_clock::now();
  MFSOLV(solver, n, View1<const double>(storage.real_space.get(), std::max<std::int64_t>(storage.la, 0)),
         storage.la, View1<const int>(storage.int_space.get(), std::max<std::int64_t>(storage.liw, 0)),
         storage.liw, front_work, storage.mfront, x, block_start, nnodes);
  info.phase_seconds[2] = seconds_since(start);
  if (iflag == 3) return SolveStatus::singular;

  // Round-off hides the singularity of an unsupported structure: report
  // negligible pivots as the factorization reports missing ones.
  const std::int64_t negligible = count_negligible_pivots(
      n, nz, rows, cols, values,
      View1<const double>(storage.real_space.get(), std::max<std::int64_t>(storage.la, 0)),
      View1<const int>(storage.int_space.get(), std::max<std::int64_t>(storage.liw, 0)));
  if (negligible > 0) {
    info.IERROR = n - negligible;
    write_singular_warning(solver, info.IERROR);
    return SolveStatus::singular;
  }
  return SolveStatus::solved;
}

SolveStatus solve_sparse_system(Solver& solver, const SparseMatrix& matrix, View1<const double> rhs,
                                View1<double> x) {
  return multifrontal_solve(solver, matrix.order, matrix.term_count, matrix.row_indices, matrix.col_indices,
                            matrix.values, rhs, x);
}

int factorize_with_retries(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                           View1<const int> cols, View1<const double> values, View1<const int> iplan,
                           int nnodes, View1<int> tree_work, FactorStorage& storage, int retries) {
  std::int64_t made_la = -1, made_liw = -1;  // sizes of the arrays held
  for (int attempt = 0;; ++attempt) {
    if (storage.la != made_la || !storage.real_space) {
      storage.real_space.reset();
      storage.real_space = std::make_unique_for_overwrite<double[]>(
          static_cast<std::size_t>(std::max<std::int64_t>(storage.la, 0)));
      made_la = storage.la;
    }
    if (storage.liw != made_liw || !storage.int_space) {
      storage.int_space.reset();
      storage.int_space = std::make_unique_for_overwrite<int[]>(
          static_cast<std::size_t>(std::max<std::int64_t>(storage.liw, 0)));
      made_liw = storage.liw;
    }
    const std::int64_t copied = std::min(nz, storage.la);
    for (std::int64_t k = 1; k <= copied; ++k)
      storage.real_space[static_cast<std::size_t>(k - 1)] = values(k);
    int iflag = 0;
    storage.mfront = 0;
    MFFACT(solver, n, nz, rows, cols,
           View1<double>(storage.real_space.get(), std::max<std::int64_t>(storage.la, 0)), storage.la,
           View1<int>(storage.int_space.get(), std::max<std::int64_t>(storage.liw, 0)), storage.liw, iplan,
           nnodes, storage.mfront, tree_work, iflag);
    if (attempt == retries || (iflag != -3 && iflag != -4)) return iflag;
    if (iflag == -3) {
      storage.liw = std::max(solver.info.IERROR, 2 * storage.liw);
    } else {
      storage.la = std::max(solver.info.IERROR, 2 * storage.la);
    }
  }
}

}  // namespace quorix
