#pragma once
// The storage policy of the solver driver: how the factorization's storage is
// made, and enlarged when a factorization runs short of it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "solver/solver_interface.hpp"
#include "sparse/large_memory.hpp"

namespace quorix {

// The factor storage owned by the driver. The arrays are left uninitialised
// when made: the factorization clears every word it reads before writing it.
// Arrays already large enough are used as they are.
struct FactorStorage {
  LargeArray<double> real_space;  // at least la words
  std::int64_t la = 0;
  LargeArray<int> int_space;  // at least liw words
  std::int64_t liw = 0;
  int mfront = 0;
};

// Runs MFFACT on `values` (NZ reals) with the storage sizes in `storage`.
// After IFLAG -3 or -4 it enlarges LIW or LA to the larger of IERROR and
// twice the size that failed and tries again, at most `retries` more times.
// Returns the last IFLAG; storage holds the factors when it is >= 0.
// tree_work: work, N. planned_fronts: the analysis's front orders, which
// let subtrees be factorized side by side (may be empty). release_input,
// input_sorted and report_ignored: see FactorOptions; input_sorted goes to
// each attempt until one has sorted the input (an attempt may stop before),
// and once it has been called a factorization short of storage is not
// retried: the sizes it would have been retried with are left in `storage`,
// and kInputGoneShort returned.
int factorize_with_retries(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                           View1<const int> cols, View1<const double> values, View1<const int> iplan,
                           int nnodes, View1<int> tree_work, FactorStorage& storage, int retries,
                           View1<const int> planned_fronts = {}, bool release_input = false,
                           const std::function<void()>& input_sorted = {}, bool report_ignored = true);
inline constexpr int storage_retries = 4;

// What the driver keeps from one solve to the next (Solver::kept). The
// analysis phase depends on the pattern alone: while the pattern stays the
// same its results, and what it printed, are used again, and so is the
// factor storage (its pages are then given already). The pattern is kept,
// to be compared entry by entry, only for a caller whose patterns repeat.
struct SolverMemory {
  int n = 0;
  std::vector<int> rows, cols;  // the pattern analysed
  bool analysed = false;
  LargeVector<int> iplan;
  LargeVector<int> fronts;  // the forecast front order of each node
  int nnodes = 0;
  int iflag = 0;
  SolverInfo info;       // the fields MFANAL wrote
  std::string messages;  // what MFANAL printed
  FactorStorage storage;
  // Set when the last solve returned matrix_needed: the next one, of the
  // same matrix handed in again, keeps the analysis and storage sizes and
  // prints no message a second time.
  bool awaiting_matrix = false;
  bool report_on_resume = false;  // it stopped short of storage: its retry reports as any retry
  std::int64_t awaited_nz = 0;
};

}  // namespace quorix
