#pragma once
// The command line of quorix-mesh: "quorix-mesh MESH.msh -o MODEL.dat
// [conditions]".

#include <iosfwd>
#include <string>

#include "mesh/mesh_to_model.hpp"
#include "model/model.hpp"

namespace quorix {

struct MeshCommand {
  enum class Action {
    run,      // import mesh_name into model_name
    help,     // the help text, status 0
    version,  // the version line, status 0
  };
  Action action = Action::run;
  std::string mesh_name;
  std::string model_name;
  AnalysisSettings settings = mesh_default_settings();
  MeshConditions conditions;

  // A linear analysis unless --analysis says otherwise; the rest as the
  // model file's defaults.
  static AnalysisSettings mesh_default_settings() {
    AnalysisSettings settings;
    settings.analysis_type.assign("LINEAR");
    return settings;
  }
};

// A command line that cannot be read (status 2); the text follows
// "quorix-mesh: ".
struct MeshUsageError {
  std::string text;
};

// Throws MeshUsageError. "--help" or "--version" anywhere wins over what else
// is given, an unknown option over both; "--" ends the options.
MeshCommand parse_mesh_command(int argc, const char* const* argv);

// The command as one line for the model file's remark; arguments that a shell
// would split or expand are quoted.
std::string mesh_command_line(int argc, const char* const* argv);

void write_mesh_help(std::ostream& out);
// "quorix-mesh" and the version.
void write_mesh_version(std::ostream& out);

}  // namespace quorix
