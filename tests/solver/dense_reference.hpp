#pragma once
// Helpers for the solver tests: coordinate matrices (random definite and
// indefinite ones), a dense reference (residual, inertia by Jacobi
// rotations), assembly trees built independently of MFANAL from a symbolic
// elimination, and roomy runs of MFFACT and MFSOLV.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <vector>

#include "solver/factorization_phase.hpp"
#include "solver/solver_interface.hpp"

namespace quorix::testing {

// Entries (rows(k), cols(k), values(k)), 1-based, either triangle; an
// off-diagonal entry stands for both K(i,j) and K(j,i); repeats add up.
struct Entries {
  int n = 0;
  std::vector<int> rows;
  std::vector<int> cols;
  std::vector<double> values;
  std::int64_t nz() const { return static_cast<std::int64_t>(values.size()); }
  void add(int i, int j, double v) {
    rows.push_back(i);
    cols.push_back(j);
    values.push_back(v);
  }
};

// Dense n x n copy, row-major, 0-based.
inline std::vector<double> dense(const Entries& m) {
  const auto n = static_cast<std::size_t>(m.n);
  std::vector<double> a(n * n, 0.0);
  for (std::size_t k = 0; k < m.values.size(); ++k) {
    const int i = m.rows[k], j = m.cols[k];
    if (i < 1 || i > m.n || j < 1 || j > m.n) continue;
    const auto r = static_cast<std::size_t>(i - 1), c = static_cast<std::size_t>(j - 1);
    a[r * n + c] += m.values[k];
    if (r != c) a[c * n + r] += m.values[k];
  }
  return a;
}

// ||K x - b|| / (||K|| ||x|| + ||b||) in the max norms.
inline double relative_residual(const Entries& m, const std::vector<double>& x, const std::vector<double>& b) {
  const std::vector<double> a = dense(m);
  const auto n = static_cast<std::size_t>(m.n);
  double residual = 0.0, norm_k = 0.0, norm_x = 0.0, norm_b = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    double sum = -b[i], row_sum = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
      sum += a[i * n + j] * x[j];
      row_sum += std::abs(a[i * n + j]);
    }
    residual = std::max(residual, std::abs(sum));
    norm_k = std::max(norm_k, row_sum);
    norm_x = std::max(norm_x, std::abs(x[i]));
    norm_b = std::max(norm_b, std::abs(b[i]));
  }
  return residual / (norm_k * norm_x + norm_b);
}

// Number of negative eigenvalues, by cyclic Jacobi rotations on a dense copy.
inline int negative_eigenvalues(const Entries& m) {
  std::vector<double> a = dense(m);
  const auto n = static_cast<std::size_t>(m.n);
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0.0, scale = 0.0;
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j) (i == j ? scale : off) += a[i * n + j] * a[i * n + j];
    if (off <= 1e-30 * scale) break;
    for (std::size_t p = 0; p < n; ++p) {
      for (std::size_t q = p + 1; q < n; ++q) {
        const double apq = a[p * n + q];
        if (apq == 0.0) continue;
        const double theta = (a[q * n + q] - a[p * n + p]) / (2.0 * apq);
        const double t = (theta >= 0.0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (std::size_t k = 0; k < n; ++k) {  // columns p, q
          const double akp = a[k * n + p], akq = a[k * n + q];
          a[k * n + p] = c * akp - s * akq;
          a[k * n + q] = s * akp + c * akq;
        }
        for (std::size_t k = 0; k < n; ++k) {  // rows p, q
          const double apk = a[p * n + k], aqk = a[q * n + k];
          a[p * n + k] = c * apk - s * aqk;
          a[q * n + k] = s * apk + c * aqk;
        }
      }
    }
  }
  int negative = 0;
  for (std::size_t i = 0; i < n; ++i) negative += a[i * n + i] < 0.0;
  return negative;
}

// A random symmetric pattern with about `per_row` off-diagonal entries per
// row, upper triangle, values in [-1, 1]; the diagonal is made dominant, so
// the matrix is definite (and every 1x1 pivot passes in order).
inline Entries random_definite(int n, int per_row, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::uniform_int_distribution<int> column(1, n);
  Entries m;
  m.n = n;
  std::vector<double> row_sum(static_cast<std::size_t>(n) + 1, 0.0);
  for (int i = 1; i <= n; ++i) {
    for (int t = 0; t < per_row; ++t) {
      const int j = column(random);
      if (j == i) continue;
      const double v = value(random);
      m.add(std::min(i, j), std::max(i, j), v);
      row_sum[static_cast<std::size_t>(i)] += std::abs(v);
      row_sum[static_cast<std::size_t>(j)] += std::abs(v);
    }
  }
  for (int i = 1; i <= n; ++i) m.add(i, i, row_sum[static_cast<std::size_t>(i)] + 0.5 + std::abs(value(random)));
  return m;
}

// [[A, B^T], [B, 0]] with A definite (order n - constraints) and B sparse
// random with a leading nonzero in every row: indefinite, zero diagonal in
// the second block, inertia (n - constraints, constraints) when B has full
// rank. Also a few negative diagonals in A when `negative_diagonals`.
inline Entries random_saddle_point(int n, int constraints, unsigned seed, bool negative_diagonals = false) {
  const int primal = n - constraints;
  Entries m = random_definite(primal, 3, seed);
  m.n = n;
  std::mt19937 random(seed + 7919);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::uniform_int_distribution<int> column(1, primal);
  for (int c = 1; c <= constraints; ++c) {
    const int row = primal + c;
    m.add(std::min(c, primal), row, 1.0 + std::abs(value(random)));
    for (int t = 0; t < 2; ++t) m.add(column(random), row, value(random));
  }
  if (negative_diagonals) {
    for (std::size_t k = 0; k < m.values.size(); ++k) {
      if (m.rows[k] == m.cols[k] && m.rows[k] % 5 == 0) m.values[k] = -m.values[k];
    }
  }
  return m;
}

// ---- Assembly trees -----------------------------------------------------

// IPLAN (3N words, column-major as MFANAL leaves it) and NNODES.
struct AssemblyTree {
  std::vector<int> iplan;
  int nnodes = 0;
};

// One node eliminating every variable in the given order (identity when empty).
inline AssemblyTree single_node_tree(int n, std::vector<int> order = {}) {
  AssemblyTree tree;
  tree.iplan.assign(3 * static_cast<std::size_t>(n), 0);
  for (int i = 1; i <= n; ++i) tree.iplan[static_cast<std::size_t>(i - 1)] = order.empty() ? i : order[static_cast<std::size_t>(i - 1)];
  tree.nnodes = 1;
  tree.iplan[static_cast<std::size_t>(n)] = n;
  tree.iplan[2 * static_cast<std::size_t>(n)] = 0;
  return tree;
}

// The elimination tree of a symbolic elimination (greedy minimum degree when
// `minimum_degree`, otherwise the variables in index order), numbered in
// postorder, one node per variable; with `max_chain` > 1 a node with a
// single son is merged into it while the node eliminates fewer than
// max_chain variables.
inline AssemblyTree elimination_tree(const Entries& m, bool minimum_degree, int max_chain = 1) {
  const int n = m.n;
  const auto un = static_cast<std::size_t>(n);
  std::vector<std::vector<char>> adjacent(un, std::vector<char>(un, 0));
  for (std::size_t k = 0; k < m.values.size(); ++k) {
    const int i = m.rows[k], j = m.cols[k];
    if (i < 1 || i > n || j < 1 || j > n || i == j) continue;
    adjacent[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)] = 1;
    adjacent[static_cast<std::size_t>(j - 1)][static_cast<std::size_t>(i - 1)] = 1;
  }
  std::vector<char> eliminated(un, 0);
  std::vector<int> position(un, 0), sequence;
  std::vector<std::vector<std::size_t>> later(un);  // neighbours when eliminated (the front's other variables)
  for (int step = 1; step <= n; ++step) {
    std::size_t v = un;
    int best = n + 1;
    for (std::size_t i = 0; i < un && (minimum_degree || v == un); ++i) {
      if (eliminated[i]) continue;
      int degree = 0;
      for (std::size_t j = 0; j < un; ++j) degree += !eliminated[j] && adjacent[i][j];
      if (degree < best) {
        best = degree;
        v = i;
      }
    }
    eliminated[v] = 1;
    position[v] = step;
    sequence.push_back(static_cast<int>(v));
    for (std::size_t j = 0; j < un; ++j)
      if (!eliminated[j] && adjacent[v][j]) later[v].push_back(j);
    for (std::size_t a : later[v])
      for (std::size_t b : later[v])
        if (a != b) adjacent[a][b] = 1;
  }
  // the father is the neighbour eliminated first after v
  std::vector<int> parent(un, -1);
  for (std::size_t v = 0; v < un; ++v)
    for (std::size_t j : later[v])
      if (parent[v] < 0 || position[j] < position[static_cast<std::size_t>(parent[v])]) parent[v] = static_cast<int>(j);
  // children in elimination order, postorder walk from the roots
  std::vector<std::vector<int>> children(un);
  std::vector<int> roots;
  for (int v : sequence) {
    if (parent[static_cast<std::size_t>(v)] < 0) {
      roots.push_back(v);
    } else {
      children[static_cast<std::size_t>(parent[static_cast<std::size_t>(v)])].push_back(v);
    }
  }
  std::vector<int> postorder;
  std::vector<std::pair<int, std::size_t>> stack;
  for (int root : roots) {
    stack.push_back({root, 0});
    while (!stack.empty()) {
      auto& [v, next] = stack.back();
      const auto& kids = children[static_cast<std::size_t>(v)];
      if (next < kids.size()) {
        const int child = kids[next++];
        stack.push_back({child, 0});
      } else {
        postorder.push_back(v);
        stack.pop_back();
      }
    }
  }
  AssemblyTree tree;
  tree.iplan.assign(3 * un, 0);
  std::vector<int> planned, sons;
  int previous = -1;  // variable closing the last node
  for (std::size_t k = 0; k < un; ++k) {
    const int v = postorder[k];
    tree.iplan[static_cast<std::size_t>(v)] = static_cast<int>(k) + 1;
    const int kids = static_cast<int>(children[static_cast<std::size_t>(v)].size());
    if (max_chain > 1 && kids == 1 && children[static_cast<std::size_t>(v)][0] == previous && planned.back() < max_chain) {
      ++planned.back();
    } else {
      planned.push_back(1);
      sons.push_back(kids);
    }
    previous = v;
  }
  tree.nnodes = static_cast<int>(planned.size());
  for (std::size_t k = 0; k < planned.size(); ++k) {
    tree.iplan[un + k] = planned[k];
    tree.iplan[2 * un + k] = sons[k];
  }
  return tree;
}

// ---- Runs of the phases -------------------------------------------------

struct FactorRun {
  std::vector<double> real_space;
  std::vector<int> int_space;
  std::int64_t la = 0, liw = 0;
  int mfront = 0;
  int iflag = 0;
  SolverInfo info;
};

inline std::int64_t roomy_la(const Entries& m) { return 3LL * m.n * m.n + 2 * m.nz() + 100; }
inline std::int64_t roomy_liw(const Entries& m) { return 3LL * m.n * m.n + 2 * m.nz() + 100; }

// MFFACT (with the given panel width) on the entries, in storage of the given
// sizes (roomy when 0); the unused words start as garbage, not zeros.
inline FactorRun factorize(Solver& solver, const Entries& m, const AssemblyTree& tree, std::int64_t la = 0,
                           std::int64_t liw = 0, int panel = default_panel_pivots) {
  FactorRun run;
  run.la = la > 0 ? la : roomy_la(m);
  run.liw = liw > 0 ? liw : roomy_liw(m);
  run.real_space.assign(static_cast<std::size_t>(run.la), 1.0e300);
  run.int_space.assign(static_cast<std::size_t>(run.liw), -123456789);
  std::copy(m.values.begin(), m.values.end(), run.real_space.begin());
  std::vector<int> tree_work(static_cast<std::size_t>(std::max(m.n, 0)), 0);
  factorize_with_panel(solver, m.n, m.nz(), m.rows, m.cols, run.real_space, run.la, run.int_space, run.liw, tree.iplan,
                       tree.nnodes, run.mfront, tree_work, run.iflag, panel);
  run.info = solver.info;
  return run;
}

// MFSOLV on the factors of `run` for right-hand side b.
inline std::vector<double> solve(Solver& solver, const FactorRun& run, int nnodes, std::vector<double> b) {
  std::vector<double> front_work(static_cast<std::size_t>(run.mfront));
  std::vector<std::int64_t> block_start(static_cast<std::size_t>(nnodes));
  MFSOLV(solver, static_cast<int>(b.size()), run.real_space, run.la, run.int_space, run.liw, front_work, run.mfront,
         b, block_start, nnodes);
  return b;
}

inline std::vector<double> random_vector(int n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::vector<double> b(static_cast<std::size_t>(n));
  for (double& x : b) x = value(random);
  return b;
}

// True when the factors (RUSAGE reals, IUSAGE integers) agree bit for bit.
inline bool same_factors(const FactorRun& a, const FactorRun& b) {
  if (a.info.RUSAGE != b.info.RUSAGE || a.info.IUSAGE != b.info.IUSAGE) return false;
  const auto reals = static_cast<std::size_t>(a.info.RUSAGE), ints = static_cast<std::size_t>(a.info.IUSAGE);
  return std::memcmp(a.real_space.data(), b.real_space.data(), reals * sizeof(double)) == 0 &&
         std::memcmp(a.int_space.data(), b.int_space.data(), ints * sizeof(int)) == 0;
}

inline bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// A solver whose messages go to `out`.
inline Solver quiet_solver(std::ostringstream& out) {
  Solver solver;
  solver.console = &out;
  return solver;
}

}  // namespace quorix::testing
