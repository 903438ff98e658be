#include "output/result_writer.hpp"

#include <charconv>
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

// Per-node sums of the element values, by node number 1..N.
struct NodalSums {
  explicit NodalSums(int n) : sxx(n, 0.0), syy(n, 0.0), szz(n, 0.0), sxy(n, 0.0), count(n, 0.0) {}
  Table1<double> sxx, syy, szz, sxy;
  Table1<double> count;  // element-node incidences
};

}  // namespace

namespace {

// Writes `text` right-justified in `width` columns (in full when longer) and
// returns the end of what was written.
char* put_right_justified(char* out, const char* text, int length, int width) {
  for (int i = length; i < width; ++i) *out++ = ' ';
  for (int i = 0; i < length; ++i) *out++ = text[i];
  return out;
}

// The real in 18 columns: "0." and 8 significant digits, then "E" with a sign
// and two exponent digits, or a sign and three digits without the "E" when
// the exponent needs them. Returns the end of the field.
char* put_result_real(char* out, double value) {
  if (std::isnan(value)) return put_right_justified(out, "NaN", 3, kRealWidth);
  if (std::isinf(value))
    return value > 0.0 ? put_right_justified(out, "Infinity", 8, kRealWidth)
                       : put_right_justified(out, "-Infinity", 9, kRealWidth);

  // Correctly rounded to 8 significant digits as d.ddddddd, carrying into the
  // exponent (0.999999999 gives 1.0000000e+00); as 0.dddddddd the exponent is
  // one larger.
  char digits[8] = {'0', '0', '0', '0', '0', '0', '0', '0'};
  int exponent = 0;
  if (value != 0.0) {
    char buffer[32];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 7);
    digits[0] = buffer[0];
    for (int i = 0; i < 7; ++i) digits[i + 1] = buffer[2 + i];
    int magnitude = 0;
    for (const char* c = buffer + 11; c < r.ptr; ++c) magnitude = 10 * magnitude + (*c - '0');
    exponent = (buffer[10] == '-' ? -magnitude : magnitude) + 1;
  }

  char text[16];
  int length = 0;
  if (std::signbit(value)) text[length++] = '-';  // a negative zero keeps its sign
  text[length++] = '0';
  text[length++] = '.';
  for (char digit : digits) text[length++] = digit;
  const int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude <= 99) {
    text[length++] = 'E';
    text[length++] = exponent < 0 ? '-' : '+';
  } else {
    text[length++] = exponent < 0 ? '-' : '+';
    text[length++] = static_cast<char>('0' + magnitude / 100);
  }
  text[length++] = static_cast<char>('0' + magnitude / 10 % 10);
  text[length++] = static_cast<char>('0' + magnitude % 10);
  return put_right_justified(out, text, length, kRealWidth);
}

// An integer right-justified in 6 columns; a wider one is written in full
// rather than as asterisks, so labels and node numbers are never lost.
char* put_result_int(char* out, long long value) {
  char buffer[24];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return put_right_justified(out, buffer, static_cast<int>(r.ptr - buffer), kIntWidth);
}

}  // namespace

std::string format_result_real(double value) {
  char buffer[kRealWidth];
  return std::string(buffer, put_result_real(buffer, value));
}

std::string format_result_int(long long value) {
  char buffer[32];
  return std::string(buffer, put_result_int(buffer, value));
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
  char row[512];
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
    char* end = put_result_int(row, i - 1);
    for (double value : {node.x, node.y, node.u, node.v, a, b, d, c, p.s11, p.s22, p.s33, p.von_mises}) {
      *end++ = ',';
      end = put_result_real(end, value);
    }
    *end++ = '\n';
    out.write(row, end - row);
  }

  out << " element,node0,node2,...node9\n";
  for (int j = 1; j <= model.elements.size(); ++j) {
    char* end = put_result_int(row, j - 1);
    for (int node : model.elements(j).nodes) {
      *end++ = ',';
      end = put_result_int(end, model.nodes(node).id - 1);
    }
    *end++ = '\n';
    out.write(row, end - row);
  }
}

}  // namespace quorix
