// Slips a new user makes in a model file that the reader once let through
// silently or named in a misleading way, tested through load_model: the reader,
// the model check and the element shapes together.

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "driver/load_model.hpp"
#include "model/input_error.hpp"
#include "parallel/task_pool.hpp"
#include "support/test_support.hpp"

namespace quorix {
namespace {

struct Loaded {
  Model model;
  AnalysisSettings settings;
  std::string error;  // empty when the model was accepted
};

Loaded load(const std::string& text) {
  static const ElementTables tables = init_element_tables();
  Loaded loaded;
  try {
    load_model(text, "m.dat", tables, loaded.model, loaded.settings, shared_task_pool());
  } catch (const InputError& error) {
    loaded.error = error.what();
  }
  return loaded;
}

std::string example() { return testing::read_file(testing::source_dir() + "/examples/one_element.dat"); }

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::runtime_error("not in the text: " + from);
  return text.replace(at, from.size(), to);
}

const std::string kGeneral = " LINEAR   PLANE_STRESS   1            1.0E-6      1.0E6";
const std::string kNode1 = " 1        3.0    0.0";
const std::string kMaterial = " 1        1000.0     0.3    0.0";
const std::string kForce = " 1        1      0.0    -100.0";

// "0,3" reads as two items; every later item moves on by one and the last
// lands in the remark. Such a record is refused, naming both.
TEST(DecimalCommas, AreRefusedWhereTheyShiftTheItems) {
  const struct {
    std::string from, to;
    std::string error;
  } cases[] = {
      {kMaterial, " 1        1000.0     0,3    0.0",
       "m.dat:26: MATERIAL record 1: expected no more numbers after the specific weight, found '0.0' (a "
       "comma "
       "separates items, so '0,3' is read as two numbers; write decimals with a point)"},
      // Two decimal commas: the first is named, the rest of the line shown.
      {kNode1, " 1        3,5    0,5",
       "m.dat:11: NODE record 1: expected no more numbers after the y coordinate, found '0,5' (a comma "
       "separates items, so '3,5' is read as two numbers; write decimals with a point)"},
      {kNode1, " 1 3,5 0.0 the corner",
       "m.dat:11: NODE record 1: expected no more numbers after the y coordinate, found '0.0' (a comma "
       "separates items, so '3,5' is read as two numbers; write decimals with a point)"},
      // In the last item of the record, where the comma is the first thing
      // after it.
      {kForce, " 1        1      0.0    -100,5",
       "m.dat:44: FORCE record 1: expected no more numbers after fy, found '5' (a comma separates items, so "
       "'-100,5' is read as two numbers; write decimals with a point)"},
      {kGeneral, " LINEAR   PLANE_STRESS   1            1,0E-6      1.0E6",
       "m.dat:5: GENERAL record: expected no more numbers after the penalty factor, found '1.0E6' (a comma "
       "separates items, so '1,0E-6' is read as two numbers; write decimals with a point)"},
  };
  for (const auto& c : cases) EXPECT_EQ(load(replaced(example(), c.from, c.to)).error, c.error) << c.to;
}

// Commas between items, and numbers in a remark, are still read as before:
// only the two together are refused.
TEST(DecimalCommas, CommasBetweenItemsAndNumbersInRemarksStillRead) {
  const struct {
    std::string from, to;
    double x, y;  // of node 1
    double nu;
  } cases[] = {
      {kNode1, " 1,3,.5", 3.0, 0.5, 0.3},
      {kNode1, " 1,3.0,0.0 corner", 3.0, 0.0, 0.3},
      {kNode1, " 1 3.0 0.0 25 a number in the remark", 3.0, 0.0, 0.3},
      {kNode1, " 1 , 3.0 , 0.0 , 25", 3.0, 0.0, 0.3},  // commas with blanks around them
      {kNode1, " 1,3,0 /4", 3.0, 0.0, 0.3},            // a slash ends the line's items
      {kNode1, " 1,3,0 '4'", 3.0, 0.0, 0.3},           // a quoted remark is no number
      {kNode1, " 1,3,2*0", 3.0, 0.0, 0.3},             // copies of a repeat left over
      {kMaterial, " 1,1000.0,0.3,0.0", 3.0, 0.0, 0.3},
      {kMaterial, " 1,1000.0,0,3", 3.0, 0.0, 0.0},  // commas everywhere: nu 0, weight 3
      // Integers joined by commas after blanks: a list, not a decimal.
      {" 1        1 2 3 4 5 6 7 8 9 10 ", " 1 1,2,3,4,5,6,7,8,9,10 ", 3.0, 0.0, 0.3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.to);
    const Loaded loaded = load(replaced(example(), c.from, c.to));
    ASSERT_EQ(loaded.error, "");
    EXPECT_EQ(loaded.model.nodes(1).x, c.x);
    EXPECT_EQ(loaded.model.nodes(1).y, c.y);
    EXPECT_EQ(loaded.model.materials(1).poisson_ratio, c.nu);
  }
}

// A keyword in another case, with a colon or in the plural, with its section
// laid out under it, would drop the section silently: it is named instead.
// A remark that starts with such a word stays a remark.
TEST(KeywordSlips, AreNamedWhereTheyWouldDropASection) {
  const struct {
    std::string from, to;
    std::string error;
  } cases[] = {
      {"GENERAL\n", "general\n",
       "m.dat:1: 'general' is not a section keyword; did you mean GENERAL (upper case)?"},
      {"\nNODE\n", "\n  'Node' remark\n",
       "m.dat:7: 'Node' is not a section keyword; did you mean NODE (upper case)?"},
      {"\nNODE\n", "\nNODES\n",
       "m.dat:7: 'NODES' is not a section keyword; did you mean NODE (without the S)?"},
      {"\nTHICKNESS\n", "\nThicknesses:\n",
       "m.dat:28: 'Thicknesses:' is not a section keyword; did you mean THICKNESS (upper case, without the "
       "ES, "
       "without the colon)?"},
  };
  for (const auto& c : cases) EXPECT_EQ(load(replaced(example(), c.from, c.to)).error, c.error);

  const std::string remarks = replaced(
      replaced(example(), "\nMATERIAL\n", "\nMaterial: steel, from the supplier's sheet\nMATERIAL\n"),
      "\nFORCE\n", "\nForces\n 1 1 0.0 -100.0\nFORCE\n");
  const Loaded loaded = load(remarks);
  EXPECT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.model.materials.size(), 1);
  EXPECT_EQ(loaded.model.forces.size(), 1);
}

TEST(GeneralRecord, EndOfTheFileBeforeTheRecordStarts) {
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"GENERAL\n",
       "m.dat:1: GENERAL record: expected the analysis type (a text), found the end of the file (within the "
       "three lines after the keyword on line 1)"},
      {"remark\nGENERAL\n-\n-\n",
       "m.dat:4: GENERAL record: expected the analysis type (a text), found the end of the file (within the "
       "three lines after the keyword on line 2)"},
      {"GENERAL\n-\n-\n-\n",  // the record would start on line 5
       "m.dat:4: GENERAL record: expected the analysis type (a text), found the end of the file (within the "
       "three lines after the keyword on line 1)"},
      {"GENERAL\n-\n-\n-\n LINEAR\n",
       "m.dat:5: GENERAL record: expected the stress state (a text), found the end of the file (the record "
       "started at line 5)"},
  };
  for (const auto& c : cases) EXPECT_EQ(load(c.text).error, c.error);
}

// The three lines after a keyword are skipped whatever they hold; a GENERAL
// record written straight under its keyword is named when it is skipped.
TEST(GeneralRecord, WrittenUnderTheKeywordIsNamedWhenSkipped) {
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"GENERAL\n LINEAR PLANE_STRESS 1 1.0E-6 1.0E6\n-----\nNODE\n 1 3.0 0.0\n 2 0.0 3.0\n-----\n",
       "m.dat:5: GENERAL record: expected the load increments (an integer), found '0.0' (line 2 looks like "
       "the record, but the three lines after the keyword are skipped)"},
      {"GENERAL\n-\n 'NONLINEAR' /\n",
       "m.dat:3: GENERAL record: expected the analysis type (a text), found the end of the file (within the "
       "three lines after the keyword on line 1) (line 3 looks like the record, but the three lines after "
       "the keyword are skipped)"},
      // A heading that starts with the word, above a record that starts with
      // it too: the record itself is wrong.
      {"GENERAL\n-\nLINEAR or NONLINEAR, the stress state, ...\n-\n LINEAR PLANE_STRESS 1.5\n",
       "m.dat:5: GENERAL record: expected the load increments (an integer), found '1.5'"},
      {"GENERAL\n-\n type\n-\n LINEAR PLANE_STRESS 1.5\n",
       "m.dat:5: GENERAL record: expected the load increments (an integer), found '1.5'"},
  };
  for (const auto& c : cases) EXPECT_EQ(load(c.text).error, c.error);
}

TEST(References, NameATableThatIsEmpty) {
  const std::string without_elements =
      replaced(example(), " 1        1 2 3 4 5 6 7 8 9 10     1          1\n", "");
  EXPECT_EQ(
      load(without_elements).error,
      "m.dat:49: PRESSURE record 1: expected the element number to refer to an ELEMENT record, found 1 and "
      "no such records");
}

// The example with every coordinate written with the exponent `exponent`
// ("3.0" becomes "3.0E300"): the same shape, scaled.
std::string scaled(const std::string& text, const std::string& exponent) {
  std::istringstream in(text);
  std::string out;
  std::string row;
  for (int line = 1; std::getline(in, row); ++line) {
    if (line >= 11 && line <= 20) {  // the node records: number, x, y
      std::istringstream items(row);
      std::string number, x, y;
      items >> number >> x >> y;
      row = " " + number + " " + x + exponent + " " + y + exponent;
    }
    out += row + "\n";
  }
  return out;
}

// Coordinates near the largest real numbers overflow the Jacobian determinant
// of any shape; the message says so instead of blaming the corner order.
TEST(ElementShape, AnOverflowIsNotTakenForAClockwiseElement) {
  const std::string overflowing = scaled(example(), "E300");
  ASSERT_NE(overflowing.find("\n 4 2.0E300 1.0E300\n"), std::string::npos) << overflowing;
  EXPECT_EQ(
      load(overflowing).error,
      "m.dat:38: ELEMENT record 1: expected node coordinates small enough to compute the element's size "
      "with, found a Jacobian determinant that overflows at area point 1");
  // Large coordinates whose products stay finite make a sound element.
  EXPECT_EQ(load(scaled(example(), "E100")).error, "");
}

}  // namespace
}  // namespace quorix
