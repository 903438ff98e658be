#pragma once
// Solver internals shared by the factorization, the solution phase, the
// driver and their tests. The public phases are in solver_interface.hpp.

#include <algorithm>
#include <cstdint>
#include <functional>

#include "solver/solver_interface.hpp"
#include "solver/solver_listings.hpp"

namespace quorix {

// Up to this many consecutive 1x1 pivots of a front are held back and their
// updates of the rows below applied together in one sweep. Every entry still
// receives the same updates, in the same order, with the same operands, so the
// factors do not depend on the width: 1 gives the pivot-by-pivot elimination.
inline constexpr int max_panel_pivots = 64;
inline constexpr int default_panel_pivots = 64;

// MFFACT with a chosen panel width (1 .. max_panel_pivots); MFFACT itself
// uses default_panel_pivots. Arguments as for MFFACT.
void factorize_with_panel(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                          View1<const int> cols, View1<double> real_space, std::int64_t la,
                          View1<int> int_space, std::int64_t liw, View1<const int> iplan, int nnodes,
                          int& mfront, View1<int> tree_work, int& iflag, int panel_pivots);

// What the driver knows beyond MFFACT's arguments.
struct FactorOptions {
  int panel_pivots = default_panel_pivots;
  // The NZ values, read from here rather than from real_space(1..NZ) when
  // the rows fit above them (LA >= 2 NZ + N is enough); empty: real_space.
  View1<const double> values;
  // The front order of each node as MFANAL forecast it (NNODES entries).
  // With it, independent subtrees of the assembly tree may be factorized on
  // the threads of the pool; empty: one front after the other.
  View1<const int> planned_fronts;
  // The threads to work on (none: the calling thread alone), and how the
  // work is shared among them.
  TaskPool* pool = nullptr;
  SolverTuning tuning;
  // Give the pages of the input rows back to the system as they are
  // assembled: less memory held, but storage used again for another
  // factorization has them given anew.
  bool release_input = false;
  // Called once the input rows are sorted, when set: the caller's rows, cols
  // and values are read no more, and their pages may go to the pool, from
  // which real_space words fresh_from .. fresh_end - 1 (from 0, never
  // touched yet) then take them. A factorization that would have to sort the
  // input again stops with IFLAG = kInputGone, without a message.
  std::function<void()> input_sorted;
  std::int64_t fresh_from = 0, fresh_end = 0;
  // Report the entries the sort ignores (out of range): off for a
  // factorization of input already reported.
  bool report_ignored = true;
};

// IFLAG of a factorization that needed the input again after input_sorted
// (to fall back to one front after the other; the solver driver also returns
// the second, after a factorization short of storage, whose retry would
// report the ignored entries again).
inline constexpr int kInputGone = -100;
inline constexpr int kInputGoneShort = -101;

// MFFACT with options; the same factors, statistics and messages.
void factorize(Solver& solver, int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
               View1<double> real_space, std::int64_t la, View1<int> int_space, std::int64_t liw,
               View1<const int> iplan, int nnodes, int& mfront, View1<int> tree_work, int& iflag,
               const FactorOptions& options);

// ---- The factors' layout ---------------------------------------------------
// int_space(1) is the block count (negated when a 2 x 2 pivot was used). Each
// block is a header, (front_order, pivots) or (-front_order) for one pivot,
// then its front_order variables, the first of each 2 x 2 pair negated. In
// real_space the blocks' pivot rows follow one another from word 1, row r of a
// block holding a(r, r .. front_order).

// Words before row i of a packed upper triangle (or block) of order n.
inline std::int64_t row_offset(std::int64_t i, std::int64_t n) { return (i - 1) * (2 * n - i + 2) / 2; }

struct FactorBlock {
  int front_order;
  int pivots;
  std::int64_t list;  // int_space word of the block's first variable
};

// The block whose header word is int_space(pos).
inline FactorBlock read_factor_block(View1<const int> int_space, std::int64_t pos) {
  const int first = int_space(pos);
  if (first < 0) return {-first, 1, pos + 1};
  return {first, int_space(pos + 1), pos + 2};
}

// Reals held by a block's pivot rows.
inline std::int64_t factor_block_reals(const FactorBlock& block) {
  return row_offset(block.pivots + 1, block.front_order);
}

// Multiply-add pairs of eliminating p pivots from a front of order f, as the
// analysis's forecast counts them.
inline double front_operations(double f, double p) {
  return (p * (f * (f + 1) - (p + 1) * (2 * f + 1) / 2) + p * (p + 1) * (2 * p + 1) / 6) / 2;
}

// Words of a packed upper triangle of order n: a front, or a remainder on
// the stack.
inline std::int64_t triangle_words(std::int64_t n) { return n * (n + 1) / 2; }

// Reals of the pivot rows of a front of order f with p pivots.
inline std::int64_t pivot_row_words(std::int64_t f, std::int64_t p) { return row_offset(p + 1, f); }

// Integers of the block record of a front of order f with p pivots: none
// without a pivot, the header word and the list for one, two header words
// and the list for more.
inline std::int64_t block_ints(std::int64_t f, std::int64_t p) { return p == 0 ? 0 : p == 1 ? f + 1 : f + 2; }

// Integers of a remainder of order r on the stack: its length word and list.
inline std::int64_t remainder_ints(std::int64_t r) { return r + 1; }

// Whether the block header and index list of a front of order f, from
// integer word next_int, end below the stack bottom.
inline bool front_list_fits(std::int64_t next_int, std::int64_t f, std::int64_t stack_bottom) {
  return stack_bottom > next_int + f + 1;
}

// Whether a front of order f, from real word next_real, fits below the stack:
// it may reach into the topmost son triangle (top_son_words words, 1 without
// a son; assembled first) short of its last word, while the rows of its
// `delayed` delayed pivots end below the stack bottom.
inline bool front_fits(std::int64_t next_real, std::int64_t f, std::int64_t delayed,
                       std::int64_t stack_bottom, std::int64_t top_son_words) {
  return next_real + pivot_row_words(f, delayed) <= stack_bottom &&
         next_real + triangle_words(f) - 1 <= stack_bottom + top_son_words - 2;
}

// The pivot threshold U as the factorization uses it, within -0.5 .. 0.5.
inline double clamped_threshold(const SolverControls& controls) {
  return std::max(std::min(controls.U, 0.5), -0.5);
}

}  // namespace quorix
