#pragma once
// The test that every element of a model that has just been read is turned
// counter-clockwise and neither collapsed nor tangled, which the element
// routines take for granted.

#include <string>
#include <vector>

#include "element/element_tables.hpp"
#include "model/input_reader.hpp"
#include "model/model.hpp"

namespace quorix {

// One line per element whose Jacobian determinant is not positive at one of
// the area points (clockwise corners, a collapsed or tangled element). The
// element references must have passed check_model.
std::vector<std::string> check_element_geometry(const Model& model, const ElementTables& tables,
                                                const SourceLines& source, const std::string& file_name);

}  // namespace quorix
