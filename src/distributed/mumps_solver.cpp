#include "distributed/mumps_solver.hpp"

#include <dmumps_c.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

namespace quorix {

namespace {

// MUMPS numbers its controls and statistics from 1, as its guide does.
int& ICNTL(DMUMPS_STRUC_C& id, int k) { return id.icntl[k - 1]; }
double& CNTL(DMUMPS_STRUC_C& id, int k) { return id.cntl[k - 1]; }
int INFOG(const DMUMPS_STRUC_C& id, int k) { return id.infog[k - 1]; }

enum Job { kInit = -1, kEnd = -2, kAnalyse = 1, kFactorize = 2, kSolve = 3 };

// A pivot whose row is at most this share of the largest term of the
// (scaled) matrix counts as zero: the same share the program's own solver
// takes of a pivot's diagonal.
constexpr double kNullPivotShare = 1.0e-10;

// Errors that a larger workspace mends: the factorization is run again with
// ICNTL(14), the share by which MUMPS enlarges its forecast, doubled.
bool workspace_error(int code) {
  return code == -8 || code == -9 || code == -14 || code == -15 || code == -17 || code == -20;
}
constexpr int kWorkspaceRetries = 4;

// What an error of MUMPS means for the user and what to do about it.
std::string error_advice(const DMUMPS_STRUC_C& id) {
  const int code = INFOG(id, 1);
  const std::string detail = std::to_string(INFOG(id, 2));
  switch (code) {
    case -5:
    case -7:
    case -13:
      return "a process could not allocate memory (INFOG(2) = " + detail +
             "): run on more machines (mpirun -np N --hostfile hosts) or with more memory per process";
    case -6:
    case -10:
      return "the matrix is singular: missing supports, a node in no element, or two nodes at one place?";
    case -8:
    case -9:
    case -14:
    case -15:
    case -17:
    case -20: {
      std::string text = "its workspace fell short although its allowance ICNTL(14) was raised to ";
      text += std::to_string(id.icntl[13]);
      return text + " %: run on more processes";
    }
    case -11:
      return "its workspace for the solution fell short: run on more processes";
    case -19:
      return "the memory allowed to a process (ICNTL(23)) is too small";
    case -1: {
      std::string text = "process ";
      text += detail;
      return text + " stopped with an error of its own";
    }
    default:
      return "see the MUMPS user guide for this error (INFOG(2) = " + detail + ")";
  }
}

// When QUORIX_MUMPS_ESTIMATES is set, process 0 gives MUMPS's forecast of
// the memory after each analysis, for sizing a run on several machines.
bool estimates_asked() {
  const char* value = std::getenv("QUORIX_MUMPS_ESTIMATES");
  return value != nullptr && *value != '\0';
}

std::int64_t infog_count(int value) {
  // MUMPS gives counts beyond 32 bits negative, in millions.
  return value < 0 ? -static_cast<std::int64_t>(value) * 1000000 : value;
}

}  // namespace

struct MumpsEquationSolver::Instance {
  DMUMPS_STRUC_C id{};
  bool analysed = false;
  std::vector<int> rows, cols;  // this process's terms, from 1
  std::vector<double> values;
  std::vector<double> rhs;  // on process 0: the right-hand side, then the solution
  std::vector<int> order;   // on process 0, for a supplied order
};

double stiffness_size(const Model& model) {
  double largest = 0.0;
  for (const Element& element : model.elements) {
    const double size =
        model.materials(element.material).young_modulus * model.thicknesses(element.thickness).value;
    if (std::isfinite(size)) largest = std::max(largest, std::fabs(size));
  }
  // A power of two: the prescribed value times it, divided by it again in
  // the solve, comes back as it was.
  return largest > 0.0 ? std::exp2(std::round(std::log2(largest))) : 1.0;
}

MumpsEquationSolver::MumpsEquationSolver(const Model& model, MPI_Comm comm, std::vector<int> pivot_order,
                                         TaskPool* pool)
    : comm_(comm), pivot_order_(std::move(pivot_order)), pool_(pool), diagonal_(stiffness_size(model)) {
  MPI_Comm_rank(comm_, &rank_);
  MPI_Comm_size(comm_, &count_);
  if (rank_ == 0) {
    std::array<int, 2> equations{};
    for (const PrescribedDisplacement& record : model.prescribed_displacements) {
      const int n = prescribed_equations(record, equations);
      prescribed_.insert(prescribed_.end(), equations.begin(), equations.begin() + n);
    }
    std::sort(prescribed_.begin(), prescribed_.end());
    prescribed_.erase(std::unique(prescribed_.begin(), prescribed_.end()), prescribed_.end());
  }
  figures_.name = "MUMPS, " + std::to_string(count_) + (count_ == 1 ? " process" : " processes");
}

MumpsEquationSolver::~MumpsEquationSolver() { release(); }

AssemblyShare MumpsEquationSolver::share(const Model& model) const {
  const std::int64_t elements = model.elements.size();
  AssemblyShare share;
  share.first_element = static_cast<int>(elements * rank_ / count_);
  share.end_element = static_cast<int>(elements * (rank_ + 1) / count_);
  share.adds_loads = rank_ == 0;
  share.prescribed_diagonal = 0.0;  // process 0 places the diagonal itself
  share.prescribed_scale = diagonal_;
  share.pool = pool_;
  return share;
}

const Table1<double>& MumpsEquationSolver::whole(const Table1<double>& part, Table1<double>& sum) {
  // Summed on process 0 and sent from there, so that every process holds
  // the same bits and takes the same decisions.
  if (sum.size64() != part.size64()) sum = Table1<double>(part.size64(), uninitialised);
  MPI_Reduce(part.data(), sum.data(), static_cast<int>(part.size64()), MPI_DOUBLE, MPI_SUM, 0, comm_);
  MPI_Bcast(sum.data(), static_cast<int>(sum.size64()), MPI_DOUBLE, 0, comm_);
  return sum;
}

void MumpsEquationSolver::release() {
  if (!instance_) return;
  instance_->id.job = kEnd;
  dmumps_c(&instance_->id);
  instance_.reset();
}

SolveStatus MumpsEquationSolver::solve(const SparseMatrix& matrix, const Table1<double>& rhs,
                                       Table1<double>& x) {
  const int n = matrix.order;
  free_equations_.clear();
  if (!instance_) {
    instance_ = std::make_unique<Instance>();
    DMUMPS_STRUC_C& id = instance_->id;
    id.comm_fortran = static_cast<int>(MPI_Comm_c2f(comm_));
    id.par = 1;  // process 0 works too
    id.sym = 2;  // symmetric, not necessarily definite: a tangent may not be
    id.job = kInit;
    dmumps_c(&id);
    ICNTL(id, 1) = -1;  // no messages of its own: the program says what went wrong
    ICNTL(id, 2) = -1;
    ICNTL(id, 3) = -1;
    ICNTL(id, 4) = 0;
    ICNTL(id, 5) = 0;   // assembled terms
    ICNTL(id, 18) = 3;  // each process gives its own terms
    ICNTL(id, 24) = 1;  // null pivots found and named
    CNTL(id, 3) = kNullPivotShare;
#ifdef QUORIX_MUMPS_SCOTCH
    ICNTL(id, 7) = 3;  // nested dissection by SCOTCH
    // On process 0: across two processes (PT-SCOTCH, ICNTL(28) = 2) the
    // 100k plate took 27 s against 21 s, its factors 9 % larger. Only the
    // pattern's graph is gathered for it, far smaller than the matrix.
    ICNTL(id, 28) = 1;
#else
    ICNTL(id, 7) = 4;  // PORD, the nested dissection MUMPS carries
#endif
  }
  Instance& mumps = *instance_;
  DMUMPS_STRUC_C& id = mumps.id;

  // This process's terms, and on process 0 the diagonal of each prescribed
  // equation, which the processes' terms leave at zero.
  const std::int64_t terms = matrix.term_count;
  const std::size_t total = static_cast<std::size_t>(terms) + prescribed_.size();
  std::vector<int> rows(total), cols(total);
  mumps.values.resize(total);
  for (std::int64_t t = 1; t <= terms; ++t) {
    const std::size_t k = static_cast<std::size_t>(t - 1);
    rows[k] = matrix.row_indices(t);
    cols[k] = matrix.col_indices(t);
    mumps.values[k] = matrix.values(t);
  }
  for (std::size_t p = 0; p < prescribed_.size(); ++p) {
    const std::size_t k = static_cast<std::size_t>(terms) + p;
    rows[k] = cols[k] = prescribed_[p];
    mumps.values[k] = diagonal_;
  }

  const auto fail = [&](const char* phase) {
    if (rank_ == 0)
      std::cerr << "quorix: MUMPS stopped in its " << phase << " with INFOG(1) = " << INFOG(id, 1) << ": "
                << error_advice(id) << '\n';
    for (double& value : x) value = 0.0;
    mumps.analysed = false;
    return SolveStatus::failed;
  };

  // The analysis, when some process's pattern is not the one analysed.
  int changed = !mumps.analysed || rows != mumps.rows || cols != mumps.cols ? 1 : 0;
  MPI_Allreduce(MPI_IN_PLACE, &changed, 1, MPI_INT, MPI_MAX, comm_);
  if (changed) {
    mumps.rows = std::move(rows);
    mumps.cols = std::move(cols);
    id.n = n;
    id.nnz_loc = static_cast<MUMPS_INT8>(total);
    id.irn_loc = mumps.rows.data();
    id.jcn_loc = mumps.cols.data();
    if (!pivot_order_.empty() && static_cast<int>(pivot_order_.size()) == n) {
      ICNTL(id, 7) = 1;
      ICNTL(id, 28) = 1;
      if (rank_ == 0) {
        mumps.order = pivot_order_;
        id.perm_in = mumps.order.data();
      }
    }
    id.job = kAnalyse;
    dmumps_c(&id);
    if (INFOG(id, 1) < 0) return fail("analysis");
    mumps.analysed = true;
    if (rank_ == 0 && estimates_asked())
      std::cerr << "quorix: MUMPS on " << count_ << (count_ == 1 ? " process" : " processes")
                << ": INFOG(16) = " << INFOG(id, 16)
                << " MB per process at most, INFOG(17) = " << INFOG(id, 17)
                << " MB in all, INFOG(20) = " << infog_count(INFOG(id, 20)) << " entries in the factors\n";
  }

  // The factorization, with more workspace while it falls short.
  id.a_loc = mumps.values.data();
  for (int attempt = 0;; ++attempt) {
    id.job = kFactorize;
    dmumps_c(&id);
    if (!workspace_error(INFOG(id, 1)) || attempt == kWorkspaceRetries) break;
    ICNTL(id, 14) = std::max(2 * ICNTL(id, 14), 40);
  }
  if (INFOG(id, 1) < 0) return fail("factorization");

  // The right-hand side summed onto process 0, solved there.
  if (rank_ == 0) mumps.rhs.resize(static_cast<std::size_t>(n));
  MPI_Reduce(rhs.data(), rank_ == 0 ? mumps.rhs.data() : nullptr, n, MPI_DOUBLE, MPI_SUM, 0, comm_);
  if (rank_ == 0) {
    id.rhs = mumps.rhs.data();
    id.nrhs = 1;
    id.lrhs = n;
  }
  id.job = kSolve;
  dmumps_c(&id);
  if (INFOG(id, 1) < 0) return fail("solution");
  if (rank_ == 0) std::copy(mumps.rhs.begin(), mumps.rhs.end(), x.data());
  MPI_Bcast(x.data(), n, MPI_DOUBLE, 0, comm_);

  figures_.factor_entries = infog_count(INFOG(id, 29));
  figures_.largest_front = INFOG(id, 11);
  const int null_pivots = INFOG(id, 28);
  if (null_pivots == 0) return SolveStatus::solved;
  if (rank_ == 0) {
    free_equations_.assign(id.pivnul_list, id.pivnul_list + null_pivots);
    std::sort(free_equations_.begin(), free_equations_.end());
  }
  return SolveStatus::singular;
}

}  // namespace quorix
