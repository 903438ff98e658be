#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "driver/load_model.hpp"
#include "model/input_error.hpp"
#include "model/model_file_writer.hpp"
#include "parallel/task_pool.hpp"
#include "support/plate_mesh.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

using testing::read_file;
using testing::replaced;
using testing::run_quorix;
using testing::ScratchDir;
using testing::write_file;

const std::string kUsage =
    " Usage: Quorix filename\n"
    "     filename - name of the file containing the input data\n";

TEST(Program, WantsExactlyOneArgument) {
  const std::vector<std::vector<std::string>> cases = {{}, {"a.dat", "b.dat"}, {"a.dat", "a.dat", "a.dat"}};
  for (const auto& args : cases) {
    ScratchDir dir;
    write_file(dir / "a.dat", testing::example_text("one_element.dat"));
    const auto run = run_quorix(args, dir.path());
    EXPECT_EQ(run.status, 2) << args.size() << " arguments";
    EXPECT_EQ(run.out, kUsage);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a.dat"});  // nothing created
  }
}

TEST(Program, ReportsAMissingInputFile) {
  ScratchDir dir;
  const auto run = run_quorix({"plate.dat"}, dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, " Can't find plate.dat!\n");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{});
}

TEST(Program, RunsTheExamplesAndWritesTheirResultFiles) {
  // The one-element example is far too thin for its loads: a linear analysis
  // of it is not to be trusted, and the run says so.
  const struct {
    std::string name;
    int status;
    std::string err;
  } cases[] = {
      {"one_element.dat", 3,
       "quorix: the largest displacement, 474 at node 1, is 112 times the size of the model (4.24): a linear "
       "analysis assumes small displacements; check the units (lengths, E and loads in one consistent "
       "system) "
       "or use NONLINEAR\n"},
      {"cantilever.dat", 0, ""},
  };
  for (const auto& [name, status, err] : cases) {
    ScratchDir dir;
    write_file(dir / name, testing::example_text(name));
    const auto run = run_quorix({name}, dir.path());
    EXPECT_EQ(run.status, status) << name << "\n" << run.out << run.err;
    EXPECT_EQ(run.err, err);
    // The result file is in place and no temporary file is left.
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{name, name + ".out"}));
  }
}

TEST(Program, UsesTheInputNameWhole) {
  ScratchDir dir;
  const std::string name = std::string(60, 'n') + " with blanks.dat";
  write_file(dir / name, testing::sound_one_element_text());
  const auto run = run_quorix({name}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{name, name + ".out"}));

  const auto missing = run_quorix({name.substr(0, 50)}, dir.path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, " Can't find " + name.substr(0, 50) + "!\n");
}

TEST(Program, LeavesTheResultFileAloneWhenTheInputIsBad) {
  const std::string good = testing::example_text("one_element.dat");
  const struct {
    const char* name;
    std::string text;
    std::string error;  // the first line on standard error
  } cases[] = {
      {"read error", replaced(good, " 4        2.0    1.0", " 4        2.0    1.O"),
       "m.dat:14: NODE record 4: expected the y coordinate (a finite real number), found '1.O'"},
      {"missing terminator", good.substr(0, good.rfind("\n-") + 1),
       "m.dat:59: expected a line beginning with '-' to end section \"DISPLACEMENT\" (line 52), found the "
       "end of "
       "the file"},
      {"unknown analysis type", replaced(good, " LINEAR ", " linear "),
       "m.dat:5: GENERAL record: expected the analysis type LINEAR or NONLINEAR, found 'linear'"},
      {"model check", replaced(good, " 1        1000.0", " 1        -1000.0"),
       "m.dat:26: MATERIAL record 1: expected a finite Young's modulus above 0, found -1000"},
      {"empty file", "", "m.dat:1: expected a section \"GENERAL\", found the end of the file without one"},
  };
  const std::string earlier = "an earlier result\n\x01 kept byte for byte\r\n";
  for (const auto& c : cases) {
    for (const bool result_exists : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (result_exists ? ", earlier result file" : ", no result file"));
      ScratchDir dir;
      write_file(dir / "m.dat", c.text);
      if (result_exists) write_file(dir / "m.dat.out", earlier);
      const auto run = run_quorix({"m.dat"}, dir.path());
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.err.substr(0, run.err.find('\n')), c.error);
      EXPECT_EQ(run.out, "");
      if (result_exists) {
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"m.dat", "m.dat.out"}));
        EXPECT_EQ(read_file(dir / "m.dat.out"), earlier);
      } else {
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"m.dat"});
      }
    }
  }
}

TEST(Program, ReplacesAnEarlierResultFile) {
  ScratchDir dir;
  write_file(dir / "m.dat", testing::sound_one_element_text());
  write_file(dir / "m.dat.out", std::string(100000, 'x'));
  const auto run = run_quorix({"m.dat"}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(read_file(dir / "m.dat.out"), std::string(100000, 'x'));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"m.dat", "m.dat.out"}));
}

// A second section of a keyword is passed over as the format says, but not
// without a word; the run goes on with the first.
TEST(Program, WarnsOfASectionGivenTwice) {
  const std::string good = testing::sound_one_element_text();
  ScratchDir dir;
  // A remark that starts with a keyword is no second section.
  write_file(dir / "m.dat", good + "FORCE\n-\n-\n-\n 1 1 0.0 -999.0\n-\nNODE numbering as in the sketch\n");
  write_file(dir / "good.dat", good);
  const auto run = run_quorix({"m.dat"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.err,
      "m.dat:61: warning: this \"FORCE\" section is ignored; only the first one, on line 40, is read\n");
  ASSERT_EQ(run_quorix({"good.dat"}, dir.path()).status, 0);
  EXPECT_EQ(read_file(dir / "m.dat.out"), read_file(dir / "good.dat.out"));
}

TEST(Program, SaysWhyTheResultFileCannotBeWritten) {
  {
    // The result name is taken by a folder: the rename at the end fails.
    ScratchDir dir;
    write_file(dir / "m.dat", testing::example_text("one_element.dat"));
    std::filesystem::create_directory(dir / "m.dat.out");
    const auto run = run_quorix({"m.dat"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("quorix: cannot write the result file m.dat.out: ", 0), 0u) << run.err;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"m.dat", "m.dat.out"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "m.dat.out"));
  }
  // A readable file in a folder where nothing can be created, even by root:
  // the run stops before reading the model.
  if (std::filesystem::exists("/proc/version")) {
    ScratchDir dir;
    const auto run = run_quorix({"/proc/version"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("quorix: cannot write the result file /proc/version.out: ", 0), 0u) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST(Program, SaysWhyTheInputCannotBeRead) {
  // A folder, or a device that never ends: refused before anything is read.
  ScratchDir dir;
  std::filesystem::create_directory(dir / "folder.dat");
  for (const std::string name : {"folder.dat", "/dev/zero"}) {
    const auto run = run_quorix({name}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "quorix: " + name + " is not a regular file: name the model file itself\n");
  }
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"folder.dat"});
}

TEST(Program, KeepsAReadOnlyResultFile) {
  ScratchDir dir;
  write_file(dir / "m.dat", testing::example_text("one_element.dat"));
  write_file(dir / "m.dat.out", "kept");
  std::filesystem::permissions(dir / "m.dat.out", std::filesystem::perms::owner_read);
  const auto run = run_quorix({"m.dat"}, dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");  // nothing analysed
  EXPECT_EQ(run.err,
            "quorix: cannot write the result file m.dat.out: it exists and is read-only; make it writable or "
            "remove it to replace it\n");
  EXPECT_EQ(read_file(dir / "m.dat.out"), "kept");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"m.dat", "m.dat.out"}));
}

TEST(Program, TakesTheLongestNameTheFolderAllows) {
  // The result name is as long as a name may be; the temporary file beside it
  // must not be longer.
  ScratchDir dir;
  const std::string name = std::string(251 - 4, 'm') + ".dat";
  write_file(dir / name, testing::sound_one_element_text());
  const auto run = run_quorix({name}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{name, name + ".out"}));
}

// A plate big enough that its first load step takes a while (a tenth of a
// second in a Release build, much longer under the sanitizers).
std::string slow_plate_model() {
  testing::PlateSpec layout;
  layout.nx = 30;
  layout.ny = 15;
  layout.analysis_type = "NONLINEAR";
  layout.load_increments = 2;
  AnalysisSettings settings;
  Model model = testing::make_plate(layout, settings);
  model.forces = Table1<NodalForce>(1);
  model.forces(1) = NodalForce{1, testing::plate_right_nodes(layout).back(), 0.0, -1.0};
  const std::vector<int> left = testing::plate_left_nodes(layout);
  model.prescribed_displacements = Table1<PrescribedDisplacement>(static_cast<std::int64_t>(left.size()));
  for (std::size_t k = 0; k < left.size(); ++k)
    model.prescribed_displacements[k] =
        PrescribedDisplacement{static_cast<int>(k + 1), left[k], FixedText<4>("BOTH"), 0.0};
  std::ostringstream text;
  write_model_file(text, model, settings, "a plate");
  return text.str();
}

// The slow plate started with all three outputs, its standard output a pipe
// of which the first line has been read when `stopped` is called with the
// pipe; returns the wait status.
template <class Stop>
int run_slow_plate(const ScratchDir& dir, Stop stopped) {
  ScratchDir capture;
  const std::string log = capture / "log";
  EXPECT_EQ(mkfifo(log.c_str(), 0600), 0);
  const pid_t child = testing::start_quorix({"--vtu", "--svg", "m.dat"}, dir.path(), log, capture / "err");
  const int pipe = open(log.c_str(), O_RDONLY);
  EXPECT_GE(pipe, 0);
  std::string line;
  for (char c = 0; c != '\n' && read(pipe, &c, 1) == 1;) line += c;
  // The line arrives while the program runs only if it is flushed as it is
  // written.
  EXPECT_EQ(line, " 50.000\n");
  EXPECT_EQ(waitpid(child, nullptr, WNOHANG), 0) << "the program ended before its first line arrived";
  stopped(child, pipe);
  const int status = testing::wait_for_program(child);
  close(pipe);
  return status;
}

TEST(Program, StoppedBySignalLeavesTheEarlierResultsAndItsLogSoFar) {
  // Whatever ends the process takes the temporary files away with it, and
  // the process ends as the signal would have ended it.
  const std::string model = slow_plate_model();
  for (const int signal_number : {SIGTERM, SIGINT, SIGQUIT, SIGUSR1, SIGXCPU, SIGABRT}) {
    SCOPED_TRACE(strsignal(signal_number));
    ScratchDir dir;
    write_file(dir / "m.dat", model);
    write_file(dir / "m.dat.out", "earlier");
    const int status = run_slow_plate(dir, [&](pid_t child, int) { kill(child, signal_number); });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"m.dat", "m.dat.out"}));
    EXPECT_EQ(read_file(dir / "m.dat.out"), "earlier");
  }
}

TEST(Program, AClosedStandardOutputDoesNotStopTheRun) {
  // quorix ... | head -1: the reader goes after the first line; the rest of
  // the console is dropped and the files are written as usual.
  ScratchDir dir;
  write_file(dir / "m.dat", slow_plate_model());
  const int status = run_slow_plate(dir, [](pid_t, int pipe) { close(pipe); });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"m.dat", "m.dat.out", "m.dat.svg", "m.dat.vtu"}));
}

TEST(Program, WarnsOfDisplacementsOutOfProportionToThePlate) {
  // The cantilever, 1820 long, with Young's modulus cut by a factor: a
  // modulus in the wrong units.
  const struct {
    const char* modulus;
    int status;
    std::string err;
  } cases[] = {
      {"210000.0", 0, ""},
      {"210.0", 0,
       "quorix: the largest displacement, 1.06e+03 at node 76, is 0.578 times the size of the model "
       "(1.82e+03): a linear analysis assumes small displacements; check the units (lengths, E and loads in "
       "one consistent system) or use NONLINEAR\n"},
      {"21.0", 3,
       "quorix: the largest displacement, 1.06e+04 at node 76, is 5.78 times the size of the model "
       "(1.82e+03): a linear analysis assumes small displacements; check the units (lengths, E and loads in "
       "one consistent system) or use NONLINEAR\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.modulus);
    ScratchDir dir;
    write_file(dir / "m.dat", replaced(testing::example_text("cantilever.dat"), " 1        210000.0 ",
                                       std::string(" 1        ") + c.modulus + " "));
    const auto run = run_quorix({"m.dat"}, dir.path());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(Program, NamesTheStageThatRanOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#else
  // 100,000 element lines need room for 21 million matrix terms, about 340 MB,
  // which the program is not given. The element numbers are never checked:
  // the memory runs out while the model is read.
  std::string text = testing::example_text("one_element.dat");
  std::string elements;
  for (int k = 1; k <= 100000; ++k) elements += " 1 1 2 3 4 5 6 7 8 9 10 1 1\n";
  text = replaced(text, " 1        1 2 3 4 5 6 7 8 9 10     1          1\n", elements);
  ScratchDir dir;
  write_file(dir / "big.dat", text);
  write_file(dir / "big.dat.out", "earlier");
  const auto run = run_quorix({"big.dat"}, dir.path(), std::size_t{200} << 20);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "quorix: out of memory while reading the model\n");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"big.dat", "big.dat.out"}));
  EXPECT_EQ(read_file(dir / "big.dat.out"), "earlier");
#endif
}

// ---- load_model: the reader, the model check and the element shapes ----------

std::string load_error(const std::string& text) {
  const ElementTables tables = init_element_tables();
  Model model;
  AnalysisSettings settings;
  try {
    load_model(text, "m.dat", tables, model, settings, shared_task_pool());
  } catch (const InputError& error) {
    return error.what();
  }
  return "";
}

// The example with every node moved onto y = 0: an element without area.
std::string all_nodes_on_the_x_axis(const std::string& text) {
  std::string flat = text;
  for (int k = 1; k <= 10; ++k) {
    const std::size_t line = flat.find("\n " + std::to_string(k) + " ", flat.find("\nNODE\n")) + 1;
    const std::size_t end = flat.find('\n', line);
    const std::size_t last_item = flat.rfind(' ', end) + 1;
    flat.replace(last_item, end - last_item, "0.0");
  }
  return flat;
}

TEST(LoadModel, RejectsElementsThatAreTurnedOrCollapsed) {
  const std::string good = testing::example_text("one_element.dat");
  const std::string element = " 1        1 2 3 4 5 6 7 8 9 10     1          1";
  const std::string problem =
      "m.dat:38: ELEMENT record 1: expected corners listed counter-clockwise and a shape neither collapsed "
      "nor "
      "tangled, found a Jacobian determinant that is not positive at area point 1";
  const struct {
    const char* name;
    std::string text;
    std::string error;
  } cases[] = {
      {"counter-clockwise", good, ""},
      // The same element with corners 1 and 2 exchanged and its edge nodes
      // renumbered to match: a clockwise triangle.
      {"clockwise", replaced(good, element, " 1  2 1 3 5 4 9 8 7 6 10  1  1"), problem},
      {"collapsed", all_nodes_on_the_x_axis(good), problem},
      {"read errors first",
       replaced(replaced(good, " 1        3.0    0.0", " 1        3.0    nan"), " 1        1000.0",
                " 1        0.0"),
       "m.dat:11: NODE record 1: expected the y coordinate (a finite real number), found 'nan'"},
      {"check before shape",
       replaced(replaced(good, element, " 1  2 1 3 5 4 9 8 7 6 10  1  1"), " 0.3 ", " 1.3 "),
       "m.dat:26: MATERIAL record 1: expected Poisson's ratio above -1 and below 1 for plane stress, found "
       "1.3"},
  };
  for (const auto& c : cases) EXPECT_EQ(load_error(c.text), c.error) << c.name;
}

TEST(LoadModel, ListsAllTheCheckProblemsTogether) {
  const std::string good = testing::example_text("one_element.dat");
  const std::string text = replaced(replaced(good, " 3        0.0    0.0", " 4        0.0    0.0"),
                                    " 1        0.01", " 1        0.0");
  EXPECT_EQ(load_error(text),
            "m.dat:13: NODE record 3: expected the node number 3 (its position in the table), found 4\n"
            "m.dat:32: THICKNESS record 1: expected a finite thickness above 0, found 0");
}

}  // namespace
}  // namespace quorix
