#include "ordering/nested_dissection.hpp"

#include <metis.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <limits>
#include <queue>
#include <stdexcept>
#include <string>
#include <vector>

#include "solver/elimination_tree.hpp"
#include "sparse/large_memory.hpp"

namespace quorix {

namespace {

// Items sorted into groups, counted first and then placed: for_each_item(put)
// calls put(group, item) for every item, in the same order both times, and
// group g comes out as items[start[g] .. start[g + 1] - 1] in that order.
template <typename T, typename ForEachItem>
void group_items(std::size_t groups, ForEachItem for_each_item, LargeVector<std::int64_t>& start,
                 LargeVector<T>& items) {
  start.assign(groups + 1, 0);
  for_each_item([&](std::size_t g, T) { ++start[g + 1]; });
  for (std::size_t g = 1; g <= groups; ++g) start[g] += start[g - 1];
  items.resize(static_cast<std::size_t>(start[groups]));
  LargeVector<std::int64_t> next(start.begin(), start.end() - 1);
  for_each_item([&](std::size_t g, T item) { items[static_cast<std::size_t>(next[g]++)] = item; });
}

// The mesh of corners: two corners adjacent when they end one element edge,
// in METIS's compressed form: the neighbours of corner c (from 0) are
// adjacency[offsets[c] .. offsets[c + 1] - 1], ascending, each once.
struct CornerGraph {
  LargeVector<int> corner_of;  // by node number: its corner (from 0), -1 for other nodes
  LargeVector<int> node_of;    // by corner: its node number
  LargeVector<idx_t> offsets;
  LargeVector<idx_t> adjacency;
};

CornerGraph corner_graph(const Model& model) {
  CornerGraph graph;
  graph.corner_of.assign(static_cast<std::size_t>(model.nodes.size()) + 1, -1);
  for (const Element& element : model.elements)
    for (std::size_t a = 0; a < 3; ++a)
      if (int& corner = graph.corner_of[static_cast<std::size_t>(element.nodes[a])]; corner < 0) {
        corner = static_cast<int>(graph.node_of.size());
        graph.node_of.push_back(element.nodes[a]);
      }
  const std::size_t corners = graph.node_of.size();
  const auto corner = [&](const Element& element, std::size_t a) {
    return static_cast<std::size_t>(graph.corner_of[static_cast<std::size_t>(element.nodes[a])]);
  };
  // Each element gives each of its corners the other two; the lists are then
  // sorted and their repeats (from the neighbouring elements) dropped, each
  // list moved down over the repeats of those before it.
  LargeVector<std::int64_t> start;
  LargeVector<idx_t> lists;
  group_items(
      corners,
      [&](auto&& put) {
        for (const Element& element : model.elements)
          for (std::size_t a = 0; a < 3; ++a)
            for (std::size_t b = 0; b < 3; ++b)
              if (a != b) put(corner(element, a), static_cast<idx_t>(corner(element, b)));
      },
      start, lists);
  graph.offsets.assign(corners + 1, 0);
  auto kept = lists.begin();
  for (std::size_t c = 0; c < corners; ++c) {
    const auto first = lists.begin() + start[c];
    const auto last = lists.begin() + start[c + 1];
    std::sort(first, last);
    kept = std::copy(first, std::unique(first, last), kept);
    graph.offsets[c + 1] = static_cast<idx_t>(kept - lists.begin());
  }
  lists.erase(kept, lists.end());
  graph.adjacency = std::move(lists);
  return graph;
}

void check_metis(int status) {
  if (status != METIS_OK)
    throw std::runtime_error(status == METIS_ERROR_MEMORY
                                 ? "METIS ran out of memory ordering the mesh"
                                 : "METIS could not order the mesh (status " + std::to_string(status) + ")");
}

// The corners by nested dissection: place[c] the position (from 0) of corner
// c. METIS finds every separator, and the pieces are cut again until they
// have at most two corners. (METIS's own nested dissection of the whole
// graph leaves its smallest pieces to a minimum-degree order, which sees the
// corners but not the edge nodes between them: about 3 % more factor entries
// on plates.) A piece comes out as its first part, its second part, then its
// separator; a piece that METIS does not cut (a clique, say) is ordered by
// METIS's nested dissection. The pieces wait on a stack, not in a recursion,
// and each is moved in place into its parts.
LargeVector<idx_t> dissect(const CornerGraph& graph) {
  constexpr std::size_t kLeafCorners = 2;
  const std::size_t corners = graph.node_of.size();
  LargeVector<idx_t> place(corners, 0);
  LargeVector<int> piece_corners(corners, 0);  // the pieces not yet cut, side by side
  for (std::size_t c = 0; c < corners; ++c) piece_corners[c] = static_cast<int>(c);
  LargeVector<idx_t> local(corners, -1);  // a corner's number in the piece being cut
  LargeVector<idx_t> offsets, adjacency, part, order, inverse;
  LargeVector<int> moved;
  idx_t options[METIS_NOPTIONS];
  METIS_SetDefaultOptions(options);
  options[METIS_OPTION_NUMBERING] = 0;
  options[METIS_OPTION_SEED] = 1;  // the same order on every run

  struct Piece {
    std::size_t begin, end;  // piece_corners[begin .. end - 1], which take places begin .. end - 1
  };
  // The corners now at piece_corners[begin .. end - 1] take those places.
  const auto settle = [&](std::size_t begin, std::size_t end) {
    for (std::size_t k = begin; k < end; ++k)
      place[static_cast<std::size_t>(piece_corners[k])] = static_cast<idx_t>(k);
  };
  LargeVector<Piece> pieces{{0, corners}};
  while (!pieces.empty()) {
    const Piece piece = pieces.back();
    pieces.pop_back();
    const auto first = piece_corners.begin() + static_cast<std::ptrdiff_t>(piece.begin);
    const auto last = piece_corners.begin() + static_cast<std::ptrdiff_t>(piece.end);
    const std::size_t size = piece.end - piece.begin;
    if (size <= kLeafCorners) {
      settle(piece.begin, piece.end);
      continue;
    }
    // The piece's own graph, its corners numbered in their order in the piece.
    for (std::size_t k = 0; k < size; ++k)
      local[first[static_cast<std::ptrdiff_t>(k)]] = static_cast<idx_t>(k);
    offsets.assign(1, 0);
    adjacency.clear();
    for (auto c = first; c != last; ++c) {
      for (idx_t k = graph.offsets[*c]; k < graph.offsets[*c + 1]; ++k)
        if (const idx_t neighbour = local[graph.adjacency[k]]; neighbour >= 0) adjacency.push_back(neighbour);
      offsets.push_back(static_cast<idx_t>(adjacency.size()));
    }
    idx_t count = static_cast<idx_t>(size);
    idx_t separator = 0;
    part.resize(size);
    check_metis(METIS_ComputeVertexSeparator(&count, offsets.data(), adjacency.data(), nullptr, options,
                                             &separator, part.data()));
    std::array<std::size_t, 3> in_part{};
    for (const idx_t p : part) ++in_part[static_cast<std::size_t>(p)];
    if (in_part[0] == 0 || in_part[1] == 0) {
      order.resize(size);
      inverse.resize(size);
      check_metis(METIS_NodeND(&count, offsets.data(), adjacency.data(), nullptr, options, order.data(),
                               inverse.data()));
      for (std::size_t k = 0; k < size; ++k)
        place[first[static_cast<std::ptrdiff_t>(k)]] = static_cast<idx_t>(piece.begin) + inverse[k];
    } else {
      // The two parts and then the separator, each in the piece's order.
      moved.resize(size);
      std::array<std::size_t, 3> next = {0, in_part[0], in_part[0] + in_part[1]};
      for (std::size_t k = 0; k < size; ++k)
        moved[next[static_cast<std::size_t>(part[k])]++] = first[static_cast<std::ptrdiff_t>(k)];
      std::copy(moved.begin(), moved.end(), first);
      settle(piece.begin + in_part[0] + in_part[1], piece.end);
      pieces.push_back({piece.begin + in_part[0], piece.begin + in_part[0] + in_part[1]});
      pieces.push_back({piece.begin, piece.begin + in_part[0]});
    }
    for (auto c = first; c != last; ++c) local[*c] = -1;
  }
  return place;
}

// Elements joined into sets (by size, halving paths).
struct ElementSets {
  LargeVector<int> parent;
  LargeVector<std::int64_t> size;

  explicit ElementSets(int count) : parent(static_cast<std::size_t>(count), 0), size(parent.size(), 1) {
    for (int e = 0; e < count; ++e) parent[static_cast<std::size_t>(e)] = e;
  }
  int find(int e) {
    while (parent[static_cast<std::size_t>(e)] != e) {
      int& up = parent[static_cast<std::size_t>(e)];
      up = parent[static_cast<std::size_t>(up)];
      e = up;
    }
    return e;
  }
  void join(int a, int b) {
    a = find(a);
    b = find(b);
    if (a == b) return;
    if (size[static_cast<std::size_t>(a)] < size[static_cast<std::size_t>(b)]) std::swap(a, b);
    parent[static_cast<std::size_t>(b)] = a;
    size[static_cast<std::size_t>(a)] += size[static_cast<std::size_t>(b)];
  }
};

// Orders the nodes that go before each corner (order[first[b] ..], in
// increasing number on entry, up to the corner or the bucket's end) so that
// eliminating them adds as little as it can to the fronts. Eliminating a
// node joins all its neighbours still to come; a node whose neighbours are
// only its own element's adds nothing the element has not. So the centres
// go first: nothing of their element has gone yet, their fronts are the
// element. Then the edge nodes, two to an edge. Each eliminated edge joins
// its two elements, each eliminated corner the elements around it; an edge
// costs the size of the sets its elements are in (one set counted once),
// and the cheapest goes next. Around a corner its edges then go every other
// one, each joining only its own two elements, where in turn each would
// join the elements of all the edges before it.
void order_within_buckets(const Model& model, const LargeVector<int>& key, const LargeVector<int>& corner_of,
                          const LargeVector<std::int64_t>& first, LargeVector<int>& order) {
  const auto is_corner = [&](int node) { return corner_of[static_cast<std::size_t>(node)] >= 0; };
  const std::size_t nodes = order.size();
  LargeVector<std::array<int, 2>> sides(nodes + 1, {-1, -1});  // an edge node's elements
  LargeVector<int> partner(nodes + 1, 0);                      // the other node of its edge
  LargeVector<char> centre(nodes + 1, 0);
  int index = 0;
  for (const Element& element : model.elements) {
    for (std::size_t a = 3; a < 9; ++a) {
      const auto node = static_cast<std::size_t>(element.nodes[a]);
      std::array<int, 2>& side = sides[node];
      if (side[0] < 0)
        side[0] = index;
      else if (side[1] < 0 && side[0] != index)
        side[1] = index;
      partner[node] = element.nodes[a % 2 == 1 ? a + 1 : a - 1];
    }
    centre[static_cast<std::size_t>(element.nodes[9])] = 1;
    ++index;
  }
  LargeVector<std::int64_t> star_start;  // the elements of corner c: star[star_start[c] ..]
  LargeVector<int> star;
  group_items(
      nodes + 1,
      [&](auto&& put) {
        int e = 0;
        for (const Element& element : model.elements) {
          for (std::size_t a = 0; a < 3; ++a) put(static_cast<std::size_t>(element.nodes[a]), e);
          ++e;
        }
      },
      star_start, star);

  ElementSets sets(index);
  const auto cost = [&](int node) {
    const std::array<int, 2>& side = sides[static_cast<std::size_t>(node)];
    if (side[0] < 0) return std::int64_t{0};
    const int a = sets.find(side[0]);
    const int b = side[1] >= 0 ? sets.find(side[1]) : a;
    return sets.size[static_cast<std::size_t>(a)] + (b != a ? sets.size[static_cast<std::size_t>(b)] : 0);
  };
  // The edge nodes waiting, cheapest and then least number first. A cost
  // only grows: one found to have grown goes back with its new cost.
  using Waiting = std::pair<std::int64_t, int>;
  std::priority_queue<Waiting, std::vector<Waiting>, std::greater<>> waiting;
  LargeVector<char> placed(nodes + 1, 0);
  for (std::size_t b = 0; b + 1 < first.size(); ++b) {
    const auto begin = order.begin() + first[b];
    const auto bucket_end = order.begin() + first[b + 1];
    const auto end = std::find_if(begin, bucket_end, is_corner);
    auto out = begin;
    const auto take = [&](int node) {
      *out++ = node;
      placed[static_cast<std::size_t>(node)] = 1;
    };
    for (auto it = begin; it != end; ++it)
      if (const int node = *it; !centre[static_cast<std::size_t>(node)]) waiting.push({cost(node), node});
    for (auto it = begin; it != end; ++it)  // the centres, moved down over the edge nodes already queued
      if (centre[static_cast<std::size_t>(*it)]) take(*it);
    while (!waiting.empty()) {
      const auto [was, node] = waiting.top();
      waiting.pop();
      if (placed[static_cast<std::size_t>(node)]) continue;
      if (const std::int64_t now = cost(node); now > was) {
        waiting.push({now, node});
        continue;
      }
      take(node);
      const int other = partner[static_cast<std::size_t>(node)];
      if (other > 0 && !placed[static_cast<std::size_t>(other)] && !is_corner(other) &&
          key[static_cast<std::size_t>(other)] == key[static_cast<std::size_t>(node)])
        take(other);
      if (const std::array<int, 2>& side = sides[static_cast<std::size_t>(node)];
          side[0] >= 0 && side[1] >= 0)
        sets.join(side[0], side[1]);
    }
    assert(out == end);
    if (end != bucket_end) {  // the corner
      const auto corner = static_cast<std::size_t>(*end);
      for (std::int64_t k = star_start[corner] + 1; k < star_start[corner + 1]; ++k)
        sets.join(star[static_cast<std::size_t>(star_start[corner])], star[static_cast<std::size_t>(k)]);
    }
  }
}

}  // namespace

// The separators METIS finds between the corners cut the whole mesh: an
// element's corners are adjacent to one another, so no element has corners
// on both sides of a separator, and each element's other nodes can go with
// the corners they lie between. An edge node goes just before the earlier of
// its edge's two corners, the centre node just before the earliest of the
// three: so it is eliminated inside the part of the mesh it belongs to, and
// an edge of a separator stays with the separator. Ordering the corners
// alone, a ninth of the nodes of a cubic mesh, takes a fraction of the time
// of ordering every node and gives fronts about as small.
//
// A node's prescribed equations keep their place beside its free ones: their
// couplings are zero but stay in the matrix's pattern, so eliminating them
// anywhere else only adds to the fronts they pass through.
std::vector<int> nested_dissection_order(const Model& model) {
  const int nodes = model.nodes.size();
  std::vector<int> position(2 * static_cast<std::size_t>(nodes), 0);
  if (nodes == 0) return position;
  const CornerGraph graph = corner_graph(model);
  const LargeVector<idx_t> place = dissect(graph);

  // Each node's key: the place of its corner, or of the earliest corner it
  // goes before; nodes in no element (left at kNone) come first.
  constexpr int kNone = std::numeric_limits<int>::max();
  constexpr int kFirst = -1;
  LargeVector<int> key(static_cast<std::size_t>(nodes) + 1, kNone);
  for (std::size_t c = 0; c < graph.node_of.size(); ++c)
    key[static_cast<std::size_t>(graph.node_of[c])] = static_cast<int>(place[c]);
  const auto is_corner = [&](int node) { return graph.corner_of[static_cast<std::size_t>(node)] >= 0; };
  for (const Element& element : model.elements) {
    const auto at = [&](std::size_t a) { return key[static_cast<std::size_t>(element.nodes[a])]; };
    const int edge_12 = std::min(at(0), at(1)), edge_23 = std::min(at(1), at(2)),
              edge_31 = std::min(at(2), at(0));
    const std::array<int, 7> earliest = {
        edge_12, edge_12, edge_23, edge_23, edge_31, edge_31, std::min(edge_12, at(2))};
    for (std::size_t a = 3; a < 10; ++a)
      if (!is_corner(element.nodes[a]))  // else a corner of another element (a mesh that does not conform)
        key[static_cast<std::size_t>(element.nodes[a])] = std::min(at(a), earliest[a - 3]);
  }
  for (int& k : key)
    if (k == kNone) k = kFirst;

  // Counted by bucket (key + 1): the nodes in no element first, then for
  // each corner place the nodes that go before its corner, and the corner in
  // the bucket's last slot.
  const std::size_t buckets = graph.node_of.size() + 1;
  LargeVector<std::int64_t> first(buckets + 1, 0);  // bucket b: first[b] .. first[b + 1] - 1
  for (int k = 1; k <= nodes; ++k)
    ++first[static_cast<std::size_t>(key[static_cast<std::size_t>(k)] + 1) + 1];
  for (std::size_t b = 1; b <= buckets; ++b) first[b] += first[b - 1];
  LargeVector<int> order(static_cast<std::size_t>(nodes), 0);
  LargeVector<std::int64_t> cursor(first.begin(), first.end() - 1);
  for (int k = 1; k <= nodes; ++k)
    if (!is_corner(k))
      order[static_cast<std::size_t>(
          cursor[static_cast<std::size_t>(key[static_cast<std::size_t>(k)] + 1)]++)] = k;
  for (std::size_t c = 0; c < graph.node_of.size(); ++c)
    order[static_cast<std::size_t>(first[static_cast<std::size_t>(place[c]) + 2] - 1)] = graph.node_of[c];
  order_within_buckets(model, key, graph.corner_of, first, order);
  int next = 0;
  for (const int node : order) {
    position[2 * static_cast<std::size_t>(node - 1)] = ++next;
    position[2 * static_cast<std::size_t>(node - 1) + 1] = ++next;
  }
  return position;
}

EliminationTree mesh_elimination_tree(const Model& model, const std::vector<int>& position) {
  const int nodes = model.nodes.size();
  const auto at = [](int k) { return static_cast<std::size_t>(k) - 1; };  // number k's place
  if (nodes == 0 || position.size() != 2 * static_cast<std::size_t>(nodes)) return {};
  // Node k's two equations hold positions 2r - 1 and 2r: r is the node's
  // place in the order of the nodes.
  const auto first_equation = [&](int k) {
    return position[2 * at(k)] < position[2 * at(k) + 1] ? 2 * k - 1 : 2 * k;
  };
  LargeVector<int> rank(static_cast<std::size_t>(nodes)), node_at(rank.size(), 0);
  for (int k = 1; k <= nodes; ++k) {
    const int low = std::min(position[2 * at(k)], position[2 * at(k) + 1]);
    const int high = std::max(position[2 * at(k)], position[2 * at(k) + 1]);
    if (low < 1 || high != low + 1 || low % 2 == 0 || high > 2 * nodes) return {};
    const int r = (low + 1) / 2;
    if (node_at[at(r)] != 0) return {};
    node_at[at(r)] = k;
    rank[at(k)] = r;
  }

  // The elements around each node: those of its entries' other variables.
  LargeVector<std::int64_t> star_start;
  LargeVector<int> star;
  group_items(
      rank.size(),
      [&](auto&& put) {
        for (int e = 1; e <= model.elements.size(); ++e)
          for (const int k : model.elements(e).nodes) put(at(k), e);
      },
      star_start, star);
  // visit(u) for each node u of an element around v that comes before v (or
  // after it), once for each such element.
  const auto neighbours = [&](bool earlier) {
    return [&, earlier](int v, auto&& visit) {
      const int r = rank[at(v)];
      for (std::int64_t q = star_start[at(v)]; q < star_start[at(v) + 1]; ++q)
        for (const int u : model.elements(star[static_cast<std::size_t>(q)]).nodes)
          if (earlier ? rank[at(u)] < r : rank[at(u)] > r) visit(u);
    };
  };
  LargeVector<int> parent(rank.size()), ancestor(rank.size()), count(rank.size());
  elimination_tree(nodes, View1<const int>(node_at), neighbours(true), View1<int>(parent),
                   View1<int>(ancestor));
  column_counts(nodes, View1<const int>(parent), neighbours(false), View1<int>(count));

  // Column x of a node's first equation holds its second equation and both
  // equations of every node below it in the node's column; the second
  // equation's column the same but for the first. A node in no element has
  // no entries: its equations are roots of their own.
  EliminationTree tree;
  tree.column_count.assign(2 * rank.size(), 1);
  tree.father.assign(2 * rank.size(), 0);
  for (int k = 1; k <= nodes; ++k) {
    if (star_start[at(k) + 1] == star_start[at(k)]) continue;  // in no element
    const int first = first_equation(k);
    const int second = 4 * k - 1 - first;  // 2k - 1 + 2k - first
    tree.father[at(first)] = second;
    tree.column_count[at(first)] = 2 * count[at(k)];
    tree.column_count[at(second)] = 2 * count[at(k)] - 1;
    if (const int father = parent[at(k)]; father != 0) tree.father[at(second)] = first_equation(father);
  }
  return tree;
}

}  // namespace quorix
