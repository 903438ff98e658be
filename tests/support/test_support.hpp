#pragma once
// Helpers shared by the tests.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace quorix::testing {

// The built program and the source tree, from the test environment.
std::string quorix_executable();
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
// `text` with the first occurrence of `from` replaced by `to`; throws when
// `from` is not there (a test's edit that no longer applies).
std::string replaced(std::string text, const std::string& from, const std::string& to);
void write_file(const std::filesystem::path& path, const std::string& text);

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
// Runs any program the same way: argv[0] is looked up in PATH unless it holds a '/'.
ProgramRun run_command(std::vector<std::string> argv, const std::filesystem::path& dir,
                       std::size_t memory_limit = 0);

}  // namespace quorix::testing
