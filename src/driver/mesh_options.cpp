#include "driver/mesh_options.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <ostream>
#include <string_view>
#include <utility>
#include <vector>

#include "model/input_reader.hpp"
#include "model/model_check.hpp"

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
      the analysis (default LINEAR).           example: --analysis NONLINEAR
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
  --version
      the program's version.
  --
      end of the options: a mesh file name that begins with '-' follows.

Exit status: 0 model file written; 1 a mesh, condition or file that cannot
be used (no model file is written); 2 a command line that cannot be read.
)";

// The options that take a value, and those that stand alone.
constexpr std::string_view kValueOptions[] = {"-o",           "--output",    "--analysis", "--state",
                                              "--increments", "--tolerance", "--material", "--thickness",
                                              "--fix",        "--pressure",  "--force"};
constexpr std::string_view kFlags[] = {"--help", "-h", "--version", "--"};

template <std::size_t N>
bool one_of(std::string_view word, const std::string_view (&words)[N]) {
  return std::find(std::begin(words), std::end(words), word) != std::end(words);
}

[[noreturn]] void usage_error(const std::string& text) { throw MeshUsageError{text}; }

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

bool digits_only(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether two neighbouring values read as one number written with a
// decimal comma: "0" and "3" from "0,3", "-100" and "5" from "-100,5".
bool decimal_comma_among(const std::vector<std::string_view>& values) {
  for (std::size_t i = 0; i + 1 < values.size(); ++i) {
    std::string_view whole = values[i];
    if (!whole.empty() && (whole[0] == '-' || whole[0] == '+')) whole.remove_prefix(1);
    if (digits_only(whole) && digits_only(values[i + 1])) return true;
  }
  return false;
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

  // A wrong count; the decimal point is mentioned only where a decimal
  // comma has split a number in two.
  void expect_count(std::size_t low, std::size_t high, const char* form) const {
    if (values_.size() >= low && values_.size() <= high) return;
    const bool comma = values_.size() > high && decimal_comma_among(values_);
    usage_error(option_ + ": expected " + form + ", found " + std::to_string(values_.size()) +
                (values_.size() == 1 ? " value" : " values") +
                (comma ? " (write decimals with a point)" : ""));
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

// One option and its value into the command.
void read_option(std::string_view arg, std::string_view value, MeshCommand& command) {
  if (arg == "-o" || arg == "--output") {
    if (!command.model_name.empty())
      usage_error(std::string(arg) + " " + std::string(value) + ": expected one model file, found -o " +
                  command.model_name + " already");
    if (value.empty()) usage_error(std::string(arg) + ": expected a model file name, found an empty one");
    command.model_name = std::string(value);
  } else if (arg == "--analysis") {
    const OptionValues v(arg, value, Group::none);
    v.expect_count(1, 1, "LINEAR or NONLINEAR");
    command.settings.analysis_type.assign(v.keyword(0, {"LINEAR", "NONLINEAR"}, "the analysis"));
  } else if (arg == "--state") {
    const OptionValues v(arg, value, Group::none);
    v.expect_count(1, 1, "PLANE_STRESS or PLANE_STRAIN");
    command.settings.stress_state.assign(v.keyword(0, {"PLANE_STRESS", "PLANE_STRAIN"}, "the stress state"));
  } else if (arg == "--increments") {
    int n = 0;
    const auto result = std::from_chars(value.data(), value.data() + value.size(), n);
    if (result.ec != std::errc() || result.ptr != value.data() + value.size() || n < 1)
      usage_error("--increments: expected a whole number of at least 1, found " + quoted_for_message(value));
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
                                            v.real(1, "Poisson's ratio"), v.real(2, "the specific weight")});
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
  } else {  // --force
    const OptionValues v(arg, value, Group::required);
    v.expect_count(2, 2, "fx,fy");
    command.conditions.forces.push_back({v.option(), v.group(), v.real(0, "fx"), v.real(1, "fy")});
  }
}

}  // namespace

MeshCommand parse_mesh_command(int argc, const char* const* argv) {
  MeshCommand command;
  const std::vector<std::string_view> args(argv + 1, argv + argc);

  // An unknown option is named before anything else is read; then --help and
  // --version, wherever they stand.
  bool help = false;
  bool version = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--") break;
    if (arg.size() < 2 || arg[0] != '-') continue;
    if (one_of(arg, kValueOptions)) {
      ++i;
    } else if (!one_of(arg, kFlags)) {
      usage_error("unknown option " + quoted_for_message(arg) + " (quorix-mesh --help lists them)");
    }
    help = help || arg == "--help" || arg == "-h";
    version = version || arg == "--version";
  }
  if (help || version) {
    command.action = help ? MeshCommand::Action::help : MeshCommand::Action::version;
    return command;
  }

  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!options_ended && arg == "--") {
      options_ended = true;
      continue;
    }
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      if (!command.mesh_name.empty())
        usage_error("expected one mesh file, found " + quoted_for_message(command.mesh_name) + " and " +
                    quoted_for_message(arg));
      command.mesh_name = std::string(arg);
      continue;
    }
    if (i + 1 >= args.size()) usage_error(std::string(arg) + ": expected a value after it, found none");
    read_option(arg, args[++i], command);
  }
  if (command.mesh_name.empty() || command.model_name.empty())
    usage_error("expected a mesh file and -o MODEL.dat, found " +
                std::string(command.mesh_name.empty() ? "no mesh file" : "no -o") +
                " (see quorix-mesh --help)");
  // Poisson's ratio depends on the stress state, which may come later.
  const bool plane_strain = command.settings.stress_state == "PLANE_STRAIN";
  for (const SurfaceMaterial& material : command.conditions.materials)
    if (const std::string expected = poisson_ratio_expectation(material.poisson_ratio, plane_strain);
        !expected.empty())
      usage_error(material.option + ": expected " + expected);
  return command;
}

std::string mesh_command_line(int argc, const char* const* argv) {
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

void write_mesh_help(std::ostream& out) { out << kHelp; }

void write_mesh_version(std::ostream& out) { out << "quorix-mesh " << QUORIX_VERSION << '\n'; }

}  // namespace quorix
