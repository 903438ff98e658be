#pragma once
// Multifrontal solver for sparse symmetric systems K x = f, in three phases:
//   MFANAL  ordering by minimum degree, assembly tree, storage forecast;
//   MFFACT  factorization P K P^T = L D L^T with 1x1 and 2x2 pivots;
//   MFSOLV  forward and backward substitution.
// The controls and statistics are records shared by the three phases. Message
// "units": 6 is the console stream of the Solver, any other positive unit is
// written there too, a unit <= 0 suppresses the message.
//
// Sizes and positions into the work arrays are 64-bit (they outgrow 32 bits
// on large models); indices and N are 32-bit.

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sparse/one_based.hpp"
#include "sparse/sparse_matrix.hpp"

namespace quorix {

class TaskPool;

struct SolverControls {
  double U = 0.1;  // pivot threshold, clamped to [-0.5, 0.5]; <= 0 selects definite mode
  int error_unit = 6;
  int diagnostic_unit = 6;
  int diagnostic_level = 0;  // 0 none, 1 short listings, 2 full listings
  int integer_limit = 2139062143;
  int min_node_pivots = 1;
  std::array<int, 20> front_thresholds = {32639, 32639, 32639, 32639, 14, 9,  8, 8, 9, 10,
                                          32639, 32639, 32639, 32689, 24, 11, 9, 8, 9, 10};
  double definite_zero_tolerance = 0.0;
  double dense_ratio = 1.0;
};

// How the factorization shares its work among threads. The defaults were
// measured on the benchmark plates; tests lower the thresholds so that small
// models are shared out too. None of them changes a result.
struct SolverTuning {
  // A subtree of the assembly tree is split while it holds more than
  // 1/(threads * tasks_per_thread) of the forecast work, or its root's front
  // is wider than max_root_front (wide fronts are shared out row by row, and
  // a task holds its root's front apart); subtrees below min_task_work are
  // left to the fronts above them.
  double tasks_per_thread = 8.0;
  double min_task_work = 1.0e6;  // multiply-adds, the words of the fronts counted too
  int max_root_front = 2000;
  // Panel updates of at least panel_min_work multiply-adds are spread over
  // the threads in row ranges of at least panel_min_rows rows: fronts of
  // order 600 (first panels of about 11 million multiply-adds) gain nothing
  // from the split on two threads, 1500 and more gain a half.
  std::int64_t panel_min_work = 16'000'000;
  int panel_min_rows = 64;
  // The input rows' pages go back to the system (when asked) in pieces of
  // this many bytes.
  std::int64_t input_release_piece = std::int64_t{4} << 20;
  // From this many entries on, the entries are distributed into the input
  // rows in parts side by side.
  std::int64_t parallel_sort_entries = std::int64_t{1} << 20;
  // The backward sweep of the solution shares out subtrees of the factor
  // blocks while they hold more than 1/(threads * sweep_runs_per_thread) of
  // the factor reals; those below min_sweep_run_reals stay with the blocks
  // above them.
  double sweep_runs_per_thread = 8.0;
  double min_sweep_run_reals = 65536.0;
};

// The elimination tree of a pivot order, by equation v at [v - 1]: the
// entries of column v of the factor L, diagonal included, and the father of
// v (0 for a root).
struct EliminationTree {
  std::vector<int> column_count;
  std::vector<int> father;
};

// A pivot order (see Solver::pivot_order) and, when known, its tree.
struct SuppliedOrder {
  std::vector<int> position;
  EliminationTree tree;
};

struct SolverInfo {
  double OPS = 0.0;
  std::int64_t IERROR = 0;
  std::int64_t RTOTAL = 0;
  std::int64_t ITOTAL = 0;
  std::int64_t RNEEDS = 0;
  std::int64_t INEEDS = 0;
  std::int64_t RFACTS = 0;
  std::int64_t IFACTS = 0;
  std::int64_t RUSAGE = 0;
  std::int64_t IUSAGE = 0;
  int NCOMPA = 0;
  int NCOMPR = 0;
  int NCOMPI = 0;
  int NTWO = 0;
  int negative_pivot_count = 0;
  // Written by the driver of the phases: the largest front of the last
  // factorization.
  int MFRONT = 0;
  // Written by the factorization: how many subtrees it factorized side by
  // side (0 when it worked one front after the other).
  int subtree_tasks = 0;
  // Written by the solution: how many subtrees its backward sweep shared out
  // (0 when it went one block after the other).
  int sweep_runs = 0;
  // Written by the driver of the phases: the wall-clock seconds of the
  // analysis, the factorization and the solution of the last solve.
  std::array<double, 3> phase_seconds{};
};

struct SolverMemory;

// The solver's shared records and its console. One solve at a time.
struct Solver {
  SolverControls controls;
  SolverInfo info;
  // The threads the solve may work on; none: the calling thread alone. The
  // results are the same for any number.
  TaskPool* pool = nullptr;
  SolverTuning tuning;
  std::ostream* console = nullptr;  // unit 6; null means standard output
  // Told the share (0 to 1) of the factorization's forecast operations done so far, on the calling thread,
  // between fronts. Empty: nothing is told.
  std::function<void(double)> factor_progress;
  // What the driver keeps between solves while the matrix pattern stays the
  // same (solver_driver.hpp); made by the first solve.
  std::shared_ptr<SolverMemory> kept;
  // Set by a caller that solves with one pattern again and again (Newton
  // iterations): the first solve already keeps all of its storage ready for
  // the next.
  bool patterns_repeat = false;

  // Set by every solve that finds the matrix singular (and kept by regular
  // ones): the equations, ascending, left without a usable pivot.
  std::vector<int> free_equations;

  // Set by a caller with a pivot order of its own (nested dissection, say):
  // the position of each equation, 1..N, by equation. The analysis then
  // follows it (IFLAG = 1) instead of computing a minimum-degree order; an
  // order of another length than N is not used.
  std::vector<int> pivot_order;
  // Set with it by a caller who knows the pattern of every matrix it will
  // solve (the mesh's): the elimination tree of pivot_order over that
  // pattern, which the analysis then takes instead of working it out from
  // the entries. Empty, or of another length than N: not used.
  EliminationTree pivot_tree;
  // Set instead by a caller whose order is still being worked out: the first
  // solve calls it once, which waits for the order, and keeps what it
  // returns as pivot_order and pivot_tree.
  std::function<SuppliedOrder()> pending_pivot_order;

  // Set by a caller whose matrix serves no purpose after the solve: called
  // once, when the factorization holds the entries sorted in its own
  // storage, to free the caller's rows, cols and values then (their pages
  // go on to the factors), which lowers the solve's peak memory by the
  // matrix. A solve that then has to start its factorization over returns
  // matrix_needed; the solve that follows, of the same matrix, takes up the
  // analysis and storage sizes where it stopped, and prints nothing twice.
  std::function<void()> release_matrix;
};

// ---- The three phases. Arrays are 1-based views; sizes as stated. --------

// rows, cols: in, NZ entries. int_space: work, LIW. iplan: in/out, 3N
// (column-major: iplan(i), iplan(N + k), iplan(2N + k) are IPLAN(i,1),
// IPLAN(k,2), IPLAN(k,3)). tree_work: work, 2N. iflag: in 1 = order supplied
// in IPLAN(.,1), otherwise computed; out status. supplied_tree: for a
// supplied order, its elimination tree over the pattern of rows and cols
// when the caller knows it (null, or not of N variables: worked out from the
// entries).
void MFANAL(Solver& solver, int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
            View1<int> int_space, std::int64_t liw, View1<int> iplan, View1<int> tree_work, int& nnodes,
            int& iflag, const EliminationTree* supplied_tree = nullptr);

// real_space: in the NZ values in (1..NZ), out the factors; LA. int_space: out
// the factors' integer data; LIW. iplan: in, from MFANAL. tree_work: work, N.
void MFFACT(Solver& solver, int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
            View1<double> real_space, std::int64_t la, View1<int> int_space, std::int64_t liw,
            View1<const int> iplan, int nnodes, int& mfront, View1<int> tree_work, int& iflag);

// rhs: in the right-hand side, out the solution, N. front_work: work, MFRONT.
// tree_work: work, NNODES (block start positions).
void MFSOLV(Solver& solver, int n, View1<const double> real_space, std::int64_t la,
            View1<const int> int_space, std::int64_t liw, View1<double> front_work, int mfront,
            View1<double> rhs, View1<std::int64_t> tree_work, int nnodes);

// ---- The driver. -----------------------------------------------------------

enum class SolveStatus {
  solved,    // factors complete (warnings about ignored entries aside)
  singular,  // IFLAG 3: fewer than N pivots; x from the pivoted part
  failed,    // an error return (or storage retries spent): x = 0
  // The solver gave the caller's matrix up (Solver::release_matrix) and then
  // needed it again: x = 0; the caller assembles the same matrix and solves
  // once more, without giving it up.
  matrix_needed,
};

// Runs the three phases on the coordinate entries; x receives the solution.
SolveStatus multifrontal_solve(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                               View1<const int> cols, View1<const double> values, View1<const double> rhs,
                               View1<double> x);

SolveStatus solve_sparse_system(Solver& solver, const SparseMatrix& matrix, View1<const double> rhs,
                                View1<double> x);

// Gives back what the solver keeps for later solves of the same pattern (the
// analysis and the factor storage), for a caller that solves no more.
void release_solver_memory(Solver& solver);

// Waits for a pending pivot order and makes it the solver's pivot_order
// and pivot_tree.
void take_pending_pivot_order(Solver& solver);

// ---- Messages shared by the phases (texts and field widths fixed). --------

std::ostream& solver_console(const Solver& solver);
// " **** ERROR RETURN FROM <phase> **** IFLAG=" and the detail line for IFLAG
// -1 .. -8 (-8: a supplied order that is no permutation, from MFANAL). `phase`
// is "MFANAL" or "MFFACT". given_value is the argument found wrong, as passed:
// N for -1, NZ for -2, LIW for -3 and LA for -4; the other IFLAGs print
// IERROR or nothing and ignore it.
void write_solver_error(const Solver& solver, const char* phase, int iflag, std::int64_t given_value);
// The IFLAG 1 warning header (first ignored entry only) and detail line (first
// ten): `count` is the number of ignored entries so far, including this one.
void write_ignored_entry_warning(const Solver& solver, const char* phase, std::int64_t count,
                                 std::int64_t entry, int row, int col);
// The IFLAG 3 warning: matrix singular with the given rank.
void write_singular_warning(const Solver& solver, std::int64_t rank);
// The IFLAG 2 warning for one sign change at pivot `pivot`.
void write_sign_change_warning(const Solver& solver, std::int64_t pivot);

}  // namespace quorix
