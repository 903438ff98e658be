#pragma once
// The factorization's storage as the tree's forecast makes it, node by node:
// the factor blocks growing from the bottom of both arrays, the stack of son
// remainders above them. The analysis takes its storage forecast from this
// walk, the subtree plan the place of every front and block: the one-thread
// run meets it exactly when no pivot is delayed.

#include <algorithm>
#include <cstdint>
#include <optional>

#include "solver/factorization_phase.hpp"

namespace quorix {

// What the factors and the stack hold at one moment.
struct StorageState {
  std::int64_t factor_reals = 0;  // the blocks' pivot rows so far
  std::int64_t factor_ints = 1;   // the blocks' records so far, with the block count word
  std::int64_t stacked_reals = 0;
  std::int64_t stacked_ints = 0;
};

// Calls, for each node k = 1 .. nnodes in turn (f = fronts(k) variables, p =
// eliminated(k) of them pivots, sons(k) remainders to take from the stack):
//   visit.front(k, before, top_son_words, missing_sons): before the front is
//       assembled; top_son_words the reals of the topmost son's triangle,
//       which the front may reach into (0 without a son); missing_sons how
//       many of its sons the stack lacks (0 for a sound tree: the walk takes
//       those there are). False stops the walk.
//   visit.son(k, son): each son node popped, topmost first.
//   visit.after(k, after, pushed): the block written and the remainder
//       pushed when there is one (never at the last node). False stops.
// `stack` (NNODES words) holds the nodes whose remainders are stacked.
// Returns what the factors and the stack hold after the last node, or
// nothing when a visit stopped the walk.
template <class Visit>
std::optional<StorageState> walk_factor_storage(int nnodes, View1<const int> eliminated,
                                                View1<const int> sons, View1<const int> fronts,
                                                View1<int> stack, Visit&& visit) {
  StorageState state;
  int depth = 0;
  const auto remainder_of = [&](int node) -> std::int64_t { return fronts(node) - eliminated(node); };
  for (int k = 1; k <= nnodes; ++k) {
    const std::int64_t p = eliminated(k), f = fronts(k);
    const int s = sons(k);
    const std::int64_t top_son_words = s > 0 && depth > 0 ? triangle_words(remainder_of(stack(depth))) : 0;
    if (!visit.front(k, state, top_son_words, std::max(0, s - depth))) return std::nullopt;
    for (int t = 1; t <= s && depth > 0; ++t) {
      const int son = stack(depth--);
      const std::int64_t order = remainder_of(son);
      state.stacked_reals -= triangle_words(order);
      state.stacked_ints -= remainder_ints(order);
      visit.son(k, son);
    }
    state.factor_ints += block_ints(f, p);
    state.factor_reals += pivot_row_words(f, p);
    const bool pushed = k != nnodes && p != f;
    if (pushed) {
      stack(++depth) = k;
      state.stacked_reals += triangle_words(f - p);
      state.stacked_ints += remainder_ints(f - p);
    }
    if (!visit.after(k, state, pushed)) return std::nullopt;
  }
  return state;
}

}  // namespace quorix
