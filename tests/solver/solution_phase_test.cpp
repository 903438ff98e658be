// MFSOLV: the forward and backward passes in place and gathered, with the
// addition orders of each mode, the zero-block and unpivoted cases, and
// solutions of factorized systems against the dense reference.

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "solver/dense_reference.hpp"
#include "solver/factorization_phase.hpp"
#include "solver/solver_interface.hpp"

namespace quorix {
namespace {

using testing::AssemblyTree;
using testing::Entries;
using testing::FactorRun;

// Runs MFSOLV on hand-made factors.
std::vector<double> solve_with(Solver& solver, std::vector<double> real_space, std::vector<int> int_space,
                               std::vector<double> b, int mfront, int nnodes) {
  std::vector<double> front_work(static_cast<std::size_t>(mfront), -7.0);
  std::vector<std::int64_t> block_start(static_cast<std::size_t>(nnodes));
  MFSOLV(solver, static_cast<int>(b.size()), real_space, static_cast<std::int64_t>(real_space.size()),
         int_space, static_cast<std::int64_t>(int_space.size()), front_work, mfront, b, block_start, nnodes);
  return b;
}

TEST(MFSOLV, FactorsWithoutPivotsGiveTheZeroSolution) {
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  EXPECT_EQ(solve_with(solver, {}, {0}, {1.0, -2.0, 3.0}, 0, 1), (std::vector<double>{0.0, 0.0, 0.0}));

  // A matrix without entries factorizes to no pivot at all.
  Entries empty;
  empty.n = 3;
  const AssemblyTree tree = testing::elimination_tree(empty, true);
  const FactorRun run = testing::factorize(solver, empty, tree);
  EXPECT_EQ(run.iflag, 3);
  EXPECT_EQ(run.info.IERROR, 0);
  EXPECT_EQ(run.int_space[0], 0);
  EXPECT_EQ(testing::solve(solver, run, tree.nnodes, {4.0, 5.0, 6.0}), (std::vector<double>{0.0, 0.0, 0.0}));
}

TEST(MFSOLV, OneByOneSystemGivesTheReciprocalTimesTheRightHandSide) {
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  for (const double k : {3.0, -7.0, 0.1}) {
    Entries m;
    m.n = 1;
    m.add(1, 1, k);
    const FactorRun run = testing::factorize(solver, m, testing::single_node_tree(1));
    ASSERT_EQ(run.iflag, 0);
    const std::vector<double> x = testing::solve(solver, run, 1, {5.0});
    EXPECT_EQ(x[0], (1.0 / k) * 5.0) << k;
  }
}

// A block of order 14 with 5 pivots: a 1x1, a 2x2 pair, two 1x1. Its
// variables are scattered over 1..16; variables 10 and 15 lie outside it.
struct HandBlock {
  std::vector<int> int_space;
  std::vector<double> real_space;
  std::vector<int> variable;  // variable[l-1]: variable at position l
  HandBlock() {
    variable = {9, 3, 14, 1, 12, 5, 16, 7, 2, 11, 4, 8, 13, 6};
    int_space = {-1, 14, 5};
    for (int l = 1; l <= 14; ++l)
      int_space.push_back(l == 2 ? -variable[1] : variable[static_cast<std::size_t>(l - 1)]);
    std::mt19937 random(77);
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    for (int r = 1; r <= 5; ++r)
      for (int c = r; c <= 14; ++c) real_space.push_back(value(random));
  }
  // a(r, c), r <= 5, c >= r.
  double a(int r, int c) const {
    return real_space[static_cast<std::size_t>((r - 1) * (30 - r) / 2 + (c - r))];
  }
  bool is_pair_first(int r) const { return r == 2; }
};

// The passes written out position by position from their formulas.
std::vector<double> hand_solution(const HandBlock& h, std::vector<double> rhs, bool gathered_forward) {
  auto x = [&](int l) -> double& {
    return rhs[static_cast<std::size_t>(h.variable[static_cast<std::size_t>(l - 1)] - 1)];
  };
  for (int r = 1; r <= 5;) {
    if (h.is_pair_first(r)) {
      const int s = r + 1;
      const double xr = x(r), xs = x(s);
      for (int c = s + 1; c <= 14; ++c) {
        x(c) = gathered_forward ? (x(c) + h.a(s, c) * xs) + h.a(r, c) * xr
                                : h.a(s, c) * xs + (h.a(r, c) * xr + x(c));
      }
      r += 2;
    } else {
      for (int c = r + 1; c <= 14; ++c) x(c) = x(c) + h.a(r, c) * x(r);
      r += 1;
    }
  }
  for (int r = 5; r >= 1;) {
    if (r == 3) {  // the pair (2, 3)
      double t = h.a(2, 2) * x(2) + h.a(2, 3) * x(3);
      for (int c = 4; c <= 14; ++c) t = t + h.a(2, c) * x(c);
      double u = h.a(2, 3) * x(2) + h.a(3, 3) * x(3);
      for (int c = 4; c <= 14; ++c) u = u + h.a(3, c) * x(c);
      x(2) = t;
      x(3) = u;
      r -= 2;
    } else {
      double t = h.a(r, r) * x(r);
      for (int c = r + 1; c <= 14; ++c) t = t + h.a(r, c) * x(c);
      x(r) = t;
      r -= 1;
    }
  }
  return rhs;
}

TEST(MFSOLV, OrderFourteenBlockWithFivePivotsGathersForwardAndWorksInPlaceBackward) {
  const HandBlock h;
  const std::vector<double> b = testing::random_vector(16, 12);
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  // Static thresholds: 14 >= 14 (forward, 5 pivots) gathers, 14 < 24 (backward) works in place.
  const std::vector<double> x = solve_with(solver, h.real_space, h.int_space, b, 14, 1);
  const std::vector<double> gathered = hand_solution(h, b, true);
  const std::vector<double> in_place = hand_solution(h, b, false);
  EXPECT_TRUE(testing::same_bits(x, gathered));
  EXPECT_FALSE(testing::same_bits(gathered, in_place));  // the values tell the two orders apart
  EXPECT_EQ(x[9], b[9]);                                 // variables 10 and 15 are in no block
  EXPECT_EQ(x[14], b[14]);

  // Forward in place once its threshold is raised; backward gathered once
  // lowered (the backward arithmetic is the same in both modes).
  solver.controls.front_thresholds[4] = 15;
  EXPECT_TRUE(testing::same_bits(solve_with(solver, h.real_space, h.int_space, b, 14, 1), in_place));
  solver.controls.front_thresholds[14] = 14;
  EXPECT_TRUE(testing::same_bits(solve_with(solver, h.real_space, h.int_space, b, 14, 1), in_place));
  solver.controls.front_thresholds[4] = 14;
  EXPECT_TRUE(testing::same_bits(solve_with(solver, h.real_space, h.int_space, b, 14, 1), gathered));
}

TEST(MFSOLV, UnpivotedVariableKeepsItsRightHandSide) {
  const Entries full = testing::random_definite(9, 3, 17);
  Entries holed;  // variable 6 without entries
  holed.n = full.n;
  for (std::size_t k = 0; k < full.values.size(); ++k)
    if (full.rows[k] != 6 && full.cols[k] != 6) holed.add(full.rows[k], full.cols[k], full.values[k]);
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  const AssemblyTree tree = testing::elimination_tree(holed, true);
  const FactorRun run = testing::factorize(solver, holed, tree);
  ASSERT_EQ(run.iflag, 3);
  std::vector<double> b = testing::random_vector(9, 1);
  const std::vector<double> x = testing::solve(solver, run, tree.nnodes, b);
  EXPECT_EQ(x[5], b[5]);
  holed.add(6, 6, 1.0);  // with a unit diagonal the same x solves the system
  EXPECT_LT(testing::relative_residual(holed, x, b), 1e-14);
}

TEST(MFSOLV, SolvesFactorizedSystemsToRoundoff) {
  struct Case {
    const char* what;
    Entries m;
    bool single_node;
    int max_chain;
  };
  const std::vector<Case> cases = {
      {"one front", testing::random_definite(80, 5, 81), true, 1},
      {"node per variable", testing::random_definite(150, 3, 82), false, 1},
      {"chains", testing::random_definite(200, 4, 83), false, 5},
      {"indefinite", testing::random_saddle_point(150, 60, 84, true), false, 3},
      {"indefinite front", testing::random_saddle_point(60, 20, 85, false), true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const AssemblyTree tree =
        c.single_node ? testing::single_node_tree(c.m.n) : testing::elimination_tree(c.m, true, c.max_chain);
    std::ostringstream out;
    Solver solver = testing::quiet_solver(out);
    const FactorRun run = testing::factorize(solver, c.m, tree);
    ASSERT_EQ(run.iflag, 0);
    for (unsigned seed : {1u, 2u}) {
      const std::vector<double> b = testing::random_vector(c.m.n, seed);
      EXPECT_LT(testing::relative_residual(c.m, testing::solve(solver, run, tree.nnodes, b), b), 1e-12);
    }
  }
}

TEST(MFSOLV, ListingsFollowTheirLayout) {
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  Entries m;  // [[0, 1], [1, 0]]
  m.n = 2;
  m.add(1, 2, 1.0);
  const FactorRun run = testing::factorize(solver, m, testing::single_node_tree(2), 10, 10);
  solver.controls.diagnostic_level = 1;
  const std::vector<double> x = testing::solve(solver, run, 1, {3.0, -5.0});
  EXPECT_EQ(x, (std::vector<double>{-5.0, 3.0}));
  const std::string b21(21, ' ');
  EXPECT_EQ(out.str(), "\n\n ENTERING MFSOLV WITH      N     LA    LIW MFRONT  NNODES\n" + b21 +
                           "      2     10     10      2      1\n"
                           " BLOCK PIVOT =       1 NROWS =       2 NCOLS =       2\n"
                           " COLUMN INDICES =    -1     2\n"
                           " REAL ENTRIES .. EACH ROW STARTS ON A NEW LINE\n"
                           "   -0.000D+00    1.000D+00\n"
                           "   -0.000D+00\n"
                           " RHS    3.000D+00   -5.000D+00\n"
                           "\n\n LEAVING MFSOLV WITH\n"
                           " RHS   -5.000D+00    3.000D+00\n");
}

TEST(MFSOLV, ShortListingShowsTenValuesFiveALine) {
  std::ostringstream out;
  Solver solver = testing::quiet_solver(out);
  Entries m;
  m.n = 12;
  for (int i = 1; i <= 12; ++i) m.add(i, i, 1.0);
  const FactorRun run = testing::factorize(solver, m, testing::single_node_tree(12));
  solver.controls.diagnostic_level = 1;
  std::vector<double> b(12);
  for (int i = 0; i < 12; ++i) b[static_cast<std::size_t>(i)] = i + 1.0;
  EXPECT_EQ(testing::solve(solver, run, 1, b), b);
  const std::string text = out.str();
  const std::string rhs = " RHS    1.000D+00    2.000D+00    3.000D+00    4.000D+00    5.000D+00\n" +
                          std::string(4, ' ') +
                          "    6.000D+00    7.000D+00    8.000D+00    9.000D+00    1.000D+01\n";
  EXPECT_NE(text.find(rhs + "\n\n LEAVING MFSOLV WITH\n" + rhs), std::string::npos) << text;
}

}  // namespace
}  // namespace quorix
