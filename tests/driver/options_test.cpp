// The command line: options, file names and what the program prints for them.

#include "driver/options.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace quorix {
namespace {

using testing::read_file;
using testing::run_quorix;
using testing::ScratchDir;
using testing::write_file;

using Action = CommandLine::Action;

CommandLine parsed(std::vector<const char*> args) {
  args.insert(args.begin(), "quorix");
  return parse_command_line(static_cast<int>(args.size()), args.data());
}

TEST(ParseCommandLine, TellsOptionsFromTheFileName) {
  const struct {
    std::vector<const char*> args;
    Action action;
    std::string input_name;
    bool vtu;
    std::string unknown;
    bool svg = false;
  } cases[] = {
      {{"m.dat"}, Action::run, "m.dat", false, ""},
      {{"--vtu", "m.dat"}, Action::run, "m.dat", true, ""},
      {{"--svg", "m.dat"}, Action::run, "m.dat", false, "", true},
      {{"m.dat", "--vtu"}, Action::run, "m.dat", true, ""},
      {{"--", "--vtu"}, Action::run, "--vtu", false, ""},  // a file named --vtu
      {{"-"}, Action::run, "-", false, ""},
      {{}, Action::usage, "", false, ""},
      {{"--vtu"}, Action::usage, "", true, ""},
      {{"a.dat", "b.dat"}, Action::usage, "a.dat", false, ""},
      {{"--", "a.dat", "b.dat"}, Action::usage, "a.dat", false, ""},
      {{"--vtk", "m.dat"}, Action::usage, "m.dat", false, "--vtk"},
      {{"m.dat", "-v", "--help"}, Action::usage, "m.dat", false, "-v"},
      {{"--help", "m.dat", "--version"}, Action::help, "m.dat", false, ""},
      {{"--version"}, Action::version, "", false, ""},
  };
  for (const auto& c : cases) {
    std::string trace;
    for (const char* a : c.args) trace += std::string(a) + " ";
    SCOPED_TRACE(trace);
    const CommandLine line = parsed(c.args);
    EXPECT_EQ(line.action, c.action);
    EXPECT_EQ(line.input_name, c.input_name);
    EXPECT_EQ(line.vtu, c.vtu);
    EXPECT_EQ(line.svg, c.svg);
    EXPECT_EQ(line.unknown_option, c.unknown);
  }
}

TEST(ParseCommandLine, ReadsPointsAndLinesOrNamesWhatIsWrongWithThem) {
  const CommandLine points = parsed({"--at", "1,2.5", "--line", "0,-1,1e1,5", "m.dat", "--at", "-3,+4"});
  EXPECT_EQ(points.action, Action::run);
  EXPECT_TRUE(points.report);  // the points' values go there
  EXPECT_EQ(points.points, (std::vector<std::array<double, 2>>{{1.0, 2.5}, {-3.0, 4.0}}));
  ASSERT_TRUE(points.line);
  EXPECT_EQ(points.line->x1, 10.0);
  EXPECT_EQ(points.line->count, 101);
  EXPECT_EQ(parsed({"--line", "0,0,1,1,7", "m.dat"}).line->count, 7);
  const struct {
    std::vector<const char*> args;
    std::string problem;
  } bad[] = {
      {{"m.dat", "--at"}, "--at: expected a value after it, found none"},
      {{"--at", "1;2", "m.dat"}, "--at: expected X,Y (two numbers), found '1;2'"},
      {{"--at", "1,2,3", "m.dat"}, "--at: expected X,Y (two numbers), found '1,2,3'"},
      {{"--line", "0,0,1", "m.dat"},
       "--line: expected X0,Y0,X1,Y1 or X0,Y0,X1,Y1,N (four numbers and a count), found '0,0,1'"},
      {{"--line", "0,0,1,1,2.5", "m.dat"},
       "--line: expected the count N as a whole number from 2 to 1000000, found '0,0,1,1,2.5'"},
  };
  for (const auto& c : bad) {
    const CommandLine line = parsed(c.args);
    EXPECT_EQ(line.action, Action::usage);
    EXPECT_EQ(line.bad_value, c.problem);
  }
}

TEST(Program, WritesTheLineAndNamesItsPointsOutsideThePlate) {
  // Along the plate with a hole's axis of symmetry x = 0, from the centre of
  // the hole (radius 20) to the plate's edge: 21 points, 4 of them in the hole.
  ScratchDir dir;
  write_file(dir / "hole.dat", testing::example_text("hole_plate.dat"));
  const auto run = run_quorix({"--line", "0,0,0,100,21", "--csv", "hole.dat"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.err,
      "quorix: 4 of the 21 points of --line, the first at (0, 0), lie outside the plate; hole.dat.line.csv "
      "holds the others\n");
  const std::string table = read_file(dir / "hole.dat.line.csv");
  EXPECT_EQ(table.substr(0, table.find('\n')), "distance,x,y,u,v,sxx,syy,szz,sxy,s1,s2,s3,von_mises");
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 1 + 17);
  EXPECT_EQ(table.substr(table.find('\n') + 1, 7), "20,0,20");  // the first point in the plate
  EXPECT_EQ(dir.entries(),
            (std::vector<std::string>{"hole.dat", "hole.dat.csv", "hole.dat.line.csv", "hole.dat.out"}));
}

TEST(Program, AnswersHelpVersionAndUnknownOptions) {
  ScratchDir dir;
  const auto help = run_quorix({"--help"}, dir.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: quorix [OPTIONS] FILE\n", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("QUORIX_THREADS"), std::string::npos);
  const auto version = run_quorix({"--version"}, dir.path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("quorix ", 0), 0u) << version.out;

  write_file(dir / "m.dat", testing::example_text("one_element.dat"));
  const auto unknown = run_quorix({"--paraview", "m.dat"}, dir.path());
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.out,
            " Usage: Quorix filename\n"
            "     filename - name of the file containing the input data\n");
  EXPECT_EQ(unknown.err, "quorix: unknown option '--paraview' (quorix --help lists them)\n");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"m.dat"});

  // Started by mpirun as one of several processes, the own solver's run
  // stops before it writes anything; only the first process says why.
  const std::string quorix = testing::quorix_executable();
  for (const char* rank : {"0", "1"}) {
    const auto launched = testing::run_program(
        "env", {"OMPI_COMM_WORLD_SIZE=2", std::string("OMPI_COMM_WORLD_RANK=") + rank, quorix, "m.dat"},
        dir.path());
    EXPECT_EQ(launched.status, 2);
    EXPECT_EQ(launched.err.find("started as one of 2 processes") != std::string::npos, rank[0] == '0')
        << launched.err;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"m.dat"});
  }
}

TEST(Program, OptionsLeaveTheResultFileAndConsoleAsTheyAre) {
  for (const std::string name : {"one_element.dat", "cantilever.dat", "hole_plate.dat"}) {
    SCOPED_TRACE(name);
    ScratchDir plain, with_options;
    write_file(plain / name, testing::example_text(name));
    write_file(with_options / name, testing::example_text(name));
    const auto run = run_quorix({name}, plain.path());
    const auto optioned =
        run_quorix({"--svg", "--vtu", "--report", "--csv", "--", name}, with_options.path());
    EXPECT_EQ(run.status, name == "one_element.dat" ? 3 : 0);  // far too thin for its loads
    EXPECT_EQ(optioned.status, run.status);
    EXPECT_EQ(optioned.out, run.out);
    EXPECT_EQ(optioned.err, run.err);
    EXPECT_EQ(read_file(with_options / (name + ".out")), read_file(plain / (name + ".out")));
    EXPECT_EQ(with_options.entries(),
              (std::vector<std::string>{name, name + ".csv", name + ".out", name + ".report", name + ".svg",
                                        name + ".vtu"}));
  }
}

TEST(Program, ExtraFilesNameMaterialsAndThicknessesByPosition) {
  // Elements refer to their material and thickness by position, whatever
  // number the record carries; such a file analyses as the plain one does.
  std::string text = testing::example_text("one_element.dat");
  text = testing::replaced(text, " 1        1000.0", " 100000000  1000.0");
  text = testing::replaced(text, " 1        0.01", " 9        5.0\n 0        0.01");
  text = testing::replaced(text, "1          1\n", "1          2\n");
  ScratchDir plain, renumbered;
  write_file(plain / "m.dat", testing::example_text("one_element.dat"));
  write_file(renumbered / "m.dat", text);
  const auto run = run_quorix({"m.dat"}, plain.path());
  const auto extra = run_quorix({"--report", "--csv", "--vtu", "--svg", "m.dat"}, renumbered.path());
  EXPECT_EQ(extra.status, run.status) << extra.err;
  EXPECT_EQ(read_file(renumbered / "m.dat.out"), read_file(plain / "m.dat.out"));
  const std::string report = read_file(renumbered / "m.dat.report");
  EXPECT_NE(report.find("elements\n         1    1.000000e+03"), std::string::npos) << report;
  EXPECT_NE(report.find("elements\n         2    1.000000e-02"), std::string::npos) << report;
}

TEST(Program, WritesTheExtraFilesLikeTheResultFile) {
  // An extra file that may not be replaced (its name taken by a folder, or an
  // earlier file made read-only) stops the run before any work, and every
  // file stays as it was.
  ScratchDir dir;
  write_file(dir / "m.dat", testing::example_text("one_element.dat"));
  std::filesystem::create_directory(dir / "m.dat.svg");
  const auto run = run_quorix({"--vtu", "--svg", "m.dat"}, dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "quorix: cannot write the picture m.dat.svg: it exists and is not a regular file\n");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"m.dat", "m.dat.svg"}));

  std::filesystem::remove(dir / "m.dat.svg");
  write_file(dir / "m.dat.vtu", "kept");
  std::filesystem::permissions(dir / "m.dat.vtu", std::filesystem::perms::owner_read);
  const auto kept = run_quorix({"--vtu", "m.dat"}, dir.path());
  EXPECT_EQ(kept.status, 1);
  EXPECT_EQ(kept.err.rfind("quorix: cannot write the ParaView file m.dat.vtu: it exists and is read-only", 0),
            0u)
      << kept.err;
  EXPECT_EQ(read_file(dir / "m.dat.vtu"), "kept");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"m.dat", "m.dat.vtu"}));
}

}  // namespace
}  // namespace quorix
