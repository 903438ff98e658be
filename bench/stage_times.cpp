// Runs a linear or nonlinear analysis of one model file the way the program
// does, and prints the wall-clock time of every stage and the peak memory.
//
//   stage_times MODEL.dat [repeats]
//
// The result file, ParaView file and picture are written to MODEL.dat.bench.out,
// .vtu and .svg.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "analysis/loads_and_constraints.hpp"
#include "analysis/reactions.hpp"
#include "driver/load_model.hpp"
#include "model/plate_check.hpp"
#include "ordering/nested_dissection.hpp"
#include "output/csv_writer.hpp"
#include "output/error_estimate.hpp"
#include "output/report_writer.hpp"
#include "output/result_writer.hpp"
#include "output/svg_writer.hpp"
#include "output/vtu_writer.hpp"
#include "parallel/task_pool.hpp"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct RunTimes {
  double reading = 0, assembly = 0, constraints = 0, solve = 0, analysis = 0, factorization = 0, solution = 0,
         writing = 0, nodal = 0, vtu = 0, svg = 0, checks = 0, estimate = 0, tables = 0, ordering = 0,
         total = 0;
  std::uintmax_t vtu_bytes = 0, svg_bytes = 0;
  std::int64_t factor_reals = 0;
  std::int64_t forecast_factors = 0, forecast_total = 0;
  int max_front = 0;
  double ops = 0;
  int solves = 0;
};

RunTimes run_once(const std::string& file, bool nested) {
  using clock = std::chrono::steady_clock;
  RunTimes t;
  const auto start = clock::now();
  std::ifstream in(file, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  const quorix::ElementTables tables = quorix::init_element_tables();
  quorix::Model model;
  quorix::AnalysisSettings settings;
  quorix::TaskPool& pool = quorix::shared_task_pool();
  quorix::load_model(text, file, tables, model, settings, pool);
  t.reading = seconds_since(start);
  auto checks_start = clock::now();
  const std::size_t findings = quorix::unheld_motions(model).size() + quorix::unjoined_nodes(model).size();
  t.checks = seconds_since(checks_start);
  if (findings != 0) std::cerr << "the plate checks found something to say\n";

  quorix::Solver solver;
  solver.pool = &pool;
  if (nested) {
    const auto order_start = clock::now();
    solver.pivot_order = quorix::nested_dissection_order(model);
    solver.pivot_tree = quorix::mesh_elimination_tree(model, solver.pivot_order);
    t.ordering = seconds_since(order_start);
  }
  std::ostringstream console;
  quorix::StageTimes stages;
  if (settings.analysis_type == "LINEAR")
    quorix::linear_analysis(model, settings, tables, solver, console, &stages);
  else
    quorix::nonlinear_analysis(model, settings, tables, solver, console, &stages);
  t.assembly = stages.assembly;
  t.constraints = stages.constraints;
  t.solve = stages.solve;
  t.solves = stages.solves;
  t.analysis = solver.info.phase_seconds[0];
  t.factorization = solver.info.phase_seconds[1];
  t.solution = solver.info.phase_seconds[2];
  t.factor_reals = solver.info.RUSAGE;
  t.ops = solver.info.OPS;
  t.max_front = solver.info.MFRONT;
  t.forecast_factors = solver.info.RFACTS;
  t.forecast_total = solver.info.RTOTAL;

  auto write_start = clock::now();
  quorix::NodalResults results = quorix::nodal_results(model, settings, tables, pool);
  t.nodal = seconds_since(write_start);
  write_start = clock::now();
  {
    std::ofstream out(file + ".bench.out");
    quorix::write_results(model, results, out, pool);
  }
  t.writing = seconds_since(write_start);
  write_start = clock::now();
  {
    results.reactions = quorix::support_reactions(model, settings, tables, 1.0, &pool);
    std::ofstream out(file + ".bench.vtu", std::ios::binary);
    quorix::write_vtu(model, results, out);
  }
  t.vtu = seconds_since(write_start);
  write_start = clock::now();
  {
    std::ofstream out(file + ".bench.svg", std::ios::binary);
    quorix::write_svg(model, settings, results, quorix::PictureTitle{file, 1.0}, out);
  }
  t.svg = seconds_since(write_start);
  write_start = clock::now();
  const quorix::ErrorEstimate estimate =
      quorix::estimate_stress_error(model, settings, tables, results, pool);
  t.estimate = seconds_since(write_start);
  write_start = clock::now();
  {
    std::ofstream out(file + ".bench.csv", std::ios::binary);
    quorix::write_node_csv(model, results, out);
    std::ofstream page(file + ".bench.report", std::ios::binary);
    quorix::ReportInput input{file,
                              &model,
                              &settings,
                              &results,
                              &estimate,
                              1.0,
                              quorix::applied_loads(model, tables),
                              quorix::self_weight_loads(model, tables, &pool),
                              {},
                              {},
                              {}};
    quorix::write_report(input, page);
  }
  t.tables = seconds_since(write_start);
  t.vtu_bytes = std::filesystem::file_size(file + ".bench.vtu");
  t.svg_bytes = std::filesystem::file_size(file + ".bench.svg");
  t.total = seconds_since(start);
  std::cerr << console.str();
  return t;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: stage_times MODEL.dat [repeats] [nested]\n");
    return 2;
  }
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  const bool nested = argc > 3 && std::string(argv[3]) == "nested";
  std::vector<RunTimes> runs;
  for (int r = 0; r < repeats; ++r) runs.push_back(run_once(argv[1], nested));
  auto med = [&](double RunTimes::*field) {
    std::vector<double> v;
    for (const RunTimes& t : runs) v.push_back(t.*field);
    return median(v);
  };
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const RunTimes& last = runs.back();
  std::printf("model %s, %d run(s), medians in seconds\n", argv[1], repeats);
  std::printf("reading+checks %8.3f\n", med(&RunTimes::reading));
  if (nested) std::printf("nested order   %8.3f\n", med(&RunTimes::ordering));
  std::printf("assembly       %8.3f\nconstraints    %8.3f\nsolve          %8.3f\n", med(&RunTimes::assembly),
              med(&RunTimes::constraints), med(&RunTimes::solve));
  std::printf("  analysis     %8.3f\n  factorization%8.3f\n  solution     %8.3f\n", med(&RunTimes::analysis),
              med(&RunTimes::factorization), med(&RunTimes::solution));
  std::printf(
      "nodal results  %8.3f\nresult file    %8.3f\nParaView file  %8.3f (%.1f MB)\npicture        %8.3f "
      "(%.1f MB)\n",
      med(&RunTimes::nodal), med(&RunTimes::writing), med(&RunTimes::vtu),
      static_cast<double>(last.vtu_bytes) * 1e-6, med(&RunTimes::svg),
      static_cast<double>(last.svg_bytes) * 1e-6);
  std::printf("plate checks   %8.3f\nerror estimate %8.3f\ntable, report  %8.3f\n", med(&RunTimes::checks),
              med(&RunTimes::estimate), med(&RunTimes::tables));
  std::printf("total          %8.3f\n", med(&RunTimes::total));
  std::printf("solves %d (%.3f s per solve with its assembly)\n", last.solves,
              (med(&RunTimes::assembly) + med(&RunTimes::constraints) + med(&RunTimes::solve)) / last.solves);
  std::printf(
      "factor reals %lld, largest front %d, forecast flops %.3e (%.2f Gflop/s in the factorization)\n",
      static_cast<long long>(last.factor_reals), last.max_front, last.ops,
      last.ops / med(&RunTimes::factorization) * 1e-9);
  std::printf("forecast real storage: factors %lld, total without compressions %lld\n",
              static_cast<long long>(last.forecast_factors), static_cast<long long>(last.forecast_total));
  std::printf("peak resident memory %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}
