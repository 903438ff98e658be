#include "output/result_writer.hpp"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

#include "element/element_routines.hpp"

namespace quorix {

namespace {

constexpr int kRealWidth = 18;
constexpr int kIntWidth = 6;

std::string right_justified(const std::string& text, int width) {
  const auto size = static_cast<int>(text.size());
  return size >= width ? text : std::string(static_cast<std::size_t>(width - size), ' ') + text;
}

// Per-node sums of the element values, by node number 1..N.
struct NodalSums {
  explicit NodalSums(int n) : sxx(n, 0.0), syy(n, 0.0), szz(n, 0.0), sxy(n, 0.0), count(n, 0.0) {}
  Table1<double> sxx, syy, szz, sxy;
  Table1<double> count;  // element-node incidences
};

}  // namespace

std::string format_result_real(double value) {
  if (std::isnan(value)) return right_justified("NaN", kRealWidth);
  if (std::isinf(value)) return right_justified(value > 0.0 ? "Infinity" : "-Infinity", kRealWidth);

  // Mantissa digits and decimal exponent of the value written as 0.dddddddd.
  // printf rounds correctly to 8 significant digits as d.ddddddd, carrying
  // into the exponent (0.999999999 gives 1.0000000e+00); as 0.dddddddd the
  // exponent is one larger.
  std::string digits = "00000000";
  int exponent = 0;
  if (value != 0.0) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.7e", std::fabs(value));  // "d.ddddddde+xx", 3 digits if needed
    digits = std::string(1, buffer[0]) + std::string(buffer + 2, 7);
    exponent = std::atoi(buffer + 10) + 1;
  }

  // A negative zero keeps its sign.
  std::string text = std::signbit(value) ? "-0." : "0.";
  text += digits;
  // "E" and two digits while they suffice, else three digits without the
  // "E" (a double's decimal exponent never needs four).
  const int magnitude = std::abs(exponent);
  const int exponent_digits = magnitude <= 99 ? 2 : 3;
  if (exponent_digits == 2) text += 'E';
  text += exponent < 0 ? '-' : '+';
  const std::string number = std::to_string(magnitude);
  text += std::string(static_cast<std::size_t>(exponent_digits) - number.size(), '0') + number;
  return right_justified(text, kRealWidth);
}

std::string format_result_int(long long value) {
  // Too wide a number is written in full rather than as asterisks: the table
  // stays readable and the label stays right.
  return right_justified(std::to_string(value), kIntWidth);
}

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

void write_results(const Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                   std::ostream& out) {
  const int n = model.nodes.size();

  // Add every element's stresses at its nodes under the node's number. The
  // components are averaged, and the principal and von Mises stresses are
  // derived from the averages.
  NodalSums sums(n);
  for (const Element& element : model.elements) {
    const ElementStresses s = element_nodal_stresses(tables, settings, gather_element(model, element));
    for (std::size_t k = 0; k < 10; ++k) {
      const int node = model.nodes(element.nodes[k]).id;
      sums.sxx(node) += s.sxx[k];
      sums.syy(node) += s.syy[k];
      sums.sxy(node) += s.sxy[k];
      sums.szz(node) += s.szz[k];
      sums.count(node) += 1.0;
    }
  }

  out << " node,x,y,u,v,Sxx,Syy,Szz,Sxy,S11,S22,S33,Svm\n";
  std::string row;
  for (int i = 1; i <= n; ++i) {
    // A node that belongs to no element has no stresses to average; it shows
    // zeros rather than 0/0.
    double a = 0.0;
    double b = 0.0;
    double d = 0.0;
    double c = 0.0;
    const double count = sums.count(i);
    if (count != 0.0) {
      a = sums.sxx(i) / count;
      b = sums.syy(i) / count;
      d = sums.szz(i) / count;
      c = sums.sxy(i) / count;
    }
    const PrincipalStresses p = principal_stresses(a, b, d, c);
    const Node& node = model.nodes(i);
    row = format_result_int(i - 1);
    for (double value : {node.x, node.y, node.u, node.v, a, b, d, c, p.s11, p.s22, p.s33, p.von_mises}) {
      row += ',';
      row += format_result_real(value);
    }
    row += '\n';
    out << row;
  }

  out << " element,node0,node2,...node9\n";
  for (int j = 1; j <= model.elements.size(); ++j) {
    row = format_result_int(j - 1);
    for (int node : model.elements(j).nodes) {
      row += ',';
      row += format_result_int(model.nodes(node).id - 1);
    }
    row += '\n';
    out << row;
  }
}

}  // namespace quorix
