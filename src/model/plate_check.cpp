#include "model/plate_check.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <tuple>
#include <utility>

#include "model/model_check.hpp"
#include "sparse/large_memory.hpp"

namespace quorix {

namespace {

// Lengths below this share of the size they are measured against are
// round-off.
constexpr double kRoundOff = 1.0e-10;
// A turn is taken as held when the supports that resist it are spread over
// more than this share of the part's size.
constexpr double kHeldSpread = 1.0e-8;

// Nodes and lengths for messages, round-off of the part's size shown as 0
// (a node drawn on x = 0 may sit at x = 3e-15).
struct Places {
  const Model& model;
  double size;
  double shown(double value) const { return std::abs(value) <= kRoundOff * size ? 0.0 : value; }
  std::string number(double value) const { return short_number_for_message(shown(value)); }
  std::string point(double x, double y) const { return point_for_message({shown(x), shown(y)}); }
  // "node 5 at (0, 0)" and "node 5, (0, 0)"
  std::string node_at(int node) const { return "node " + std::to_string(node) + " at " + node_point(node); }
  std::string node_comma_at(int node) const {
    return "node " + std::to_string(node) + ", " + node_point(node);
  }
  std::string node_point(int node) const { return point(model.nodes(node).x, model.nodes(node).y); }
};

// The bounding box of some nodes.
struct Box {
  double x_low = 0.0, x_high = 0.0, y_low = 0.0, y_high = 0.0;
  bool empty = true;
  void add(double x, double y) {
    x_low = empty ? x : std::min(x_low, x);
    x_high = empty ? x : std::max(x_high, x);
    y_low = empty ? y : std::min(y_low, y);
    y_high = empty ? y : std::max(y_high, y);
    empty = false;
  }
  double diagonal() const { return empty ? 0.0 : std::hypot(x_high - x_low, y_high - y_low); }
};

// Parts of the mesh: nodes joined by elements, found by union with path
// halving.
class Parts {
 public:
  explicit Parts(const Model& model) : parent_(static_cast<std::size_t>(model.nodes.size()) + 1, 0) {
    std::iota(parent_.begin(), parent_.end(), 0);
    for (const Element& element : model.elements)
      for (const int node : element.nodes) join(element.nodes[0], node);
  }
  int root(int node) {
    auto n = static_cast<std::size_t>(node);
    while (parent_[n] != static_cast<int>(n)) {
      parent_[n] = parent_[static_cast<std::size_t>(parent_[n])];
      n = static_cast<std::size_t>(parent_[n]);
    }
    return static_cast<int>(n);
  }

 private:
  void join(int a, int b) {
    const int ra = root(a), rb = root(b);
    if (ra != rb) parent_[static_cast<std::size_t>(std::max(ra, rb))] = std::min(ra, rb);
  }
  LargeVector<int> parent_;
};

// What one part holds on to: its elements, its nodes' extent and the
// prescribed equations of its nodes.
struct Part {
  std::vector<std::pair<int, int>> element_ranges;  // first, last
  Box nodes;
  int lowest_x = 0, highest_x = 0, lowest_y = 0, highest_y = 0;  // nodes at the extremes
  Box x_rows;                                                    // nodes prescribed in X
  Box y_rows;                                                    // nodes prescribed in Y
  int first_support = 0;
  bool one_support = true;  // every prescribed equation at first_support

  void add_element(int element) {
    if (!element_ranges.empty() && element_ranges.back().second == element - 1)
      element_ranges.back().second = element;
    else
      element_ranges.emplace_back(element, element);
  }
  std::string elements_text() const {
    constexpr std::size_t kShown = 3;
    std::string text = element_ranges.size() == 1 && element_ranges[0].first == element_ranges[0].second
                           ? "element "
                           : "elements ";
    for (std::size_t r = 0; r < element_ranges.size() && r < kShown; ++r) {
      const auto [first, last] = element_ranges[r];
      if (r > 0) text += ", ";
      text += std::to_string(first);
      if (last > first) {
        text += '-';
        text += std::to_string(last);
      }
    }
    if (element_ranges.size() > kShown)
      text += " and " + std::to_string(element_ranges.size() - kShown) + " more ranges";
    return text;
  }
};

// The line for one part, or empty when it is held. The rigid motions at the
// prescribed equations are the columns (1, 0) at X rows, (0, 1) at Y rows,
// and the turn (-(y - yc), x - xc) / size. The translations are independent
// whenever both kinds of rows exist; what is left of the turn after taking
// out the translations is -(y - mean y) over the X rows and (x - mean x)
// over the Y rows, which vanishes exactly when the X rows lie on one line
// y = c and the Y rows on one line x = c': the plate then turns about (c',
// c).
std::string unheld_line(const Model& model, const Part& part, const std::string& subject) {
  const double size = part.nodes.diagonal();
  const Places places{model, size};
  const bool x_held = !part.x_rows.empty, y_held = !part.y_rows.empty;
  const bool x_rows_on_line = !x_held || part.x_rows.y_high - part.x_rows.y_low <= kHeldSpread * size;
  const bool y_rows_on_line = !y_held || part.y_rows.x_high - part.y_rows.x_low <= kHeldSpread * size;
  const bool turns = x_rows_on_line && y_rows_on_line;
  const std::string elements = part.elements_text();
  if (!x_held && !y_held)
    return "quorix: nothing holds " + subject + ": no node of " + elements +
           " is prescribed; add supports in X and Y (for example BOTH at " +
           places.node_comma_at(part.lowest_x) + ", and Y at " + places.node_comma_at(part.highest_x) + ")";
  if (!x_held || !y_held) {
    const char* axis = x_held ? "y" : "x";
    const char* direction = x_held ? "Y" : "X";
    std::string line = "quorix: nothing holds " + subject + " in " + axis;
    if (!turns)
      return line + ": no node of " + elements + " is prescribed in " + direction + "; add a support in " +
             direction + " (for example at " + places.node_comma_at(x_held ? part.lowest_y : part.lowest_x) +
             ")";
    // The supports there lie on one line across the free direction, or
    // at one node: the part can turn as well, and one more support would
    // still leave a turn free. Two, apart across that line, hold both.
    if (part.one_support)
      line += ", and it can turn about " + places.node_at(part.first_support) + ", its only support";
    else if (x_held)
      line += ", and it can turn about any point of the line y = " + places.number(part.x_rows.y_low) +
              ", where all its supports in X lie";
    else
      line += ", and it can turn about any point of the line x = " + places.number(part.y_rows.x_low) +
              ", where all its supports in Y lie";
    const int a = x_held ? part.lowest_x : part.lowest_y;
    const int b = x_held ? part.highest_x : part.highest_y;
    return line + ": no node of " + elements + " is prescribed in " + direction + "; add supports in " +
           direction + " at two nodes (for example at " + places.node_comma_at(a) + ", and " +
           places.node_comma_at(b) + ")";
  }
  if (!turns) return {};
  if (part.one_support)
    return "quorix: " + subject + " can turn about " + places.node_at(part.first_support) +
           ", its only support: add a support at another node";
  // The centre: where the line of the Y rows meets that of the X rows. The
  // node farthest from it moves most, in the direction named.
  const double cx = part.y_rows.x_low, cy = part.x_rows.y_low;
  int farthest = 0;
  double distance = -1.0;
  for (const int node : {part.lowest_x, part.highest_x, part.lowest_y, part.highest_y}) {
    const double d = std::hypot(model.nodes(node).x - cx, model.nodes(node).y - cy);
    if (d > distance) {
      distance = d;
      farthest = node;
    }
  }
  const bool across_y = std::abs(model.nodes(farthest).x - cx) >= std::abs(model.nodes(farthest).y - cy);
  return "quorix: " + subject + " can turn about " + places.point(cx, cy) +
         ": its supports in X all lie on the line y = " + places.number(cy) +
         " and those in Y on the line x = " + places.number(cx) +
         "; add a support off them (for example in " + (across_y ? "Y" : "X") + " at " +
         places.node_comma_at(farthest) + ")";
}

}  // namespace

std::vector<std::string> unheld_motions(const Model& model) {
  Parts parts(model);
  // The parts in the order of their first elements.
  LargeVector<int> part_of_root(static_cast<std::size_t>(model.nodes.size()) + 1, -1);
  std::vector<Part> found;
  for (int e = 1; e <= model.elements.size(); ++e) {
    int& index = part_of_root[static_cast<std::size_t>(parts.root(model.elements(e).nodes[0]))];
    if (index < 0) {
      index = static_cast<int>(found.size());
      found.emplace_back();
    }
    found[static_cast<std::size_t>(index)].add_element(e);
  }
  for (int k = 1; k <= model.nodes.size(); ++k) {
    const int index = part_of_root[static_cast<std::size_t>(parts.root(k))];
    if (index < 0) continue;  // in no element
    Part& part = found[static_cast<std::size_t>(index)];
    const Node& node = model.nodes(k);
    const bool first = part.nodes.empty;
    part.nodes.add(node.x, node.y);
    if (first || node.x < model.nodes(part.lowest_x).x) part.lowest_x = k;
    if (first || node.x > model.nodes(part.highest_x).x) part.highest_x = k;
    if (first || node.y < model.nodes(part.lowest_y).y) part.lowest_y = k;
    if (first || node.y > model.nodes(part.highest_y).y) part.highest_y = k;
  }
  for (const PrescribedDisplacement& record : model.prescribed_displacements) {
    const int index = part_of_root[static_cast<std::size_t>(parts.root(record.node))];
    if (index < 0) continue;
    Part& part = found[static_cast<std::size_t>(index)];
    const Node& node = model.nodes(record.node);
    std::array<int, 2> equations{};
    for (int e = 0; e < prescribed_equations(record, equations); ++e)
      (equations[static_cast<std::size_t>(e)] % 2 == 1 ? part.x_rows : part.y_rows).add(node.x, node.y);
    if (part.first_support == 0) part.first_support = record.node;
    part.one_support = part.one_support && part.first_support == record.node;
  }
  std::vector<std::string> lines;
  for (const Part& part : found)
    if (std::string line = unheld_line(model, part, found.size() == 1 ? "the plate" : "the part");
        !line.empty())
      lines.push_back(std::move(line));
  return lines;
}

std::vector<std::string> unjoined_nodes(const Model& model) {
  constexpr std::size_t kListed = 3;
  const int count = model.nodes.size();
  Box box;
  for (const Node& node : model.nodes) box.add(node.x, node.y);
  const double tolerance = kRoundOff * box.diagonal();
  if (!(tolerance > 0.0)) return {};

  // Nodes sorted by the cell of side `tolerance` they fall in: nodes at one
  // place lie in one cell or in neighbouring ones.
  struct Cell {
    std::int64_t i, j;
    int node;
    bool operator<(const Cell& other) const {
      return std::tie(i, j, node) < std::tie(other.i, other.j, other.node);
    }
  };
  LargeVector<Cell> cells(static_cast<std::size_t>(count), Cell{});
  for (int k = 1; k <= count; ++k)
    cells[static_cast<std::size_t>(k - 1)] = {
        static_cast<std::int64_t>(std::floor((model.nodes(k).x - box.x_low) / tolerance)),
        static_cast<std::int64_t>(std::floor((model.nodes(k).y - box.y_low) / tolerance)), k};
  std::sort(cells.begin(), cells.end());
  std::vector<std::pair<int, int>> pairs;
  for (const Cell& cell : cells)
    for (const std::int64_t i : {cell.i, cell.i + 1})
      for (auto at = std::lower_bound(cells.begin(), cells.end(), Cell{i, cell.j - 1, 0});
           at != cells.end() && at->i == i && at->j <= cell.j + 1; ++at) {
        // Each pair once: from the cell that sorts first, or from the
        // lower node within one cell.
        if (i == cell.i && (at->j < cell.j || (at->j == cell.j && at->node <= cell.node))) continue;
        const Node& a = model.nodes(cell.node);
        const Node& b = model.nodes(at->node);
        if (std::abs(a.x - b.x) > tolerance || std::abs(a.y - b.y) > tolerance) continue;
        pairs.emplace_back(std::min(cell.node, at->node), std::max(cell.node, at->node));
      }
  if (pairs.empty()) return {};
  std::sort(pairs.begin(), pairs.end());

  // The elements of the nodes in pairs, to tell joined ones apart.
  std::vector<std::vector<int>> elements_of(static_cast<std::size_t>(count) + 1);
  std::vector<bool> paired(static_cast<std::size_t>(count) + 1, false);
  for (const auto& [a, b] : pairs)
    paired[static_cast<std::size_t>(a)] = paired[static_cast<std::size_t>(b)] = true;
  for (int e = 1; e <= model.elements.size(); ++e)
    for (const int node : model.elements(e).nodes)
      if (paired[static_cast<std::size_t>(node)]) elements_of[static_cast<std::size_t>(node)].push_back(e);
  const Places places{model, box.diagonal()};
  std::vector<std::string> lines;
  std::size_t unjoined = 0;
  for (const auto& [a, b] : pairs) {
    const auto& ea = elements_of[static_cast<std::size_t>(a)];
    const auto& eb = elements_of[static_cast<std::size_t>(b)];
    if (std::find_first_of(ea.begin(), ea.end(), eb.begin(), eb.end()) != ea.end()) continue;
    if (++unjoined > kListed) continue;
    lines.push_back("quorix: nodes " + std::to_string(a) + " and " + std::to_string(b) + " are both at " +
                    places.node_point(a) +
                    " but no element joins them: the mesh is cut there (two meshes put together without "
                    "merging their nodes?)");
  }
  if (unjoined > kListed)
    lines.push_back("quorix: " + std::to_string(unjoined - kListed) +
                    " more pairs of nodes at one place that no element joins");
  return lines;
}

DisplacementSize displacement_size(const Model& model) {
  DisplacementSize size;
  Box box;
  for (const Node& node : model.nodes) {
    box.add(node.x, node.y);
    const double length = std::hypot(node.u, node.v);
    if (length > size.largest) {
      size.largest = length;
      size.node = node.id;
    }
  }
  size.model_size = box.diagonal();
  return size;
}

}  // namespace quorix
