#include "mesh/mesh_to_model.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

#include "element/element_shape.hpp"
#include "element/element_tables.hpp"
#include "model/input_error.hpp"
#include "model/input_reader.hpp"
#include "model/model_check.hpp"

namespace quorix {

namespace {

const char* dimension_name(int dimension) {
  static constexpr std::array<const char*, 4> kNames = {"point", "curve", "surface", "volume"};
  return kNames[static_cast<std::size_t>(std::clamp(dimension, 0, 3))];
}

// Coordinates off the plane z = 0 by more than this share of the mesh's size
// are not round-off.
constexpr double kRoundOff = 1.0e-10;

int element_dimension(const MeshElement& element) {
  return element.type == kGmshPoint ? 0 : element.type == kGmshCubicLine ? 1 : 2;
}

bool in_group(const std::vector<int>& physical, int tag) {
  return std::find(physical.begin(), physical.end(), tag) != physical.end();
}

// A physical group a condition names.
struct Group {
  int dimension = 0;
  int tag = 0;
  bool holds(const MeshElement& element) const {
    return element_dimension(element) == dimension && in_group(element.physical, tag);
  }
};

// Where a triangle edge lies: model element (1-based) and edge 1..3.
struct EdgePlace {
  int element = 0;
  int edge = 0;
  bool runs_with_line = false;  // the line's first node is the edge's start
};

// The length of a 4-node line, its nodes at s = -1, -1/3, 1/3, 1 in the order
// first, last, next to the first, next to the last (Gmsh's order), by the
// 4-point Gauss rule on |dx/ds|.
double line_length(const std::array<double, 4>& x, const std::array<double, 4>& y) {
  static constexpr std::array<double, 4> kS = {-1.0, 1.0, -1.0 / 3.0, 1.0 / 3.0};
  static constexpr std::array<double, 4> kGauss = {-0.8611363115940526, -0.3399810435848563,
                                                   0.3399810435848563, 0.8611363115940526};
  static constexpr std::array<double, 4> kWeight = {0.3478548451374538, 0.6521451548625461,
                                                    0.6521451548625461, 0.3478548451374538};
  double length = 0.0;
  for (std::size_t g = 0; g < 4; ++g) {
    double dx = 0.0;
    double dy = 0.0;
    for (std::size_t j = 0; j < 4; ++j) {
      // Derivative of the Lagrange polynomial of node j at the Gauss point.
      double derivative = 0.0;
      double denominator = 1.0;
      for (std::size_t m = 0; m < 4; ++m) {
        if (m == j) continue;
        denominator *= kS[j] - kS[m];
        double term = 1.0;
        for (std::size_t k = 0; k < 4; ++k)
          if (k != j && k != m) term *= kGauss[g] - kS[k];
        derivative += term;
      }
      dx += derivative / denominator * x[j];
      dy += derivative / denominator * y[j];
    }
    length += std::sqrt(dx * dx + dy * dy) * kWeight[g];
  }
  return length;
}

class Importer {
 public:
  Importer(const GmshMesh& mesh, const MeshConditions& conditions, const std::string& file_name)
      : mesh_(mesh), conditions_(conditions), file_name_(file_name) {}

  const std::vector<SupportGroup>& support_groups() const { return support_groups_; }

  Model run() {
    collect_triangles();
    number_nodes();
    make_elements();
    assign_materials();
    index_edges();
    make_supports();
    make_loads();
    make_forces();
    check_shapes();
    return std::move(model_);
  }

 private:
  [[noreturn]] void fail(const std::string& text) const { throw InputError(file_name_ + ": " + text); }
  [[noreturn]] void fail_at(const MeshElement& element, const std::string& text) const {
    throw InputError(place_prefix(file_name_, element.place) + text);
  }

  // quorix integrates each element at seven points inside it and wants the
  // nodes of each edge in order along it; a curved element folded over
  // itself is refused there, so it is refused here with the triangle's place
  // in the mesh.
  void check_shapes() const {
    const ElementTables tables = init_element_tables();
    for (int k = 1; k <= model_.elements.size(); ++k) {
      const ElementData element = gather_element(model_, model_.elements(k));
      const int point = first_nonpositive_jacobian_point(tables, element);
      const std::string edge_problem = point == 0 ? edge_order_problem(element) : std::string();
      if (point == 0 && edge_problem.empty()) continue;
      const MeshElement& triangle = mesh_.elements[triangles_[static_cast<std::size_t>(k - 1)]];
      const std::string problem =
          point != 0
              ? "expected triangle " + std::to_string(triangle.tag) +
                    " to keep a positive Jacobian determinant inside, found it not positive at area point " +
                    std::to_string(point)
              : "triangle " + std::to_string(triangle.tag) + ": " + edge_problem;
      fail_at(triangle,
              problem + ": the element is folded or collapsed; refine the mesh near curved boundaries");
    }
  }

  // The triangles in file order; a 2.2 file writes a triangle once per
  // physical group it belongs to, and those copies become one.
  void collect_triangles() {
    std::map<std::array<std::uint64_t, 10>, std::size_t> seen;
    for (std::size_t i = 0; i < mesh_.elements.size(); ++i) {
      const MeshElement& element = mesh_.elements[i];
      if (element.type != kGmshCubicTriangle) continue;
      const auto [at, added] = seen.emplace(element.nodes, triangles_.size());
      if (added) {
        triangles_.push_back(i);
        triangle_groups_.push_back(element.physical);
      } else {
        for (const int tag : element.physical)
          if (!in_group(triangle_groups_[at->second], tag)) triangle_groups_[at->second].push_back(tag);
      }
    }
    if (!triangles_.empty()) return;
    const auto has_groups_of = [&](int dimension) {
      return std::any_of(mesh_.names.begin(), mesh_.names.end(),
                         [&](const PhysicalName& name) { return name.dimension == dimension; });
    };
    if (!has_groups_of(2) && (has_groups_of(1) || has_groups_of(0)))
      fail(
          "expected cubic triangles (type 21), found none: the mesh has physical groups but no physical "
          "surface, and Gmsh then saves only the elements of physical groups; add a Physical Surface holding "
          "the plate to the .geo file and mesh again");
    fail("expected cubic triangles (type 21), found none: mesh the plate's surfaces with gmsh -2 -order 3");
  }

  // Nodes used by the triangles, numbered in the order of the node section.
  void number_nodes() {
    node_index_.reserve(mesh_.nodes.size());
    for (std::size_t i = 0; i < mesh_.nodes.size(); ++i)
      if (!node_index_.emplace(mesh_.nodes[i].tag, i).second)
        fail("expected each node tag once, found node " + std::to_string(mesh_.nodes[i].tag) + " twice");
    number_.assign(mesh_.nodes.size(), 0);
    for (const std::size_t t : triangles_) {
      const MeshElement& element = mesh_.elements[t];
      for (const std::uint64_t tag : element.nodes) {
        const auto found = node_index_.find(tag);
        if (found == node_index_.end())
          fail_at(element, "expected the nodes of triangle " + std::to_string(element.tag) +
                               " in the node section, found node " + std::to_string(tag) + " missing there");
        number_[found->second] = 1;
      }
    }
    int count = 0;
    for (std::size_t i = 0; i < mesh_.nodes.size(); ++i) {
      if (number_[i] == 0) continue;
      number_[i] = ++count;
    }
    model_.nodes = Table1<Node>(count);
    for (std::size_t i = 0; i < mesh_.nodes.size(); ++i)
      if (number_[i] > 0) {
        Node& node = model_.nodes(number_[i]);
        node.id = number_[i];
        node.x = mesh_.nodes[i].x;
        node.y = mesh_.nodes[i].y;
      }
    check_plane();
  }

  // The plate is drawn in x and y: a node off the plane z = 0 by more than
  // round-off would be projected onto it, and the plate would change shape.
  void check_plane() const {
    std::array<double, 3> low{}, high{};
    bool first = true;
    for (std::size_t i = 0; i < mesh_.nodes.size(); ++i) {
      if (number_[i] == 0) continue;
      const MeshNode& node = mesh_.nodes[i];
      const std::array<double, 3> at = {node.x, node.y, node.z};
      for (std::size_t d = 0; d < 3; ++d) {
        low[d] = first ? at[d] : std::min(low[d], at[d]);
        high[d] = first ? at[d] : std::max(high[d], at[d]);
      }
      first = false;
    }
    const double size = std::hypot(high[0] - low[0], high[1] - low[1], high[2] - low[2]);
    for (std::size_t i = 0; i < mesh_.nodes.size(); ++i) {
      const MeshNode& node = mesh_.nodes[i];
      if (number_[i] == 0 || !(std::abs(node.z) > kRoundOff * size)) continue;
      throw InputError(place_prefix(file_name_, node.place) + "expected node " + std::to_string(node.tag) +
                       " at z = 0, found it at " + point_for_message({node.x, node.y, node.z}) +
                       ": the mesh must lie in the plane z = 0 (draw the plate in x and y)");
    }
  }

  // The model number of a node tag, 0 when no triangle uses it.
  int node_number(std::uint64_t tag) const {
    const auto found = node_index_.find(tag);
    return found == node_index_.end() ? 0 : number_[found->second];
  }

  void make_elements() {
    model_.elements = Table1<Element>(static_cast<std::int64_t>(triangles_.size()));
    for (std::size_t k = 0; k < triangles_.size(); ++k) {
      const MeshElement& triangle = mesh_.elements[triangles_[k]];
      Element& element = model_.elements[k];
      element.id = static_cast<int>(k + 1);
      for (std::size_t a = 0; a < 10; ++a) element.nodes[a] = node_number(triangle.nodes[a]);
      const Node& c1 = model_.nodes(element.nodes[0]);
      const Node& c2 = model_.nodes(element.nodes[1]);
      const Node& c3 = model_.nodes(element.nodes[2]);
      const double twice_area = (c2.x - c1.x) * (c3.y - c1.y) - (c3.x - c1.x) * (c2.y - c1.y);
      if (!(twice_area != 0.0))
        fail_at(triangle, "expected triangle " + std::to_string(triangle.tag) +
                              " to have three corners not on one line, found them on one line");
      // Gmsh turns the triangles like their surface: a surface drawn
      // clockwise gives clockwise triangles. Swapping corners 2 and 3
      // reverses each edge, so each edge's two inner nodes swap too.
      if (twice_area < 0.0) {
        static constexpr std::array<std::size_t, 10> kReversed = {0, 2, 1, 8, 7, 6, 5, 4, 3, 9};
        const std::array<int, 10> nodes = element.nodes;
        for (std::size_t a = 0; a < 10; ++a) element.nodes[a] = nodes[kReversed[a]];
      }
    }
  }

  // ---- Groups

  // " ('name')" for a named group, or nothing.
  std::string group_label(const Group& group) const {
    for (const PhysicalName& entry : mesh_.names)
      if (entry.dimension == group.dimension && entry.tag == group.tag)
        return " (" + quoted_for_message(entry.name) + ")";
    return {};
  }

  // The groups named `name`, of a dimension in `dimensions`. A name made of
  // digits may also give a physical tag.
  std::vector<Group> find_groups(const std::string& option, const std::string& name,
                                 std::initializer_list<int> dimensions) const {
    std::vector<Group> named;
    for (const PhysicalName& entry : mesh_.names)
      if (entry.name == name) named.push_back({entry.dimension, entry.tag});
    if (named.empty() && !name.empty() &&
        std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      const int tag = name.size() < 10 ? std::stoi(name) : -1;
      for (const MeshElement& element : mesh_.elements)
        if (in_group(element.physical, tag)) {
          const Group group{element_dimension(element), tag};
          if (std::none_of(named.begin(), named.end(),
                           [&](const Group& g) { return g.dimension == group.dimension; }))
            named.push_back(group);
        }
    }
    if (named.empty()) {
      std::string list;
      for (const PhysicalName& entry : mesh_.names)
        list += (list.empty() ? "" : ", ") + quoted_for_message(entry.name) + " (" +
                dimension_name(entry.dimension) + ")";
      fail(option + ": expected the name of a physical group, found " + quoted_for_message(name) +
           (list.empty() ? "; the mesh has no named physical groups" : "; the groups are " + list));
    }
    std::vector<Group> groups;
    for (const Group& group : named)
      if (std::find(dimensions.begin(), dimensions.end(), group.dimension) != dimensions.end())
        groups.push_back(group);
    // Gmsh numbers (and may name) groups per dimension: a point group and a
    // curve group may share a number or a name. Which one was meant is not
    // for us to guess, unless only one of them can take the condition.
    if (std::any_of(groups.begin(), groups.end(),
                    [&](const Group& g) { return g.dimension != groups.front().dimension; })) {
      std::string list;
      for (const Group& group : groups)
        list += std::string(list.empty() ? "" : " and ") + "the " + dimension_name(group.dimension) +
                " group " + std::to_string(group.tag) + group_label(group);
      fail(option + ": expected one physical group, found " + quoted_for_message(name) + " naming " + list +
           ": give the groups names of their own in the .geo file and use those");
    }
    if (groups.empty()) {
      std::string wanted;
      for (const int d : dimensions) wanted += std::string(wanted.empty() ? "" : " or ") + dimension_name(d);
      fail(option + ": expected a " + wanted + " group, found " + quoted_for_message(name) + ", a " +
           dimension_name(named.front().dimension) + " group");
    }
    return groups;
  }

  // The points and lines of the groups, in file order; a group without any
  // is refused.
  std::vector<const MeshElement*> group_elements(const std::string& option, const std::string& name,
                                                 const std::vector<Group>& groups) const {
    std::vector<const MeshElement*> elements;
    for (const MeshElement& element : mesh_.elements)
      if (std::any_of(groups.begin(), groups.end(), [&](const Group& g) { return g.holds(element); }))
        elements.push_back(&element);
    if (elements.empty())
      fail(option + ": expected elements in group " + quoted_for_message(name) + ", found none in the mesh");
    return elements;
  }

  // ---- Materials and thicknesses

  // For each triangle, the position (1-based) of the one option that covers
  // it. An option without a group covers every triangle and must be alone.
  template <class Option>
  std::vector<int> cover(const std::vector<Option>& options, const char* what, const char* option_name,
                         const char* values) const {
    std::vector<int> chosen(triangles_.size(), 0);
    for (std::size_t o = 0; o < options.size(); ++o) {
      const Option& option = options[o];
      if (option.group.empty() && options.size() > 1)
        fail(option.option + ": expected one " + what +
             " for every surface, or one for each surface group, found " + std::to_string(options.size()) +
             " " + what + " options, this one without a group");
      std::vector<Group> groups;
      if (!option.group.empty()) groups = find_groups(option.option, option.group, {2});
      bool covers_any = false;
      for (std::size_t k = 0; k < triangles_.size(); ++k) {
        const bool covered =
            option.group.empty() || std::any_of(groups.begin(), groups.end(), [&](const Group& g) {
              return in_group(triangle_groups_[k], g.tag);
            });
        if (!covered) continue;
        covers_any = true;
        if (chosen[k] != 0)
          fail_at(mesh_.elements[triangles_[k]],
                  "expected one " + std::string(what) + " for triangle " +
                      std::to_string(mesh_.elements[triangles_[k]].tag) + ", found two: " +
                      options[static_cast<std::size_t>(chosen[k] - 1)].option + " and " + option.option);
        chosen[k] = static_cast<int>(o + 1);
      }
      if (!covers_any)
        fail(option.option + ": expected triangles in group " + quoted_for_message(option.group) +
             ", found none in the mesh");
    }
    for (std::size_t k = 0; k < triangles_.size(); ++k) {
      if (chosen[k] != 0) continue;
      std::string groups;
      std::string examples;
      for (const int tag : triangle_groups_[k])
        for (const PhysicalName& name : mesh_.names)
          if (name.dimension == 2 && name.tag == tag) {
            groups += (groups.empty() ? "" : " or ") + name.name;
            examples +=
                std::string(examples.empty() ? "" : " or ") + option_name + " " + name.name + "=" + values;
          }
      const MeshElement& triangle = mesh_.elements[triangles_[k]];
      if (groups.empty())
        fail_at(triangle, "expected a " + std::string(what) + " for triangle " +
                              std::to_string(triangle.tag) +
                              ", found none: it is in no named physical surface, so give " + option_name +
                              " " + values + " without a group for every surface");
      fail_at(triangle, "expected a " + std::string(what) + " for surface group " + groups +
                            ", found none: add " + examples);
    }
    return chosen;
  }

  void assign_materials() {
    const std::vector<int> material = cover(conditions_.materials, "material", "--material", "E,nu,weight");
    const std::vector<int> thickness = cover(conditions_.thicknesses, "thickness", "--thickness", "t");
    model_.materials = Table1<Material>(static_cast<std::int64_t>(conditions_.materials.size()));
    for (std::size_t m = 0; m < conditions_.materials.size(); ++m) {
      const SurfaceMaterial& option = conditions_.materials[m];
      model_.materials[m] = Material{static_cast<int>(m + 1), option.young_modulus, option.poisson_ratio,
                                     option.specific_weight};
    }
    model_.thicknesses = Table1<Thickness>(static_cast<std::int64_t>(conditions_.thicknesses.size()));
    for (std::size_t t = 0; t < conditions_.thicknesses.size(); ++t)
      model_.thicknesses[t] = Thickness{static_cast<int>(t + 1), conditions_.thicknesses[t].value};
    for (std::size_t k = 0; k < triangles_.size(); ++k) {
      model_.elements[k].material = material[k];
      model_.elements[k].thickness = thickness[k];
    }
  }

  // ---- Edges

  static std::uint64_t edge_key(int a, int b) {
    const auto lo = static_cast<std::uint64_t>(std::min(a, b));
    const auto hi = static_cast<std::uint64_t>(std::max(a, b));
    return lo << 32 | hi;
  }

  // Every triangle edge by its two corners.
  void index_edges() {
    edges_.reserve(3 * triangles_.size());
    for (int k = 1; k <= model_.elements.size(); ++k) {
      const Element& element = model_.elements(k);
      for (int e = 1; e <= 3; ++e) {
        const auto& local = kEdgeNodes[static_cast<std::size_t>(e - 1)];
        edges_.emplace(edge_key(element.nodes[static_cast<std::size_t>(local[0] - 1)],
                                element.nodes[static_cast<std::size_t>(local[3] - 1)]),
                       EdgePlace{k, e, false});
      }
    }
  }

  // The triangle edges a 4-node line lies on: edge nodes in edge order
  // (start, inner, inner, end) equal to the line's (a, m1, m2, b) or to its
  // reverse (b, m2, m1, a). Two for a line inside the plate.
  std::vector<EdgePlace> edges_of(const MeshElement& line) const {
    std::array<int, 4> n{};  // a, b, m1, m2
    for (std::size_t j = 0; j < 4; ++j) n[j] = node_number(line.nodes[j]);
    std::vector<EdgePlace> found;
    if (std::find(n.begin(), n.end(), 0) != n.end()) return found;
    const auto [first, last] = edges_.equal_range(edge_key(n[0], n[1]));
    for (auto it = first; it != last; ++it) {
      const Element& element = model_.elements(it->second.element);
      const auto& local = kEdgeNodes[static_cast<std::size_t>(it->second.edge - 1)];
      std::array<int, 4> edge{};
      for (std::size_t j = 0; j < 4; ++j) edge[j] = element.nodes[static_cast<std::size_t>(local[j] - 1)];
      if (edge == std::array<int, 4>{n[0], n[2], n[3], n[1]})
        found.push_back({it->second.element, it->second.edge, true});
      else if (edge == std::array<int, 4>{n[1], n[3], n[2], n[0]})
        found.push_back({it->second.element, it->second.edge, false});
    }
    return found;
  }

  [[noreturn]] void fail_off_edges(const std::string& option, const std::string& group,
                                   const MeshElement& line) const {
    fail_at(line, option + ": expected the lines of curve group " + quoted_for_message(group) +
                      " on triangle edges, found line " + std::to_string(line.tag) + " on none");
  }

  // ---- Supports, loads, forces

  // Two --fix options that give one node different values in one direction
  // are refused here, naming both options and the node.
  void make_supports() {
    std::vector<PrescribedDisplacement> records;
    std::unordered_map<int, std::size_t> first_option;  // equation -> support option
    for (std::size_t s = 0; s < conditions_.supports.size(); ++s) {
      const GroupSupport& support = conditions_.supports[s];
      const auto groups = find_groups(support.option, support.group, {0, 1});
      std::set<int> nodes;
      for (const MeshElement* element : group_elements(support.option, support.group, groups)) {
        if (element->type == kGmshCubicLine && edges_of(*element).empty())
          fail_off_edges(support.option, support.group, *element);
        for (int j = 0; j < element->node_count; ++j) {
          const int node = node_number(element->nodes[static_cast<std::size_t>(j)]);
          if (node == 0)
            fail_at(*element,
                    support.option + ": expected the points of group " + quoted_for_message(support.group) +
                        " on the triangles' nodes, found point " + std::to_string(element->tag) + " on none");
          nodes.insert(node);
        }
      }
      if (!nodes.empty())
        support_groups_.push_back({support.group, static_cast<int>(records.size()) + 1,
                                   static_cast<int>(records.size() + nodes.size())});
      for (const int node : nodes) {
        const PrescribedDisplacement record{static_cast<int>(records.size() + 1), node, support.direction,
                                            support.value};
        std::array<int, 2> equations{};
        for (int e = 0; e < prescribed_equations(record, equations); ++e) {
          const int equation = equations[static_cast<std::size_t>(e)];
          const auto [at, added] = first_option.try_emplace(equation, s);
          const GroupSupport& first = conditions_.supports[at->second];
          if (added || first.value == support.value) continue;
          const Node& place = model_.nodes(node);
          fail(support.option + ": expected one value for node " + std::to_string(node) + " at " +
               point_for_message({place.x, place.y}) + " in " + (equation % 2 == 1 ? "X" : "Y") + ", found " +
               number_for_message(first.value) + " from " + first.option + " and " +
               number_for_message(support.value) + " from " + support.option);
        }
        records.push_back(record);
      }
    }
    model_.prescribed_displacements = to_table(records);
  }

  // Where each line's first and last nodes are along its curve, as fractions
  // of the curve's length from its first point. The lines of one curve run
  // one after the other in the curve's direction.
  std::vector<std::pair<double, double>> positions_along_curves(
      const std::string& option, const std::vector<const MeshElement*>& lines) const {
    std::map<int, std::vector<std::size_t>> by_curve;
    for (std::size_t i = 0; i < lines.size(); ++i) by_curve[lines[i]->entity].push_back(i);
    std::vector<std::pair<double, double>> positions(lines.size());
    for (const auto& [curve, members] : by_curve) {
      std::unordered_map<std::uint64_t, std::size_t> from;  // first node -> line
      std::set<std::uint64_t> last_nodes;
      for (const std::size_t i : members) {
        from.emplace(lines[i]->nodes[0], i);
        last_nodes.insert(lines[i]->nodes[1]);
      }
      std::vector<std::size_t> chain;
      for (const std::size_t i : members)
        if (!last_nodes.contains(lines[i]->nodes[0])) {
          for (auto at = from.find(lines[i]->nodes[0]); at != from.end() && chain.size() < members.size();
               at = from.find(lines[at->second]->nodes[1]))
            chain.push_back(at->second);
          break;
        }
      if (chain.size() != members.size())
        fail_at(*lines[members.front()],
                option + ": expected curve " + std::to_string(curve) +
                    " to run from one end to the other, to spread the values along it, found it closed or in "
                    "pieces; give one value for q1 and q2 there");
      std::vector<double> lengths;
      double total = 0.0;
      for (const std::size_t i : chain) {
        std::array<double, 4> x{};
        std::array<double, 4> y{};
        for (std::size_t j = 0; j < 4; ++j) {
          const MeshNode& node = mesh_.nodes[node_index_.at(lines[i]->nodes[j])];
          x[j] = node.x;
          y[j] = node.y;
        }
        lengths.push_back(line_length(x, y));
        total += lengths.back();
      }
      double walked = 0.0;
      for (std::size_t c = 0; c < chain.size(); ++c) {
        const double start = walked;
        walked += lengths[c];
        // The last line ends exactly at the curve's end.
        positions[chain[c]] = {start / total, c + 1 == chain.size() ? 1.0 : walked / total};
      }
    }
    return positions;
  }

  void make_loads() {
    std::vector<EdgePressure> records;
    for (const CurveLoad& load : conditions_.loads) {
      const auto groups = find_groups(load.option, load.group, {1});
      const auto lines = group_elements(load.option, load.group, groups);
      const bool varies = load.q1_start != load.q1_end || load.q2_start != load.q2_end;
      const auto positions = varies ? positions_along_curves(load.option, lines)
                                    : std::vector<std::pair<double, double>>(lines.size(), {0.0, 0.0});
      std::set<std::pair<int, int>> loaded;  // (element, edge)
      for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::vector<EdgePlace> edges = edges_of(*lines[i]);
        if (edges.empty()) fail_off_edges(load.option, load.group, *lines[i]);
        if (edges.size() > 1)
          fail_at(*lines[i], load.option + ": expected the lines of curve group " +
                                 quoted_for_message(load.group) + " on the plate's boundary, found line " +
                                 std::to_string(lines[i]->tag) + " between two triangles");
        const EdgePlace& edge = edges.front();
        if (!loaded.insert({edge.element, edge.edge}).second) continue;
        const auto at = [](double start, double end, double t) { return start + (end - start) * t; };
        const auto [t_first, t_last] = positions[i];
        EdgePressure record;
        record.id = static_cast<int>(records.size() + 1);
        record.element = edge.element;
        record.edge = edge.edge;
        record.system = load.system;
        // Values at the line's first and last nodes, swapped when the line
        // runs against the edge.
        const double t_start = edge.runs_with_line ? t_first : t_last;
        const double t_end = edge.runs_with_line ? t_last : t_first;
        record.q1_start = at(load.q1_start, load.q1_end, t_start);
        record.q1_end = at(load.q1_start, load.q1_end, t_end);
        record.q2_start = at(load.q2_start, load.q2_end, t_start);
        record.q2_end = at(load.q2_start, load.q2_end, t_end);
        records.push_back(record);
      }
    }
    model_.pressures = to_table(records);
  }

  void make_forces() {
    std::vector<NodalForce> records;
    for (const PointForce& force : conditions_.forces) {
      const auto groups = find_groups(force.option, force.group, {0});
      std::set<int> nodes;
      for (const MeshElement* point : group_elements(force.option, force.group, groups)) {
        const int node = node_number(point->nodes[0]);
        if (node == 0)
          fail_at(*point, force.option + ": expected the points of group " + quoted_for_message(force.group) +
                              " on the triangles' nodes, found point " + std::to_string(point->tag) +
                              " on none");
        nodes.insert(node);
      }
      for (const int node : nodes)
        records.push_back({static_cast<int>(records.size() + 1), node, force.fx, force.fy});
    }
    model_.forces = to_table(records);
  }

  template <class T>
  static Table1<T> to_table(const std::vector<T>& records) {
    Table1<T> table(static_cast<std::int64_t>(records.size()));
    std::copy(records.begin(), records.end(), table.begin());
    return table;
  }

  std::vector<SupportGroup> support_groups_;
  const GmshMesh& mesh_;
  const MeshConditions& conditions_;
  const std::string& file_name_;
  Model model_;
  std::vector<std::size_t> triangles_;             // index in mesh_.elements of model element k + 1
  std::vector<std::vector<int>> triangle_groups_;  // physical tags of each
  std::unordered_map<std::uint64_t, std::size_t> node_index_;  // tag -> index in mesh_.nodes
  std::vector<int> number_;                                    // model number of mesh_.nodes[i], or 0
  std::unordered_multimap<std::uint64_t, EdgePlace> edges_;
};

}  // namespace

Model mesh_to_model(const GmshMesh& mesh, const MeshConditions& conditions, const std::string& file_name,
                    std::vector<SupportGroup>* supports) {
  Importer importer(mesh, conditions, file_name);
  Model model = importer.run();
  if (supports != nullptr) *supports = importer.support_groups();
  return model;
}

}  // namespace quorix
