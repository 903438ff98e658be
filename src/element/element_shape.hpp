#pragma once
// Tests of an element's shape beyond the sign of its Jacobian: the order of
// the nodes along each edge.

#include <string>

#include "element/element_tables.hpp"

namespace quorix {

// Where an edge of the element fails to run one way from its first node to
// its last: the cubic through its four nodes, differentiated along the edge,
// must point the same way as the chord from the first node to the last at
// each of the four nodes. Edge nodes out of order, or an edge that turns back
// on itself, fail; so does an edge whose ends coincide. Curved edges pass as
// long as they leave and reach their ends less than a quarter turn away
// from the chord.
struct EdgeFold {
  int edge = 0;      // 1..3, 0 when every edge runs one way
  int position = 0;  // 1..4: the node along the edge where it fails; 0 when the ends coincide
};
EdgeFold first_folded_edge(const ElementData& element);

// The fold above as "expected ..., found ..." for the element's message, or
// empty when every edge runs one way.
std::string edge_order_problem(const ElementData& element);

}  // namespace quorix
