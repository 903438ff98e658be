#include "analysis/loads_and_constraints.hpp"

#include <cmath>
#include <vector>

namespace quorix {

namespace {

// A prescribed value is imposed as given, however small: a micrometre in a
// model in metres is a real displacement, not round-off.
double imposed_value(const PrescribedDisplacement& record, PrescribedImposition imposition) {
  if (imposition.zero || record.value == 0.0) return 0.0;
  return record.value / imposition.divisor;
}

}  // namespace

EdgeLoadVector edge_pressure_vector(const ElementTables& tables, const ElementData& element,
                                    const EdgePressure& pressure) {
  constexpr double third = 0.3333333333333333;
  constexpr double two_thirds = 0.6666666666666666;
  EdgeLoadVector load;

  // Edge nodes in edge order, from s = -1 to s = +1.
  std::array<double, 4> x{}, y{};
  const std::array<int, 4>& local = kEdgeNodes[static_cast<std::size_t>(pressure.edge - 1)];
  for (std::size_t j = 0; j < 4; ++j) {
    const std::size_t a = static_cast<std::size_t>(local[j] - 1);
    x[j] = element.x[a];
    y[j] = element.y[a];
    load.equations[2 * j] = 2 * element.node_ids[a] - 1;
    load.equations[2 * j + 1] = 2 * element.node_ids[a];
  }

  // Both components vary linearly from the edge's first node to its last.
  const std::array<double, 4> a = {pressure.q1_start,
                                   pressure.q1_end * third + pressure.q1_start * two_thirds,
                                   pressure.q1_end * two_thirds + pressure.q1_start * third, pressure.q1_end};
  const std::array<double, 4> b = {pressure.q2_start,
                                   pressure.q2_end * third + pressure.q2_start * two_thirds,
                                   pressure.q2_end * two_thirds + pressure.q2_start * third, pressure.q2_end};

  // Nodal tractions in x and y. In the local system the first component acts
  // along the edge's direction of travel and the second along that direction
  // turned a quarter turn counter-clockwise.
  std::array<double, 4> tx{}, ty{};
  if (pressure.system == "LOCAL") {
    for (std::size_t j = 0; j < 4; ++j) {
      double tangent_x = 0.0;
      double tangent_y = 0.0;
      for (std::size_t m = 0; m < 4; ++m) {
        tangent_x += kEdgeTangent[j][m] * x[m];
        tangent_y += kEdgeTangent[j][m] * y[m];
      }
      const double length = std::sqrt(tangent_x * tangent_x + tangent_y * tangent_y);
      const double unit_x = tangent_x / length;
      const double unit_y = tangent_y / length;
      tx[j] = a[j] * unit_x - b[j] * unit_y;
      ty[j] = a[j] * unit_y + b[j] * unit_x;
    }
  } else {
    tx = a;
    ty = b;
  }

  // Three-point Gauss rule along the edge; the line element is |dx/ds|.
  for (std::size_t g = 0; g < 3; ++g) {
    double traction_x = 0.0;
    double traction_y = 0.0;
    double dx = 0.0;
    double dy = 0.0;
    for (std::size_t j = 0; j < 4; ++j) {
      traction_x += tables.edge_shape[g][j] * tx[j];
      traction_y += tables.edge_shape[g][j] * ty[j];
    }
    for (std::size_t j = 0; j < 4; ++j) {
      dx += tables.edge_deriv[g][j] * x[j];
      dy += tables.edge_deriv[g][j] * y[j];
    }
    const double scale = std::sqrt(dx * dx + dy * dy) * kEdgeWeight[g];
    for (std::size_t j = 0; j < 4; ++j) {
      load.forces[2 * j] += traction_x * tables.edge_shape[g][j] * scale;
      load.forces[2 * j + 1] += traction_y * tables.edge_shape[g][j] * scale;
    }
  }
  return load;
}

void apply_loads_and_constraints(Model& model, const ElementTables& tables, GatherWorkspace& workspace,
                                 double factor, PrescribedImposition imposition, const AssemblyShare& share) {
  Table1<double>& rhs = model.rhs;
  SparseMatrix& matrix = model.matrix;

  // 1-2. Concentrated nodal forces, then edge loads, by the share that adds
  //      the loads.
  if (share.adds_loads) {
    for (const NodalForce& force : model.forces) {
      rhs(2 * force.node - 1) += factor * force.fx;
      rhs(2 * force.node) += factor * force.fy;
    }
    for (const EdgePressure& pressure : model.pressures) {
      const ElementData element = gather_element(model, model.elements(pressure.element));
      const EdgeLoadVector load = edge_pressure_vector(tables, element, pressure);
      for (std::size_t j = 0; j < 8; ++j) rhs(load.equations[j]) += factor * load.forces[j];
    }
  }

  // 3. Eliminate every prescribed equation s: rhs(r) -= q K(r, s) for all r
  // coupled to s, then zero row and column s. All equations are zeroed before
  // any diagonal is set, so a later record never sees couplings to an earlier one.
  std::array<int, 2> equations{};
  std::vector<int> prescribed;
  for (const PrescribedDisplacement& record : model.prescribed_displacements) {
    const int count = prescribed_equations(record, equations);
    prescribed.insert(prescribed.end(), equations.begin(), equations.begin() + count);
  }
  const ColumnIndex columns = index_columns(matrix, prescribed);
  for (const PrescribedDisplacement& record : model.prescribed_displacements) {
    const double q = imposed_value(record, imposition);
    const int count = prescribed_equations(record, equations);
    for (int e = 0; e < count; ++e) {
      const int s = equations[static_cast<std::size_t>(e)];
      if (q != 0.0) {
        gather_column(matrix, columns, s, workspace);
        for (std::int64_t i = 1; i <= workspace.gathered_count; ++i)
          rhs(workspace.gathered_rows(i)) -= q * workspace.gathered_values(i);
        gather_row(matrix, s, workspace);
        for (std::int64_t i = 1; i <= workspace.gathered_count; ++i)
          rhs(workspace.gathered_cols(i)) -= q * workspace.gathered_values(i);
      }
      set_column_values(matrix, columns, s, 0.0);
      set_row_values(matrix, s, 0.0);
    }
  }

  // 4. Unit diagonal and the imposed value on the right-hand side (as the
  //    share has them).
  for (const PrescribedDisplacement& record : model.prescribed_displacements) {
    const double q = imposed_value(record, imposition);
    const int count = prescribed_equations(record, equations);
    for (int e = 0; e < count; ++e) {
      const int s = equations[static_cast<std::size_t>(e)];
      set_term_value(matrix, s, s, share.prescribed_diagonal);
      rhs(s) = share.adds_loads ? share.prescribed_scale * q : 0.0;
    }
  }
}

Table1<double> applied_loads(const Model& model, const ElementTables& tables) {
  Table1<double> loads(model.rhs.size64(), 0.0);
  for (const NodalForce& force : model.forces) {
    loads(2 * force.node - 1) += force.fx;
    loads(2 * force.node) += force.fy;
  }
  for (const EdgePressure& pressure : model.pressures) {
    const EdgeLoadVector load =
        edge_pressure_vector(tables, gather_element(model, model.elements(pressure.element)), pressure);
    for (std::size_t j = 0; j < 8; ++j) loads(load.equations[j]) += load.forces[j];
  }
  return loads;
}

Table1<char> prescribed_mask(const Model& model) {
  Table1<char> mask(model.rhs.size64(), 0);
  std::array<int, 2> equations{};
  for (const PrescribedDisplacement& record : model.prescribed_displacements) {
    const int count = prescribed_equations(record, equations);
    for (int e = 0; e < count; ++e) mask(equations[static_cast<std::size_t>(e)]) = 1;
  }
  return mask;
}

}  // namespace quorix
