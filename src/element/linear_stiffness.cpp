#include <cstddef>

#include "element/constitutive.hpp"
#include "element/element_kinematics.hpp"
#include "element/element_routines.hpp"

namespace quorix {

// K = integral over the element of B^T (t D) B dA, by the 7-point rule:
// K = sum_k (B_k^T t D B_k) w_k det J_k. det J keeps its sign, so an element
// listed clockwise gives -K.
Mat20 linear_element_stiffness(const ElementTables& tables, const AnalysisSettings& settings,
                               const ElementData& element) {
  Mat20 k{};
  const Mat3 d = elastic_matrix(element.material, settings.stress_state);
  Mat3 td{};
  for (std::size_t r = 0; r < 3; ++r)
    for (std::size_t s = 0; s < 3; ++s) td[r][s] = element.thickness * d[r][s];

  for (std::size_t p = 0; p < kAreaPoints; ++p) {
    const Mat2 j = jacobian_from(tables.dqsi[p], tables.deta[p], element);
    const double det = determinant(j);
    const Mat3x20 b = strain_displacement_from(inverse_of(j), tables.gradient_operator[p]);
    const Mat3x20 db = times(td, b);
    const Mat20 product = transpose_times(b, db);
    const double weight = kAreaWeight[p];
    for (std::size_t r = 0; r < 20; ++r)
      for (std::size_t c = 0; c < 20; ++c) k[r][c] += product[r][c] * weight * det;
  }
  return k;
}

}  // namespace quorix
