#include "driver/mesh_run.hpp"

#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>

#include "driver/input_file.hpp"
#include "driver/mesh_options.hpp"
#include "driver/result_file.hpp"
#include "mesh/gmsh_reader.hpp"
#include "mesh/mesh_to_model.hpp"
#include "model/file_kind.hpp"
#include "model/input_error.hpp"
#include "model/model_check.hpp"
#include "model/model_file_writer.hpp"

namespace quorix {

namespace {

int cannot_write(const std::string& name, const std::string& error) {
  std::cerr << "quorix-mesh: cannot write the model file " << name << ": " << error << '\n';
  return 1;
}

int run_stages(int argc, char** argv) {
  // 1. The command line.
  MeshCommand command;
  try {
    command = parse_mesh_command(argc, argv);
  } catch (const MeshUsageError& error) {
    std::cerr << "quorix-mesh: " << error.text << '\n';
    return 2;
  }
  if (command.action == MeshCommand::Action::help) {
    write_mesh_help(std::cout);
    return 0;
  }
  if (command.action == MeshCommand::Action::version) {
    write_mesh_version(std::cout);
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
  if (std::string error; !result_file_replaceable(command.model_name, error))
    return cannot_write(command.model_name, error);

  // 3. The model file is written under a temporary name; a folder we cannot
  //    write to stops the run before any work.
  PendingResultFile model_file(command.model_name);
  if (std::string error; !model_file.create(error)) return cannot_write(command.model_name, error);

  // 4. Read the mesh and make the model; every problem is one line. A model
  //    file or a geometry given for the mesh is named as such.
  Model model;
  std::vector<SupportGroup> supports;
  try {
    GmshMesh mesh;
    try {
      mesh = read_gmsh_mesh(bytes, command.mesh_name);
    } catch (const InputError&) {
      if (const std::string message =
              wrong_program_message(command.mesh_name, guess_file_kind(bytes), "quorix-mesh");
          !message.empty())
        throw InputError(message);
      throw;
    }
    model = mesh_to_model(mesh, command.conditions, command.mesh_name, &supports);
  } catch (const InputError& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }

  // 5. Write the model and test it as quorix will before putting it in place.
  std::vector<std::string> remarks;
  for (const SupportGroup& group : supports) remarks.push_back(support_group_remark(group));
  const SourceLines source = write_model_file(model_file.stream(), model, command.settings,
                                              "Written by: " + mesh_command_line(argc, argv), remarks);
  if (const auto problems = check_model(model, command.settings, source, command.model_name);
      !problems.empty()) {
    std::cerr << "quorix-mesh: the model would not pass quorix's checks, so it is not written: "
              << problems.front() << '\n';
    return 1;
  }
  if (std::string error; !model_file.commit(error)) return cannot_write(command.model_name, error);
  return 0;
}

}  // namespace

int run_mesh_program(int argc, char** argv) {
  keep_running_without_console();
  try {
    return run_stages(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "quorix-mesh: out of memory\n";
  } catch (const std::exception& error) {
    std::cerr << "quorix-mesh: stopped: " << error.what() << '\n';
  }
  return 1;
}

}  // namespace quorix
