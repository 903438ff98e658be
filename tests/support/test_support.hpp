#pragma once
// Helpers shared by the tests.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace quorix::testing {

// The built programs and the source tree, from the test environment.
std::string quorix_executable();
std::string quorix_mesh_executable();
std::string source_dir();

// A fresh empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // The names of the entries in the folder, sorted.
  std::vector<std::string> entries() const;

 private:
  std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& path);
// The text of examples/NAME.
std::string example_text(const std::string& name);
// The one-element example made a thousand times stiffer, so that its
// displacements are small against its size (the example's own are not): a
// sound model of the same lines, for tests about something else.
std::string sound_one_element_text();
// `text` with the first occurrence of `from` replaced by `to`; throws when
// `from` is not there (a test's edit that no longer applies).
std::string replaced(std::string text, const std::string& from, const std::string& to);
void write_file(const std::filesystem::path& path, const std::string& text);
// The numbers of the report row (FILE.report) that starts with `label`, in
// order; empty when there is no such row.
std::vector<double> report_numbers(const std::string& report, const std::string& label);

// What a run of the program printed and its exit status (-1 when it did not
// exit normally).
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the built program with `args` in the folder `dir`, standard input empty.
// A non-zero `memory_limit` caps the program's address space (bytes).
ProgramRun run_quorix(const std::vector<std::string>& args, const std::filesystem::path& dir,
                      std::size_t memory_limit = 0);
// The same for any program, named by its path or looked up in PATH.
ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& dir, std::size_t memory_limit = 0);

// The program started in the background in `dir`, its standard output and
// error going to the files named; wait_for_program returns its wait status.
pid_t start_quorix(const std::vector<std::string>& args, const std::filesystem::path& dir,
                   const std::string& out_name, const std::string& err_name, std::size_t memory_limit = 0);
// The same for any program, named by its path.
pid_t start_program(const std::string& program, const std::vector<std::string>& args,
                    const std::filesystem::path& dir, const std::string& out_name,
                    const std::string& err_name, std::size_t memory_limit = 0);
int wait_for_program(pid_t child);

}  // namespace quorix::testing
