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

// A real as "0.dddddddd" with its exponent, right-justified in 18 columns.
std::string format_result_real(double value);
// An integer right-justified in 6 columns, widened when it does not fit.
std::string format_result_int(long long value);

}  // namespace quorix
