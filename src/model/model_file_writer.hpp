#pragma once
// Writes a model as a model file that the reader reads back to the same
// records: every section, each under its keyword with a ruler, a column
// heading and a ruler, its records in aligned columns, and a closing ruler;
// empty sections too, so that a person can fill them in. Reals are written
// with 16 significant digits, as many as Gmsh's ASCII meshes carry.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/input_reader.hpp"
#include "model/model.hpp"

namespace quorix {

// `remark` is written as the first line, outside every section, and each of
// `more_remarks` on a line of its own after it, with any control character (a
// line break, say) written as a blank. None may begin with a section keyword.
// Returns the line of every record written, as the reader would have reported
// it, for the model checks.
SourceLines write_model_file(std::ostream& out, const Model& model, const AnalysisSettings& settings,
                             std::string_view remark, const std::vector<std::string>& more_remarks = {});

// A real as the model file holds it: 16 significant digits, shortest form,
// with a decimal point or an exponent ("3.0", "2.000000000003239", "1e-06").
std::string model_file_real(double value);

}  // namespace quorix
