#pragma once
// The elimination tree of a pivot order and the column counts of its factor
// L, from the pattern of a symmetric matrix split by the order into lists:
// the lower list of v holds the variables u of its entries (v, u) that come
// before v, the upper list those that come after (repeats allowed). The
// analysis of a supplied order builds the lists from the matrix's entries;
// the nested-dissection order builds them from the mesh, a node at a time.

#include <cstdint>

#include "sparse/one_based.hpp"

namespace quorix {

// parent(v): the first variable after v in the order whose row of L has an
// entry in column v, 0 for a root. variable_at(k) is the variable at
// position k; lower list v lies at lower(lower_start(v) .. lower_start(v +
// 1) - 1). ancestor: work, N.
void elimination_tree(int n, View1<const int> variable_at, View1<const int> lower,
                      View1<const std::int64_t> lower_start, View1<int> parent, View1<int> ancestor);

// count(v): the entries of column v of L, diagonal included, from the tree
// and the upper lists (list u at upper(upper_start(u) .. upper_start(u + 1)
// - 1)).
void column_counts(int n, View1<const int> parent, View1<const int> upper,
                   View1<const std::int64_t> upper_start, View1<int> count);

}  // namespace quorix
