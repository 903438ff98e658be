#include "solver/elimination_tree.hpp"

#include <cstddef>
#include <utility>
#include <vector>

#include "sparse/large_memory.hpp"

namespace quorix {

// Taking the rows in order, each entry (v, u) of the lower lists climbs from
// u to the root of its current subtree, which becomes a son of v; the climbed
// path is compressed to v (Liu, SIAM J. Matrix Anal. Appl. 11, 1990).
void elimination_tree(int n, View1<const int> variable_at, View1<const int> lower,
                      View1<const std::int64_t> lower_start, View1<int> parent, View1<int> ancestor) {
  for (int k = 1; k <= n; ++k) {
    const int v = variable_at(k);
    parent(v) = 0;
    ancestor(v) = 0;
    for (std::int64_t q = lower_start(v); q < lower_start(v + 1); ++q) {
      int r = lower(q);
      while (r != 0 && r != v) {
        const int up = ancestor(r);
        ancestor(r) = v;
        if (up == 0) parent(r) = v;
        r = up;
      }
    }
  }
}

// Row v of L has entries in the columns of its row subtree, the union of the
// tree paths from each u of v's lower list up to v, so the count of column u
// is the number of row subtrees that hold u. Each row subtree is given +1 at
// each of its leaves, -1 where two leaves next in postorder meet and -1 above
// its root; the sum over u's subtree is then the count of u (Gilbert, Ng and
// Peyton, SIAM J. Matrix Anal. Appl. 15, 1994). This takes the entries once
// instead of every entry of L.
void column_counts(int n, View1<const int> parent, View1<const int> upper,
                   View1<const std::int64_t> upper_start, View1<int> count) {
  const auto at = [](int v) { return static_cast<std::size_t>(v); };
  // A postorder of the tree: each node after its subtree.
  LargeVector<int> first_son(at(n) + 1, 0), brother(at(n) + 1, 0), postorder;
  postorder.reserve(at(n));
  for (int v = n; v >= 1; --v) {
    if (parent(v) == 0) continue;
    brother[at(v)] = first_son[at(parent(v))];
    first_son[at(parent(v))] = v;
  }
  {
    std::vector<int> path;
    for (int root = 1; root <= n; ++root) {
      if (parent(root) != 0) continue;
      path.push_back(root);
      while (!path.empty()) {
        const int v = path.back();
        if (const int son = first_son[at(v)]; son != 0) {
          first_son[at(v)] = brother[at(son)];  // taken
          path.push_back(son);
        } else {
          postorder.push_back(v);
          path.pop_back();
        }
      }
    }
  }
  // first[v]: the place in the postorder of the first node of v's subtree;
  // count(v) starts as the weight of v: 1 for a leaf.
  LargeVector<int> first(at(n) + 1, -1);
  for (int k = 0; k < n; ++k) {
    int v = postorder[at(k)];
    count(v) = first[at(v)] < 0 ? 1 : 0;
    for (; v != 0 && first[at(v)] < 0; v = parent(v)) first[at(v)] = k;
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
  for (const int u : postorder) {
    if (parent(u) != 0) --count(parent(u));
    for (std::int64_t q = upper_start(u); q < upper_start(u + 1); ++q) {
      const int v = upper(q);
      if (first[at(u)] <= last_first[at(v)]) continue;
      last_first[at(v)] = first[at(u)];
      ++count(u);
      if (const int previous = last_leaf[at(v)]; previous != 0) --count(find(previous));
      last_leaf[at(v)] = u;
    }
    if (parent(u) != 0) set_of[at(u)] = parent(u);
  }
  for (const int u : postorder)
    if (parent(u) != 0) count(parent(u)) += count(u);
}

}  // namespace quorix
