// The solver driver: the three phases end to end on definite and indefinite
// systems, the small and degenerate cases, the storage retries after a short
// factorization and the failed status after an error return.

#include "solver/solver_driver.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "parallel/task_pool.hpp"
#include "solver/analysis_phase.hpp"
#include "solver/dense_reference.hpp"
#include "solver/factorization_phase.hpp"
#include "solver/solver_interface.hpp"
#include "solver/solver_test_support.hpp"
#include "solver/subtree_factors.hpp"
#include "sparse/sparse_matrix.hpp"

namespace quorix {
namespace {

using testing::Entries;

struct Solved {
  SolveStatus status;
  std::vector<double> x;
};

Solved run_solve(Solver& solver, const Entries& m, const std::vector<double>& b, double garbage = 1.0e300) {
  Solved s{SolveStatus::failed, std::vector<double>(static_cast<std::size_t>(std::max(m.n, 0)), garbage)};
  s.status = multifrontal_solve(solver, m.n, m.nz(), m.rows, m.cols, m.values, b, s.x);
  return s;
}

// The stiffness pattern of a plate of cubic triangles with random values
// and a dominant diagonal: definite, with fronts of realistic shape.
Entries mesh_matrix(int nx, int ny, unsigned seed) {
  const testing::Pattern pattern = testing::cubic_triangle_mesh_pattern(nx, ny);
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  Entries m;
  m.n = pattern.n;
  std::vector<double> row_sum(static_cast<std::size_t>(m.n) + 1, 0.0);
  for (std::int64_t k = 0; k < pattern.nz(); ++k) {
    const int i = pattern.rows[static_cast<std::size_t>(k)], j = pattern.cols[static_cast<std::size_t>(k)];
    if (i == j) continue;
    const double v = value(random);
    m.add(i, j, v);
    row_sum[static_cast<std::size_t>(i)] += std::abs(v);
    row_sum[static_cast<std::size_t>(j)] += std::abs(v);
  }
  for (int i = 1; i <= m.n; ++i) m.add(i, i, row_sum[static_cast<std::size_t>(i)] + 1.0);
  return m;
}

TEST(MultifrontalSolve, SolvesDefiniteAndIndefiniteSystemsToRoundoff) {
  struct Case {
    const char* what;
    Entries m;
    bool definite;  // positive dominant diagonal: no negative eigenvalue (Gershgorin)
  };
  const std::vector<Case> cases = {
      {"plate mesh", mesh_matrix(4, 3, 1), true},
      {"random definite", testing::random_definite(300, 4, 2), true},
      {"saddle point", testing::random_saddle_point(140, 50, 3, false), false},
      {"saddle point, negative diagonals", testing::random_saddle_point(120, 40, 4, true), false},
  };
  // Each in the order the analysis computes, and in a random one supplied by
  // the caller: the indefinite ones delay pivots and take 2 x 2 pivots in
  // both, and the inertia is the matrix's whatever the order.
  for (const Case& c : cases) {
    for (const bool supplied : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (supplied ? ", supplied order" : ""));
      std::ostringstream out;
      Solver solver = testing::quiet_solver(out);
      if (supplied) {
        solver.pivot_order.resize(static_cast<std::size_t>(c.m.n));
        for (int i = 0; i < c.m.n; ++i) solver.pivot_order[static_cast<std::size_t>(i)] = i + 1;
        std::shuffle(solver.pivot_order.begin(), solver.pivot_order.end(), std::mt19937(11));
      }
      const std::vector<double> b = testing::random_vector(c.m.n, 5);
      const Solved s = run_solve(solver, c.m, b);
      EXPECT_EQ(s.status, SolveStatus::solved);
      EXPECT_EQ(out.str(), "");
      EXPECT_LT(testing::relative_residual(c.m, s.x, b), 1e-12);
      EXPECT_EQ(solver.info.negative_pivot_count, c.definite ? 0 : testing::negative_eigenvalues(c.m));
      if (!c.definite) {
        EXPECT_GT(solver.info.NTWO, 0);
      }
    }
  }
}

TEST(MultifrontalSolve, WaitsOnceForAPendingOrderAndFollowsItAsOneGivenOutright) {
  const Entries m = mesh_matrix(4, 3, 1);
  std::vector<int> order(static_cast<std::size_t>(m.n));
  std::iota(order.begin(), order.end(), 1);
  std::shuffle(order.begin(), order.end(), std::mt19937(11));
  const std::vector<double> b = testing::random_vector(m.n, 5);
  std::ostringstream out;
  Solver given = testing::quiet_solver(out);
  given.pivot_order = order;
  const Solved expected = run_solve(given, m, b);
  Solver pending = testing::quiet_solver(out);
  int calls = 0;
  pending.pending_pivot_order = [&] {
    ++calls;
    return SuppliedOrder{order, {}};
  };
  for (int solve = 1; solve <= 2; ++solve) {
    const Solved s = run_solve(pending, m, b);
    EXPECT_EQ(s.x, expected.x);
    EXPECT_EQ(pending.info.RFACTS, given.info.RFACTS);
  }
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(pending.pivot_order, order);
}

TEST(MultifrontalSolve, EntriesInBothTrianglesWithRepeatsGiveTheSameSystem) {
  const Entries upper = testing::random_definite(120, 4, 6);
  Entries scattered;  // each value split in three, in both triangles, in shuffled order
  scattered.n = upper.n;
  for (std::size_t k = 0; k < upper.values.size(); ++k) {
    scattered.add(upper.cols[k], upper.rows[k], upper.values[k] * 0.25);
    scattered.add(upper.rows[k], upper.cols[k], upper.values[k] * 0.5);
    scattered.add(upper.cols[k], upper.rows[k], upper.values[k] * 0.25);
  }
  std::vector<std::size_t> shuffle(scattered.values.size());
  for (std::size_t k = 0; k < shuffle.size(); ++k) shuffle[k] = k;
  std::shuffle(shuffle.begin(), shuffle.end(), std::mt19937(9));
  Entries shuffled;
  shuffled.n = scattered.n;
  for (std::size_t k : shuffle) shuffled.add(scattered.rows[k], scattered.cols[k], scattered.values[k]);
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  const std::vector<double> b = testing::random_vector(upper.n, 7);
  const Solved s = run_solve(solver, shuffled, b);
  EXPECT_EQ(s.status, SolveStatus::solved);
  EXPECT_LT(testing::relative_residual(upper, s.x, b), 1e-12);
}

TEST(MultifrontalSolve, SmallAndDegenerateSystems) {
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  {
    SCOPED_TRACE("1x1");
    Entries m;
    m.n = 1;
    m.add(1, 1, 3.0);
    const Solved s = run_solve(solver, m, {7.0});
    EXPECT_EQ(s.status, SolveStatus::solved);
    EXPECT_EQ(s.x[0], (1.0 / 3.0) * 7.0);
  }
  {
    SCOPED_TRACE("[[0, 1], [1, 0]]");
    Entries m;
    m.n = 2;
    m.add(2, 1, 1.0);
    const Solved s = run_solve(solver, m, {3.0, 5.0});
    EXPECT_EQ(s.status, SolveStatus::solved);
    EXPECT_EQ(s.x, (std::vector<double>{5.0, 3.0}));
    EXPECT_EQ(solver.info.NTWO, 1);
    EXPECT_EQ(solver.info.negative_pivot_count, 1);
    EXPECT_EQ(solver.info.MFRONT, 2);
    for (double seconds : solver.info.phase_seconds) EXPECT_GE(seconds, 0.0);
  }
  EXPECT_EQ(out.str(), "");
  {
    SCOPED_TRACE("no entries");
    Entries m;
    m.n = 4;
    const Solved s = run_solve(solver, m, {1.0, 2.0, 3.0, 4.0});
    EXPECT_EQ(s.status, SolveStatus::singular);
    EXPECT_EQ(s.x, (std::vector<double>{0.0, 0.0, 0.0, 0.0}));
  }
  {
    SCOPED_TRACE("one empty variable");
    out.str("");
    Entries full = testing::random_definite(30, 3, 10), m;
    m.n = full.n;
    for (std::size_t k = 0; k < full.values.size(); ++k)
      if (full.rows[k] != 17 && full.cols[k] != 17) m.add(full.rows[k], full.cols[k], full.values[k]);
    const std::vector<double> b = testing::random_vector(m.n, 11);
    const Solved s = run_solve(solver, m, b);
    EXPECT_EQ(s.status, SolveStatus::singular);
    EXPECT_EQ(solver.info.IERROR, 29);
    EXPECT_EQ(
        out.str(),
        " *** WARNING MESSAGE FROM SUBROUTINE MFFACT *** IFLAG = 3\n     MATRIX IS SINGULAR. RANK=   29\n");
    EXPECT_EQ(s.x[16], b[16]);
    m.add(17, 17, 1.0);
    EXPECT_LT(testing::relative_residual(m, s.x, b), 1e-12);
  }
}

TEST(MultifrontalSolve, ErrorReturnGivesZeroSolutionAndFailedStatus) {
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  Entries m = testing::random_definite(5, 2, 12);
  Solved s{SolveStatus::solved, std::vector<double>(5, 9.0)};
  const std::vector<double> b(5, 1.0);
  s.status = multifrontal_solve(solver, 5, -1, m.rows, m.cols, m.values, b, s.x);
  EXPECT_EQ(s.status, SolveStatus::failed);
  EXPECT_EQ(s.x, std::vector<double>(5, 0.0));
  EXPECT_EQ(out.str(),
            " **** ERROR RETURN FROM MFANAL **** IFLAG= -2\n VALUE OF NZ OUT OF RANGE .. =        -1\n");

  out.str("");
  m.n = 0;
  EXPECT_EQ(run_solve(solver, m, {}).status, SolveStatus::failed);
  EXPECT_EQ(out.str(),
            " **** ERROR RETURN FROM MFANAL **** IFLAG= -1\n VALUE OF N OUT OF RANGE ... =         0\n");
}

TEST(MultifrontalSolve, LeavesItsInputsAndListingsAlone) {
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  solver.controls.diagnostic_level = 2;
  const Entries m = testing::random_saddle_point(50, 20, 13, true);
  const Entries copy = m;
  const std::vector<double> b = testing::random_vector(m.n, 14), b_copy = b;
  const Solved s = run_solve(solver, m, b);
  EXPECT_EQ(s.status, SolveStatus::solved);
  EXPECT_EQ(solver.controls.diagnostic_level, 0);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(m.rows, copy.rows);
  EXPECT_EQ(m.cols, copy.cols);
  EXPECT_TRUE(testing::same_bits(m.values, copy.values));
  EXPECT_TRUE(testing::same_bits(b, b_copy));
  // In place: x and the right-hand side the same array.
  std::vector<double> x = b;
  EXPECT_EQ(multifrontal_solve(solver, m.n, m.nz(), m.rows, m.cols, m.values, x, x), SolveStatus::solved);
  EXPECT_TRUE(testing::same_bits(x, s.x));
}

TEST(MultifrontalSolve, SolveSparseSystemPassesTheMatrixRecord) {
  const Entries m = mesh_matrix(2, 2, 15);
  SparseMatrix matrix;
  matrix.order = m.n;
  matrix.term_count = m.nz();
  const std::int64_t capacity = m.nz() + 25;  // unused terms beyond term_count hold garbage
  matrix.row_indices = Table1<int>(capacity, -5);
  matrix.col_indices = Table1<int>(capacity, 3);
  matrix.values = Table1<double>(capacity, 1.0e9);
  for (std::int64_t k = 1; k <= m.nz(); ++k) {
    matrix.row_indices(k) = m.rows[static_cast<std::size_t>(k - 1)];
    matrix.col_indices(k) = m.cols[static_cast<std::size_t>(k - 1)];
    matrix.values(k) = m.values[static_cast<std::size_t>(k - 1)];
  }
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  const std::vector<double> b = testing::random_vector(m.n, 16);
  Table1<double> x(m.n);
  EXPECT_EQ(solve_sparse_system(solver, matrix, b, x), SolveStatus::solved);
  const Solved direct = run_solve(solver, m, b);
  EXPECT_TRUE(testing::same_bits(std::vector<double>(x.begin(), x.end()), direct.x));
  EXPECT_EQ(out.str(), "");
}

// Solves of one pattern with new values, on one solver, give what fresh
// solvers give: the same bits, statistics and messages (the analysis's
// warning about an ignored entry printed every time). A changed pattern, of
// as many entries or of more, is analysed anew.
TEST(MultifrontalSolve, SamePatternAgainGivesWhatAFreshSolverGives) {
  Entries m = testing::random_saddle_point(70, 25, 18, true);
  m.add(0, 3, 5.0);  // ignored, with a warning from both phases
  std::ostringstream kept_out;
  Solver kept = testing::quiet_solver(kept_out);
  kept.patterns_repeat = true;
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    std::mt19937 random(static_cast<unsigned>(round));
    std::uniform_real_distribution<double> scale(0.5, 2.0);
    for (double& v : m.values) v *= scale(random);
    if (round == 3) m.cols[m.cols.size() / 2] = m.rows[m.cols.size() / 2];  // an entry moved to the diagonal
    if (round == 4) m.add(5, 9, 0.25);                                      // an entry more
    std::ostringstream fresh_out;
    Solver fresh = testing::quiet_solver(fresh_out);
    const std::vector<double> b = testing::random_vector(m.n, 30 + static_cast<unsigned>(round));
    kept_out.str("");
    const Solved again = run_solve(kept, m, b);
    const Solved first = run_solve(fresh, m, b);
    EXPECT_EQ(again.status, first.status);
    EXPECT_TRUE(testing::same_bits(again.x, first.x));
    EXPECT_EQ(kept_out.str(), fresh_out.str());
    EXPECT_NE(kept_out.str().find("FROM SUBROUTINE MFANAL"), std::string::npos);
    EXPECT_EQ(kept.info.OPS, fresh.info.OPS);
    EXPECT_EQ(kept.info.RNEEDS, fresh.info.RNEEDS);
    EXPECT_EQ(kept.info.NCOMPA, fresh.info.NCOMPA);
    EXPECT_EQ(kept.info.RUSAGE, fresh.info.RUSAGE);
    EXPECT_EQ(kept.info.NTWO, fresh.info.NTWO);
    EXPECT_EQ(kept.info.IERROR, fresh.info.IERROR);
  }
}

// max |K x - b| / (max |K| max |x| + max |b|), K from its entries.
double sparse_residual(const Entries& m, const std::vector<double>& x, const std::vector<double>& b) {
  std::vector<double> r(b.size());
  for (std::size_t i = 0; i < b.size(); ++i) r[i] = -b[i];
  double norm_k = 0.0, norm_x = 0.0, norm_b = 0.0, residual = 0.0;
  for (std::size_t k = 0; k < m.values.size(); ++k) {
    const auto i = static_cast<std::size_t>(m.rows[k] - 1), j = static_cast<std::size_t>(m.cols[k] - 1);
    r[i] += m.values[k] * x[j];
    if (i != j) r[j] += m.values[k] * x[i];
    norm_k = std::max(norm_k, std::abs(m.values[k]));
  }
  for (std::size_t i = 0; i < b.size(); ++i) {
    residual = std::max(residual, std::abs(r[i]));
    norm_x = std::max(norm_x, std::abs(x[i]));
    norm_b = std::max(norm_b, std::abs(b[i]));
  }
  return residual / (norm_k * norm_x + norm_b);
}

// Every subtree a task, and the input rows' pages given back a page at a time.
SolverTuning eager_tuning() {
  SolverTuning tuning;
  tuning.tasks_per_thread = 4.0;
  tuning.min_task_work = 0.0;
  tuning.max_root_front = 1 << 20;
  tuning.input_release_piece = 4096;
  tuning.parallel_sort_entries = 1;
  return tuning;
}

// The position of each variable in the minimum-degree order the analysis
// computes for m.
std::vector<int> minimum_degree_positions(const Entries& m) {
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  const std::int64_t liw = 3LL * m.n + 2 * m.nz() + 1;
  std::vector<int> space(static_cast<std::size_t>(liw)), iplan(3 * static_cast<std::size_t>(m.n)),
      tree_work(2 * static_cast<std::size_t>(m.n));
  int nnodes = 0, iflag = 0;
  MFANAL(solver, m.n, m.nz(), m.rows, m.cols, space, liw, iplan, tree_work, nnodes, iflag);
  EXPECT_EQ(iflag, 0);
  return {iplan.begin(), iplan.begin() + m.n};
}

// Subtrees factorized side by side give the bits of one thread: a plate
// whose input rows are given back page by page as they are assembled, and a
// system whose delayed pivots send the factorization back to one front after
// the other, after some of its input rows went back. Both are solved.
//
// The systems that fall back are solved a third time, giving the matrix up
// once it is sorted (its copy is spoilt then, so that any later read shows):
// the saddle point, which falls back before any input went back, is solved
// without it; the plate beside a saddle point, which has to sort its input
// again, asks for the matrix, and the solve of it handed in again gives the
// same bits and messages. (Every linear analysis gives its matrix up.)
TEST(MultifrontalSolve, SubtreesSideBySideGiveTheBitsOfOneThread) {
  struct Case {
    const char* what;
    Entries m;
    bool shared_out;
    bool asks_again = false;  // for its matrix, given up
  };
  // The plate beside a saddle point, each in its own minimum-degree order,
  // the plate's first: the plate's subtrees are done, and their input rows
  // given back, before the saddle point's delayed pivots send the
  // factorization back.
  Entries both = mesh_matrix(20, 16, 7);
  std::vector<int> both_order = minimum_degree_positions(both);
  const Entries saddle = testing::random_saddle_point(400, 120, 9, true);
  for (std::size_t k = 0; k < saddle.values.size(); ++k)
    both.add(saddle.rows[k] + both.n, saddle.cols[k] + both.n, saddle.values[k]);
  for (int position : minimum_degree_positions(saddle)) both_order.push_back(position + both.n);
  both.n += saddle.n;
  const std::vector<Case> cases = {{"plate", mesh_matrix(50, 40, 7), true},
                                   {"saddle point", testing::random_saddle_point(400, 120, 9, true), false},
                                   {"plate beside a saddle point", both, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<double> b = testing::random_vector(c.m.n, 11);
    Solved solved[3];
    SolverInfo info[3];
    std::string messages[3];
    int released = 0, asked = 0;
    const int runs = c.shared_out ? 2 : 3;
    // Whether input rows went back before the fallback depends on how far
    // the other tasks got: the run that should ask is repeated until it does
    // (nearly always the first time), each repeat with the same bits.
    for (int t = 0, tries = 1; t < runs; ++t) {
      TaskPool pool(t == 0 ? 1 : 3);
      std::ostringstream out;
      Solver solver = testing::quiet_solver(out);
      solver.pool = &pool;
      solver.tuning = eager_tuning();
      if (c.m.n == both.n) solver.pivot_order = both_order;
      Entries copy = c.m;
      if (t == 2)
        solver.release_matrix = [&] {
          ++released;
          std::fill(copy.rows.begin(), copy.rows.end(), 1);
          std::fill(copy.values.begin(), copy.values.end(), std::nan(""));
        };
      solved[t] = run_solve(solver, copy, b);
      if (solved[t].status == SolveStatus::matrix_needed) {
        ++asked;
        copy = c.m;
        solved[t] = run_solve(solver, copy, b);
      }
      info[t] = solver.info;
      messages[t] = out.str();
      if (t == 2 && c.asks_again && asked == 0 && tries < 10) {
        EXPECT_TRUE(testing::same_bits(solved[1].x, solved[2].x));
        ++tries;
        released = 0;
        --t;
      }
    }
    if (runs == 3) {
      EXPECT_EQ(released, 1);
      EXPECT_EQ(asked, c.asks_again ? 1 : 0);
      EXPECT_EQ(solved[2].status, solved[1].status);
      EXPECT_TRUE(testing::same_bits(solved[1].x, solved[2].x));
      EXPECT_EQ(messages[2], messages[1]);
      EXPECT_EQ(info[2].RUSAGE, info[1].RUSAGE);
    }
    EXPECT_TRUE(testing::same_bits(solved[0].x, solved[1].x));
    EXPECT_EQ(info[0].RUSAGE, info[1].RUSAGE);
    EXPECT_EQ(info[0].NTWO, info[1].NTWO);
    EXPECT_EQ(info[0].negative_pivot_count, info[1].negative_pivot_count);
    EXPECT_EQ(info[0].MFRONT, info[1].MFRONT);
    EXPECT_EQ(info[1].subtree_tasks > 0, c.shared_out);
    EXPECT_LT(sparse_residual(c.m, solved[1].x, b), 1e-13);
  }
}

// The entries counted and distributed into the input rows in parts side by
// side give the factors of one thread word for word, and its warnings, with
// entries out of range (reported in entry order) and repeated ones.
TEST(MultifrontalSolve, EntriesDistributedInPartsGiveTheFactorsOfOneThread) {
  Entries m = mesh_matrix(12, 9, 3);
  const int n = m.n;
  for (int k = 0; k < 12; ++k) {
    m.add(k % 3 == 0 ? 0 : 1 + 7 * k, k % 3 == 1 ? n + 1 + k : 1 + 5 * k,
          1.0);                          // out of range unless k % 3 == 2
    m.add(1 + 11 * k, 1 + 11 * k, 0.5);  // a diagonal entry again
    m.add(1 + 3 * k, 2 + 3 * k, 0.25);   // an entry again, or a new one
  }
  std::ostringstream analysed;
  Solver solver = testing::quiet_solver(analysed);
  const std::int64_t liw_analysis = 3LL * n + 2 * m.nz() + 1;
  std::vector<int> analysis_space(static_cast<std::size_t>(liw_analysis)),
      iplan(3 * static_cast<std::size_t>(n)), tree_work(2 * static_cast<std::size_t>(n));
  int nnodes = 0, iflag = 0;
  MFANAL(solver, n, m.nz(), m.rows, m.cols, analysis_space, liw_analysis, iplan, tree_work, nnodes, iflag);
  ASSERT_EQ(iflag, 1);
  const std::int64_t la = 2 * solver.info.RNEEDS, liw = 2 * solver.info.INEEDS;
  std::vector<double> reals[3];
  std::vector<int> ints[3];
  std::string messages[3];
  for (int t = 0; t < 3; ++t) {
    TaskPool pool(t + 1);
    std::ostringstream out;
    solver.console = &out;
    solver.pool = &pool;
    solver.tuning.parallel_sort_entries = 1;
    reals[t].assign(static_cast<std::size_t>(la), 0.0);
    ints[t].assign(static_cast<std::size_t>(liw), 0);
    std::copy(m.values.begin(), m.values.end(), reals[t].begin());
    int mfront = 0;
    iflag = 0;
    MFFACT(solver, n, m.nz(), m.rows, m.cols, reals[t], la, ints[t], liw, iplan, nnodes, mfront, tree_work,
           iflag);
    EXPECT_EQ(iflag, 1);
    messages[t] = out.str();
  }
  EXPECT_NE(messages[0].find("WARNING MESSAGE FROM SUBROUTINE MFFACT"), std::string::npos);
  for (int t = 1; t < 3; ++t) {
    EXPECT_TRUE(testing::same_bits(reals[t], reals[0]));
    EXPECT_EQ(ints[t], ints[0]);
    EXPECT_EQ(messages[t], messages[0]);
  }
}

// A side-by-side factorization that gave input rows back and then meets a
// front off the forecast (here: a forecast made wrong late in the tree) falls
// back to one front after the other on input rows sorted again: the factors
// of one thread, bit for bit.
TEST(MultifrontalSolve, FallingBackAfterInputWentBackGivesTheFactorsOfOneThread) {
  const Entries m = mesh_matrix(40, 30, 5);
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  const std::int64_t liw_analysis = 3LL * m.n + 2 * m.nz() + 1;
  std::vector<int> analysis_space(static_cast<std::size_t>(liw_analysis)),
      iplan(3 * static_cast<std::size_t>(m.n));
  std::vector<int> tree_work(2 * static_cast<std::size_t>(m.n));
  int nnodes = 0, iflag = 0;
  MFANAL(solver, m.n, m.nz(), m.rows, m.cols, analysis_space, liw_analysis, iplan, tree_work, nnodes, iflag);
  ASSERT_EQ(iflag, 0);
  const View1<int> forecast = node_front_orders(analysis_space, m.n, liw_analysis);
  std::vector<int> wrong(forecast.data(), forecast.data() + nnodes);
  wrong[wrong.size() * 3 / 4] += 1;
  const std::int64_t la = 2 * solver.info.RNEEDS + 2 * m.nz() + m.n, liw = 2 * solver.info.INEEDS;

  // Input rows given back as they are assembled, on `pool`, by the wrong forecast.
  const auto wrong_forecast = [&](TaskPool& pool) {
    FactorOptions options;
    options.values = m.values;
    options.planned_fronts = wrong;
    options.release_input = true;
    options.pool = &pool;
    options.tuning = eager_tuning();
    return options;
  };
  std::vector<double> reals[2];
  std::vector<int> ints[2];
  SolverInfo info[2];
  for (int t = 0; t < 2; ++t) {
    TaskPool pool(t == 0 ? 1 : 3);
    reals[t].assign(static_cast<std::size_t>(la), 0.0);
    ints[t].assign(static_cast<std::size_t>(liw), 0);
    const FactorOptions options = wrong_forecast(pool);
    int mfront = 0;
    iflag = 0;
    factorize(solver, m.n, m.nz(), m.rows, m.cols, reals[t], la, ints[t], liw, iplan, nnodes, mfront,
              tree_work, iflag, options);
    ASSERT_EQ(iflag, 0);
    info[t] = solver.info;
  }
  EXPECT_EQ(info[1].subtree_tasks, 0);  // fell back
  ASSERT_EQ(info[0].RUSAGE, info[1].RUSAGE);
  ASSERT_EQ(info[0].IUSAGE, info[1].IUSAGE);
  EXPECT_EQ(std::memcmp(reals[0].data(), reals[1].data(),
                        static_cast<std::size_t>(info[0].RUSAGE) * sizeof(double)),
            0);
  EXPECT_EQ(
      std::memcmp(ints[0].data(), ints[1].data(), static_cast<std::size_t>(info[0].IUSAGE) * sizeof(int)), 0);

  // The input given up once sorted cannot be sorted again: the factorization
  // stops instead, and says why. (Should the front off the forecast stop the
  // tasks before any input went back, nothing needs sorting again and the
  // factors are those above: tried again.)
  TaskPool pool(3);
  FactorOptions options = wrong_forecast(pool);
  int given_up = 0;
  options.input_sorted = [&] { ++given_up; };
  for (int tries = 1; tries <= 10; ++tries) {
    int mfront = 0;
    iflag = 0;
    factorize(solver, m.n, m.nz(), m.rows, m.cols, reals[1], la, ints[1], liw, iplan, nnodes, mfront,
              tree_work, iflag, options);
    EXPECT_EQ(given_up, tries);
    if (iflag == kInputGone) break;
    EXPECT_EQ(iflag, 0);
    EXPECT_EQ(std::memcmp(reals[0].data(), reals[1].data(),
                          static_cast<std::size_t>(info[0].RUSAGE) * sizeof(double)),
              0);
  }
  EXPECT_EQ(iflag, kInputGone);
}

// The factorization as the driver runs it: started far too small, it grows
// LA and LIW from IERROR until it succeeds, and then holds the factors of
// roomy storage; with no retry left the error stands.
TEST(FactorizeWithRetries, GrowsStorageFromItsErrorsOrGivesUp) {
  const Entries m = testing::random_saddle_point(90, 30, 17, true);
  const testing::AssemblyTree tree = testing::elimination_tree(m, true, 2);
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  const testing::FactorRun roomy = testing::factorize(solver, m, tree);
  ASSERT_EQ(roomy.iflag, 0);
  std::vector<int> tree_work(static_cast<std::size_t>(m.n));

  FactorStorage storage;
  storage.la = m.nz() + m.n;
  storage.liw = m.nz();
  const int iflag = factorize_with_retries(solver, m.n, m.nz(), m.rows, m.cols, m.values, tree.iplan,
                                           tree.nnodes, tree_work, storage, 10);
  EXPECT_EQ(iflag, 0);
  EXPECT_NE(out.str().find("LA TOO SMALL"), std::string::npos);
  EXPECT_NE(out.str().find("LIW TOO SMALL"), std::string::npos);
  EXPECT_EQ(storage.mfront, roomy.mfront);
  EXPECT_EQ(std::memcmp(storage.real_space.get(), roomy.real_space.data(),
                        static_cast<std::size_t>(roomy.info.RUSAGE) * sizeof(double)),
            0);
  EXPECT_EQ(std::memcmp(storage.int_space.get(), roomy.int_space.data(),
                        static_cast<std::size_t>(roomy.info.IUSAGE) * sizeof(int)),
            0);

  // Given up once sorted, the input is not sorted again for a retry: the
  // sizes the retry would take are left for the factorization of the input
  // handed in again, which gives the same factors.
  out.str("");
  FactorStorage given_up;
  given_up.la = m.nz() + m.n;
  given_up.liw = m.nz();
  int released = 0;
  int gone = factorize_with_retries(solver, m.n, m.nz(), m.rows, m.cols, m.values, tree.iplan, tree.nnodes,
                                    tree_work, given_up, 10, {}, false, [&] { ++released; });
  EXPECT_EQ(gone, kInputGoneShort);
  EXPECT_EQ(released, 1);
  EXPECT_GT(given_up.la + given_up.liw, 2 * m.nz() + m.n);
  EXPECT_EQ(factorize_with_retries(solver, m.n, m.nz(), m.rows, m.cols, m.values, tree.iplan, tree.nnodes,
                                   tree_work, given_up, 10),
            0);
  EXPECT_EQ(std::memcmp(given_up.real_space.get(), roomy.real_space.data(),
                        static_cast<std::size_t>(roomy.info.RUSAGE) * sizeof(double)),
            0);

  out.str("");
  FactorStorage tight;
  tight.la = m.nz() + m.n;
  tight.liw = testing::roomy_liw(m);
  EXPECT_EQ(factorize_with_retries(solver, m.n, m.nz(), m.rows, m.cols, m.values, tree.iplan, tree.nnodes,
                                   tree_work, tight, 0),
            -4);
  EXPECT_EQ(out.str().find(" **** ERROR RETURN FROM MFFACT **** IFLAG= -4\n LA TOO SMALL"), 0u);
}

}  // namespace
}  // namespace quorix
