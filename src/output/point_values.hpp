#pragma once
// Results at points of the plate that need not be nodes: the point is found
// in its element by inverting the element's curved map, and the displacements
// and the averaged nodal stresses are interpolated there with the element's
// own shape functions (so at a node they are the node's values).

#include <cstdint>
#include <vector>

#include "element/element_sampling.hpp"
#include "model/model.hpp"
#include "output/nodal_results.hpp"

namespace quorix {

// Finds the element a point lies in, through a grid of cells over the plate
// that lists the elements whose box (around their nodes, widened for curved
// edges) meets each cell.
class PointLocator {
 public:
  explicit PointLocator(const Model& model);
  // The first element (lowest number) that holds (x, y), with the point's
  // natural coordinates in it; 0 when the point lies outside the plate.
  int find(double x, double y, NaturalPoint& at) const;

 private:
  const Model& model_;
  double x0_ = 0.0, y0_ = 0.0, cell_ = 1.0;
  int columns_ = 1, rows_ = 1;
  std::vector<std::int64_t> first_;  // by cell: where its elements start in elements_
  std::vector<int> elements_;
  std::vector<std::array<double, 4>> boxes_;  // by element position: x low, x high, y low, y high
};

struct PointValues {
  double x = 0.0, y = 0.0;
  int element = 0;  // 0: outside the plate, the rest left zero
  double u = 0.0, v = 0.0;
  NodeStress stress;  // the stresses themselves, with their principal and von Mises values
};

PointValues values_at(const Model& model, const NodalResults& results, const PointLocator& locator, double x,
                      double y);

}  // namespace quorix
