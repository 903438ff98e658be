#include "solver/elimination_tree.hpp"

#include <vector>

namespace quorix {

TreePostorder tree_postorder(int n, View1<const int> parent) {
  const auto at = [](int v) { return static_cast<std::size_t>(v); };
  TreePostorder walk;
  LargeVector<int> first_son(at(n) + 1, 0), brother(at(n) + 1, 0);
  walk.order.reserve(at(n));
  for (int v = n; v >= 1; --v) {
    if (parent(v) == 0) continue;
    brother[at(v)] = first_son[at(parent(v))];
    first_son[at(parent(v))] = v;
  }
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
        walk.order.push_back(v);
        path.pop_back();
      }
    }
  }
  walk.first.assign(at(n) + 1, -1);
  for (int k = 0; k < n; ++k)
    for (int v = walk.order[at(k)]; v != 0 && walk.first[at(v)] < 0; v = parent(v)) walk.first[at(v)] = k;
  return walk;
}

}  // namespace quorix
