#include "output/result_writer.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "element/element_routines.hpp"
#include "element/element_tables.hpp"
#include "parallel/task_pool.hpp"

namespace quorix {
namespace {

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> fields_of(const std::string& row) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t comma; (comma = row.find(',', start)) != std::string::npos; start = comma + 1)
    fields.push_back(row.substr(start, comma - start));
  fields.push_back(row.substr(start));
  return fields;
}

using Point = std::pair<int, int>;

// A model of cubic triangles given by their corners (counter-clockwise, on
// coordinates divisible by 3 so that every edge node and centre is an exact
// integer point). Nodes at the same point are shared; `loose` adds nodes
// that belong to no element. Linear analysis, plane stress, E = 1000,
// nu = 0.25, unit thickness.
struct TriangleModel {
  Model model;
  AnalysisSettings settings;
  std::map<Point, int> node_at;
};

TriangleModel triangle_model(const std::vector<std::array<Point, 3>>& triangles,
                             const std::vector<Point>& loose = {}) {
  TriangleModel t;
  t.settings.analysis_type.assign("LINEAR");
  t.settings.stress_state.assign("PLANE_STRESS");
  std::vector<Point> points;
  auto number = [&](Point p) {
    auto [it, added] = t.node_at.emplace(p, static_cast<int>(points.size()) + 1);
    if (added) points.push_back(p);
    return it->second;
  };
  std::vector<std::array<int, 10>> connectivity;
  for (const auto& [p1, p2, p3] : triangles) {
    auto third = [](Point a, Point b) {
      return Point{(2 * a.first + b.first) / 3, (2 * a.second + b.second) / 3};
    };
    const Point centre{(p1.first + p2.first + p3.first) / 3, (p1.second + p2.second + p3.second) / 3};
    // Corners, then two nodes per edge (the first nearer the edge's start), then the centre.
    connectivity.push_back({number(p1), number(p2), number(p3), number(third(p1, p2)), number(third(p2, p1)),
                            number(third(p2, p3)), number(third(p3, p2)), number(third(p3, p1)),
                            number(third(p1, p3)), number(centre)});
  }
  for (Point p : loose) number(p);

  t.model.nodes = Table1<Node>(static_cast<std::int64_t>(points.size()));
  for (int k = 1; k <= t.model.nodes.size(); ++k) {
    const Point p = points[static_cast<std::size_t>(k - 1)];
    t.model.nodes(k) = Node{k, static_cast<double>(p.first), static_cast<double>(p.second), 0.0, 0.0};
  }
  t.model.materials = Table1<Material>(1);
  t.model.materials(1) = Material{1, 1000.0, 0.25, 0.0};
  t.model.thicknesses = Table1<Thickness>(1);
  t.model.thicknesses(1) = Thickness{1, 1.0};
  t.model.elements = Table1<Element>(static_cast<std::int64_t>(connectivity.size()));
  for (int e = 1; e <= t.model.elements.size(); ++e)
    t.model.elements(e) = Element{e, 1, 1, connectivity[static_cast<std::size_t>(e - 1)]};
  return t;
}

std::string written(const TriangleModel& t) {
  std::ostringstream out;
  write_results(t.model, nodal_results(t.model, t.settings, init_element_tables(), shared_task_pool()), out,
                shared_task_pool());
  return out.str();
}

// ---------------------------------------------------------------------------
// format_result_real
// ---------------------------------------------------------------------------

struct RealCase {
  double value;
  const char* text;
};

void expect_formats(const std::vector<RealCase>& cases) {
  for (const RealCase& c : cases) {
    const std::string text = format_result_real(c.value);
    EXPECT_EQ(text, c.text) << "value " << c.value;
    EXPECT_EQ(text.size(), 18u) << "value " << c.value;
  }
}

TEST(FormatResultReal, WritesEightDigitsBelowOneWithTwoDigitExponent) {
  expect_formats({
      {1.0, "    0.10000000E+01"},
      {-0.00000025, "   -0.25000000E-06"},
      {0.1, "    0.10000000E+00"},
      {-0.5, "   -0.50000000E+00"},
      {3.0, "    0.30000000E+01"},
      {-1.25e-4, "   -0.12500000E-03"},
      {210000.0, "    0.21000000E+06"},
      {0.123456784, "    0.12345678E+00"},
      {-98765432.1, "   -0.98765432E+08"},
  });
}

TEST(FormatResultReal, RoundsToEightDigitsAndCarriesIntoTheExponent) {
  expect_formats({
      {123456789.0, "    0.12345679E+09"},
      {-123456789.0, "   -0.12345679E+09"},
      {0.999999999, "    0.10000000E+01"},
      {-0.999999996, "   -0.10000000E+01"},
      {0.999999994, "    0.99999999E+00"},
      {99999999.7, "    0.10000000E+09"},
      {9.99999996e-6, "    0.10000000E-04"},
      {0.12345678449999, "    0.12345678E+00"},
      {0.12345678550001, "    0.12345679E+00"},
  });
}

TEST(FormatResultReal, ExponentsBeyondTwoDigitsDropTheE) {
  expect_formats({
      {9.9e98, "    0.99000000E+99"},
      {1e99, "    0.10000000+100"},            // 0.1 x 10^100
      {9.999999996e98, "    0.10000000+100"},  // the carry crosses into three digits
      {1e100, "    0.10000000+101"},
      {-2.5e150, "   -0.25000000+151"},
      {1e-99, "    0.10000000E-98"},
      {1e-100, "    0.10000000E-99"},  // still two digits: 0.1 x 10^-99
      {1e-101, "    0.10000000-100"},
      {-3.75e-200, "   -0.37500000-199"},
      {DBL_MAX, "    0.17976931+309"},
      {-DBL_MAX, "   -0.17976931+309"},
      {DBL_MIN, "    0.22250739-307"},
      {std::numeric_limits<double>::denorm_min(), "    0.49406565-323"},
  });
}

TEST(FormatResultReal, ZeroKeepsItsSign) {
  expect_formats({
      {0.0, "    0.00000000E+00"},
      {-0.0, "   -0.00000000E+00"},
  });
}

TEST(FormatResultReal, NonFiniteValuesKeepTheFieldWidth) {
  expect_formats({
      {std::numeric_limits<double>::quiet_NaN(), "               NaN"},
      {-std::numeric_limits<double>::quiet_NaN(), "               NaN"},
      {std::numeric_limits<double>::infinity(), "          Infinity"},
      {-std::numeric_limits<double>::infinity(), "         -Infinity"},
  });
}

// The digits and exponent of a field must be those of the library's correctly
// rounded conversion, whichever way the writer found them: over the whole
// range of doubles, and where the scaled value lies at or next to a tie.
TEST(FormatResultReal, AgreesWithTheLibrarysConversion) {
  std::mt19937_64 random(20261211);
  std::vector<double> values;
  const auto with_neighbours = [&](double w) {
    values.insert(values.end(), {w, std::nextafter(w, 0.0), std::nextafter(w, INFINITY)});
  };
  for (int i = 0; i < 100000; ++i) {  // any finite double
    const double v = std::bit_cast<double>(random());
    if (std::isfinite(v)) values.push_back(v);
  }
  std::uniform_real_distribution<double> decade(-17.0, 31.0);
  for (int i = 0; i < 200000; ++i) values.push_back(std::pow(10.0, decade(random)));
  for (int i = 0; i < 20000; ++i) {
    // Exact ties: t 5^k / 2 has eight digits and a half when t is odd, and
    // t / 2^(k+1) holds it exactly; k <= 0 gives halves and integers ending in 5.
    const int k = static_cast<int>(random() % 14) - 3;
    const double scaled = static_cast<double>(10000000 + random() % 90000000) + 0.5;
    double v = scaled * std::pow(10.0, -k);
    if (k > 0) {
      const double five = std::pow(5.0, k);
      const auto low = static_cast<std::uint64_t>(std::ceil(2e7 / five));
      const auto high = static_cast<std::uint64_t>(2e8 / five);
      v = std::ldexp(static_cast<double>((low + random() % (high - low)) | 1u), -(k + 1));
    }
    // ... and the doubles nearest a tie, of any size.
    char tie[40];
    std::snprintf(tie, sizeof tie, "%.0f5e%d", std::floor(scaled), static_cast<int>(random() % 70) - 38);
    const double near = std::strtod(tie, nullptr);
    with_neighbours(v);
    with_neighbours(near);
  }
  for (double power = 1e-20; power < 1e30; power *= 10.0) {  // around the powers of ten and their carries
    for (double w : {power, power * (1.0 - 5e-9), power * (1.0 - 4.9999999e-9), power * (1.0 - 5.0000001e-9)})
      with_neighbours(w);
  }

  int mismatches = 0;
  for (double v : values) {
    const std::string text = format_result_real(v);
    char buffer[32];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v), std::chars_format::scientific, 7);
    const std::string library(buffer, r.ptr);  // d.ddddddde[+-]xx
    const std::string digits = library.substr(0, 1) + library.substr(2, 7);
    const int exponent = std::stoi(library.substr(10)) + 1;
    const std::size_t point = text.find("0.");
    const std::string field_digits = text.substr(point + 2, 8);
    const std::string mark = text.substr(point + 10);
    const int field_exponent = std::stoi(mark[0] == 'E' ? mark.substr(1) : mark);
    if (field_digits != digits || field_exponent != exponent || (text[point - 1] == '-') != (v < 0.0)) {
      if (++mismatches <= 10) ADD_FAILURE() << std::hexfloat << v << ": " << text << " against " << library;
    }
  }
  EXPECT_EQ(mismatches, 0) << "of " << values.size() << " values";
}

// ---------------------------------------------------------------------------
// format_result_int
// ---------------------------------------------------------------------------

TEST(FormatResultInt, RightJustifiesInSixColumnsAndWidensWhenTooLong) {
  const std::vector<std::pair<long long, std::string>> cases = {
      {0, "     0"},      {9, "     9"},        {-1, "    -1"},       {999999, "999999"},
      {-99999, "-99999"}, {1000000, "1000000"}, {-100000, "-100000"}, {2147483647, "2147483647"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(format_result_int(value), text) << value;
}

// ---------------------------------------------------------------------------
// principal_stresses
// ---------------------------------------------------------------------------

TEST(PrincipalStresses, UniaxialStress) {
  for (double sigma : {3.0, 250.0, -3.0, -250.0}) {
    const PrincipalStresses p = principal_stresses(sigma, 0.0, 0.0, 0.0);
    if (sigma > 0.0) {
      EXPECT_EQ(p.s11, sigma);
      EXPECT_EQ(p.s22, 0.0);
      EXPECT_EQ(p.s33, 0.0);
    } else {
      EXPECT_EQ(p.s11, 0.0);
      EXPECT_EQ(p.s22, 0.0);
      EXPECT_EQ(p.s33, sigma);
    }
    EXPECT_EQ(p.von_mises, std::abs(sigma));
  }
}

TEST(PrincipalStresses, PureShearInPlaneStress) {
  for (double tau : {2.0, 7.5, -2.0}) {
    const PrincipalStresses p = principal_stresses(0.0, 0.0, 0.0, tau);
    EXPECT_EQ(p.s11, std::abs(tau));
    EXPECT_EQ(p.s22, 0.0);
    EXPECT_EQ(p.s33, -std::abs(tau));
    EXPECT_DOUBLE_EQ(p.von_mises, std::sqrt(3.0) * std::abs(tau));
  }
}

TEST(PrincipalStresses, NearlyEqualNormalStressesWithoutShearGiveEqualRoots) {
  // (a + b)^2 - 4ab rounds below zero for these two neighbouring doubles;
  // its square root must not turn the principal stresses into NaN.
  const double a = 1.1;
  const double b = std::nextafter(1.1, 2.0);
  ASSERT_LT((a + b) * (a + b) - 4.0 * (a * b - 0.0 * 0.0), 0.0);
  const struct { double a, b; } cases[] = {{a, b}, {b, a}, {-a, -b}, {4.0, 4.0}};
  for (const auto& c : cases) {
    const PrincipalStresses p = principal_stresses(c.a, c.b, 0.0, 0.0);
    const double root = (c.a + c.b) * 0.5;  // both in-plane roots; Szz = 0 goes above or below them
    const std::array<double, 3> expected =
        root > 0.0 ? std::array<double, 3>{root, root, 0.0} : std::array<double, 3>{0.0, root, root};
    EXPECT_EQ((std::array<double, 3>{p.s11, p.s22, p.s33}), expected) << c.a << ", " << c.b;
    EXPECT_FALSE(std::isnan(p.von_mises));
  }
}

TEST(PrincipalStresses, OutOfPlaneStressIsPlacedInOrder) {
  // In-plane roots 4 and 0 (a = 4, b = 0, no shear) with Szz above, between
  // and below them, and equal to either.
  const struct {
    double szz;
    std::array<double, 3> sorted;
  } cases[] = {
      {5.0, {5.0, 4.0, 0.0}}, {2.0, {4.0, 2.0, 0.0}}, {-1.0, {4.0, 0.0, -1.0}},
      {4.0, {4.0, 4.0, 0.0}}, {0.0, {4.0, 0.0, 0.0}},
  };
  for (const auto& c : cases) {
    const PrincipalStresses p = principal_stresses(4.0, 0.0, c.szz, 0.0);
    EXPECT_EQ((std::array<double, 3>{p.s11, p.s22, p.s33}), c.sorted) << "Szz " << c.szz;
  }
  // Plane strain style: sxx = 10, syy = 2, szz = 3, sxy = 3 -> roots 11 and 1.
  const PrincipalStresses p = principal_stresses(10.0, 2.0, 3.0, 3.0);
  EXPECT_EQ((std::array<double, 3>{p.s11, p.s22, p.s33}), (std::array<double, 3>{11.0, 3.0, 1.0}));
  EXPECT_DOUBLE_EQ(p.von_mises, std::sqrt(((8.0 * 8.0 + 1.0 + 49.0) + 6.0 * 9.0) * 0.5));
}

// ---------------------------------------------------------------------------
// write_results
// ---------------------------------------------------------------------------

TEST(WriteResults, ModelWithoutElementsWritesZeroStressesAndNoElementRows) {
  const TriangleModel t = triangle_model({}, {{0, 0}, {-3, 12}});
  EXPECT_EQ(written(t),
            " node,x,y,u,v,Sxx,Syy,Szz,Sxy,S11,S22,S33,Svm\n"
            "     0,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    "
            "0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    "
            "0.00000000E+00,    0.00000000E+00,    0.00000000E+00\n"
            "     1,   -0.30000000E+01,    0.12000000E+02,    0.00000000E+00,    0.00000000E+00,    "
            "0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    "
            "0.00000000E+00,    0.00000000E+00,    0.00000000E+00\n"
            " element,node0,node2,...node9\n");
}

TEST(WriteResults, OneUnloadedElementGivesTheCompleteFile) {
  // Checked by hand: node labels and coordinates in node order, zero
  // stresses everywhere, the loose node 11 included, and the element row
  // listing node numbers minus one in element node order.
  const TriangleModel t = triangle_model({{{{6, 0}, {0, 6}, {0, 0}}}}, {{9, 9}});
  EXPECT_EQ(written(t),
            R"( node,x,y,u,v,Sxx,Syy,Szz,Sxy,S11,S22,S33,Svm
     0,    0.60000000E+01,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00
     1,    0.00000000E+00,    0.60000000E+01,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00
     2,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00
     3,    0.40000000E+01,    0.20000000E+01,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00
     4,    0.20000000E+01,    0.40000000E+01,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00
     5,    0.00000000E+00,    0.40000000E+01,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00
     6,    0.00000000E+00,    0.20000000E+01,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00
     7,    0.20000000E+01,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00
     8,    0.40000000E+01,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00
     9,    0.20000000E+01,    0.20000000E+01,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00
    10,    0.90000000E+01,    0.90000000E+01,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00,    0.00000000E+00
 element,node0,node2,...node9
     0,     0,     1,     2,     3,     4,     5,     6,     7,     8,     9
)");
}

TEST(WriteResults, ElementRowFollowsElementNodeOrder) {
  // The second triangle starts at a corner numbered after the first
  // triangle's nodes and shares the others: its row is not ascending.
  const TriangleModel t = triangle_model({{{{6, 0}, {0, 6}, {0, 0}}}, {{{6, 6}, {0, 6}, {6, 0}}}});
  const std::vector<std::string> lines = lines_of(written(t));
  ASSERT_EQ(lines.size(), 1u + 16u + 1u + 2u);
  EXPECT_EQ(lines[18], "     0,     0,     1,     2,     3,     4,     5,     6,     7,     8,     9");
  EXPECT_EQ(lines[19], "     1,    10,     1,     0,    11,    12,     4,     3,    13,    14,    15");
}

// A fan of three triangles around the node at the origin, each holding it
// at a different local corner, with displacements that no cubic field
// reproduces, so each element gives the shared nodes its own stresses.
TriangleModel displaced_fan() {
  const Point c{0, 0}, a{6, 0}, b{3, 6}, d{-3, 6}, e{-6, 0};
  TriangleModel t = triangle_model({{c, a, b}, {b, d, c}, {e, c, d}}, {{0, -9}});
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> displacement(-1e-3, 1e-3);
  for (Node& node : t.model.nodes) {
    node.u = displacement(rng);
    node.v = displacement(rng);
  }
  return t;
}

TEST(WriteResults, SharedNodesGetTheMeanOfTheirElementsValues) {
  const TriangleModel t = displaced_fan();
  const ElementTables tables = init_element_tables();
  std::vector<ElementStresses> stresses;
  for (const Element& element : t.model.elements)
    stresses.push_back(element_nodal_stresses(tables, t.settings, gather_element(t.model, element)));
  // Stresses of element e (1-based) at local node k (1-based).
  auto at = [&](int e, int k) {
    const ElementStresses& s = stresses[static_cast<std::size_t>(e - 1)];
    const auto i = static_cast<std::size_t>(k - 1);
    return std::array<double, 4>{s.sxx[i], s.syy[i], s.szz[i], s.sxy[i]};
  };
  const int origin = t.node_at.at({0, 0});
  const int on_edge = t.node_at.at({1, 2});     // on the edge shared by elements 1 and 2
  const int own_corner = t.node_at.at({6, 0});  // element 1 only
  const int centre = t.node_at.at({-3, 2});     // local node 10 of element 3
  const struct {
    const char* name;
    int node;
    std::vector<std::array<double, 4>> values;
  } cases[] = {
      {"origin, three elements", origin, {at(1, 1), at(2, 3), at(3, 2)}},
      {"edge node, two elements", on_edge, {at(1, 9), at(2, 8)}},
      {"corner of one element", own_corner, {at(1, 2)}},
      {"centre node", centre, {at(3, 10)}},
  };
  // The element values really differ, or a mean would prove nothing.
  ASSERT_NE(at(1, 1)[0], at(2, 3)[0]);
  ASSERT_NE(at(2, 3)[0], at(3, 2)[0]);

  const std::vector<std::string> lines = lines_of(written(t));
  for (const auto& c : cases) {
    std::array<double, 4> mean{};
    for (std::size_t q = 0; q < 4; ++q) {
      for (const auto& v : c.values) mean[q] += v[q];
      mean[q] /= static_cast<double>(c.values.size());
    }
    const PrincipalStresses p = principal_stresses(mean[0], mean[1], mean[2], mean[3]);
    const std::vector<std::string> fields = fields_of(lines[static_cast<std::size_t>(c.node)]);
    ASSERT_EQ(fields.size(), 13u);
    EXPECT_EQ(fields[0], format_result_int(c.node - 1)) << c.name;
    const double expected[] = {mean[0], mean[1], mean[2], mean[3], p.s11, p.s22, p.s33, p.von_mises};
    for (std::size_t q = 0; q < 8; ++q)
      EXPECT_EQ(fields[5 + q], format_result_real(expected[q])) << c.name << ", column " << 5 + q;
  }
  // The loose node, in no element, shows zero stresses.
  const std::vector<std::string> loose = fields_of(lines[static_cast<std::size_t>(t.model.nodes.size())]);
  for (std::size_t q = 5; q < 13; ++q) EXPECT_EQ(loose[q], "    0.00000000E+00");
}

TEST(WriteResults, RowsHaveTheirFixedLengths) {
  const TriangleModel t = displaced_fan();
  const std::vector<std::string> lines = lines_of(written(t));
  const auto nodes = static_cast<std::size_t>(t.model.nodes.size());
  ASSERT_EQ(lines.size(), 1 + nodes + 1 + 3);
  EXPECT_EQ(lines[0], " node,x,y,u,v,Sxx,Syy,Szz,Sxy,S11,S22,S33,Svm");
  for (std::size_t i = 1; i <= nodes; ++i) {
    EXPECT_EQ(lines[i].size(), 234u) << "node row " << i;
    const std::vector<std::string> fields = fields_of(lines[i]);
    ASSERT_EQ(fields.size(), 13u);
    for (std::size_t q = 1; q < 13; ++q) {  // blanks only as leading padding
      const std::string& f = fields[q];
      EXPECT_EQ(f.size(), 18u);
      EXPECT_EQ(f.find(' ', f.find_first_not_of(' ')), std::string::npos) << f;
    }
  }
  EXPECT_EQ(lines[nodes + 1], " element,node0,node2,...node9");
  for (std::size_t j = nodes + 2; j < lines.size(); ++j)
    EXPECT_EQ(lines[j].size(), 76u) << "element row " << j;
}

}  // namespace
}  // namespace quorix
