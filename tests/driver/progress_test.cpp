// The progress line: on standard error when it is a terminal, erased at the
// end, and nothing else changes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "support/test_support.hpp"

namespace quorix {
namespace {

using testing::ScratchDir;

// Runs the program on `name` in `dir` with standard error on a new pseudo
// terminal and standard output into the file "stdout"; returns what the
// terminal received, or nothing when the system gives no terminal.
std::optional<std::string> run_with_terminal(const std::string& name, const ScratchDir& dir) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return std::nullopt;
  const std::string terminal = ptsname(master);
  const std::string exe = testing::quorix_executable();
  const pid_t child = fork();
  if (child == 0) {
    const int err = open(terminal.c_str(), O_RDWR);
    const int out = open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err < 0 || out < 0 || chdir(dir.path().c_str()) != 0) _exit(127);
    dup2(err, 2);
    dup2(out, 1);
    execl(exe.c_str(), exe.c_str(), name.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string received;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;  // EIO: the program has closed the terminal
    received.append(buffer, static_cast<std::size_t>(n));
  }
  int status = 0;
  waitpid(child, &status, 0);
  close(master);
  return received;
}

TEST(Program, ShowsProgressOnlyOnATerminalAndErasesIt) {
  const std::string text = testing::replaced(
      testing::replaced(testing::replaced(testing::example_text("one_element.dat"),
                                          " LINEAR   PLANE_STRESS   1", " NONLINEAR   PLANE_STRESS   2"),
                        "0.0    -100.0", "0.0    -0.1"),
      "-5.0  -5.0", "-0.005  -0.005");
  ScratchDir with_terminal, without;
  testing::write_file(with_terminal / "m.dat", text);
  testing::write_file(without / "m.dat", text);
  const std::optional<std::string> terminal = run_with_terminal("m.dat", with_terminal);
  if (!terminal) GTEST_SKIP() << "no pseudo terminal to be had";
  const std::string& shown = *terminal;
  const testing::ProgramRun plain = testing::run_quorix({"m.dat"}, without.path());
  EXPECT_EQ(plain.err, "");
  EXPECT_EQ(testing::read_file(with_terminal / "stdout"), plain.out);
  EXPECT_EQ(testing::read_file(with_terminal / "m.dat.out"), testing::read_file(without / "m.dat.out"));
  // The line is redrawn in place and ends erased.
  EXPECT_NE(shown.find("\r\033[Kquorix: "), std::string::npos) << shown;
  EXPECT_NE(shown.find("quorix: writing results | step 2/2 iteration "), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.size() >= 4 ? shown.size() - 4 : 0), "\r\033[K") << shown;
}

}  // namespace
}  // namespace quorix
