// The factorization of one dense front: the elimination kernels alone, apart
// from the sparse bookkeeping. A definite matrix of order n, every upper
// entry given, on a one-node assembly tree; the figure is Gflop/s counting
// n^3/3 multiply-add pairs as two flops each, per second of wall time. Large
// fronts are spread over the threads of QUORIX_THREADS (default: every CPU).
//
//   front_kernel [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "parallel/task_pool.hpp"
#include "solver/factorization_phase.hpp"

namespace {

struct DenseFront {
  int n = 0;
  std::vector<int> rows, cols, iplan;
  std::vector<double> values;
};

DenseFront dense_front(int n) {
  DenseFront m;
  m.n = n;
  std::mt19937 random(12345);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) {
      m.rows.push_back(i);
      m.cols.push_back(j);
      m.values.push_back(i == j ? 2.0 * n : value(random));
    }
  }
  m.iplan.assign(3 * static_cast<std::size_t>(n), 0);
  for (int i = 1; i <= n; ++i) m.iplan[static_cast<std::size_t>(i - 1)] = i;
  m.iplan[static_cast<std::size_t>(n)] = n;  // one node with every variable, no sons
  return m;
}

void FactorizeDenseFront(benchmark::State& state, double threshold, int panel) {
  const int n = static_cast<int>(state.range(0));
  const DenseFront m = dense_front(n);
  const auto nz = static_cast<std::int64_t>(m.values.size());
  const std::int64_t la = 3 * nz + 3LL * n + 100, liw = 3 * nz + 3LL * n + 100;
  std::vector<double> real_space(static_cast<std::size_t>(la));
  std::vector<int> int_space(static_cast<std::size_t>(liw));
  std::vector<int> tree_work(static_cast<std::size_t>(n));
  quorix::Solver solver;
  solver.pool = &quorix::shared_task_pool();
  solver.controls.U = threshold;
  solver.controls.error_unit = solver.controls.diagnostic_unit = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(m.values.begin(), m.values.end(), real_space.begin());
    state.ResumeTiming();
    int mfront = 0, iflag = 0;
    quorix::factorize_with_panel(solver, n, nz, m.rows, m.cols, real_space, la, int_space, liw, m.iplan, 1,
                                 mfront, tree_work, iflag, panel);
    if (iflag != 0) state.SkipWithError("factorization failed");
    benchmark::DoNotOptimize(real_space.data());
  }
  const double flops = 2.0 * n * static_cast<double>(n) * n / 3.0;
  state.counters["Gflop/s"] = benchmark::Counter(flops * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ThresholdFront(benchmark::State& state) {
  FactorizeDenseFront(state, 0.1, quorix::default_panel_pivots);
}
void BM_DefiniteFront(benchmark::State& state) {
  FactorizeDenseFront(state, 0.0, quorix::default_panel_pivots);
}

BENCHMARK(BM_ThresholdFront)
    ->Arg(60)
    ->Arg(200)
    ->Arg(600)
    ->Arg(1500)
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_DefiniteFront)->Arg(1500)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
