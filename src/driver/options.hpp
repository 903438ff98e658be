#pragma once
// The command line: "quorix [OPTIONS] FILE".

#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "driver/solver_choice.hpp"

namespace quorix {

struct CommandLine {
  enum class Action {
    run,      // analyse input_name
    usage,    // not exactly one file name, an unknown option or a bad value: the usage lines, status 2
    help,     // what the program does and its options, status 0
    version,  // the version line, status 0
  };
  Action action = Action::usage;
  std::string input_name;
  bool vtu = false;                           // also write FILE.vtu
  bool svg = false;                           // also write FILE.svg
  bool report = false;                        // also write FILE.report (also when points are asked for)
  bool csv = false;                           // also write FILE.csv
  bool sizes = false;                         // also write FILE.pos, element sizes for remeshing with Gmsh
  std::vector<std::array<double, 2>> points;  // --at X,Y, in the order given
  struct Line {
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
    int count = 101;  // points, ends included
  };
  std::optional<Line> line;             // --line X0,Y0,X1,Y1[,N]: FILE.line.csv
  bool nested_order = false;            // --ordering nested: the pivot order by nested dissection
  SolverKind solver = SolverKind::own;  // --solver own|mumps
  std::string unknown_option;           // the first argument taken for an option the program does not know
  std::string bad_value;                // what is wrong with the first option value that cannot be read
};

// Arguments that begin with '-' (other than "-" alone) are options until "--",
// after which every argument is a file name; --at, --line and --ordering take the next
// argument as their value, and so does --solver. An unknown option or a value that cannot be read
// makes the action `usage` whatever else is given; otherwise --help wins over
// --version, and --version over a run.
CommandLine parse_command_line(int argc, const char* const* argv);

// The two usage lines of a wrong command line.
void write_usage(std::ostream& out);
// What --help prints.
void write_help(std::ostream& out);
// What --version prints: "quorix" and the version.
void write_version(std::ostream& out);

}  // namespace quorix
