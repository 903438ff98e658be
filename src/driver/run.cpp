#include "driver/run.hpp"

#include <unistd.h>

#include <array>
#include <cassert>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "analysis/reactions.hpp"
#include "driver/input_file.hpp"
#include "driver/load_model.hpp"
#include "driver/options.hpp"
#include "driver/progress_line.hpp"
#include "driver/result_file.hpp"
#include "element/element_tables.hpp"
#include "model/input_error.hpp"
#include "model/model.hpp"
#include "model/model_check.hpp"
#include "model/plate_check.hpp"
#include "output/result_writer.hpp"
#include "output/svg_writer.hpp"
#include "output/vtu_writer.hpp"
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

int cannot_write(const Output& output, const std::string& name, const std::string& error) {
  std::cerr << "quorix: cannot write the " << output.what << ' ' << name << ": " << error << '\n';
  return 1;
}

// The run proper. `stage` names what is running, for the out-of-memory line.
int run_stages(int argc, char** argv, const char*& stage) {
  // 1. The options and exactly one file name, used whole.
  const CommandLine command = parse_command_line(argc, argv);
  switch (command.action) {
    case CommandLine::Action::usage:
      write_usage(std::cout);
      if (!command.unknown_option.empty())
        std::cerr << "quorix: unknown option '" << command.unknown_option << "' (quorix --help lists them)\n";
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
  Output result{"result file", {}};
  Output vtu{"ParaView file", {}};
  Output svg{"picture", {}};
  result.file.emplace(input_name + ".out");
  if (command.vtu) vtu.file.emplace(input_name + ".vtu");
  if (command.svg) svg.file.emplace(input_name + ".svg");
  const std::array<Output*, 3> outputs = {&result, &vtu, &svg};
  for (const Output* output : outputs)
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
  for (Output* output : outputs)
    if (std::string error; output->file && !output->file->create(error))
      return cannot_write(*output, output->file->final_name(), error);

  // 6. The shape-function tables every element routine uses.
  const ElementTables tables = init_element_tables();

  // 7. Read the model and test it.
  Model model;
  AnalysisSettings settings;
  try {
    const SourceLines source = load_model(text, input_name, tables, model, settings);
    for (const std::string& warning : source.warnings) std::cerr << warning << '\n';
  } catch (const InputError& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  std::string().swap(text);  // the analysis may need the memory

  // 7a. Mistakes that leave every number in its place: a plate its supports
  //     do not hold (the solve then meets a singular matrix, and the hint
  //     below would name some node inside), meshes that meet unjoined.
  const std::vector<std::string> unheld = unheld_motions(model);
  for (const std::string& line : unheld) std::cerr << line << '\n';
  for (const std::string& line : unjoined_nodes(model)) std::cerr << line << '\n';

  // 8. Analyse. The model test has let through only the two known types. A
  //    terminal on standard error is shown how the analysis goes.
  stage = "analysing";
  ProgressLine progress(isatty(STDERR_FILENO) != 0);
  Solver solver;
  solver.console = &std::cout;
  solver.factor_progress = [&](double share) { progress.factor_share(share); };
  AnalysisProgress report;
  report.on_stage = [&](const char* name) { progress.stage(name); };
  report.on_iteration = [&](int step, int steps, int iteration, double d, double balance) {
    progress.iteration(step, steps, iteration, d, balance);
  };
  assert(settings.analysis_type == "LINEAR" || settings.analysis_type == "NONLINEAR");
  const AnalysisResult outcome =
      settings.analysis_type == "LINEAR"
          ? linear_analysis(model, settings, tables, solver, std::cout, nullptr, report)
          : nonlinear_analysis(model, settings, tables, solver, std::cout, nullptr, &std::cerr, report);
  const bool singular = !solver.free_equations.empty();
  if (singular && unheld.empty()) std::cerr << free_motion_hint(model, solver.free_equations) << '\n';
  release_solver_memory(solver);  // no more solves: the memory is the writers'

  // 9. Write the results, whatever the analysis reported, then put the files
  //    in place together: a run that stops before leaves every earlier file
  //    as it was.
  stage = "writing results";
  progress.stage("writing results");
  NodalResults results = nodal_results(model, settings, tables);
  write_results(model, results, result.file->stream());
  if (vtu.file) {
    results.reactions = support_reactions(model, settings, tables, outcome.load_level);
    write_vtu(model, results, vtu.file->stream());
  }
  if (svg.file)
    write_svg(model, settings, results, PictureTitle{input_name, outcome.load_level}, svg.file->stream());
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
  // 11. A held plate whose displacements are out of all proportion.
  const bool too_large =
      settings.analysis_type == "LINEAR" && unheld.empty() && !singular && displacements_too_large(model);
  return outcome.outcome == AnalysisOutcome::suspect || !unheld.empty() || too_large ? 3 : 0;
}

}  // namespace

int run_program(int argc, char** argv) {
  // Every console line reaches a log file whole as soon as it ends, not when
  // the run ends (standard output goes through C's stdio, line-buffered here).
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  keep_running_without_console();
  const char* stage = "starting";
  try {
    return run_stages(argc, argv, stage);
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << "quorix: out of memory while " << stage << '\n';
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "quorix: stopped while " << stage << ": " << error.what() << '\n';
  }
  return 1;
}

}  // namespace quorix
