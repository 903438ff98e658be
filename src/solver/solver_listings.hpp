#pragma once
// The solver's diagnostic listings (diagnostic_level >= 1) and the
// Fortran-style fields that its listings and messages are written with.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "solver/solver_interface.hpp"

namespace quorix {

// `count` blanks.
std::string blanks(int count);
// Integer field Iw: right-justified in `width`, asterisks when it does not fit.
std::string fortran_int(std::int64_t value, int width);
// Fixed field Fw.0: the value rounded to a whole number and its decimal point.
std::string fortran_fixed0(double value, int width);
// Scaled exponent field (1PEw.d, or 1PDw.d with letter 'D'): one digit before
// the point, `decimals` after it, right-justified in `width`, asterisks when
// it does not fit.
std::string fortran_exponent(double value, int width, int decimals, char letter);

// `label`, then `count` integers in I6, ten a line; continuation lines are
// indented by the label's width.
void write_integer_list(std::ostream& out, const std::string& label, View1<const int> values,
                        std::int64_t count);
// `label`, then `count` reals in the 13-wide D form, five a line; continuation
// lines are indented by the label's width.
void write_real_list(std::ostream& out, const std::string& label, const double* values, std::int64_t count);

// The factor blocks held in real_space / int_space: every block (full) or
// only the first (short), each with its column indices and pivot rows.
void write_factor_blocks(std::ostream& out, View1<const double> real_space, View1<const int> int_space,
                         bool full);

// ---- The phases' entry and exit listings. ----------------------------------
void write_analysis_entry_listing(const Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                                  View1<const int> cols, std::int64_t liw, View1<const int> iplan, int iflag);
void write_analysis_exit_listing(const Solver& solver, int n, View1<const int> iplan, int nnodes, int iflag);
void write_factorization_entry_listing(const Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                                       View1<const int> cols, View1<const double> real_space, std::int64_t la,
                                       std::int64_t liw, View1<const int> iplan, int nnodes);
void write_factorization_exit_listing(const Solver& solver, int mfront, int iflag,
                                      View1<const double> real_space, View1<const int> int_space);
void write_solution_entry_listing(const Solver& solver, int n, View1<const double> real_space,
                                  std::int64_t la, View1<const int> int_space, std::int64_t liw, int mfront,
                                  int nnodes, View1<const double> rhs);
void write_solution_exit_listing(const Solver& solver, int n, View1<const double> rhs);

}  // namespace quorix
