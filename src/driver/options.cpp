#include "driver/options.hpp"

#include <ostream>
#include <string_view>

namespace quorix {

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
    } else if (argument == "--help") {
      help = true;
    } else if (argument == "--version") {
      version = true;
    } else if (line.unknown_option.empty()) {
      line.unknown_option = argument;
    }
  }
  if (!line.unknown_option.empty())
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
         "  --help     print this text and stop\n"
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
