// The same bits on any thread count: whole analyses run on 1, 2 and 5
// threads give the same result file and console, byte for byte. The fronts
// are split over the threads however small they are, and subtrees of any
// size are shared out, so that every parallel path runs; the statistics show
// that the plates need what they are chosen for: delayed and 2 x 2 pivots
// (which send the factorization back to one front after the other), and
// subtrees factorized and swept back side by side.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "analysis/analysis.hpp"
#include "driver/load_model.hpp"
#include "ordering/nested_dissection.hpp"
#include "output/nodal_results.hpp"
#include "output/result_writer.hpp"
#include "parallel/task_pool.hpp"
#include "solver/front_kernels.hpp"
#include "solver/subtree_factors.hpp"
#include "support/plate_mesh.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

struct ModelRun {
  std::string console;
  std::string results;
  int most_two_by_two = 0;  // in one factorization
  bool delayed = false;     // some factorization used more factor storage than forecast
  int solves = 0;
  int side_by_side = 0;  // factorizations that shared subtrees out
  int sweep_runs = 0;    // subtrees the last backward sweep shared out
};

ModelRun run_model(const std::string& file, int threads, bool nested = false) {
  TaskPool pool(threads);
  const std::string text = testing::read_file(testing::source_dir() + "/tests/data/threads/" + file);
  Model model;
  AnalysisSettings settings;
  load_model(text, file, testing::element_tables(), model, settings, pool);
  ModelRun run;
  std::ostringstream console;
  Solver solver;
  solver.console = &console;
  solver.pool = &pool;
  // Even small subtrees and fronts shared out over the threads.
  solver.tuning.tasks_per_thread = 4.0;
  solver.tuning.min_task_work = 0.0;
  solver.tuning.max_root_front = 1 << 20;
  solver.tuning.panel_min_work = 0;
  solver.tuning.panel_min_rows = 8;
  solver.tuning.sweep_runs_per_thread = 4.0;
  solver.tuning.min_sweep_run_reals = 0.0;
  if (nested) {
    solver.pivot_order = nested_dissection_order(model);
    solver.pivot_tree = mesh_elimination_tree(model, solver.pivot_order);
  }
  // At the end of each factorization: its 2 x 2 pivots, and the factor
  // storage of the one before (RUSAGE is written after the last front).
  solver.factor_progress = [&](double share) {
    if (share < 1.0) return;
    ++run.solves;
    run.most_two_by_two = std::max(run.most_two_by_two, solver.info.NTWO);
    if (solver.info.subtree_tasks > 0) ++run.side_by_side;
    if (run.solves > 1) run.delayed = run.delayed || solver.info.RUSAGE > solver.info.RFACTS;
  };
  if (settings.analysis_type == "LINEAR") {
    linear_analysis(model, settings, testing::element_tables(), solver, console);
  } else {
    nonlinear_analysis(model, settings, testing::element_tables(), solver, console);
  }
  run.delayed = run.delayed || solver.info.RUSAGE > solver.info.RFACTS;
  run.sweep_runs = solver.info.sweep_runs;
  std::ostringstream results;
  write_results(model, nodal_results(model, settings, testing::element_tables(), pool), results, pool);
  run.console = console.str();
  run.results = results.str();
  return run;
}

// Under the sanitizers, which look for races and memory errors rather than
// bits, and run many times slower, fewer thread counts.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kThreads[] = {2};
constexpr int kNestedThreads[] = {3};
#else
constexpr int kThreads[] = {2, 5};
constexpr int kNestedThreads[] = {2, 3, 8};
#endif

TEST(ThreadCount, EveryThreadCountGivesTheSameFilesByteForByte) {
  struct Case {
    const char* file;
    bool pivots_delayed_and_paired;
  };
  // A plate sheared far beyond what one step can follow: its tangents are
  // indefinite. And a nonlinear plate with self-weight that converges.
  for (const Case& c : {Case{"sheared_plate.dat", true}, Case{"nonlinear_plate.dat", false}}) {
    SCOPED_TRACE(c.file);
    const ModelRun one = run_model(c.file, 1);
    EXPECT_GT(one.solves, 2);
    if (c.pivots_delayed_and_paired) {
      EXPECT_GT(one.most_two_by_two, 0);
      EXPECT_TRUE(one.delayed);
    }
    EXPECT_GT(one.results.size(), 10000u);
    for (int threads : kThreads) {
      SCOPED_TRACE(threads);
      const ModelRun many = run_model(c.file, threads);
      EXPECT_EQ(many.solves, one.solves);
      EXPECT_EQ(many.console, one.console);
      EXPECT_TRUE(many.results == one.results);
      // The definite tangents share subtrees out; the indefinite ones, whose
      // pivots are delayed, go back to one front after the other.
      EXPECT_GT(many.side_by_side, 0);
      EXPECT_GT(many.sweep_runs, 1);
      if (c.pivots_delayed_and_paired) {
        EXPECT_LT(many.side_by_side, many.solves);
      }
    }
  }
}

// The nested-dissection order too: its own tree, its own bits, the same on
// any number of threads.

TEST(ThreadCount, TheNestedOrderGivesTheSameFilesOnAnyThreadCount) {
  const ModelRun one = run_model("sheared_plate.dat", 1, true);
  EXPECT_GT(one.most_two_by_two, 0);
  for (int threads : kNestedThreads) {
    SCOPED_TRACE(threads);
    const ModelRun many = run_model("sheared_plate.dat", threads, true);
    EXPECT_GT(many.sweep_runs, 1);
    EXPECT_EQ(many.console, one.console);
    EXPECT_TRUE(many.results == one.results);
  }
}

}  // namespace
}  // namespace quorix
