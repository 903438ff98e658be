#pragma once
// Models built in memory for the tests: rectangular plates of 10-node cubic
// triangles, optionally with their interior corner nodes moved so that the
// elements are irregular (edges stay straight, edge nodes at the thirds).

#include <string>
#include <vector>

#include "element/element_tables.hpp"
#include "model/model.hpp"

namespace quorix::testing {

struct PlateSpec {
  int nx = 4;             // cells along x
  int ny = 2;             // cells along y
  double length = 4.0;    // extent in x
  double height = 2.0;    // extent in y
  double young = 1000.0;  // material
  double poisson = 0.25;
  double weight = 0.0;
  double thickness = 1.0;
  double distortion = 0.0;  // interior corners moved by up to this share of a cell
  unsigned seed = 1;
  std::string analysis_type = "LINEAR";
  std::string stress_state = "PLANE_STRESS";
  int load_increments = 1;
};

// Nodes, material, thickness and elements; no loads or supports. The global
// system is created as the reader creates it.
Model make_plate(const PlateSpec& layout, AnalysisSettings& settings);

// Element positions whose edge 1 lies on x = length (one per cell row).
std::vector<int> plate_right_edge_elements(const PlateSpec& layout);
// Node numbers on x = 0 and on x = length, bottom to top.
std::vector<int> plate_left_nodes(const PlateSpec& layout);
std::vector<int> plate_right_nodes(const PlateSpec& layout);

// The element tables, built once for all the tests of a program.
const ElementTables& element_tables();

}  // namespace quorix::testing
