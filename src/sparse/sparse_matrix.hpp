#pragma once
// The global stiffness (or tangent) matrix as a list of upper-triangle
// coordinate terms. Elements append their terms raw; one compression pass
// sorts them by row and column, sums duplicates and builds a row index, after
// which rows and columns can be read and overwritten in place.

#include <cstdint>
#include <span>
#include <vector>

#include "sparse/one_based.hpp"

namespace quorix {

class TaskPool;

struct SparseMatrix {
  std::int64_t term_count = 0;     // terms currently stored (NZ)
  int order = 0;                   // number of equations; rows and columns run 1..order
  Table1<std::int64_t> row_start;  // after compression: position of each row's first term
  Table1<int> row_indices;         // row of each term, capacity entries
  Table1<int> col_indices;         // column of each term, capacity entries
  Table1<double> values;           // value of each term, capacity entries
};

// Terms gathered from one row or column, filled by gather_row and
// gather_column and read by the constraint code. compress_sparse_matrix sizes
// it for three times the longest row and at least the longest column (in the
// upper triangle a column can hold far more terms than any row), so no gather
// has to grow it; one sized for another matrix is grown when needed.
//
// For a caller whose raw pattern repeats (patterns_repeat), it also carries
// from one compression to the next the order in which the compression summed
// the raw terms: later compressions of the same pattern, every raw term
// checked to be where it was, only gather and add the values in that order
// (the same sums, bit for bit), without sorting.
struct CompressionPlan {
  std::int64_t raw_count = -1;  // terms of the raw pattern last compressed
  int order = -1;
  bool ready = false;                     // the vectors below hold its plan
  std::vector<std::uint32_t> sum_order;   // raw positions (0-based) in summation order
  std::vector<std::uint32_t> term_start;  // kept term i sums sum_order[term_start[i] .. term_start[i+1])
  std::vector<int> rows, cols;            // of the kept terms
  std::vector<std::int64_t> row_start;    // as compression leaves it
  std::int64_t gather_request = 0;        // the workspace size it asked for
  std::vector<double> sums;               // work: the sums, before they go to the record
};

struct GatherWorkspace {
  Table1<int> gathered_rows;
  Table1<int> gathered_cols;
  Table1<double> gathered_values;
  std::int64_t gathered_count = 0;
  CompressionPlan plan;
  // Set by a caller that compresses the same raw pattern again and again
  // (Newton iterations): the plan is recorded at the first compression.
  bool patterns_repeat = false;
};

void init_sparse_matrix(SparseMatrix& matrix, int order, std::int64_t capacity);
void clear_sparse_matrix(SparseMatrix& matrix);
// element_matrix is m x m stored row by row: entry (j, c) at (j - 1) * m + (c - 1),
// so a Mat<20, 20> can be passed as &k[0][0]. Appends its upper triangle, taken
// column by column (c = 1..m, j = 1..c), each term as (min, max) of its two
// equation numbers with the value of entry (j, c).
void add_element_matrix(SparseMatrix& matrix, const double* element_matrix, const int* dofs, int m);
// The same terms written at positions after + 1 .. after + m(m+1)/2, leaving
// term_count alone: elements assembled side by side each take their place.
void put_element_matrix(SparseMatrix& matrix, std::int64_t after, const double* element_matrix,
                        const int* dofs, int m);
// Sorts the terms by row, then each row by column, both as shell_sort_terms does,
// adds duplicates into the first of each run in the order the sorts leave
// them, drops the emptied terms and rebuilds row_start. Requires row_start to
// be zero (clear_sparse_matrix). The sorts and the row work run on `pool`, or
// without one on the calling thread; the result is the same.
void compress_sparse_matrix(SparseMatrix& matrix, GatherWorkspace& workspace, TaskPool* pool);
// Sorts positions 1..n by ascending key with the gaps ..., 40, 13, 4, 1 and a
// strict comparison: not stable, and the order it leaves equal keys in
// decides how duplicates are summed.
void shell_sort_terms(std::int64_t n, View1<int> keys, View1<int> carried, View1<double> vals);
// The stored terms (i, s), i <= s, diagonal included, in ascending row order.
void gather_column(const SparseMatrix& matrix, int s, GatherWorkspace& workspace);
// The stored terms (s, c), c >= s, diagonal included, in ascending column order.
void gather_row(const SparseMatrix& matrix, int s, GatherWorkspace& workspace);
void set_column_values(SparseMatrix& matrix, int s, double v);
void set_row_values(SparseMatrix& matrix, int s, double v);
// The stored term (r, c), r <= c, gets v; a term that is not stored is not added.
void set_term_value(SparseMatrix& matrix, int r, int c, double v);
// Where the terms of chosen columns are stored, for code that reads and
// overwrites whole columns many times (the prescribed displacements): one
// pass over the terms replaces a scan of all the rows above each column.
// Valid while the pattern stays as it was when the index was built.
struct ColumnIndex {
  Table1<int> slot;                // by column 1..order: 0, or its slot 1..count
  Table1<std::int64_t> first;      // by slot, count + 1 entries: start of its positions
  Table1<std::int64_t> positions;  // term positions, rows ascending within a column
};
ColumnIndex index_columns(const SparseMatrix& matrix, std::span<const int> columns);
// As gather_column and set_column_values, for a column in the index.
void gather_column(const SparseMatrix& matrix, const ColumnIndex& index, int s, GatherWorkspace& workspace);
void set_column_values(SparseMatrix& matrix, const ColumnIndex& index, int s, double v);

void free_sparse_matrix(SparseMatrix& matrix, GatherWorkspace& workspace);
// Frees the matrix's terms, their whole pages going to the page pool
// (page_pool.hpp) for the next stage; init_sparse_matrix makes them again.
void move_matrix_pages_to_pool(SparseMatrix& matrix);

}  // namespace quorix
