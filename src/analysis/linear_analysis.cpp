#include <ostream>

#include "analysis/analysis.hpp"
#include "analysis/element_assembly.hpp"
#include "analysis/loads_and_constraints.hpp"
#include "analysis/nonlinear_steps.hpp"
#include "analysis/stage_clock.hpp"
#include "element/dof_map.hpp"
#include "element/element_routines.hpp"
#include "model/global_system.hpp"

namespace quorix {

AnalysisResult linear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                               EquationSolver& equations, std::ostream& console, StageTimes* times,
                               const AnalysisProgress& progress) {
  SparseMatrix& matrix = model.matrix;
  const AssemblyShare share = equations.share(model);
  GatherWorkspace workspace;
  StageClock clock(times);

  // The stiffness of small displacements and the elements' own weight,
  // assembled and compressed; then the loads and the prescribed
  // displacements, all at their full values.
  auto assemble = [&] {
    progress.stage("assembling");
    clear_sparse_matrix(matrix);
    for (double& r : model.rhs) r = 0.0;
    assemble_elements(
        model, &matrix, model.rhs, share.pool,
        [&](const ElementData& data, Mat20* stiffness, Vec20& weight) {
          *stiffness = linear_element_stiffness(tables, settings, data);
          weight = element_gravity_vector(tables, data);
        },
        share.first_element, share.end_element);
    compress_sparse_matrix(matrix, workspace, share.pool);
    clock.lap(&StageTimes::assembly);
    apply_loads_and_constraints(model, tables, workspace, 1.0, PrescribedImposition{1.0, false}, share);
    clock.lap(&StageTimes::constraints);
  };
  assemble();

  // One solve; its displacements go to the node records. The matrix is
  // needed for nothing after it, so the solver may free it once it has the
  // terms in its own storage; should it need them again, they are
  // assembled once more.
  progress.stage("solving");
  SolveStatus status = equations.solve_freeing_matrix(matrix, model.rhs, model.solution);
  if (status == SolveStatus::matrix_needed) {
    clock.lap(&StageTimes::solve);
    create_global_matrix(model);
    assemble();
    progress.stage("solving");
    status = equations.solve(matrix, model.rhs, model.solution);
  }
  equations.release();  // the only solve
  clock.lap(&StageTimes::solve);
  clock.count_solve();
  copy_displacements_to_nodes(model);
  console << "SOLVED" << std::endl;

  free_sparse_matrix(matrix, workspace);
  return {status == SolveStatus::solved ? AnalysisOutcome::completed : AnalysisOutcome::suspect, 1.0};
}

AnalysisResult linear_analysis(Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                               Solver& solver, std::ostream& console, StageTimes* times,
                               const AnalysisProgress& progress) {
  OwnEquationSolver equations(solver);
  return linear_analysis(model, settings, tables, equations, console, times, progress);
}

}  // namespace quorix
