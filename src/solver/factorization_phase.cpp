// MFFACT: numerical factorization P K P^T = L D L^T of a sparse symmetric
// matrix by the multifrontal method, D block diagonal with 1x1 and 2x2
// pivots chosen by a threshold test, over the assembly tree of MFANAL.
//
// Storage during the factorization, in each of real_space and int_space:
//   1 .. next-1        the factor blocks written so far (int_space(1) is kept
//                      for the block count), then the current front;
//   free words;
//   stack_bottom ..    the stack of son remainders, its top item lowest
//                      (int_space: length word, then the variables; real_space:
//                      the packed triangle);
//   a hole             the input rows already assembled;
//   input_start .. end the input rows not yet assembled, in pivot order.
// A compression closes the hole by moving the stack up against the input.
//
// A front of order f is a packed upper triangle by rows: entry (i, j), i <= j,
// lies row_offset(i, f) + (j - i) words after its first word.

#include "solver/factorization_phase.hpp"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

namespace quorix {

namespace {

constexpr const char* phase = "MFFACT";

// Words of a packed upper triangle of order n.
std::int64_t triangle_words(std::int64_t n) { return n * (n + 1) / 2; }

// Words before row i in a packed upper triangle of order n: the rows
// 1 .. i-1 hold n, n-1, ..., n-i+2 words.
// The current front: a(i, j) for 1 <= i <= j <= order.
struct Front {
  double* first;
  int order;
  double* row(int i) const { return first + row_offset(i, order); }  // row(i)[j - i] = a(i, j)
  double& at(int i, int j) const { return row(i)[j - i]; }
};

// The top of one storage array (see the file comment): the stack occupies
// stack_bottom .. stack_end-1 and the unconsumed input input_start .. end.
struct TopRegion {
  std::int64_t stack_bottom;
  std::int64_t stack_end;
  std::int64_t input_start;
};

// Moves the stack up against the unconsumed input rows, freeing the words
// the consumed rows held for the factors. Returns false when there is no
// such gap (nothing to gain, nothing counted).
template <class T>
bool compress_factor_storage(View1<T> space, TopRegion& top) {
  const std::int64_t gap = top.input_start - top.stack_end;
  if (gap == 0) return false;
  const std::int64_t words = top.stack_end - top.stack_bottom;
  if (words > 0) {
    T* const bottom = space.data() + (top.stack_bottom - 1);
    std::memmove(bottom + gap, bottom, static_cast<std::size_t>(words) * sizeof(T));
  }
  top.stack_bottom += gap;
  top.stack_end = top.input_start;
  return true;
}

// ---- Elimination kernels ---------------------------------------------------

// A few doubles in one vector register. Operations on it are element-wise
// IEEE operations, each rounded as the scalar one (no contraction under
// -ffp-contract=off), so using it changes no result.
#if defined(__AVX512F__)
#define QUORIX_PACK_WIDTH 8
#elif defined(__AVX__)
#define QUORIX_PACK_WIDTH 4
#else
#define QUORIX_PACK_WIDTH 2
#endif
constexpr int pack_width = QUORIX_PACK_WIDTH;
typedef double Pack __attribute__((vector_size(QUORIX_PACK_WIDTH * sizeof(double))));

Pack load_pack(const double* p) {
  Pack v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void store_pack(double* p, Pack v) { std::memcpy(p, &v, sizeof v); }

// row(0 .. len-1) += w(k) * u[k](0 .. len-1) for k = 0 .. count-1 in turn:
// every entry receives the products one pivot after the other, exactly as in
// pivot-by-pivot elimination. Several packs of the row stay in registers
// while the pivots pass over them, so that the additions of neighbouring
// packs overlap. The rows u[k] never overlap the row updated.
void update_one_row(double* row, const double* const* u, const double* w, int count, std::int64_t len) {
  constexpr int packs = 4;
  constexpr int width = packs * pack_width;
  std::int64_t j = 0;
  for (; j + width <= len; j += width) {
    Pack sum[packs];
    for (int p = 0; p < packs; ++p) sum[p] = load_pack(row + j + p * pack_width);
    for (int k = 0; k < count; ++k) {
      const double wk = w[k];
      for (int p = 0; p < packs; ++p) sum[p] += wk * load_pack(u[k] + j + p * pack_width);
    }
    for (int p = 0; p < packs; ++p) store_pack(row + j + p * pack_width, sum[p]);
  }
  for (; j + pack_width <= len; j += pack_width) {
    Pack sum = load_pack(row + j);
    for (int k = 0; k < count; ++k) sum += w[k] * load_pack(u[k] + j);
    store_pack(row + j, sum);
  }
  for (; j < len; ++j) {
    double sum = row[j];
    for (int k = 0; k < count; ++k) sum += w[k] * u[k][j];
    row[j] = sum;
  }
}

// The panel's pivot rows over one block of columns are copied into a
// contiguous buffer, a chunk of columns at a time: within the chunk that
// holds a column, the chunk_columns values of pivot k lie side by side, the
// pivots one after the other. The kernel then reads one stream instead of
// one per pivot row. The rows are updated tile_rows at a time, each load of
// the buffer serving all of them, each multiplier all packs of its row.
constexpr int chunk_packs = 2;
constexpr int chunk_columns = chunk_packs * pack_width;
constexpr int tile_rows = 8;
constexpr int column_block = 384;  // 384 columns of 64 pivot rows: 196 KB
static_assert(column_block % chunk_columns == 0 && column_block % tile_rows == 0);
static_assert(tile_rows % pack_width == 0);

// The pivot rows over the columns jb .. jb + column_block - 1 in chunks:
// u(k, c) is word chunk_start(c - jb) + k chunk_columns + (c - jb) %
// chunk_columns.
struct PackedPanel {
  double* words;  // column_block * max_panel_pivots
  int count;      // pivots held
  std::int64_t chunk_start(int offset) const {
    return static_cast<std::int64_t>(offset / chunk_columns) * count * chunk_columns;
  }
};

// The multipliers of a tile of rows lie side by side, those of one pivot
// together: w(r, k) = w[k tile_rows + r].
//
// Rows r = 0 .. R-1 over `width` columns of one chunk: row[r](t) += w(r, k)
// * u[k chunk_columns + t], k in pivot order.
template <int R>
void update_part_chunk(double* const* row, const double* w, const double* u, int count, int width) {
  int t = 0;
  for (; t + pack_width <= width; t += pack_width) {
    Pack sum[R];
    for (int r = 0; r < R; ++r) sum[r] = load_pack(row[r] + t);
    for (int k = 0; k < count; ++k) {
      const Pack uk = load_pack(u + k * chunk_columns + t);
      const double* const wk = w + k * tile_rows;
      for (int r = 0; r < R; ++r) sum[r] += wk[r] * uk;
    }
    for (int r = 0; r < R; ++r) store_pack(row[r] + t, sum[r]);
  }
  for (; t < width; ++t) {
    for (int r = 0; r < R; ++r) {
      double sum = row[r][t];
      for (int k = 0; k < count; ++k) sum += w[k * tile_rows + r] * u[k * chunk_columns + t];
      row[r][t] = sum;
    }
  }
}

// The same over `chunks` whole chunks, one after the other from u.
template <int R>
void update_whole_chunks(double* const* row, const double* w, const double* u, int count, int chunks) {
  for (int m = 0; m < chunks; ++m, u += count * chunk_columns) {
    const int t0 = m * chunk_columns;
    Pack sum[R][chunk_packs];
    for (int r = 0; r < R; ++r)
      for (int p = 0; p < chunk_packs; ++p) sum[r][p] = load_pack(row[r] + t0 + p * pack_width);
    const double* uk = u;
    for (int k = 0; k < count; ++k, uk += chunk_columns) {
      Pack v[chunk_packs];
      for (int p = 0; p < chunk_packs; ++p) v[p] = load_pack(uk + p * pack_width);
      const double* const wrow = w + k * tile_rows;
      for (int r = 0; r < R; ++r) {
        const double wk = wrow[r];
        for (int p = 0; p < chunk_packs; ++p) sum[r][p] += wk * v[p];
      }
    }
    for (int r = 0; r < R; ++r)
      for (int p = 0; p < chunk_packs; ++p) store_pack(row[r] + t0 + p * pack_width, sum[r][p]);
  }
}

// Rows r = 0 .. R-1 from block column `offset` on, over `width` columns:
// row[r](t) += w(r, k) u(k, offset + t), k in pivot order. The columns up to
// the next chunk boundary, the whole chunks, then the rest.
template <int R>
void update_rows(double* const* row, const double* w, const PackedPanel& panel, int offset, int width) {
  double* at[R];
  for (int r = 0; r < R; ++r) at[r] = row[r];
  auto advance = [&](int columns) {
    for (int r = 0; r < R; ++r) at[r] += columns;
    offset += columns;
    width -= columns;
  };
  const int into = offset % chunk_columns;
  if (into > 0 && width > 0) {
    const int head = std::min(chunk_columns - into, width);
    update_part_chunk<R>(at, w, panel.words + panel.chunk_start(offset) + into, panel.count, head);
    advance(head);
  }
  const int chunks = width / chunk_columns;
  if (chunks > 0) {
    update_whole_chunks<R>(at, w, panel.words + panel.chunk_start(offset), panel.count, chunks);
    advance(chunks * chunk_columns);
  }
  if (width > 0) update_part_chunk<R>(at, w, panel.words + panel.chunk_start(offset), panel.count, width);
}

// update_rows for 1 <= rows <= R rows.
template <int R = tile_rows>
void update_some_rows(int rows, double* const* row, const double* w, const PackedPanel& panel, int offset,
                      int width) {
  if constexpr (R > 1) {
    if (rows < R) return update_some_rows<R - 1>(rows, row, w, panel, offset, width);
  }
  update_rows<R>(row, w, panel, offset, width);
}

// Largest |x(0 .. len-1)|, 0 for none. A maximum does not depend on the
// order it is taken in, so four are kept side by side.
double max_abs(const double* x, std::int64_t len) {
  double m[4] = {0.0, 0.0, 0.0, 0.0};
  std::int64_t j = 0;
  for (; j + 4 <= len; j += 4)
    for (int t = 0; t < 4; ++t) m[t] = std::max(m[t], std::abs(x[j + t]));
  for (; j < len; ++j) m[0] = std::max(m[0], std::abs(x[j]));
  return std::max(std::max(m[0], m[1]), std::max(m[2], m[3]));
}

// row(0 .. len-1) := (row + w1 * ur) + w2 * us, the update by a 2x2 pivot.
void apply_pair(double* __restrict__ row, const double* __restrict__ ur, const double* __restrict__ us,
                double w1, double w2, std::int64_t len) {
  for (std::int64_t j = 0; j < len; ++j) row[j] = (row[j] + w1 * ur[j]) + w2 * us[j];
}

// 1x1 pivots taken at the consecutive front positions first .. first+count-1
// whose updates of the later rows are still to be made. Until then each
// pivot row keeps the values u it had when taken (the multipliers
// w(i) = -u(i)/d are written over them once the rows are updated) and d is
// kept here. Only the candidate row is brought up to date before its test.
// The work arrays of the panel's application are kept with it: the packed
// column block, and the multipliers of the rows below the panel (as large
// as the largest front so far needs).
struct PanelPivots {
  int first = 1;
  int count = 0;
  double d[max_panel_pivots];
  std::unique_ptr<double[]> packed{
      std::make_unique_for_overwrite<double[]>(static_cast<std::size_t>(column_block) * max_panel_pivots)};
  std::vector<double> multipliers;
};

// Brings row j (after the panel) up to date: a(j, c) += w(k) * u(k, c) for
// c = j .. f, pivot by pivot, with w(k) = -u(k, j)/d(k). The pivot rows keep u.
void update_candidate_row(const Front& a, const PanelPivots& panel, int j) {
  const double* u[max_panel_pivots];
  double w[max_panel_pivots];
  for (int k = 0; k < panel.count; ++k) {
    const int q = panel.first + k;
    u[k] = a.row(q) + (j - q);
    w[k] = -u[k][0] / panel.d[k];
  }
  update_one_row(a.row(j), u, w, panel.count, a.order - j + 1);
}

// Applies the panel to rows first_row .. f (columns first_row .. f), writes
// the multipliers into the pivot rows and 1/d onto their diagonals, and
// empties the panel. The rows between the panel and first_row have had the
// panel's updates already (only their multipliers are written here).
//
// Row i receives a(i, c) += w(k, i) * u(k, c), k in pivot order, where
// w(k, i) = -u(k, i)/d(k) replaces u(k, i), as in pivot-by-pivot elimination
// once no row needs u(k, i) any more. The columns go in blocks whose slice
// of the panel is copied, packed, into a buffer that stays in cache; then the
// slice's u(k, c) are replaced by w(k, c) in place, where the rows c of this
// and later blocks read them. In each block the rows go tile_rows at a time:
// first the rows above the block, over its whole width, then the rows
// inside it, over their own small triangle and the columns to its right.
void apply_panel(const Front& a, PanelPivots& panel, int first_row) {
  const int count = panel.count;
  const int f = a.order;
  double* pivot_row[max_panel_pivots];  // pivot_row[k][c - q] = a(q, c), q = first + k
  for (int k = 0; k < count; ++k) pivot_row[k] = a.row(panel.first + k);
  auto u_at = [&](int k, int c) -> double& { return pivot_row[k][c - (panel.first + k)]; };
  for (int k = 0; k < count; ++k) {
    for (int c = panel.first + k + 1; c < first_row; ++c) u_at(k, c) = -u_at(k, c) / panel.d[k];
  }
  // w(k, i) = -u(k, i) / d(k) for i = first_row .. f, the rows in tiles as
  // the kernels read them: row i = first_row + t tile_rows + r at
  // w[(t count + k) tile_rows + r].
  const int rows_below = f - first_row + 1;
  const std::size_t w_words = static_cast<std::size_t>(rows_below + tile_rows - 1) / tile_rows * tile_rows *
                              static_cast<std::size_t>(count);
  if (panel.multipliers.size() < w_words) panel.multipliers.resize(w_words);
  double* const w = panel.multipliers.data();
  auto w_at = [&](int k, int i) {  // i = row - first_row
    return w + (static_cast<std::int64_t>(i / tile_rows) * count + k) * tile_rows + i % tile_rows;
  };
  for (int k = 0; k < count; ++k) {
    const double* const uk = &u_at(k, first_row);
    const double dk = panel.d[k];
    int i = 0;
    for (; i + pack_width <= rows_below; i += pack_width) store_pack(w_at(k, i), -load_pack(uk + i) / dk);
    for (; i < rows_below; ++i) *w_at(k, i) = -uk[i] / dk;
  }
  auto w_of = [&](int i) -> const double* { return w_at(0, i - first_row); };
  const PackedPanel packed{panel.packed.get(), count};
  double* row[tile_rows];
  for (int jb = first_row; jb <= f; jb += column_block) {
    const int je = std::min(f, jb + column_block - 1);
    const int width = je - jb + 1;
    for (int k = 0; k < count; ++k) {
      double* const uk = &u_at(k, jb);
      double* to = packed.words + k * chunk_columns;
      int c = 0;
      for (; c + chunk_columns <= width; c += chunk_columns, to += count * chunk_columns)
        for (int t = 0; t < chunk_packs; ++t)
          store_pack(to + t * pack_width, load_pack(uk + c + t * pack_width));
      for (int t = 0; c + t < width; ++t) to[t] = uk[c + t];
      // No row of this or a later block needs u(k, jb .. je) any more.
      for (c = 0; c + pack_width <= width; c += pack_width)
        store_pack(uk + c, load_pack(w_at(k, jb - first_row + c)));
      for (; c < width; ++c) uk[c] = *w_at(k, jb - first_row + c);
    }
    // Rows above the block.
    for (int i = first_row; i < jb; i += tile_rows) {
      const int rows = std::min(tile_rows, jb - i);
      for (int r = 0; r < rows; ++r) row[r] = a.row(i + r) + (jb - (i + r));
      update_some_rows(rows, row, w_of(i), packed, 0, width);
    }
    // Rows inside the block.
    for (int i = jb; i <= je; i += tile_rows) {
      const int rows = std::min(tile_rows, je - i + 1);
      const double* const wi = w_of(i);
      // The group's own triangle, updated as a square in a copy whose
      // entries below the diagonal (not entries of the front) are dropped.
      double corner[tile_rows][tile_rows];  // corner[r][c] = a(i+r, i+c), c >= r
      for (int r = 0; r < rows; ++r) {
        row[r] = corner[r];
        for (int c = 0; c < r; ++c) corner[r][c] = 0.0;
        for (int c = r; c < rows; ++c) corner[r][c] = a.at(i + r, i + c);
      }
      update_some_rows(rows, row, wi, packed, i - jb, rows);
      for (int r = 0; r < rows; ++r)
        for (int c = r; c < rows; ++c) a.at(i + r, i + c) = corner[r][c];
      const int c0 = i + rows;
      if (c0 <= je) {
        for (int r = 0; r < rows; ++r) row[r] = a.row(i + r) + (c0 - (i + r));
        update_some_rows(rows, row, wi, packed, c0 - jb, je - c0 + 1);
      }
    }
  }
  for (int k = 0; k < count; ++k) pivot_row[k][0] = 1.0 / panel.d[k];
  panel.count = 0;
}

// Interchanges front positions x < y: their rows and columns in the whole
// triangle (the pivot rows above included) and their index list entries.
void swap_positions(const Front& a, int* list, int x, int y) {
  std::swap(list[x - 1], list[y - 1]);
  for (int r = 1; r < x; ++r) std::swap(a.at(r, x), a.at(r, y));
  std::swap(a.at(x, x), a.at(y, y));
  for (int c = x + 1; c < y; ++c) std::swap(a.at(x, c), a.at(c, y));
  for (int c = y + 1; c <= a.order; ++c) std::swap(a.at(x, c), a.at(y, c));
}

// Eliminates the 2x2 pivot on rows r, s = r+1 (all rows up to date):
//   det = a(r,r) a(s,s) - a(r,s)^2, the inverse stored over the pivot block;
//   for i = s+1 .. f:  w1 = -(inv(r,r) a(r,i) + inv(r,s) a(s,i)),
//                      w2 = -(inv(r,s) a(r,i) + inv(s,s) a(s,i)),
//                      a(i, i..f) := (a(i, .) + w1 a(r, .)) + w2 a(s, .),
//                      a(r,i) := w1, a(s,i) := w2.
void eliminate_pair(const Front& a, int r, SolverInfo& info) {
  const int s = r + 1;
  const int f = a.order;
  double* const row_r = a.row(r);  // row_r[c - r] = a(r, c)
  double* const row_s = a.row(s);  // row_s[c - s] = a(s, c)
  const double arr = row_r[0], ars = row_r[1], ass = row_s[0];
  const double det = arr * ass - ars * ars;
  if (det < 0.0) {
    info.negative_pivot_count += 1;
  } else if (det > 0.0 && ass < 0.0) {
    info.negative_pivot_count += 2;
  }
  const double inv_rr = ass / det, inv_ss = arr / det, inv_rs = -ars / det;
  row_r[0] = inv_rr;
  row_r[1] = inv_rs;
  row_s[0] = inv_ss;
  for (int i = s + 1; i <= f; ++i) {
    const double ari = row_r[i - r], asi = row_s[i - s];
    const double w1 = -(inv_rr * ari + inv_rs * asi);
    const double w2 = -(inv_rs * ari + inv_ss * asi);
    apply_pair(a.row(i), row_r + (i - r), row_s + (i - s), w1, w2, f - i + 1);
    row_r[i - r] = w1;
    row_s[i - s] = w2;
  }
}

// ---- sort_entries ---------------------------------------------------------
// Sums the diagonal entries per variable and distributes the others into
// rows, one per variable in pivot order, in the top `total` words of both
// arrays: a row is its marker (int -v, real the diagonal of v) followed by
// the entries whose variable first in pivot order is v (int the other
// variable, real the value), in increasing entry number. Returns `total`
// (N + off-diagonal entries), or 0 after an error return.
//
// When the rows fit above the values (LA >= NZ + total, as with the storage
// the driver makes) every value goes straight to its word. Otherwise the
// distribution works in place: the values are moved up, highest entry first,
// just below N diagonal sums kept in the last N words (never over an unread
// value, as LA >= NZ + N), each tagged in int_space with its destination;
// the sums are parked in real_space(1..N); then every value is carried round
// its cycle of destinations. Both give the same rows.
std::int64_t sort_entries(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                          View1<const int> cols, View1<double> real_space, std::int64_t la,
                          View1<int> int_space, std::int64_t liw, View1<const int> iplan,
                          View1<int> tree_work, int& iflag) {
  SolverInfo& info = solver.info;
  // Entry k is kept as an off-diagonal entry of row `owner` (its variable
  // first in pivot order), column `other`.
  auto off_diagonal = [&](std::int64_t k, int& owner, int& other) {
    const int i = rows(k), j = cols(k);
    if (i < 1 || i > n || j < 1 || j > n || i == j) return false;
    owner = iplan(i) < iplan(j) ? i : j;
    other = i + j - owner;
    return true;
  };
  auto diagonal = [&](std::int64_t k) { return rows(k) == cols(k) && rows(k) >= 1 && rows(k) <= n; };

  // 1-2. Off-diagonal counts per row in tree_work; ignored entries reported.
  for (int v = 1; v <= n; ++v) tree_work(v) = 0;
  info.IERROR = 0;
  std::int64_t total = n;
  for (std::int64_t k = 1; k <= nz; ++k) {
    const int i = rows(k), j = cols(k);
    if (i < 1 || i > n || j < 1 || j > n) {
      iflag = 1;
      ++info.IERROR;
      write_ignored_entry_warning(solver, phase, info.IERROR, k, i, j);
    } else if (i != j) {
      ++tree_work(iplan(i) < iplan(j) ? i : j);
      ++total;
    }
  }

  // 3. Room for the rows, and for the diagonal sums beside them.
  if (liw < total) {
    iflag = -3;
    info.IERROR = total;
    write_solver_error(solver, phase, -3, liw);
    return 0;
  }
  if (la < total + n) {
    iflag = -4;
    info.IERROR = total + n;
    write_solver_error(solver, phase, -4, la);
    return 0;
  }
  assert(total <= INT_MAX);  // word numbers within the rows are kept in int

  // 4. Word s = 0 .. total-1 of the rows is real_space(real_base + s) and
  //    int_space(int_base + s). First the end of every row (one past its last
  //    word), in pivot order, the inverse order parked in the last N int words.
  const std::int64_t real_base = la - total + 1;
  const std::int64_t int_base = liw - total + 1;
  for (int v = 1; v <= n; ++v) int_space(liw - n + iplan(v)) = v;
  {
    int row_end = 0;
    for (int q = 1; q <= n; ++q) {
      const int v = int_space(liw - n + q);
      row_end += 1 + tree_work(v);
      tree_work(v) = row_end;
    }
  }

  if (la - total >= nz) {
    // Entries highest first into their rows from the end; tree_work(v) ends
    // at the first entry word of row v, its marker just before.
    for (std::int64_t k = nz; k >= 1; --k) {
      int owner, other;
      if (!off_diagonal(k, owner, other)) continue;
      const int word = --tree_work(owner);
      real_space(real_base + word) = real_space(k);
      int_space(int_base + word) = other;
    }
    for (int v = 1; v <= n; ++v) {
      real_space(real_base + tree_work(v) - 1) = 0.0;
      int_space(int_base + tree_work(v) - 1) = -v;
    }
    for (std::int64_t k = 1; k <= nz; ++k) {
      if (diagonal(k)) real_space(real_base + tree_work(rows(k)) - 1) += real_space(k);
    }
    return total;
  }

  // In place. Diagonal sums in real_space(LA-N+1 .. LA).
  const std::int64_t sums = la - n;  // sum of variable v at sums + v
  for (int v = 1; v <= n; ++v) real_space(sums + v) = 0.0;
  for (std::int64_t k = 1; k <= nz; ++k) {
    if (diagonal(k)) real_space(sums + rows(k)) += real_space(k);
  }
  // Values up, highest entry first, to words off_diagonals-1 down to 0, each
  // tagged -(destination + 1); rows fill from their end, so tree_work(v)
  // ends at the first entry word of row v.
  const std::int64_t off_diagonals = total - n;
  {
    std::int64_t s = off_diagonals;
    for (std::int64_t k = nz; k >= 1; --k) {
      int owner, other;
      if (!off_diagonal(k, owner, other)) continue;
      --s;
      const int destination = --tree_work(owner);
      real_space(real_base + s) = real_space(k);
      int_space(int_base + s) = -(destination + 1);
    }
  }
  for (int v = 1; v <= n; ++v) real_space(v) = real_space(sums + v);
  for (std::int64_t s = off_diagonals; s < total; ++s) int_space(int_base + s) = 0;  // free word
  // Carry each value to its destination, picking up what was there (a
  // tagged value continues the cycle; a free word ends it). Placed words
  // are marked 1.
  for (std::int64_t s = 0; s < off_diagonals; ++s) {
    int tag = int_space(int_base + s);
    if (tag >= 0) continue;
    double carried = real_space(real_base + s);
    int_space(int_base + s) = 0;
    for (;;) {
      const std::int64_t destination = -static_cast<std::int64_t>(tag) - 1;
      tag = int_space(int_base + destination);
      const double displaced = real_space(real_base + destination);
      real_space(real_base + destination) = carried;
      int_space(int_base + destination) = 1;
      if (tag >= 0) break;
      carried = displaced;
    }
  }
  // Markers just before each row's first entry, then the column indices in
  // increasing entry number.
  for (int v = 1; v <= n; ++v) {
    const std::int64_t marker = tree_work(v) - 1;
    real_space(real_base + marker) = real_space(v);
    int_space(int_base + marker) = -v;
  }
  for (std::int64_t k = 1; k <= nz; ++k) {
    int owner, other;
    if (off_diagonal(k, owner, other)) int_space(int_base + tree_work(owner)++) = other;
  }
  return total;
}

// Operations of p eliminations in a front of order f, counted as the analysis
// phase counts them for its forecast OPS.
double front_operations(int p, int f) {
  const double pr = p, fr = f;
  return (pr * (fr * (fr + 1.0) - (pr + 1.0) * (2.0 * fr + 1.0) / 2.0) +
          pr * (pr + 1.0) * (2.0 * pr + 1.0) / 6.0) /
         2.0;
}

// ---- factorize_fronts -----------------------------------------------------
// Assembles and partly eliminates the front of every tree node in turn.
void factorize_fronts(Solver& solver, int n, View1<double> real_space, std::int64_t la, View1<int> int_space,
                      std::int64_t liw, View1<const int> iplan, int nnodes, int& mfront, View1<int> tree_work,
                      int& iflag, std::int64_t total, int panel_pivots) {
  const SolverControls& controls = solver.controls;
  SolverInfo& info = solver.info;
  const double u = std::max(std::min(controls.U, 0.5), -0.5);
  const double tolerance = controls.definite_zero_tolerance;
  const bool definite = u <= 0.0;

  mfront = 0;
  info.NCOMPR = 0;
  info.NCOMPI = 0;
  info.NTWO = 0;
  info.negative_pivot_count = 0;
  for (int v = 1; v <= n; ++v) tree_work(v) = 0;
  int consumed = 0;               // pivot positions whose input rows are assembled
  std::int64_t pivots_total = 0;  // pivots taken in all fronts so far
  int block_count = 0;
  std::int64_t next_int = 2;   // next factor integer (int_space(1) is the block count)
  std::int64_t next_real = 1;  // next factor real
  TopRegion int_top{liw - total + 1, liw - total + 1, liw - total + 1};
  TopRegion real_top{la - total + 1, la - total + 1, la - total + 1};
  std::int64_t zero_end = 1;  // real words next_real .. zero_end-1 are zero; zero_end <= stack bottom
  int expected_sign = 0;      // definite mode: sign of the last pivot
  PanelPivots panel;
  double done_ops = 0.0, told_ops = 0.0;  // for factor_progress: operations of the fronts done, last told

  for (int node = 1; node <= nnodes; ++node) {
    const int planned = iplan(n + node);
    const int sons = iplan(2 * n + node);
    if (solver.factor_progress && info.OPS > 0.0 && done_ops - told_ops >= 0.01 * info.OPS) {
      solver.factor_progress(std::min(done_ops / info.OPS, 1.0));
      told_ops = done_ops;
    }

    // ---- a. Front variables: the variables of the top `sons` stacked lists
    //         and of the next `planned` input rows (their own and their
    //         columns). Stacked ones at pivot positions <= consumed are
    //         delayed pivots of sons; with the planned ones they make the
    //         fully summed set, first in the front as it is ordered by pivot
    //         position. ----
    auto for_each_front_variable = [&](auto&& visit) {
      std::int64_t pos = int_top.stack_bottom;
      for (int s = 0; s < sons; ++s) {
        const int length = int_space(pos);
        for (int t = 1; t <= length; ++t) visit(int_space(pos + t), true);
        pos += length + 1;
      }
      pos = int_top.input_start;
      for (int row = 0; row < planned; ++row) {
        assert(pos <= liw && int_space(pos) < 0);
        visit(-int_space(pos), false);
        for (++pos; pos <= liw && int_space(pos) > 0; ++pos) visit(int_space(pos), false);
      }
    };
    int front_order = 0;
    int delayed = 0;
    for_each_front_variable([&](int v, bool stacked) {
      if (tree_work(v) != 0) return;
      tree_work(v) = -1;
      ++front_order;
      if (stacked && iplan(v) <= consumed) ++delayed;
    });
    const int fully_summed = planned + delayed;
    mfront = std::max(mfront, front_order);

    // ---- b. Integer space: the block header (2 words) and the index list
    //         (front_order words) from next_int must end below the stack. ----
    if (int_top.stack_bottom <= next_int + front_order + 1) {
      if (compress_factor_storage(int_space, int_top)) ++info.NCOMPI;
      if (int_top.stack_bottom <= next_int + front_order + 1) {
        iflag = -3;
        info.IERROR = liw - int_top.stack_bottom + next_int + front_order + 2;
        write_solver_error(solver, phase, -3, liw);
        return;
      }
    }
    int* const list = int_space.data() + (next_int + 1);  // list[l-1]: variable at front position l
    {
      int count = 0;
      for_each_front_variable([&](int v, bool) {
        if (tree_work(v) != -1) return;
        tree_work(v) = -2;
        list[count++] = v;
      });
      std::sort(list, list + front_order, [&](int x, int y) { return iplan(x) < iplan(y); });
      for (int l = 1; l <= front_order; ++l) tree_work(list[l - 1]) = l;
    }

    // ---- c. Real space: the front, front_order(front_order+1)/2 words from
    //         next_real, may reach into the topmost son triangle (assembled
    //         first) short of its last word, while its delayed rows,
    //         delayed(2 front_order - delayed + 1)/2 words, end below the
    //         stack. The words not known to be zero are cleared. ----
    const std::int64_t front_words = triangle_words(front_order);
    const std::int64_t delayed_words =
        static_cast<std::int64_t>(delayed) * (2LL * front_order - delayed + 1) / 2;
    const std::int64_t front_last = next_real + front_words - 1;
    auto top_son_words = [&]() -> std::int64_t {
      return sons > 0 ? triangle_words(int_space(int_top.stack_bottom)) : 1;
    };
    auto front_fits = [&] {
      return next_real + delayed_words <= real_top.stack_bottom &&
             front_last <= real_top.stack_bottom + top_son_words() - 2;
    };
    if (!front_fits()) {
      if (compress_factor_storage(real_space, real_top)) ++info.NCOMPR;
      if (!front_fits()) {
        iflag = -4;
        info.IERROR = la - real_top.stack_bottom +
                      std::max(next_real + delayed_words, front_last - top_son_words() + 2);
        write_solver_error(solver, phase, -4, la);
        return;
      }
    }
    {
      const std::int64_t from = std::max(next_real, zero_end);
      const std::int64_t to = std::min(front_last, real_top.stack_bottom - 1);
      if (from <= to) {
        std::fill(real_space.data() + (from - 1), real_space.data() + to, 0.0);
      }
      zero_end = std::max(zero_end, to + 1);
    }
    const Front a{real_space.data() + (next_real - 1), front_order};

    // ---- d. Assembly: each son triangle, topmost first, is added at the
    //         front positions of its variables and popped; then each planned
    //         input row: a(v,v) += diagonal, a(v,w) += value per entry.
    //         Son words are cleared as they are read. ----
    // Rows first_row .. last_row of a son triangle of order `length` at
    // `son`, read from the last word down; local[t-1] is the front position
    // of its variable t.
    // Son columns whose positions follow one another in the front, after
    // that of the row, are added as one run, a pack at a time from its end.
    // Each pack's values are read and cleared before its targets are added
    // to, so where the targets overlap the words read (never below them)
    // every word holds what the entry by entry order would leave there.
    auto add_son_rows = [&](double* son, const int* local, int length, int first_row, int last_row) {
      for (int t = last_row; t >= first_row; --t) {
        const int lt = local[t - 1];
        double* const son_row = son + row_offset(t, length);  // son_row[b - t] = son entry (t, b)
        double* const target = a.row(lt);                     // target[c - lt] = a(lt, c)
        for (int b = length; b >= t;) {
          const int lb = local[b - 1];
          if (lt > lb) {
            const double value = son_row[b - t];
            son_row[b - t] = 0.0;
            a.at(lb, lt) += value;
            --b;
            continue;
          }
          int low = b;  // the run: columns low .. b at positions lb - (b - low) .. lb
          while (low > t && local[low - 2] == local[low - 1] - 1) --low;
          double* const from = son_row + (low - t);
          double* const to = target + (lb - (b - low) - lt);
          int m = b - low + 1;
          for (; m >= pack_width; m -= pack_width) {
            const Pack value = load_pack(from + (m - pack_width));
            store_pack(from + (m - pack_width), Pack{});
            store_pack(to + (m - pack_width), load_pack(to + (m - pack_width)) + value);
          }
          for (; m > 0; --m) {
            const double value = from[m - 1];
            from[m - 1] = 0.0;
            to[m - 1] += value;
          }
          b = low - 1;
        }
      }
    };
    const std::int64_t stack_bottom_before = real_top.stack_bottom;
    for (int s = 0; s < sons; ++s) {
      const int length = int_space(int_top.stack_bottom);
      // The son's list, popped with it, is turned into front positions.
      int* const local = int_space.data() + int_top.stack_bottom;  // local[t-1]: position of variable t
      for (int t = 0; t < length; ++t) local[t] = tree_work(local[t]);
      double* const son = real_space.data() + (real_top.stack_bottom - 1);
      const std::int64_t son_words = triangle_words(length);
      if (s == 0 && front_last >= real_top.stack_bottom) {
        // The front reaches into this triangle. Its leading rows, those of
        // variables delayed here, land in the front's delayed rows, below the
        // stack. The rest is a triangle of order length - lead over variables
        // in pivot order; moved down to the front's first non-delayed row,
        // each of its entries lands at or above its own word, so read from
        // the last word down it never overwrites an unread one.
        int lead = 0;
        while (lead < length && local[lead] <= delayed) ++lead;
        assert(std::is_sorted(local + lead, local + length) && (lead == length || local[lead] > delayed));
        add_son_rows(son, local, length, 1, lead);
        const std::int64_t lead_words = row_offset(lead + 1, length);
        const std::int64_t rest_words = son_words - lead_words;
        double* const rest = a.first + delayed_words;
        std::memmove(rest, son + lead_words, static_cast<std::size_t>(rest_words) * sizeof(double));
        std::fill(std::max(rest + rest_words, son + lead_words), son + son_words, 0.0);
        add_son_rows(rest, local + lead, length - lead, 1, length - lead);
      } else {
        add_son_rows(son, local, length, 1, length);
      }
      int_top.stack_bottom += length + 1;
      real_top.stack_bottom += son_words;
    }
    if (zero_end >= stack_bottom_before) zero_end = real_top.stack_bottom;
    for (int row = 0; row < planned; ++row) {
      std::int64_t ip = int_top.input_start;
      std::int64_t rp = real_top.input_start;
      const int lv = tree_work(-int_space(ip));
      double* const row_v = a.row(lv);  // row_v[c - lv] = a(lv, c)
      row_v[0] += real_space(rp);
      for (++ip, ++rp; ip <= liw && int_space(ip) > 0; ++ip, ++rp) {
        const int lw = tree_work(int_space(ip));
        if (lw > lv) {
          row_v[lw - lv] += real_space(rp);
        } else {
          a.at(lw, lv) += real_space(rp);
        }
      }
      int_top.input_start = ip;
      real_top.input_start = rp;
    }
    consumed += planned;
    for (int l = 0; l < front_order; ++l) tree_work(list[l]) = 0;

    // ---- e. Pivots among the fully summed rows 1 .. fully_summed; p of
    //         them taken so far, at positions 1 .. p. ----
    int p = 0;
    auto take_one_by_one = [&](double d) {  // the pivot is at position p+1
      if (1.0 / d < 0.0) info.negative_pivot_count += 1;
      if (panel.count == 0) panel.first = p + 1;
      panel.d[panel.count++] = d;
      ++p;
      if (panel.count == panel_pivots) apply_panel(a, panel, p + 1);
    };
    if (definite) {
      // Every fully summed row in turn, without interchanges. |d| at or
      // below the tolerance is an error; a change of sign a warning (or an
      // error when U < 0).
      for (int j = 1; j <= fully_summed; ++j) {
        if (panel.count > 0) update_candidate_row(a, panel, j);
        const double d = a.at(j, j);
        const std::int64_t stage = pivots_total + p + 1;
        if (std::abs(d) <= tolerance) {
          iflag = -5;
          info.IERROR = stage;
          write_solver_error(solver, phase, -5, 0);
          return;
        }
        const int sign = d < 0.0 ? -1 : 1;
        if (expected_sign != 0 && sign != expected_sign) {
          if (iflag != 2) {
            iflag = 2;
            info.IERROR = 0;
          }
          ++info.IERROR;
          if (info.IERROR <= 10) write_sign_change_warning(solver, stage);
          if (u < 0.0) {
            iflag = -6;
            info.IERROR = stage;
            write_solver_error(solver, phase, -6, 0);
            return;
          }
        }
        expected_sign = sign;
        take_one_by_one(d);
      }
    } else {
      // Passes over the candidate positions j = p+1 .. fully_summed, each
      // once. A candidate at p+1 is tested against its own row, brought up
      // to date by the pending panel; any other step needs every row up to
      // date, so the panel is applied first.
      for (int pass = 1; pass <= fully_summed && p < fully_summed; ++pass) {
        bool taken = false;
        for (int j = p + 1; j <= fully_summed; ++j) {
          const bool at_next = j == p + 1;
          if (at_next && panel.count > 0) update_candidate_row(a, panel, j);
          // amax = max |a(j,c)|, c = j+1 .. fully_summed, first at c = k;
          // rmax = max(amax, |a(j,c)| for c > fully_summed, |a(r,j)| for r = p+1 .. j-1).
          const double* const row_j = a.row(j);
          double amax = 0.0;
          int k = 0;
          for (int c = j + 1; c <= fully_summed; ++c) {
            const double size = std::abs(row_j[c - j]);
            if (size > amax) {
              amax = size;
              k = c;
            }
          }
          double rmax = amax;
          rmax = std::max(rmax, max_abs(row_j + (fully_summed + 1 - j), front_order - fully_summed));
          for (int r = p + 1; r < j; ++r) rmax = std::max(rmax, std::abs(a.at(r, j)));
          const double d = row_j[0];
          // 1x1: |a(j,j)| > max(u rmax, tolerance).
          if (std::abs(d) > std::max(u * rmax, tolerance)) {
            if (!at_next) swap_positions(a, list, p + 1, j);
            take_one_by_one(d);
            if (!at_next && panel.count > 0) apply_panel(a, panel, p + 1);
            taken = true;
            continue;
          }
          if (panel.count > 0) apply_panel(a, panel, j + 1);  // row j is up to date already
          // 2x2 with k: det = a(j,j) a(k,k) - amax^2,
          // q = |det| / (u max(|a(j,j)| + amax, |a(k,k)| + amax)); accepted
          // when rmax < q and rk < q, rk the largest |entry| of row and
          // column k outside the pair.
          if (k == 0 || !(amax > tolerance)) continue;
          const double akk = a.at(k, k);
          const double det = d * akk - amax * amax;
          const double q = std::abs(det) / (u * std::max(std::abs(d) + amax, std::abs(akk) + amax));
          double rk = 0.0;
          const double* const row_k = a.row(k);
          for (int c = k + 1; c <= front_order; ++c) rk = std::max(rk, std::abs(row_k[c - k]));
          for (int r = j + 1; r < k; ++r) rk = std::max(rk, std::abs(a.at(r, k)));
          for (int r = p + 1; r < j; ++r) rk = std::max(rk, std::abs(a.at(r, k)));
          if (!(rmax < q && rk < q)) continue;
          if (j != p + 1) swap_positions(a, list, p + 1, j);
          if (k != p + 2) swap_positions(a, list, p + 2, k);
          list[p] = -list[p];
          ++info.NTWO;
          eliminate_pair(a, p + 1, info);
          p += 2;
          taken = true;
          ++j;  // the next position holds the pair's second pivot, or is left for the next pass
        }
        if (!taken) break;
      }
    }
    if (panel.count > 0) apply_panel(a, panel, p + 1);

    // ---- f. Block record: no pivot writes nothing; one pivot -front_order
    //         and the list moved down a word; more front_order, pivots. The
    //         pivot rows, p(2 front_order - p + 1)/2 words, stay as factors. ----
    const int pivots = p;
    pivots_total += pivots;
    done_ops += front_operations(pivots, front_order);
    std::int64_t remainder_list = next_int + 2 + pivots;  // int word of the first remainder variable
    if (pivots == 1) {
      int_space(next_int) = -front_order;
      std::memmove(int_space.data() + next_int, list, static_cast<std::size_t>(front_order) * sizeof(int));
      remainder_list = next_int + 2;
      next_int += front_order + 1;
      ++block_count;
    } else if (pivots >= 2) {
      int_space(next_int) = front_order;
      int_space(next_int + 1) = pivots;
      next_int += front_order + 2;
      ++block_count;
    }
    next_real += static_cast<std::int64_t>(pivots) * (2LL * front_order - pivots + 1) / 2;

    // ---- g. Remainder of order front_order - pivots: pushed unless empty or
    //         at the last node (dropped there): its list with a length word
    //         on the integer stack, its triangle on the real stack (already
    //         in place when it ends at the stack bottom, otherwise copied up
    //         and the vacated words cleared). ----
    const int remainder = front_order - pivots;
    if (remainder > 0 && node < nnodes) {
      if (int_top.stack_bottom - (remainder + 1) < next_int) {
        if (compress_factor_storage(int_space, int_top)) ++info.NCOMPI;
        if (int_top.stack_bottom - (remainder + 1) < next_int) {
          iflag = -3;
          info.IERROR = liw - int_top.stack_bottom + next_int + remainder + 1;
          write_solver_error(solver, phase, -3, liw);
          return;
        }
      }
      // Without a pivot the list lies above next_int, where the stack may
      // now reach: copy it before writing the length word.
      int_top.stack_bottom -= remainder + 1;
      std::memmove(int_space.data() + int_top.stack_bottom, int_space.data() + (remainder_list - 1),
                   static_cast<std::size_t>(remainder) * sizeof(int));
      int_space(int_top.stack_bottom) = remainder;
      const std::int64_t words = triangle_words(remainder);
      if (front_last == real_top.stack_bottom - 1) {
        real_top.stack_bottom = next_real;
        zero_end = next_real;
      } else {
        const std::int64_t to = real_top.stack_bottom - words;
        double* const source = real_space.data() + (next_real - 1);
        std::memmove(real_space.data() + (to - 1), source, static_cast<std::size_t>(words) * sizeof(double));
        const std::int64_t vacated_end = std::min(front_last, to - 1);  // last source word not overwritten
        if (vacated_end >= next_real) std::fill(source, real_space.data() + vacated_end, 0.0);
        real_top.stack_bottom = to;
        zero_end = std::min(zero_end, to);
      }
    }
  }

  // ---- Finish: block count (negated when 2x2 pivots were used), storage
  //      used by the factors, and the rank when short of N. ----
  int_space(1) = info.NTWO > 0 ? -block_count : block_count;
  info.RUSAGE = next_real - 1;
  info.IUSAGE = next_int - 1;
  if (pivots_total != n) {
    iflag = 3;
    info.IERROR = pivots_total;
    write_singular_warning(solver, pivots_total);
  }
}

// ---- Listings --------------------------------------------------------------

std::string blanks(int count) { return std::string(static_cast<std::size_t>(count), ' '); }

// Reals five a line in the 13-wide D form after `label` (continuation lines
// indented by its width).
void write_real_list(std::ostream& out, const std::string& label, const double* values, std::int64_t count) {
  out << label;
  for (std::int64_t i = 0; i < count; ++i) {
    if (i > 0 && i % 5 == 0) out << '\n' << blanks(static_cast<int>(label.size()));
    out << fortran_exponent(values[i], 13, 3, 'D');
  }
  out << '\n';
}

void write_entry_listing(const Solver& solver, int n, std::int64_t nz, View1<const int> rows,
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

void write_exit_listing(const Solver& solver, int mfront, int iflag, View1<const double> real_space,
                        View1<const int> int_space) {
  std::ostream& out = solver_console(solver);
  const SolverInfo& info = solver.info;
  out << "\n LEAVING MFFACT WITH\n"
      << blanks(10) << "  MFRONT  IFLAG RUSAGE IUSAGE NCOMPR NCOMPI   NTWO IERROR\n"
      << blanks(11) << fortran_int(mfront, 7) << fortran_int(iflag, 7) << fortran_int(info.RUSAGE, 7)
      << fortran_int(info.IUSAGE, 7) << fortran_int(info.NCOMPR, 7) << fortran_int(info.NCOMPI, 7)
      << fortran_int(info.NTWO, 7) << fortran_int(info.IERROR, 7) << '\n';
  write_factor_blocks(out, real_space, int_space, solver.controls.diagnostic_level >= 2);
}

}  // namespace

// ---- Shared listing helpers ---------------------------------------------

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

void write_integer_list(std::ostream& out, const std::string& label, View1<const int> values,
                        std::int64_t count) {
  out << label;
  for (std::int64_t i = 1; i <= count; ++i) {
    if (i > 1 && (i - 1) % 10 == 0) out << '\n' << blanks(static_cast<int>(label.size()));
    out << fortran_int(values(i), 6);
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

// ---- The phase ----------------------------------------------------------

void factorize_with_panel(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                          View1<const int> cols, View1<double> real_space, std::int64_t la,
                          View1<int> int_space, std::int64_t liw, View1<const int> iplan, int nnodes,
                          int& mfront, View1<int> tree_work, int& iflag, int panel_pivots) {
  assert(1 <= panel_pivots && panel_pivots <= max_panel_pivots);
  const SolverControls& controls = solver.controls;
  SolverInfo& info = solver.info;
  const bool listing = controls.diagnostic_level >= 1 && controls.diagnostic_unit > 0;
  iflag = 0;
  if (listing) write_entry_listing(solver, n, nz, rows, cols, real_space, la, liw, iplan, nnodes);
  if (n < 1 || n > controls.integer_limit) {
    iflag = -1;
    write_solver_error(solver, phase, -1, n);
    return;
  }
  if (nz < 0) {
    iflag = -2;
    write_solver_error(solver, phase, -2, nz);
    return;
  }
  if (liw < nz) {
    iflag = -3;
    info.IERROR = nz;
    write_solver_error(solver, phase, -3, liw);
    return;
  }
  if (la < nz + n) {
    iflag = -4;
    info.IERROR = nz + n;
    write_solver_error(solver, phase, -4, la);
    return;
  }
  if (nnodes < 1 || nnodes > n) {
    iflag = -7;
    write_solver_error(solver, phase, -7, 0);
    return;
  }
  const std::int64_t total =
      sort_entries(solver, n, nz, rows, cols, real_space, la, int_space, liw, iplan, tree_work, iflag);
  if (iflag < 0) return;
  factorize_fronts(solver, n, real_space, la, int_space, liw, iplan, nnodes, mfront, tree_work, iflag, total,
                   panel_pivots);
  if (listing && iflag >= 0) write_exit_listing(solver, mfront, iflag, real_space, int_space);
}

void MFFACT(Solver& solver, int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
            View1<double> real_space, std::int64_t la, View1<int> int_space, std::int64_t liw,
            View1<const int> iplan, int nnodes, int& mfront, View1<int> tree_work, int& iflag) {
  factorize_with_panel(solver, n, nz, rows, cols, real_space, la, int_space, liw, iplan, nnodes, mfront,
                       tree_work, iflag, default_panel_pivots);
}

int factorize_with_retries(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                           View1<const int> cols, View1<const double> values, View1<const int> iplan,
                           int nnodes, View1<int> tree_work, FactorStorage& storage, int retries) {
  std::int64_t made_la = -1, made_liw = -1;  // sizes of the arrays held
  for (int attempt = 0;; ++attempt) {
    if (storage.la != made_la || !storage.real_space) {
      storage.real_space.reset();
      storage.real_space = std::make_unique_for_overwrite<double[]>(
          static_cast<std::size_t>(std::max<std::int64_t>(storage.la, 0)));
      made_la = storage.la;
    }
    if (storage.liw != made_liw || !storage.int_space) {
      storage.int_space.reset();
      storage.int_space = std::make_unique_for_overwrite<int[]>(
          static_cast<std::size_t>(std::max<std::int64_t>(storage.liw, 0)));
      made_liw = storage.liw;
    }
    const std::int64_t copied = std::min(nz, storage.la);
    for (std::int64_t k = 1; k <= copied; ++k)
      storage.real_space[static_cast<std::size_t>(k - 1)] = values(k);
    int iflag = 0;
    storage.mfront = 0;
    MFFACT(solver, n, nz, rows, cols,
           View1<double>(storage.real_space.get(), std::max<std::int64_t>(storage.la, 0)), storage.la,
           View1<int>(storage.int_space.get(), std::max<std::int64_t>(storage.liw, 0)), storage.liw, iplan,
           nnodes, storage.mfront, tree_work, iflag);
    if (attempt == retries || (iflag != -3 && iflag != -4)) return iflag;
    if (iflag == -3) {
      storage.liw = std::max(solver.info.IERROR, 2 * storage.liw);
    } else {
      storage.la = std::max(solver.info.IERROR, 2 * storage.la);
    }
  }
}

}  // namespace quorix
