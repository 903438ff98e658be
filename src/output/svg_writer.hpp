#pragma once
// The picture: the deformed plate coloured by the von Mises stress, as SVG.

#include <array>
#include <iosfwd>
#include <string>

#include "model/model.hpp"
#include "output/nodal_results.hpp"

namespace quorix {

// Where the picture puts the deformed plate. Displacements are drawn
// `magnification` times their size, so that the largest is a tenth of the
// model's larger extent; a model point (x, y) of the deformed shape lands at
// page(x, y), in pixels from the page's top left corner, y pointing down.
struct PictureLayout {
  double magnification = 1.0;
  double largest_displacement = 0.0;
  double scale = 1.0;                      // pixels per model length
  double x_min = 0.0, y_max = 0.0;         // the deformed shape's top left corner ...
  double plot_left = 0.0, plot_top = 0.0;  // ... is drawn here
  double plot_width = 0.0, plot_height = 0.0;
  double page_width = 0.0, page_height = 0.0;
  std::array<double, 2> page(double x, double y) const {
    return {plot_left + (x - x_min) * scale, plot_top + (y_max - y) * scale};
  }
  // The node's deformed position on the page.
  std::array<double, 2> page(const Node& node) const;
};
PictureLayout picture_layout(const Model& model);

// What the title says besides the file name.
struct PictureTitle {
  std::string file_name;
  double load_level = 1.0;  // the share of the loads the results belong to
};

// Each element is cut into flat triangles, fewer where the element is small on
// the page, each filled with the colour of the von Mises stress (of the
// stresses themselves, not times the thickness) at its centre, interpolated
// from the element's nodes. The element outlines follow the deformed cubic
// edges; where the elements are too small on the page to tell apart, only the
// plate's own edges are drawn. A colour bar gives the stress range, the title
// the file, analysis and load, a second line the displacement scale.
void write_svg(const Model& model, const AnalysisSettings& settings, const NodalResults& results,
               const PictureTitle& title, std::ostream& out);

// The colour of `share` (0 to 1, clamped) on the picture's colour scale, a
// perceptually uniform map from dark blue through green to yellow, "#rrggbb".
std::string stress_colour(double share);

}  // namespace quorix
