#include "model/file_kind.hpp"

#include <array>

namespace quorix {

namespace {

std::string_view without_blanks(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
    line.remove_suffix(1);
  return line;
}

// A command of Gmsh's geometry language, then '(' (blanks may come between).
bool is_geometry_command(std::string_view line) {
  static constexpr std::array<std::string_view, 20> kCommands = {
      "Point",     "Line",           "Circle",         "Ellipse",           "Spline",
      "BSpline",   "Bezier",         "Curve Loop",     "Line Loop",         "Plane Surface",
      "Surface",   "Physical Point", "Physical Curve", "Physical Line",     "Physical Surface",
      "Rectangle", "Disk",           "SetFactory",     "Transfinite Curve", "Extrude"};
  for (const std::string_view command : kCommands) {
    if (line.substr(0, command.size()) != command) continue;
    std::string_view rest = without_blanks(line.substr(command.size()));
    if (!rest.empty() && (rest.front() == '(' || rest.front() == '{')) return true;
  }
  return false;
}

bool first_word_is(std::string_view line, std::string_view word) {
  return line.substr(0, word.size()) == word && (line.size() == word.size() || line[word.size()] == ' ' ||
                                                 line[word.size()] == '\t' || line[word.size()] == ',');
}

}  // namespace

FileGuess guess_file_kind(std::string_view text) {
  FileGuess geometry{FileKind::unknown, 1};
  bool first = true;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = without_blanks(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.empty()) continue;
    if (first && line == "$MeshFormat") return {FileKind::gmsh_mesh, number};
    first = false;
    if (first_word_is(line, "GENERAL")) return {FileKind::model, number};
    if (geometry.kind == FileKind::unknown && is_geometry_command(line))
      geometry = {FileKind::gmsh_geometry, number};
  }
  return geometry;
}

std::string wrong_program_message(const std::string& file_name, const FileGuess& guess,
                                  std::string_view program) {
  const std::string place = file_name + ":" + std::to_string(guess.line) + ": ";
  const bool mesh_program = program == "quorix-mesh";
  switch (guess.kind) {
    case FileKind::gmsh_mesh:
      if (mesh_program) return {};
      return place + file_name +
             " is a Gmsh mesh: turn it into a model with quorix-mesh (quorix-mesh --help)";
    case FileKind::gmsh_geometry:
      return place + file_name + " is a Gmsh geometry: mesh it with gmsh -2 -order 3 " + file_name +
             ", then use quorix-mesh" + (mesh_program ? " on the .msh file" : "");
    case FileKind::model:
      if (!mesh_program) return {};
      return place + file_name + " is a model file for quorix, not a mesh: analyse it with quorix " +
             file_name;
    case FileKind::unknown:
      break;
  }
  return {};
}

}  // namespace quorix
