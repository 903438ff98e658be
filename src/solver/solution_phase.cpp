// MFSOLV: solves K x = b with the factors MFFACT left in real_space and
// int_space: a forward substitution through the blocks in order, then one
// backward sweep in reverse order that applies the inverse pivots and the
// transposed substitution together. The right-hand side becomes the solution.
//
// Block b: header (front_order, pivots) or (-front_order) for one pivot, then
// its front_order variables (the first of each 2x2 pair negated); its pivot
// rows r = 1 .. pivots hold a(r, r..front_order) consecutively, the diagonal
// 1/d (or the 2x2 inverse) and the negated multipliers elsewhere.
//
// Each block is worked either in place, through its index list, or gathered
// into front_work first when its order reaches front_thresholds (entries
// 1-10 forward, 11-20 backward, by pivot count up to 10). The arithmetic is
// the same except for the order of the two products in a 2x2 forward step.

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <queue>
#include <utility>
#include <vector>

#include "parallel/task_pool.hpp"
#include "solver/factorization_phase.hpp"
#include "solver/solver_interface.hpp"
#include "solver/solver_listings.hpp"

namespace quorix {

namespace {

// y(0 .. len-1) += a(0 .. len-1) * x
void add_multiple(double* __restrict__ y, const double* __restrict__ a, double x, std::int64_t len) {
  for (std::int64_t c = 0; c < len; ++c) y[c] += a[c] * x;
}

// Gathered pair step: y(c) := (y(c) + as(c) xs) + ar(c) xr.
void add_pair_gathered(double* __restrict__ y, const double* __restrict__ ar, const double* __restrict__ as,
                       double xr, double xs, std::int64_t len) {
  for (std::int64_t c = 0; c < len; ++c) y[c] = (y[c] + as[c] * xs) + ar[c] * xr;
}

bool gathered(const SolverControls& controls, int first_threshold, const FactorBlock& block) {
  const int index = first_threshold + std::min(block.pivots, 10) - 1;  // 0-based
  return block.front_order >= controls.front_thresholds[static_cast<std::size_t>(index)];
}

// ---- forward_solve ----------------------------------------------------------
// Blocks 1 .. block_count; for each pivot in order:
//   1x1 on row r, variable v:  x(w_c) += a(r,c) x(v),  c = r+1 .. f;
//   2x2 on rows r, s = r+1:    x(w_c) := a(s,c) x(v') + (a(r,c) x(v) + x(w_c))   in place,
//                              x(w_c) := (x(w_c) + a(s,c) x(v')) + a(r,c) x(v)  gathered,
//                              c = s+1 .. f (the inverse words skipped).
// Records each block's header word in block_start; returns the real word
// after the last factor row.
std::int64_t forward_solve(const SolverControls& controls, View1<const double> real_space,
                           View1<const int> int_space, int block_count, View1<double> front_work,
                           View1<double> rhs, View1<std::int64_t> block_start) {
  std::int64_t pos = 2;
  std::int64_t real = 1;
  for (int b = 1; b <= block_count; ++b) {
    block_start(b) = pos;
    const FactorBlock block = read_factor_block(int_space, pos);
    const int f = block.front_order;
    const int* const list = int_space.data() + (block.list - 1);  // list[l-1]: variable at position l
    pos = block.list + f;
    const double* const rows = real_space.data() + (real - 1);
    real += factor_block_reals(block);
    if (gathered(controls, 0, block)) {
      double* const x = front_work.data();  // x[l-1]: position l
      for (int l = 1; l <= f; ++l) x[l - 1] = rhs(std::abs(list[l - 1]));
      for (int r = 1; r <= block.pivots;) {
        const double* const row_r = rows + row_offset(r, f);  // row_r[c - r] = a(r, c)
        if (list[r - 1] < 0) {
          const int s = r + 1;
          const double* const row_s = rows + row_offset(s, f);
          add_pair_gathered(x + s, row_r + (s + 1 - r), row_s + 1, x[r - 1], x[s - 1], f - s);
          r += 2;
        } else {
          add_multiple(x + r, row_r + 1, x[r - 1], f - r);
          r += 1;
        }
      }
      for (int l = 1; l <= f; ++l) rhs(std::abs(list[l - 1])) = x[l - 1];
    } else {
      for (int r = 1; r <= block.pivots;) {
        const double* const row_r = rows + row_offset(r, f);
        if (list[r - 1] < 0) {
          const int s = r + 1;
          const double* const row_s = rows + row_offset(s, f);
          const double xr = rhs(-list[r - 1]), xs = rhs(std::abs(list[s - 1]));
          for (int c = s + 1; c <= f; ++c) {
            double& xc = rhs(std::abs(list[c - 1]));
            xc = row_s[c - s] * xs + (row_r[c - r] * xr + xc);
          }
          r += 2;
        } else {
          const double xr = rhs(list[r - 1]);
          for (int c = r + 1; c <= f; ++c) rhs(std::abs(list[c - 1])) += row_r[c - r] * xr;
          r += 1;
        }
      }
    }
  }
  return real;
}

// ---- backward_solve ---------------------------------------------------------
// Blocks block_count .. 1, pivots last to first:
//   1x1 on row r:        x(v) := a(r,r) x(v) + sum over c = r+1 .. f of a(r,c) x(w_c);
//   2x2 on rows r, s:    t := i11 x(v) + i12 x(v') + sum over c = s+1 .. f of a(r,c) x(w_c),
//                        u := i12 x(v) + i22 x(v') + sum of a(s,c) x(w_c),
//                        x(v) := t, x(v') := u,
// each sum added term by term, in increasing c, onto the leading products.

// The backward sweep of one block whose pivot rows start at `rows`.
void backward_block(const SolverControls& controls, View1<const int> int_space, const FactorBlock& block,
                    const double* rows, double* front_work, View1<double> rhs) {
  const int f = block.front_order;
  const int* const list = int_space.data() + (block.list - 1);
  // The pivots, last to first, on the values x(l) of the block's positions.
  auto sweep = [&](auto&& x) {
    for (int r = block.pivots; r >= 1;) {
      if (r >= 2 && list[r - 2] < 0) {
        const int q = r - 1, s = r;                           // the pair's rows
        const double* const row_q = rows + row_offset(q, f);  // row_q[c - q] = a(q, c)
        const double* const row_s = rows + row_offset(s, f);
        const double i11 = row_q[0], i12 = row_q[1], i22 = row_s[0];
        const double xq = x(q), xs = x(s);
        double t = i11 * xq + i12 * xs;
        for (int c = s + 1; c <= f; ++c) t += row_q[c - q] * x(c);
        double v = i12 * xq + i22 * xs;
        for (int c = s + 1; c <= f; ++c) v += row_s[c - s] * x(c);
        x(q) = t;
        x(s) = v;
        r -= 2;
      } else {
        const double* const row_r = rows + row_offset(r, f);
        double t = row_r[0] * x(r);
        for (int c = r + 1; c <= f; ++c) t += row_r[c - r] * x(c);
        x(r) = t;
        r -= 1;
      }
    }
  };
  if (gathered(controls, 10, block)) {
    double* const w = front_work;  // w[l-1]: position l
    for (int l = 1; l <= f; ++l) w[l - 1] = rhs(std::abs(list[l - 1]));
    sweep([w](int l) -> double& { return w[l - 1]; });
    // Only the pivots' values change; the others are read, never written,
    // so that blocks swept side by side may read them at the same time.
    for (int l = 1; l <= block.pivots; ++l) rhs(std::abs(list[l - 1])) = w[l - 1];
  } else {
    sweep([&](int l) -> double& { return rhs(std::abs(list[l - 1])); });
  }
}

// Blocks whose backward sweeps may run side by side: each block's sweep
// reads its own variables and those of the later blocks its forward step
// updated, and writes only its own. A run of consecutive blocks first ..
// last whose variables no earlier block reads depends only on later blocks,
// and no block before it depends on it: once the blocks after it are done,
// it can be swept while the blocks before it are.
//
// The runs are whole subtrees of the blocks' tree (a block's father is the
// first block that eliminates one of its remainder variables) that are
// consecutive and read by no earlier block, split from the roots down while
// they hold more than their share of the factor reals.
struct SweepRun {
  int first, last;
  int widest;  // largest front order among its blocks
};

std::vector<SweepRun> plan_sweep_runs(View1<const int> int_space, int n, int block_count,
                                      View1<const std::int64_t> block_start, int threads,
                                      const SolverTuning& tuning) {
  std::vector<SweepRun> runs;
  const auto blocks = static_cast<std::size_t>(block_count) + 1;
  std::vector<int> eliminated_in(static_cast<std::size_t>(n) + 1, 0);
  for (int b = 1; b <= block_count; ++b) {
    const FactorBlock block = read_factor_block(int_space, block_start(b));
    for (int l = 1; l <= block.pivots; ++l)
      eliminated_in[static_cast<std::size_t>(std::abs(int_space(block.list + l - 1)))] = b;
  }
  // Per block: its father, the earliest block reading one of its variables
  // (itself when none does), its front order and reals; then per subtree.
  std::vector<int> father(blocks, 0), earliest_reader(blocks), first(blocks), count(blocks, 1),
      widest(blocks);
  std::vector<int> first_son(blocks, 0), next_brother(blocks, 0);
  std::vector<double> reals(blocks, 0.0);
  for (int b = 1; b <= block_count; ++b) earliest_reader[static_cast<std::size_t>(b)] = b;
  for (int b = 1; b <= block_count; ++b) {
    const FactorBlock block = read_factor_block(int_space, block_start(b));
    const auto at = static_cast<std::size_t>(b);
    for (int l = block.pivots + 1; l <= block.front_order; ++l) {
      const int c = eliminated_in[static_cast<std::size_t>(std::abs(int_space(block.list + l - 1)))];
      if (c <= b) return runs;  // a variable left without a pivot: the blocks go one by one
      if (father[at] == 0 || c < father[at]) father[at] = c;
      earliest_reader[static_cast<std::size_t>(c)] =
          std::min(earliest_reader[static_cast<std::size_t>(c)], b);
    }
    first[at] = b;
    widest[at] = block.front_order;
    reals[at] = static_cast<double>(factor_block_reals(block));
  }
  // Sons come before their fathers, so each subtree is complete when its
  // root is reached.
  double total = 0.0;
  for (int b = 1; b <= block_count; ++b) {
    const auto at = static_cast<std::size_t>(b);
    const auto up = static_cast<std::size_t>(father[at]);
    if (up == 0) {
      total += reals[at];
      continue;
    }
    first[up] = std::min(first[up], first[at]);
    count[up] += count[at];
    widest[up] = std::max(widest[up], widest[at]);
    reals[up] += reals[at];
    earliest_reader[up] = std::min(earliest_reader[up], earliest_reader[at]);
    next_brother[at] = first_son[up];
    first_son[up] = b;
  }
  const double largest = total / (threads * tuning.sweep_runs_per_thread);
  std::priority_queue<std::pair<double, int>> open;
  for (int b = 1; b <= block_count; ++b)
    if (father[static_cast<std::size_t>(b)] == 0) open.emplace(reals[static_cast<std::size_t>(b)], b);
  while (!open.empty()) {
    const int b = open.top().second;
    open.pop();
    const auto at = static_cast<std::size_t>(b);
    const bool whole = count[at] == b - first[at] + 1 && earliest_reader[at] >= first[at];
    if (whole && reals[at] <= largest) {
      if (reals[at] >= tuning.min_sweep_run_reals) runs.push_back({first[at], b, widest[at]});
      continue;
    }
    for (int son = first_son[at]; son != 0; son = next_brother[static_cast<std::size_t>(son)])
      open.emplace(reals[static_cast<std::size_t>(son)], son);
  }
  return runs;
}

// `end` is the real word after the last factor row. With a pool of threads,
// runs of blocks (plan_sweep_runs) are handed to it as the sweep, going
// down, reaches their last block, and the sweep goes on below them. Returns
// how many runs were handed out.
int backward_solve(const SolverControls& controls, View1<const double> real_space, View1<const int> int_space,
                   int n, int block_count, std::int64_t end, View1<double> front_work, View1<double> rhs,
                   View1<const std::int64_t> block_start, TaskPool* pool, const SolverTuning& tuning) {
  std::vector<SweepRun> runs;
  if (pool != nullptr && pool->threads() > 1)
    runs = plan_sweep_runs(int_space, n, block_count, block_start, pool->threads(), tuning);
  if (runs.size() < 2) runs.clear();
  // Where each block's pivot rows start, and the run that ends at each block.
  std::vector<std::int64_t> block_real(static_cast<std::size_t>(block_count) + 2, end);
  for (int b = block_count; b >= 1; --b)
    block_real[static_cast<std::size_t>(b)] =
        block_real[static_cast<std::size_t>(b) + 1] -
        factor_block_reals(read_factor_block(int_space, block_start(b)));
  std::vector<int> run_ending(static_cast<std::size_t>(block_count) + 1, -1);
  for (std::size_t r = 0; r < runs.size(); ++r)
    run_ending[static_cast<std::size_t>(runs[r].last)] = static_cast<int>(r);
  auto sweep_block = [&](int b, double* work) {
    backward_block(controls, int_space, read_factor_block(int_space, block_start(b)),
                   real_space.data() + (block_real[static_cast<std::size_t>(b)] - 1), work, rhs);
  };
  TaskGroup handed_out(pool);
  for (int b = block_count; b >= 1;) {
    const int r = run_ending[static_cast<std::size_t>(b)];
    if (r < 0) {
      sweep_block(b, front_work.data());
      --b;
      continue;
    }
    const SweepRun run = runs[static_cast<std::size_t>(r)];
    handed_out.run([run, &sweep_block] {
      std::vector<double> work(static_cast<std::size_t>(run.widest));
      for (int k = run.last; k >= run.first; --k) sweep_block(k, work.data());
    });
    b = run.first - 1;
  }
  handed_out.wait();
  return static_cast<int>(runs.size());
}

}  // namespace

void MFSOLV(Solver& solver, int n, View1<const double> real_space, std::int64_t la,
            View1<const int> int_space, std::int64_t liw, View1<double> front_work, int mfront,
            View1<double> rhs, View1<std::int64_t> tree_work, int nnodes) {
  const SolverControls& controls = solver.controls;
  const bool listing = controls.diagnostic_level >= 1 && controls.diagnostic_unit > 0;
  if (listing) write_solution_entry_listing(solver, n, real_space, la, int_space, liw, mfront, nnodes, rhs);
  solver.info.sweep_runs = 0;
  if (n >= 1 && liw >= 1) {
    const int block_count = std::abs(int_space(1));
    if (block_count == 0) {
      for (int i = 1; i <= n; ++i) rhs(i) = 0.0;
    } else {
      const std::int64_t end =
          forward_solve(controls, real_space, int_space, block_count, front_work, rhs, tree_work);
      solver.info.sweep_runs = backward_solve(controls, real_space, int_space, n, block_count, end,
                                              front_work, rhs, tree_work, solver.pool, solver.tuning);
    }
  }
  if (listing) write_solution_exit_listing(solver, n, rhs);
}

}  // namespace quorix
