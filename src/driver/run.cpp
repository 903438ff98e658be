#include "driver/run.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "analysis/loads_and_constraints.hpp"
#include "analysis/processes.hpp"
#include "analysis/reactions.hpp"
#include "driver/input_file.hpp"
#include "driver/load_model.hpp"
#include "driver/options.hpp"
#include "driver/progress_line.hpp"
#include "driver/result_file.hpp"
#include "driver/solver_choice.hpp"
#include "element/element_tables.hpp"
#include "model/input_error.hpp"
#include "model/model.hpp"
#include "model/model_check.hpp"
#include "model/plate_check.hpp"
#include "model/support_groups.hpp"
#include "ordering/nested_dissection.hpp"
#include "output/csv_writer.hpp"
#include "output/error_estimate.hpp"
#include "output/point_values.hpp"
#include "output/report_writer.hpp"
#include "output/result_writer.hpp"
#include "output/size_field_writer.hpp"
#include "output/svg_writer.hpp"
#include "output/vtu_writer.hpp"
#include "parallel/task_pool.hpp"
#include "solver/solver_interface.hpp"

namespace quorix {

namespace {

// Where a singular stiffness matrix lets the model move: the first few
// equations left without a pivot, as nodes, directions and places.
std::string free_motion_hint(const Model& model, const std::vector<int>& equations) {
  constexpr std::size_t kShown = 3;
  std::string text = "quorix: the model can move freely at ";
  for (std::size_t k = 0; k < equations.size() && k < kShown; ++k) {
    const int equation = equations[k];
    const Node& node = model.nodes((equation + 1) / 2);
    text += (k > 0 ? ", node " : "node ") + std::to_string(node.id) + (equation % 2 == 1 ? " (x)" : " (y)") +
            " at " + point_for_message({node.x, node.y});
  }
  if (equations.size() > kShown) text += " and " + std::to_string(equations.size() - kShown) + " more";
  return text + ": missing supports, a node in no element, or two nodes at one place?";
}

// A file the run writes: the result file, or one the options ask for.
struct Output {
  const char* what;  // for messages
  std::optional<PendingResultFile> file;
};

// A linear analysis holds for displacements small against the model. Much
// larger ones are what lengths, moduli and loads in different units give.
// Returns true when they exceed the model's size itself.
bool displacements_too_large(const Model& model) {
  const DisplacementSize size = displacement_size(model);
  if (!(size.largest > 0.1 * size.model_size)) return false;
  const auto g = [](double value) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.3g", value);
    return std::string(text.data());
  };
  std::cerr
      << "quorix: the largest displacement, " << g(size.largest) << " at node " << size.node << ", is "
      << g(size.largest / size.model_size) << " times the size of the model (" << g(size.model_size)
      << "): a linear analysis assumes small displacements; check the units (lengths, E and loads in one "
         "consistent system) or use NONLINEAR\n";
  return size.largest > size.model_size;
}

// The error estimate above which a run says the mesh is too coarse, and the
// one the size field aims at.
constexpr double kWarnedError = 0.05;
constexpr double kTargetError = 0.02;

// One line for the points of `option` that lie outside the plate, naming the
// first; `file`, when given, is where the others went.
void warn_of_points_outside(const std::vector<PointValues>& points, const char* option,
                            const std::string& file) {
  const auto outside =
      std::count_if(points.begin(), points.end(), [](const PointValues& p) { return p.element == 0; });
  if (outside == 0) return;
  const auto first =
      std::find_if(points.begin(), points.end(), [](const PointValues& p) { return p.element == 0; });
  std::cerr << "quorix: ";
  if (points.size() == 1 || outside == 1)
    std::cerr << "the point " << point_for_message({first->x, first->y}) << ' ' << option;
  else
    std::cerr << outside << " of the " << points.size() << " points " << option << ", the first at "
              << point_for_message({first->x, first->y}) << ',';
  std::cerr << (outside == 1 ? " lies" : " lie") << " outside the plate"
            << (file.empty() ? ": no values there" : "; " + file + " holds the others") << '\n';
}

int cannot_write(const Output& output, const std::string& name, const std::string& error) {
  std::cerr << "quorix: cannot write the " << output.what << ' ' << name << ": " << error << '\n';
  return 1;
}

// Runs `step`, which returns an exit status, on every process of the run.
// In a run of several processes their console and error lines are held back
// until all are done: then process 0 prints its own when every step
// succeeded, else the lowest-numbered process that failed prints its
// message, and every process returns that one's status.
int agreed_step(Processes& processes, const std::function<int()>& step) {
  if (processes.count() == 1) return step();
  std::ostringstream out;
  std::ostringstream err;
  int status = 1;
  {
    struct HeldBack {
      std::streambuf* const out;
      std::streambuf* const err;
      ~HeldBack() {
        std::cout.rdbuf(out);
        std::cerr.rdbuf(err);
      }
    } held{std::cout.rdbuf(out.rdbuf()), std::cerr.rdbuf(err.rdbuf())};
    status = step();
  }
  const int failed = processes.first_failure(status != 0);
  if (processes.rank() == (failed >= 0 ? failed : 0)) {
    std::cout << out.str() << std::flush;
    std::cerr << err.str() << std::flush;
  }
  return failed >= 0 ? processes.broadcast(status, failed) : 0;
}

// A stream that drops everything: the console of every process but the first.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
};

// The outputs a run may write.
struct Outputs {
  Output result{"result file", {}};
  Output vtu{"ParaView file", {}};
  Output svg{"picture", {}};
  Output report{"report", {}};
  Output csv{"table", {}};
  Output line_csv{"table of the line", {}};
  Output sizes{"size field", {}};
  std::array<Output*, 7> all() { return {&result, &vtu, &svg, &report, &csv, &line_csv, &sizes}; }
};

// What the run reads before it analyses.
struct ReadModel {
  Model model;
  AnalysisSettings settings;
  std::vector<SupportGroup> support_groups;
};

// Steps 2 to 5 and 7: the input file, the output files (only where
// `writes`), the model read and tested. Returns 0, or the exit status of a run that stops.
int prepare_run(const CommandLine& command, bool writes, const ElementTables& tables, TaskPool& pool,
                Outputs& files, ReadModel& read, const char*& stage) {
  const std::string& input_name = command.input_name;

  // 2. The input file must exist and be a file: a folder, a device or a pipe
  //    could never be read to its end.
  std::error_code ignored;
  if (!std::filesystem::exists(input_name, ignored)) {
    std::cout << " Can't find " << input_name << "!\n";
    return 1;
  }
  if (!std::filesystem::is_regular_file(input_name, ignored)) {
    std::cerr << "quorix: " << input_name << " is not a regular file: name the model file itself\n";
    return 1;
  }

  // 3. The files to write. An earlier one that the user has made read-only
  //    is theirs to keep: say so before any work is done.
  if (writes) {
    files.result.file.emplace(input_name + ".out");
    if (command.vtu) files.vtu.file.emplace(input_name + ".vtu");
    if (command.svg) files.svg.file.emplace(input_name + ".svg");
    if (command.report) files.report.file.emplace(input_name + ".report");
    if (command.csv) files.csv.file.emplace(input_name + ".csv");
    if (command.line) files.line_csv.file.emplace(input_name + ".line.csv");
    if (command.sizes) files.sizes.file.emplace(input_name + ".pos");
  }
  for (const Output* output : files.all())
    if (std::string error; output->file && !result_file_replaceable(output->file->final_name(), error))
      return cannot_write(*output, output->file->final_name(), error);

  // 4. Read the file's bytes once; the reader works on them in memory.
  stage = "reading the model";
  std::string text;
  if (std::string error; !read_whole_file(input_name, text, error)) {
    std::cerr << "quorix: cannot read the input file " << input_name << ": " << error << '\n';
    return 1;
  }

  // 5. Create the temporary files now, so that a folder we cannot write to
  //    stops the run before any work is done.
  for (Output* output : files.all())
    if (std::string error; output->file && !output->file->create(error))
      return cannot_write(*output, output->file->final_name(), error);

  // 7. Read the model and test it; the report sums the reactions per group
  //    of supports where the file names them.
  try {
    const SourceLines source = load_model(text, input_name, tables, read.model, read.settings, pool);
    for (const std::string& warning : source.warnings) std::cerr << warning << '\n';
    if (files.report.file) read.support_groups = read_support_groups(text);
  } catch (const InputError& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  return 0;
}

// Steps 9 to 11, on the first process: the results written and put in
// place, and the exit status.
int write_outputs(const CommandLine& command, const ElementTables& tables, TaskPool& pool, Outputs& files,
                  ReadModel& read, const AnalysisResult& outcome, const SolverFigures& solver_figures,
                  const std::vector<std::string>& unheld, bool singular, ProgressLine& progress,
                  const char*& stage) {
  const std::string& input_name = command.input_name;
  Model& model = read.model;
  const AnalysisSettings& settings = read.settings;
  const std::vector<SupportGroup>& support_groups = read.support_groups;
  Output& result = files.result;
  Output& vtu = files.vtu;
  Output& svg = files.svg;
  Output& report = files.report;
  Output& csv = files.csv;
  Output& line_csv = files.line_csv;
  Output& sizes = files.sizes;
  const std::array<Output*, 7> outputs = files.all();
  // 9. Write the results, whatever the analysis reported, then put the files
  //    in place together: a run that stops before leaves every earlier file
  //    as it was.
  stage = "writing results";
  progress.stage("writing results");
  NodalResults results = nodal_results(model, settings, tables, pool);
  if (vtu.file || report.file || csv.file)
    results.reactions = support_reactions(model, settings, tables, outcome.load_level, &pool);
  // How accurate the stresses are, in every linear run: the warning below
  // needs it, the report and the ParaView file show it.
  const ErrorEstimate estimate = estimate_stress_error(model, settings, tables, results, pool);
  if (estimate.estimated && vtu.file) results.error_indicator = relative_element_errors(estimate);
  write_results(model, results, result.file->stream(), pool);
  if (vtu.file) write_vtu(model, results, vtu.file->stream());
  if (svg.file)
    write_svg(model, settings, results, PictureTitle{input_name, outcome.load_level}, svg.file->stream());
  if (csv.file) write_node_csv(model, results, csv.file->stream());
  std::vector<PointValues> points;
  if (!command.points.empty() || command.line) {
    const PointLocator locator(model);
    for (const auto& [x, y] : command.points) points.push_back(values_at(model, results, locator, x, y));
    if (command.line) {
      const CommandLine::Line& line = *command.line;
      std::vector<PointValues> along;
      for (int k = 0; k < line.count; ++k) {
        const double t = static_cast<double>(k) / (line.count - 1);
        along.push_back(values_at(model, results, locator, line.x0 + t * (line.x1 - line.x0),
                                  line.y0 + t * (line.y1 - line.y0)));
      }
      write_line_csv(along, line.x0, line.y0, line_csv.file->stream());
      warn_of_points_outside(along, "of --line", line_csv.file->final_name());
    }
  }
  warn_of_points_outside(points, "of --at", "");
  if (report.file) {
    ReportInput input{input_name,
                      &model,
                      &settings,
                      &results,
                      &estimate,
                      outcome.load_level,
                      applied_loads(model, tables),
                      self_weight_loads(model, tables, &pool),
                      support_groups,
                      points,
                      solver_figures};
    for (double& load : input.loads) load *= outcome.load_level;
    write_report(input, report.file->stream());
  }
  if (sizes.file && !estimate.estimated) {
    std::cerr << "quorix: --sizes: the error of a nonlinear analysis is not estimated, so "
              << sizes.file->final_name() << " is not written\n";
    sizes.file.reset();
  }
  if (sizes.file)
    write_size_field(model, refined_element_sizes(model, estimate, kTargetError), sizes.file->stream());
  for (Output* output : outputs)
    if (std::string error; output->file && !output->file->commit(error))
      return cannot_write(*output, output->file->final_name(), error);

  // 10. Numbers that overflowed or are undefined make the whole result suspect;
  //     it is written all the same, for the user to see where.
  if (std::string what; const int node = first_non_finite_node(model, results, what)) {
    std::cerr << "quorix: the results are not finite at node " << node << " (labelled " << node - 1
              << " in the result file), " << what
              << ": a load or prescribed displacement too large for double-precision arithmetic, or a failed "
                 "solve, gives such values\n";
    return 3;
  }
  // 11. A mesh too coarse for its stresses, and a held plate whose
  //     displacements are out of all proportion.
  const bool trusted_solve = unheld.empty() && !singular;
  if (trusted_solve && estimate.estimated && estimate.relative > kWarnedError)
    std::cerr << "quorix: the estimated stress error is " << percent_for_message(estimate.relative)
              << " of the solution: refine the mesh where error_indicator is high\n";
  const bool too_large =
      settings.analysis_type == "LINEAR" && trusted_solve && displacements_too_large(model);
  return outcome.outcome == AnalysisOutcome::suspect || !unheld.empty() || too_large ? 3 : 0;
}

// The run proper. `stage` names what is running, for the out-of-memory line;
// `processes` receives the processes of the run once the command line is read.
int run_stages(int argc, char** argv, const char*& stage, std::unique_ptr<Processes>& processes) {
  // 1. The options and exactly one file name, used whole.
  const CommandLine command = parse_command_line(argc, argv);
  switch (command.action) {
    case CommandLine::Action::usage:
      write_usage(std::cout);
      if (!command.unknown_option.empty())
        std::cerr << "quorix: unknown option '" << command.unknown_option << "' (quorix --help lists them)\n";
      else if (!command.bad_value.empty())
        std::cerr << "quorix: " << command.bad_value << '\n';
      return 2;
    case CommandLine::Action::help:
      write_help(std::cout);
      return 0;
    case CommandLine::Action::version:
      write_version(std::cout);
      return 0;
    case CommandLine::Action::run:
      break;
  }
  // The own solver works in one process: several started by a launcher
  // would each do the whole run and write the same files.
  if (const LaunchedProcesses launched = launched_processes();
      command.solver == SolverKind::own && launched.count > 1) {
    if (launched.rank == 0)
      std::cerr << "quorix: started as one of " << launched.count
                << " processes, but its own solver works in one; start it once, or use --solver mumps in a "
                   "build with MPI (cmake -DQUORIX_MPI=ON)\n";
    return 2;
  }
  processes = start_processes(command.solver, argc, argv);
  const bool first_process = processes->rank() == 0;

  // 2-7. Every process reads and tests the model; only the first writes
  //      files and speaks for all.
  Outputs files;
  // 6. The shape-function tables every element routine uses.
  const ElementTables tables = init_element_tables();
  // The threads of the run, from here on handed to every stage that works
  // side by side.
  TaskPool& pool = shared_task_pool();
  ReadModel read;
  if (const int status = agreed_step(
          *processes, [&] { return prepare_run(command, first_process, tables, pool, files, read, stage); });
      status != 0)
    return status;
  Model& model = read.model;
  const AnalysisSettings& settings = read.settings;

  // One nested order for the run: the pattern is the mesh's, the same in
  // every Newton iteration. It is worked out on a thread of its own from
  // here, beside the checks below and the assembly, with its elimination
  // tree, and the first solve waits for it.
  std::shared_ptr<std::future<SuppliedOrder>> nested_order;
  if (command.nested_order)
    nested_order = std::make_shared<std::future<SuppliedOrder>>(std::async(std::launch::async, [&model] {
      SuppliedOrder order;
      order.position = nested_dissection_order(model);
      order.tree = mesh_elimination_tree(model, order.position);
      return order;
    }));

  // 7a. Mistakes that leave every number in its place: a plate its supports
  //     do not hold (the solve then meets a singular matrix, and the hint
  //     below would name some node inside), meshes that meet unjoined.
  std::vector<std::string> unheld;
  if (first_process) {
    unheld = unheld_motions(model);
    for (const std::string& line : unheld) std::cerr << line << '\n';
    for (const std::string& line : unjoined_nodes(model)) std::cerr << line << '\n';
  }

  // 8. Analyse. The model test has let through only the two known types. A
  //    terminal on standard error is shown how the analysis goes. The other
  //    processes of a run work alike, silently.
  stage = "analysing";
  NullBuffer dropped;
  std::ostream silent(&dropped);
  std::ostream& console = first_process ? std::cout : silent;
  std::ostream& errors = first_process ? std::cerr : silent;
  ProgressLine progress(first_process && isatty(STDERR_FILENO) != 0);
  Solver solver;
  solver.console = &console;
  solver.pool = &pool;
  solver.factor_progress = [&](double share) { progress.factor_share(share); };
  AnalysisProgress told;
  told.on_stage = [&](const char* name) { progress.stage(name); };
  told.on_iteration = [&](int step, int steps, int iteration, double d, double balance) {
    progress.iteration(step, steps, iteration, d, balance);
  };
  StageTimes times;
  if (nested_order) solver.pending_pivot_order = [nested_order] { return nested_order->get(); };
  const std::unique_ptr<EquationSolver> equations = processes->equation_solver(solver, model);
  assert(settings.analysis_type == "LINEAR" || settings.analysis_type == "NONLINEAR");
  const AnalysisResult outcome =
      settings.analysis_type == "LINEAR"
          ? linear_analysis(model, settings, tables, *equations, console, &times, told)
          : nonlinear_analysis(model, settings, tables, *equations, console, &times, &errors, told);
  const EquationSolverFigures figures = equations->figures();
  const SolverFigures solver_figures{2 * model.nodes.size(), figures.factor_entries,
                                     figures.largest_front,  times.solve,
                                     times.solves,           figures.name};
  const bool singular = !equations->free_equations().empty();
  if (singular && unheld.empty() && first_process)
    std::cerr << free_motion_hint(model, equations->free_equations()) << '\n';
  equations->release();  // no more solves: the memory is the writers'
  if (!first_process) return processes->broadcast(0, 0);
  return processes->broadcast(write_outputs(command, tables, pool, files, read, outcome, solver_figures,
                                            unheld, singular, progress, stage),
                              0);
}

}  // namespace

int run_program(int argc, char** argv) {
  // Every console line reaches a log file whole as soon as it ends, not when
  // the run ends (standard output goes through C's stdio, line-buffered here).
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  keep_running_without_console();
  const char* stage = "starting";
  std::unique_ptr<Processes> processes;
  // A process that stops on its own while others work on would leave them
  // waiting for it: it ends them all after its message.
  const auto stop_all = [&] {
    if (processes && processes->count() > 1) processes->abort(1);
  };
  try {
    return run_stages(argc, argv, stage, processes);
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << "quorix: out of memory while " << stage << '\n';
    stop_all();
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "quorix: stopped while " << stage << ": " << error.what() << '\n';
    stop_all();
  }
  return 1;
}

}  // namespace quorix
