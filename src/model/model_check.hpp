#pragma once
// Tests a model that has just been read against what the analyses take for
// granted: numbers that are positions in their tables, keywords the analyses
// know, and physically meaningful material and thickness values. Without these
// tests such a file would not stop the run; it would give meaningless numbers,
// or index outside a table.

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "model/input_reader.hpp"
#include "model/model.hpp"

namespace quorix {

// At most this many problems are listed; a last line then tells how many more
// there were.
inline constexpr int kMaxListedProblems = 20;

// One line per problem, "FILE:LINE: expected ... of SECTION record K, found
// ...", in the order of the sections in the file format; empty when the model
// is sound. The element references are tested here; the element shapes need the
// element library and are tested there (check_element_geometry).
std::vector<std::string> check_model(const Model& model, const AnalysisSettings& settings,
                                     const SourceLines& source, const std::string& file_name);

// Collects problem lines, keeping the first kMaxListedProblems.
class ProblemList {
 public:
  explicit ProblemList(std::string file_name) : file_name_(std::move(file_name)) {}
  void add(int line, const std::string& text);
  bool empty() const { return total_ == 0; }
  // The listed lines, with the count of the unlisted ones at the end.
  std::vector<std::string> lines() const;

 private:
  std::string file_name_;
  std::vector<std::string> lines_;
  int total_ = 0;
};

// The line of record `number` (1-based) in `lines`, or 0 when it is not known.
int record_line(const std::vector<int>& lines, int number);

// What Poisson's ratio must be in the stress state, for a message ("Poisson's
// ratio above -1 and below 0.5 for plane strain"); empty when `nu` is so.
std::string poisson_ratio_expectation(double nu, bool plane_strain);

// A real for a message: the shortest text that reads back as the same value.
std::string number_for_message(double value);

// A real for a message about a place or a size: six significant digits.
std::string short_number_for_message(double value);

// A share for a message as a percentage: "18 %" from 0.1 up, else two
// significant digits ("4.2 %", "0.51 %").
std::string percent_for_message(double share);

// A place for a message, "(0, 50)": each coordinate to six significant digits.
std::string point_for_message(std::initializer_list<double> coordinates);

}  // namespace quorix
