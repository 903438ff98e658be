#pragma once
// Plain comma-separated tables for scripts (numpy.genfromtxt with
// names=True, pandas.read_csv, a spreadsheet): one header line of names, then
// one row per node or per point, every real in the shortest form that reads
// back as the same double.

#include <iosfwd>
#include <vector>

#include "model/model.hpp"
#include "output/nodal_results.hpp"
#include "output/point_values.hpp"

namespace quorix {

// node,x,y,u,v,sxx,syy,szz,sxy,s1,s2,s3,von_mises,rx,ry: nodes numbered from 1
// as in the model file, the stresses themselves (not times the thickness),
// the support reactions (zero at free nodes and when not computed).
void write_node_csv(const Model& model, const NodalResults& results, std::ostream& out);

// distance,x,y,u,v,sxx,...,von_mises: the points that lie in the plate, with
// their distance from (x0, y0).
void write_line_csv(const std::vector<PointValues>& points, double x0, double y0, std::ostream& out);

}  // namespace quorix
