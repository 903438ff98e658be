#pragma once
// The dense work on one front of the factorization: adding son triangles in,
// choosing and eliminating pivots. The kernels keep no statistics of their
// own; they return what they did and the caller counts it.
//
// A front of order f is a packed upper triangle by rows: entry (i, j),
// i <= j, lies row_offset(i, f) + (j - i) words after its first word.

#include <cstdint>
#include <memory>
#include <vector>

#include "solver/factorization_phase.hpp"

namespace quorix {

class TaskPool;

// The current front: a(i, j) for 1 <= i <= j <= order.
struct Front {
  double* first;
  int order;
  double* row(int i) const { return first + row_offset(i, order); }  // row(i)[j - i] = a(i, j)
  double& at(int i, int j) const { return row(i)[j - i]; }
};

// 1x1 pivots taken at the consecutive front positions first .. first+count-1
// whose updates of the later rows are still to be made. Until then each
// pivot row keeps the values u it had when taken (the multipliers
// w(i) = -u(i)/d are written over them once the rows are updated) and d is
// kept here. Only the candidate row is brought up to date before its test.
// The work array of the panel's application is kept with it: the
// multipliers of the rows below the panel (as large as the largest front so
// far needs).
struct PanelPivots {
  explicit PanelPivots(int pivots_held = default_panel_pivots) : width(pivots_held) {}
  // Held as wide as `pivots_held`, large updates split over `threads` as
  // `tuning` says.
  PanelPivots(int pivots_held, TaskPool* threads, const SolverTuning& tuning)
      : width(pivots_held),
        pool(threads),
        min_split_work(tuning.panel_min_work),
        min_split_rows(tuning.panel_min_rows) {}
  int width;  // pivots held back at most, 1 .. max_panel_pivots
  int first = 1;
  int count = 0;
  double d[max_panel_pivots];
  std::vector<double> multipliers;
  TaskPool* pool = nullptr;  // splits large updates over its threads; none: this thread
  std::int64_t min_split_work = SolverTuning{}.panel_min_work;  // the least update split over the pool
  int min_split_rows = SolverTuning{}.panel_min_rows;           // the fewest rows of a piece of it
};

// Brings row j (after the panel) up to date: a(j, c) += w(k) * u(k, c) for
// c = j .. f, pivot by pivot, with w(k) = -u(k, j)/d(k). The pivot rows keep u.
void update_candidate_row(const Front& a, const PanelPivots& panel, int j);

// Applies the pending pivots of the panel to rows first_row .. f, writes
// their multipliers and 1/d, and empties the panel.
void apply_panel(const Front& a, PanelPivots& panel, int first_row);

// Interchanges front positions x < y: their rows and columns in the whole
// triangle (the pivot rows above included) and their index list entries.
void swap_positions(const Front& a, int* list, int x, int y);

// Eliminates the 2x2 pivot on rows r, r+1 (all rows up to date). Returns the
// number of negative eigenvalues of the pivot block.
int eliminate_pair(const Front& a, int r);

// What the pivot choice of one front did.
struct PivotCounts {
  int pivots = 0;      // pivots taken, at positions 1 .. pivots
  int two_by_two = 0;  // 2x2 pivots among them
  int negative = 0;    // negative eigenvalues of their D blocks
};

// The threshold pivot choice (u > 0) among the fully summed rows
// 1 .. fully_summed: passes over the candidates, each examined once a pass,
// until a pass takes none. Pivots are moved to the leading positions, the
// first index of each 2x2 pair negated in `list`; all their updates are made.
PivotCounts eliminate_threshold_pivots(const Front& a, int* list, int fully_summed, double u,
                                       double tolerance, PanelPivots& panel);

// Takes the 1x1 pivot d at position p + 1 into the panel; returns 1 when d is
// negative. Applies the panel when it is full.
int hold_one_by_one(const Front& a, PanelPivots& panel, int p, double d);

// Adds `planned` input rows into the front, the first at int_space(int_pos)
// and real_space(real_pos), and moves both positions past them: a(v,v) +=
// the row's diagonal, a(v,w) += the value of each entry (repeated entries
// add up). position(v) is the front position of variable v.
void assemble_input_rows(const Front& a, View1<const int> position, View1<const int> int_space,
                         View1<const double> real_space, int planned, std::int64_t& int_pos,
                         std::int64_t& real_pos);

// Adds rows first_row .. last_row of a son triangle of order `length` at
// `son` into the front, read from the last word down and cleared as read;
// local[t-1] is the front position of the son's variable t.
void add_son_rows(const Front& a, double* son, const int* local, int length, int first_row, int last_row);
// The same for all rows of a son whose words are not used again: they are
// left as they are.
void add_son_rows_keeping_son(const Front& a, const double* son, const int* local, int length);

}  // namespace quorix
