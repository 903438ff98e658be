#include "support/test_support.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace quorix::testing {

// The build records where the programs and the sources are; the environment
// may point elsewhere (QUORIX_EXE, QUORIX_MESH_EXE, QUORIX_SOURCE).
std::string quorix_executable() {
  const char* exe = std::getenv("QUORIX_EXE");
  return exe ? exe : QUORIX_EXE_PATH;
}

std::string quorix_mesh_executable() {
  const char* exe = std::getenv("QUORIX_MESH_EXE");
  return exe ? exe : QUORIX_MESH_EXE_PATH;
}

std::string example_text(const std::string& name) { return read_file(source_dir() + "/examples/" + name); }

std::vector<double> report_numbers(const std::string& report, const std::string& label) {
  const std::size_t at = report.find("\n  " + label);
  std::vector<double> values;
  if (at == std::string::npos) return values;
  const std::size_t start = at + 3 + label.size();
  std::istringstream row(report.substr(start, report.find('\n', start) - start));
  for (std::string item; row >> item;) {
    char* end = nullptr;
    const double value = std::strtod(item.c_str(), &end);
    if (end != item.c_str() && *end == '\0') values.push_back(value);
  }
  return values;
}

std::string sound_one_element_text() {
  return replaced(example_text("one_element.dat"), " 1        1000.0     0.3", " 1        1.0E7      0.3");
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::runtime_error("not in the text: " + from);
  return text.replace(at, from.size(), to);
}

std::string source_dir() {
  const char* dir = std::getenv("QUORIX_SOURCE");
  return dir ? dir : QUORIX_SOURCE_DIR;
}

ScratchDir::ScratchDir() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("quorix-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a scratch folder");
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

pid_t start_quorix(const std::vector<std::string>& args, const std::filesystem::path& dir,
                   const std::string& out_name, const std::string& err_name, std::size_t memory_limit) {
  return start_program(quorix_executable(), args, dir, out_name, err_name, memory_limit);
}

pid_t start_program(const std::string& program, const std::vector<std::string>& args,
                    const std::filesystem::path& dir, const std::string& out_name,
                    const std::string& err_name, std::size_t memory_limit) {
  // A bare name is looked up in PATH; a path is made absolute, as the child
  // changes its folder.
  const std::string exe =
      program.find('/') == std::string::npos ? program : std::filesystem::absolute(program).string();
  std::vector<std::string> argv_text = {exe};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("cannot start the program");
  if (child == 0) {
    // In the child only async-signal-safe calls until exec.
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(127);
    if (memory_limit > 0) {
      const rlimit limit{memory_limit, memory_limit};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
    }
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

int wait_for_program(pid_t child) {
  int wait_status = 0;
  while (waitpid(child, &wait_status, 0) < 0)
    if (errno != EINTR) throw std::runtime_error("lost the program's exit status");
  return wait_status;
}

ProgramRun run_quorix(const std::vector<std::string>& args, const std::filesystem::path& dir,
                      std::size_t memory_limit) {
  return run_program(quorix_executable(), args, dir, memory_limit);
}

ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& dir, std::size_t memory_limit) {
  const ScratchDir capture;
  const std::string out_name = capture / "stdout";
  const std::string err_name = capture / "stderr";
  const int wait_status =
      wait_for_program(start_program(program, args, dir, out_name, err_name, memory_limit));
  ProgramRun run;
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  run.out = read_file(out_name);
  run.err = read_file(err_name);
  return run;
}

}  // namespace quorix::testing
