#pragma once
// The elimination tree of a pivot order and the column counts of its factor
// L, from the pattern of a symmetric matrix: for each variable, the other
// variables of its entries that come before it in the order, or after it
// (repeats allowed). The analysis of a supplied order finds them in lists it
// builds from the matrix's entries; the nested-dissection order in the
// elements around each node of the mesh.

#include <cstddef>
#include <cstdint>
#include <utility>

#include "sparse/large_memory.hpp"
#include "sparse/one_based.hpp"

namespace quorix {

// parent(v): the first variable after v in the order whose row of L has an
// entry in column v, 0 for a root. variable_at(k) is the variable at
// position k; for_each_earlier(v, visit) calls visit(u) for each variable u
// of an entry (v, u) that comes before v. ancestor: work, N.
//
// Taking the rows in order, each such u climbs to the root of its current
// subtree, which becomes a son of v; the climbed path is compressed to v
// (Liu, SIAM J. Matrix Anal. Appl. 11, 1990).
template <class ForEachEarlier>
void elimination_tree(int n, View1<const int> variable_at, ForEachEarlier&& for_each_earlier,
                      View1<int> parent, View1<int> ancestor) {
  for (int k = 1; k <= n; ++k) {
    const int v = variable_at(k);
    parent(v) = 0;
    ancestor(v) = 0;
    for_each_earlier(v, [&](int r) {
      while (r != 0 && r != v) {
        const int up = ancestor(r);
        ancestor(r) = v;
        if (up == 0) parent(r) = v;
        r = up;
      }
    });
  }
}

// A postorder of the tree given by parent (each node after its subtree), and
// for each node v (at [v]) the place in it of the first node of v's subtree.
struct TreePostorder {
  LargeVector<int> order, first;
};
TreePostorder tree_postorder(int n, View1<const int> parent);

// count(v): the entries of column v of L, diagonal included, from the tree
// and for_each_later(u, visit), which calls visit(v) for each variable v of
// an entry (v, u) that comes after u.
//
// Row v of L has entries in the columns of its row subtree, the union of the
// tree paths from each earlier u of its entries up to v, so the count of
// column u is the number of row subtrees that hold u. Each row subtree is
// given +1 at each of its leaves, -1 where two leaves next in postorder meet
// and -1 above its root; the sum over u's subtree is then the count of u
// (Gilbert, Ng and Peyton, SIAM J. Matrix Anal. Appl. 15, 1994). This takes
// the entries once instead of every entry of L.
template <class ForEachLater>
void column_counts(int n, View1<const int> parent, ForEachLater&& for_each_later, View1<int> count) {
  const auto at = [](int v) { return static_cast<std::size_t>(v); };
  const TreePostorder walk = tree_postorder(n, parent);
  const LargeVector<int>& first = walk.first;
  // count(v) starts as the weight of v: 1 for a leaf.
  for (int k = 0; k < n; ++k) {
    const int v = walk.order[at(k)];
    count(v) = first[at(v)] == k ? 1 : 0;
  }
  // In postorder: u's entry in row v makes u a leaf of v's row subtree when
  // no earlier entry of that row lies in u's subtree; the previous leaf and u
  // meet at the lowest ancestor of the previous leaf not yet passed (the sets
  // of passed nodes joined to their fathers, with path compression).
  LargeVector<int> last_first(at(n) + 1, -1), last_leaf(at(n) + 1, 0), set_of(at(n) + 1, 0);
  for (int v = 1; v <= n; ++v) set_of[at(v)] = v;
  const auto find = [&](int v) {
    int root = v;
    while (set_of[at(root)] != root) root = set_of[at(root)];
    while (set_of[at(v)] != root) v = std::exchange(set_of[at(v)], root);
    return root;
  };
  for (const int u : walk.order) {
    if (parent(u) != 0) --count(parent(u));
    for_each_later(u, [&](int v) {
      if (first[at(u)] <= last_first[at(v)]) return;
      last_first[at(v)] = first[at(u)];
      ++count(u);
      if (const int previous = last_leaf[at(v)]; previous != 0) --count(find(previous));
      last_leaf[at(v)] = u;
    });
    if (parent(u) != 0) set_of[at(u)] = parent(u);
  }
  for (const int u : walk.order)
    if (parent(u) != 0) count(parent(u)) += count(u);
}

}  // namespace quorix
