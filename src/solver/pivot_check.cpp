#include "solver/pivot_check.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "solver/factorization_phase.hpp"

namespace quorix {

namespace {

// Calls negligible(variable) for every variable whose pivot is negligible
// against its diagonal entry, and pivoted(variable) for every variable the
// factors pivot. Returns the smallest |pivot| / |diagonal| seen.
template <class Negligible, class Pivoted>
double walk_pivots(std::span<const double> diagonal, View1<const double> real_space,
                   View1<const int> int_space, Negligible negligible, Pivoted pivoted) {
  auto scale_of = [&](int variable) {
    return std::fabs(diagonal[static_cast<std::size_t>(std::abs(variable))]);
  };

  double smallest = std::numeric_limits<double>::infinity();
  auto judge = [&](double pivot_magnitude, double scale, int variable) {
    pivoted(std::abs(variable));
    if (scale == 0.0) return;  // nothing to measure it against
    const double ratio = pivot_magnitude / scale;
    smallest = std::min(smallest, ratio);
    if (!(ratio > kNegligiblePivotRatio)) negligible(std::abs(variable));
  };

  // A 1 x 1 pivot holds 1/d on its row's diagonal, a 2 x 2 pivot the inverse
  // block on the diagonals of its two rows and between them.
  const int blocks = std::abs(int_space(1));
  std::int64_t ip = 2;
  std::int64_t rp = 1;
  for (int b = 1; b <= blocks; ++b) {
    const FactorBlock block = read_factor_block(int_space, ip);
    const int order = block.front_order;
    for (int r = 1; r <= block.pivots; ++r) {
      const std::int64_t row = rp + row_offset(r, order);
      const int variable = int_space(block.list + r - 1);
      if (variable > 0) {
        judge(1.0 / std::fabs(real_space(row)), scale_of(variable), variable);
        continue;
      }
      // The pair r, r + 1: its smaller eigenvalue in magnitude is at least
      // 1 / (the row-sum norm of the stored inverse).
      const int partner = int_space(block.list + r);
      const double i11 = real_space(row), i12 = real_space(row + 1);
      const double i22 = real_space(rp + row_offset(r + 1, order));
      const double norm = std::max(std::fabs(i11) + std::fabs(i12), std::fabs(i12) + std::fabs(i22));
      const double scale = std::max(scale_of(variable), scale_of(partner));
      judge(1.0 / norm, scale, variable);
      judge(1.0 / norm, scale, partner);
      ++r;
    }
    rp += factor_block_reals(block);
    ip = block.list + order;
  }
  return smallest;
}

}  // namespace

LargeVector<double> entry_diagonal(int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
                                   View1<const double> values) {
  LargeVector<double> diagonal(static_cast<std::size_t>(std::max(n, 0)) + 1, 0.0);
  for (std::int64_t k = 1; k <= nz; ++k) {
    const int i = rows(k);
    if (i == cols(k) && i >= 1 && i <= n) diagonal[static_cast<std::size_t>(i)] += values(k);
  }
  return diagonal;
}

std::int64_t count_negligible_pivots(std::span<const double> diagonal, View1<const double> real_space,
                                     View1<const int> int_space, double* smallest_ratio) {
  std::int64_t negligible = 0;
  const double smallest = walk_pivots(
      diagonal, real_space, int_space, [&](int) { ++negligible; }, [](int) {});
  if (smallest_ratio) *smallest_ratio = smallest;
  return negligible;
}

std::vector<int> unpivoted_variables(int n, std::span<const double> diagonal, View1<const double> real_space,
                                     View1<const int> int_space) {
  // 0 never pivoted, 1 pivoted, 2 negligible pivot.
  std::vector<char> state(static_cast<std::size_t>(std::max(n, 0)) + 1, 0);
  walk_pivots(
      diagonal, real_space, int_space, [&](int variable) { state[static_cast<std::size_t>(variable)] = 2; },
      [&](int variable) {
        char& s = state[static_cast<std::size_t>(variable)];
        if (s == 0) s = 1;
      });
  std::vector<int> variables;
  for (int i = 1; i <= n; ++i)
    if (state[static_cast<std::size_t>(i)] != 1) variables.push_back(i);
  return variables;
}

}  // namespace quorix
