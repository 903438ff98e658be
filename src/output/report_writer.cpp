#include "output/report_writer.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>
#include <ostream>

#include "model/model_check.hpp"

namespace quorix {

namespace {

// A real in 14 columns, six digits after the point in the exponent form.
std::string real(double value) {
  std::array<char, 40> text{};
  std::snprintf(text.data(), text.size(), "%14.6e", value == 0.0 ? 0.0 : value);
  return text.data();
}

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string right(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string place(const Node& node) { return point_for_message({node.x, node.y}); }

// Force sums of a vector by equation: Fx, Fy and the moment about the
// origin. A nonlinear analysis balances forces on the deformed plate, so
// their moments are taken there.
struct Resultant {
  double fx = 0.0, fy = 0.0, moment = 0.0;
  void add(const Node& node, double x_force, double y_force, bool deformed) {
    fx += x_force;
    fy += y_force;
    const double x = deformed ? node.x + node.u : node.x;
    const double y = deformed ? node.y + node.v : node.y;
    moment += x * y_force - y * x_force;
  }
  Resultant& operator+=(const Resultant& other) {
    fx += other.fx;
    fy += other.fy;
    moment += other.moment;
    return *this;
  }
};

Resultant resultant(const Model& model, const Table1<double>& forces, bool deformed) {
  Resultant sum;
  for (int k = 1; k <= model.nodes.size() && 2 * std::int64_t{k} <= forces.size64(); ++k)
    sum.add(model.nodes(k), forces(2 * std::int64_t{k} - 1), forces(2 * std::int64_t{k}), deformed);
  return sum;
}

void resultant_row(std::ostream& out, const std::string& label, const Resultant& r) {
  out << "  " << padded(label, 36) << real(r.fx) << ' ' << real(r.fy) << ' ' << real(r.moment) << '\n';
}

// The supports' reactions summed per group of records (per direction without
// groups). Each prescribed equation counts once, for the first record that
// prescribes it, so that the sums add up to the total.
struct SupportSum {
  std::string label;
  int equations = 0;
  Resultant reaction;
};

std::vector<SupportSum> support_sums(const Model& model, const NodalResults& results,
                                     const std::vector<SupportGroup>& groups, bool deformed) {
  const int records = model.prescribed_displacements.size();
  // The sum each record's reactions go to.
  std::vector<int> sum_of(static_cast<std::size_t>(records) + 1, -1);
  std::vector<SupportSum> sums;
  std::map<std::string, int> by_name;
  for (const SupportGroup& group : groups) {
    const auto [at, added] = by_name.try_emplace(group.name, static_cast<int>(sums.size()));
    if (added) sums.push_back({"group " + group.name, 0, {}});
    for (int r = group.first_record; r <= std::min(group.last_record, records); ++r)
      if (sum_of[static_cast<std::size_t>(r)] < 0) sum_of[static_cast<std::size_t>(r)] = at->second;
  }
  const int others = static_cast<int>(sums.size());
  const bool by_direction = groups.empty();
  if (by_direction) {
    sums.push_back({"supports in X", 0, {}});
    sums.push_back({"supports in Y", 0, {}});
  } else {
    sums.push_back({"supports in no group", 0, {}});
  }
  std::vector<char> counted(2 * static_cast<std::size_t>(model.nodes.size()) + 2, 0);
  for (int r = 1; r <= records; ++r) {
    const PrescribedDisplacement& record = model.prescribed_displacements(r);
    std::array<int, 2> equations{};
    for (int e = 0; e < prescribed_equations(record, equations); ++e) {
      const int equation = equations[static_cast<std::size_t>(e)];
      const int axis = equation % 2 == 1 ? 0 : 1;
      if (counted[static_cast<std::size_t>(equation)] != 0) continue;
      counted[static_cast<std::size_t>(equation)] = 1;
      const int s =
          by_direction
              ? others + axis
              : (sum_of[static_cast<std::size_t>(r)] >= 0 ? sum_of[static_cast<std::size_t>(r)] : others);
      const double force = results.reactions.empty() ? 0.0 : results.reactions(equation);
      sums[static_cast<std::size_t>(s)].reaction.add(model.nodes(record.node), axis == 0 ? force : 0.0,
                                                     axis == 1 ? force : 0.0, deformed);
      ++sums[static_cast<std::size_t>(s)].equations;
    }
  }
  sums.erase(std::remove_if(sums.begin(), sums.end(),
                            [&](const SupportSum& sum) { return sum.equations == 0 && !by_direction; }),
             sums.end());
  return sums;
}

// The node where `value` is largest (smallest with `lowest`).
template <class Value>
int extreme_node(const Model& model, Value value, bool lowest = false) {
  int best = 0;
  for (int k = 1; k <= model.nodes.size(); ++k)
    if (best == 0 || (lowest ? value(k) < value(best) : value(k) > value(best))) best = k;
  return best;
}

void extreme_row(std::ostream& out, const std::string& label, const Model& model, int node, double value) {
  if (node == 0) return;
  out << "  " << padded(label, 36) << real(value) << "   at node " << node << ' ' << place(model.nodes(node))
      << '\n';
}

}  // namespace

void write_report(const ReportInput& input, std::ostream& out) {
  const Model& model = *input.model;
  const AnalysisSettings& settings = *input.settings;
  const NodalResults& results = *input.results;
  const std::string rule(78, '-');

  out << "Quorix report: " << input.file_name << '\n' << std::string(78, '=') << "\n\n";

  // ---- The model. Every prescribed equation counts in one support sum.
  const bool deformed = settings.analysis_type == "NONLINEAR";
  const std::vector<SupportSum> supports = support_sums(model, results, input.groups, deformed);
  int prescribed = 0;
  for (const SupportSum& sum : supports) prescribed += sum.equations;
  const int equations = 2 * model.nodes.size();
  out << "Model\n"
      << rule << '\n'
      << "  " << padded("nodes", 36) << right(std::to_string(model.nodes.size()), 14) << '\n'
      << "  " << padded("elements", 36) << right(std::to_string(model.elements.size()), 14) << '\n'
      << "  " << padded("equations", 36) << right(std::to_string(equations), 14) << "   ("
      << equations - prescribed << " free, " << prescribed << " prescribed)\n"
      << "  " << padded("analysis", 36) << right(std::string(settings.analysis_type.trimmed()), 14);
  if (settings.analysis_type == "NONLINEAR")
    out << "   (" << settings.load_increments << " load steps, " << percent_for_message(input.load_level)
        << " of the loads)";
  out << '\n'
      << "  " << padded("stress state", 36) << right(std::string(settings.stress_state.trimmed()), 14)
      << "\n\n";
  // Elements name their material and thickness by position in the table,
  // whatever number the record itself carries; so do these rows.
  std::vector<int> material_uses(static_cast<std::size_t>(model.materials.size()) + 1, 0);
  std::vector<int> thickness_uses(static_cast<std::size_t>(model.thicknesses.size()) + 1, 0);
  for (const Element& element : model.elements) {
    ++material_uses[static_cast<std::size_t>(element.material)];
    ++thickness_uses[static_cast<std::size_t>(element.thickness)];
  }
  out << "  material          E              nu         weight      elements\n";
  for (int m = 1; m <= model.materials.size(); ++m)
    if (const int uses = material_uses[static_cast<std::size_t>(m)]; uses > 0) {
      const Material& material = model.materials(m);
      out << "  " << right(std::to_string(m), 8) << "  " << real(material.young_modulus) << ' '
          << real(material.poisson_ratio) << ' ' << real(material.specific_weight) << ' '
          << right(std::to_string(uses), 10) << '\n';
    }
  out << "  thickness         t                                     elements\n";
  for (int t = 1; t <= model.thicknesses.size(); ++t)
    if (const int uses = thickness_uses[static_cast<std::size_t>(t)]; uses > 0)
      out << "  " << right(std::to_string(t), 8) << "  " << real(model.thicknesses(t).value)
          << std::string(30, ' ') << right(std::to_string(uses), 10) << '\n';
  out << '\n';

  // ---- Loads, reactions and their balance.
  const Resultant applied = resultant(model, input.loads, deformed);
  const Resultant weight = resultant(model, input.self_weight, deformed);
  out << padded("Loads", 38) << "            Fx             Fy     Mz about (0, 0)\n" << rule << '\n';
  if (deformed) out << "  (moments of the forces where they act on the deformed plate)\n";
  resultant_row(out, "nodal forces and edge loads", applied);
  resultant_row(out, "self-weight", weight);
  Resultant loads = applied;
  loads += weight;
  resultant_row(out, "all loads", loads);
  out << '\n'
      << padded("Support reactions", 38) << "            Rx             Ry     Mz about (0, 0)\n"
      << rule << '\n';
  Resultant reactions;
  for (const SupportSum& sum : supports) {
    resultant_row(out, sum.label + " (" + std::to_string(sum.equations) + " equations)", sum.reaction);
    reactions += sum.reaction;
  }
  resultant_row(out, "all supports", reactions);
  Resultant balance = loads;
  balance += reactions;
  resultant_row(out, "loads and reactions (balance)", balance);
  out << '\n';

  // ---- The largest results.
  out << "Largest results (stresses themselves, not times the thickness)\n" << rule << '\n';
  const int moved =
      extreme_node(model, [&](int k) { return std::hypot(model.nodes(k).u, model.nodes(k).v); });
  if (moved != 0)
    extreme_row(out, "displacement", model, moved, std::hypot(model.nodes(moved).u, model.nodes(moved).v));
  const auto stress = [&](int k) -> const NodeStress& { return results.stress(k); };
  const int mises = extreme_node(model, [&](int k) { return stress(k).principal.von_mises; });
  if (mises != 0) extreme_row(out, "von Mises stress", model, mises, stress(mises).principal.von_mises);
  const int high = extreme_node(model, [&](int k) { return stress(k).principal.s11; });
  if (high != 0) extreme_row(out, "largest principal stress S1", model, high, stress(high).principal.s11);
  const int low = extreme_node(
      model, [&](int k) { return stress(k).principal.s33; }, true);
  if (low != 0) extreme_row(out, "smallest principal stress S3", model, low, stress(low).principal.s33);
  out << '\n';

  // ---- Accuracy.
  out << "Accuracy of the stresses (averaged against the elements' own, in the energy norm)\n"
      << rule << '\n';
  const ErrorEstimate& estimate = *input.estimate;
  if (!estimate.estimated) {
    out << "  not estimated: the estimate is made for a linear analysis only\n\n";
  } else {
    out << "  " << padded("estimated error, share of the solution", 36)
        << right(percent_for_message(estimate.relative), 14) << '\n'
        << "  " << padded("error, energy norm", 36) << real(estimate.error_norm) << '\n'
        << "  " << padded("solution, energy norm", 36) << real(estimate.solution_norm) << '\n';
    std::vector<int> order(estimate.element_error.size());
    std::iota(order.begin(), order.end(), 0);
    const std::size_t shown = std::min<std::size_t>(5, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(shown), order.end(),
                      [&](int a, int b) {
                        const double ea = estimate.element_error[static_cast<std::size_t>(a)];
                        const double eb = estimate.element_error[static_cast<std::size_t>(b)];
                        return ea != eb ? ea > eb : a < b;
                      });
    out << "  the worst elements:    element    share of the solution   at its centre\n";
    for (std::size_t i = 0; i < shown; ++i) {
      const int e = order[i];
      const Element& element = model.elements[static_cast<std::size_t>(e)];
      const double share = estimate.solution_norm > 0.0
                               ? estimate.element_error[static_cast<std::size_t>(e)] / estimate.solution_norm
                               : 0.0;
      out << std::string(23, ' ') << right(std::to_string(e + 1), 10) << right(percent_for_message(share), 24)
          << "   " << place(model.nodes(element.nodes[9])) << '\n';
    }
    out << '\n';
  }

  // ---- Points asked for.
  if (!input.points.empty()) {
    out << "Values at points (stresses themselves)\n" << rule << '\n';
    for (const PointValues& p : input.points) {
      out << "  at " << point_for_message({p.x, p.y});
      if (p.element == 0) {
        out << ": outside the plate\n";
        continue;
      }
      out << ", in element " << p.element << '\n';
      const struct {
        const char* name;
        double value;
      } rows[] = {{"u", p.u},
                  {"v", p.v},
                  {"sxx", p.stress.sxx},
                  {"syy", p.stress.syy},
                  {"szz", p.stress.szz},
                  {"sxy", p.stress.sxy},
                  {"s1", p.stress.principal.s11},
                  {"s2", p.stress.principal.s22},
                  {"s3", p.stress.principal.s33},
                  {"von Mises", p.stress.principal.von_mises}};
      for (const auto& row : rows) out << "    " << padded(row.name, 34) << real(row.value) << '\n';
    }
    out << '\n';
  }

  // ---- The solver.
  std::array<char, 40> seconds{};
  std::snprintf(seconds.data(), seconds.size(), "%.3f s", input.solver.seconds);
  out << "Solver\n" << rule << '\n';
  if (!input.solver.name.empty()) {
    // A longer name takes from the label's room, so that it ends where the
    // numbers below end.
    const std::size_t width = std::max<std::size_t>(14, input.solver.name.size());
    out << "  " << padded("solver", width < 44 ? 50 - width : 0) << right(input.solver.name, width) << '\n';
  }
  out << "  " << padded("equations", 36) << right(std::to_string(input.solver.equations), 14) << '\n'
      << "  " << padded("solves", 36) << right(std::to_string(input.solver.solves), 14) << '\n'
      << "  " << padded("factor entries", 36) << right(std::to_string(input.solver.factor_entries), 14)
      << '\n'
      << "  " << padded("largest front", 36) << right(std::to_string(input.solver.largest_front), 14) << '\n'
      << "  " << padded("time", 36) << right(seconds.data(), 14) << '\n';
}

}  // namespace quorix
