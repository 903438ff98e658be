#pragma once
// The steps of the analysis phase MFANAL, exposed for their tests. Each takes
// the work arrays MFANAL carves out of int_space, IPLAN and tree_work; all
// views are 1-based and sized as stated. Positions into int_space are 64-bit.

#include <cstdint>

#include "solver/solver_interface.hpp"

namespace quorix {

// Where MFANAL leaves the front order of node k (k = 1..NNODES): the last N
// words of int_space, int_space(LIW - N + k).
inline View1<int> node_front_orders(View1<int> int_space, int n, std::int64_t liw) {
  return int_space.from(liw - n + 1);
}

// Builds the adjacency lists of the pattern (both triangles, no diagonal, no
// repeated pair) at the start of int_space: list i is a length word followed
// by its neighbours, larger indices first in the order their entries come,
// then smaller indices in increasing order. Entries with an index outside
// 1..N are reported (IFLAG 1, IERROR their count) and dropped.
//   rows, cols: in, NZ entries. int_space: out, LIW >= 2 NZ + N words.
//   list_start: out, N; start of each list, 0 for a variable without neighbours.
//   list_end: work, N. met: work, N.
// Returns the first free word after the lists.
std::int64_t build_adjacency(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                             View1<const int> cols, View1<int> int_space, View1<std::int64_t> list_start,
                             View1<std::int64_t> list_end, View1<int> met, int& iflag);

// Moves the live lists (those with list_start > 0) down to the start of
// int_space, in their present order, and the partly built element behind
// them: its length word goes at element_start (not written yet, and perhaps
// just beyond the space), its entries occupy element_start + 1 .. write_end - 1.
// Returns the element's new start. int_space: in/out, LIW. list_start: in/out, N.
std::int64_t compress_adjacency(int n, View1<int> int_space, View1<std::int64_t> list_start,
                                std::int64_t element_start, std::int64_t write_end);

// Minimum-degree ordering on the quotient graph whose lists build_adjacency
// left in int_space(1 .. free_position - 1). On return:
//   list_start(v) = 0 for a tree root, -f for a variable or element whose
//   father (or representative, for a variable merged into a supervariable or
//   into the dense root) is f;
//   size(v) = the front order of an eliminated supervariable, the number of
//   variables of the dense root for the root, 0 for a merged variable.
// int_space: work, LIW. list_start: in/out, N. size, flag, next, previous:
// work/out, N each. head: work, N (degree lists). Returns the number of
// compressions of int_space.
int minimum_degree_order(const SolverControls& controls, int n, View1<int> int_space, std::int64_t liw,
                         std::int64_t free_position, View1<std::int64_t> list_start, View1<int> size,
                         View1<int> flag, View1<int> next, View1<int> previous, View1<int> head);

// Numbers the variables by a depth-first walk of the tree given by father
// (0 for a root) and groups them into the nodes of the assembly tree. A
// variable with size 0 belongs to the node of its father; any other closes a
// node whose front order is its size.
//   father, size: in, N. push_order: in, N, or empty for 1, 2, ..., N: the
//   order in which variables enter their father's list of children (each
//   entering at the head, so the walk meets them in reverse).
//   first_child, next_sibling: work, N. positions: out, N (pivot position of
//   each variable). eliminated, sons, fronts: out, N (per node k: variables
//   eliminated, son remainders assembled, front order).
// Returns NNODES.
int build_assembly_tree(int n, View1<const int> father, View1<const int> size, View1<const int> push_order,
                        int min_node_pivots, View1<int> first_child, View1<int> next_sibling,
                        View1<int> positions, View1<int> eliminated, View1<int> sons, View1<int> fronts);

// Simulates the factorization over the nodes to forecast OPS, RTOTAL, ITOTAL,
// RNEEDS, INEEDS, RFACTS and IFACTS into info.
//   rows, cols: in, NZ entries. positions: in, N. eliminated, sons, fronts:
//   in, NNODES. charges: work, N. stack: work, NNODES.
void forecast_storage(SolverInfo& info, int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
                      View1<const int> positions, int nnodes, View1<const int> eliminated,
                      View1<const int> sons, View1<const int> fronts, View1<std::int64_t> charges,
                      View1<int> stack);

}  // namespace quorix
