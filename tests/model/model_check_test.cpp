#include "model/model_check.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "model/input_reader.hpp"
#include "parallel/task_pool.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The one-element example as read. Its records stand on these lines: GENERAL
// 5, nodes 11-20, material 26, thickness 32, element 38, force 44, pressure 50,
// displacements 56-59.
struct Example {
  Model model;
  AnalysisSettings settings;
  SourceLines source;
  Example() {
    const std::string text = testing::read_file(testing::source_dir() + "/examples/one_element.dat");
    source = read_input_text(text, "one.dat", model, settings, shared_task_pool());
  }
  std::vector<std::string> problems() const { return check_model(model, settings, source, "one.dat"); }
};

using Change = std::function<void(Example&)>;

TEST(CheckModel, AcceptsTheShippedExamples) {
  EXPECT_EQ(Example().problems(), std::vector<std::string>{});
  Model model;
  AnalysisSettings settings;
  const std::string text = testing::read_file(testing::source_dir() + "/examples/cantilever.dat");
  const SourceLines source = read_input_text(text, "cantilever.dat", model, settings, shared_task_pool());
  EXPECT_EQ(check_model(model, settings, source, "cantilever.dat"), std::vector<std::string>{});
}

TEST(CheckModel, NamesTheLineSectionAndRecordOfEachProblem) {
  const struct {
    Change change;
    std::string problem;
  } cases[] = {
      {[](Example& e) { e.settings.analysis_type.assign("linear"); },
       "one.dat:5: GENERAL record: expected the analysis type LINEAR or NONLINEAR, found 'linear'"},
      {[](Example& e) { e.settings.stress_state.assign("PLANE"); },
       "one.dat:5: GENERAL record: expected the stress state PLANE_STRESS or PLANE_STRAIN, found 'PLANE'"},
      {[](Example& e) { e.settings.displacement_tolerance = kNan; },
       "one.dat:5: GENERAL record: expected a finite displacement tolerance, found nan"},
      {[](Example& e) { e.model.nodes(3).id = 4; },
       "one.dat:13: NODE record 3: expected the node number 3 (its position in the table), found 4"},
      {[](Example& e) { e.model.nodes(2).y = -kInf; },
       "one.dat:12: NODE record 2: expected a finite y coordinate, found -inf"},
      {[](Example& e) { e.model.materials(1).young_modulus = 0.0; },
       "one.dat:26: MATERIAL record 1: expected a finite Young's modulus above 0, found 0"},
      {[](Example& e) { e.model.materials(1).young_modulus = kInf; },
       "one.dat:26: MATERIAL record 1: expected a finite Young's modulus above 0, found inf"},
      {[](Example& e) { e.model.materials(1).specific_weight = kNan; },
       "one.dat:26: MATERIAL record 1: expected a finite specific weight, found nan"},
      {[](Example& e) { e.model.thicknesses(1).value = -0.01; },
       "one.dat:32: THICKNESS record 1: expected a finite thickness above 0, found -0.01"},
      {[](Example& e) { e.model.elements(1).nodes[3] = 11; },
       "one.dat:38: ELEMENT record 1: expected node 4 from 1 to 10 (the NODE records), found 11"},
      {[](Example& e) { e.model.elements(1).nodes[6] = 2; },
       "one.dat:38: ELEMENT record 1: expected node 7 to differ from node 2, found node 2 in both places"},
      {[](Example& e) { e.model.elements(1).material = 2; },
       "one.dat:38: ELEMENT record 1: expected the material number from 1 to 1 (the MATERIAL records), found "
       "2"},
      {[](Example& e) { e.model.thicknesses = Table1<Thickness>(); },
       "one.dat:38: ELEMENT record 1: expected the thickness number to refer to a THICKNESS record, found 1 "
       "and "
       "no such records"},
      {[](Example& e) { e.model.forces(1).node = -1; },
       "one.dat:44: FORCE record 1: expected the node number from 1 to 10 (the NODE records), found -1"},
      {[](Example& e) { e.model.forces(1).fx = kNan; },
       "one.dat:44: FORCE record 1: expected a finite fx, found nan"},
      {[](Example& e) { e.model.pressures(1).element = 2; },
       "one.dat:50: PRESSURE record 1: expected the element number from 1 to 1 (the ELEMENT records), found "
       "2"},
      {[](Example& e) { e.model.pressures(1).edge = 4; },
       "one.dat:50: PRESSURE record 1: expected the edge number 1, 2 or 3, found 4"},
      {[](Example& e) { e.model.pressures(1).q2_end = kInf; },
       "one.dat:50: PRESSURE record 1: expected a finite q2 at the edge end, found inf"},
      {[](Example& e) { e.model.prescribed_displacements(2).node = 11; },
       "one.dat:57: DISPLACEMENT record 2: expected the node number from 1 to 10 (the NODE records), found "
       "11"},
      {[](Example& e) { e.model.prescribed_displacements(4).direction.assign("x"); },
       "one.dat:59: DISPLACEMENT record 4: expected the direction X, Y or BOTH, found 'x'"},
      {[](Example& e) { e.model.prescribed_displacements(1).value = kNan; },
       "one.dat:56: DISPLACEMENT record 1: expected a finite value, found nan"},
  };
  for (const auto& c : cases) {
    Example example;
    c.change(example);
    EXPECT_EQ(example.problems(), std::vector<std::string>{c.problem});
  }
}

TEST(CheckModel, KnowsTheDirectionKeywordsAfterTheCut) {
  const struct {
    std::string item;
    bool accepted;
  } cases[] = {{"X", true},        {"Y", true},  {"BOTH", true},   {"BOTHER", true},
               {"'BOTH  '", true}, {"x", false}, {"both", false},  {"XY", false},
               {"' X'", false},    {"B", false}, {"'Y X'", false}, {"Z", false}};
  for (const auto& c : cases) {
    const std::string text =
        "GENERAL\n-\n-\n-\nLINEAR PLANE_STRESS /\nNODE\n-\n-\n-\n1 0 0\n-\nDISPLACEMENT\n-\n-\n-\n1 1 " +
        c.item + " 0.0\n-\n";
    Model model;
    AnalysisSettings settings;
    const SourceLines source = read_input_text(text, "d.dat", model, settings, shared_task_pool());
    EXPECT_EQ(check_model(model, settings, source, "d.dat").empty(), c.accepted) << c.item;
  }
}

// Any system but LOCAL means global axes, so LOCAL in another case or a slip
// of it would turn the load silently; a word nearer GLOBAL stays global.
TEST(CheckModel, RefusesNearMissesOfLocal) {
  const struct {
    const char* system;  // as stored, cut to six characters
    bool accepted;
  } cases[] = {{"LOCAL", true},  {"GLOBAL", true},  {"global", true},  {"GOBAL", true},
               {"XY", true},     {"local", false},  {"Local", false},  {"LOCLA", false},
               {"LOKAL", false}, {"LOCALL", false}, {" LOCAL", false}, {"LOC", false}};
  for (const auto& c : cases) {
    Example example;
    example.model.pressures(1).system.assign(c.system);
    EXPECT_EQ(example.problems().empty(), c.accepted) << c.system;
  }
}

// A direction of a node takes one value; the same value given again is
// harmless.
TEST(CheckModel, RefusesTwoValuesForOneDirectionOfANode) {
  const struct {
    int record, node;
    const char* direction;
    double value;
    std::string problem;
  } cases[] = {
      {2, 3, "X", 0.0, ""},  // record 1 holds node 3 in x and y at 0
      {4, 7, "BOTH", 0.5,
       "one.dat:59: DISPLACEMENT record 4: expected the value 0 that DISPLACEMENT record 2 (line 57) "
       "prescribes "
       "for node 7 in X, found 0.5"},
      {2, 3, "BOTH", 1.0,
       "one.dat:57: DISPLACEMENT record 2: expected the value 0 that DISPLACEMENT record 1 (line 56) "
       "prescribes "
       "for node 3 in X and Y, found 1"},
  };
  for (const auto& c : cases) {
    Example example;
    example.model.prescribed_displacements(c.record) =
        PrescribedDisplacement{c.record, c.node, FixedText<4>(c.direction), c.value};
    EXPECT_EQ(example.problems(),
              c.problem.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.problem});
  }
}

TEST(CheckModel, BoundsPoissonsRatioByTheStressState) {
  const struct {
    const char* state;
    double nu;
    bool accepted;
  } cases[] = {
      {"PLANE_STRESS", 0.0, true},    {"PLANE_STRESS", 0.5, true},    {"PLANE_STRESS", 0.999, true},
      {"PLANE_STRESS", 1.0, false},   {"PLANE_STRESS", -0.999, true}, {"PLANE_STRESS", -1.0, false},
      {"PLANE_STRESS", kNan, false},  {"PLANE_STRAIN", 0.499, true},  {"PLANE_STRAIN", 0.5, false},
      {"PLANE_STRAIN", -0.999, true}, {"PLANE_STRAIN", -1.0, false},  {"PLANE_STRAIN", kNan, false},
  };
  for (const auto& c : cases) {
    Example example;
    example.settings.stress_state.assign(c.state);
    example.model.materials(1).poisson_ratio = c.nu;
    const auto problems = example.problems();
    EXPECT_EQ(problems.empty(), c.accepted) << c.state << " " << c.nu;
    if (!c.accepted) {
      ASSERT_EQ(problems.size(), 1u);
      const std::string bound =
          c.state == std::string("PLANE_STRAIN") ? "0.5 for plane strain" : "1 for plane stress";
      EXPECT_EQ(problems[0], "one.dat:26: MATERIAL record 1: expected Poisson's ratio above -1 and below " +
                                 bound + ", found " + number_for_message(c.nu));
    }
  }
}

TEST(CheckModel, RequiresLoadIncrementsOnlyForTheNonlinearAnalysis) {
  const struct {
    const char* type;
    int increments;
    double prescribed;  // the value of displacement record 1
    std::string problem;
  } cases[] = {
      {"NONLINEAR", 1, 0.0, ""},
      {"NONLINEAR", 0, 0.0,
       "one.dat:5: GENERAL record: expected at least 1 load increment for a NONLINEAR analysis, found 0"},
      {"NONLINEAR", -2, 0.0,
       "one.dat:5: GENERAL record: expected at least 1 load increment for a NONLINEAR analysis, found -2"},
      // A linear analysis imposes prescribed values whole and never uses the count.
      {"LINEAR", 0, 0.0, ""},
      {"LINEAR", 0, 0.3, ""},
      {"LINEAR", -5, 0.3, ""},
  };
  for (const auto& c : cases) {
    Example example;
    example.settings.analysis_type.assign(c.type);
    example.settings.load_increments = c.increments;
    example.model.prescribed_displacements(1).value = c.prescribed;
    const auto problems = example.problems();
    EXPECT_EQ(problems, c.problem.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.problem})
        << c.type << " " << c.increments << " " << c.prescribed;
  }
}

TEST(CheckModel, NeedsNodesButNotElements) {
  const std::string general = "GENERAL\n-\n-\n-\nLINEAR PLANE_STRESS /\n";
  const struct {
    std::string text;
    std::vector<std::string> problems;
  } cases[] = {
      {general + "NODE\n-\n-\n-\n1 0 0\n-\n", {}},
      {general + "NODE\n-\n-\n-\n-\n", {"n.dat:6: NODE section: expected at least one record, found none"}},
      {general, {"n.dat:5: NODE section: expected at least one record, found none"}},
  };
  for (const auto& c : cases) {
    Model model;
    AnalysisSettings settings;
    const SourceLines source = read_input_text(c.text, "n.dat", model, settings, shared_task_pool());
    EXPECT_EQ(check_model(model, settings, source, "n.dat"), c.problems) << c.text;
  }
}

TEST(CheckModel, ListsEveryProblemUpToALimit) {
  Example example;
  example.model.elements(1).material = 3;
  example.model.forces(1).node = 0;
  auto problems = example.problems();
  ASSERT_EQ(problems.size(), 2u);  // in the order of the sections
  EXPECT_EQ(problems[0].rfind("one.dat:38: ELEMENT", 0), 0u);
  EXPECT_EQ(problems[1].rfind("one.dat:44: FORCE", 0), 0u);

  for (Node& node : example.model.nodes) {  // 30 more
    node.id = 0;
    node.x = kNan;
    node.y = kNan;
  }
  problems = example.problems();
  ASSERT_EQ(problems.size(), static_cast<std::size_t>(kMaxListedProblems) + 1);
  EXPECT_EQ(problems[0],
            "one.dat:11: NODE record 1: expected the node number 1 (its position in the table), found 0");
  EXPECT_EQ(problems.back(), "one.dat: 12 more problems not listed");
}

}  // namespace
}  // namespace quorix
