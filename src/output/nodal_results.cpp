#include "output/nodal_results.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "element/element_routines.hpp"
#include "parallel/task_pool.hpp"

namespace quorix {

namespace {

// Per-node sums of the element values, by node number 1..N.
struct NodalSums {
  explicit NodalSums(int n) : listed(n), stress(n), szz_times_t(n, 0.0), count(n, 0.0) {}
  Table1<NodeStress> listed;
  Table1<NodeStress> stress;
  Table1<double> szz_times_t;  // each element's Szz times its thickness
  Table1<double> count;        // element-node incidences
};

// The sums divided by the count.
NodeStress averaged(const NodeStress& sum, double count) {
  NodeStress mean;
  if (count != 0.0) {
    mean.sxx = sum.sxx / count;
    mean.syy = sum.syy / count;
    mean.szz = sum.szz / count;
    mean.sxy = sum.sxy / count;
  }
  return mean;
}

}  // namespace

PrincipalStresses principal_stresses(double sxx, double syy, double szz, double sxy) {
  const double a = sxx;
  const double b = syy;
  const double d = szz;
  const double c = sxy;
  PrincipalStresses p;
  p.von_mises = std::sqrt(((a - b) * (a - b) + (b - d) * (b - d) + (d - a) * (d - a) + 6.0 * (c * c)) * 0.5);

  // In-plane principal stresses, the roots of the 2 x 2 stress tensor. The
  // discriminant (a - b)^2 + 4 c^2 is never negative, but computed as
  // (a + b)^2 - 4 (ab - c^2) it can round below zero when a and b nearly
  // agree and c is small; it is then taken as zero (equal roots).
  double discriminant = (a + b) * (a + b) - 4.0 * (a * b - c * c);
  if (discriminant < 0.0) discriminant = 0.0;
  const double q = std::sqrt(discriminant);
  const double p1 = (a + b + q) * 0.5;
  const double p2 = (a + b - q) * 0.5;

  // Place the out-of-plane stress among them, largest first.
  if (d > p1) {
    p.s11 = d;
    p.s22 = p1;
    p.s33 = p2;
  } else if (d >= p2) {
    p.s11 = p1;
    p.s22 = d;
    p.s33 = p2;
  } else {
    p.s11 = p1;
    p.s22 = p2;
    p.s33 = d;
  }
  return p;
}

NodalResults nodal_results(const Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                           TaskPool& pool) {
  const int n = model.nodes.size();

  // Add every element's stresses at its nodes under the node's number. The
  // components are averaged, and the principal and von Mises stresses are
  // derived from the averages, not averaged themselves.
  // The element stresses are computed side by side, a block of elements at a
  // time, and added in element order, so the sums are the same whatever the
  // number of threads.
  NodalSums sums(n);
  constexpr int kBlock = 8192;
  const int elements = model.elements.size();
  std::vector<ElementStresses> block(static_cast<std::size_t>(std::min(elements, kBlock)));
  for (int first = 1; first <= elements; first += kBlock) {
    const int count = std::min(kBlock, elements - first + 1);
    constexpr int kUnit = 256;
    pool.for_each_unit((count + kUnit - 1) / kUnit, [&](int unit) {
      for (int e = unit * kUnit; e < std::min(count, (unit + 1) * kUnit); ++e)
        block[static_cast<std::size_t>(e)] =
            element_nodal_stresses(tables, settings, gather_element(model, model.elements(first + e)));
    });
    for (int e = 0; e < count; ++e) {
      const Element& element = model.elements(first + e);
      const ElementStresses& s = block[static_cast<std::size_t>(e)];
      const double t = model.thicknesses(element.thickness).value;
      for (std::size_t k = 0; k < 10; ++k) {
        const int node = model.nodes(element.nodes[k]).id;
        NodeStress& listed = sums.listed(node);
        listed.sxx += s.sxx[k];
        listed.syy += s.syy[k];
        listed.sxy += s.sxy[k];
        listed.szz += s.szz[k];
        NodeStress& stress = sums.stress(node);
        stress.sxx += s.sxx[k] / t;
        stress.syy += s.syy[k] / t;
        stress.sxy += s.sxy[k] / t;
        sums.szz_times_t(node) += s.szz[k] * t;
        sums.count(node) += 1.0;
      }
    }
  }

  NodalResults results;
  results.listed = Table1<NodeStress>(n);
  results.stress = Table1<NodeStress>(n);
  for (int i = 1; i <= n; ++i) {
    const double count = sums.count(i);
    NodeStress& listed = results.listed(i);
    listed = averaged(sums.listed(i), count);
    // The listed Szz is the stress itself, but the principal and von Mises
    // stresses must be formed from four components in one unit: Sxx, Syy, Sxy
    // and the node's mean of Szz times thickness, all stress times thickness.
    // Where the thickness is 1 or Szz is 0 (plane stress) this is Szz itself.
    const double szz_times_t = count != 0.0 ? sums.szz_times_t(i) / count : 0.0;
    listed.principal = principal_stresses(listed.sxx, listed.syy, szz_times_t, listed.sxy);
    NodeStress& stress = results.stress(i);
    stress = averaged(sums.stress(i), count);
    stress.szz = listed.szz;  // the listed Szz is the true stress already
    stress.principal = principal_stresses(stress.sxx, stress.syy, stress.szz, stress.sxy);
  }
  return results;
}

int first_non_finite_node(const Model& model, const NodalResults& results, std::string& what) {
  for (int i = 1; i <= model.nodes.size(); ++i) {
    const Node& node = model.nodes(i);
    const NodeStress& f = results.listed(i);
    const NodeStress& s = results.stress(i);
    const struct {
      const char* name;
      double value;
    } values[] = {
        {"x", node.x},
        {"y", node.y},
        {"u", node.u},
        {"v", node.v},
        {"Sxx", f.sxx},
        {"Syy", f.syy},
        {"Szz", f.szz},
        {"Sxy", f.sxy},
        {"S11", f.principal.s11},
        {"S22", f.principal.s22},
        {"S33", f.principal.s33},
        {"Svm", f.principal.von_mises},
        {"the stress xx", s.sxx},
        {"the stress yy", s.syy},
        {"the stress xy", s.sxy},
        {"the von Mises stress", s.principal.von_mises},
        {"the largest principal stress", s.principal.s11},
        {"the middle principal stress", s.principal.s22},
        {"the smallest principal stress", s.principal.s33},
    };
    for (const auto& [name, value] : values) {
      if (std::isfinite(value)) continue;
      what = std::string(name) + " = " + (std::isnan(value) ? "NaN" : value > 0.0 ? "inf" : "-inf");
      return i;
    }
  }
  return 0;
}

}  // namespace quorix
