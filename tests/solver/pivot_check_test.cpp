// Negligible pivots: the singular matrices round-off disguises.

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "solver/solver_interface.hpp"

namespace quorix {
namespace {

struct Entries {
  std::vector<int> rows, cols;
  std::vector<double> values;
  void add(int r, int c, double v) {
    rows.push_back(r);
    cols.push_back(c);
    values.push_back(v);
  }
};

SolveStatus solve(const Entries& e, int n, std::vector<double>& x, std::string& messages) {
  Solver solver;
  std::ostringstream out;
  solver.console = &out;
  std::vector<double> rhs(static_cast<std::size_t>(n), 1.0);
  x.assign(static_cast<std::size_t>(n), 0.0);
  const SolveStatus status = multifrontal_solve(solver, n, static_cast<std::int64_t>(e.rows.size()), e.rows,
                                                e.cols, e.values, rhs, x);
  messages = out.str();
  return status;
}

TEST(NegligiblePivots, ChainOfSpringsWithoutSupportIsSingular) {
  // Springs of stiffness k between n points: the stiffness is singular (a
  // rigid translation), but the values 0.1 * 3 etc. do not cancel exactly.
  const int n = 12;
  Entries free_chain;
  for (int i = 1; i < n; ++i) {
    const double k = 0.1 * (i % 3 + 1);
    free_chain.add(i, i, k);
    free_chain.add(i + 1, i + 1, k);
    free_chain.add(i, i + 1, -k);
  }
  std::vector<double> x;
  std::string messages;
  EXPECT_EQ(solve(free_chain, n, x, messages), SolveStatus::singular);
  EXPECT_EQ(
      messages,
      " *** WARNING MESSAGE FROM SUBROUTINE MFFACT *** IFLAG = 3\n     MATRIX IS SINGULAR. RANK=   11\n");

  // Tied to the ground at one end it is regular and quiet.
  Entries supported = free_chain;
  supported.add(1, 1, 0.05);
  EXPECT_EQ(solve(supported, n, x, messages), SolveStatus::solved);
  EXPECT_EQ(messages, "");
}

TEST(NegligiblePivots, IndefiniteMatricesWithTwoByTwoPivotsAreNotFlagged) {
  // Zero diagonals force 2 x 2 pivots; the matrix is regular.
  Entries e;
  e.add(1, 2, 1.0);
  e.add(3, 4, 2.0);
  e.add(2, 3, 0.5);
  e.add(4, 4, 1e-3);
  std::vector<double> x;
  std::string messages;
  EXPECT_EQ(solve(e, 4, x, messages), SolveStatus::solved) << messages;
}

}  // namespace
}  // namespace quorix
