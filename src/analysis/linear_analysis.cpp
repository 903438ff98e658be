#include <ostream>

#include "analysis/analysis.hpp"
#include "analysis/loads_and_constraints.hpp"
#include "analysis/stage_clock.hpp"
#include "element/dof_map.hpp"
#include "element/element_routines.hpp"

namespace quorix {

AnalysisOutcome linear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                                Solver& solver, std::ostream& console, StageTimes* times,
                                const AnalysisProgress& progress) {
  SparseMatrix& matrix = model.matrix;
  GatherWorkspace workspace;
  StageClock clock(times);

  // 1-3. Assemble the small-displacement stiffness and the self-weight.
  progress.stage("assembling");
  clear_sparse_matrix(matrix);
  for (double& r : model.rhs) r = 0.0;
  for (const Element& element : model.elements) {
    const ElementData data = gather_element(model, element);
    const Mat20 stiffness = linear_element_stiffness(tables, settings, data);
    const Vec20 weight = element_gravity_vector(tables, data);
    const std::array<int, 20> dofs = element_dof_numbers(data);
    add_element_matrix(matrix, &stiffness[0][0], dofs.data(), 20);
    for (std::size_t j = 0; j < 20; ++j) model.rhs(dofs[j]) += weight[j];
  }
  compress_sparse_matrix(matrix, workspace);
  clock.lap(&StageTimes::assembly);

  // 4. Loads at full value; prescribed displacements at their full values.
  apply_loads_and_constraints(model, tables, workspace, 1.0, PrescribedImposition{1.0, false});
  clock.lap(&StageTimes::constraints);

  // 5-6. Solve and hand the displacements to the node records.
  progress.stage("solving");
  const SolveStatus status = solve_sparse_system(solver, matrix, model.rhs, model.solution);
  clock.lap(&StageTimes::solve);
  clock.count_solve();
  copy_displacements_to_nodes(model);
  console << "SOLVED\n";

  free_sparse_matrix(matrix, workspace);
  return status == SolveStatus::solved ? AnalysisOutcome::completed : AnalysisOutcome::suspect;
}

}  // namespace quorix
