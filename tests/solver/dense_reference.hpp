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
inline double relative_residual(const Entries& m, const std::vector<double>& x,
                                const std::vector<double>& b) {
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
  for (int i = 1; i <= n; ++i)
    m.add(i, i, row_sum[static_cast<std::size_t>(i)] + 0.5 + std::abs(value(random)));
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

// The same matrix with its variables numbered backwards (i -> N + 1 - i).
inline Entries reversed(const Entries& m) {
  Entries r;
  r.n = m.n;
  for (std::size_t k = 0; k < m.values.size(); ++k)
    r.add(m.n + 1 - m.rows[k], m.n + 1 - m.cols[k], m.values[k]);
  return r;
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
  for (int i = 1; i <= n; ++i)
    tree.iplan[static_cast<std::size_t>(i - 1)] = order.empty() ? i : order[static_cast<std::size_t>(i - 1)];
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
  std::vector<std::vector<std::size_t>> later(
      un);  // neighbours when eliminated (the front's other variables)
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
      if (parent[v] < 0 || position[j] < position[static_cast<std::size_t>(parent[v])])
        parent[v] = static_cast<int>(j);
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
    if (max_chain > 1 && kids == 1 && children[static_cast<std::size_t>(v)][0] == previous &&
        planned.back() < max_chain) {
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

// ---- A literal single-front factorization ------------------------------

// The factors of one front holding the whole matrix in index order (the
// single_node_tree case, no repeated entries), computed entry by entry as
// the pivoting rules state them: passes over the candidates, the 1x1 test,
// the 2x2 test, interchanges, eliminations. `rows` holds the pivot rows one
// after the other (the reals MFFACT leaves), `list` the front's variables
// with the first of each pair negated.
struct ReferenceFactors {
  std::vector<double> rows;
  std::vector<int> list;
  int pivots = 0, two_by_two = 0, negative = 0;
};

inline ReferenceFactors reference_front_factors(const Entries& m, double u) {
  const int f = m.n;
  std::vector<double> packed(static_cast<std::size_t>(f) * (f + 1) / 2, 0.0);
  auto at = [&](int i, int j) -> double& {  // i <= j
    return packed[static_cast<std::size_t>((i - 1) * (2 * f - i + 2) / 2 + (j - i))];
  };
  for (std::size_t k = 0; k < m.values.size(); ++k)
    at(std::min(m.rows[k], m.cols[k]), std::max(m.rows[k], m.cols[k])) += m.values[k];
  ReferenceFactors out;
  for (int v = 1; v <= f; ++v) out.list.push_back(v);
  auto swap = [&](int x, int y) {  // x < y
    if (x == y) return;
    std::swap(out.list[static_cast<std::size_t>(x - 1)], out.list[static_cast<std::size_t>(y - 1)]);
    for (int r = 1; r < x; ++r) std::swap(at(r, x), at(r, y));
    std::swap(at(x, x), at(y, y));
    for (int c = x + 1; c < y; ++c) std::swap(at(x, c), at(c, y));
    for (int c = y + 1; c <= f; ++c) std::swap(at(x, c), at(y, c));
  };
  int p = 0;
  for (int pass = 1; pass <= f && p < f; ++pass) {
    bool taken = false;
    for (int j = p + 1; j <= f; ++j) {
      double amax = 0.0, rmax = 0.0;
      int k = 0;
      for (int c = j + 1; c <= f; ++c)
        if (std::abs(at(j, c)) > amax) {
          amax = std::abs(at(j, c));
          k = c;
        }
      rmax = amax;
      for (int r = p + 1; r < j; ++r) rmax = std::max(rmax, std::abs(at(r, j)));
      if (std::abs(at(j, j)) > u * rmax) {
        swap(p + 1, j);
        const int q = p + 1;
        const double d = at(q, q);
        at(q, q) = 1.0 / d;
        if (1.0 / d < 0.0) ++out.negative;
        for (int i = q + 1; i <= f; ++i) {
          const double w = -at(q, i) / d;
          for (int c = i; c <= f; ++c) at(i, c) = at(i, c) + w * at(q, c);
          at(q, i) = w;
        }
        ++p;
        taken = true;
        continue;
      }
      if (!(amax > 0.0)) continue;
      const double det = at(j, j) * at(k, k) - amax * amax;
      const double q = std::abs(det) / (u * std::max(std::abs(at(j, j)) + amax, std::abs(at(k, k)) + amax));
      double rk = 0.0;
      for (int c = k + 1; c <= f; ++c) rk = std::max(rk, std::abs(at(k, c)));
      for (int r = j + 1; r < k; ++r) rk = std::max(rk, std::abs(at(r, k)));
      for (int r = p + 1; r < j; ++r) rk = std::max(rk, std::abs(at(r, k)));
      if (!(rmax < q && rk < q)) continue;
      swap(p + 1, j);
      swap(p + 2, k);
      const int r = p + 1, s = p + 2;
      out.list[static_cast<std::size_t>(r - 1)] = -out.list[static_cast<std::size_t>(r - 1)];
      ++out.two_by_two;
      const double arr = at(r, r), ars = at(r, s), ass = at(s, s);
      const double dt = arr * ass - ars * ars;
      if (dt < 0.0) out.negative += 1;
      if (dt > 0.0 && ass < 0.0) out.negative += 2;
      at(r, r) = ass / dt;
      at(s, s) = arr / dt;
      at(r, s) = -ars / dt;
      for (int i = s + 1; i <= f; ++i) {
        const double w1 = -(at(r, r) * at(r, i) + at(r, s) * at(s, i));
        const double w2 = -(at(r, s) * at(r, i) + at(s, s) * at(s, i));
        for (int c = i; c <= f; ++c) at(i, c) = (at(i, c) + w1 * at(r, c)) + w2 * at(s, c);
        at(r, i) = w1;
        at(s, i) = w2;
      }
      p += 2;
      taken = true;
      ++j;
    }
    if (!taken) break;
  }
  out.pivots = p;
  for (int r = 1; r <= p; ++r)
    for (int c = r; c <= f; ++c) out.rows.push_back(at(r, c));
  return out;
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
  factorize_with_panel(solver, m.n, m.nz(), m.rows, m.cols, run.real_space, run.la, run.int_space, run.liw,
                       tree.iplan, tree.nnodes, run.mfront, tree_work, run.iflag, panel);
  run.info = solver.info;
  return run;
}

// MFSOLV on the factors of `run` for right-hand side b.
inline std::vector<double> solve(Solver& solver, const FactorRun& run, int nnodes, std::vector<double> b) {
  std::vector<double> front_work(static_cast<std::size_t>(run.mfront));
  std::vector<std::int64_t> block_start(static_cast<std::size_t>(nnodes));
  MFSOLV(solver, static_cast<int>(b.size()), run.real_space, run.la, run.int_space, run.liw, front_work,
         run.mfront, b, block_start, nnodes);
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
