// The solver's entry for the analyses: one call runs the three phases on the
// matrix and returns the solution. A caller that solves one pattern again and
// again has its analysis and factor storage kept from one call to the next.

#include "solver/solver_driver.hpp"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <ostream>
#include <sstream>
#include <utility>
#include <vector>

#include "parallel/task_pool.hpp"
#include "solver/analysis_phase.hpp"
#include "solver/factorization_phase.hpp"
#include "solver/pivot_check.hpp"
#include "solver/solver_interface.hpp"
#include "solver/solver_listings.hpp"
#include "sparse/large_memory.hpp"
#include "sparse/one_based.hpp"
#include "sparse/page_pool.hpp"

namespace quorix {

namespace {

std::size_t length(std::int64_t words) { return static_cast<std::size_t>(std::max<std::int64_t>(words, 0)); }

// Wall-clock seconds since `start`, for the phase times in SolverInfo.
double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A table of `count` zeros, written on the solver's threads, in pages of the
// shared pool as far as it goes.
Table1<int> zeroed_table(const Solver& solver, std::int64_t count) {
  Table1<int> table(count, uninitialised);
  take_from_pool(table);
  constexpr std::int64_t piece = std::int64_t{1} << 22;
  for_each_unit(solver.pool, static_cast<int>((table.size64() + piece - 1) / piece), [&](int p) {
    std::fill(table.data() + p * piece, table.data() + std::min(table.size64(), (p + 1) * piece), 0);
  });
  return table;
}

// The fields of SolverInfo that MFANAL writes, from a record it wrote.
void restore_analysis_info(SolverInfo& info, const SolverInfo& analysed) {
  info.OPS = analysed.OPS;
  info.IERROR = analysed.IERROR;
  info.RTOTAL = analysed.RTOTAL;
  info.ITOTAL = analysed.ITOTAL;
  info.RNEEDS = analysed.RNEEDS;
  info.INEEDS = analysed.INEEDS;
  info.RFACTS = analysed.RFACTS;
  info.IFACTS = analysed.IFACTS;
  info.NCOMPA = analysed.NCOMPA;
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
  // The phases only read the index arrays, which are passed as they are,
  // and print no listings.
  solver.controls.diagnostic_level = 0;

  // The analysis: pivot order, assembly tree, storage forecast. A pattern
  // analysed by the last solve is not analysed again: its results, and the
  // messages the analysis printed, are taken from then.
  if (!solver.kept) solver.kept = std::make_shared<SolverMemory>();
  SolverMemory& kept = *solver.kept;
  const auto analysis_start = std::chrono::steady_clock::now();
  // What the pivot check needs of the matrix, its diagonal, is summed on
  // another thread while the analysis runs, when there is one.
  LargeVector<double> diagonal;
  TaskGroup diagonal_task(solver.pool);
  diagonal_task.run([&, n, nz] { diagonal = entry_diagonal(n, nz, rows, cols, values); });
  const auto count = length(nz);
  // A solve that follows a matrix_needed one is handed the same matrix
  // again: it goes on from the analysis, which has printed its messages.
  const bool resumed = kept.awaiting_matrix && kept.analysed && kept.n == n && kept.awaited_nz == nz;
  kept.awaiting_matrix = false;
  const bool same_pattern = resumed || (kept.analysed && kept.n == n && kept.rows.size() == count &&
                                        std::equal(kept.rows.begin(), kept.rows.end(), rows.data()) &&
                                        std::equal(kept.cols.begin(), kept.cols.end(), cols.data()));
  if (same_pattern) {
    if (!resumed) solver_console(solver) << kept.messages;
    restore_analysis_info(info, kept.info);
    // Kept for later solves only as any analysis is.
    if (resumed) kept.analysed = solver.patterns_repeat;
  } else {
    kept.analysed = false;
    kept.storage = FactorStorage{};
    kept.n = n;
    if (solver.patterns_repeat) {
      kept.rows.assign(rows.data(), rows.data() + count);
      kept.cols.assign(cols.data(), cols.data() + count);
    } else {
      kept.rows = {};
      kept.cols = {};
    }
    const std::int64_t order = std::max(n, 0);
    kept.iplan.assign(length(3 * order), 0);
    kept.nnodes = 0;
    // The analysis computes a pivot order, or follows the caller's.
    kept.iflag = 0;
    take_pending_pivot_order(solver);
    if (static_cast<std::int64_t>(solver.pivot_order.size()) == order && order > 0) {
      std::copy(solver.pivot_order.begin(), solver.pivot_order.end(), kept.iplan.begin());
      kept.iflag = 1;
    }
    const std::int64_t liw = 3 * static_cast<std::int64_t>(n) + 2 * nz + 1;
    Table1<int> int_space = zeroed_table(solver, liw);
    Table1<int> tree_work = zeroed_table(solver, 2 * order);
    std::ostringstream messages;
    {
      // The messages go to `messages` for the time of the call.
      struct Redirect {
        Solver& solver;
        std::ostream* console;
        ~Redirect() { solver.console = console; }
      } redirect{solver, solver.console};
      solver.console = &messages;
      MFANAL(solver, n, nz, rows, cols, int_space, liw, kept.iplan, tree_work, kept.nnodes, kept.iflag,
             kept.iflag == 1 ? &solver.pivot_tree : nullptr);
    }
    if (kept.iflag >= 0) {
      const View1<int> fronts = node_front_orders(int_space, n, liw);
      kept.fronts.assign(fronts.data(), fronts.data() + kept.nnodes);
    }
    kept.messages = messages.str();
    solver_console(solver) << kept.messages;
    kept.info = info;
    kept.analysed = solver.patterns_repeat;
    return_to_pool(int_space);  // for the factorization
    return_to_pool(tree_work);
  }
  info.phase_seconds[0] = seconds_since(analysis_start);
  if (kept.iflag < 0) return fail();
  const View1<const int> iplan = kept.iplan;
  const int nnodes = kept.nnodes;
  const std::int64_t order = std::max(n, 0);

  // The factorization numbers the words of its sorted input rows with 32-bit
  // integers; a matrix beyond that is refused before anything is allocated.
  if (nz + static_cast<std::int64_t>(n) > std::numeric_limits<int>::max()) {
    if (solver.controls.error_unit > 0)
      solver_console(solver) << " **** MATRIX TOO LARGE: NZ + N =" << fortran_int(nz + n, 12)
                             << " EXCEEDS 2147483647\n";
    return fail();
  }

  // The factorization, in twice the storage the analysis forecast (with
  // compressions). The storage of an earlier solve of the same pattern is
  // used again (release_solver_memory gives it back).
  FactorStorage& storage = kept.storage;
  if (!resumed) {
    storage.la = 2 * info.RNEEDS;
    storage.liw = 2 * info.INEEDS;
  }
  diagonal_task.wait();  // taken while the matrix is there
  int iflag = 0;
  {
    LargeVector<int> tree_work(length(order), 0);
    const auto start = std::chrono::steady_clock::now();
    // A pattern met again is likely to come once more: its storage keeps
    // the input rows' pages for the next factorization.
    iflag = factorize_with_retries(
        solver, n, nz, rows, cols, values, iplan, nnodes, tree_work, storage, storage_retries, kept.fronts,
        (resumed || !same_pattern) && !solver.patterns_repeat,
        resumed ? std::function<void()>() : solver.release_matrix, !resumed || kept.report_on_resume);
    info.phase_seconds[1] = seconds_since(start);
    info.MFRONT = storage.mfront;
  }
  if (iflag == kInputGone || iflag == kInputGoneShort) {
    // The factors' storage goes (its sizes stay) while the caller builds
    // the matrix again.
    kept.awaiting_matrix = true;
    kept.awaited_nz = nz;
    kept.report_on_resume = iflag == kInputGoneShort;
    kept.analysed = true;
    const std::int64_t la = storage.la, liw = storage.liw;
    storage = FactorStorage{};
    storage.la = la;
    storage.liw = liw;
    for (int i = 1; i <= n; ++i) x(i) = 0.0;
    return SolveStatus::matrix_needed;
  }
  if (iflag < 0) return fail();

  const View1<const double> factors(storage.real_space.get(), std::max<std::int64_t>(storage.la, 0));
  const View1<const int> factor_indices(storage.int_space.get(), std::max<std::int64_t>(storage.liw, 0));
  // Round-off hides the singularity of an unsupported structure: negligible
  // pivots are reported as the factorization reports missing ones. They are
  // counted on another thread while the solution reads the same factors.
  std::int64_t negligible = 0;
  TaskGroup pivot_task(solver.pool);
  if (iflag != 3)
    pivot_task.run([&] { negligible = count_negligible_pivots(diagonal, factors, factor_indices); });

  // The solution, computed in x from a copy of the right-hand side.
  LargeVector<double> front_work(length(storage.mfront), 0.0);
  LargeVector<std::int64_t> block_start(length(nnodes), 0);
  for (int i = 1; i <= n; ++i) x(i) = rhs(i);
  const auto start = std::chrono::steady_clock::now();
  MFSOLV(solver, n, factors, storage.la, factor_indices, storage.liw, front_work, storage.mfront, x,
         block_start, nnodes);
  info.phase_seconds[2] = seconds_since(start);
  pivot_task.wait();
  auto singular = [&] {
    solver.free_equations = unpivoted_variables(n, diagonal, factors, factor_indices);
    return SolveStatus::singular;
  };
  if (iflag == 3) return singular();
  if (negligible > 0) {
    info.IERROR = n - negligible;
    write_singular_warning(solver, info.IERROR);
    return singular();
  }
  return SolveStatus::solved;
}

void release_solver_memory(Solver& solver) { solver.kept.reset(); }

void take_pending_pivot_order(Solver& solver) {
  if (!solver.pending_pivot_order) return;
  SuppliedOrder supplied = std::exchange(solver.pending_pivot_order, nullptr)();
  solver.pivot_order = std::move(supplied.position);
  solver.pivot_tree = std::move(supplied.tree);
}

SolveStatus solve_sparse_system(Solver& solver, const SparseMatrix& matrix, View1<const double> rhs,
                                View1<double> x) {
  return multifrontal_solve(solver, matrix.order, matrix.term_count, matrix.row_indices, matrix.col_indices,
                            matrix.values, rhs, x);
}

int factorize_with_retries(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                           View1<const int> cols, View1<const double> values, View1<const int> iplan,
                           int nnodes, View1<int> tree_work, FactorStorage& storage, int retries,
                           View1<const int> planned_fronts, bool release_input,
                           const std::function<void()>& input_sorted, bool report_ignored) {
  bool input_gone = false;
  for (int attempt = 0;; ++attempt) {
    bool fresh = false;
    if (storage.real_space.size() < storage.la) {
      storage.real_space.reset();
      storage.real_space = LargeArray<double>(storage.la);
      fresh = true;
    }
    if (storage.int_space.size() < storage.liw) {
      storage.int_space.reset();
      storage.int_space = LargeArray<int>(storage.liw);
      fresh = true;
    }
    // The input rows go to the top of both arrays, sorted by one thread,
    // and the factors grow from the bottom: those places take the pages the
    // stages before gave up, and the input rows' places are given the rest
    // of their pages on all threads.
    const std::int64_t rows_words = std::min(nz + std::max(n, 0), std::min(storage.la, storage.liw));
    std::int64_t untouched_from = 0, untouched_end = 0;  // real words no one has touched
    if (fresh && rows_words > 0) {
      take_from_pool(storage.real_space, storage.la - rows_words, rows_words);
      take_from_pool(storage.int_space, storage.liw - rows_words, rows_words);
      untouched_from = take_from_pool(storage.real_space, 0, storage.la - rows_words);
      untouched_end = storage.la - rows_words;
      if (solver.pool != nullptr && solver.pool->threads() > 1) {
        populate_pages(*solver.pool, storage.real_space.get() + (storage.la - rows_words),
                       static_cast<std::size_t>(rows_words) * sizeof(double));
        populate_pages(*solver.pool, storage.int_space.get() + (storage.liw - rows_words),
                       static_cast<std::size_t>(rows_words) * sizeof(int));
      }
    }
    return_pool_pages_to_system();  // what the factorization did not take
    int iflag = 0;
    storage.mfront = 0;
    FactorOptions options;
    options.values = values;
    options.planned_fronts = planned_fronts;
    options.release_input = release_input;
    options.pool = solver.pool;
    options.tuning = solver.tuning;
    options.report_ignored = report_ignored || attempt > 0;
    if (!input_gone && input_sorted) {
      options.input_sorted = [&] {
        input_sorted();
        input_gone = true;
      };
      options.fresh_from = untouched_from;
      options.fresh_end = untouched_end;
    }
    factorize(solver, n, nz, rows, cols,
              View1<double>(storage.real_space.get(), std::max<std::int64_t>(storage.la, 0)), storage.la,
              View1<int>(storage.int_space.get(), std::max<std::int64_t>(storage.liw, 0)), storage.liw, iplan,
              nnodes, storage.mfront, tree_work, iflag, options);
    if (attempt == retries || (iflag != -3 && iflag != -4)) return iflag;
    if (iflag == -3) {
      storage.liw = std::max(solver.info.IERROR, 2 * storage.liw);
    } else {
      storage.la = std::max(solver.info.IERROR, 2 * storage.la);
    }
    if (input_gone) return kInputGoneShort;
  }
}

}  // namespace quorix
