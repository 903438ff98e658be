#include <ostream>

#include "analysis/analysis.hpp"
#include "analysis/element_assembly.hpp"
#include "analysis/loads_and_constraints.hpp"
#include "analysis/stage_clock.hpp"
#include "element/dof_map.hpp"
#include "element/element_routines.hpp"

namespace quorix {

AnalysisResult linear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                               Solver& solver, std::ostream& console, StageTimes* times,
                               const AnalysisProgress& progress) {
  SparseMatrix& matrix = model.matrix;
  GatherWorkspace workspace;
  StageClock clock(times);

  // 1-3. Assemble the small-displacement stiffness and the self-weight.
  progress.stage("assembling");
  clear_sparse_matrix(matrix);
  for (double& r : model.rhs) r = 0.0;
  assemble_elements(model, &matrix, model.rhs, solver.pool,
                    [&](const ElementData& data, Mat20* stiffness, Vec20& weight) {
                      *stiffness = linear_element_stiffness(tables, settings, data);
                      weight = element_gravity_vector(tables, data);
                    });
  compress_sparse_matrix(matrix, workspace, solver.pool);
  clock.lap(&StageTimes::assembly);

  // 4. Loads at full value; prescribed displacements at their full values.
  apply_loads_and_constraints(model, tables, workspace, 1.0, PrescribedImposition{1.0, false});
  clock.lap(&StageTimes::constraints);

  // 5-6. Solve and hand the displacements to the node records.
  progress.stage("solving");
  const SolveStatus status = solve_sparse_system(solver, matrix, model.rhs, model.solution);
  release_solver_memory(solver);  // the only solve
  clock.lap(&StageTimes::solve);
  clock.count_solve();
  copy_displacements_to_nodes(model);
  console << "SOLVED" << std::endl;

  free_sparse_matrix(matrix, workspace);
  return {status == SolveStatus::solved ? AnalysisOutcome::completed : AnalysisOutcome::suspect, 1.0};
}

}  // namespace quorix
