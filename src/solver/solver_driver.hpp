#pragma once
// The storage policy of the solver driver: how the factorization's storage is
// made, and enlarged when a factorization runs short of it.

#include <cstdint>
#include <memory>

#include "solver/solver_interface.hpp"

namespace quorix {

// The factor storage owned by the driver. The arrays are left uninitialised
// when made: the factorization clears every word it reads before writing it.
struct FactorStorage {
  std::unique_ptr<double[]> real_space;
  std::int64_t la = 0;
  std::unique_ptr<int[]> int_space;
  std::int64_t liw = 0;
  int mfront = 0;
};

// Runs MFFACT on `values` (NZ reals, copied into real_space first) with the
// storage sizes in `storage`. After IFLAG -3 or -4 it enlarges LIW or LA to
// the larger of IERROR and twice the size that failed and tries again, at
// most `retries` more times. Returns the last IFLAG; storage holds the
// factors when it is >= 0. tree_work: work, N.
int factorize_with_retries(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                           View1<const int> cols, View1<const double> values, View1<const int> iplan,
                           int nnodes, View1<int> tree_work, FactorStorage& storage, int retries);
inline constexpr int storage_retries = 4;

}  // namespace quorix
