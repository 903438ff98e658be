// The solver's diagnostic listings and the Fortran-style fields they and the
// messages are written with. Texts, widths and line breaks are fixed: the
// listings are compared line by line.

#include "solver/solver_listings.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

#include "solver/factorization_phase.hpp"

namespace quorix {

// ---- Fields ------------------------------------------------------------------

std::string blanks(int count) { return std::string(static_cast<std::size_t>(std::max(count, 0)), ' '); }

std::string fortran_int(std::int64_t value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return blanks(width - static_cast<int>(digits.size())) + digits;
}

std::string fortran_fixed0(double value, int width) {
  const std::string stars(static_cast<std::size_t>(width), '*');
  if (!(std::fabs(value) < 1e18)) return stars;
  char text[32];
  std::snprintf(text, sizeof text, "%.0f.", std::round(value));
  const std::string digits(text);
  if (static_cast<int>(digits.size()) > width) return stars;
  return blanks(width - static_cast<int>(digits.size())) + digits;
}

std::string fortran_exponent(double value, int width, int decimals, char letter) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*E", decimals, value);
  std::string text = buffer;
  const std::size_t e = text.find('E');
  if (e != std::string::npos) {
    const int exponent = std::atoi(text.c_str() + e + 1);
    const int magnitude = std::abs(exponent);
    std::string digits = std::to_string(magnitude);
    if (digits.size() < 2) digits.insert(0, 1, '0');
    // A three-digit exponent takes the letter's place.
    text = text.substr(0, e) + (magnitude > 99 ? "" : std::string(1, letter)) + (exponent < 0 ? '-' : '+') +
           digits;
  }
  if (static_cast<int>(text.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return blanks(width - static_cast<int>(text.size())) + text;
}

// ---- Lists -------------------------------------------------------------------

void write_integer_list(std::ostream& out, const std::string& label, View1<const int> values,
                        std::int64_t count) {
  out << label;
  for (std::int64_t i = 1; i <= count; ++i) {
    if (i > 1 && (i - 1) % 10 == 0) out << '\n' << blanks(static_cast<int>(label.size()));
    out << fortran_int(values(i), 6);
  }
  out << '\n';
}

void write_real_list(std::ostream& out, const std::string& label, const double* values, std::int64_t count) {
  out << label;
  for (std::int64_t i = 0; i < count; ++i) {
    if (i > 0 && i % 5 == 0) out << '\n' << blanks(static_cast<int>(label.size()));
    out << fortran_exponent(values[i], 13, 3, 'D');
  }
  out << '\n';
}

void write_factor_blocks(std::ostream& out, View1<const double> real_space, View1<const int> int_space,
                         bool full) {
  const int block_count = std::abs(int_space(1));
  std::int64_t pos = 2;   // block header
  std::int64_t real = 1;  // first pivot row of the block
  for (int b = 1; b <= block_count; ++b) {
    const FactorBlock block = read_factor_block(int_space, pos);
    const int front_order = block.front_order;
    const int pivots = block.pivots;
    out << " BLOCK PIVOT =" << fortran_int(b, 8) << " NROWS =" << fortran_int(pivots, 8)
        << " NCOLS =" << fortran_int(front_order, 8) << '\n';
    write_integer_list(out, " COLUMN INDICES =", int_space.from(block.list), front_order);
    out << " REAL ENTRIES .. EACH ROW STARTS ON A NEW LINE\n";
    for (int r = 1; r <= pivots; ++r) {
      write_real_list(out, "", real_space.data() + (real - 1) + row_offset(r, front_order),
                      front_order - r + 1);
    }
    if (!full) break;
    pos = block.list + front_order;
    real += factor_block_reals(block);
  }
}

// ---- MFANAL --------------------------------------------------------------------

void write_analysis_entry_listing(const Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                                  View1<const int> cols, std::int64_t liw, View1<const int> iplan,
                                  int iflag) {
  std::ostream& out = solver_console(solver);
  const bool full = solver.controls.diagnostic_level >= 2;
  out << "\n\n ENTERING MFANAL WITH      N     NZ      LIW  IFLAG\n"
      << blanks(21) << fortran_int(n, 7) << fortran_int(nz, 7) << fortran_int(liw, 9) << fortran_int(iflag, 7)
      << '\n';
  out << " MATRIX NON-ZEROS\n";
  const std::int64_t shown = std::max<std::int64_t>(0, full ? nz : std::min<std::int64_t>(8, nz));
  for (std::int64_t k = 1; k <= shown; ++k) {
    out << fortran_int(rows(k), 9) << fortran_int(cols(k), 6);
    if (k % 4 == 0 || k == shown) out << '\n';
  }
  if (iflag == 1) write_integer_list(out, " IPLAN(.,1)=", iplan, std::max(0, full ? n : std::min(10, n)));
}

void write_analysis_exit_listing(const Solver& solver, int n, View1<const int> iplan, int nnodes, int iflag) {
  std::ostream& out = solver_console(solver);
  const SolverInfo& info = solver.info;
  const std::string indent = blanks(20);
  out << "\n LEAVING MFANAL WITH NNODES  IFLAG    OPS IERROR RTOTAL ITOTAL\n"
      << indent << fortran_int(nnodes, 7) << fortran_int(iflag, 7) << fortran_fixed0(info.OPS, 7)
      << fortran_int(info.IERROR, 7) << fortran_int(info.RTOTAL, 7) << fortran_int(info.ITOTAL, 7) << '\n'
      << indent << " RNEEDS INEEDS RFACTS IFACTS NCOMPA\n"
      << indent << fortran_int(info.RNEEDS, 7) << fortran_int(info.INEEDS, 7) << fortran_int(info.RFACTS, 7)
      << fortran_int(info.IFACTS, 7) << fortran_int(info.NCOMPA, 7) << '\n';
  const int shown = solver.controls.diagnostic_level >= 2 ? n : std::min(9, n);
  write_integer_list(out, " IPLAN(.,1)=", iplan, shown);
  write_integer_list(out, " IPLAN(.,2)=", iplan.from(n + 1), std::min(shown, nnodes));
  write_integer_list(out, " IPLAN(.,3)=", iplan.from(2 * static_cast<std::int64_t>(n) + 1),
                     std::min(shown, nnodes));
}

// ---- MFFACT --------------------------------------------------------------------

void write_factorization_entry_listing(const Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                                       View1<const int> cols, View1<const double> real_space, std::int64_t la,
                                       std::int64_t liw, View1<const int> iplan, int nnodes) {
  std::ostream& out = solver_console(solver);
  const bool full = solver.controls.diagnostic_level >= 2;
  out << "\n\n ENTERING MFFACT WITH      N     NZ       LA      LIW NNODES      U\n"
      << blanks(21) << fortran_int(n, 7) << fortran_int(nz, 7) << fortran_int(la, 9) << fortran_int(liw, 9)
      << fortran_int(nnodes, 7) << fortran_exponent(solver.controls.U, 10, 2, 'E') << '\n';
  out << " MATRIX NON-ZEROS\n";
  const std::int64_t entries = std::min(full ? nz : 6, std::min(nz, real_space.size()));
  for (std::int64_t k = 1; k <= entries; ++k) {
    if (k % 2 == 1) out << ' ';
    out << fortran_exponent(real_space(k), 16, 3, 'D') << fortran_int(rows(k), 6) << fortran_int(cols(k), 6);
    if (k % 2 == 0 || k == entries) out << '\n';
  }
  const std::int64_t order = std::max(n, 0);
  const std::int64_t nodes = std::clamp<std::int64_t>(nnodes, 0, order);
  const std::int64_t shown = full ? order : std::min<std::int64_t>(9, order);
  write_integer_list(out, " IPLAN(.,1)=", iplan, shown);
  write_integer_list(out, " IPLAN(.,2)=", iplan.from(order + 1), std::min(shown, nodes));
  write_integer_list(out, " IPLAN(.,3)=", iplan.from(2 * order + 1), std::min(shown, nodes));
}

void write_factorization_exit_listing(const Solver& solver, int mfront, int iflag,
                                      View1<const double> real_space, View1<const int> int_space) {
  std::ostream& out = solver_console(solver);
  const SolverInfo& info = solver.info;
  out << "\n LEAVING MFFACT WITH\n"
      << blanks(10) << "  MFRONT  IFLAG RUSAGE IUSAGE NCOMPR NCOMPI   NTWO IERROR\n"
      << blanks(11) << fortran_int(mfront, 7) << fortran_int(iflag, 7) << fortran_int(info.RUSAGE, 7)
      << fortran_int(info.IUSAGE, 7) << fortran_int(info.NCOMPR, 7) << fortran_int(info.NCOMPI, 7)
      << fortran_int(info.NTWO, 7) << fortran_int(info.IERROR, 7) << '\n';
  write_factor_blocks(out, real_space, int_space, solver.controls.diagnostic_level >= 2);
}

// ---- MFSOLV --------------------------------------------------------------------

void write_solution_entry_listing(const Solver& solver, int n, View1<const double> real_space,
                                  std::int64_t la, View1<const int> int_space, std::int64_t liw, int mfront,
                                  int nnodes, View1<const double> rhs) {
  std::ostream& out = solver_console(solver);
  const bool full = solver.controls.diagnostic_level >= 2;
  out << "\n\n ENTERING MFSOLV WITH      N     LA    LIW MFRONT  NNODES\n"
      << blanks(21) << fortran_int(n, 7) << fortran_int(la, 7) << fortran_int(liw, 7)
      << fortran_int(mfront, 7) << fortran_int(nnodes, 7) << '\n';
  if (liw >= 1 && int_space(1) != 0) write_factor_blocks(out, real_space, int_space, full);
  write_real_list(out, " RHS", rhs.data(), full ? std::max(n, 0) : std::min(10, std::max(n, 0)));
}

void write_solution_exit_listing(const Solver& solver, int n, View1<const double> rhs) {
  std::ostream& out = solver_console(solver);
  const bool full = solver.controls.diagnostic_level >= 2;
  out << "\n\n LEAVING MFSOLV WITH\n";
  if (n >= 1) write_real_list(out, " RHS", rhs.data(), full ? n : std::min(10, n));
}

}  // namespace quorix
