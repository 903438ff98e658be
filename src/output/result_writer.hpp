#pragma once
// The result file: a node table (coordinates, displacements, averaged,
// principal and von Mises stresses) and an element table (node numbers).

#include <iosfwd>
#include <string>

#include "element/element_tables.hpp"
#include "model/model.hpp"

namespace quorix {

void write_results(const Model& model, const AnalysisSettings& settings, const ElementTables& tables,
                   std::ostream& out);

// A real as "0.dddddddd" with its exponent, right-justified in 18 columns:
// " 0.10000000E+01", "-0.25000000E-06"; exponents beyond two digits lose the
// "E" ("0.10000000+101"). A value left undefined by a failed solve is written
// as "NaN", "Infinity" or "-Infinity" in the same 18 columns.
std::string format_result_real(double value);
// An integer right-justified in 6 columns, widened when it does not fit.
std::string format_result_int(long long value);

// The principal stresses of a node, S11 >= S22 >= S33, and its von Mises
// stress, from the node's averaged components.
struct PrincipalStresses {
  double s11 = 0.0;
  double s22 = 0.0;
  double s33 = 0.0;
  double von_mises = 0.0;
};
PrincipalStresses principal_stresses(double sxx, double syy, double szz, double sxy);

}  // namespace quorix
