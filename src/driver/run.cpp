#include "driver/run.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "driver/load_model.hpp"
#include "driver/result_file.hpp"
#include "element/element_tables.hpp"
#include "model/input_error.hpp"
#include "model/model.hpp"
#include "output/result_writer.hpp"
#include "solver/solver_interface.hpp"

namespace quorix {

namespace {

// Where a singular stiffness matrix lets the model move: the first few
// equations left without a pivot, as nodes and directions.
std::string free_motion_hint(const std::vector<int>& equations) {
  constexpr std::size_t kShown = 3;
  std::string text = "quorix: the model can move freely at ";
  for (std::size_t k = 0; k < equations.size() && k < kShown; ++k) {
    const int equation = equations[k];
    text += (k > 0 ? ", node " : "node ") + std::to_string((equation + 1) / 2) +
            (equation % 2 == 1 ? " (x)" : " (y)");
  }
  if (equations.size() > kShown) text += " and " + std::to_string(equations.size() - kShown) + " more";
  return text + ": missing supports, a node in no element, or two nodes at one place?";
}

// The whole content of the file. On failure returns false and sets `error`.
bool read_whole_file(const std::string& name, std::string& text, std::string& error) {
  const int fd = open(name.c_str(), O_RDONLY);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  // Read straight into the text, sized as the file is; a file that grows
  // meanwhile is read on to its end.
  struct stat status {};
  std::size_t size = 0;
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
    size = static_cast<std::size_t>(status.st_size);
  text.resize(std::max<std::size_t>(size, 1 << 16));
  std::size_t filled = 0;
  for (;;) {
    if (filled == text.size()) text.resize(2 * text.size());
    const ssize_t n = read(fd, text.data() + filled, text.size() - filled);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      close(fd);
      return false;
    }
    filled += static_cast<std::size_t>(n);
  }
  close(fd);
  text.resize(filled);
  return true;
}

// The run proper. `stage` names what is running, for the out-of-memory line.
int run_stages(int argc, char** argv, const char*& stage) {
  // 1. Exactly one argument, the input file name, used whole.
  if (argc != 2) {
    std::cout << " Usage: Quorix filename\n"
              << "     filename - name of the file containing the input data\n";
    return 2;
  }
  const std::string input_name = argv[1];

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

  // 3. An earlier result file that the user has made read-only is theirs to
  //    keep: say so before any work is done.
  const std::string result_name = input_name + ".out";
  if (std::string error; !result_file_replaceable(result_name, error)) {
    std::cerr << "quorix: cannot write the result file " << result_name << ": " << error << '\n';
    return 1;
  }

  // 4. Read the file's bytes once; the reader works on them in memory.
  stage = "reading the model";
  std::string text;
  if (std::string error; !read_whole_file(input_name, text, error)) {
    std::cerr << "quorix: cannot read the input file " << input_name << ": " << error << '\n';
    return 1;
  }

  // 5. Create the temporary result file now, so that a folder we cannot write
  //    to stops the run before any work is done.
  PendingResultFile result(result_name);
  if (std::string error; !result.create(error)) {
    std::cerr << "quorix: cannot write the result file " << result.final_name() << ": " << error << '\n';
    return 1;
  }

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

  // 8. Analyse. The model test has let through only the two known types.
  stage = "analysing";
  Solver solver;
  solver.console = &std::cout;
  assert(settings.analysis_type == "LINEAR" || settings.analysis_type == "NONLINEAR");
  const AnalysisOutcome outcome =
      settings.analysis_type == "LINEAR"
          ? linear_analysis(model, settings, tables, solver, std::cout)
          : nonlinear_analysis(model, settings, tables, solver, std::cout, nullptr, &std::cerr);
  if (!solver.free_equations.empty()) std::cerr << free_motion_hint(solver.free_equations) << '\n';

  // 9. Write the results, whatever the analysis reported, and put the file in
  //    place.
  stage = "writing results";
  write_results(model, settings, tables, result.stream());
  if (std::string error; !result.commit(error)) {
    std::cerr << "quorix: cannot write the result file " << result.final_name() << ": " << error << '\n';
    return 1;
  }
  return outcome == AnalysisOutcome::suspect ? 3 : 0;
}

}  // namespace

int run_program(int argc, char** argv) {
  // Every console line reaches a log file as it is written, not at the end.
  std::cout << std::unitbuf;
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
