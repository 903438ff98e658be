#pragma once
// Global equation numbers of an element and its self-weight load vector.

#include <array>

#include "element/element_tables.hpp"
#include "model/model.hpp"

namespace quorix {

// Local position 2a - 1 / 2a (node a = 1..10 with id k) -> equations 2k - 1 / 2k.
std::array<int, 20> element_dof_numbers(const ElementData& element);
// Self-weight (specific weight times thickness, acting in -y), integrated with
// the 7-point rule; x entries stay 0.
Vec20 element_gravity_vector(const ElementTables& tables, const ElementData& element);

}  // namespace quorix
