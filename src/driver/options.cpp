#include "driver/options.hpp"

#include <charconv>
#include <cmath>
#include <ostream>
#include <string_view>

namespace quorix {

namespace {

// Finite reals separated by commas: "0,12.5" gives 0 and 12.5.
bool read_reals(std::string_view text, std::vector<double>& values) {
  values.clear();
  for (;;) {
    const std::size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    if (!item.empty() && item[0] == '+') item.remove_prefix(1);
    double value = 0.0;
    const auto result = std::from_chars(item.data(), item.data() + item.size(), value);
    if (item.empty() || result.ec != std::errc() || result.ptr != item.data() + item.size() ||
        !std::isfinite(value))
      return false;
    values.push_back(value);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

// The value of --at or --line; empty when it reads, else what is wrong.
std::string read_place_option(std::string_view option, std::string_view value, CommandLine& line) {
  std::vector<double> numbers;
  const bool reals = read_reals(value, numbers);
  if (option == "--at") {
    if (!reals || numbers.size() != 2)
      return "expected X,Y (two numbers), found '" + std::string(value) + "'";
    line.points.push_back({numbers[0], numbers[1]});
    return {};
  }
  if (!reals || numbers.size() < 4 || numbers.size() > 5)
    return "expected X0,Y0,X1,Y1 or X0,Y0,X1,Y1,N (four numbers and a count), found '" + std::string(value) +
           "'";
  CommandLine::Line points{numbers[0], numbers[1], numbers[2], numbers[3], 101};
  if (numbers.size() == 5) {
    if (numbers[4] != std::floor(numbers[4]) || numbers[4] < 2.0 || numbers[4] > 1.0e6)
      return "expected the count N as a whole number from 2 to 1000000, found '" + std::string(value) + "'";
    points.count = static_cast<int>(numbers[4]);
  }
  line.line = points;
  return {};
}

// The value of --solver; empty when it names a solver of this build, else
// what is wrong.
std::string read_solver_option(std::string_view value, bool given, CommandLine& line) {
  if (!given) return "--solver: expected a value after it, found none";
  if (value == "own") {
    line.solver = SolverKind::own;
    return {};
  }
  if (value == "mumps") {
    if (!solver_built(SolverKind::mumps))
      return "--solver mumps: this quorix is built without MPI; build it with cmake -DQUORIX_MPI=ON (README: "
             "\"Beyond one machine\")";
    line.solver = SolverKind::mumps;
    return {};
  }
  std::string problem = "--solver: expected own";
  if (solver_built(SolverKind::mumps)) problem += " or mumps";
  problem += ", found '";
  problem += value;
  return problem + "'";
}

}  // namespace

CommandLine parse_command_line(int argc, const char* const* argv) {
  CommandLine line;
  int files = 0;
  bool help = false;
  bool version = false;
  bool options_ended = false;
  for (int k = 1; k < argc; ++k) {
    const std::string_view argument = argv[k];
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      if (++files == 1) line.input_name = argument;
    } else if (argument == "--") {
      options_ended = true;
    } else if (argument == "--vtu") {
      line.vtu = true;
    } else if (argument == "--svg") {
      line.svg = true;
    } else if (argument == "--report") {
      line.report = true;
    } else if (argument == "--csv") {
      line.csv = true;
    } else if (argument == "--sizes") {
      line.sizes = true;
    } else if (argument == "--ordering") {
      const std::string_view value = k + 1 < argc ? std::string_view(argv[k + 1]) : std::string_view();
      if (value == "nested" || value == "minimum-degree")
        line.nested_order = value == "nested";
      else if (line.bad_value.empty())
        line.bad_value =
            k + 1 < argc ? "--ordering: expected nested or minimum-degree, found '" + std::string(value) + "'"
                         : "--ordering: expected a value after it, found none";
      ++k;
    } else if (argument == "--solver") {
      const std::string_view value = k + 1 < argc ? std::string_view(argv[k + 1]) : std::string_view();
      const std::string problem = read_solver_option(value, k + 1 < argc, line);
      if (!problem.empty() && line.bad_value.empty()) line.bad_value = problem;
      ++k;
    } else if (argument == "--at" || argument == "--line") {
      std::string problem = k + 1 < argc ? read_place_option(argument, argv[k + 1], line)
                                         : "expected a value after it, found none";
      if (!problem.empty() && line.bad_value.empty()) line.bad_value = std::string(argument) + ": " + problem;
      ++k;
      if (argument == "--at") line.report = true;
    } else if (argument == "--help") {
      help = true;
    } else if (argument == "--version") {
      version = true;
    } else if (line.unknown_option.empty()) {
      line.unknown_option = argument;
    }
  }
  if (!line.unknown_option.empty() || !line.bad_value.empty())
    line.action = CommandLine::Action::usage;
  else if (help)
    line.action = CommandLine::Action::help;
  else if (version)
    line.action = CommandLine::Action::version;
  else
    line.action = files == 1 ? CommandLine::Action::run : CommandLine::Action::usage;
  return line;
}

void write_usage(std::ostream& out) {
  out << " Usage: Quorix filename\n"
      << "     filename - name of the file containing the input data\n";
}

void write_help(std::ostream& out) {
  out << "Usage: quorix [OPTIONS] FILE\n"
         "\n"
         "Analyses the plate model in FILE (flat plates loaded in their plane, plane stress or plane\n"
         "strain, 10-node cubic triangles, linear or geometrically nonlinear) and writes the\n"
         "displacements and stresses of its nodes to FILE.out.\n"
         "\n"
         "Options:\n"
         "  --vtu      also write FILE.vtu for ParaView (and other VTK readers): the mesh with its\n"
         "             displacements, stresses and support reactions\n"
         "  --svg      also write FILE.svg, a picture of the deformed plate coloured by the von Mises\n"
         "             stress, which any web browser shows\n"
         "  --report   also write FILE.report, a page to check by hand: the model, the loads and the\n"
         "             support reactions summed, the largest results, the accuracy, the solver\n"
         "  --csv      also write FILE.csv, one row per node (true stresses, support reactions) for\n"
         "             numpy, pandas or a spreadsheet\n"
         "  --at X,Y   the results at the point (X, Y) of the plate, in FILE.report; may be repeated\n"
         "  --line X0,Y0,X1,Y1[,N]\n"
         "             the results at N points (default 101) from (X0, Y0) to (X1, Y1), in\n"
         "             FILE.line.csv\n"
         "  --sizes    also write FILE.pos, the element sizes that would bring the estimated error\n"
         "             to 2 %: gmsh -bgm FILE.pos -2 -order 3 plate.geo remeshes with them\n"
         "  --ordering minimum-degree|nested\n"
         "             the solver's pivot order: minimum degree (the default), or nested dissection\n"
         "             of the mesh by METIS, which needs far less time and memory on large plates\n";
  if (solver_built(SolverKind::mumps))
    out << "  --solver own|mumps\n"
           "             the equation solver: the program's own (the default), or MUMPS across the\n"
           "             processes of mpirun -np N quorix --solver mumps FILE, on one machine or many\n";
  out << "  --help     print this text and stop\n"
         "  --version  print the program's version and stop\n"
         "  --         end of the options: a file name that begins with '-' follows\n"
         "\n"
         "Environment:\n"
         "  QUORIX_THREADS=N  the number of threads to work with, 1 to 256 (default: every core\n"
         "                    the process may run on); the results are the same for any number\n"
         "\n"
         "Exit status: 0 results written; 1 the input or a file could not be used; 2 a wrong\n"
         "command line; 3 results written but not to be trusted (see the messages).\n";
}

void write_version(std::ostream& out) { out << "quorix " << QUORIX_VERSION << '\n'; }

}  // namespace quorix
