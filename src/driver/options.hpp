#pragma once
// The command line: "quorix [OPTIONS] FILE".

#include <iosfwd>
#include <string>

namespace quorix {

struct CommandLine {
  enum class Action {
    run,      // analyse input_name
    usage,    // not exactly one file name, or an unknown option: the usage lines, status 2
    help,     // what the program does and its options, status 0
    version,  // the version line, status 0
  };
  Action action = Action::usage;
  std::string input_name;
  bool vtu = false;            // also write FILE.vtu
  bool svg = false;            // also write FILE.svg
  std::string unknown_option;  // the first argument taken for an option the program does not know
};

// Arguments that begin with '-' (other than "-" alone) are options until "--",
// after which every argument is a file name. An unknown option makes the
// action `usage` whatever else is given; otherwise --help wins over
// --version, and --version over a run.
CommandLine parse_command_line(int argc, const char* const* argv);

// The two usage lines of a wrong command line.
void write_usage(std::ostream& out);
// What --help prints.
void write_help(std::ostream& out);
// What --version prints: "quorix" and the version.
void write_version(std::ostream& out);

}  // namespace quorix
