#include "support/plate_mesh.hpp"

#include <random>
#include <vector>

#include "model/global_system.hpp"

namespace quorix::testing {

namespace {

int lattice_node(const PlateSpec& layout, int i, int j) { return j * (3 * layout.nx + 1) + i + 1; }

}  // namespace

const ElementTables& element_tables() {
  static const ElementTables tables = init_element_tables();
  return tables;
}

Model make_plate(const PlateSpec& layout, AnalysisSettings& settings) {
  settings = AnalysisSettings{};
  settings.analysis_type.assign(layout.analysis_type);
  settings.stress_state.assign(layout.stress_state);
  settings.load_increments = layout.load_increments;

  const int cols = 3 * layout.nx + 1;
  const int rows = 3 * layout.ny + 1;
  const double hx = layout.length / layout.nx;
  const double hy = layout.height / layout.ny;

  // Cell corners, interior ones moved at random.
  std::mt19937 random(layout.seed);
  std::uniform_real_distribution<double> shift(-layout.distortion, layout.distortion);
  std::vector<double> cx((layout.nx + 1) * (layout.ny + 1)), cy(cx.size());
  for (int j = 0; j <= layout.ny; ++j)
    for (int i = 0; i <= layout.nx; ++i) {
      const std::size_t c = static_cast<std::size_t>(j * (layout.nx + 1) + i);
      cx[c] = i * hx;
      cy[c] = j * hy;
      if (i > 0 && i < layout.nx && j > 0 && j < layout.ny) {
        cx[c] += shift(random) * hx;
        cy[c] += shift(random) * hy;
      }
    }
  auto corner = [&](int i, int j) { return static_cast<std::size_t>(j * (layout.nx + 1) + i); };

  Model model;
  model.nodes = Table1<Node>(static_cast<std::int64_t>(cols) * rows);
  for (int k = 1; k <= model.nodes.size(); ++k) model.nodes(k).id = k;

  // Every lattice point lies in a cell; place it by the cell's own triangle
  // (bilinear placement would bend the diagonal, so use the triangle's
  // barycentric position instead).
  for (int j = 0; j < rows; ++j)
    for (int i = 0; i < cols; ++i) {
      const int ci = i == cols - 1 ? layout.nx - 1 : i / 3;
      const int cj = j == rows - 1 ? layout.ny - 1 : j / 3;
      const double s = (i - 3 * ci) / 3.0;  // 0..1 within the cell
      const double t = (j - 3 * cj) / 3.0;
      const std::size_t a = corner(ci, cj), b = corner(ci + 1, cj), c = corner(ci + 1, cj + 1),
                        d = corner(ci, cj + 1);
      double x, y;
      if (s + t <= 1.0) {  // triangle a, b, d
        x = cx[a] + s * (cx[b] - cx[a]) + t * (cx[d] - cx[a]);
        y = cy[a] + s * (cy[b] - cy[a]) + t * (cy[d] - cy[a]);
      } else {  // triangle b, c, d
        x = cx[c] + (1.0 - s) * (cx[d] - cx[c]) + (1.0 - t) * (cx[b] - cx[c]);
        y = cy[c] + (1.0 - s) * (cy[d] - cy[c]) + (1.0 - t) * (cy[b] - cy[c]);
      }
      Node& node = model.nodes(lattice_node(layout, i, j));
      node.x = x;
      node.y = y;
    }

  model.materials = Table1<Material>(1);
  model.materials(1) = Material{1, layout.young, layout.poisson, layout.weight};
  model.thicknesses = Table1<Thickness>(1);
  model.thicknesses(1) = Thickness{1, layout.thickness};

  model.elements = Table1<Element>(2 * static_cast<std::int64_t>(layout.nx) * layout.ny);
  int e = 0;
  auto triangle = [&](std::array<int, 2> c1, std::array<int, 2> c2, std::array<int, 2> c3) {
    auto at = [&](int p, int q, int r) {
      return lattice_node(layout, (p * c1[0] + q * c2[0] + r * c3[0]) / 3,
                          (p * c1[1] + q * c2[1] + r * c3[1]) / 3);
    };
    Element& element = model.elements(++e);
    element.id = e;
    element.material = 1;
    element.thickness = 1;
    element.nodes = {at(3, 0, 0), at(0, 3, 0), at(0, 0, 3), at(2, 1, 0), at(1, 2, 0),
                     at(0, 2, 1), at(0, 1, 2), at(1, 0, 2), at(2, 0, 1), at(1, 1, 1)};
  };
  for (int j = 0; j < layout.ny; ++j)
    for (int i = 0; i < layout.nx; ++i) {
      const std::array<int, 2> a{3 * i, 3 * j}, b{3 * i + 3, 3 * j}, c{3 * i + 3, 3 * j + 3},
          d{3 * i, 3 * j + 3};
      triangle(a, b, d);
      triangle(b, c, d);
    }
  create_global_system(model);
  return model;
}

std::vector<int> plate_right_edge_elements(const PlateSpec& layout) {
  std::vector<int> elements;
  for (int j = 0; j < layout.ny; ++j) elements.push_back(2 * (j * layout.nx + layout.nx - 1) + 2);
  return elements;
}

std::vector<int> plate_left_nodes(const PlateSpec& layout) {
  std::vector<int> nodes;
  for (int j = 0; j <= 3 * layout.ny; ++j) nodes.push_back(lattice_node(layout, 0, j));
  return nodes;
}

std::vector<int> plate_right_nodes(const PlateSpec& layout) {
  std::vector<int> nodes;
  for (int j = 0; j <= 3 * layout.ny; ++j) nodes.push_back(lattice_node(layout, 3 * layout.nx, j));
  return nodes;
}

}  // namespace quorix::testing
