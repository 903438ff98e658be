// Malformed model files run through the built program. Each file under
// tests/data/bad/ breaks one thing (a few break several, to show which problem
// is named first); the table below gives the line and the text the program
// must name. Whatever is wrong, a run on a bad file must print that one line on
// standard error, nothing on standard output, end with status 1, and neither
// create a result file nor touch an earlier one.

#include <gtest/gtest.h>

#include <algorithm>
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

struct BadFile {
  const char* name;
  int line;                    // the line the first message names
  const char* message;         // the first message, after "NAME:LINE: "
  int lines = 1;               // the number of lines on standard error
  const char* last = nullptr;  // when there are several, the last one in full
};

// Line numbers refer to the one-element example the files are made from
// unless the file is made otherwise: GENERAL record 5, nodes 11-20, material
// 26, thickness 32, element 38, force 44, pressure 50, displacements 56-59.
const BadFile kBadFiles[] = {
    // The sections and records as the reader finds them.
    {"empty.dat", 1, "expected a section \"GENERAL\", found the end of the file without one"},
    {"missing_general.dat", 54, "expected a section \"GENERAL\", found the end of the file without one"},
    {"binary_garbage.dat", 3, "expected a section \"GENERAL\", found the end of the file without one"},
    // A keyword written another way, with its section under it: refused
    // rather than skipped with its records.
    {"lower_case_keyword.dat", 7, "'Node' is not a section keyword; did you mean NODE (upper case)?"},
    {"keyword_other_case.dat", 40, "'Force' is not a section keyword; did you mean FORCE (upper case)?"},
    {"keyword_with_colon.dat", 40,
     "'FORCE:' is not a section keyword; did you mean FORCE (without the colon)?"},
    {"keyword_plural.dat", 52,
     "'DISPLACEMENTS' is not a section keyword; did you mean DISPLACEMENT (without the S)?"},
    {"general_within_free_lines.dat", 3,
     "GENERAL record: expected the analysis type (a text), found the end of the file (within the three "
     "lines after the keyword on line 1)"},
    {"general_cut_short.dat", 5,
     "GENERAL record: expected the displacement tolerance (a finite real number), found the end of the file "
     "(the record started at line 5)"},
    {"terminator_missing_at_end.dat", 59,
     "expected a line beginning with '-' to end section \"DISPLACEMENT\" (line 52), found the end of the "
     "file"},
    // An ELEMENT section that runs to the end of the file, as if it had more
    // records than there are lines left.
    {"element_terminator_missing.dat", 38,
     "expected a line beginning with '-' to end section \"ELEMENT\" (line 34), found the end of the file"},
    // Without its terminator the NODE section runs on into the next one.
    {"terminator_missing_mid_file.dat", 21,
     "NODE record 11: expected the node number (an integer), found 'MATERIAL'"},
    // No ruler and heading lines under any keyword: the GENERAL record is
    // skipped with them and read from the node records.
    {"heading_lines_missing.dat", 5,
     "GENERAL record: expected the load increments (an integer), found '0.0' (line 2 looks like the record, "
     "but the three lines after the keyword are skipped)"},
    // The GENERAL heading starts with a keyword, so the search stops there and
    // takes the NODE keyword line for a thickness record.
    {"keyword_in_heading.dat", 7,
     "THICKNESS record 1: expected the thickness number (an integer), found 'NODE'"},

    // Items.
    {"quote_run_on.dat", 57,
     "DISPLACEMENT record 2: expected the direction (a text), found ''X'Y' (no blank, comma or slash after "
     "the closing quote)"},
    {"item_missing_on_line.dat", 14,
     "NODE record 4: expected the y coordinate (a finite real number), found the end of the line (a data "
     "record gives all its items on its own line)"},
    {"text_for_direction_missing.dat", 57,
     "DISPLACEMENT record 2: expected the direction (a text), found the end of the line (a data record "
     "gives all its items on its own line)"},
    {"empty_item.dat", 14,
     "NODE record 4: expected the y coordinate (a finite real number), found an empty item (a data record "
     "gives all its items on its own line)"},
    {"slash_in_record.dat", 14,
     "NODE record 4: expected the y coordinate (a finite real number), found '/' (a data record gives all "
     "its items on its own line)"},
    {"letters_for_number.dat", 14,
     "NODE record 4: expected the y coordinate (a finite real number), found '1.O'"},
    {"decimal_point_in_integer.dat", 38,
     "ELEMENT record 1: expected the material number (an integer), found '1.0'"},
    {"general_increments_real.dat", 5,
     "GENERAL record: expected the load increments (an integer), found '1.0'"},
    {"integer_beyond_32_bits.dat", 14,
     "NODE record 4: expected the node number (an integer from -2147483648 to 2147483647), found "
     "'4294967300'"},
    {"negative_integer_beyond_32_bits.dat", 44,
     "FORCE record 1: expected the node number (an integer from -2147483648 to 2147483647), found "
     "'-2147483649'"},
    {"general_increments_beyond_32_bits.dat", 5,
     "GENERAL record: expected the load increments (an integer from -2147483648 to 2147483647), found "
     "'4294967296'"},
    {"general_repeat_beyond_32_bits.dat", 5,
     "GENERAL record: expected the displacement tolerance (a finite real number), found "
     "'4294967298*1.0E-6' (a repeat count is an integer from 1 to 2147483647)"},
    {"nan_as_text.dat", 26,
     "MATERIAL record 1: expected Young's modulus (a finite real number), found 'NaN'"},
    {"inf_as_text.dat", 44, "FORCE record 1: expected fy (a finite real number), found '-Infinity'"},
    {"real_overflow.dat", 11,
     "NODE record 1: expected the x coordinate (a finite real number), found '1e999'"},
    {"real_overflow_d_exponent.dat", 50,
     "PRESSURE record 1: expected q2 at the edge end (a finite real number), found '-5.0D999'"},
    {"general_tolerance_quoted.dat", 5,
     "GENERAL record: expected the displacement tolerance (a finite real number), found ''1.0E-6''"},
    {"unclosed_quote.dat", 56,
     "DISPLACEMENT record 1: expected the direction (a text), found ''BOTH       0.0' without its closing "
     "quote"},
    {"repeat_count_zero.dat", 32,
     "THICKNESS record 1: expected the thickness (a finite real number), found '0*0.01' (a repeat count is "
     "at least 1)"},
    {"decimal_comma.dat", 26,
     "MATERIAL record 1: expected no more numbers after the specific weight, found '0.0' (a comma separates "
     "items, so '0,3' is read as two numbers; write decimals with a point)"},
    // Nothing is left over, but blanks separate the items, so the comma is
    // no separator.
    {"decimal_comma_nothing_left_over.dat", 26,
     "MATERIAL record 1: '0,3' reads as the two numbers 0 and 3: write decimals with a point (0.3), or "
     "separate every item of the line with commas"},
    // Files for the mesh importer.
    {"gmsh_mesh.dat", 1,
     "gmsh_mesh.dat is a Gmsh mesh: turn it into a model with quorix-mesh (quorix-mesh --help)"},
    {"gmsh_geometry.dat", 2,
     "gmsh_geometry.dat is a Gmsh geometry: mesh it with gmsh -2 -order 3 gmsh_geometry.dat, then use "
     "quorix-mesh"},
    {"crlf_line_ends.dat", 14,
     "NODE record 4: expected the y coordinate (a finite real number), found '1.O'"},
    {"tabs.dat", 26,
     "MATERIAL record 1: expected the specific weight (a finite real number), found 'weight'"},

    // The settings.
    {"unknown_analysis_type.dat", 5,
     "GENERAL record: expected the analysis type LINEAR or NONLINEAR, found 'STATIC'"},
    {"stress_state_misspelt.dat", 5,
     "GENERAL record: expected the stress state PLANE_STRESS or PLANE_STRAIN, found 'PLANE_STRES'"},
    {"nonlinear_zero_increments.dat", 5,
     "GENERAL record: expected at least 1 load increment for a NONLINEAR analysis, found 0"},

    // Numbers and references.
    {"no_nodes.dat", 7, "NODE section: expected at least one record, found none"},
    {"node_section_missing.dat", 6, "NODE section: expected at least one record, found none"},
    {"node_number_not_position.dat", 13,
     "NODE record 3: expected the node number 3 (its position in the table), found 4"},
    {"element_node_out_of_range.dat", 38,
     "ELEMENT record 1: expected node 10 from 1 to 10 (the NODE records), found 11"},
    {"element_node_zero.dat", 38,
     "ELEMENT record 1: expected node 1 from 1 to 10 (the NODE records), found 0"},
    {"element_node_2147483647.dat", 38,
     "ELEMENT record 1: expected node 7 from 1 to 10 (the NODE records), found 2147483647"},
    {"element_node_twice.dat", 38,
     "ELEMENT record 1: expected node 10 to differ from node 1, found node 1 in both places"},
    {"element_material_out_of_range.dat", 38,
     "ELEMENT record 1: expected the material number from 1 to 1 (the MATERIAL records), found 2"},
    {"element_thickness_out_of_range.dat", 38,
     "ELEMENT record 1: expected the thickness number from 1 to 1 (the THICKNESS records), found 0"},
    {"force_node_out_of_range.dat", 44,
     "FORCE record 1: expected the node number from 1 to 10 (the NODE records), found 11"},
    {"displacement_node_out_of_range.dat", 57,
     "DISPLACEMENT record 2: expected the node number from 1 to 10 (the NODE records), found 0"},
    {"pressure_element_out_of_range.dat", 50,
     "PRESSURE record 1: expected the element number from 1 to 1 (the ELEMENT records), found 2"},
    {"pressure_edge_0.dat", 50, "PRESSURE record 1: expected the edge number 1, 2 or 3, found 0"},
    {"pressure_edge_4.dat", 50, "PRESSURE record 1: expected the edge number 1, 2 or 3, found 4"},
    {"pressure_system_near_local.dat", 50,
     "PRESSURE record 1: expected the system LOCAL or a word for global axes such as GLOBAL, found 'LOCLA', "
     "which is too near LOCAL to be taken for global"},
    {"direction_lower_case_x.dat", 57,
     "DISPLACEMENT record 2: expected the direction X, Y or BOTH, found 'x'"},
    {"direction_lower_case_both.dat", 56,
     "DISPLACEMENT record 1: expected the direction X, Y or BOTH, found 'both'"},
    // Node 3 held in x and y at 0, then in x at 1.
    {"displacement_value_twice.dat", 60,
     "DISPLACEMENT record 5: expected the value 0 that DISPLACEMENT record 1 (line 56) prescribes for node 3 "
     "in X, found 1"},

    // Material and thickness values.
    {"young_modulus_zero.dat", 26, "MATERIAL record 1: expected a finite Young's modulus above 0, found 0"},
    {"young_modulus_negative.dat", 26,
     "MATERIAL record 1: expected a finite Young's modulus above 0, found -1000"},
    {"thickness_zero.dat", 32, "THICKNESS record 1: expected a finite thickness above 0, found 0"},
    {"thickness_negative.dat", 32, "THICKNESS record 1: expected a finite thickness above 0, found -0.01"},
    {"poisson_plane_stress_one.dat", 26,
     "MATERIAL record 1: expected Poisson's ratio above -1 and below 1 for plane stress, found 1"},
    {"poisson_minus_one.dat", 26,
     "MATERIAL record 1: expected Poisson's ratio above -1 and below 1 for plane stress, found -1"},
    {"poisson_plane_strain_half.dat", 26,
     "MATERIAL record 1: expected Poisson's ratio above -1 and below 0.5 for plane strain, found 0.5"},

    // Element shapes.
    {"clockwise_element.dat", 38,
     "ELEMENT record 1: expected corners listed counter-clockwise and a shape neither collapsed nor tangled, "
     "found a Jacobian determinant that is not positive at area point 1"},
    {"degenerate_element.dat", 38,
     "ELEMENT record 1: expected corners listed counter-clockwise and a shape neither collapsed nor tangled, "
     "found a Jacobian determinant that is not positive at area point 1"},
    // The example scaled by 12, its edge 3 from x = 36 to 0 with its nodes at
    // 36, 32, 12 and 0: a positive Jacobian at the area points, but the edge
    // runs backwards from its first node.
    {"edge_nodes_out_of_order.dat", 38,
     "ELEMENT record 1: expected the nodes of edge 3 in order along it (nodes 1, 9, 8, 3 of the record: one "
     "end, the two thirds, the other end), found the edge heading back at node 1"},
    // The six edge nodes listed one place on (9 4 5 6 7 8 for 4 5 6 7 8 9).
    {"edge_nodes_shifted.dat", 38,
     "ELEMENT record 1: expected the nodes of edge 2 in order along it (nodes 3, 7, 6, 2 of the record: one "
     "end, the two thirds, the other end), found the edge heading back at node 6"},

    // A section left out and referred to.
    {"material_section_missing.dat", 32,
     "ELEMENT record 1: expected the material number to refer to a MATERIAL record, found 1 and no such "
     "records"},
    {"pressure_without_elements.dat", 49,
     "PRESSURE record 1: expected the element number to refer to an ELEMENT record, found 1 and no such "
     "records"},

    // Two problems: both are listed, in the order of the sections.
    {"several_problems.dat", 13,
     "NODE record 3: expected the node number 3 (its position in the table), found 4", 2},
    // 31 problems (ten node numbers, ten element nodes out of range and nine
    // repeated, material, thickness): the first 20 are listed, then how many
    // more there are.
    {"many_problems.dat", 11,
     "NODE record 1: expected the node number 1 (its position in the table), found 0", 21,
     "many_problems.dat: 11 more problems not listed"},
};

std::filesystem::path bad_folder() { return std::filesystem::path(testing::source_dir()) / "tests/data/bad"; }

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

int line_count(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// A result file that differs from anything the program writes, line ends and
// a byte outside ASCII included.
const std::string kEarlierResult = "an earlier result\r\n\x01\xff kept byte for byte\n";

TEST(BadInput, EveryFileInTheFolderIsInTheTable) {
  std::vector<std::string> listed;
  for (const BadFile& bad : kBadFiles) listed.emplace_back(bad.name);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(std::adjacent_find(listed.begin(), listed.end()), listed.end()) << "a file is listed twice";
  std::vector<std::string> present;
  for (const auto& entry : std::filesystem::directory_iterator(bad_folder()))
    present.push_back(entry.path().filename());
  std::sort(present.begin(), present.end());
  EXPECT_EQ(present, listed);
  EXPECT_GE(present.size(), 30u);
}

TEST(BadInput, EachFileIsRefusedWithItsLineNamed) {
  for (const BadFile& bad : kBadFiles) {
    SCOPED_TRACE(bad.name);
    ScratchDir dir;
    write_file(dir / bad.name, read_file(bad_folder() / bad.name));
    const auto run = run_quorix({bad.name}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(first_line(run.err),
              std::string(bad.name) + ":" + std::to_string(bad.line) + ": " + bad.message);
    EXPECT_EQ(line_count(run.err), bad.lines) << run.err;
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.back(), '\n');
    if (bad.last != nullptr) {
      const std::string last = run.err.substr(0, run.err.size() - 1);
      EXPECT_EQ(last.substr(last.rfind('\n') + 1), bad.last);
    }
    // Neither a result file nor a temporary one is left behind.
    EXPECT_EQ(dir.entries(), std::vector<std::string>{bad.name});
  }
}

TEST(BadInput, AnEarlierResultFileIsKeptByteForByte) {
  for (const BadFile& bad : kBadFiles) {
    SCOPED_TRACE(bad.name);
    ScratchDir dir;
    const std::string result_name = std::string(bad.name) + ".out";
    write_file(dir / bad.name, read_file(bad_folder() / bad.name));
    write_file(dir / result_name, kEarlierResult);
    const auto run = run_quorix({bad.name}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(first_line(run.err),
              std::string(bad.name) + ":" + std::to_string(bad.line) + ": " + bad.message);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{bad.name, result_name}));
    EXPECT_EQ(read_file(dir / result_name), kEarlierResult);
  }
}

// Files too big to keep in the source tree, made here: one line of many
// megabytes, as a whole file or as one item inside a good one.
TEST(BadInput, OneHugeLineIsRefusedAndShownCut) {
  const std::string example =
      read_file(std::filesystem::path(testing::source_dir()) / "examples/one_element.dat");
  const std::string node_4 = " 4        2.0    1.0";
  const auto with_node_4 = [&](const std::string& line) {
    std::string text = example;
    return text.replace(text.find(node_4), node_4.size(), line);
  };
  const std::string many_digits(16 << 20, '7');
  const struct {
    const char* what;
    std::string text;
    std::string error;
  } cases[] = {
      {"no line end at all", std::string(16 << 20, 'A'),
       "h.dat:1: expected a section \"GENERAL\", found the end of the file without one"},
      {"a number of 16 million digits", with_node_4(" 4 2.0 " + many_digits),
       "h.dat:14: NODE record 4: expected the y coordinate (a finite real number), found '" +
           std::string(40, '7') + "...'"},
      {"a node number of 16 million digits", with_node_4(" " + many_digits + " 2.0 1.0"),
       "h.dat:14: NODE record 4: expected the node number (an integer from -2147483648 to 2147483647), found "
       "'" +
           std::string(40, '7') + "...'"},
      {"a quoted text without its end", with_node_4(" 4 2.0 '" + many_digits),
       "h.dat:14: NODE record 4: expected the y coordinate (a finite real number), found ''" +
           std::string(39, '7') + "...' without its closing quote"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    write_file(dir / "h.dat", c.text);
    write_file(dir / "h.dat.out", kEarlierResult);
    const auto run = run_quorix({"h.dat"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.error + "\n");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"h.dat", "h.dat.out"}));
    EXPECT_EQ(read_file(dir / "h.dat.out"), kEarlierResult);
  }
}

}  // namespace
}  // namespace quorix
