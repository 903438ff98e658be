// Error and warning lines of the solver phases. Texts and field widths are
// fixed: scripts and people compare them.

#include <iostream>
#include <string>

#include "solver/solver_interface.hpp"
#include "solver/solver_listings.hpp"

namespace quorix {

std::ostream& solver_console(const Solver& solver) { return solver.console ? *solver.console : std::cout; }

void write_solver_error(const Solver& solver, const char* phase, int iflag, std::int64_t given_value) {
  if (solver.controls.error_unit <= 0) return;
  std::ostream& out = solver_console(solver);
  out << " **** ERROR RETURN FROM " << phase << " **** IFLAG=" << fortran_int(iflag, 3) << '\n';
  const std::int64_t ierror = solver.info.IERROR;
  switch (iflag) {
    case -1:
      out << " VALUE OF N OUT OF RANGE ... =" << fortran_int(given_value, 10) << '\n';
      break;
    case -2:
      out << " VALUE OF NZ OUT OF RANGE .. =" << fortran_int(given_value, 10) << '\n';
      break;
    case -3:
      out << " LIW TOO SMALL, MUST BE INCREASED FROM" << fortran_int(given_value, 10) << " TO AT LEAST"
          << fortran_int(ierror, 10) << '\n';
      break;
    case -4:
      out << " LA TOO SMALL, MUST BE INCREASED FROM " << fortran_int(given_value, 10) << " TO AT LEAST"
          << fortran_int(ierror, 10) << '\n';
      break;
    case -5:
      out << " ZERO PIVOT AT STAGE" << fortran_int(ierror, 10) << " WHEN INPUT MATRIX DECLARED DEFINITE\n";
      break;
    case -6:
      out << " CHANGE IN SIGN OF PIVOT ENCOUNTERED WHEN FACTORING ALLEGEDLY DEFINITE MATRIX\n";
      break;
    case -7:
      out << " NNODES is out of range\n";
      break;
    case -8:
      out << " IPLAN(.,1) IS NOT A PERMUTATION, FIRST AT VARIABLE" << fortran_int(ierror, 10) << '\n';
      break;
    default:
      break;
  }
}

static void write_warning_header(std::ostream& out, const char* phase, int iflag) {
  out << " *** WARNING MESSAGE FROM SUBROUTINE " << phase << " *** IFLAG =" << fortran_int(iflag, 2) << '\n';
}

void write_ignored_entry_warning(const Solver& solver, const char* phase, std::int64_t count,
                                 std::int64_t entry, int row, int col) {
  if (solver.controls.diagnostic_unit <= 0) return;
  std::ostream& out = solver_console(solver);
  if (count == 1) write_warning_header(out, phase, 1);
  if (count <= 10) {
    out << fortran_int(entry, 6) << "TH NON-ZERO (IN ROW" << fortran_int(row, 6) << " AND COLUMN"
        << fortran_int(col, 6) << ") IGNORED\n";
  }
}

void write_singular_warning(const Solver& solver, std::int64_t rank) {
  if (solver.controls.diagnostic_unit <= 0) return;
  std::ostream& out = solver_console(solver);
  write_warning_header(out, "MFFACT", 3);
  out << "     MATRIX IS SINGULAR. RANK=" << fortran_int(rank, 5) << '\n';
}

void write_sign_change_warning(const Solver& solver, std::int64_t pivot) {
  if (solver.controls.diagnostic_unit <= 0) return;
  std::ostream& out = solver_console(solver);
  write_warning_header(out, "MFFACT", 2);
  out << " PIVOT" << fortran_int(pivot, 6) << " HAS DIFFERENT SIGN FROM THE PREVIOUS ONE\n";
}

}  // namespace quorix
