#pragma once
// The result file: a node table (coordinates, displacements, averaged,
// principal and von Mises stresses) and an element table (node numbers).

#include <iosfwd>
#include <string>

#include "model/model.hpp"
#include "output/nodal_results.hpp"

namespace quorix {

class TaskPool;

// Both tables, the stresses taken from `results.listed`. The rows are
// formatted side by side on `pool`.
void write_results(const Model& model, const NodalResults& results, std::ostream& out, TaskPool& pool);

// A real as "0.dddddddd" with its exponent, right-justified in 18 columns:
// " 0.10000000E+01", "-0.25000000E-06"; exponents beyond two digits lose the
// "E" ("0.10000000+101"). A value left undefined by a failed solve is written
// as "NaN", "Infinity" or "-Infinity" in the same 18 columns.
std::string format_result_real(double value);
// An integer right-justified in 6 columns, widened when it does not fit.
std::string format_result_int(long long value);

}  // namespace quorix
