#include "model/input_reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "model/input_error.hpp"
#include "parallel/task_pool.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

const std::string kRuler = "--------------------";

// A section as the file format lays it out: keyword line, ruler, heading,
// ruler, the data lines, terminator.
std::string section(const std::string& keyword, const std::vector<std::string>& data) {
  std::string text = keyword + "\n" + kRuler + "\n heading\n" + kRuler + "\n";
  for (const std::string& line : data) text += line + "\n";
  return text + kRuler + "\n";
}

const std::string kGeneral = section("GENERAL", {" LINEAR PLANE_STRESS 1 1.0E-6 1.0E6"});  // lines 1-6

struct ReadResult {
  Model model;
  AnalysisSettings settings;
  SourceLines source;
};

ReadResult read_text(const std::string& text, TaskPool& pool = shared_task_pool()) {
  ReadResult result;
  result.source = read_input_text(text, "t.dat", result.model, result.settings, pool);
  return result;
}

std::string read_error(const std::string& text, TaskPool& pool = shared_task_pool()) {
  try {
    read_text(text, pool);
  } catch (const InputError& error) {
    return error.what();
  }
  return "(no error)";
}

std::string example_text() { return testing::read_file(testing::source_dir() + "/examples/one_element.dat"); }

// Every field the reader fills, compared one by one.
void expect_same_model(const ReadResult& a, const ReadResult& b) {
  EXPECT_EQ(a.settings.analysis_type.padded(), b.settings.analysis_type.padded());
  EXPECT_EQ(a.settings.stress_state.padded(), b.settings.stress_state.padded());
  EXPECT_EQ(a.settings.load_increments, b.settings.load_increments);
  EXPECT_EQ(a.settings.displacement_tolerance, b.settings.displacement_tolerance);
  EXPECT_EQ(a.settings.penalty_factor, b.settings.penalty_factor);
  ASSERT_EQ(a.model.nodes.size(), b.model.nodes.size());
  for (int k = 1; k <= a.model.nodes.size(); ++k) {
    EXPECT_EQ(a.model.nodes(k).id, b.model.nodes(k).id);
    EXPECT_EQ(a.model.nodes(k).x, b.model.nodes(k).x);
    EXPECT_EQ(a.model.nodes(k).y, b.model.nodes(k).y);
  }
  ASSERT_EQ(a.model.materials.size(), b.model.materials.size());
  for (int k = 1; k <= a.model.materials.size(); ++k) {
    EXPECT_EQ(a.model.materials(k).young_modulus, b.model.materials(k).young_modulus);
    EXPECT_EQ(a.model.materials(k).poisson_ratio, b.model.materials(k).poisson_ratio);
    EXPECT_EQ(a.model.materials(k).specific_weight, b.model.materials(k).specific_weight);
  }
  ASSERT_EQ(a.model.thicknesses.size(), b.model.thicknesses.size());
  for (int k = 1; k <= a.model.thicknesses.size(); ++k)
    EXPECT_EQ(a.model.thicknesses(k).value, b.model.thicknesses(k).value);
  ASSERT_EQ(a.model.elements.size(), b.model.elements.size());
  for (int k = 1; k <= a.model.elements.size(); ++k) {
    EXPECT_EQ(a.model.elements(k).nodes, b.model.elements(k).nodes);
    EXPECT_EQ(a.model.elements(k).material, b.model.elements(k).material);
    EXPECT_EQ(a.model.elements(k).thickness, b.model.elements(k).thickness);
  }
  ASSERT_EQ(a.model.forces.size(), b.model.forces.size());
  for (int k = 1; k <= a.model.forces.size(); ++k) {
    EXPECT_EQ(a.model.forces(k).node, b.model.forces(k).node);
    EXPECT_EQ(a.model.forces(k).fy, b.model.forces(k).fy);
  }
  ASSERT_EQ(a.model.pressures.size(), b.model.pressures.size());
  for (int k = 1; k <= a.model.pressures.size(); ++k) {
    EXPECT_EQ(a.model.pressures(k).system.padded(), b.model.pressures(k).system.padded());
    EXPECT_EQ(a.model.pressures(k).q2_end, b.model.pressures(k).q2_end);
  }
  ASSERT_EQ(a.model.prescribed_displacements.size(), b.model.prescribed_displacements.size());
  for (int k = 1; k <= a.model.prescribed_displacements.size(); ++k) {
    EXPECT_EQ(a.model.prescribed_displacements(k).node, b.model.prescribed_displacements(k).node);
    EXPECT_EQ(a.model.prescribed_displacements(k).direction.padded(),
              b.model.prescribed_displacements(k).direction.padded());
  }
}

// Replaces every occurrence of `from` in `text`.
std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

TEST(InputLines, SplitsLinesAndDropsLineEnds) {
  const struct {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\r", {"a"}},
      {"a\rb\n", {"a\rb"}},  // only a CR before the line end goes
      {"\n\n", {"", ""}},
      {"\xEF\xBB\xBFGENERAL\n", {"GENERAL"}},
  };
  for (const auto& c : cases) {
    const InputLines lines(c.text, shared_task_pool());
    std::vector<std::string> got;
    for (int n = 1; n <= lines.count(); ++n) got.emplace_back(lines.line(n));
    EXPECT_EQ(got, c.lines) << "text: " << quoted_for_message(c.text);
  }
}

// Line numbers are ints: a file with more lines than they can count is
// refused at the first line beyond, as an input error. The limit is lowered
// here; the reader's own lies beyond two thousand million lines.
TEST(InputLines, MoreLinesThanTheLimitAreAnInputError) {
  const std::string text = kGeneral + section("NODE", {" 1 0 0"});  // 12 lines
  EXPECT_FALSE(InputLines(text, shared_task_pool(), 12).cut());
  const InputLines lines(text, shared_task_pool(), 11);
  EXPECT_TRUE(lines.cut());
  EXPECT_EQ(lines.count(), 11);
  Model model;
  AnalysisSettings settings;
  try {
    read_input_lines(lines, "t.dat", model, settings, shared_task_pool());
    ADD_FAILURE() << "no error";
  } catch (const InputError& error) {
    EXPECT_EQ(std::string(error.what()), "t.dat:12: expected at most 11 lines in the file, found more");
  }
}

TEST(FindSection, MatchesTheFirstItemExactly) {
  const struct {
    std::string line;
    bool matches;
  } cases[] = {
      {"NODE", true},
      {"   NODE", true},  // leading blanks are not part of the item
      {"\tNODE\t remarks", true},
      {"NODE, 1, 2", true},
      {"NODE/", true},
      {"'NODE'", true},
      {"\"NODE\" remarks", true},
      {"NODE                 ", true},
      {"Node", false},
      {"NODES", false},
      {"NODE_", false},
      {"' NODE'", false},  // inside quotes a leading blank counts
      {",NODE", false},    // the first item is empty
      {"/NODE", false},
      {"NODE1234567890123456789", false},             // cut to 20 characters, still not the keyword
      {"'NODE" + std::string(16, ' ') + "X'", true},  // cut to 20 characters: the keyword and blanks
      {"XNODE", false},
  };
  for (const auto& c : cases) {
    const std::string text = "first line\n" + c.line + "\n";
    const InputLines lines(text, shared_task_pool());
    const SectionStart start = find_section(lines, "NODE");
    EXPECT_EQ(start.found, c.matches) << c.line;
    if (c.matches) {
      EXPECT_EQ(start.keyword_line, 2) << c.line;
      EXPECT_EQ(start.first_data_line, 3) << c.line;  // the file ends within the three free lines
    }
  }
}

TEST(FindSection, TakesTheFirstMatchingLineEvenInsideAnotherSection) {
  // The heading of the FORCE section starts with the word NODE, so the search
  // for the NODE section stops there and not at the real keyword further down.
  const std::string text = kGeneral +                                      // lines 1-6
                           "FORCE\n" + kRuler + "\n NODE   fx   fy\n" +    // lines 7-9
                           kRuler + "\n 1 1 0.0 -1.0\n" + kRuler + "\n" +  // lines 10-12
                           section("NODE", {" 1 0.0 0.0"});                // lines 13-18
  const InputLines lines(text, shared_task_pool());
  const SectionStart start = find_section(lines, "NODE");
  EXPECT_TRUE(start.found);
  EXPECT_EQ(start.keyword_line, 9);
  EXPECT_EQ(start.first_data_line, 13);
  // So the reader takes the keyword line "NODE" for a node record.
  EXPECT_EQ(read_error(text), "t.dat:13: NODE record 1: expected the node number (an integer), found 'NODE'");
}

TEST(CountSectionLines, CountsNonBlankLinesUpToTheTerminator) {
  const struct {
    std::string text;
    int count;
  } cases[] = {
      {section("NODE", {" 1 0 0", " 2 1 0"}), 2},
      {section("NODE", {" 1 0 0", "", " \t ", " 2 1 0"}), 2},  // blank lines are not records
      {section("NODE", {}), 0},
      {section("NODE", {" 1 0 0", " -2 1 0", " 3 1 0"}), 1},  // a negative number ends the data
      {section("NODE", {" 1 0 0", "   ---", " 3 1 0"}), 1},
      {section("NODE", {" 1 0 0", "'-' quoted", " 3 1 0"}), 1},
      {section("NODE", {" 1 0 0", ", -", " 3 1 0"}), 3},  // a null first item is no terminator
      {"NODE\n\n\n\n 1 0 0\n 2 0 0\n-\n", 2},             // the three free lines may be blank
      {"NODE\n 1 0 0\n 2 0 0\n 3 0 0\n 4 0 0\n-\n", 1},   // and are skipped whatever they hold
      {section("NODE", {" 1 0 0"}) + section("NODE", {" 1 0 0", " 2 0 0"}), 1},  // first occurrence
      {section("MATERIAL", {" 1 1 0 0"}), 0},                                    // missing section
      {"", 0},
  };
  for (const auto& c : cases) {
    const InputLines lines(c.text, shared_task_pool());
    EXPECT_EQ(count_section_lines(lines, "NODE", "t.dat"), c.count) << c.text;
  }
}

TEST(CountSectionLines, ReportsAMissingTerminator) {
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"NODE\n---\nheading\n---\n 1 0 0\n",
       "t.dat:5: expected a line beginning with '-' to end section \"NODE\" (line 1), found the end of the "
       "file"},
      {"x\nNODE\n---\n",  // the file ends within the three free lines
       "t.dat:3: expected a line beginning with '-' to end section \"NODE\" (line 2), found the end of the "
       "file"},
  };
  for (const auto& c : cases) {
    const InputLines lines(c.text, shared_task_pool());
    try {
      count_section_lines(lines, "NODE", "t.dat");
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const InputError& error) {
      EXPECT_EQ(error.what(), c.message);
    }
  }
}

TEST(ReadInputFile, ReadsTheOneElementExample) {
  std::istringstream in(example_text());
  Model model;
  AnalysisSettings settings;
  const SourceLines source = read_input_file(in, "one_element.dat", model, settings, shared_task_pool());

  EXPECT_EQ(settings.analysis_type.padded(), "LINEAR    ");
  EXPECT_EQ(settings.stress_state.padded(), "PLANE_STRESS");
  EXPECT_EQ(settings.load_increments, 1);
  EXPECT_EQ(settings.displacement_tolerance, 1.0e-6);
  EXPECT_EQ(settings.penalty_factor, 1.0e6);

  const double xy[10][2] = {{3, 0}, {0, 3}, {0, 0}, {2, 1}, {1, 2}, {0, 2}, {0, 1}, {1, 0}, {2, 0}, {1, 1}};
  ASSERT_EQ(model.nodes.size(), 10);
  for (int k = 1; k <= 10; ++k) {
    const Node& node = model.nodes(k);
    EXPECT_EQ(node.id, k);
    EXPECT_EQ(node.x, xy[k - 1][0]);
    EXPECT_EQ(node.y, xy[k - 1][1]);
    EXPECT_EQ(node.u, 0.0);
    EXPECT_EQ(node.v, 0.0);
    EXPECT_EQ(source.nodes[static_cast<std::size_t>(k - 1)], 10 + k);
  }
  ASSERT_EQ(model.materials.size(), 1);
  EXPECT_EQ(model.materials(1).young_modulus, 1000.0);
  EXPECT_EQ(model.materials(1).poisson_ratio, 0.3);
  EXPECT_EQ(model.materials(1).specific_weight, 0.0);
  ASSERT_EQ(model.thicknesses.size(), 1);
  EXPECT_EQ(model.thicknesses(1).value, 0.01);
  ASSERT_EQ(model.elements.size(), 1);
  EXPECT_EQ(model.elements(1).nodes, (std::array<int, 10>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(model.elements(1).material, 1);
  EXPECT_EQ(model.elements(1).thickness, 1);
  EXPECT_EQ(source.elements, std::vector<int>{38});
  ASSERT_EQ(model.forces.size(), 1);
  EXPECT_EQ(model.forces(1).node, 1);
  EXPECT_EQ(model.forces(1).fx, 0.0);
  EXPECT_EQ(model.forces(1).fy, -100.0);
  ASSERT_EQ(model.pressures.size(), 1);
  const EdgePressure& pressure = model.pressures(1);
  EXPECT_EQ(pressure.element, 1);
  EXPECT_EQ(pressure.edge, 1);
  EXPECT_EQ(pressure.system.padded(), "LOCAL ");
  EXPECT_EQ(pressure.q1_start, 0.0);
  EXPECT_EQ(pressure.q1_end, 0.0);
  EXPECT_EQ(pressure.q2_start, -5.0);
  EXPECT_EQ(pressure.q2_end, -5.0);
  ASSERT_EQ(model.prescribed_displacements.size(), 4);
  const int fixed_nodes[] = {3, 7, 6, 2};
  const char* directions[] = {"BOTH", "X   ", "X   ", "X   "};
  for (int k = 1; k <= 4; ++k) {
    EXPECT_EQ(model.prescribed_displacements(k).node, fixed_nodes[k - 1]);
    EXPECT_EQ(model.prescribed_displacements(k).direction.padded(), directions[k - 1]);
    EXPECT_EQ(model.prescribed_displacements(k).value, 0.0);
  }
  EXPECT_EQ(source.displacements, (std::vector<int>{56, 57, 58, 59}));

  // The global system: two equations per node.
  EXPECT_EQ(model.rhs.size(), 20);
  EXPECT_EQ(model.solution.size(), 20);
  for (int i = 1; i <= 20; ++i) EXPECT_EQ(model.rhs(i) + model.solution(i), 0.0);
  EXPECT_EQ(model.matrix.order, 20);
}

TEST(ReadInputText, LayoutVariationsGiveTheSameModel) {
  const std::string text = example_text();
  const ReadResult reference = read_text(text);

  // Sections in reverse order, remarks and blank lines between them.
  std::vector<std::string> sections;
  std::size_t start = 0;
  for (const char* keyword :
       {"NODE", "MATERIAL", "THICKNESS", "ELEMENT", "FORCE", "PRESSURE", "DISPLACEMENT"}) {
    const std::size_t at = text.find(std::string("\n") + keyword + "\n") + 1;
    sections.push_back(text.substr(start, at - start));
    start = at;
  }
  sections.push_back(text.substr(start));
  std::string reversed;
  for (auto s = sections.rbegin(); s != sections.rend(); ++s)
    reversed += "Remarks between sections.\n\n" + *s;

  const struct {
    const char* name;
    std::string text;
  } variants[] = {
      {"reversed sections", reversed},
      {"CR LF line ends", replace_all(text, "\n", "\r\n")},
      {"tabs for blanks", replace_all(text, " ", "\t")},
      {"commas between items",
       replace_all(replace_all(text, "1        1      0.0", "1,1,0.0"), "3.0    0.0", "3.0 ,0.0")},
      {"no line end at the end", text.substr(0, text.size() - 1)},
      {"blank lines among the data",
       replace_all(text, " 5        1.0    2.0\n", "\n \t \n 5        1.0    2.0\n\n")},
      {"remarks after the items", replace_all(text, "1.0E6\n", "1.0E6   the penalty factor, unused\n")},
      {"a duplicate section after the first", text + section("NODE", {" 1 9 9"})},
      {"D exponents", replace_all(replace_all(text, "1.0E-6", "1.0D-6"), "1.0E6", "1.0d+6")},
  };
  for (const auto& variant : variants) {
    SCOPED_TRACE(variant.name);
    expect_same_model(read_text(variant.text), reference);
  }
}

TEST(ReadInputText, ReadsTheGeneralRecordInAllItsForms) {
  const struct {
    std::vector<std::string> lines;
    std::string type, state;
    int increments;
    double tolerance, penalty;
  } cases[] = {
      {{"LINEAR PLANE_STRAIN 5 2.5D-3 7.0d2"}, "LINEAR", "PLANE_STRAIN", 5, 2.5e-3, 700.0},
      {{"LINEAR,PLANE_STRAIN,5,1e-3,2"}, "LINEAR", "PLANE_STRAIN", 5, 1e-3, 2.0},
      {{"LINEAR, PLANE_STRAIN /"}, "LINEAR", "PLANE_STRAIN", 3, 1.0e-6, 1.0e6},  // the rest keep their values
      {{"LINEAR PLANE_STRAIN 4/ 9 9"}, "LINEAR", "PLANE_STRAIN", 4, 1.0e-6, 1.0e6},
      {{"LINEAR", "", "PLANE_STRAIN", " 4 ,", " 2*1.5"}, "LINEAR", "PLANE_STRAIN", 4, 1.5, 1.5},  // over
                                                                                                  // lines
      {{",, 7 ,,,"}, "NONLINEAR", "PLANE_STRESS", 7, 1.0e-6, 1.0e6},  // null items keep the values
      {{"/"}, "NONLINEAR", "PLANE_STRESS", 3, 1.0e-6, 1.0e6},
      {{"2* 7 3*"}, "NONLINEAR", "PLANE_STRESS", 7, 1.0e-6, 1.0e6},
      {{"LINEAR,", ", 8 /"}, "LINEAR", "PLANE_STRESS", 8, 1.0e-6, 1.0e6},  // the line end is a blank
      {{"'NONLINEAR' \"PLANE_STRAIN\" 2 1e-3 7 remarks"}, "NONLINEAR", "PLANE_STRAIN", 2, 1e-3, 7.0},
      {{"'LINEAR    cut' PLANE_STRESS_X 1 1 1"}, "LINEAR", "PLANE_STRESS", 1, 1.0, 1.0},  // cut to the widths
      {{"linear ' PLANE_STRESS' 1 1 1"}, "linear", " PLANE_STRES", 1, 1.0, 1.0},          // read as written
      {{"\tLINEAR\tPLANE_STRESS\t+1\t.5\t5."}, "LINEAR", "PLANE_STRESS", 1, 0.5, 5.0},
  };
  for (const auto& c : cases) {
    std::string text = "GENERAL\n" + kRuler + "\n heading\n" + kRuler + "\n";
    for (const std::string& line : c.lines) text += line + "\n";
    text += kRuler + "\n";
    SCOPED_TRACE(text);
    const ReadResult result = read_text(text);
    EXPECT_EQ(result.settings.analysis_type.trimmed(), c.type);
    EXPECT_EQ(result.settings.stress_state.trimmed(), c.state);
    EXPECT_EQ(result.settings.load_increments, c.increments);
    EXPECT_EQ(result.settings.displacement_tolerance, c.tolerance);
    EXPECT_EQ(result.settings.penalty_factor, c.penalty);
    EXPECT_EQ(result.model.nodes.size(), 0);  // a missing section gives an empty table
    EXPECT_EQ(result.model.rhs.size(), 0);
  }
}

TEST(ReadInputText, ReadsNumbersInAllTheirForms) {
  const double tiny = std::numeric_limits<double>::denorm_min();
  const struct {
    std::string line;
    int id;
    double x, y;
  } cases[] = {
      {" 1 3.0 0.0", 1, 3.0, 0.0},
      {" +1 +3. -0.5", 1, 3.0, -0.5},
      {"1,3,.5", 1, 3.0, 0.5},
      {" 1 , 3.0E0 ,0.0 and remarks, with / anything", 1, 3.0, 0.0},
      {" 1 30e-1 0.03D2", 1, 3.0, 3.0},
      {" 1 2*2.5", 1, 2.5, 2.5},  // a repeated value in a data record
      {" 2147483647 0.1 1.0D-6", 2147483647, 0.1, 1.0e-6},
      {" 1 0.30000000000000004 123456789012345678901234567890", 1, 0.30000000000000004,
       1.2345678901234568e29},
      {" 1 4.9e-324 1.7976931348623157e308", 1, tiny, std::numeric_limits<double>::max()},
      {" 1 1e-999 -1D-400", 1, 0.0, -0.0},  // too small: zero of the same sign
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const ReadResult result = read_text(kGeneral + section("NODE", {c.line}));
    ASSERT_EQ(result.model.nodes.size(), 1);
    EXPECT_EQ(result.model.nodes(1).id, c.id);
    EXPECT_EQ(result.model.nodes(1).x, c.x);
    EXPECT_EQ(result.model.nodes(1).y, c.y);
    EXPECT_EQ(std::signbit(result.model.nodes(1).y), std::signbit(c.y));
  }
}

TEST(ReadInputText, CutsAndPadsTexts) {
  const struct {
    std::string item;
    std::string direction;  // 4 characters
  } cases[] = {
      {"X", "X   "},           {"'X'", "X   "}, {"BOTHER", "BOTH"},  {"x", "x   "},     {"'it''s'", "it's"},
      {"\"a\"\"b\"", "a\"b "}, {"''", "    "},  {"'a b,/'", "a b,"}, {"\"'\"", "'   "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    const ReadResult result = read_text(kGeneral + section("NODE", {" 1 0 0"}) +
                                        section("DISPLACEMENT", {" 1 1 " + c.item + " 0.5"}));
    ASSERT_EQ(result.model.prescribed_displacements.size(), 1);
    EXPECT_EQ(result.model.prescribed_displacements(1).direction.padded(), c.direction);
    EXPECT_EQ(result.model.prescribed_displacements(1).value, 0.5);
  }
  const ReadResult result = read_text(kGeneral + section("PRESSURE", {" 1 1 3 LOCALLY 1 2 3 4"}));
  EXPECT_EQ(result.model.pressures(1).system.padded(), "LOCALL");
  EXPECT_EQ(result.model.pressures(1).edge, 3);
  EXPECT_EQ(result.model.pressures(1).q2_end, 4.0);
}

TEST(ReadInputText, ReportsWhatWasExpectedAndWhatWasFound) {
  // With kGeneral in front the NODE keyword is line 7 and its data line 11.
  const auto node_file = [](const std::string& line) { return kGeneral + section("NODE", {line}); };
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"", "t.dat:1: expected a section \"GENERAL\", found the end of the file without one"},
      {section("NODE", {" 1 0 0"}),
       "t.dat:6: expected a section \"GENERAL\", found the end of the file without one"},
      {"GENERAL\n-\n-\n-\n LINEAR PLANE_STRESS\n",
       "t.dat:5: GENERAL record: expected the load increments (an integer), found the end of the file (the "
       "record "
       "started at line 5)"},
      {section("GENERAL", {" LINEAR PLANE_STRESS"}),  // the record runs on into the terminator
       "t.dat:6: GENERAL record: expected the load increments (an integer), found '" + kRuler + "'"},
      {section("GENERAL", {" LINEAR PLANE_STRESS 1.5"}),
       "t.dat:5: GENERAL record: expected the load increments (an integer), found '1.5'"},
      {section("GENERAL", {" LINEAR PLANE_STRESS 1 1E-6 1E999"}),
       "t.dat:5: GENERAL record: expected the penalty factor (a finite real number), found '1E999'"},
      {kGeneral + "NODE\n-\n-\n-\n 1 0 0\n",
       "t.dat:11: expected a line beginning with '-' to end section \"NODE\" (line 7), found the end of the "
       "file"},
      {node_file(" 1 3.0"),
       "t.dat:11: NODE record 1: expected the y coordinate (a finite real number), found the end of the line "
       "(a "
       "data record gives all its items on its own line)"},
      {node_file(" 1,,0.0"),
       "t.dat:11: NODE record 1: expected the x coordinate (a finite real number), found an empty item (a "
       "data "
       "record gives all its items on its own line)"},
      {node_file(" 1 3.0 /"),
       "t.dat:11: NODE record 1: expected the y coordinate (a finite real number), found '/' (a data record "
       "gives all its items on its own line)"},
      {node_file(" 1 abc 0.0"),
       "t.dat:11: NODE record 1: expected the x coordinate (a finite real number), found 'abc'"},
      {node_file(" 1.0 3.0 0.0"),
       "t.dat:11: NODE record 1: expected the node number (an integer), found '1.0'"},
      {node_file(" 2147483648 0 0"),
       "t.dat:11: NODE record 1: expected the node number (an integer from -2147483648 to 2147483647), found "
       "'2147483648'"},
      {node_file(" 1 '3.0' 0"),
       "t.dat:11: NODE record 1: expected the x coordinate (a finite real number), found ''3.0''"},
      {node_file(" 1 'abc 0"),
       "t.dat:11: NODE record 1: expected the x coordinate (a finite real number), found ''abc 0' without "
       "its "
       "closing quote"},
      {node_file(" 1 0*3.0 0"),
       "t.dat:11: NODE record 1: expected the x coordinate (a finite real number), found '0*3.0' (a repeat "
       "count "
       "is at least 1)"},
      {node_file(" 1 " + std::string(50, '7') + "x 0"),
       "t.dat:11: NODE record 1: expected the x coordinate (a finite real number), found '" +
           std::string(40, '7') + "...'"},
      {node_file(" 1 a\x01\xff\tb"),
       "t.dat:11: NODE record 1: expected the x coordinate (a finite real number), found 'a\\x01\\xFF'"},
      {kGeneral + section("ELEMENT", {" 1 1 2 3 4 5 6 7 8 9 10 1"}),
       "t.dat:11: ELEMENT record 1: expected the thickness number (an integer), found the end of the line (a "
       "data record gives all its items on its own line)"},
  };
  for (const auto& c : cases) EXPECT_EQ(read_error(c.text), c.message) << c.text;
}

// Records are read by several threads in groups; of two bad records in
// different groups, the first in the file is the one reported, whichever
// group is read first. A file without them reads as on one thread.
TEST(ReadInputText, ManyRecordsOnManyThreadsReportTheFirstBadOne) {
  std::vector<std::string> nodes;
  for (int k = 1; k <= 12000; ++k) {
    std::ostringstream line;
    line << ' ' << k << ' ' << k % 97 << ".25 " << k / 97 << "E-1";
    nodes.push_back(line.str());
  }
  const std::string good = kGeneral + section("NODE", nodes);
  std::vector<std::string> bad_nodes = nodes;
  bad_nodes[9000 - 1] = " 9000 1 x";
  bad_nodes[5000 - 1] = " 5000 y 1";
  const std::string bad = kGeneral + section("NODE", bad_nodes);
  TaskPool one_thread(1);
  const ReadResult one = read_text(good, one_thread);
  for (int threads : {1, 3}) {
    TaskPool pool(threads);
    expect_same_model(read_text(good, pool), one);
    // The NODE keyword is line 7, record 1 line 11.
    EXPECT_EQ(read_error(bad, pool),
              "t.dat:5010: NODE record 5000: expected the x coordinate (a finite real number), found 'y'");
  }
}

TEST(ReadInputText, RejectsEveryNonFiniteReal) {
  for (const char* item : {"nan", "NaN", "inf", "-Infinity", "1e999", "-1D400", "1e", "1e+", "--1", ".",
                           "0x10", "1.0+5", "5e2x", "1..0"}) {
    const std::string message = read_error(kGeneral + section("NODE", {std::string(" 1 0 ") + item}));
    EXPECT_EQ(message.rfind(
                  "t.dat:11: NODE record 1: expected the y coordinate (a finite real number), found '", 0),
              0u)
        << item << ": " << message;
  }
}

TEST(QuotedForMessage, EscapesAndCuts) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"abc", "'abc'"},
      {"", "''"},
      {"a\tb\r\n", "'a\\tb\\x0D\\x0A'"},
      {"\x7f\x80", "'\\x7F\\x80'"},
      {std::string(40, 'a'), "'" + std::string(40, 'a') + "'"},
      {std::string(41, 'a'), "'" + std::string(40, 'a') + "...'"},
  };
  for (const auto& c : cases) EXPECT_EQ(quoted_for_message(c.text), c.shown);
}

}  // namespace
}  // namespace quorix
