#include "model/model_check.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace quorix {

void ProblemList::add(int line, const std::string& text) {
  ++total_;
  if (total_ <= kMaxListedProblems) lines_.push_back(file_name_ + ":" + std::to_string(line) + ": " + text);
}

std::vector<std::string> ProblemList::lines() const {
  std::vector<std::string> all = lines_;
  if (total_ > kMaxListedProblems)
    all.push_back(file_name_ + ": " + std::to_string(total_ - kMaxListedProblems) +
                  " more problems not listed");
  return all;
}

int record_line(const std::vector<int>& lines, int number) {
  return number >= 1 && static_cast<std::size_t>(number) <= lines.size()
             ? lines[static_cast<std::size_t>(number - 1)]
             : 0;
}

std::string number_for_message(double value) {
  std::array<char, 32> chars{};
  const auto result = std::to_chars(chars.data(), chars.data() + chars.size(), value);
  return std::string(chars.data(), result.ptr);
}

std::string short_number_for_message(double value) {
  std::array<char, 32> chars{};
  std::snprintf(chars.data(), chars.size(), "%.6g", value == 0.0 ? 0.0 : value);  // no "-0"
  return chars.data();
}

std::string percent_for_message(double share) {
  std::array<char, 40> text{};
  std::snprintf(text.data(), text.size(), share >= 0.1 ? "%.0f %%" : "%.2g %%", 100.0 * share);
  return text.data();
}

std::string point_for_message(std::initializer_list<double> coordinates) {
  std::string text = "(";
  for (const double value : coordinates) {
    if (text.size() > 1) text += ", ";
    text += short_number_for_message(value);
  }
  return text + ")";
}

std::string poisson_ratio_expectation(double nu, bool plane_strain) {
  // Plane strain divides by 1 - 2 nu, plane stress by 1 - nu^2; both by 1 + nu.
  if (nu > -1.0 && nu < (plane_strain ? 0.5 : 1.0)) return {};
  return plane_strain ? "Poisson's ratio above -1 and below 0.5 for plane strain"
                      : "Poisson's ratio above -1 and below 1 for plane stress";
}

namespace {

// The problems of one record: "expected <what> of SECTION record K, found <value>".
class RecordProblems {
 public:
  RecordProblems(ProblemList& problems, const char* section, const std::vector<int>& lines, int number)
      : problems_(problems), section_(section), line_(record_line(lines, number)), number_(number) {}

  void add(const std::string& expected, const std::string& found) {
    problems_.add(line_, std::string(section_) + " record " + std::to_string(number_) + ": expected " +
                             expected + ", found " + found);
  }

  void finite(const char* field, double value) {
    if (!std::isfinite(value)) add(std::string("a finite ") + field, number_for_message(value));
  }

  // A number that must be a position in a table of `count` records.
  void position(const std::string& field, int value, int count, const char* section) {
    if (value >= 1 && value <= count) return;
    if (count == 0)
      add(field + " to refer to " + (section[0] == 'E' ? "an " : "a ") + section + " record",
          std::to_string(value) + " and no such records");
    else
      add(field + " from 1 to " + std::to_string(count) + " (the " + section + " records)",
          std::to_string(value));
  }

 private:
  ProblemList& problems_;
  const char* section_;
  int line_;
  int number_;
};

void check_settings(const AnalysisSettings& settings, const SourceLines& source, ProblemList& problems) {
  const auto add = [&](std::size_t item, const std::string& what, const std::string& found) {
    problems.add(source.general[item], "GENERAL record: expected " + what + ", found " + found);
  };
  const std::string_view type = settings.analysis_type.trimmed();
  if (type != "LINEAR" && type != "NONLINEAR")
    add(0, "the analysis type LINEAR or NONLINEAR", quoted_for_message(type));
  const std::string_view state = settings.stress_state.trimmed();
  if (state != "PLANE_STRESS" && state != "PLANE_STRAIN")
    add(1, "the stress state PLANE_STRESS or PLANE_STRAIN", quoted_for_message(state));
  if (type == "NONLINEAR" && settings.load_increments < 1)
    add(2, "at least 1 load increment for a NONLINEAR analysis", std::to_string(settings.load_increments));
  if (!std::isfinite(settings.displacement_tolerance))
    add(3, "a finite displacement tolerance", number_for_message(settings.displacement_tolerance));
  if (!std::isfinite(settings.penalty_factor))
    add(4, "a finite penalty factor", number_for_message(settings.penalty_factor));
}

void check_nodes(const Model& model, const SourceLines& source, ProblemList& problems) {
  if (model.nodes.empty()) {
    const int line = source.node_keyword > 0 ? source.node_keyword : std::max(source.last_line, 1);
    problems.add(line, std::string("NODE section: expected at least one record, found none"));
  }
  for (int k = 1; k <= model.nodes.size(); ++k) {
    const Node& node = model.nodes(k);
    RecordProblems record(problems, "NODE", source.nodes, k);
    // Equation numbers come from the id, stresses are gathered by position:
    // the two must agree.
    if (node.id != k)
      record.add("the node number " + std::to_string(k) + " (its position in the table)",
                 std::to_string(node.id));
    record.finite("x coordinate", node.x);
    record.finite("y coordinate", node.y);
  }
}

void check_materials(const Model& model, const AnalysisSettings& settings, const SourceLines& source,
                     ProblemList& problems) {
  const bool plane_strain = settings.stress_state == "PLANE_STRAIN";
  for (int k = 1; k <= model.materials.size(); ++k) {
    const Material& material = model.materials(k);
    RecordProblems record(problems, "MATERIAL", source.materials, k);
    if (!(material.young_modulus > 0.0) || std::isinf(material.young_modulus))
      record.add("a finite Young's modulus above 0", number_for_message(material.young_modulus));
    if (const std::string expected = poisson_ratio_expectation(material.poisson_ratio, plane_strain);
        !expected.empty())
      record.add(expected, number_for_message(material.poisson_ratio));
    record.finite("specific weight", material.specific_weight);
  }
}

void check_thicknesses(const Model& model, const SourceLines& source, ProblemList& problems) {
  for (int k = 1; k <= model.thicknesses.size(); ++k) {
    const double value = model.thicknesses(k).value;
    RecordProblems record(problems, "THICKNESS", source.thicknesses, k);
    if (!(value > 0.0) || std::isinf(value))
      record.add("a finite thickness above 0", number_for_message(value));
  }
}

void check_elements(const Model& model, const SourceLines& source, ProblemList& problems) {
  for (int k = 1; k <= model.elements.size(); ++k) {
    const Element& element = model.elements(k);
    RecordProblems record(problems, "ELEMENT", source.elements, k);
    for (std::size_t a = 0; a < element.nodes.size(); ++a) {
      const std::string field = "node " + std::to_string(a + 1);
      record.position(field, element.nodes[a], model.nodes.size(), "NODE");
      for (std::size_t b = 0; b < a; ++b)
        if (element.nodes[b] == element.nodes[a]) {
          record.add(field + " to differ from node " + std::to_string(b + 1),
                     "node " + std::to_string(element.nodes[a]) + " in both places");
          break;
        }
    }
    record.position("the material number", element.material, model.materials.size(), "MATERIAL");
    record.position("the thickness number", element.thickness, model.thicknesses.size(), "THICKNESS");
  }
}

// The number of edits (a character put in, left out, changed, or two
// neighbours swapped) that turn `a` into `b`, case aside.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  // Rows i - 2, i - 1 and i of the table of distances between prefixes.
  std::vector<std::size_t> before(b.size() + 1), last(b.size() + 1), row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) last[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = upper_ascii(a[i - 1]) == upper_ascii(b[j - 1]) ? 0 : 1;
      row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + change});
      if (i > 1 && j > 1 && upper_ascii(a[i - 1]) == upper_ascii(b[j - 2]) &&
          upper_ascii(a[i - 2]) == upper_ascii(b[j - 1]))
        row[j] = std::min(row[j], before[j - 2] + 1);
    }
    std::swap(before, last);
    std::swap(last, row);
  }
  return last[b.size()];
}

// Any system but LOCAL means global axes. A text that is LOCAL in another
// case or nearly LOCAL ("LOCLA") is taken for a slip, since reading it as
// global would turn the load silently; one nearer GLOBAL than LOCAL is not.
bool near_miss_of_local(std::string_view system) {
  if (system == "LOCAL") return false;
  const std::size_t to_local = edit_distance(system, "LOCAL");
  return to_local <= 2 && to_local < edit_distance(system, "GLOBAL");
}

// One value for each prescribed direction of a node: the elimination would
// otherwise use the first record's value for the couplings and the last
// one's for the node itself. The same value given again is harmless.
class PrescribedValues {
 public:
  // The record that first prescribed a different value for one of the
  // equations of record `k`, with the direction they share ("X", "Y" or "X
  // and Y"), or 0; remembers the record's own equations.
  int conflict(const Model& model, int k, std::string& shared) {
    const PrescribedDisplacement& record = model.prescribed_displacements(k);
    const std::string_view direction = record.direction.trimmed();
    const bool x = direction == "X" || direction == "BOTH";
    const bool y = direction == "Y" || direction == "BOTH";
    int first = 0;
    for (int axis = 0; axis < 2; ++axis) {
      if (!(axis == 0 ? x : y)) continue;
      const std::int64_t equation = 2 * static_cast<std::int64_t>(record.node) - 1 + axis;
      const auto [at, added] = first_record_.try_emplace(equation, k);
      if (added || model.prescribed_displacements(at->second).value == record.value) continue;
      if (first == 0) {
        first = at->second;
        shared = axis == 0 ? "X" : "Y";
      } else if (at->second == first) {
        shared = "X and Y";
      }
    }
    return first;
  }

 private:
  std::unordered_map<std::int64_t, int> first_record_;  // equation -> record
};

void check_loads(const Model& model, const SourceLines& source, ProblemList& problems) {
  for (int k = 1; k <= model.forces.size(); ++k) {
    const NodalForce& force = model.forces(k);
    RecordProblems record(problems, "FORCE", source.forces, k);
    record.position("the node number", force.node, model.nodes.size(), "NODE");
    record.finite("fx", force.fx);
    record.finite("fy", force.fy);
  }
  for (int k = 1; k <= model.pressures.size(); ++k) {
    const EdgePressure& pressure = model.pressures(k);
    RecordProblems record(problems, "PRESSURE", source.pressures, k);
    record.position("the element number", pressure.element, model.elements.size(), "ELEMENT");
    if (pressure.edge < 1 || pressure.edge > 3)
      record.add("the edge number 1, 2 or 3", std::to_string(pressure.edge));
    if (near_miss_of_local(pressure.system.trimmed()))
      record.add(
          "the system LOCAL or a word for global axes such as GLOBAL",
          quoted_for_message(pressure.system.trimmed()) + ", which is too near LOCAL to be taken for global");
    record.finite("q1 at the edge start", pressure.q1_start);
    record.finite("q1 at the edge end", pressure.q1_end);
    record.finite("q2 at the edge start", pressure.q2_start);
    record.finite("q2 at the edge end", pressure.q2_end);
  }
  PrescribedValues values;
  for (int k = 1; k <= model.prescribed_displacements.size(); ++k) {
    const PrescribedDisplacement& displacement = model.prescribed_displacements(k);
    RecordProblems record(problems, "DISPLACEMENT", source.displacements, k);
    record.position("the node number", displacement.node, model.nodes.size(), "NODE");
    const std::string_view direction = displacement.direction.trimmed();
    if (direction != "X" && direction != "Y" && direction != "BOTH")
      record.add("the direction X, Y or BOTH", quoted_for_message(displacement.direction.trimmed()));
    record.finite("value", displacement.value);
    std::string shared;
    const bool node_known = displacement.node >= 1 && displacement.node <= model.nodes.size();
    if (const int first = node_known ? values.conflict(model, k, shared) : 0; first != 0)
      record.add("the value " + number_for_message(model.prescribed_displacements(first).value) +
                     " that DISPLACEMENT record " + std::to_string(first) + " (line " +
                     std::to_string(record_line(source.displacements, first)) + ") prescribes for node " +
                     std::to_string(displacement.node) + " in " + shared,
                 number_for_message(displacement.value));
  }
}

}  // namespace

std::vector<std::string> check_model(const Model& model, const AnalysisSettings& settings,
                                     const SourceLines& source, const std::string& file_name) {
  ProblemList problems(file_name);
  check_settings(settings, source, problems);
  check_nodes(model, source, problems);
  check_materials(model, settings, source, problems);
  check_thicknesses(model, source, problems);
  check_elements(model, source, problems);
  check_loads(model, source, problems);
  return problems.lines();
}

}  // namespace quorix
