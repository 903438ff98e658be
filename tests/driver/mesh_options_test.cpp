// quorix-mesh's command line, read without starting the program.

#include "driver/mesh_options.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace quorix {
namespace {

MeshCommand parsed(std::vector<const char*> args) {
  args.insert(args.begin(), "quorix-mesh");
  return parse_mesh_command(static_cast<int>(args.size()), args.data());
}

std::string usage_error(std::vector<const char*> args) {
  try {
    parsed(std::move(args));
  } catch (const MeshUsageError& error) {
    return error.text;
  }
  return "accepted";
}

TEST(ParseMeshCommand, DefaultsToALinearAnalysisAndReadsTheConditions) {
  const MeshCommand command =
      parsed({"-o", "plate.dat", "--material", "plate=210000,0.3,7.85e-5", "--fix", "left=BOTH", "--fix",
              "top=X,0.5", "--pressure", "right=local,0,0:50", "--", "-odd.msh"});
  // "--" ends the options: what follows is the mesh, however it begins.
  EXPECT_EQ(command.action, MeshCommand::Action::run);
  EXPECT_EQ(command.mesh_name, "-odd.msh");
  EXPECT_EQ(command.settings.analysis_type, "LINEAR");
  EXPECT_EQ(command.settings.load_increments, 3);
  ASSERT_EQ(command.conditions.supports.size(), 2u);
  EXPECT_EQ(command.conditions.supports[1].direction, "X");
  EXPECT_EQ(command.conditions.supports[1].value, 0.5);
  ASSERT_EQ(command.conditions.loads.size(), 1u);
  EXPECT_EQ(command.conditions.loads[0].system, "LOCAL");
  EXPECT_EQ(command.conditions.loads[0].q2_end, 50.0);
  EXPECT_EQ(usage_error({"plate.msh", "-o", "p.dat", "--", "-odd.msh"}),
            "expected one mesh file, found 'plate.msh' and '-odd.msh'");
}

TEST(ParseMeshCommand, HelpAndVersionWinUnlessAnOptionIsUnknown) {
  EXPECT_EQ(parsed({"--version"}).action, MeshCommand::Action::version);
  EXPECT_EQ(parsed({"plate.msh", "--version", "--help"}).action, MeshCommand::Action::help);
  std::ostringstream version;
  write_mesh_version(version);
  EXPECT_EQ(version.str().rfind("quorix-mesh ", 0), 0u);
}

TEST(ParseMeshCommand, RefusesWhatItCannotReadWithOneLine) {
  const struct {
    std::vector<const char*> args;
    std::string error;
  } cases[] = {
      // Named as unknown, before any value is asked of it or --help answers.
      {{"plate.msh", "--foo", "-o", "p.dat"}, "unknown option '--foo' (quorix-mesh --help lists them)"},
      {{"--help", "--fix="}, "unknown option '--fix=' (quorix-mesh --help lists them)"},
      {{"-o", "--help"},
       "expected a mesh file and -o MODEL.dat, found no mesh file (see quorix-mesh --help)"},
      {{"plate.msh", "-o", "a.dat", "-o", "b.dat"},
       "-o b.dat: expected one model file, found -o a.dat already"},
      // The decimal point is mentioned where a comma split a number, not
      // where a value was left out.
      {{"plate.msh", "-o", "p.dat", "--material", "1000,0,3,0"},
       "--material 1000,0,3,0: expected E,nu,weight, found 4 values (write decimals with a point)"},
      {{"plate.msh", "-o", "p.dat", "--material", "1000,0.3"},
       "--material 1000,0.3: expected E,nu,weight, found 2 values"},
      {{"plate.msh", "-o", "p.dat", "--pressure", "right=LOCAL,0,-100,5"},
       "--pressure right=LOCAL,0,-100,5: expected SYSTEM,q1,q2, found 4 values (write decimals with a "
       "point)"},
      // The model check's own rule, whichever option comes first.
      {{"plate.msh", "--material", "1,0.5,0", "-o", "p.dat", "--state", "PLANE_STRAIN"},
       "--material 1,0.5,0: expected Poisson's ratio above -1 and below 0.5 for plane strain"},
  };
  for (const auto& c : cases) EXPECT_EQ(usage_error(c.args), c.error);
}

}  // namespace
}  // namespace quorix
