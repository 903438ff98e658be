// MFFACT: argument checks and messages, pivot choice (1x1, 2x2, delayed),
// inertia, definite mode, storage shortfalls and compressions, and the
// panel elimination giving the same bits as pivot-by-pivot elimination.

#include "solver/factorization_phase.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "parallel/task_pool.hpp"
#include "solver/dense_reference.hpp"
#include "solver/front_step.hpp"
#include "solver/solver_interface.hpp"

namespace quorix {
namespace {

using testing::AssemblyTree;
using testing::Entries;
using testing::FactorRun;

Entries two_by_two_swap() {  // [[0, 1], [1, 0]]
  Entries m;
  m.n = 2;
  m.add(1, 2, 1.0);
  return m;
}

TEST(MFFACT, RejectsArgumentsOutOfRangeWithTheirMessages) {
  const Entries m = testing::random_definite(5, 2, 11);
  const AssemblyTree tree = testing::single_node_tree(5);
  const std::int64_t nz = m.nz();
  struct Case {
    const char* what;
    int n;
    std::int64_t nz, la, liw;
    int nnodes;
    int iflag;
    std::int64_t ierror;
    std::string message;
  };
  const std::string header = " **** ERROR RETURN FROM MFFACT **** IFLAG=";
  const std::vector<Case> cases = {
      {"N = 0", 0, nz, 100, 100, 1, -1, -99, header + " -1\n VALUE OF N OUT OF RANGE ... =         0\n"},
      {"NZ < 0", 5, -1, 100, 100, 1, -2, -99, header + " -2\n VALUE OF NZ OUT OF RANGE .. =        -1\n"},
      {"LIW < NZ", 5, nz, 100, nz - 1, 1, -3, nz,
       header + " -3\n LIW TOO SMALL, MUST BE INCREASED FROM" + fortran_int(nz - 1, 10) + " TO AT LEAST" +
           fortran_int(nz, 10) + "\n"},
      {"LA = NZ + N - 1", 5, nz, nz + 4, 100, 1, -4, nz + 5,
       header + " -4\n LA TOO SMALL, MUST BE INCREASED FROM " + fortran_int(nz + 4, 10) + " TO AT LEAST" +
           fortran_int(nz + 5, 10) + "\n"},
      {"NNODES = 0", 5, nz, 100, 100, 0, -7, -99, header + " -7\n NNODES is out of range\n"},
      {"NNODES > N", 5, nz, 100, 100, 6, -7, -99, header + " -7\n NNODES is out of range\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ostringstream out;
    Solver solver = testing::quiet_solver(out);
    solver.info.IERROR = -99;
    std::vector<double> real_space(static_cast<std::size_t>(c.la), 0.0);
    std::copy(m.values.begin(), m.values.begin() + std::min<std::int64_t>(c.la, nz), real_space.begin());
    std::vector<int> int_space(static_cast<std::size_t>(c.liw)), tree_work(5);
    int mfront = 0, iflag = 0;
    MFFACT(solver, c.n, c.nz, m.rows, m.cols, real_space, c.la, int_space, c.liw, tree.iplan, c.nnodes,
           mfront, tree_work, iflag);
    EXPECT_EQ(iflag, c.iflag);
    EXPECT_EQ(solver.info.IERROR, c.ierror);
    EXPECT_EQ(out.str(), c.message);
  }
}

TEST(MFFACT, IgnoresEntriesOutsideTheMatrixWithWarnings) {
  const Entries clean = testing::random_definite(6, 2, 5);
  Entries noisy = clean;
  for (int t = 0; t < 11; ++t) noisy.add(t % 2 == 0 ? 0 : 3, t % 2 == 0 ? 2 : 7 + t, 100.0 + t);
  const AssemblyTree tree = testing::elimination_tree(clean, true);
  std::ostringstream clean_out, noisy_out;
  Solver clean_solver = testing::quiet_solver(clean_out), noisy_solver = testing::quiet_solver(noisy_out);
  const FactorRun expected = testing::factorize(clean_solver, clean, tree);
  const FactorRun run = testing::factorize(noisy_solver, noisy, tree);
  EXPECT_EQ(expected.iflag, 0);
  EXPECT_EQ(run.iflag, 1);
  EXPECT_EQ(run.info.IERROR, 11);
  EXPECT_TRUE(testing::same_factors(run, expected));
  std::string lines = " *** WARNING MESSAGE FROM SUBROUTINE MFFACT *** IFLAG = 1\n";
  const std::int64_t first = clean.nz() + 1;
  for (int t = 0; t < 10; ++t) {
    lines += fortran_int(first + t, 6) + "TH NON-ZERO (IN ROW" + fortran_int(t % 2 == 0 ? 0 : 3, 6) +
             " AND COLUMN" + fortran_int(t % 2 == 0 ? 2 : 7 + t, 6) + ") IGNORED\n";
  }
  EXPECT_EQ(noisy_out.str(), lines);
  EXPECT_EQ(clean_out.str(), "");
}

TEST(MFFACT, ZeroDiagonalPairTakesOneTwoByTwoPivot) {
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  const Entries m = two_by_two_swap();
  const FactorRun run = testing::factorize(solver, m, testing::single_node_tree(2));
  EXPECT_EQ(run.iflag, 0);
  EXPECT_EQ(run.info.NTWO, 1);
  EXPECT_EQ(run.info.negative_pivot_count, 1);
  EXPECT_EQ(run.mfront, 2);
  // One block of order 2 with 2 pivots, the pair's first index negated; the
  // pivot rows hold the inverse [[0, 1], [1, 0]].
  EXPECT_EQ(std::vector<int>(run.int_space.begin(), run.int_space.begin() + 5),
            (std::vector<int>{-1, 2, 2, -1, 2}));
  EXPECT_EQ(run.info.IUSAGE, 5);
  EXPECT_EQ(run.info.RUSAGE, 3);
  EXPECT_EQ(run.real_space[0], 0.0);
  EXPECT_EQ(run.real_space[1], 1.0);
  EXPECT_EQ(run.real_space[2], 0.0);
  EXPECT_EQ(out.str(), "");
}

TEST(MFFACT, DelayedPivotIsTakenAtTheFather) {
  // [[0, 1, 0], [1, 0, 1], [0, 1, 2]] with one node per variable: the first
  // node cannot pivot on its zero diagonal and hands variable 1 to its
  // father, where it pairs with variable 2.
  Entries m;
  m.n = 3;
  m.add(1, 2, 1.0);
  m.add(2, 3, 1.0);
  m.add(3, 3, 2.0);
  m.add(1, 1, 0.0);
  const AssemblyTree tree = testing::elimination_tree(m, false);
  ASSERT_EQ(tree.nnodes, 3);
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  const FactorRun run = testing::factorize(solver, m, tree);
  EXPECT_EQ(run.iflag, 0);
  EXPECT_EQ(run.info.NTWO, 1);
  EXPECT_EQ(run.mfront, 3);
  EXPECT_EQ(run.info.negative_pivot_count, testing::negative_eigenvalues(m));
  const std::vector<double> b = {1.0, 2.0, 3.0};
  EXPECT_LT(testing::relative_residual(m, testing::solve(solver, run, tree.nnodes, b), b), 1e-15);
}

TEST(MFFACT, InertiaAndSolutionOfIndefiniteMatricesMatchTheDenseReference) {
  struct Case {
    int n, constraints;
    unsigned seed;
    bool negative_diagonals;
    int max_chain;
  };
  const std::vector<Case> cases = {{12, 4, 1, false, 1}, {30, 10, 2, false, 3}, {60, 25, 3, true, 1},
                                   {80, 30, 4, true, 4}, {45, 20, 5, false, 1}, {100, 40, 6, true, 2}};
  int two_by_two_pivots = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seed);
    const Entries m = testing::random_saddle_point(c.n, c.constraints, c.seed, c.negative_diagonals);
    const AssemblyTree tree = testing::elimination_tree(m, true, c.max_chain);
    std::ostringstream out;
    Solver solver = testing::quiet_solver(out);
    const FactorRun run = testing::factorize(solver, m, tree);
    ASSERT_EQ(run.iflag, 0) << out.str();
    EXPECT_EQ(run.info.negative_pivot_count, testing::negative_eigenvalues(m));
    EXPECT_EQ(run.int_space[0]<0, run.info.NTWO> 0);
    two_by_two_pivots += run.info.NTWO;
    const std::vector<double> b = testing::random_vector(c.n, c.seed);
    EXPECT_LT(testing::relative_residual(m, testing::solve(solver, run, tree.nnodes, b), b), 1e-12);
  }
  EXPECT_GT(two_by_two_pivots, 0);
}

TEST(MFFACT, OneEmptyVariableGivesRankNMinusOneWithWarning) {
  Entries m = testing::random_definite(7, 2, 8);
  Entries holed;  // variable 4 loses every entry
  holed.n = m.n;
  for (std::size_t k = 0; k < m.values.size(); ++k)
    if (m.rows[k] != 4 && m.cols[k] != 4) holed.add(m.rows[k], m.cols[k], m.values[k]);
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  const FactorRun run = testing::factorize(solver, holed, testing::elimination_tree(holed, true));
  EXPECT_EQ(run.iflag, 3);
  EXPECT_EQ(run.info.IERROR, 6);
  EXPECT_EQ(
      out.str(),
      " *** WARNING MESSAGE FROM SUBROUTINE MFFACT *** IFLAG = 3\n     MATRIX IS SINGULAR. RANK=    6\n");
}

TEST(MFFACT, DefiniteModeChecksZeroPivotsAndSignChanges) {
  // Diagonal matrix with pivots +1, -2, +3 in order, one node per variable.
  Entries m;
  m.n = 3;
  m.add(1, 1, 1.0);
  m.add(2, 2, -2.0);
  m.add(3, 3, 3.0);
  const AssemblyTree tree = testing::single_node_tree(3);
  {
    SCOPED_TRACE("U = 0: warnings");
    std::ostringstream out;
    Solver solver = testing::quiet_solver(out);
    solver.controls.U = 0.0;
    const FactorRun run = testing::factorize(solver, m, tree);
    EXPECT_EQ(run.iflag, 2);
    EXPECT_EQ(run.info.IERROR, 2);
    EXPECT_EQ(run.info.negative_pivot_count, 1);
    const std::string header = " *** WARNING MESSAGE FROM SUBROUTINE MFFACT *** IFLAG = 2\n";
    EXPECT_EQ(out.str(), header + " PIVOT     2 HAS DIFFERENT SIGN FROM THE PREVIOUS ONE\n" + header +
                             " PIVOT     3 HAS DIFFERENT SIGN FROM THE PREVIOUS ONE\n");
  }
  {
    SCOPED_TRACE("U < 0: error at the first change");
    std::ostringstream out;
    Solver solver = testing::quiet_solver(out);
    solver.controls.U = -0.1;
    const FactorRun run = testing::factorize(solver, m, tree);
    EXPECT_EQ(run.iflag, -6);
    EXPECT_EQ(run.info.IERROR, 2);
    EXPECT_EQ(out.str(),
              " *** WARNING MESSAGE FROM SUBROUTINE MFFACT *** IFLAG = 2\n"
              " PIVOT     2 HAS DIFFERENT SIGN FROM THE PREVIOUS ONE\n"
              " **** ERROR RETURN FROM MFFACT **** IFLAG= -6\n"
              " CHANGE IN SIGN OF PIVOT ENCOUNTERED WHEN FACTORING ALLEGEDLY DEFINITE MATRIX\n");
  }
  {
    SCOPED_TRACE("zero pivot");
    Entries z = m;
    z.values[2] = 1e-9;  // third pivot at the tolerance
    std::ostringstream out;
    Solver solver = testing::quiet_solver(out);
    solver.controls.U = 0.0;
    solver.controls.definite_zero_tolerance = 1e-9;
    z.values[1] = 2.0;
    const FactorRun run = testing::factorize(solver, z, tree);
    EXPECT_EQ(run.iflag, -5);
    EXPECT_EQ(run.info.IERROR, 3);
    EXPECT_EQ(out.str(),
              " **** ERROR RETURN FROM MFFACT **** IFLAG= -5\n"
              " ZERO PIVOT AT STAGE         3 WHEN INPUT MATRIX DECLARED DEFINITE\n");
  }
}

TEST(MFFACT, DefiniteModeOnDominantMatrixGivesTheThresholdFactors) {
  // Every 1x1 test passes in order on a diagonally dominant matrix, so both
  // modes make the same eliminations.
  const Entries m = testing::random_definite(60, 4, 31);
  const AssemblyTree tree = testing::elimination_tree(m, true, 3);
  std::ostringstream out;
  Solver threshold = testing::quiet_solver(out), definite = testing::quiet_solver(out);
  definite.controls.U = 0.0;
  const FactorRun a = testing::factorize(threshold, m, tree);
  const FactorRun b = testing::factorize(definite, m, tree);
  EXPECT_EQ(a.iflag, 0);
  EXPECT_EQ(b.iflag, 0);
  EXPECT_TRUE(testing::same_factors(a, b));
}

// One front holding the whole matrix: the factors are those of the rules
// applied entry by entry, bit for bit, whatever the panel width.
TEST(MFFACT, SingleFrontFactorsAreThoseOfThePivotingRules) {
  struct Case {
    const char* what;
    Entries m;
  };
  Entries swap_pairs;  // zero diagonal blocks: only 2x2 pivots, some after interchanges
  swap_pairs.n = 6;
  swap_pairs.add(1, 4, 2.0);
  swap_pairs.add(2, 5, -1.0);
  swap_pairs.add(3, 6, 0.5);
  swap_pairs.add(1, 2, 0.25);
  swap_pairs.add(5, 6, 0.75);
  // Saddle points numbered backwards put their zero diagonals first.
  const std::vector<Case> cases = {
      {"definite", testing::random_definite(70, 5, 91)},
      {"saddle point", testing::random_saddle_point(80, 30, 92, true)},
      {"zero diagonal pairs", swap_pairs},
      {"saddle point backwards", testing::reversed(testing::random_saddle_point(60, 25, 93, false))},
      {"saddle point backwards, negative diagonals",
       testing::reversed(testing::random_saddle_point(90, 40, 94, true))}};
  int two_by_two = 0, interchanged = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const testing::ReferenceFactors expected = testing::reference_front_factors(c.m, 0.1);
    ASSERT_EQ(expected.pivots, c.m.n);
    two_by_two += expected.two_by_two;
    for (int l = 1; l <= c.m.n; ++l)
      interchanged += std::abs(expected.list[static_cast<std::size_t>(l - 1)]) != l;
    for (int panel : {1, 5, max_panel_pivots}) {
      SCOPED_TRACE(panel);
      std::ostringstream out;
      Solver solver = testing::quiet_solver(out);
      const FactorRun run = testing::factorize(solver, c.m, testing::single_node_tree(c.m.n), 0, 0, panel);
      ASSERT_EQ(run.iflag, 0);
      EXPECT_EQ(run.info.NTWO, expected.two_by_two);
      EXPECT_EQ(run.info.negative_pivot_count, expected.negative);
      ASSERT_EQ(run.info.RUSAGE, static_cast<std::int64_t>(expected.rows.size()));
      EXPECT_TRUE(testing::same_bits(
          std::vector<double>(run.real_space.begin(), run.real_space.begin() + run.info.RUSAGE),
          expected.rows));
      EXPECT_EQ(std::vector<int>(run.int_space.begin() + 3, run.int_space.begin() + 3 + c.m.n),
                expected.list);
    }
  }
  EXPECT_GT(two_by_two, 10);
  EXPECT_GT(interchanged, 10);
}

// Fronts wider than a column block of the panel application: rows above the
// block, rows inside it, partial column chunks at both ends of a row, short
// groups of rows at the front's end, the wide tiles of large updates and the
// narrow ones of small, and updates split over three threads in pieces of a
// few tiles, all get the entry-by-entry bits.
TEST(MFFACT, WideFrontFactorsAreThoseOfThePivotingRules) {
  struct Case {
    const char* what;
    Entries m;
  };
  const std::vector<Case> cases = {
      {"definite", testing::random_definite(811, 4, 95)},
      {"saddle point", testing::random_saddle_point(437, 60, 96, true)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const testing::ReferenceFactors expected = testing::reference_front_factors(c.m, 0.1);
    ASSERT_EQ(expected.pivots, c.m.n);
    TaskPool three(3);
    for (auto [panel, pool] : {std::pair{1, &three},
                               {3, nullptr},
                               {29, &three},
                               {max_panel_pivots, nullptr},
                               {max_panel_pivots, &three}}) {
      SCOPED_TRACE(panel);
      SCOPED_TRACE(pool != nullptr ? "three threads" : "one thread");
      std::ostringstream out;
      Solver solver = testing::quiet_solver(out);
      solver.pool = pool;
      solver.tuning.panel_min_work = 0;
      solver.tuning.panel_min_rows = 8;
      const FactorRun run = testing::factorize(solver, c.m, testing::single_node_tree(c.m.n), 0, 0, panel);
      ASSERT_EQ(run.iflag, 0);
      EXPECT_EQ(run.info.NTWO, expected.two_by_two);
      ASSERT_EQ(run.info.RUSAGE, static_cast<std::int64_t>(expected.rows.size()));
      EXPECT_TRUE(testing::same_bits(
          std::vector<double>(run.real_space.begin(), run.real_space.begin() + run.info.RUSAGE),
          expected.rows));
    }
  }
}

// Panel widths: 1 is the pivot-by-pivot elimination.
TEST(MFFACT, PanelEliminationGivesTheSameBitsAsPivotByPivot) {
  struct Case {
    const char* what;
    Entries m;
    AssemblyTree tree;
  };
  const Entries big = testing::random_definite(450, 6, 41);  // one front of 450: two column blocks
  const Entries sparse = testing::random_definite(150, 3, 42);
  const Entries saddle = testing::random_saddle_point(120, 45, 43, true);
  const Entries dense_saddle = testing::random_saddle_point(90, 30, 44, false);
  const std::vector<Case> cases = {
      {"one definite front", big, testing::single_node_tree(big.n)},
      {"definite tree", sparse, testing::elimination_tree(sparse, true, 4)},
      {"indefinite tree", saddle, testing::elimination_tree(saddle, true, 2)},
      {"indefinite front", dense_saddle, testing::single_node_tree(dense_saddle.n)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ostringstream out;
    Solver solver = testing::quiet_solver(out);
    const FactorRun plain = testing::factorize(solver, c.m, c.tree, 0, 0, 1);
    ASSERT_EQ(plain.iflag, 0);
    const std::vector<double> b = testing::random_vector(c.m.n, 9);
    const std::vector<double> x = testing::solve(solver, plain, c.tree.nnodes, b);
    EXPECT_LT(testing::relative_residual(c.m, x, b), 1e-12);
    for (int panel : {2, 4, 7, 32, 48, max_panel_pivots}) {
      SCOPED_TRACE(panel);
      const FactorRun run = testing::factorize(solver, c.m, c.tree, 0, 0, panel);
      EXPECT_TRUE(testing::same_factors(run, plain));
      EXPECT_EQ(run.info.NTWO, plain.info.NTWO);
      EXPECT_EQ(run.info.negative_pivot_count, plain.info.negative_pivot_count);
      EXPECT_TRUE(testing::same_bits(testing::solve(solver, run, c.tree.nnodes, b), x));
    }
  }
}

// Following IERROR from the smallest storage the checks let through until the
// factorization succeeds: every error asks for more than it had, the last
// storage is tight enough to compress both kinds of storage, and the factors
// are those of roomy storage.
TEST(MFFACT, TightStorageCompressesAndGivesTheSameFactors) {
  struct Case {
    const char* what;
    Entries m;
  };
  const std::vector<Case> cases = {{"definite", testing::random_definite(120, 4, 51)},
                                   {"indefinite", testing::random_saddle_point(100, 40, 52, true)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const AssemblyTree tree = testing::elimination_tree(c.m, true, 2);
    std::ostringstream out;
    Solver solver = testing::quiet_solver(out);
    const FactorRun roomy = testing::factorize(solver, c.m, tree);
    ASSERT_EQ(roomy.iflag, 0);
    EXPECT_EQ(roomy.info.NCOMPR, 0);
    EXPECT_EQ(roomy.info.NCOMPI, 0);
    std::int64_t la = c.m.nz() + c.m.n, liw = c.m.nz();
    FactorRun run;
    int attempts = 0;
    for (;; ++attempts) {
      ASSERT_LT(attempts, 1000);
      run = testing::factorize(solver, c.m, tree, la, liw);
      if (run.iflag == -3) {
        ASSERT_GT(run.info.IERROR, liw);
        liw = run.info.IERROR;
      } else if (run.iflag == -4) {
        ASSERT_GT(run.info.IERROR, la);
        la = run.info.IERROR;
      } else {
        break;
      }
    }
    ASSERT_EQ(run.iflag, 0);
    EXPECT_GT(attempts, 2);
    EXPECT_GT(run.info.NCOMPR, 0);
    EXPECT_GT(run.info.NCOMPI, 0);
    EXPECT_TRUE(testing::same_factors(run, roomy));
    const std::vector<double> b = testing::random_vector(c.m.n, 4);
    EXPECT_TRUE(testing::same_bits(testing::solve(solver, run, tree.nnodes, b),
                                   testing::solve(solver, roomy, tree.nnodes, b)));
    // One word less of either kind no longer does.
    EXPECT_EQ(testing::factorize(solver, c.m, tree, la - 1, liw).iflag, -4);
    EXPECT_EQ(testing::factorize(solver, c.m, tree, la, liw - 1).iflag, -3);
  }
}

// A plate-like grid, two coupled variables per point, numbered row by row:
// the sons' variables lie at consecutive father positions, so their
// triangles are added in long runs, also where the front overlaps the
// topmost son triangle in tight storage.
Entries grid_with_two_variables_per_point(int columns, int rows) {
  Entries m;
  m.n = 2 * columns * rows;
  auto variable = [&](int x, int y, int c) { return 2 * (y * columns + x) + c + 1; };
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      for (int c = 0; c < 2; ++c) m.add(variable(x, y, c), variable(x, y, c), 8.0 + 0.25 * c + 0.01 * x);
      m.add(variable(x, y, 0), variable(x, y, 1), 0.5 + 0.001 * y);
      for (int c = 0; c < 2; ++c) {
        if (x + 1 < columns) m.add(variable(x, y, c), variable(x + 1, y, c), -1.0 - 0.003 * y);
        if (y + 1 < rows) m.add(variable(x, y, c), variable(x, y + 1, c), -1.0 + 0.002 * x);
        if (x + 1 < columns && y + 1 < rows) m.add(variable(x, y, c), variable(x + 1, y + 1, 1 - c), 0.3);
      }
    }
  }
  return m;
}

TEST(MFFACT, GridSonsGiveTheSameFactorsInTightStorage) {
  const Entries m = grid_with_two_variables_per_point(23, 17);
  const AssemblyTree tree = testing::elimination_tree(m, true, 4);
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  const FactorRun roomy = testing::factorize(solver, m, tree);
  ASSERT_EQ(roomy.iflag, 0);
  const std::vector<double> b = testing::random_vector(m.n, 7);
  const std::vector<double> x = testing::solve(solver, roomy, tree.nnodes, b);
  EXPECT_LT(testing::relative_residual(m, x, b), 1e-12);
  std::int64_t la = m.nz() + m.n, liw = m.nz();
  FactorRun run;
  for (int attempts = 0;; ++attempts) {
    ASSERT_LT(attempts, 1000);
    run = testing::factorize(solver, m, tree, la, liw);
    if (run.iflag == -3) {
      liw = run.info.IERROR;
    } else if (run.iflag == -4) {
      la = run.info.IERROR;
    } else {
      break;
    }
  }
  ASSERT_EQ(run.iflag, 0);
  EXPECT_GT(run.info.NCOMPR, 0);
  EXPECT_TRUE(testing::same_factors(run, roomy));
  EXPECT_TRUE(testing::same_bits(testing::solve(solver, run, tree.nnodes, b), x));
}

// Every short integer storage, including the ones where a remainder's list
// is pushed after the block was placed, reports a length that gets the
// failing step through: a run with that length fails later or not at all.
TEST(MFFACT, EveryIntegerShortfallAsksForEnough) {
  const Entries m = testing::random_saddle_point(40, 15, 61, true);
  const AssemblyTree tree = testing::elimination_tree(m, true, 3);
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  const std::int64_t la = testing::roomy_la(m);
  const std::int64_t enough = testing::factorize(solver, m, tree).info.IUSAGE + m.nz() + 4 * m.n;
  for (std::int64_t liw = m.nz(); liw <= enough; ++liw) {
    const FactorRun run = testing::factorize(solver, m, tree, la, liw);
    if (run.iflag != -3) {
      EXPECT_EQ(run.iflag, 0);
      continue;
    }
    ASSERT_GT(run.info.IERROR, liw);
    // One word less still fails; the length asked for gets further.
    EXPECT_EQ(testing::factorize(solver, m, tree, la, run.info.IERROR - 1).iflag, -3) << "LIW " << liw;
    const FactorRun next = testing::factorize(solver, m, tree, la, run.info.IERROR);
    if (next.iflag == -3) {
      EXPECT_GT(next.info.IERROR, run.info.IERROR) << "LIW " << liw;
    }
  }
}

TEST(MFFACT, ListingsFollowTheirLayout) {
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  solver.controls.diagnostic_level = 1;
  Entries m = two_by_two_swap();
  m.add(2, 2, 0.0);
  const FactorRun run = testing::factorize(solver, m, testing::single_node_tree(2), 10, 12);
  EXPECT_EQ(run.iflag, 0);
  const std::string b21(21, ' '), b10(10, ' '), b11(11, ' ');
  // The inverse of [[0, 1], [1, 0]] is [[-0, 1], [1, -0]] (0 / -1 is -0).
  EXPECT_EQ(out.str(), "\n\n ENTERING MFFACT WITH      N     NZ       LA      LIW NNODES      U\n" + b21 +
                           "      2      2       10       12      1  1.00E-01\n"
                           " MATRIX NON-ZEROS\n"
                           "        1.000D+00     1     2       0.000D+00     2     2\n"
                           " IPLAN(.,1)=     1     2\n"
                           " IPLAN(.,2)=     2\n"
                           " IPLAN(.,3)=     0\n"
                           "\n LEAVING MFFACT WITH\n" +
                           b10 + "  MFRONT  IFLAG RUSAGE IUSAGE NCOMPR NCOMPI   NTWO IERROR\n" + b11 +
                           "      2      0      3      5      0      0      1      0\n"
                           " BLOCK PIVOT =       1 NROWS =       2 NCOLS =       2\n"
                           " COLUMN INDICES =    -1     2\n"
                           " REAL ENTRIES .. EACH ROW STARTS ON A NEW LINE\n"
                           "   -0.000D+00    1.000D+00\n"
                           "   -0.000D+00\n");
}

// One front in a vector of its own, without sons, for the front step alone.
struct HeldStorage {
  std::vector<double> front;
  int remainder = 0;
  const int* remainder_list = nullptr;
  template <class Visit>
  void for_each_son_variable(int, Visit&&) const {}
  bool accept_front(int, int, int) const { return true; }
  bool make_list_room(int, int&) const { return true; }
  double* place_front(int, int, int order, int, int&) {
    front.assign(static_cast<std::size_t>(triangle_words(order)), 0.0);
    return front.data();
  }
  void assemble_sons(const Front&, int, int, View1<int>) const {}
  void input_assembled() const {}
  bool pivots_as_planned(int, int) const { return true; }
  void keep_block(const Front&, std::int64_t) const {}
  bool push_remainder(int, int order, const int* list, const double*, int&) {
    remainder = order;
    remainder_list = list;
    return true;
  }
};

// A front writes its block record and nothing past it: with subtrees side by
// side the next word may belong to a block another thread is writing. One
// front of [[4, 1], [1, 3]] with one and with two pivots, a marker after it.
TEST(FrontStep, BlockRecordStaysWithinItsWords) {
  constexpr int marker = 777;
  for (const int planned : {1, 2}) {
    SCOPED_TRACE(planned);
    // Input rows at the top: variable 1 with column 2, then variable 2.
    std::vector<int> ints(10, marker), iplan = {1, 2, planned, 0, 0, 0}, fronts = {2, 0}, position(2, 0);
    std::vector<double> reals(10, 0.0);
    const std::vector<int> rows = {-1, 2, -2};
    const std::vector<double> values = {4.0, 1.0, 3.0};
    const auto total = static_cast<std::int64_t>(planned == 1 ? 2 : 3);
    std::copy(rows.begin(), rows.begin() + total, ints.end() - total);
    std::copy(values.begin(), values.begin() + total, reals.end() - total);
    const FactorSpace space{2, 1, reals, 10, ints, 10, total, iplan, fronts};
    FrontCursor cursor;
    cursor.int_input = cursor.real_input = 11 - total;
    PanelPivots panel;
    PivotChoice choice{0.1, 0.0, &panel};
    HeldStorage storage;
    int iflag = 0;
    const FrontOutcome out = factorize_front(space, cursor, position, choice, storage, 1, iflag);
    ASSERT_TRUE(out.done);
    EXPECT_EQ(out.counts.pivots, planned);
    const std::vector<int> record =
        planned == 1 ? std::vector<int>{-2, 1, 2, marker} : std::vector<int>{2, 2, 1, 2, marker};
    EXPECT_EQ(std::vector<int>(ints.begin() + 1, ints.begin() + 1 + static_cast<long>(record.size())),
              record);
    EXPECT_EQ(cursor.next_int, 2 + block_ints(2, planned));
    EXPECT_EQ(storage.remainder, 2 - planned);
    if (planned == 1) {
      EXPECT_EQ(storage.remainder_list, ints.data() + 3);
    }
  }
}

TEST(FortranExponent, WritesScaledExponentFields) {
  EXPECT_EQ(fortran_exponent(0.1, 10, 2, 'E'), "  1.00E-01");
  EXPECT_EQ(fortran_exponent(-12345.678, 13, 3, 'D'), "   -1.235D+04");
  EXPECT_EQ(fortran_exponent(0.0, 16, 3, 'D'), "       0.000D+00");
  EXPECT_EQ(fortran_exponent(1.5e-120, 13, 3, 'D'), "    1.500-120");
  EXPECT_EQ(fortran_exponent(-1.0, 8, 3, 'D'), "********");
}

}  // namespace
}  // namespace quorix
