#pragma once
// What a file given to the wrong program looks like: a Gmsh mesh or geometry
// handed to quorix, a model or a geometry handed to quorix-mesh. Only asked
// once a file has failed to read, to say which program it is for.

#include <string>
#include <string_view>

namespace quorix {

enum class FileKind { unknown, gmsh_mesh, gmsh_geometry, model };

struct FileGuess {
  FileKind kind = FileKind::unknown;
  int line = 1;  // the line that shows it
};

// A Gmsh mesh starts with "$MeshFormat"; a model has a line whose first word
// is GENERAL; a Gmsh geometry has a line that starts with one of the
// geometry commands ("Point(", "SetFactory(", "Plane Surface(", ...). The
// first of these that fits, in that order.
FileGuess guess_file_kind(std::string_view text);

// The line for a file of `kind` named `file_name` given to `program`
// ("quorix" or "quorix-mesh"), telling the user what to do with it; empty
// when the kind is unknown or is what the program reads.
std::string wrong_program_message(const std::string& file_name, const FileGuess& guess,
                                  std::string_view program);

}  // namespace quorix
