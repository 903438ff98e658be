#include "output/svg_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "element/element_tables.hpp"

namespace quorix {

namespace {

// The page: a fixed width, the plot at the left, the colour bar at the right.
constexpr double kPageWidth = 1000.0;
constexpr double kMargin = 20.0;
constexpr double kTitleHeight = 70.0;
constexpr double kBarWidth = 24.0;
constexpr double kBarSpace = 150.0;  // right of the plot: bar and labels
constexpr double kMaxPlotHeight = 700.0;
constexpr double kMinPlotHeight = 300.0;  // room for the colour bar
// Colours per stress range: fills are grouped by colour, one path each.
constexpr int kLevels = 128;
// Facet size aimed at, in pixels, and the most facets along an element edge.
constexpr double kFacetPixels = 6.0;
constexpr int kMaxDivisions = 8;
// Elements smaller than this on the page (on average) get no outlines of
// their own: the lines would hide the colours.
constexpr double kOutlinePixels = 8.0;
// Page coordinates are written in tenths of a pixel, as integers.
constexpr double kUnits = 10.0;

// A perceptually uniform colour map from dark violet through blue and green
// to yellow, at 0, 0.1, ..., 1, interpolated linearly in between.
constexpr unsigned char kMap[11][3] = {{68, 1, 84},    {72, 36, 117},  {65, 68, 135},  {53, 95, 141},
                                       {42, 120, 142}, {33, 145, 140}, {34, 168, 132}, {68, 191, 112},
                                       {122, 209, 81}, {189, 223, 38}, {253, 231, 37}};

bool finite(double x) { return std::isfinite(x); }

// The displacement as drawn: a non-finite one (a failed solve) is not drawn.
double drawn(double d) { return finite(d) ? d : 0.0; }

// Text for an XML attribute or element: markup characters escaped, control
// characters and bytes that are not UTF-8 replaced by '?'.
std::string xml_text(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    for (std::size_t k = 1; k < length; ++k)
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) >> 6) != 2) length = 0;
    if (length > 1) {
      out.append(text, i, length);
      i += length - 1;
    } else if (length == 0 || c < 0x20 || c == 0x7f) {
      out += '?';
    } else if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"') {
      out += "&quot;";
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string number(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

void put_int(std::string& out, long value) {
  char buffer[24];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

// A page point in tenths of a pixel.
void put_point(std::string& out, std::array<double, 2> p) {
  put_int(out, std::lround(p[0] * kUnits));
  out += ' ';
  put_int(out, std::lround(p[1] * kUnits));
}

// Shape functions at the points of an element cut into n x n triangles: the
// grid points (qsi, eta) = (i/n, j/n), i + j <= n, and the centres of the
// triangles, with the triangles' corners as grid point numbers.
struct Subdivision {
  std::vector<Vec10> grid;
  std::vector<std::array<int, 3>> triangles;
  std::vector<Vec10> centres;
};

Subdivision subdivision(int n) {
  Subdivision s;
  std::vector<std::vector<int>> number(static_cast<std::size_t>(n + 1));
  std::vector<std::array<double, 2>> natural;
  for (int i = 0; i <= n; ++i)
    for (int j = 0; j <= n - i; ++j) {
      number[static_cast<std::size_t>(i)].push_back(static_cast<int>(natural.size()));
      natural.push_back({static_cast<double>(i) / n, static_cast<double>(j) / n});
    }
  for (const auto& [q, e] : natural) s.grid.push_back(shape_functions(q, e));
  auto at = [&](int i, int j) { return number[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]; };
  auto add = [&](int a, int b, int c) {
    s.triangles.push_back({a, b, c});
    const auto& pa = natural[static_cast<std::size_t>(a)];
    const auto& pb = natural[static_cast<std::size_t>(b)];
    const auto& pc = natural[static_cast<std::size_t>(c)];
    s.centres.push_back(shape_functions((pa[0] + pb[0] + pc[0]) / 3.0, (pa[1] + pb[1] + pc[1]) / 3.0));
  };
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n - i; ++j) {
      add(at(i, j), at(i + 1, j), at(i, j + 1));
      if (i + j < n - 1) add(at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
    }
  return s;
}

template <class T>
T interpolated(const Vec10& shape, const std::array<T, 10>& values) {
  T sum{};
  for (std::size_t k = 0; k < 10; ++k) sum += shape[k] * values[k];
  return sum;
}

// The outlines: every element edge once, as the cubic Bezier curve through
// its four deformed nodes, or only the edges that belong to one element.
std::string outline_path(const Model& model, const PictureLayout& layout, bool plate_edges_only) {
  // Edge e of an element runs from corner kEdge[e][0] through its two edge
  // nodes to corner kEdge[e][3] (0-based local nodes).
  static constexpr int kEdge[3][4] = {{0, 3, 4, 1}, {1, 5, 6, 2}, {2, 7, 8, 0}};
  struct EdgeRef {
    std::uint64_t key;  // the corner node numbers, smaller first
    int element;
    int edge;
  };
  std::vector<EdgeRef> edges;
  edges.reserve(3 * static_cast<std::size_t>(model.elements.size()));
  for (int k = 1; k <= model.elements.size(); ++k)
    for (int e = 0; e < 3; ++e) {
      const auto& nodes = model.elements(k).nodes;
      const auto a = static_cast<std::uint64_t>(nodes[static_cast<std::size_t>(kEdge[e][0])]);
      const auto b = static_cast<std::uint64_t>(nodes[static_cast<std::size_t>(kEdge[e][3])]);
      edges.push_back({std::min(a, b) << 32 | std::max(a, b), k, e});
    }
  std::sort(edges.begin(), edges.end(), [](const EdgeRef& x, const EdgeRef& y) {
    return x.key != y.key ? x.key < y.key : x.element < y.element;
  });
  std::string d;
  for (std::size_t first = 0, last; first < edges.size(); first = last) {
    for (last = first + 1; last < edges.size() && edges[last].key == edges[first].key;) ++last;
    if (plate_edges_only && last - first > 1) continue;
    const EdgeRef& edge = edges[first];
    std::array<std::array<double, 2>, 4> p;
    for (std::size_t j = 0; j < 4; ++j)
      p[j] = layout.page(
          model.nodes(model.elements(edge.element).nodes[static_cast<std::size_t>(kEdge[edge.edge][j])]));
    // Control points of the cubic through p0, p1, p2, p3 at t = 0, 1/3, 2/3, 1.
    std::array<double, 2> b1, b2;
    for (std::size_t c = 0; c < 2; ++c) {
      b1[c] = (-5.0 * p[0][c] + 18.0 * p[1][c] - 9.0 * p[2][c] + 2.0 * p[3][c]) / 6.0;
      b2[c] = (2.0 * p[0][c] - 9.0 * p[1][c] + 18.0 * p[2][c] - 5.0 * p[3][c]) / 6.0;
    }
    d += 'M';
    put_point(d, p[0]);
    d += 'C';
    put_point(d, b1);
    d += ' ';
    put_point(d, b2);
    d += ' ';
    put_point(d, p[3]);
  }
  return d;
}

std::string analysis_text(const AnalysisSettings& settings, double load_level) {
  const bool linear = settings.analysis_type == "LINEAR";
  std::string text = linear ? "linear analysis" : "nonlinear analysis";
  text += settings.stress_state == "PLANE_STRAIN" ? ", plane strain" : ", plane stress";
  if (!linear) text += ", " + std::to_string(settings.load_increments) + " load steps";
  text += load_level == 1.0 ? ", full load" : ", " + number("%.3f", load_level * 100.0) + " % of the load";
  return text;
}

}  // namespace

std::array<double, 2> PictureLayout::page(const Node& node) const {
  return page(node.x + magnification * drawn(node.u), node.y + magnification * drawn(node.v));
}

std::string stress_colour(double share) {
  const double s = std::clamp(finite(share) ? share : 0.0, 0.0, 1.0) * 10.0;
  const int low = std::min(static_cast<int>(s), 9);
  const double w = s - low;
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x",
                static_cast<int>(std::lround(kMap[low][0] + w * (kMap[low + 1][0] - kMap[low][0]))),
                static_cast<int>(std::lround(kMap[low][1] + w * (kMap[low + 1][1] - kMap[low][1]))),
                static_cast<int>(std::lround(kMap[low][2] + w * (kMap[low + 1][2] - kMap[low][2]))));
  return text;
}

PictureLayout picture_layout(const Model& model) {
  PictureLayout layout;
  // The model's size and its largest displacement fix the magnification.
  double x_low = INFINITY, x_high = -INFINITY, y_low = INFINITY, y_high = -INFINITY;
  for (const Node& node : model.nodes) {
    x_low = std::min(x_low, node.x);
    x_high = std::max(x_high, node.x);
    y_low = std::min(y_low, node.y);
    y_high = std::max(y_high, node.y);
    const double d = std::hypot(drawn(node.u), drawn(node.v));
    if (finite(d)) layout.largest_displacement = std::max(layout.largest_displacement, d);
  }
  const double size = model.nodes.empty() ? 1.0 : std::max(x_high - x_low, y_high - y_low);
  if (layout.largest_displacement > 0.0 && size > 0.0)
    layout.magnification = 0.1 * size / layout.largest_displacement;
  if (!finite(layout.magnification)) layout.magnification = 1.0;

  // The deformed shape fits the plot; the plot fits the page.
  x_low = y_low = INFINITY;
  x_high = y_high = -INFINITY;
  for (const Node& node : model.nodes) {
    const double x = node.x + layout.magnification * drawn(node.u);
    const double y = node.y + layout.magnification * drawn(node.v);
    x_low = std::min(x_low, x);
    x_high = std::max(x_high, x);
    y_low = std::min(y_low, y);
    y_high = std::max(y_high, y);
  }
  if (model.nodes.empty()) x_low = x_high = y_low = y_high = 0.0;
  const double width = x_high - x_low, height = y_high - y_low;
  const double plot_width = kPageWidth - 2.0 * kMargin - kBarSpace;
  layout.scale = 1.0;
  if (width > 0.0 || height > 0.0)
    layout.scale = std::min(width > 0.0 ? plot_width / width : INFINITY,
                            height > 0.0 ? kMaxPlotHeight / height : INFINITY);
  if (!finite(layout.scale) || layout.scale <= 0.0) layout.scale = 1.0;
  layout.x_min = x_low;
  layout.y_max = y_high;
  layout.plot_width = width * layout.scale;
  layout.plot_height = height * layout.scale;
  layout.plot_left = kMargin + 0.5 * (plot_width - layout.plot_width);
  const double plot_area_height = std::max(layout.plot_height, kMinPlotHeight);
  layout.plot_top = kTitleHeight + 0.5 * (plot_area_height - layout.plot_height);
  layout.page_width = kPageWidth;
  layout.page_height = kTitleHeight + plot_area_height + 2.0 * kMargin;
  return layout;
}

void write_svg(const Model& model, const AnalysisSettings& settings, const NodalResults& results,
               const PictureTitle& title, std::ostream& out) {
  const PictureLayout layout = picture_layout(model);

  // ---- The stress range, over the nodes that belong to elements. ----
  double low = INFINITY, high = -INFINITY;
  for (const Element& element : model.elements)
    for (int node : element.nodes)
      if (const double s = results.stress(node).principal.von_mises; finite(s)) {
        low = std::min(low, s);
        high = std::max(high, s);
      }
  if (!(low <= high)) low = high = 0.0;
  const double range = high > low ? high - low : 1.0;

  // ---- Facets, grouped by colour level. ----
  std::vector<Subdivision> subdivisions;
  for (int n = 1; n <= kMaxDivisions; ++n) subdivisions.push_back(subdivision(n));
  std::vector<std::string> fills(kLevels);
  double size_sum = 0.0;
  std::vector<std::array<double, 2>> grid;
  for (const Element& element : model.elements) {
    std::array<std::array<double, 2>, 10> at{};
    std::array<double, 10> sxx{}, syy{}, szz{}, sxy{};
    for (std::size_t k = 0; k < 10; ++k) {
      at[k] = layout.page(model.nodes(element.nodes[k]));
      const NodeStress& s = results.stress(element.nodes[k]);
      sxx[k] = s.sxx;
      syy[k] = s.syy;
      szz[k] = s.szz;
      sxy[k] = s.sxy;
    }
    double size = 0.0;  // the longest corner-to-corner distance on the page
    for (std::size_t a = 0; a < 3; ++a)
      size = std::max(size, std::hypot(at[a][0] - at[(a + 1) % 3][0], at[a][1] - at[(a + 1) % 3][1]));
    if (finite(size)) size_sum += size;
    // Clamped as a real first: a cast of a real beyond int's range is undefined.
    const int n =
        finite(size) ? static_cast<int>(std::clamp(size / kFacetPixels, 1.0, 1.0 * kMaxDivisions)) : 1;
    const Subdivision& cut = subdivisions[static_cast<std::size_t>(n - 1)];
    grid.clear();
    for (const Vec10& shape : cut.grid) {
      std::array<double, 2> p{};
      for (std::size_t k = 0; k < 10; ++k) {
        p[0] += shape[k] * at[k][0];
        p[1] += shape[k] * at[k][1];
      }
      grid.push_back(p);
    }
    for (std::size_t t = 0; t < cut.triangles.size(); ++t) {
      const Vec10& shape = cut.centres[t];
      const double von_mises = principal_stresses(interpolated(shape, sxx), interpolated(shape, syy),
                                                  interpolated(shape, szz), interpolated(shape, sxy))
                                   .von_mises;
      const double share = finite(von_mises) ? (von_mises - low) / range : 0.0;
      const int level = static_cast<int>(std::clamp(share * kLevels, 0.0, kLevels - 1.0));
      std::string& d = fills[static_cast<std::size_t>(level)];
      const auto& [a, b, c] = cut.triangles[t];
      d += 'M';
      put_point(d, grid[static_cast<std::size_t>(a)]);
      d += 'L';
      put_point(d, grid[static_cast<std::size_t>(b)]);
      d += 'L';
      put_point(d, grid[static_cast<std::size_t>(c)]);
      d += 'Z';
    }
  }
  const bool plate_edges_only = model.elements.empty() || size_sum / model.elements.size() < kOutlinePixels;

  // ---- The page. ----
  const double w = layout.page_width, h = layout.page_height;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << w << "\" height=\"" << number("%.0f", h)
      << "\" viewBox=\"0 0 " << w << ' ' << number("%.0f", h) << "\" font-family=\"sans-serif\">\n"
      << "<title>" << xml_text(title.file_name) << ": von Mises stress</title>\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
      << "<text x=\"" << kMargin << "\" y=\"30\" font-size=\"18\">" << xml_text(title.file_name) << ": "
      << analysis_text(settings, title.load_level) << "</text>\n"
      << "<text x=\"" << kMargin << "\" y=\"52\" font-size=\"13\">Deformed shape, displacements drawn "
      << number("%.4g", layout.magnification) << " times their size (the largest is "
      << number("%.4g", layout.largest_displacement) << "); colour: von Mises stress"
      << (plate_edges_only && !model.elements.empty() ? "; elements too small to outline" : "")
      << "</text>\n";

  // Facets, each also stroked in its own colour so that no seam shows between
  // neighbours; coordinates in tenths of a pixel.
  out << "<g transform=\"scale(0.1)\" stroke-width=\"5\" stroke-linejoin=\"round\">\n";
  for (int level = 0; level < kLevels; ++level) {
    const std::string& d = fills[static_cast<std::size_t>(level)];
    if (d.empty()) continue;
    const std::string colour = stress_colour((level + 0.5) / kLevels);
    out << "<path fill=\"" << colour << "\" stroke=\"" << colour << "\" d=\"" << d << "\"/>\n";
  }
  out << "</g>\n";
  out << "<g transform=\"scale(0.1)\" fill=\"none\" stroke=\"#000000\" stroke-opacity=\"0.7\" stroke-width=\""
      << (plate_edges_only ? 10 : 6) << "\" stroke-linejoin=\"round\">\n"
      << "<path d=\"" << outline_path(model, layout, plate_edges_only) << "\"/>\n</g>\n";

  // The colour bar: the levels stacked from the lowest at the bottom.
  const double bar_left = w - kMargin - kBarSpace + 40.0;
  const double bar_top = kTitleHeight + 20.0;
  const double bar_height = h - kTitleHeight - 2.0 * kMargin - 40.0;
  const double step = bar_height / kLevels;
  out << "<g stroke-width=\"0.5\">\n";
  for (int level = 0; level < kLevels; ++level) {
    const std::string colour = stress_colour((level + 0.5) / kLevels);
    out << "<rect x=\"" << bar_left << "\" y=\"" << number("%.2f", bar_top + bar_height - (level + 1) * step)
        << "\" width=\"" << kBarWidth << "\" height=\"" << number("%.2f", step) << "\" fill=\"" << colour
        << "\" stroke=\"" << colour << "\"/>\n";
  }
  out << "</g>\n<rect x=\"" << bar_left << "\" y=\"" << bar_top << "\" width=\"" << kBarWidth
      << "\" height=\"" << number("%.2f", bar_height) << "\" fill=\"none\" stroke=\"#000000\"/>\n";
  const double label_x = bar_left + kBarWidth + 6.0;
  // The title stands clear above the top label, which is centred on the
  // bar's top edge: its baseline 20 above the edge, the label's letters
  // reaching about 6 above it.
  out << "<text x=\"" << bar_left << "\" y=\"" << bar_top - 20.0 << "\" font-size=\"13\">von Mises</text>\n";
  for (int quarter = 0; quarter <= 4; ++quarter) {
    const double y = bar_top + bar_height * (1.0 - quarter / 4.0);
    const char* note = quarter == 0 ? " min" : quarter == 4 ? " max" : "";
    out << "<line x1=\"" << label_x - 6.0 << "\" y1=\"" << number("%.2f", y) << "\" x2=\"" << label_x - 2.0
        << "\" y2=\"" << number("%.2f", y) << "\" stroke=\"#000000\"/>\n"
        << "<text x=\"" << label_x << "\" y=\"" << number("%.2f", y + 4.0) << "\" font-size=\"13\">"
        << number("%.4g", low + (high - low) * quarter / 4.0) << note << "</text>\n";
  }
  out << "</svg>\n";
}

}  // namespace quorix
