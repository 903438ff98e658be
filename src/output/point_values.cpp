#include "output/point_values.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace quorix {

PointLocator::PointLocator(const Model& model) : model_(model) {
  const int elements = model.elements.size();
  boxes_.resize(static_cast<std::size_t>(elements));
  double x_low = 0.0, x_high = 0.0, y_low = 0.0, y_high = 0.0;
  for (int e = 0; e < elements; ++e) {
    std::array<double, 4>& box = boxes_[static_cast<std::size_t>(e)];
    const Element& element = model.elements[static_cast<std::size_t>(e)];
    box = {model.nodes(element.nodes[0]).x, model.nodes(element.nodes[0]).x, model.nodes(element.nodes[0]).y,
           model.nodes(element.nodes[0]).y};
    for (const int n : element.nodes) {
      box[0] = std::min(box[0], model.nodes(n).x);
      box[1] = std::max(box[1], model.nodes(n).x);
      box[2] = std::min(box[2], model.nodes(n).y);
      box[3] = std::max(box[3], model.nodes(n).y);
    }
    // A cubic edge may bulge a little beyond its nodes.
    const double margin = 0.1 * std::max(box[1] - box[0], box[3] - box[2]);
    box[0] -= margin;
    box[1] += margin;
    box[2] -= margin;
    box[3] += margin;
    x_low = e == 0 ? box[0] : std::min(x_low, box[0]);
    x_high = e == 0 ? box[1] : std::max(x_high, box[1]);
    y_low = e == 0 ? box[2] : std::min(y_low, box[2]);
    y_high = e == 0 ? box[3] : std::max(y_high, box[3]);
  }
  if (elements == 0) return;
  // About one element a cell.
  const double width = std::max(x_high - x_low, 0.0), height = std::max(y_high - y_low, 0.0);
  cell_ = std::max(std::sqrt(width * height / elements), std::max(width, height) / 4096.0);
  if (!(cell_ > 0.0)) cell_ = 1.0;
  x0_ = x_low;
  y0_ = y_low;
  columns_ = static_cast<int>(width / cell_) + 1;
  rows_ = static_cast<int>(height / cell_) + 1;
  const auto cells_of = [&](const std::array<double, 4>& box, auto visit) {
    const int i0 = static_cast<int>((box[0] - x0_) / cell_), i1 = static_cast<int>((box[1] - x0_) / cell_);
    const int j0 = static_cast<int>((box[2] - y0_) / cell_), j1 = static_cast<int>((box[3] - y0_) / cell_);
    for (int j = std::max(j0, 0); j <= std::min(j1, rows_ - 1); ++j)
      for (int i = std::max(i0, 0); i <= std::min(i1, columns_ - 1); ++i)
        visit(static_cast<std::size_t>(j) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(i));
  };
  // Counted first, then filled: the elements of each cell in element order.
  first_.assign(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_) + 1, 0);
  for (const auto& box : boxes_) cells_of(box, [&](std::size_t c) { ++first_[c + 1]; });
  for (std::size_t c = 1; c < first_.size(); ++c) first_[c] += first_[c - 1];
  elements_.resize(static_cast<std::size_t>(first_.back()));
  std::vector<std::int64_t> next(first_.begin(), first_.end() - 1);
  for (int e = 0; e < elements; ++e)
    cells_of(boxes_[static_cast<std::size_t>(e)],
             [&](std::size_t c) { elements_[static_cast<std::size_t>(next[c]++)] = e + 1; });
}

int PointLocator::find(double x, double y, NaturalPoint& at) const {
  if (elements_.empty() || !std::isfinite(x) || !std::isfinite(y)) return 0;
  const double i = std::floor((x - x0_) / cell_), j = std::floor((y - y0_) / cell_);
  if (i < 0.0 || j < 0.0 || i >= columns_ || j >= rows_) return 0;
  const std::size_t c =
      static_cast<std::size_t>(j) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(i);
  for (std::int64_t k = first_[c]; k < first_[c + 1]; ++k) {
    const int e = elements_[static_cast<std::size_t>(k)];
    const std::array<double, 4>& box = boxes_[static_cast<std::size_t>(e - 1)];
    if (x < box[0] || x > box[1] || y < box[2] || y > box[3]) continue;
    if (locate_in_element(gather_element(model_, model_.elements(e)), x, y, at)) return e;
  }
  return 0;
}

PointValues values_at(const Model& model, const NodalResults& results, const PointLocator& locator, double x,
                      double y) {
  PointValues values;
  values.x = x;
  values.y = y;
  NaturalPoint at;
  values.element = locator.find(x, y, at);
  if (values.element == 0) return values;
  const Element& element = model.elements(values.element);
  const Vec10 n = shape_functions(at.qsi, at.eta);
  for (std::size_t i = 0; i < 10; ++i) {
    const Node& node = model.nodes(element.nodes[i]);
    const NodeStress& s = results.stress(element.nodes[i]);
    values.u += n[i] * node.u;
    values.v += n[i] * node.v;
    values.stress.sxx += n[i] * s.sxx;
    values.stress.syy += n[i] * s.syy;
    values.stress.szz += n[i] * s.szz;
    values.stress.sxy += n[i] * s.sxy;
  }
  values.stress.principal =
      principal_stresses(values.stress.sxx, values.stress.syy, values.stress.szz, values.stress.sxy);
  return values;
}

}  // namespace quorix
