#include "element/element_check.hpp"

#include <cmath>

#include "element/element_kinematics.hpp"
#include "element/element_shape.hpp"
#include "model/model_check.hpp"

namespace quorix {

std::vector<std::string> check_element_geometry(const Model& model, const ElementTables& tables,
                                                const SourceLines& source, const std::string& file_name) {
  ProblemList problems(file_name);
  for (int k = 1; k <= model.elements.size(); ++k) {
    const ElementData element = gather_element(model, model.elements(k));
    const int point = first_nonpositive_jacobian_point(tables, element);
    if (point == 0) {
      if (const std::string problem = edge_order_problem(element); !problem.empty())
        problems.add(record_line(source.elements, k), "ELEMENT record " + std::to_string(k) + ": " + problem);
      continue;
    }
    const Mat2 j = jacobian(tables, element, point);
    const double det = determinant(j);
    // Coordinates near the largest real numbers make the determinant overflow
    // whatever the shape; say so rather than blame the corner order.
    if (std::isnan(det) || std::isinf(det))
      problems.add(record_line(source.elements, k),
                   "ELEMENT record " + std::to_string(k) +
                       ": expected node coordinates small enough to compute the element's size with, found a "
                       "Jacobian determinant that overflows at area point " +
                       std::to_string(point));
    else
      problems.add(
          record_line(source.elements, k),
          "ELEMENT record " + std::to_string(k) +
              ": expected corners listed counter-clockwise and a shape neither collapsed nor tangled, "
              "found a Jacobian determinant that is not positive at area point " +
              std::to_string(point));
  }
  return problems.lines();
}

}  // namespace quorix
