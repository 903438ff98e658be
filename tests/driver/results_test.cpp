// Whole runs of the program: the result file of a known model, and the exit
// status of runs whose results are written but not to be trusted.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/test_support.hpp"

namespace quorix {
namespace {

using testing::read_file;
using testing::replaced;
using testing::run_quorix;
using testing::ScratchDir;
using testing::write_file;

TEST(Results, OneElementExampleMatchesItsCheckedResultFile) {
  // The golden file was checked by hand: the fixed nodes have zero
  // displacements, and at the loaded corner the normal stress across the
  // loaded edge carries the edge load (5 per length) into the plate.
  ScratchDir dir;
  write_file(dir / "one.dat", testing::example_text("one_element.dat"));
  const testing::ProgramRun run = run_quorix({"one.dat"}, dir.path());
  EXPECT_EQ(run.status, 3) << run.err;  // displacements a hundred times its size
  EXPECT_EQ(run.out, "SOLVED\n");
  const std::string result = read_file(dir / "one.dat.out");
  EXPECT_EQ(result, read_file(testing::source_dir() + "/tests/golden/one_element.dat.out"));
}

TEST(Results, MissingSupportsGiveTheSingularWarningAndStatusThree) {
  ScratchDir dir;
  const std::string text = testing::example_text("one_element.dat");
  write_file(dir / "free.dat", text.substr(0, text.find("DISPLACEMENT")));
  const testing::ProgramRun run = run_quorix({"free.dat"}, dir.path());
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.out.find("MATRIX IS SINGULAR. RANK="), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("SOLVED\n"), std::string::npos);
  // The results are written all the same.
  EXPECT_EQ(read_file(dir / "free.dat.out").substr(0, 46), " node,x,y,u,v,Sxx,Syy,Szz,Sxy,S11,S22,S33,Svm\n");
  // Named as what it is, not as some node that the solve found free.
  EXPECT_EQ(
      run.err,
      "quorix: nothing holds the plate: no node of element 1 is prescribed; add supports in X and Y (for "
      "example BOTH at node 2, (0, 3), and Y at node 1, (3, 0))\n");

  // A node that belongs to no element is named with both its directions.
  write_file(dir / "loose.dat",
             replaced(text, " 10       1.0    1.0\n", " 10       1.0    1.0\n 11  5.0  5.0\n"));
  const testing::ProgramRun loose = run_quorix({"loose.dat"}, dir.path());
  EXPECT_EQ(loose.status, 3);
  EXPECT_EQ(loose.err,
            "quorix: the model can move freely at node 11 (x) at (5, 5), node 11 (y) at (5, 5): missing "
            "supports, a node in no element, or two nodes at one place?\n");
}

TEST(Results, NonlinearRunsConvergeOrEndWithStatusThree) {
  ScratchDir dir;
  // The example's loads strain its thin plate by tens of percent; a
  // thousandth of them is a moderate geometric nonlinearity.
  const std::string nonlinear = replaced(testing::example_text("one_element.dat"),
                                         " LINEAR   PLANE_STRESS   1", " NONLINEAR   PLANE_STRESS   3");
  const std::string moderate =
      replaced(replaced(nonlinear, "0.0    -100.0", "0.0    -0.1"), "-5.0  -5.0", "-0.005  -0.005");
  write_file(dir / "steps.dat", moderate);
  const testing::ProgramRun run = run_quorix({"steps.dat"}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, " 33.333\n 66.667\n100.000\nCONVERGED\n");

  // Crushing the element towards its fixed edge: with this material a
  // compressed fibre cannot carry more than E A / (3 sqrt 3), so the
  // iterations find no equilibrium.
  write_file(dir / "crush.dat", replaced(moderate, "0.0    -0.1", "-1.0E4    0.0"));
  const testing::ProgramRun crushed = run_quorix({"crush.dat"}, dir.path());
  EXPECT_EQ(crushed.status, 3) << crushed.err;
  EXPECT_NE(crushed.out.find("DIVERGED\n"), std::string::npos) << crushed.out;
  EXPECT_EQ(read_file(dir / "crush.dat.out").substr(0, 46),
            " node,x,y,u,v,Sxx,Syy,Szz,Sxy,S11,S22,S33,Svm\n");
}

TEST(Results, ValuesBeyondDoublePrecisionAreWrittenButNamedWithStatusThree) {
  // A force of 1e300 overflows the stresses; a prescribed displacement of
  // 1e300 leaves them finite but not the squares in the principal stresses.
  const std::string good = testing::example_text("one_element.dat");
  const struct {
    const char* name;
    std::string text;
    std::string what;
  } cases[] = {
      {"force", replaced(good, "0.0    -100.0", "0.0    -1.0E300"), "S11 = NaN"},
      {"prescribed value",
       replaced(good, " 4        2      X           0.0", " 4        2      X           1.0E300"),
       "S11 = inf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    write_file(dir / "m.dat", c.text);
    const testing::ProgramRun run = run_quorix({"m.dat"}, dir.path());
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "SOLVED\n");
    EXPECT_EQ(run.err.rfind("quorix: the results are not finite at node 1 (labelled 0 in the result file), " +
                                c.what + ": ",
                            0),
              0u)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
    EXPECT_NE(read_file(dir / "m.dat.out").find("NaN"), std::string::npos);
  }
}

}  // namespace
}  // namespace quorix
