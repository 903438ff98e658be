#pragma once
// The model of one run: nodes, elements, materials, thicknesses and loads as
// read from the input file, the analysis settings, and the global system the
// analyses build from them.
//
// Numbering: node, material, thickness and element numbers are positions in
// their tables (1-based). Node k must carry id k; it owns equations 2k - 1 (x)
// and 2k (y).

#include <array>

#include "model/fixed_text.hpp"
#include "sparse/one_based.hpp"
#include "sparse/sparse_matrix.hpp"

namespace quorix {

struct Node {
  int id = 0;
  double x = 0.0;
  double y = 0.0;
  double u = 0.0;  // current displacement in x, written by the analyses
  double v = 0.0;  // current displacement in y
};

struct Material {
  int id = 0;
  double young_modulus = 0.0;
  double poisson_ratio = 0.0;
  double specific_weight = 0.0;  // weight per unit volume, acting in -y
};

struct Thickness {
  int id = 0;
  double value = 0.0;
};

// A 10-node cubic triangle. The references are positions in the model's
// tables, resolved when the element is read: nodes[0..9] are local nodes 1..10
// (corners 1-3, edge nodes 4-9, centre 10).
struct Element {
  int id = 0;
  int material = 0;
  int thickness = 0;
  std::array<int, 10> nodes{};
};

struct NodalForce {
  int id = 0;
  int node = 0;
  double fx = 0.0;
  double fy = 0.0;
};

struct EdgePressure {
  int id = 0;
  int element = 0;  // position in the element table
  int edge = 0;     // 1, 2 or 3
  FixedText<6> system;
  double q1_start = 0.0;
  double q1_end = 0.0;
  double q2_start = 0.0;
  double q2_end = 0.0;
};

struct PrescribedDisplacement {
  int id = 0;
  int node = 0;
  FixedText<4> direction;  // "X", "Y" or "BOTH"
  double value = 0.0;
};

// The equations a prescribed displacement fixes: 2k - 1 for "X", 2k for "Y",
// both for "BOTH" (in that order), none for anything else. Returns the count.
inline int prescribed_equations(const PrescribedDisplacement& record, std::array<int, 2>& equations) {
  const int k = record.node;
  if (record.direction == "X") {
    equations[0] = 2 * k - 1;
    return 1;
  }
  if (record.direction == "Y") {
    equations[0] = 2 * k;
    return 1;
  }
  if (record.direction == "BOTH") {
    equations[0] = 2 * k - 1;
    equations[1] = 2 * k;
    return 2;
  }
  return 0;
}

struct AnalysisSettings {
  FixedText<10> analysis_type{"NONLINEAR"};
  FixedText<12> stress_state{"PLANE_STRESS"};
  int load_increments = 3;
  double displacement_tolerance = 1.0e-6;
  double penalty_factor = 1.0e6;  // read and kept; no analysis uses it
};

struct Model {
  Table1<Node> nodes;
  Table1<Element> elements;
  Table1<Material> materials;
  Table1<Thickness> thicknesses;
  Table1<NodalForce> forces;
  Table1<PrescribedDisplacement> prescribed_displacements;
  Table1<EdgePressure> pressures;
  SparseMatrix matrix;
  Table1<double> rhs;       // 2N: assembled loads, or out-of-balance forces
  Table1<double> solution;  // 2N: u and v of node 1, then of node 2, ...
};

}  // namespace quorix
