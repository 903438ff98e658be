#include "sparse/sparse_matrix.hpp"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace quorix {

namespace {

// ---------------------------------------------------------------------------
// The shell sort, written once for two storage layouts.
//
// Gaps 1, 4, 13, 40, ... (h := 3h + 1), used from the largest that does not
// exceed n down to 1; each pass is a gapped insertion sort that moves a term
// only past terms with a strictly greater key. The sort is not stable, and the
// order it leaves equal keys in decides the order in which duplicate terms are
// summed later, hence the last bits of every assembled value. Any change to
// the gaps or to the comparison changes the results.
//
// A layout supplies, with 0-based positions: key(i), take(i) -> Item,
// put(i, item), move(from, to) and key_of(item).
// ---------------------------------------------------------------------------
template <class Terms>
void shell_sort(Terms terms, std::int64_t n) {
  std::int64_t h = 1;
  do {
    h = 3 * h + 1;
  } while (h <= n);
  do {
    h /= 3;
    for (std::int64_t i = h; i < n; ++i) {
      // A term not smaller than the one h places back would be taken out and
      // put straight back: skip it without touching its value.
      if (terms.key(i - h) <= terms.key(i)) continue;
      const auto item = terms.take(i);
      const int key = Terms::key_of(item);
      std::int64_t j = i;
      do {
        terms.move(j - h, j);
        j -= h;
      } while (j >= h && terms.key(j - h) > key);
      terms.put(j, item);
    }
  } while (h > 1);
}

// Three parallel arrays, as the matrix record holds them.
struct ParallelTerms {
  struct Item {
    int key;
    int carried;
    double val;
  };
  int* keys;
  int* carried;
  double* vals;

  int key(std::int64_t i) const { return keys[i]; }
  Item take(std::int64_t i) const { return {keys[i], carried[i], vals[i]}; }
  void put(std::int64_t i, const Item& t) const {
    keys[i] = t.key;
    carried[i] = t.carried;
    vals[i] = t.val;
  }
  void move(std::int64_t from, std::int64_t to) const {
    keys[to] = keys[from];
    carried[to] = carried[from];
    vals[to] = vals[from];
  }
  static int key_of(const Item& t) { return t.key; }
};

// One term in 16 bytes, so that a move during compression is a single load
// and store: with tens of millions of terms and gaps far apart, three
// separate arrays would cost three cache misses per move instead of one.
struct PackedTerm {
  int row;
  int col;
  double value;
};
static_assert(sizeof(PackedTerm) == 16);

template <int PackedTerm::*Key>
struct PackedTerms {
  using Item = PackedTerm;
  PackedTerm* terms;

  int key(std::int64_t i) const { return terms[i].*Key; }
  Item take(std::int64_t i) const { return terms[i]; }
  void put(std::int64_t i, const Item& t) const { terms[i] = t; }
  void move(std::int64_t from, std::int64_t to) const { terms[to] = terms[from]; }
  static int key_of(const Item& t) { return t.*Key; }
};

// Per-row counts in row_start(1..N) become start positions: row r then holds
// positions row_start(r) .. row_start(r + 1) - 1.
void counts_to_starts(Table1<std::int64_t>& row_start) {
  std::int64_t running = 1;
  for (std::int64_t& entry : row_start) {
    const std::int64_t count = entry;
    entry = running;
    running += count;
  }
}

// Last position of row r (first - 1 for an empty row).
std::int64_t row_end(const SparseMatrix& matrix, int r) {
  return r < matrix.order ? matrix.row_start(r + 1) - 1 : matrix.term_count;
}

// The position of the term (r, s) with r <= s, or 0 when it is not stored.
// Rows whose columns all lie left or right of s are passed over without a
// scan; otherwise the row is scanned from its first column while <= s.
std::int64_t find_term(const SparseMatrix& matrix, int r, int s) {
  const std::int64_t first = matrix.row_start(r);
  const std::int64_t last = row_end(matrix, r);
  if (first > last || matrix.col_indices(first) > s || matrix.col_indices(last) < s) return 0;
  for (std::int64_t k = first; k <= last && matrix.col_indices(k) <= s; ++k)
    if (matrix.col_indices(k) == s) return k;
  return 0;
}

// Makes room for `count` gathered terms, keeping those already gathered.
// Compression sizes the workspace for every row and column of the matrix, so
// this only grows a workspace that was sized for another matrix.
void reserve_gathered(GatherWorkspace& workspace, std::int64_t count) {
  if (count <= workspace.gathered_rows.size64()) return;
  const std::int64_t size = std::max(count, 2 * workspace.gathered_rows.size64());
  Table1<int> rows(size);
  Table1<int> cols(size);
  Table1<double> values(size);
  for (std::int64_t k = 1; k <= workspace.gathered_count; ++k) {
    rows(k) = workspace.gathered_rows(k);
    cols(k) = workspace.gathered_cols(k);
    values(k) = workspace.gathered_values(k);
  }
  workspace.gathered_rows = std::move(rows);
  workspace.gathered_cols = std::move(cols);
  workspace.gathered_values = std::move(values);
}

void append_gathered(GatherWorkspace& workspace, int row, int col, double value) {
  reserve_gathered(workspace, workspace.gathered_count + 1);
  const std::int64_t k = ++workspace.gathered_count;
  workspace.gathered_rows(k) = row;
  workspace.gathered_cols(k) = col;
  workspace.gathered_values(k) = value;
}

}  // namespace

void init_sparse_matrix(SparseMatrix& matrix, int order, std::int64_t capacity) {
  // Release first, so that the old and new arrays never coexist.
  matrix.row_start.release();
  matrix.row_indices.release();
  matrix.col_indices.release();
  matrix.values.release();
  matrix.row_start = Table1<std::int64_t>(order);
  matrix.row_indices = Table1<int>(capacity);
  matrix.col_indices = Table1<int>(capacity);
  matrix.values = Table1<double>(capacity);
  matrix.order = order;
}

void clear_sparse_matrix(SparseMatrix& matrix) {
  matrix.term_count = 0;
  std::fill(matrix.row_start.begin(), matrix.row_start.end(), std::int64_t{0});
}

void add_element_matrix(SparseMatrix& matrix, const double* element_matrix, const int* dofs, int m) {
  std::int64_t k = matrix.term_count;
  for (int c = 1; c <= m; ++c) {
    const int dof_c = dofs[c - 1];
    for (int j = 1; j <= c; ++j) {
      const int dof_j = dofs[j - 1];
      ++k;
      matrix.row_indices(k) = std::min(dof_c, dof_j);
      matrix.col_indices(k) = std::max(dof_c, dof_j);
      matrix.values(k) = element_matrix[(j - 1) * m + (c - 1)];
    }
  }
  matrix.term_count = k;
}

void shell_sort_terms(std::int64_t n, View1<int> keys, View1<int> carried, View1<double> vals) {
  assert(n <= keys.size() && n <= carried.size() && n <= vals.size());
  shell_sort(ParallelTerms{keys.data(), carried.data(), vals.data()}, n);
}

void compress_sparse_matrix(SparseMatrix& matrix, GatherWorkspace& workspace) {
  const int n = matrix.order;
  const std::int64_t nz = matrix.term_count;

  // The sorts and the summation run on a packed copy of the terms; the kept
  // terms are written back to the record's arrays in step 4.
  // Not zeroed: every entry is written before it is read.
  std::unique_ptr<PackedTerm[]> terms =
      std::make_unique_for_overwrite<PackedTerm[]>(static_cast<std::size_t>(std::max<std::int64_t>(nz, 0)));
  // Position k (1-based) of the packed copy.
  auto term = [&terms](std::int64_t k) -> PackedTerm& { return terms[static_cast<std::size_t>(k - 1)]; };
  for (std::int64_t k = 1; k <= nz; ++k)
    term(k) = {matrix.row_indices(k), matrix.col_indices(k), matrix.values(k)};

  // 1. All terms by row, carrying column and value.
  shell_sort(PackedTerms<&PackedTerm::row>{terms.get()}, nz);

  // 2. Terms per row (row_start is zero from clear_sparse_matrix), then the
  //    start of each row.
  for (std::int64_t k = 1; k <= nz; ++k) matrix.row_start(term(k).row) += 1;
  counts_to_starts(matrix.row_start);

  // 3. Each row by column, carrying row and value; then add every term of a
  //    run of equal columns into the run's first term, in the order the sort
  //    left them, and mark the others removed (row 0).
  for (int r = 1; r <= n; ++r) {
    const std::int64_t first = matrix.row_start(r);
    const std::int64_t last = r < n ? matrix.row_start(r + 1) - 1 : nz;
    if (first > last) continue;
    shell_sort(PackedTerms<&PackedTerm::col>{&term(first)}, last - first + 1);
    std::int64_t p = first;
    for (std::int64_t i = first + 1; i <= last; ++i) {
      if (term(i).col == term(p).col) {
        term(p).value += term(i).value;
        term(i).row = 0;
      } else {
        p = i;
      }
    }
  }

  // 4. Keep the unmarked terms in order, counting them per row (and per
  //    column, for the workspace).
  std::fill(matrix.row_start.begin(), matrix.row_start.end(), std::int64_t{0});
  Table1<std::int64_t> column_count(n);
  std::int64_t kept = 0;
  for (std::int64_t k = 1; k <= nz; ++k) {
    const PackedTerm& t = term(k);
    if (t.row == 0) continue;
    ++kept;
    matrix.row_indices(kept) = t.row;
    matrix.col_indices(kept) = t.col;
    matrix.values(kept) = t.value;
    matrix.row_start(t.row) += 1;
    column_count(t.col) += 1;
  }
  matrix.term_count = kept;
  terms.reset();

  // 5. Room for three times the longest row, and for the longest column: in
  //    the upper triangle a column can be much longer than any row (an arrow
  //    matrix), and gather_column must not write past the end. A workspace
  //    already larger than needed is kept.
  std::int64_t longest_row = 0;
  for (std::int64_t count : matrix.row_start) longest_row = std::max(longest_row, count);
  std::int64_t longest_column = 0;
  for (std::int64_t count : column_count) longest_column = std::max(longest_column, count);
  const std::int64_t request = std::max(3 * longest_row, longest_column);
  if (workspace.gathered_rows.empty() || workspace.gathered_rows.size64() <= request) {
    workspace.gathered_rows.release();
    workspace.gathered_cols.release();
    workspace.gathered_values.release();
    workspace.gathered_rows = Table1<int>(request);
    workspace.gathered_cols = Table1<int>(request);
    workspace.gathered_values = Table1<double>(request);
  }

  // 6. Start positions again.
  counts_to_starts(matrix.row_start);
}

void gather_column(const SparseMatrix& matrix, int s, GatherWorkspace& workspace) {
  // Only the upper triangle is stored: the terms (i, s) with i <= s are the
  // whole column, the diagonal included.
  workspace.gathered_count = 0;
  for (int i = 1; i <= s; ++i) {
    const std::int64_t k = find_term(matrix, i, s);
    if (k != 0) append_gathered(workspace, i, s, matrix.values(k));
  }
}

void gather_row(const SparseMatrix& matrix, int s, GatherWorkspace& workspace) {
  const std::int64_t first = matrix.row_start(s);
  const std::int64_t last = row_end(matrix, s);
  workspace.gathered_count = 0;
  reserve_gathered(workspace, last - first + 1);
  for (std::int64_t k = first; k <= last; ++k)
    append_gathered(workspace, matrix.row_indices(k), matrix.col_indices(k), matrix.values(k));
}

void set_column_values(SparseMatrix& matrix, int s, double v) {
  for (int i = 1; i <= s; ++i) {
    const std::int64_t k = find_term(matrix, i, s);
    if (k != 0) matrix.values(k) = v;
  }
}

void set_row_values(SparseMatrix& matrix, int s, double v) {
  const std::int64_t last = row_end(matrix, s);
  for (std::int64_t k = matrix.row_start(s); k <= last; ++k) matrix.values(k) = v;
}

void set_term_value(SparseMatrix& matrix, int r, int c, double v) {
  // Callers set diagonal terms, which every equation of an element has; a
  // term that is not stored is left alone.
  const std::int64_t last = row_end(matrix, r);
  for (std::int64_t k = matrix.row_start(r); k <= last && matrix.col_indices(k) <= c; ++k)
    if (matrix.col_indices(k) == c) matrix.values(k) = v;
}

ColumnIndex index_columns(const SparseMatrix& matrix, std::span<const int> columns) {
  ColumnIndex index;
  index.slot = Table1<int>(matrix.order, 0);
  int count = 0;
  for (int s : columns)
    if (index.slot(s) == 0) index.slot(s) = ++count;
  index.first = Table1<std::int64_t>(count + 1, 0);
  for (std::int64_t k = 1; k <= matrix.term_count; ++k)
    if (const int slot = index.slot(matrix.col_indices(k)); slot != 0) ++index.first(slot);
  std::int64_t running = 1;
  for (std::int64_t& entry : index.first) {
    const std::int64_t terms = entry;
    entry = running;
    running += terms;
  }
  index.positions = Table1<std::int64_t>(running - 1);
  std::vector<std::int64_t> next(index.first.begin(), index.first.end());
  for (std::int64_t k = 1; k <= matrix.term_count; ++k)
    if (const int slot = index.slot(matrix.col_indices(k)); slot != 0)
      index.positions(next[static_cast<std::size_t>(slot - 1)]++) = k;
  return index;
}

void gather_column(const SparseMatrix& matrix, const ColumnIndex& index, int s, GatherWorkspace& workspace) {
  const int slot = index.slot(s);
  if (slot == 0) return gather_column(matrix, s, workspace);
  workspace.gathered_count = 0;
  reserve_gathered(workspace, index.first(slot + 1) - index.first(slot));
  for (std::int64_t p = index.first(slot); p < index.first(slot + 1); ++p) {
    const std::int64_t k = index.positions(p);
    append_gathered(workspace, matrix.row_indices(k), s, matrix.values(k));
  }
}

void set_column_values(SparseMatrix& matrix, const ColumnIndex& index, int s, double v) {
  const int slot = index.slot(s);
  if (slot == 0) return set_column_values(matrix, s, v);
  for (std::int64_t p = index.first(slot); p < index.first(slot + 1); ++p) matrix.values(index.positions(p)) = v;
}

void free_sparse_matrix(SparseMatrix& matrix, GatherWorkspace& workspace) {
  matrix.term_count = 0;
  matrix.order = 0;
  matrix.row_start.release();
  matrix.row_indices.release();
  matrix.col_indices.release();
  matrix.values.release();
  workspace.gathered_rows.release();
  workspace.gathered_cols.release();
  workspace.gathered_values.release();
  workspace.gathered_count = 0;
}

}  // namespace quorix
