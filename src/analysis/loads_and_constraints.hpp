#pragma once
// Nodal forces, edge loads and prescribed displacements on the assembled,
// compressed system.

#include <array>

#include "analysis/equation_solver.hpp"
#include "element/element_tables.hpp"
#include "model/model.hpp"
#include "sparse/sparse_matrix.hpp"

namespace quorix {

// What a prescribed displacement imposes at its equations in one solve: its
// value divided by `divisor`, or 0 everywhere when `zero` is set (the later Newton iterations of a load
// step, which must leave a prescribed displacement where the first one put it).
struct PrescribedImposition {
  double divisor = 1.0;
  bool zero = false;
};

// Adds factor times the nodal forces and edge loads to the model's rhs, then
// eliminates the prescribed equations symmetrically: the imposed value times
// the matrix column moves to the right-hand side, the row and column are
// zeroed, the diagonal set to 1 and the right-hand side to the value. The
// matrix keeps its pattern; only values change. A process whose share does
// not add the loads (one of several assembling a system together) only moves
// its terms' share of the prescribed values to the right-hand side and
// leaves the diagonal and the value to the process that does.
void apply_loads_and_constraints(Model& model, const ElementTables& tables, GatherWorkspace& workspace,
                                 double factor, PrescribedImposition imposition,
                                 const AssemblyShare& share = AssemblyShare{});

// Equivalent nodal forces of a linearly varying edge load: x and y forces of
// the edge's four nodes in edge order, and their equation numbers.
struct EdgeLoadVector {
  std::array<double, 8> forces{};
  std::array<int, 8> equations{};
};
EdgeLoadVector edge_pressure_vector(const ElementTables& tables, const ElementData& element,
                                    const EdgePressure& pressure);

// The nodal forces and edge loads at load factor 1, added up by equation.
Table1<double> applied_loads(const Model& model, const ElementTables& tables);
// 1 at the equations that a prescribed displacement fixes, 0 at the others.
Table1<char> prescribed_mask(const Model& model);

}  // namespace quorix
