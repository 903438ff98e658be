#pragma once
// One front of the factorization, from its variables to its remainder: the
// steps every front takes, whether the one-thread loop works it in the
// shared storage or a subtree task in storage of its own. Where the front,
// the son remainders and the block's reals are held is the Storage's part:
//
//   template <class Visit> void for_each_son_variable(int sons, Visit&& visit) const
//       each variable of the top `sons` remainders, topmost first
//   bool accept_front(int node, int front_order, int delayed)
//       the front's order is known; false stops (the forecast is off)
//   bool make_list_room(int front_order, int& iflag)
//       the block header and index list fit from cursor.next_int
//   double* place_front(int node, int sons, int front_order, int delayed, int& iflag)
//       the front's first word, cleared, or nullptr after an error
//   void assemble_sons(const Front& a, int sons, int delayed, View1<int> position)
//       adds the top `sons` remainders into the front and pops them
//   void input_assembled()
//       the cursor has moved past the front's input rows
//   bool pivots_as_planned(int pivots, int planned)
//       the pivots are chosen; false stops (the forecast is off)
//   void keep_block(const Front& a, std::int64_t words)
//       the pivot rows stay as factors from cursor.next_real
//   bool push_remainder(int node, int remainder, const int* list, const double* triangle, int& iflag)
//       the remainder goes on the stack (or is left for the caller)
//
// The integers of the block (its header and index list) are always written
// in the shared int_space at the cursor, by this step.

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "solver/factorization_phase.hpp"
#include "solver/front_kernels.hpp"

namespace quorix {

// The storage the factorization works in, and the forecast per node.
struct FactorSpace {
  int n = 0, nnodes = 0;
  View1<double> real_space;
  std::int64_t la = 0;
  View1<int> int_space;
  std::int64_t liw = 0;
  std::int64_t total = 0;  // words of the input rows, at the top of both arrays
  View1<const int> iplan;
  View1<const int> fronts;  // forecast front orders
  double u = 0.1, tolerance = 0.0;
  int panel_pivots = default_panel_pivots;
  // The first word of the input rows in int_space and in real_space.
  std::int64_t int_input_base() const { return liw - total + 1; }
  std::int64_t real_input_base() const { return la - total + 1; }
};

// Where the factorization stands between fronts.
struct FrontCursor {
  std::int64_t next_int = 2;    // next factor integer (int_space(1) is the block count)
  std::int64_t next_real = 1;   // next factor real
  std::int64_t int_input = 0;   // int word of the next input row
  std::int64_t real_input = 0;  // real word of the next input row
  int consumed = 0;             // pivot positions whose input rows are assembled
};

// The pivot choice: by the threshold test when u > 0, else in definite mode,
// every fully summed row in turn, the signs followed from front to front.
struct PivotChoice {
  double u = 0.1;
  double tolerance = 0.0;
  PanelPivots* panel = nullptr;
  Solver* solver = nullptr;       // definite mode: where its messages and IERROR go
  std::int64_t pivots_taken = 0;  // in the fronts so far
  int expected_sign = 0;          // definite mode: the sign of the last pivot
};

// Definite mode: every fully summed row in turn, without interchanges. |d|
// at or below the tolerance is an error; a change of sign a warning (or an
// error when U < 0). Returns with iflag < 0 after an error.
PivotCounts eliminate_definite_pivots(const Front& a, int fully_summed, PivotChoice& choice, int& iflag);

// What one front did.
struct FrontOutcome {
  bool done = false;        // false: stopped (an error, or the forecast is off)
  bool eliminated = false;  // the pivots were chosen: counts holds them
  int front_order = 0;
  PivotCounts counts;
};

// A variable's front position while its front is built is 1 .. order, and 0
// otherwise. While the variables are collected it marks them:
inline constexpr int kNotInFront = 0;
inline constexpr int kCounted = -1;  // met once, counted in the front order
inline constexpr int kListed = -2;   // written into the front's index list

// The front of `node`, read from the shared integer space of `s` (factor
// blocks from word 1, the input rows at the top) and its input rows' reals:
// its variables are the stacked ones of its `sons` and
// those of its `planned` input rows; the stacked ones at pivot positions up
// to `consumed` are pivots delayed in the sons, and with the planned ones they
// are the fully summed rows, first in the front, which is ordered by pivot
// position. The block record: none without a pivot; -front_order and the list
// moved down a word for one; front_order, pivots for more.
template <class Storage>
FrontOutcome factorize_front(const FactorSpace& in, FrontCursor& at, View1<int> position, PivotChoice& choice,
                             Storage& storage, int node, int& iflag) {
  FrontOutcome out;
  const int planned = in.iplan(in.n + node);
  const int sons = in.iplan(2 * in.n + node);
  auto for_each_variable = [&](auto&& visit) {
    storage.for_each_son_variable(sons, [&](int v) { visit(v, true); });
    std::int64_t pos = at.int_input;
    for (int row = 0; row < planned; ++row) {
      assert(pos <= in.liw && in.int_space(pos) < 0);
      visit(-in.int_space(pos), false);
      for (++pos; pos <= in.liw && in.int_space(pos) > 0; ++pos) visit(in.int_space(pos), false);
    }
  };

  // ---- The front's order, and the pivots delayed in its sons.
  int front_order = 0;
  int delayed = 0;
  for_each_variable([&](int v, bool stacked) {
    if (position(v) != kNotInFront) return;
    position(v) = kCounted;
    ++front_order;
    if (stacked && in.iplan(v) <= at.consumed) ++delayed;
  });
  const int fully_summed = planned + delayed;
  out.front_order = front_order;
  const auto forget_positions = [&](const int* list) {
    for (int l = 0; l < front_order; ++l) position(list[l]) = kNotInFront;
  };

  // ---- The index list, in its block's place: list[l-1] is the variable at
  //      front position l. It starts one word in, so that with one pivot it
  //      is where the block keeps it, and it never reaches past the last word
  //      of a block with pivots: with subtrees side by side the next word may
  //      be the first of a block another thread is writing.
  int* const list = in.int_space.data() + at.next_int;
  const bool room =
      storage.accept_front(node, front_order, delayed) && storage.make_list_room(front_order, iflag);
  {
    int count = 0;
    for_each_variable([&](int v, bool) {
      if (position(v) != kCounted) return;
      position(v) = room ? kListed : kNotInFront;
      if (room) list[count++] = v;
    });
    if (!room) return out;
    assert(count == front_order);
    std::sort(list, list + front_order, [&](int x, int y) { return in.iplan(x) < in.iplan(y); });
    for (int l = 1; l <= front_order; ++l) position(list[l - 1]) = l;
  }

  // ---- The front, assembled: the son remainders, then the input rows.
  double* const first = storage.place_front(node, sons, front_order, delayed, iflag);
  if (first == nullptr) {
    forget_positions(list);
    return out;
  }
  const Front a{first, front_order};
  storage.assemble_sons(a, sons, delayed, position);
  assemble_input_rows(a, position, View1<const int>(in.int_space.data(), in.liw),
                      View1<const double>(in.real_space.data(), in.la), planned, at.int_input, at.real_input);
  at.consumed += planned;
  storage.input_assembled();
  forget_positions(list);
  assert(at.consumed <= in.n && fully_summed <= front_order);

  // ---- The pivots among the fully summed rows 1 .. fully_summed.
  if (choice.u <= 0.0) {
    out.counts = eliminate_definite_pivots(a, fully_summed, choice, iflag);
    if (iflag < 0) return out;
  } else {
    out.counts = eliminate_threshold_pivots(a, list, fully_summed, choice.u, choice.tolerance, *choice.panel);
  }
  const int pivots = out.counts.pivots;
  out.eliminated = true;
  choice.pivots_taken += pivots;
  if (!storage.pivots_as_planned(pivots, planned)) return out;

  // ---- The block: its record, and its pivot rows left as factors.
  std::int64_t remainder_list = at.next_int + 1 + pivots;  // int word of the first remainder variable
  if (pivots == 1) {
    in.int_space(at.next_int) = -front_order;
  } else if (pivots >= 2) {
    std::memmove(list + 1, list, static_cast<std::size_t>(front_order) * sizeof(int));
    in.int_space(at.next_int) = front_order;
    in.int_space(at.next_int + 1) = pivots;
    remainder_list = at.next_int + 2 + pivots;
  }
  at.next_int += block_ints(front_order, pivots);
  const std::int64_t block_words = pivot_row_words(front_order, pivots);
  storage.keep_block(a, block_words);
  at.next_real += block_words;

  // ---- The remainder, of order front_order - pivots.
  const int remainder = front_order - pivots;
  out.done =
      remainder == 0 || storage.push_remainder(node, remainder, in.int_space.data() + (remainder_list - 1),
                                               a.first + block_words, iflag);
  return out;
}

}  // namespace quorix
