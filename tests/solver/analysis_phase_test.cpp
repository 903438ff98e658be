// Tests of the analysis phase MFANAL: graph building, minimum-degree order,
// assembly tree, storage forecast, the supplied-order path and the messages.

#include "solver/analysis_phase.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "solver/solver_interface.hpp"
#include "solver/solver_test_support.hpp"

namespace quorix {
namespace {

using testing::Pattern;
using Nodes = std::vector<std::array<int, 3>>;  // per node: eliminated, sons, front order

// What one call of MFANAL leaves behind.
struct Analysis {
  int iflag = 0;
  SolverInfo info;
  std::vector<int> positions;  // IPLAN(.,1)
  Nodes nodes;                 // IPLAN(k,2), IPLAN(k,3), front order of node k
  std::string console;
};

std::int64_t minimum_liw(const Pattern& pattern) { return 2 * pattern.nz() + 3 * pattern.n + 1; }

Analysis analyse(const Pattern& pattern, std::int64_t liw, int iflag = 0, const std::vector<int>& order = {},
                 const SolverControls& controls = {}) {
  Solver solver;
  solver.controls = controls;
  std::ostringstream console;
  solver.console = &console;
  const int n = pattern.n;
  std::vector<int> int_space(static_cast<std::size_t>(std::max<std::int64_t>(liw, 0)));
  std::vector<int> iplan(static_cast<std::size_t>(std::max(3 * n, 0)));
  std::vector<int> tree_work(static_cast<std::size_t>(std::max(2 * n, 0)));
  std::copy(order.begin(), order.end(), iplan.begin());
  Analysis run;
  run.iflag = iflag;
  int nnodes = 0;
  MFANAL(solver, n, pattern.nz(), pattern.rows, pattern.cols, int_space, liw, iplan, tree_work, nnodes,
         run.iflag);
  run.info = solver.info;
  run.console = console.str();
  if (run.iflag < 0) return run;
  run.positions.assign(iplan.begin(), iplan.begin() + n);
  for (int k = 0; k < nnodes; ++k)
    run.nodes.push_back({iplan[n + k], iplan[2 * n + k], int_space[static_cast<std::size_t>(liw - n + k)]});
  return run;
}

Analysis analyse(const Pattern& pattern) { return analyse(pattern, minimum_liw(pattern)); }

std::vector<double> forecast(const SolverInfo& info) {
  return {info.OPS,
          static_cast<double>(info.RTOTAL),
          static_cast<double>(info.RNEEDS),
          static_cast<double>(info.ITOTAL),
          static_cast<double>(info.INEEDS),
          static_cast<double>(info.RFACTS),
          static_cast<double>(info.IFACTS)};
}

// Column counts of L, diagonal included, by plain elimination on a dense
// boolean matrix in the order given by `positions` (independent of the phase).
std::vector<int> eliminated_column_counts(const Pattern& pattern, const std::vector<int>& positions) {
  const int n = pattern.n;
  std::vector<std::vector<char>> linked(static_cast<std::size_t>(n) + 1, std::vector<char>(n + 1, 0));
  for (std::size_t k = 0; k < pattern.rows.size(); ++k) {
    const int i = pattern.rows[k], j = pattern.cols[k];
    if (i >= 1 && i <= n && j >= 1 && j <= n && i != j) linked[i][j] = linked[j][i] = 1;
  }
  std::vector<int> variable_at(static_cast<std::size_t>(n) + 1), counts(static_cast<std::size_t>(n) + 1, 0);
  for (int v = 1; v <= n; ++v) variable_at[positions[v - 1]] = v;
  std::vector<char> done(static_cast<std::size_t>(n) + 1, 0);
  for (int k = 1; k <= n; ++k) {
    const int v = variable_at[k];
    std::vector<int> rest;
    for (int u = 1; u <= n; ++u)
      if (linked[v][u] && !done[u]) rest.push_back(u);
    counts[v] = static_cast<int>(rest.size()) + 1;
    for (int a : rest)
      for (int b : rest) linked[a][b] = linked[a][b] || a != b;
    done[v] = 1;
  }
  return counts;
}

// The outputs form a valid plan: a permutation, nodes eliminating all N
// variables, and son counts that a stack of remainders can serve (each node
// pops its sons and pushes one remainder unless it is the last node or has
// nothing left), ending empty.
void expect_valid_plan(const Analysis& run, int n) {
  ASSERT_GE(run.iflag, 0);
  std::vector<int> one_to_n(static_cast<std::size_t>(n));
  std::iota(one_to_n.begin(), one_to_n.end(), 1);
  EXPECT_TRUE(
      std::is_permutation(run.positions.begin(), run.positions.end(), one_to_n.begin(), one_to_n.end()));
  int depth = 0, total = 0;
  for (std::size_t k = 0; k < run.nodes.size(); ++k) {
    const auto [p, s, f] = run.nodes[k];
    ASSERT_TRUE(1 <= p && p <= f) << "node " << k + 1;
    ASSERT_LE(s, depth) << "stack underflow at node " << k + 1;
    depth += (k + 1 != run.nodes.size() && p != f) - s;
    total += p;
  }
  EXPECT_EQ(total, n);
  EXPECT_EQ(depth, 0);
}

// Fronts are exact: node k's front is the column count of its first pivot,
// and RFACTS counts the entries of L plus the diagonal.
void expect_exact_fronts(const Analysis& run, const Pattern& pattern) {
  const std::vector<int> counts = eliminated_column_counts(pattern, run.positions);
  std::vector<int> variable_at(static_cast<std::size_t>(pattern.n) + 1);
  for (int v = 1; v <= pattern.n; ++v) variable_at[run.positions[v - 1]] = v;
  int first = 1;
  for (const auto& [p, s, f] : run.nodes) {
    EXPECT_EQ(f, counts[variable_at[first]]) << "node at position " << first;
    first += p;
  }
  EXPECT_EQ(run.info.RFACTS, std::accumulate(counts.begin(), counts.end(), std::int64_t{0}));
}

Pattern tridiagonal(int n) {
  Pattern pattern;
  pattern.n = n;
  for (int i = 1; i <= n; ++i) pattern.add(i, i);
  for (int i = 1; i < n; ++i) pattern.add(i, i + 1);
  return pattern;
}

Pattern without_diagonal(const Pattern& pattern) {
  Pattern result;
  result.n = pattern.n;
  for (std::size_t k = 0; k < pattern.rows.size(); ++k)
    if (pattern.rows[k] != pattern.cols[k]) result.add(pattern.rows[k], pattern.cols[k]);
  return result;
}

// ---------------------------------------------------------------------------

TEST(BuildAdjacency, RepeatedPairsAndBothTrianglesGiveOneEdge) {
  // (1,2) three times, (2,3) in both triangles, a diagonal entry.
  Pattern pattern;
  pattern.n = 4;
  for (auto [i, j] : {std::pair{1, 2}, {2, 1}, {1, 2}, {3, 2}, {2, 3}, {4, 4}, {1, 4}, {3, 1}})
    pattern.add(i, j);
  Solver solver;
  std::vector<int> int_space(static_cast<std::size_t>(minimum_liw(pattern))), met(4);
  std::vector<std::int64_t> list_start(4), list_end(4);
  int iflag = 0;
  const std::int64_t free = build_adjacency(solver, 4, pattern.nz(), pattern.rows, pattern.cols, int_space,
                                            list_start, list_end, met, iflag);
  // Larger neighbours first in entry order, then smaller ones increasing.
  const std::vector<int> expected = {3, 2, 4, 3, /**/ 2, 3, 1, /**/ 2, 1, 2, /**/ 1, 1};
  EXPECT_EQ(std::vector<int>(int_space.begin(), int_space.begin() + 12), expected);
  EXPECT_EQ(list_start, (std::vector<std::int64_t>{1, 5, 8, 11}));
  EXPECT_EQ(free, 13);
  EXPECT_EQ(iflag, 0);
}

TEST(Mfanal, HandWorkedOrders) {
  // Path 1-2-3-4: the ends first (highest index first among equal degrees),
  // then 3; 2 and 1 form the dense root.
  const Analysis path = analyse(tridiagonal(4));
  EXPECT_EQ(path.positions, (std::vector<int>{3, 4, 2, 1}));
  EXPECT_EQ(path.nodes, (Nodes{{1, 0, 2}, {1, 1, 2}, {2, 1, 2}}));
  EXPECT_EQ(forecast(path.info), (std::vector<double>{3, 15, 11, 20, 16, 7, 11}));
  EXPECT_EQ(path.info.NCOMPA, 0);

  // Complete graph K5: one pivot, then the other four are dense; the two
  // nodes merge into one front of 5.
  Pattern complete;
  complete.n = 5;
  for (int i = 1; i <= 5; ++i)
    for (int j = i; j <= 5; ++j) complete.add(i, j);
  const Analysis clique = analyse(complete);
  EXPECT_EQ(clique.positions, (std::vector<int>{5, 4, 3, 2, 1}));
  EXPECT_EQ(clique.nodes, (Nodes{{5, 0, 5}}));

  // Star with centre 1: the centre joins the dense root at once, leaves 5, 4,
  // 3 are eliminated onto it and leaf 2 is the last to join.
  Pattern star;
  star.n = 5;
  for (int leaf = 2; leaf <= 5; ++leaf) star.add(1, leaf);
  const Analysis s = analyse(star);
  EXPECT_EQ(s.positions, (std::vector<int>{5, 4, 3, 2, 1}));
  EXPECT_EQ(s.nodes, (Nodes{{1, 0, 2}, {1, 0, 2}, {1, 0, 2}, {2, 3, 2}}));
}

TEST(Mfanal, DiagonalOnlyGivesOneNodePerVariableHighestFirst) {
  for (int n : {1, 2, 7}) {
    Pattern pattern;
    pattern.n = n;
    for (int i = 1; i <= n; ++i) pattern.add(i, i);
    const Analysis run = analyse(pattern);
    EXPECT_EQ(run.positions[n - 1], 1);  // variable N first
    EXPECT_EQ(run.positions[0], n);      // variable 1 last
    EXPECT_EQ(run.nodes, Nodes(static_cast<std::size_t>(n), {1, 0, 1}));
    expect_valid_plan(run, n);
  }
}

TEST(Mfanal, ErrorReturnsWithTheirMessages) {
  const Pattern three = tridiagonal(3);  // NZ = 5
  Pattern no_variables, negative = three;
  negative.n = -3;
  Analysis run = analyse(no_variables, 10);
  EXPECT_EQ(run.iflag, -1);
  EXPECT_EQ(run.console,
            " **** ERROR RETURN FROM MFANAL **** IFLAG= -1\n VALUE OF N OUT OF RANGE ... =         0\n");
  run = analyse(negative, 100);
  EXPECT_EQ(run.console,
            " **** ERROR RETURN FROM MFANAL **** IFLAG= -1\n VALUE OF N OUT OF RANGE ... =        -3\n");
  SolverControls low_limit;
  low_limit.integer_limit = 2;
  EXPECT_EQ(analyse(three, 100, 0, {}, low_limit).iflag, -1);

  // NZ < 0 cannot come from a vector: call the phase directly.
  Solver solver;
  std::ostringstream console;
  solver.console = &console;
  std::vector<int> int_space(20), iplan(9), tree_work(6);
  int nnodes = 0, iflag = 0;
  MFANAL(solver, 3, -1, three.rows, three.cols, int_space, 20, iplan, tree_work, nnodes, iflag);
  EXPECT_EQ(iflag, -2);
  EXPECT_EQ(console.str(),
            " **** ERROR RETURN FROM MFANAL **** IFLAG= -2\n VALUE OF NZ OUT OF RANGE .. =        -1\n");

  // LIW one short of 2 NZ + 3N + 1 = 20 (computed order), of NZ + 3N + 1 = 15
  // (supplied order).
  run = analyse(three, 19);
  EXPECT_EQ(run.iflag, -3);
  EXPECT_EQ(run.info.IERROR, 20);
  EXPECT_EQ(run.console,
            " **** ERROR RETURN FROM MFANAL **** IFLAG= -3\n"
            " LIW TOO SMALL, MUST BE INCREASED FROM        19 TO AT LEAST        20\n");
  run = analyse(three, 14, 1, {1, 2, 3});
  EXPECT_EQ(run.iflag, -3);
  EXPECT_EQ(run.info.IERROR, 15);
  EXPECT_EQ(analyse(three, 15, 1, {1, 2, 3}).iflag, 0);

  SolverControls silent;
  silent.error_unit = 0;
  run = analyse(three, 19, 0, {}, silent);
  EXPECT_EQ(run.iflag, -3);
  EXPECT_EQ(run.console, "");
}

TEST(Mfanal, OutOfRangeEntriesAreWarnedCountedAndDropped) {
  const Pattern clean = testing::random_pattern(12, 30, 7);
  Pattern dirty;
  dirty.n = 12;
  const std::vector<std::pair<int, int>> bad = {{0, 1}, {1, 13}, {-2, 3}, {13, 13}, {5, 0}, {14, 2},
                                                {0, 0}, {3, -1}, {20, 4}, {6, 99},  {0, 7}, {8, 13}};
  for (std::size_t k = 0; k < clean.rows.size(); ++k) {  // bad entries at 1, 3, 5, ..., 23
    if (k < bad.size()) dirty.add(bad[k].first, bad[k].second);
    dirty.add(clean.rows[k], clean.cols[k]);
  }
  for (int iflag_in : {0, 1}) {
    const std::vector<int> order =
        iflag_in == 1 ? std::vector<int>{3, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12} : std::vector<int>{};
    const Analysis run = analyse(dirty, minimum_liw(dirty), iflag_in, order);
    EXPECT_EQ(run.iflag, 1);
    EXPECT_EQ(run.info.IERROR, 12);
    std::istringstream lines(run.console);
    std::vector<std::string> text;
    for (std::string line; std::getline(lines, line);) text.push_back(line);
    ASSERT_EQ(text.size(), 11u);  // the header once, then ten entries
    EXPECT_EQ(text[0], " *** WARNING MESSAGE FROM SUBROUTINE MFANAL *** IFLAG = 1");
    EXPECT_EQ(text[1], "     1TH NON-ZERO (IN ROW     0 AND COLUMN     1) IGNORED");
    EXPECT_EQ(text[3], "     5TH NON-ZERO (IN ROW    -2 AND COLUMN     3) IGNORED");
    EXPECT_EQ(text[10], "    19TH NON-ZERO (IN ROW     6 AND COLUMN    99) IGNORED");
    // The rest of the analysis treats them as absent.
    EXPECT_EQ(run.positions, analyse(clean, minimum_liw(clean), iflag_in, order).positions);
  }
}

TEST(Mfanal, PlansAreValidAndFrontsExactOnRandomPatterns) {
  // Repeats, both triangles and isolated variables included; computed
  // orders, and random orders supplied (whose elimination tree keeps their
  // fill even where it renumbers them).
  for (unsigned seed = 1; seed <= 40; ++seed) {
    const int n = 2 + static_cast<int>(seed * 7 % 60);
    const Pattern pattern =
        testing::random_pattern(n, static_cast<int>(seed % 4 + 1) * n / 2, seed, static_cast<int>(seed % 3));
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Analysis run = analyse(pattern);
    expect_valid_plan(run, n);
    expect_exact_fronts(run, pattern);

    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 1);
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    const Analysis supplied = analyse(pattern, pattern.nz() + 3 * n + 1, 1, order);
    expect_valid_plan(supplied, n);
    expect_exact_fronts(supplied, pattern);
    const std::vector<int> counts = eliminated_column_counts(pattern, order);
    EXPECT_EQ(supplied.info.RFACTS, std::accumulate(counts.begin(), counts.end(), std::int64_t{0}));
    // With room in the work space for the lists of later variables, or not:
    // the same plan.
    const Analysis roomy = analyse(pattern, minimum_liw(pattern), 1, order);
    EXPECT_EQ(roomy.positions, supplied.positions);
    EXPECT_EQ(roomy.nodes, supplied.nodes);
  }
}

TEST(Mfanal, CubicTriangleMeshPlanIsValidExactAndKeepsNodePairsTogether) {
  const Pattern mesh = testing::cubic_triangle_mesh_pattern(4, 3);
  const Analysis run = analyse(mesh);
  expect_valid_plan(run, mesh.n);
  expect_exact_fronts(run, mesh);
  // The x and y equations of a mesh node have the same pattern: they are
  // eliminated in the same tree node.
  std::vector<int> node_at(static_cast<std::size_t>(mesh.n) + 1);
  for (int k = 0, position = 0; k < static_cast<int>(run.nodes.size()); ++k)
    for (int t = 0; t < run.nodes[k][0]; ++t) node_at[++position] = k;
  for (int node = 1; 2 * node <= mesh.n; ++node)
    EXPECT_EQ(node_at[run.positions[2 * node - 2]], node_at[run.positions[2 * node - 1]])
        << "mesh node " << node;
}

TEST(Mfanal, CompressionsLeaveTheOrderUnchanged) {
  // Without diagonal entries the minimum LIW leaves only 2N + 1 free words.
  std::vector<Pattern> patterns = {without_diagonal(testing::cubic_triangle_mesh_pattern(10, 10))};
  for (unsigned seed = 1; seed <= 3; ++seed)
    patterns.push_back(without_diagonal(testing::random_pattern(300, 900, seed)));
  // Small ones, where the free end meets the end of the space at any moment
  // of building an element, even before its length word.
  for (unsigned seed = 1; seed <= 300; ++seed) {
    const int n = 5 + static_cast<int>(seed * 37 % 120);
    patterns.push_back(
        without_diagonal(testing::random_pattern(n, static_cast<int>(seed % 5 + 1) * n, seed)));
  }
  for (const Pattern& pattern : patterns) {
    const Analysis tight = analyse(pattern, minimum_liw(pattern));
    const Analysis roomy = analyse(pattern, 4 * minimum_liw(pattern));
    if (pattern.n >= 300) {
      EXPECT_GT(tight.info.NCOMPA, 0);
    }
    EXPECT_EQ(roomy.info.NCOMPA, 0);
    EXPECT_EQ(tight.positions, roomy.positions);
    EXPECT_EQ(tight.nodes, roomy.nodes);
    EXPECT_EQ(forecast(tight.info), forecast(roomy.info));
    expect_valid_plan(tight, pattern.n);
    if (pattern.n <= 300) expect_exact_fronts(tight, pattern);
  }
}

TEST(MfanalSuppliedOrder, HandWorkedTrees) {
  // Identity on a tridiagonal matrix: a chain of one-variable nodes, each
  // front holding the pivot and the next variable; the last pivot's front is
  // the remainder of the one before, so the two make one node.
  const Analysis chain = analyse(tridiagonal(4), 20, 1, {1, 2, 3, 4});
  EXPECT_EQ(chain.iflag, 0);
  EXPECT_EQ(chain.positions, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(chain.nodes, (Nodes{{1, 0, 2}, {1, 1, 2}, {2, 1, 2}}));
  EXPECT_EQ(forecast(chain.info), (std::vector<double>{3, 15, 11, 20, 16, 7, 11}));
  EXPECT_EQ(chain.info.NCOMPA, 0);

  // Variable 3 coupled to 1 and 2: two leaves stacked, both assembled at 3.
  Pattern fork;
  fork.n = 3;
  for (auto [i, j] : {std::pair{1, 1}, {2, 2}, {3, 3}, {1, 3}, {2, 3}}) fork.add(i, j);
  const Analysis two_sons = analyse(fork, 15, 1, {1, 2, 3});
  EXPECT_EQ(two_sons.positions, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(two_sons.nodes, (Nodes{{1, 0, 2}, {1, 0, 2}, {1, 2, 1}}));
  EXPECT_EQ(forecast(two_sons.info), (std::vector<double>{2, 12, 9, 19, 15, 5, 9}));

  // An identity that is no postorder: (1,4) and (2,3) give the trees 2-3 and
  // 1-4, walked by increasing position of their roots, each one node.
  Pattern crossed;
  crossed.n = 4;
  crossed.add(1, 4);
  crossed.add(2, 3);
  const Analysis renumbered = analyse(crossed, 15, 1, {1, 2, 3, 4});
  EXPECT_EQ(renumbered.positions, (std::vector<int>{3, 1, 2, 4}));
  EXPECT_EQ(renumbered.nodes, (Nodes{{2, 0, 2}, {2, 0, 2}}));

  // Not a permutation: refused, naming the first variable out of range or
  // whose position is taken.
  for (const auto& [order, variable] :
       {std::pair{std::vector<int>{7, 1, 2}, 1}, {{1, 2, 2}, 3}, {{2, 1, 0}, 3}}) {
    const Analysis refused = analyse(tridiagonal(3), 15, 1, order);
    EXPECT_EQ(refused.iflag, -8);
    EXPECT_EQ(refused.info.IERROR, variable);
    EXPECT_EQ(refused.console,
              " **** ERROR RETURN FROM MFANAL **** IFLAG= -8\n IPLAN(.,1) IS NOT A PERMUTATION, "
              "FIRST AT VARIABLE         " +
                  std::to_string(variable) + "\n");
  }
}

TEST(BuildAssemblyTree, MembersAndMergingRules) {
  // 3 and 2 are sons of 4; 1 is a member of 2, 2 a member of 4 (size 0).
  std::vector<int> first_child(4), next_sibling(4), positions(4), eliminated(4), sons(4), fronts(4);
  int nnodes = build_assembly_tree(4, std::vector<int>{2, 4, 4, 0}, std::vector<int>{0, 0, 2, 3}, {}, 1,
                                   first_child, next_sibling, positions, eliminated, sons, fronts);
  EXPECT_EQ(positions, (std::vector<int>{2, 3, 1, 4}));
  ASSERT_EQ(nnodes, 2);
  EXPECT_EQ(eliminated[1], 3);  // 4 with its members 2 and 1
  EXPECT_EQ(sons[1], 1);
  EXPECT_EQ(fronts[1], 3);

  // Two one-pivot leaves 1, 2 under 3 (walked 2, 1, 3). With min_node_pivots
  // 2, node 3 merges into its last son 1: 2 pivots, front 1 + 1, 1 son left.
  for (int min_pivots : {1, 2}) {
    nnodes = build_assembly_tree(3, std::vector<int>{3, 3, 0}, std::vector<int>{2, 2, 1}, {}, min_pivots,
                                 first_child, next_sibling, positions, eliminated, sons, fronts);
    EXPECT_EQ(std::vector<int>(positions.begin(), positions.begin() + 3), (std::vector<int>{2, 1, 3}));
    Nodes nodes;
    for (int k = 0; k < nnodes; ++k) nodes.push_back({eliminated[k], sons[k], fronts[k]});
    EXPECT_EQ(nodes,
              min_pivots == 1 ? (Nodes{{1, 0, 2}, {1, 0, 2}, {1, 2, 1}}) : (Nodes{{1, 0, 2}, {2, 1, 2}}));
  }
}

TEST(Mfanal, DiagnosticListings) {
  SolverControls controls;
  controls.diagnostic_level = 1;
  const std::string blanks20(20, ' ');
  EXPECT_EQ(analyse(tridiagonal(4), 27, 0, {}, controls).console,
            "\n\n ENTERING MFANAL WITH      N     NZ      LIW  IFLAG\n"
            "                           4      7       27      0\n"
            " MATRIX NON-ZEROS\n"
            "        1     1        2     2        3     3        4     4\n"
            "        1     2        2     3        3     4\n"
            "\n LEAVING MFANAL WITH NNODES  IFLAG    OPS IERROR RTOTAL ITOTAL\n" +
                blanks20 + "      3      0     3.      0     15     20\n" + blanks20 +
                " RNEEDS INEEDS RFACTS IFACTS NCOMPA\n" + blanks20 +
                "     11     16      7     11      0\n"
                " IPLAN(.,1)=     3     4     2     1\n"
                " IPLAN(.,2)=     1     1     2\n"
                " IPLAN(.,3)=     0     1     1\n");

  // Full listing: every entry and position, ten a line; the supplied order
  // is listed on entry.
  controls.diagnostic_level = 2;
  Pattern diagonal;
  diagonal.n = 11;
  for (int i = 1; i <= 11; ++i) diagonal.add(i, i);
  const std::string text = analyse(diagonal, 45, 1, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, controls).console;
  EXPECT_NE(text.find("        9     9       10    10       11    11\n"
                      " IPLAN(.,1)=    11    10     9     8     7     6     5     4     3     2\n"
                      "                 1\n"),
            std::string::npos);
  EXPECT_NE(text.find(" IPLAN(.,3)=     0     0     0     0     0     0     0     0     0     0\n"
                      "                 0\n"),
            std::string::npos);

  controls.diagnostic_unit = 0;
  EXPECT_EQ(analyse(tridiagonal(4), 27, 0, {}, controls).console, "");
}

}  // namespace
}  // namespace quorix
