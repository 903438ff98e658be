#pragma once
// The input file reader. The file is a sequence of keyword sections ("GENERAL",
// "NODE", "MATERIAL", "THICKNESS", "ELEMENT", "FORCE", "PRESSURE",
// "DISPLACEMENT"), each searched for from the top of the file, so sections may
// come in any order and text outside them is ignored. Three free lines follow
// each keyword line (ruler, heading, ruler); then come the data lines, one
// record per line, up to a terminator: the first line whose first item begins
// with '-'. "GENERAL" holds one record of settings and needs no terminator.
//
// Items are read free-format: separated by blanks, tabs or one comma with
// optional blanks; texts bare or quoted (' or ", a doubled quote standing for
// one); integers; reals with an E or D exponent; r*value repeats. Only
// "GENERAL" may run over several lines, end early with a slash or leave values
// out (",,"). Whatever follows the last item of a record is a remark.
//
// A file that cannot be read this way raises InputError with one line:
// "FILE:LINE: expected ..., found ...". So does a line outside the sections
// that is a section keyword written another way ("Force", "FORCE:",
// "FORCES") with that section's lines under it, which would otherwise be
// skipped as a remark together with its records. A keyword that starts a
// second section is read as text outside the sections, with a warning.

#include <array>
#include <istream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "model/fixed_text.hpp"
#include "model/model.hpp"
#include "sparse/large_memory.hpp"

namespace quorix {

class TaskPool;

// The file's lines, indexed once. A CR before the line end (or at the end of
// the file) is not part of the line; neither is a UTF-8 byte-order mark at the
// very start. The text must outlive the index.
class InputLines {
 public:
  // Line numbers and the reader's sums on them stay within int.
  static constexpr int kMaxLines = std::numeric_limits<int>::max() - 8;

  // Indexes at most `max_lines` lines; cut() tells whether the text has more.
  // The lines' first items are read side by side on `pool`.
  InputLines(std::string_view text, TaskPool& pool, int max_lines = kMaxLines);
  int count() const { return static_cast<int>(starts_.size()); }
  bool cut() const { return cut_; }
  // Line `number`, 1-based, without its line end.
  std::string_view line(int number) const;

  // How line `number` starts, as the section search reads it: blank, with
  // no text (a null item or a slash), or with a text, whose first 20
  // characters go to `text` (an unclosed quote runs to the end of the line).
  // Worked out once for every line, the searches going over them many times.
  enum class Start : char { blank_line, none, text };
  Start first_item(int number, FixedText<20>& text) const {
    text = first_text(number);
    return first_kind(number);
  }
  Start first_kind(int number) const { return first_kinds_[static_cast<std::size_t>(number - 1)]; }
  const FixedText<20>& first_text(int number) const {
    return first_texts_[static_cast<std::size_t>(number - 1)];
  }

 private:
  std::string_view text_;
  LargeVector<std::size_t> starts_;
  LargeVector<std::size_t> lengths_;
  LargeVector<Start> first_kinds_;
  LargeVector<FixedText<20>> first_texts_;
  bool cut_ = false;
};

// Where a section stands in the file. Line numbers are 1-based; when the file
// ends within the three free lines, first_data_line is count() + 1.
struct SectionStart {
  bool found = false;
  int keyword_line = 0;
  int first_data_line = 0;
};

// The first line of the whole file whose first item is exactly `keyword`
// (case counts, trailing blanks of the item do not; blank lines are passed
// over). The first item is read as a text of 20 characters.
SectionStart find_section(const InputLines& lines, std::string_view keyword);

// The line numbers of the section's data lines: the non-blank lines between
// the three free lines and the terminator. Empty for a missing section.
// Throws InputError when the file ends before the terminator.
std::vector<int> section_data_lines(const InputLines& lines, std::string_view keyword,
                                    const std::string& file_name);
// The number of data lines of the section (0 for a missing one).
int count_section_lines(const InputLines& lines, std::string_view keyword, const std::string& file_name);

// The line on which each record was read, for messages about the model.
// general[i] is the line of setting i (analysis type, stress state, load
// increments, displacement tolerance, penalty factor); for a setting the
// file leaves out it is the line on which the record ended.
struct SourceLines {
  std::array<int, 5> general{};
  int node_keyword = 0;  // the "NODE" keyword line, 0 when the file has none
  int last_line = 0;     // the number of lines in the file
  std::vector<int> nodes;
  std::vector<int> materials;
  std::vector<int> thicknesses;
  std::vector<int> elements;
  std::vector<int> forces;
  std::vector<int> pressures;
  std::vector<int> displacements;
  // Lines for standard error about what the reader passed over without
  // refusing the file ("FILE:LINE: warning: ..."), in the order of the file.
  std::vector<std::string> warnings;
};

// Reads the whole model from the file's text into `model` (whose tables are
// replaced) and `settings` (whose values the file leaves out stay as they
// are), then creates the global system (create_global_system). `file_name` is used in
// messages only. Numbers are not compared with the table sizes here; see
// check_model. The records of a section are read side by side on `pool`.
SourceLines read_input_text(std::string_view text, const std::string& file_name, Model& model,
                            AnalysisSettings& settings, TaskPool& pool);
// The same from lines already indexed; a cut index is refused.
SourceLines read_input_lines(const InputLines& lines, const std::string& file_name, Model& model,
                             AnalysisSettings& settings, TaskPool& pool);
// The same, reading the stream to its end first.
SourceLines read_input_file(std::istream& in, const std::string& file_name, Model& model,
                            AnalysisSettings& settings, TaskPool& pool);

// A found item shown in a message: bytes outside printable ASCII escaped as
// \xNN (\t for a tab), more than 40 characters cut with "...", in quotes.
std::string quoted_for_message(std::string_view text);

}  // namespace quorix
