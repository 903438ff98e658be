// quorix-mesh: turns a Gmsh mesh and conditions given by physical group name
// into a model file for quorix.
//
//   quorix-mesh MESH.msh -o MODEL.dat [conditions]
//
// Exit status: 0 model file written; 1 a mesh, a condition or a file that
// cannot be used (nothing is written); 2 a command line that cannot be read.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/input_file.hpp"
#include "driver/result_file.hpp"
#include "mesh/gmsh_reader.hpp"
#include "mesh/mesh_to_model.hpp"
#include "model/input_error.hpp"
#include "model/model_check.hpp"
#include "model/model_file_writer.hpp"

namespace quorix {
namespace {

constexpr std::string_view kHelp = R"(Usage: quorix-mesh MESH.msh -o MODEL.dat [conditions]

Turns a Gmsh mesh of cubic triangles (gmsh -2 -order 3 plate.geo; MSH 2.2 or
4.1, ASCII or binary) into a model file for quorix. Conditions refer to the
mesh's physical groups by name (or by number); every option but -o may be
given more than once. Nodes used by the triangles are numbered 1..N in the
mesh's order, triangles 1..E.

  -o MODEL.dat
      the model file to write; an earlier one is replaced only once the new
      one is complete.                         example: -o plate.dat
  --analysis LINEAR|NONLINEAR
      the analysis (default NONLINEAR).        example: --analysis LINEAR
  --state PLANE_STRESS|PLANE_STRAIN
      the stress state (default PLANE_STRESS). example: --state PLANE_STRAIN
  --increments N
      load increments of a nonlinear analysis (default 3).
                                               example: --increments 10
  --tolerance X
      displacement tolerance of a nonlinear analysis (default 1e-06).
                                               example: --tolerance 1e-8
  --material GROUP=E,nu,weight
      Young's modulus, Poisson's ratio and specific weight (acting in -y) of
      a surface group; without "GROUP=", of every surface (then it is the
      only --material).                        example: --material plate=210000,0.3,7.85e-5
  --thickness GROUP=t
      the thickness of a surface group; without "GROUP=", of every surface.
                                               example: --thickness 10
  --fix GROUP=X|Y|BOTH[,value]
      a prescribed displacement (default 0) of every node of a curve or point
      group.                                   example: --fix left=BOTH  --fix top=X,0.5
  --pressure GROUP=SYSTEM,q1,q2
      a load per length on every triangle edge of a boundary curve group.
      SYSTEM LOCAL: q2 across the boundary, positive outwards (a negative q2
      presses on the plate), q1 along it, in the direction that has the plate
      on its right; SYSTEM GLOBAL: q1 in x, q2 in y. A value written a:b
      varies linearly from a at each curve's first point to b at its last.
                                               example: --pressure right=LOCAL,0,100
                                               example: --pressure wall=GLOBAL,0,0:-50
  --force GROUP=fx,fy
      a force at every node of a point group.  example: --force tip=0,-500
  --help
      this text.

Exit status: 0 model file written; 1 a mesh, condition or file that cannot
be used (no model file is written); 2 a command line that cannot be read.
)";

// A command line that cannot be read: status 2.
struct UsageError {
  std::string text;
};

[[noreturn]] void usage_error(const std::string& text) { throw UsageError{text}; }

struct Command {
  std::string mesh_name;
  std::string model_name;
  AnalysisSettings settings;
  MeshConditions conditions;
  bool help = false;
};

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::string upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = upper_ascii(c);
  return result;
}

// A finite real, as the reader writes it or with a lower-case exponent.
std::optional<double> real_value(std::string_view text) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
      !std::isfinite(value))
    return std::nullopt;
  return value;
}

// Whether an option names a physical group before its values.
enum class Group { required, optional, none };

// Reads the values of one option: GROUP=values or, where a group may be left
// out or the option applies to the whole model, values alone.
class OptionValues {
 public:
  OptionValues(std::string_view name, std::string_view argument, Group group)
      : option_(std::string(name) + " " + std::string(argument)) {
    const std::size_t equals = argument.find('=');
    if (equals != std::string_view::npos && group == Group::none)
      usage_error(option_ + ": expected a value alone, found a group: the option applies to the whole model");
    if (equals == std::string_view::npos) {
      if (group == Group::required)
        usage_error(option_ + ": expected GROUP=... (a physical group name, then '=')");
      values_ = split(argument, ',');
    } else {
      group_ = std::string(argument.substr(0, equals));
      if (group_.empty()) usage_error(option_ + ": expected a physical group name before '='");
      values_ = split(argument.substr(equals + 1), ',');
    }
  }

  const std::string& option() const { return option_; }
  const std::string& group() const { return group_; }
  std::size_t count() const { return values_.size(); }
  std::string_view text(std::size_t i) const { return values_[i]; }

  void expect_count(std::size_t low, std::size_t high, const char* form) const {
    if (values_.size() < low || values_.size() > high)
      usage_error(option_ + ": expected " + form + ", found " + std::to_string(values_.size()) +
                  (values_.size() == 1 ? " value" : " values") + " (write decimals with a point)");
  }
  double real(std::size_t i, const char* what) const { return real(values_[i], what); }
  double real(std::string_view text, const char* what) const {
    const std::optional<double> value = real_value(text);
    if (!value)
      usage_error(option_ + ": expected " + what + " (a finite number), found " + quoted_for_message(text));
    return *value;
  }
  // A value or a pair start:end.
  std::pair<double, double> span(std::size_t i, const char* what) const {
    const std::vector<std::string_view> ends = split(values_[i], ':');
    if (ends.size() > 2)
      usage_error(option_ + ": expected " + what + " as one value or start:end, found " +
                  quoted_for_message(values_[i]));
    const double start = real(ends[0], what);
    return {start, ends.size() == 2 ? real(ends[1], what) : start};
  }
  std::string keyword(std::size_t i, std::initializer_list<const char*> words, const char* what) const {
    const std::string word = upper(values_[i]);
    for (const char* allowed : words)
      if (word == allowed) return word;
    std::string list;
    for (const char* allowed : words) list += std::string(list.empty() ? "" : " or ") + allowed;
    usage_error(option_ + ": expected " + what + " " + list + ", found " + quoted_for_message(values_[i]));
  }

 private:
  std::string option_;
  std::string group_;
  std::vector<std::string_view> values_;
};

Command parse_command(int argc, char** argv) {
  Command command;
  std::vector<std::string_view> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      command.help = true;
      return command;
    }
    if (arg.empty() || arg[0] != '-') {
      if (!command.mesh_name.empty())
        usage_error("expected one mesh file, found " + quoted_for_message(command.mesh_name) + " and " +
                    quoted_for_message(arg));
      command.mesh_name = std::string(arg);
      continue;
    }
    if (i + 1 >= args.size()) usage_error(std::string(arg) + ": expected a value after it, found none");
    const std::string_view value = args[++i];
    if (arg == "-o" || arg == "--output") {
      command.model_name = std::string(value);
    } else if (arg == "--analysis") {
      const OptionValues v(arg, value, Group::none);
      v.expect_count(1, 1, "LINEAR or NONLINEAR");
      command.settings.analysis_type.assign(v.keyword(0, {"LINEAR", "NONLINEAR"}, "the analysis"));
    } else if (arg == "--state") {
      const OptionValues v(arg, value, Group::none);
      v.expect_count(1, 1, "PLANE_STRESS or PLANE_STRAIN");
      command.settings.stress_state.assign(
          v.keyword(0, {"PLANE_STRESS", "PLANE_STRAIN"}, "the stress state"));
    } else if (arg == "--increments") {
      int n = 0;
      const auto result = std::from_chars(value.data(), value.data() + value.size(), n);
      if (result.ec != std::errc() || result.ptr != value.data() + value.size() || n < 1)
        usage_error("--increments: expected a whole number of at least 1, found " +
                    quoted_for_message(value));
      command.settings.load_increments = n;
    } else if (arg == "--tolerance") {
      const OptionValues v(arg, value, Group::none);
      v.expect_count(1, 1, "one number");
      command.settings.displacement_tolerance = v.real(0, "the tolerance");
      if (!(command.settings.displacement_tolerance > 0.0))
        usage_error(v.option() + ": expected a tolerance above 0");
    } else if (arg == "--material") {
      const OptionValues v(arg, value, Group::optional);
      v.expect_count(3, 3, "E,nu,weight");
      command.conditions.materials.push_back({v.option(), v.group(), v.real(0, "Young's modulus"),
                                              v.real(1, "Poisson's ratio"),
                                              v.real(2, "the specific weight")});
      if (!(command.conditions.materials.back().young_modulus > 0.0))
        usage_error(v.option() + ": expected Young's modulus above 0");
    } else if (arg == "--thickness") {
      const OptionValues v(arg, value, Group::optional);
      v.expect_count(1, 1, "one thickness");
      command.conditions.thicknesses.push_back({v.option(), v.group(), v.real(0, "the thickness")});
      if (!(command.conditions.thicknesses.back().value > 0.0))
        usage_error(v.option() + ": expected a thickness above 0");
    } else if (arg == "--fix") {
      const OptionValues v(arg, value, Group::required);
      v.expect_count(1, 2, "X, Y or BOTH, and an optional value");
      command.conditions.supports.push_back({v.option(), v.group(),
                                             FixedText<4>(v.keyword(0, {"X", "Y", "BOTH"}, "the direction")),
                                             v.count() == 2 ? v.real(1, "the displacement") : 0.0});
    } else if (arg == "--pressure") {
      const OptionValues v(arg, value, Group::required);
      v.expect_count(3, 3, "SYSTEM,q1,q2");
      const auto [q1_start, q1_end] = v.span(1, "q1");
      const auto [q2_start, q2_end] = v.span(2, "q2");
      command.conditions.loads.push_back({v.option(), v.group(),
                                          FixedText<6>(v.keyword(0, {"LOCAL", "GLOBAL"}, "the system")),
                                          q1_start, q1_end, q2_start, q2_end});
    } else if (arg == "--force") {
      const OptionValues v(arg, value, Group::required);
      v.expect_count(2, 2, "fx,fy");
      command.conditions.forces.push_back({v.option(), v.group(), v.real(0, "fx"), v.real(1, "fy")});
    } else {
      usage_error("expected an option of quorix-mesh --help, found " + quoted_for_message(arg));
    }
  }
  if (command.mesh_name.empty() || command.model_name.empty())
    usage_error("expected a mesh file and -o MODEL.dat, found " +
                std::string(command.mesh_name.empty() ? "no mesh file" : "no -o") +
                " (see quorix-mesh --help)");
  // Poisson's ratio depends on the stress state, which may come later.
  const bool plane_strain = command.settings.stress_state == "PLANE_STRAIN";
  for (const SurfaceMaterial& material : command.conditions.materials)
    if (!(material.poisson_ratio > -1.0 && material.poisson_ratio < (plane_strain ? 0.5 : 1.0)))
      usage_error(material.option + ": expected Poisson's ratio above -1 and below " +
                  (plane_strain ? "0.5 for plane strain" : "1 for plane stress"));
  return command;
}

// The command as one line for the model file's remark; arguments that a shell
// would split or expand are quoted.
std::string command_line(int argc, char** argv) {
  std::string line = "quorix-mesh";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool plain = !arg.empty() && std::all_of(arg.begin(), arg.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("-_.,:=+/@%", c) != nullptr;
    });
    line += ' ';
    if (plain) {
      line += arg;
      continue;
    }
    line += '\'';
    for (const char c : arg) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += '\'';
  }
  return line;
}

int run(int argc, char** argv) {
  // 1. The command line.
  Command command;
  try {
    command = parse_command(argc, argv);
  } catch (const UsageError& error) {
    std::cerr << "quorix-mesh: " << error.text << '\n';
    return 2;
  }
  if (command.help) {
    std::cout << kHelp;
    return 0;
  }

  // 2. The mesh file, which the model file must not replace; an earlier
  //    model file the user has made read-only stays theirs.
  std::error_code ignored;
  if (std::filesystem::exists(command.mesh_name, ignored) &&
      !std::filesystem::is_regular_file(command.mesh_name, ignored)) {
    std::cerr << "quorix-mesh: " << command.mesh_name
              << " is not a regular file: name the mesh file itself\n";
    return 1;
  }
  std::string bytes;
  if (std::string error; !read_whole_file(command.mesh_name, bytes, error)) {
    std::cerr << "quorix-mesh: cannot read the mesh file " << command.mesh_name << ": " << error << '\n';
    return 1;
  }
  if (std::filesystem::equivalent(command.mesh_name, command.model_name, ignored)) {
    std::cerr << "quorix-mesh: -o " << command.model_name
              << ": expected a model file name, found the mesh file\n";
    return 1;
  }
  if (std::string error; !result_file_replaceable(command.model_name, error)) {
    std::cerr << "quorix-mesh: cannot write the model file " << command.model_name << ": " << error << '\n';
    return 1;
  }

  // 3. The model file is written under a temporary name; a folder we cannot
  //    write to stops the run before any work.
  PendingResultFile model_file(command.model_name);
  if (std::string error; !model_file.create(error)) {
    std::cerr << "quorix-mesh: cannot write the model file " << command.model_name << ": " << error << '\n';
    return 1;
  }

  // 4. Read the mesh and make the model; every problem is one line.
  Model model;
  try {
    model = mesh_to_model(read_gmsh_mesh(bytes, command.mesh_name), command.conditions, command.mesh_name);
  } catch (const InputError& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }

  // 5. Write the model and test it as quorix will before putting it in place.
  const SourceLines source = write_model_file(model_file.stream(), model, command.settings,
                                              "Written by: " + command_line(argc, argv));
  if (const auto problems = check_model(model, command.settings, source, command.model_name);
      !problems.empty()) {
    std::cerr << "quorix-mesh: the model would not pass quorix's checks, so it is not written: "
              << problems.front() << '\n';
    return 1;
  }
  if (std::string error; !model_file.commit(error)) {
    std::cerr << "quorix-mesh: cannot write the model file " << command.model_name << ": " << error << '\n';
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace quorix

int main(int argc, char** argv) {
  try {
    return quorix::run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "quorix-mesh: out of memory\n";
  } catch (const std::exception& error) {
    std::cerr << "quorix-mesh: stopped: " << error.what() << '\n';
  }
  return 1;
}
