#pragma once
// The test that every element of a model that has just been read is turned
// counter-clockwise, neither collapsed nor tangled, and has its edge nodes in
// order, which the element routines take for granted.

#include <string>
#include <vector>

#include "element/element_tables.hpp"
#include "model/input_reader.hpp"
#include "model/model.hpp"

namespace quorix {

// One line per element whose Jacobian determinant is not positive at one of
// the area points (clockwise corners, a collapsed or tangled element) or,
// failing that, one of whose edges does not run one way (edge nodes out of
// order). The element references must have passed check_model.
std::vector<std::string> check_element_geometry(const Model& model, const ElementTables& tables,
                                                const SourceLines& source, const std::string& file_name);

}  // namespace quorix
