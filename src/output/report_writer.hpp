#pragma once
// The report: one plain text page, in fixed-width columns, with the numbers
// an engineer checks by hand after a run: what the model holds, the loads
// and the support reactions summed and their balance, the largest results
// and where they are, how accurate the stresses are estimated to be, the
// values at points asked for, and what the solver did.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "model/model.hpp"
#include "model/support_groups.hpp"
#include "output/error_estimate.hpp"
#include "output/nodal_results.hpp"
#include "output/point_values.hpp"

namespace quorix {

struct SolverFigures {
  int equations = 0;
  std::int64_t factor_entries = 0;  // reals in the factors
  int largest_front = 0;
  double seconds = 0.0;  // the three phases of every solve
  int solves = 0;
  std::string name;  // the solver, when it is not the program's own
};

struct ReportInput {
  std::string file_name;
  const Model* model = nullptr;  // with the displacements of the run
  const AnalysisSettings* settings = nullptr;
  const NodalResults* results = nullptr;  // with the reactions
  const ErrorEstimate* estimate = nullptr;
  double load_level = 1.0;           // the share of the nodal forces and edge loads applied
  Table1<double> loads;              // by equation: nodal forces and edge loads at load_level
  Table1<double> self_weight;        // by equation
  std::vector<SupportGroup> groups;  // from the model file; empty: reactions summed per direction
  std::vector<PointValues> points;   // --at
  SolverFigures solver;
};

void write_report(const ReportInput& input, std::ostream& out);

}  // namespace quorix
