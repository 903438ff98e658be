// The front kernels of the factorization (see front_kernels.hpp). Every
// entry receives its updates in the order of pivot-by-pivot elimination,
// whatever the grouping of the pivots into panels and of the rows into tiles.

#include "solver/front_kernels.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "parallel/task_pool.hpp"

namespace quorix {

namespace {

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

// row(j .. len-1) += w(k) * u[k](j .. len-1) for k = 0 .. count-1 in turn,
// `packs` packs of the row at a time while they fit; returns where it
// stopped. The packs stay in registers while the pivots pass over them, so
// that the additions of neighbouring packs overlap.
template <int packs>
std::int64_t update_row_packs(double* row, const double* const* u, const double* w, int count, std::int64_t j,
                              std::int64_t len) {
  constexpr int width = packs * pack_width;
  for (; j + width <= len; j += width) {
    Pack sum[packs];
    for (int p = 0; p < packs; ++p) sum[p] = load_pack(row + j + p * pack_width);
    for (int k = 0; k < count; ++k) {
      const double wk = w[k];
      for (int p = 0; p < packs; ++p) sum[p] += wk * load_pack(u[k] + j + p * pack_width);
    }
    for (int p = 0; p < packs; ++p) store_pack(row + j + p * pack_width, sum[p]);
  }
  return j;
}

// row(0 .. len-1) += w(k) * u[k](0 .. len-1) for k = 0 .. count-1 in turn:
// every entry receives the products one pivot after the other, exactly as in
// pivot-by-pivot elimination. Eight packs of 4 or 2 doubles at a time (four
// of 8) keep the adders busy; the end of the row goes in fewer. The rows
// u[k] never overlap the row updated.
void update_one_row(double* row, const double* const* u, const double* w, int count, std::int64_t len) {
  std::int64_t j = 0;
  if constexpr (pack_width < 8) j = update_row_packs<8>(row, u, w, count, j, len);
  j = update_row_packs<4>(row, u, w, count, j, len);
  j = update_row_packs<2>(row, u, w, count, j, len);
  j = update_row_packs<1>(row, u, w, count, j, len);
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
// one per pivot row. The rows are updated a tile at a time, each load of
// the buffer serving all of them, each multiplier all packs of its row.
// A tile's sums stay in registers while the pivots pass: 8 rows of 2 packs
// with AVX-512's 32 vector registers; 6 rows of 2 packs with the 16 of AVX2,
// which leaves room for the two packs of the pivot row and a multiplier (8
// rows would not: part of the sums would go to memory and back at every
// pivot, and 4 rows leave the multiply and add units waiting on loads); 4
// rows with SSE2.
constexpr int chunk_packs = 2;
#if defined(__AVX512F__)
constexpr int wide_tile = 8, narrow_tile = 8;
#elif defined(__AVX__)
constexpr int wide_tile = 6, narrow_tile = 4;
#else
constexpr int wide_tile = 4, narrow_tile = 4;
#endif
// Below this many rows to update, the narrow tile: the triangles where the
// rows meet their own columns, and the tiles cut short at the ends, are a
// larger part of a small update, and cost less in narrow tiles.
constexpr int wide_tile_rows = 384;
// Below this many, the rows are updated one at a time.
constexpr int small_update_rows = 32;
constexpr int chunk_columns = chunk_packs * pack_width;
constexpr int column_block = 384;  // 384 columns of 64 pivot rows: 196 KB
static_assert(column_block % chunk_columns == 0 && column_block % wide_tile == 0 &&
              column_block % narrow_tile == 0);

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

// The multipliers of a tile of T rows lie side by side, those of one pivot
// together: w(r, k) = w[k T + r].
//
// Rows r = 0 .. R-1 over `width` columns of one chunk: row[r](t) += w(r, k)
// * u[k chunk_columns + t], k in pivot order.
template <int R, int T>
void update_part_chunk(double* const* row, const double* w, const double* u, int count, int width) {
  int t = 0;
  for (; t + pack_width <= width; t += pack_width) {
    Pack sum[R];
    for (int r = 0; r < R; ++r) sum[r] = load_pack(row[r] + t);
    for (int k = 0; k < count; ++k) {
      const Pack uk = load_pack(u + k * chunk_columns + t);
      const double* const wk = w + k * T;
      for (int r = 0; r < R; ++r) sum[r] += wk[r] * uk;
    }
    for (int r = 0; r < R; ++r) store_pack(row[r] + t, sum[r]);
  }
  for (; t < width; ++t) {
    for (int r = 0; r < R; ++r) {
      double sum = row[r][t];
      for (int k = 0; k < count; ++k) sum += w[k * T + r] * u[k * chunk_columns + t];
      row[r][t] = sum;
    }
  }
}

// The same over `chunks` whole chunks, one after the other from u.
template <int R, int T>
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
      const double* const wrow = w + k * T;
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
template <int R, int T>
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
    update_part_chunk<R, T>(at, w, panel.words + panel.chunk_start(offset) + into, panel.count, head);
    advance(head);
  }
  const int chunks = width / chunk_columns;
  if (chunks > 0) {
    update_whole_chunks<R, T>(at, w, panel.words + panel.chunk_start(offset), panel.count, chunks);
    advance(chunks * chunk_columns);
  }
  if (width > 0) update_part_chunk<R, T>(at, w, panel.words + panel.chunk_start(offset), panel.count, width);
}

// update_rows for 1 <= rows <= R rows of tiles of T.
template <int T, int R = T>
void update_some_rows(int rows, double* const* row, const double* w, const PackedPanel& panel, int offset,
                      int width) {
  if constexpr (R > 1) {
    if (rows < R) return update_some_rows<T, R - 1>(rows, row, w, panel, offset, width);
  }
  update_rows<R, T>(row, w, panel, offset, width);
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

}  // namespace

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

namespace {

// The packed column block of the thread running a panel update.
double* panel_buffer() {
  thread_local std::unique_ptr<double[]> buffer =
      std::make_unique_for_overwrite<double[]>(static_cast<std::size_t>(column_block) * max_panel_pivots);
  return buffer.get();
}

// The update of rows by a panel's pivots once their multipliers w are known:
// a(i, c) += w(k, i) u(k, c), k in pivot order, in tiles of T rows. Row i =
// first_row + t T + r finds w(k, i) at w[(t count + k) T + r].
template <int T>
struct PanelUpdate {
  const Front& a;
  double* const* pivot_row;  // pivot_row[k][c - q] = u(k, c), q = the pivot's position
  int count;
  int first_row;
  const double* w;

  int panel_first;  // position of the first pivot

  const double* w_of(int i) const { return w + static_cast<std::int64_t>((i - first_row) / T) * count * T; }

  // u(k, jb .. jb + width - 1) into the chunks of `packed`.
  void pack(int jb, int width, const PackedPanel& packed) const {
    for (int k = 0; k < count; ++k) {
      const double* const uk = pivot_row[k] + (jb - (panel_first + k));
      double* to = packed.words + k * chunk_columns;
      int c = 0;
      for (; c + chunk_columns <= width; c += chunk_columns, to += count * chunk_columns)
        for (int t = 0; t < chunk_packs; ++t)
          store_pack(to + t * pack_width, load_pack(uk + c + t * pack_width));
      for (int t = 0; c + t < width; ++t) to[t] = uk[c + t];
    }
  }

  // Rows i0 .. i1 - 1 (i0 - first_row a multiple of T) over their
  // columns up to f. The columns go in blocks whose slice of the panel is
  // copied, packed, into `buffer` (column_block * count words), where it
  // stays in cache; in each block the rows go T at a time: first the
  // rows above the block, over its whole width, then the rows inside it,
  // over their own small triangle and the columns to its right.
  void rows(int i0, int i1, double* buffer) const {
    if (i0 >= i1) return;
    const int f = a.order;
    const PackedPanel packed{buffer, count};
    double* row[T];
    for (int jb = first_row; jb <= f; jb += column_block) {
      const int je = std::min(f, jb + column_block - 1);
      if (i0 > je) continue;  // these rows have no column in the block
      const int width = je - jb + 1;
      pack(jb, width, packed);
      // Rows above the block.
      for (int i = i0; i < std::min(i1, jb); i += T) {
        const int rows = std::min(T, std::min(i1, jb) - i);
        for (int r = 0; r < rows; ++r) row[r] = a.row(i + r) + (jb - (i + r));
        update_some_rows<T>(rows, row, w_of(i), packed, 0, width);
      }
      // Rows inside the block.
      for (int i = std::max(i0, jb); i <= std::min(je, i1 - 1); i += T) {
        const int rows = std::min(T, std::min(je, i1 - 1) - i + 1);
        const double* const wi = w_of(i);
        // The group's own triangle, updated as a square in a copy whose
        // entries below the diagonal (not entries of the front) are dropped.
        double corner[T][T];  // corner[r][c] = a(i+r, i+c), c >= r
        for (int r = 0; r < rows; ++r) {
          row[r] = corner[r];
          for (int c = 0; c < r; ++c) corner[r][c] = 0.0;
          for (int c = r; c < rows; ++c) corner[r][c] = a.at(i + r, i + c);
        }
        update_some_rows<T>(rows, row, wi, packed, i - jb, rows);
        for (int r = 0; r < rows; ++r)
          for (int c = r; c < rows; ++c) a.at(i + r, i + c) = corner[r][c];
        const int c0 = i + rows;
        if (c0 <= je) {
          for (int r = 0; r < rows; ++r) row[r] = a.row(i + r) + (c0 - (i + r));
          update_some_rows<T>(rows, row, wi, packed, c0 - jb, je - c0 + 1);
        }
      }
    }
  }
};

// apply_panel with the rows below updated in tiles of T rows.
template <int T>
void apply_panel_in_tiles(const Front& a, PanelPivots& panel, int first_row) {
  const int count = panel.count;
  const int f = a.order;
  double* pivot_row[max_panel_pivots] = {};  // pivot_row[k][c - q] = a(q, c), q = first + k
  for (int k = 0; k < count; ++k) pivot_row[k] = a.row(panel.first + k);
  auto u_at = [&](int k, int c) -> double& { return pivot_row[k][c - (panel.first + k)]; };
  for (int k = 0; k < count; ++k) {
    for (int c = panel.first + k + 1; c < first_row; ++c) u_at(k, c) = -u_at(k, c) / panel.d[k];
  }
  // w(k, i) = -u(k, i) / d(k) for i = first_row .. f, the rows in tiles as
  // the kernels read them: row i = first_row + t T + r at
  // w[(t count + k) T + r].
  const int rows_below = f - first_row + 1;
  const std::size_t w_words =
      static_cast<std::size_t>(rows_below + T - 1) / T * T * static_cast<std::size_t>(count);
  if (panel.multipliers.size() < w_words) panel.multipliers.resize(w_words);
  double* const w = panel.multipliers.data();
  auto w_at = [&](int k, int i) {  // i = row - first_row
    return w + (static_cast<std::int64_t>(i / T) * count + k) * T + i % T;
  };
  // A pivot's multipliers of one tile lie side by side: copy(i, pack) takes
  // a pack of rows i .. i + pack_width - 1 (all in one tile), copy(i, one)
  // row i alone.
  constexpr bool pack_in_tile = T % pack_width == 0;
  auto for_each_piece = [&](auto&& copy) {
    for (int t = 0; t < rows_below; t += pack_in_tile ? rows_below : T) {
      const int end = pack_in_tile ? rows_below : std::min(rows_below, t + T);
      int i = t;
      for (; i + pack_width <= end; i += pack_width) copy(i, std::true_type{});
      for (; i < end; ++i) copy(i, std::false_type{});
    }
  };
  for (int k = 0; k < count; ++k) {
    const double* const uk = &u_at(k, first_row);
    const double dk = panel.d[k];
    for_each_piece([&](int i, auto pack) {
      if constexpr (pack) {
        store_pack(w_at(k, i), -load_pack(uk + i) / dk);
      } else {
        *w_at(k, i) = -uk[i] / dk;
      }
    });
  }
  const PanelUpdate<T> update{a, pivot_row, count, first_row, w, panel.first};
  const std::int64_t work = static_cast<std::int64_t>(count) * rows_below * rows_below / 2;
  TaskPool* const pool = panel.pool;
  const std::int64_t min_work = panel.min_split_work;
  const int min_unit_rows = std::max(T, panel.min_split_rows);
  if (rows_below < small_update_rows) {
    // Row by row, as a candidate row, straight from the pivot rows (their u
    // is still in place): packing and tiles cost more than they save on so
    // few rows.
    for (int i = first_row; i <= f; ++i) update_candidate_row(a, panel, i);
  } else if (pool == nullptr || pool->threads() == 1 || work < min_work) {
    update.rows(first_row, f + 1, panel_buffer());
  } else {
    // Row ranges of about equal work (row i has f - i + 1 columns), each a
    // whole number of tiles, handed out largest first.
    const int units = std::min(4 * pool->threads(), (rows_below + min_unit_rows - 1) / min_unit_rows);
    std::vector<int> bounds(static_cast<std::size_t>(units) + 1, f + 1);
    bounds[0] = first_row;
    for (int u = 1; u < units; ++u) {
      // Rows first_row .. i - 1 hold the share u/units of the work.
      const double left = rows_below - std::sqrt(rows_below * (rows_below + 1.0) * (1.0 - double(u) / units));
      const int rows = std::clamp(static_cast<int>(left) / T * T, 0, rows_below);
      bounds[static_cast<std::size_t>(u)] =
          std::max(bounds[static_cast<std::size_t>(u) - 1], first_row + rows);
    }
    pool->for_each_unit(units, [&](int u) {
      update.rows(bounds[static_cast<std::size_t>(u)], bounds[static_cast<std::size_t>(u) + 1],
                  panel_buffer());
    });
  }
  // The multipliers over the pivot rows' u, now that no row needs u.
  for (int k = 0; k < count; ++k) {
    double* const uk = &u_at(k, first_row);
    for_each_piece([&](int i, auto pack) {
      if constexpr (pack) {
        store_pack(uk + i, load_pack(w_at(k, i)));
      } else {
        uk[i] = *w_at(k, i);
      }
    });
  }
  for (int k = 0; k < count; ++k) pivot_row[k][0] = 1.0 / panel.d[k];
  panel.count = 0;
}

}  // namespace

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
// and later blocks read them. In each block the rows go a tile at a time:
// first the rows above the block, over its whole width, then the rows
// inside it, over their own small triangle and the columns to its right.

void apply_panel(const Front& a, PanelPivots& panel, int first_row) {
  if (a.order - first_row + 1 >= wide_tile_rows) {
    apply_panel_in_tiles<wide_tile>(a, panel, first_row);
  } else {
    apply_panel_in_tiles<narrow_tile>(a, panel, first_row);
  }
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
int eliminate_pair(const Front& a, int r) {
  const int s = r + 1;
  const int f = a.order;
  double* const row_r = a.row(r);  // row_r[c - r] = a(r, c)
  double* const row_s = a.row(s);  // row_s[c - s] = a(s, c)
  const double arr = row_r[0], ars = row_r[1], ass = row_s[0];
  const double det = arr * ass - ars * ars;
  const int negative = det < 0.0 ? 1 : det > 0.0 && ass < 0.0 ? 2 : 0;
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
  return negative;
}
int hold_one_by_one(const Front& a, PanelPivots& panel, int p, double d) {
  if (panel.count == 0) panel.first = p + 1;
  panel.d[panel.count++] = d;
  if (panel.count == panel.width) apply_panel(a, panel, p + 2);
  return 1.0 / d < 0.0 ? 1 : 0;
}

// Passes over the candidate positions j = p+1 .. fully_summed, each once. A
// candidate at p+1 is tested against its own row, brought up to date by the
// pending panel; any other step needs every row up to date, so the panel is
// applied first. For candidate j:
//   amax = max |a(j,c)|, c = j+1 .. fully_summed, first at c = k;
//   rmax = max(amax, |a(j,c)| for c > fully_summed, |a(r,j)| for r = p+1 .. j-1);
//   1x1 when |a(j,j)| > max(u rmax, tolerance);
//   else 2x2 with k: det = a(j,j) a(k,k) - amax^2,
//   q = |det| / (u max(|a(j,j)| + amax, |a(k,k)| + amax)), accepted when
//   rmax < q and rk < q, rk the largest |entry| of row and column k outside
//   the pair.
PivotCounts eliminate_threshold_pivots(const Front& a, int* list, int fully_summed, double u,
                                       double tolerance, PanelPivots& panel) {
  const int front_order = a.order;
  PivotCounts counts;
  int& p = counts.pivots;
  for (int pass = 1; pass <= fully_summed && p < fully_summed; ++pass) {
    bool taken = false;
    for (int j = p + 1; j <= fully_summed; ++j) {
      const bool at_next = j == p + 1;
      if (at_next && panel.count > 0) update_candidate_row(a, panel, j);
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
      if (std::abs(d) > std::max(u * rmax, tolerance)) {
        if (!at_next) swap_positions(a, list, p + 1, j);
        counts.negative += hold_one_by_one(a, panel, p, d);
        ++p;
        if (!at_next && panel.count > 0) apply_panel(a, panel, p + 1);
        taken = true;
        continue;
      }
      if (panel.count > 0) apply_panel(a, panel, j + 1);  // row j is up to date already
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
      ++counts.two_by_two;
      counts.negative += eliminate_pair(a, p + 1);
      p += 2;
      taken = true;
      ++j;  // the next position holds the pair's second pivot, or is left for the next pass
    }
    if (!taken) break;
  }
  if (panel.count > 0) apply_panel(a, panel, p + 1);
  return counts;
}

void assemble_input_rows(const Front& a, View1<const int> position, View1<const int> int_space,
                         View1<const double> real_space, int planned, std::int64_t& int_pos,
                         std::int64_t& real_pos) {
  const std::int64_t end = int_space.size();
  for (int row = 0; row < planned; ++row) {
    std::int64_t ip = int_pos;
    std::int64_t rp = real_pos;
    const int lv = position(-int_space(ip));
    double* const row_v = a.row(lv);  // row_v[c - lv] = a(lv, c)
    row_v[0] += real_space(rp);
    for (++ip, ++rp; ip <= end && int_space(ip) > 0; ++ip, ++rp) {
      const int lw = position(int_space(ip));
      if (lw > lv) {
        row_v[lw - lv] += real_space(rp);
      } else {
        a.at(lw, lv) += real_space(rp);
      }
    }
    int_pos = ip;
    real_pos = rp;
  }
}

namespace {

// Son columns whose positions follow one another in the front, after that of
// the row, are added as one run, a pack at a time from its end. Each pack's
// values are read, and cleared when asked, before its targets are added to,
// so where the targets overlap the words read (never below them) every word
// holds what the entry by entry order would leave there. The runs are those
// of the son's positions, found once for all its rows: run_low[b-1] is the
// first column of the run that ends at column b.
template <bool clear>
void add_son_rows_as(const Front& a, std::conditional_t<clear, double*, const double*> son, const int* local,
                     int length, int first_row, int last_row) {
  thread_local std::vector<int> run_low;
  if (run_low.size() < static_cast<std::size_t>(length)) run_low.resize(static_cast<std::size_t>(length));
  for (int b = 1; b <= length; ++b)
    run_low[static_cast<std::size_t>(b) - 1] =
        b > 1 && local[b - 2] == local[b - 1] - 1 ? run_low[static_cast<std::size_t>(b) - 2] : b;
  for (int t = last_row; t >= first_row; --t) {
    const int lt = local[t - 1];
    const auto son_row = son + row_offset(t, length);  // son_row[b - t] = son entry (t, b)
    double* const target = a.row(lt);                  // target[c - lt] = a(lt, c)
    for (int b = length; b >= t;) {
      const int lb = local[b - 1];
      if (lt > lb) {
        const double value = son_row[b - t];
        if constexpr (clear) son_row[b - t] = 0.0;
        a.at(lb, lt) += value;
        --b;
        continue;
      }
      const int low = std::max(run_low[static_cast<std::size_t>(b) - 1], t);  // columns low .. b
      const auto from = son_row + (low - t);  // at positions lb - (b - low) .. lb
      double* const to = target + (lb - (b - low) - lt);
      int m = b - low + 1;
      for (; m >= pack_width; m -= pack_width) {
        const Pack value = load_pack(from + (m - pack_width));
        if constexpr (clear) store_pack(from + (m - pack_width), Pack{});
        store_pack(to + (m - pack_width), load_pack(to + (m - pack_width)) + value);
      }
      for (; m > 0; --m) {
        const double value = from[m - 1];
        if constexpr (clear) from[m - 1] = 0.0;
        to[m - 1] += value;
      }
      b = low - 1;
    }
  }
}

}  // namespace

void add_son_rows(const Front& a, double* son, const int* local, int length, int first_row, int last_row) {
  add_son_rows_as<true>(a, son, local, length, first_row, last_row);
}

void add_son_rows_keeping_son(const Front& a, const double* son, const int* local, int length) {
  add_son_rows_as<false>(a, son, local, length, 1, length);
}

}  // namespace quorix
