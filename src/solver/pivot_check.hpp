#pragma once
// A check of finished factors for pivots that are negligible against the
// matrix they came from.

#include <cstdint>
#include <span>
#include <vector>

#include "sparse/large_memory.hpp"
#include "sparse/one_based.hpp"

namespace quorix {

// A pivot counts as negligible when its magnitude is at most this share of
// the diagonal entry its variable had in the matrix. Measured on plates of
// cubic triangles: without supports the smallest ratio is 3e-15 for one
// element and 1.6e-12 for 100,000; supported, it stays above 1e-3 for plates
// and above 1e-7 for a strip 3,000 times longer than it is deep.
inline constexpr double kNegligiblePivotRatio = 1.0e-10;

// The diagonal of the entries (rows, cols, values), by variable 1..n at
// [1..n] ([0] unused): duplicates summed in entry order, entries out of range
// left out, as the factorization leaves them out.
LargeVector<double> entry_diagonal(int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
                                   View1<const double> values);

// Counts the negligible pivots of the factors left by MFFACT in real_space and
// int_space, against the diagonal of the matrix they came from
// (entry_diagonal). A stiffness matrix whose structure can move as a rigid
// body or as a mechanism (missing supports) is singular, but round-off leaves
// its last pivots tiny rather than zero, and the threshold test accepts them;
// this finds them. smallest_ratio, when given, receives the smallest |pivot| /
// |diagonal| seen.
std::int64_t count_negligible_pivots(std::span<const double> diagonal, View1<const double> real_space,
                                     View1<const int> int_space, double* smallest_ratio = nullptr);

// The variables 1..n, ascending, that the factors leave without a usable
// pivot: those with a negligible pivot (as counted above) and, after a
// factorization that fell short of N pivots, those it could not pivot at all.
// For a stiffness matrix these are the equations along which the structure
// can move freely.
std::vector<int> unpivoted_variables(int n, std::span<const double> diagonal, View1<const double> real_space,
                                     View1<const int> int_space);

}  // namespace quorix
