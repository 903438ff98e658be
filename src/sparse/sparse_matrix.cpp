#include "sparse/sparse_matrix.hpp"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "parallel/task_pool.hpp"
#include "sparse/large_memory.hpp"
#include "sparse/page_pool.hpp"

namespace quorix {

namespace {

// ---------------------------------------------------------------------------
// The shell sort on a storage layout (three parallel arrays here; the
// compression runs the same passes on sort words, below).
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
// The first of the gaps 4, 13, 40, ... that exceeds n; the passes use the
// gaps below it.
std::int64_t gap_above(std::int64_t n) {
  std::int64_t h = 1;
  do {
    h = 3 * h + 1;
  } while (h <= n);
  return h;
}

template <class Terms>
void shell_sort(Terms terms, std::int64_t n) {
  std::int64_t h = gap_above(n);
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

// Three parallel arrays, as the matrix record holds them: shell_sort_terms,
// and the compression of a record too large for sort words.
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

// ---------------------------------------------------------------------------
// The same shell sort on sort words, for the compression.
//
// A sort word holds a key in its high 32 bits and a position (below 2^32) in
// its low 32 bits, read as a signed 64-bit integer: words order as their keys
// do, and word > (w | kPositionBits) holds exactly when the key is strictly
// greater than w's key, so a pass compares whole words. The passes are those
// of shell_sort, so the order of equal keys is the same too.
//
// A pass with gap h is an insertion sort of each of the h interleaved
// sequences i mod h, and these do not touch each other's positions. For
// h >= 8 (>= 4) the vector passes insert the terms at i, i + 1, ..., i + 7
// (i + 3) together, each lane a different sequence, so a lane moves exactly
// as the scalar pass would move its term; a full vector of terms is carried
// down while any lane still finds a greater key h places back.
// ---------------------------------------------------------------------------
using SortWord = std::int64_t;
constexpr SortWord kPositionBits = 0xFFFFFFFF;
constexpr std::int64_t kMaxSortPositions = std::int64_t{1} << 32;

SortWord sort_word(int key, std::int64_t position) {
  return static_cast<SortWord>(static_cast<std::uint64_t>(static_cast<std::int64_t>(key)) << 32 |
                               static_cast<std::uint64_t>(position));
}
int key_of(SortWord w) { return static_cast<int>(w >> 32); }
std::int64_t position_of(SortWord w) { return w & kPositionBits; }

// Moves words[i] = w back along its sequence of gap h past every word with
// a greater key (bound: w with all position bits set); words[i - h] is one.
inline void insert_back(SortWord* words, std::int64_t i, std::int64_t h, SortWord w, SortWord bound) {
  std::int64_t j = i;
  do {
    words[j] = words[j - h];
    j -= h;
  } while (j >= h && words[j - h] > bound);
  words[j] = w;
}

// One pass with gap h over words[from .. n - 1] (0-based), from >= h.
void insertion_pass(SortWord* words, std::int64_t n, std::int64_t h, std::int64_t from) {
  for (std::int64_t i = from; i < n; ++i) {
    const SortWord w = words[i];
    const SortWord bound = w | kPositionBits;
    if (words[i - h] <= bound) continue;
    insert_back(words, i, h, w, bound);
  }
}

#if defined(__AVX2__)
// Finishes the insertion of w into its sequence after the vector loop stopped
// at the hole j (its content has been copied h places up already).
void finish_insertion(SortWord* words, std::int64_t h, std::int64_t j, SortWord w) {
  const SortWord bound = w | kPositionBits;
  while (j >= h && words[j - h] > bound) {
    words[j] = words[j - h];
    j -= h;
  }
  words[j] = w;
}

// Lanes of a vector: at level `at` each lane's position at + l holds `old`
// (its current content), and `moving` lanes take the word h places back, the
// lanes that stop there take their own word, the others keep `old`.
std::int64_t vector4_pass(SortWord* words, std::int64_t n, std::int64_t h) {
  assert(h >= 4);
  std::int64_t i = h;
  const __m256i position_bits = _mm256_set1_epi64x(kPositionBits);
  for (; i + 4 <= n; i += 4) {
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i));
    const __m256i bound = _mm256_or_si256(w, position_bits);
    __m256i back = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i - h));
    __m256i moving = _mm256_cmpgt_epi64(back, bound);
    if (_mm256_testz_si256(moving, moving)) continue;
    __m256i old = w;
    __m256i active = _mm256_set1_epi64x(-1);
    std::int64_t at = i;
    for (;;) {
      __m256i out = _mm256_blendv_epi8(old, w, active);
      out = _mm256_blendv_epi8(out, back, moving);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + at), out);
      at -= h;
      old = back;
      active = moving;
      if (at < h) {  // the holes reached the first h positions: lanes go on one by one
        alignas(32) SortWord lanes[4];
        alignas(32) SortWord still[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), w);
        _mm256_store_si256(reinterpret_cast<__m256i*>(still), active);
        for (std::int64_t l = 0; l < 4; ++l)
          if (still[l] != 0) finish_insertion(words, h, at + l, lanes[l]);
        break;
      }
      back = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + at - h));
      moving = _mm256_and_si256(active, _mm256_cmpgt_epi64(back, bound));
      if (_mm256_testz_si256(moving, moving)) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + at), _mm256_blendv_epi8(old, w, active));
        break;
      }
    }
  }
  return i;
}
#endif

#if defined(__AVX512F__)
std::int64_t vector8_pass(SortWord* words, std::int64_t n, std::int64_t h) {
  assert(h >= 8);
  std::int64_t i = h;
  const __m512i position_bits = _mm512_set1_epi64(kPositionBits);
  for (; i + 8 <= n; i += 8) {
    const __m512i w = _mm512_loadu_si512(words + i);
    const __m512i bound = _mm512_or_si512(w, position_bits);
    __m512i back = _mm512_loadu_si512(words + i - h);
    __mmask8 moving = _mm512_cmpgt_epi64_mask(back, bound);
    if (moving == 0) continue;
    __m512i old = w;
    __mmask8 active = 0xFF;
    std::int64_t at = i;
    for (;;) {
      _mm512_storeu_si512(words + at,
                          _mm512_mask_blend_epi64(moving, _mm512_mask_blend_epi64(active, old, w), back));
      at -= h;
      old = back;
      active = moving;
      if (at < h) {  // the holes reached the first h positions: lanes go on one by one
        alignas(64) SortWord lanes[8];
        _mm512_store_si512(lanes, w);
        for (int l = 0; l < 8; ++l)
          if ((active >> l) & 1) finish_insertion(words, h, at + l, lanes[l]);
        break;
      }
      back = _mm512_loadu_si512(words + at - h);
      moving = _mm512_mask_cmpgt_epi64_mask(active, back, bound);
      if (moving == 0) {
        _mm512_storeu_si512(words + at, _mm512_mask_blend_epi64(active, old, w));
        break;
      }
    }
  }
  return i;
}
#endif

// One pass with gap h over words[0 .. n - 1].
void gap_pass(SortWord* words, std::int64_t n, std::int64_t h) {
  std::int64_t from = h;
#if defined(__AVX512F__)
  if (h >= 8) from = vector8_pass(words, n, h);
#endif
#if defined(__AVX2__)
  if (h >= 4 && from == h) from = vector4_pass(words, n, h);
#endif
  insertion_pass(words, n, h, from);
}

// Completes a pass with gap h over words[0 .. end - 1] when words[0 ..
// start - 1] have had the pass and words[start .. end - 1] have had it on
// their own: the terms from start on are inserted into their sequences as the
// pass over the whole would insert them. Within the second part every
// sequence is sorted, so once one of its terms stays where it is, so do all
// its later terms: the scan ends when every sequence has kept a term.
void join_pass(SortWord* words, std::int64_t start, std::int64_t end, std::int64_t h) {
  std::vector<char> settled(static_cast<std::size_t>(h), 0);
  std::int64_t open = h;
  std::int64_t sequence = start % h;
  for (std::int64_t i = start; i < end && open > 0; ++i, sequence = sequence + 1 == h ? 0 : sequence + 1) {
    if (settled[static_cast<std::size_t>(sequence)]) continue;
    const SortWord w = words[i];
    const SortWord bound = w | kPositionBits;
    if (words[i - h] <= bound) {
      settled[static_cast<std::size_t>(sequence)] = 1;
      --open;
      continue;
    }
    insert_back(words, i, h, w, bound);
  }
}

// ---------------------------------------------------------------------------
// The same passes on a short row, each placed by ranks.
//
// Most rows hold a few dozen terms in no useful order, and insertion spends
// its time there on mispredicted branches. A pass with gap h sorts each of its
// sequences stably, so a word's place in its sequence is the number of words
// of the sequence that come before it in the order (key, place before the
// pass). Numbered by place, those orders are distinct sort words, and a rank
// is a count of smaller ones: vector compares without a branch. Sequences of
// gap 1 and 4 are counted four lanes at a time (with gap 4 a lane is a
// sequence), those of larger gaps, a few terms long, one by one.
// ---------------------------------------------------------------------------
constexpr std::int64_t kRankedRowWords = 128;

// rank[i] for i < n: how many of the words j < n with j = i mod h (every word
// when h = 1) are smaller than order[i]. order holds n words rounded up to
// four, the extra ones the largest word.
void count_ranks(const SortWord* order, std::int64_t n, std::int64_t h, std::int64_t* rank) {
#if defined(__AVX2__)
  if (h == 1 || h == 4) {
    constexpr int kBlock = 8;  // accumulators held in registers
    const std::int64_t vectors = (n + 3) / 4;
    auto vector_at = [order](std::int64_t v) {
      return _mm256_load_si256(reinterpret_cast<const __m256i*>(order + 4 * v));
    };
    for (std::int64_t v0 = 0; v0 < vectors; v0 += kBlock) {
      const std::int64_t block = std::min<std::int64_t>(kBlock, vectors - v0);
      __m256i mine[kBlock];
      __m256i count[kBlock];
      for (int v = 0; v < kBlock; ++v) {
        mine[v] = v < block ? vector_at(v0 + v) : _mm256_set1_epi64x(std::numeric_limits<SortWord>::min());
        count[v] = _mm256_setzero_si256();
      }
      // A true compare is -1 in its lane.
      if (h == 1) {
        for (std::int64_t j = 0; j < n; ++j) {
          const __m256i other = _mm256_set1_epi64x(order[j]);
          for (int v = 0; v < kBlock; ++v)
            count[v] = _mm256_sub_epi64(count[v], _mm256_cmpgt_epi64(mine[v], other));
        }
      } else {
        for (std::int64_t j = 0; j < vectors; ++j) {
          const __m256i other = vector_at(j);
          for (int v = 0; v < kBlock; ++v)
            count[v] = _mm256_sub_epi64(count[v], _mm256_cmpgt_epi64(mine[v], other));
        }
      }
      for (int v = 0; v < block; ++v)
        _mm256_store_si256(reinterpret_cast<__m256i*>(rank + 4 * (v0 + v)), count[v]);
    }
    return;
  }
#endif
  for (std::int64_t c = 0; c < h && c < n; ++c)
    for (std::int64_t i = c; i < n; i += h) {
      std::int64_t smaller = 0;
      for (std::int64_t j = c; j < n; j += h) smaller += order[j] < order[i];
      rank[i] = smaller;
    }
}

// Sorts row[0 .. n - 1], n <= kRankedRowWords, as shell_sort sorts their keys.
void sort_short_row(SortWord* row, std::int64_t n) {
  alignas(32) SortWord order[kRankedRowWords];
  alignas(32) std::int64_t rank[kRankedRowWords];
  SortWord placed[kRankedRowWords];
  const std::int64_t rounded = (n + 3) & ~std::int64_t{3};
  std::fill(order + n, order + rounded, std::numeric_limits<SortWord>::max());
  std::int64_t h = gap_above(n);
  do {
    h /= 3;
    for (std::int64_t i = 0; i < n; ++i) order[i] = sort_word(key_of(row[i]), i);
    count_ranks(order, n, h, rank);
    for (std::int64_t c = 0; c < h && c < n; ++c)
      for (std::int64_t i = c; i < n; i += h) placed[c + h * rank[i]] = row[i];
    std::copy(placed, placed + n, row);
  } while (h > 1);
}

// Below this many terms a sort runs on one thread.
constexpr std::int64_t kParallelSortWords = std::int64_t{1} << 18;

// Sorts words[0 .. n - 1] as shell_sort sorts their keys, n < 2^32.
//
// With a pool, a pass runs on consecutive parts of the array side by side,
// then joins them in order. A pass sorts each of its sequences (the terms
// i, i + h, i + 2h, ...) by insertion with a strict comparison, which is
// stable sorting, and a stable sort has one result however it is reached:
// the parts' sorted pieces of a sequence, inserted one after the other,
// give exactly what the pass over the whole gives. A short array is placed
// by ranks instead.
void sort_words(SortWord* words, std::int64_t n, TaskPool* pool = nullptr) {
  if (n <= kRankedRowWords) return sort_short_row(words, n);
  std::int64_t h = gap_above(n);
  const int threads = pool != nullptr && n >= kParallelSortWords ? pool->threads() : 1;
  do {
    h /= 3;
    // Parts of at least 8 gaps, so that the joins have little to do.
    const int parts = static_cast<int>(std::min<std::int64_t>(threads, n / (8 * h)));
    if (parts < 2) {
      gap_pass(words, n, h);
      continue;
    }
    auto part_start = [&](int p) { return n * p / parts; };
    pool->for_each_unit(
        parts, [&](int p) { gap_pass(words + part_start(p), part_start(p + 1) - part_start(p), h); });
    for (int p = 1; p < parts; ++p) join_pass(words, part_start(p), part_start(p + 1), h);
  } while (h > 1);
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

// Room for `request` gathered terms; a workspace already larger is kept.
void size_gather_workspace(GatherWorkspace& workspace, std::int64_t request) {
  if (workspace.gathered_rows.empty() || workspace.gathered_rows.size64() <= request) {
    workspace.gathered_rows.release();
    workspace.gathered_cols.release();
    workspace.gathered_values.release();
    workspace.gathered_rows = Table1<int>(request);
    workspace.gathered_cols = Table1<int>(request);
    workspace.gathered_values = Table1<double>(request);
  }
}

// The runs of equal columns of a row sorted by column: keep(column, sum) for
// each run in order, the sum of its values added in the order the sort left
// them; note(i, starts_run) for each word i of the row, in order.
template <class Keep, class Note>
void sum_row(const SortWord* row, const double* row_value, std::int64_t length, Keep&& keep, Note&& note) {
  int col = key_of(row[0]);
  double sum = row_value[position_of(row[0])];
  note(0, true);
  for (std::int64_t i = 1; i < length; ++i) {
    const int next = key_of(row[i]);
    const double value = row_value[position_of(row[i])];
    if (next == col) {
      sum += value;
      note(i, false);
    } else {
      keep(col, sum);
      col = next;
      sum = value;
      note(i, true);
    }
  }
  keep(col, sum);
}

// The compression of a raw pattern compressed before: the values summed in
// the order that compression summed them. Every raw term is checked to be
// where the plan expects it; if one is not, nothing is changed and the
// result is false.
bool compress_by_plan(SparseMatrix& matrix, GatherWorkspace& workspace, TaskPool* pool) {
  CompressionPlan& plan = workspace.plan;
  const auto kept = static_cast<std::int64_t>(plan.rows.size());
  plan.sums.resize(static_cast<std::size_t>(kept));  // kept from one compression to the next
  const double* const raw = matrix.values.data();
  const int* const raw_rows = matrix.row_indices.data();
  const int* const raw_cols = matrix.col_indices.data();
  constexpr std::int64_t chunk = 1 << 16;
  const int units = static_cast<int>((kept + chunk - 1) / chunk);
  std::atomic<bool> moved{false};
  for_each_unit(pool, units, [&](int unit) {
    const std::int64_t end = std::min(kept, (unit + 1) * chunk);
    bool differs = false;
    for (std::int64_t i = unit * chunk; i < end; ++i) {
      const auto t = static_cast<std::size_t>(i);
      const int row = plan.rows[t], col = plan.cols[t];
      auto take = [&](std::uint32_t j) {
        const std::uint32_t from = plan.sum_order[j];
        differs |= raw_rows[from] != row || raw_cols[from] != col;
        return raw[from];
      };
      double sum = take(plan.term_start[t]);  // every kept term sums one raw term at least
      for (std::uint32_t j = plan.term_start[t] + 1; j < plan.term_start[t + 1]; ++j) sum += take(j);
      plan.sums[t] = sum;
    }
    if (differs) moved.store(true, std::memory_order_relaxed);
  });
  if (moved.load()) return false;
  // Only once every raw value is read may the kept terms go over them.
  for_each_unit(pool, units, [&](int unit) {
    const auto begin = static_cast<std::size_t>(unit * chunk);
    const auto end = static_cast<std::size_t>(std::min(kept, (unit + 1) * chunk));
    std::copy(plan.sums.begin() + begin, plan.sums.begin() + end, matrix.values.data() + begin);
    std::copy(plan.rows.begin() + begin, plan.rows.begin() + end, matrix.row_indices.data() + begin);
    std::copy(plan.cols.begin() + begin, plan.cols.begin() + end, matrix.col_indices.data() + begin);
  });
  std::copy(plan.row_start.begin(), plan.row_start.end(), matrix.row_start.data());
  matrix.term_count = kept;
  size_gather_workspace(workspace, plan.gather_request);
  return true;
}

}  // namespace

void init_sparse_matrix(SparseMatrix& matrix, int order, std::int64_t capacity) {
  // Release first, so that the old and new arrays never coexist.
  matrix.row_start.release();
  matrix.row_indices.release();
  matrix.col_indices.release();
  matrix.values.release();
  // The terms are written by the assembly before they are read: their
  // memory is first touched there, by the threads that assemble.
  matrix.row_start = Table1<std::int64_t>(order);
  matrix.row_indices = Table1<int>(capacity, uninitialised);
  matrix.col_indices = Table1<int>(capacity, uninitialised);
  matrix.values = Table1<double>(capacity, uninitialised);
  matrix.order = order;
}

void clear_sparse_matrix(SparseMatrix& matrix) {
  matrix.term_count = 0;
  std::fill(matrix.row_start.begin(), matrix.row_start.end(), std::int64_t{0});
}

void add_element_matrix(SparseMatrix& matrix, const double* element_matrix, const int* dofs, int m) {
  put_element_matrix(matrix, matrix.term_count, element_matrix, dofs, m);
  matrix.term_count += static_cast<std::int64_t>(m) * (m + 1) / 2;
}

void put_element_matrix(SparseMatrix& matrix, std::int64_t after, const double* element_matrix,
                        const int* dofs, int m) {
  std::int64_t k = after;
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
}

void shell_sort_terms(std::int64_t n, View1<int> keys, View1<int> carried, View1<double> vals) {
  assert(n <= keys.size() && n <= carried.size() && n <= vals.size());
  shell_sort(ParallelTerms{keys.data(), carried.data(), vals.data()}, n);
}

void compress_sparse_matrix(SparseMatrix& matrix, GatherWorkspace& workspace, TaskPool* pool) {
  const int n = matrix.order;
  const std::int64_t nz = std::max<std::int64_t>(matrix.term_count, 0);
  const auto size = static_cast<std::size_t>(nz);
  // The record's arrays, 0-based: raw terms on entry, kept terms on exit.
  int* const rows = matrix.row_indices.data();
  int* const cols = matrix.col_indices.data();
  double* const vals = matrix.values.data();

  // A caller whose raw pattern repeats has the compression record its plan,
  // and the next compressions of the same pattern go by it.
  CompressionPlan& plan = workspace.plan;
  if (plan.ready && plan.raw_count == nz && plan.order == n && compress_by_plan(matrix, workspace, pool))
    return;
  plan = CompressionPlan{};
  plan.raw_count = nz;
  plan.order = n;
  const bool record = workspace.patterns_repeat && nz < kMaxSortPositions;
  LargeVector<std::uint32_t> raw_of(record ? size : 0, 0);  // raw position of each term in row order

  // 1. All terms by row: sort words of (row, position), so that a pass moves
  //    8 bytes per term. A record with more terms than a word can number is
  //    sorted in place instead, carrying column and value, by the same passes.
  //    Not zeroed: every entry is written before it is read.
  //    (The column sorts number the terms within a row: an element adds at
  //    most 20 terms to a row, so no real row comes near 2^32.)
  LargeArray<SortWord> words(nz);
  const bool numbered = nz < kMaxSortPositions;
  constexpr std::int64_t kChunk = std::int64_t{1} << 20;
  const int chunks = static_cast<int>((nz + kChunk - 1) / kChunk);
  if (numbered) {
    for_each_unit(pool, chunks, [&](int c) {
      for (std::int64_t k = c * kChunk; k < std::min(nz, (c + 1) * kChunk); ++k)
        words[static_cast<std::size_t>(k)] = sort_word(rows[k], k);
    });
    sort_words(words.get(), nz, pool);
  } else {
    shell_sort(ParallelTerms{rows, cols, vals}, nz);
    for (std::int64_t k = 0; k < nz; ++k) words[static_cast<std::size_t>(k)] = sort_word(rows[k], 0);
  }

  // 2. The start of each row (row_start is zero from clear_sparse_matrix):
  //    where its key first appears, or for an empty row the start of the next.
  for_each_unit(pool, chunks, [&](int c) {
    for (std::int64_t k = c * kChunk; k < std::min(nz, (c + 1) * kChunk); ++k) {
      const int row = key_of(words[static_cast<std::size_t>(k)]);
      if (k == 0 || key_of(words[static_cast<std::size_t>(k - 1)]) != row) matrix.row_start(row) = k + 1;
    }
  });
  for (std::int64_t r = n, next = nz + 1; r >= 1; --r) {
    if (matrix.row_start(r) == 0) matrix.row_start(r) = next;
    next = matrix.row_start(r);
  }

  // Rows go to the threads in groups: [first, end) are the 0-based terms of
  // row r.
  constexpr int kGroupRows = 8192;
  const int groups = (n + kGroupRows - 1) / kGroupRows;
  auto for_each_row_group = [&](auto&& row_work) {
    for_each_unit(pool, groups, [&](int g) {
      const int last = std::min(n, (g + 1) * kGroupRows);
      for (int r = g * kGroupRows + 1; r <= last; ++r)
        row_work(r, matrix.row_start(r) - 1, r < n ? matrix.row_start(r + 1) - 1 : nz);
    });
  };

  // 3. Each term's column and value in row order: the words become (column,
  //    place in its row) for the column sorts, the values go to a copy, and
  //    the record's arrays are free for the kept terms.
  //    The reads jump about within a window of the record as wide as the
  //    terms have moved, too wide for the cache: each is requested a few
  //    terms ahead (within the group, whose words no other thread changes).
  constexpr std::int64_t kAhead = 24;
  LargeArray<double> row_values(nz);
  for_each_unit(pool, groups, [&](int g) {
    const int first_row = g * kGroupRows + 1;
    const int last_row = std::min(n, (g + 1) * kGroupRows);
    const std::int64_t group_end = last_row < n ? matrix.row_start(last_row + 1) - 1 : nz;
    for (int r = first_row; r <= last_row; ++r) {
      const std::int64_t first = matrix.row_start(r) - 1;
      const std::int64_t end = r < n ? matrix.row_start(r + 1) - 1 : nz;
      for (std::int64_t k = first; k < end; ++k) {
        if (numbered && k + kAhead < group_end) {
          const std::int64_t ahead = position_of(words[static_cast<std::size_t>(k + kAhead)]);
          __builtin_prefetch(&cols[ahead]);
          __builtin_prefetch(&vals[ahead]);
        }
        SortWord& word = words[static_cast<std::size_t>(k)];
        const std::int64_t from = numbered ? position_of(word) : k;
        if (record) raw_of[static_cast<std::size_t>(k)] = static_cast<std::uint32_t>(from);
        word = sort_word(cols[from], k - first);
        row_values[static_cast<std::size_t>(k)] = vals[from];
      }
    }
  });

  // 4. Each row by column; then the terms of a run of equal columns are added
  //    into the run's first, in the order the sort left them, and each sum is
  //    kept in order, with the rows' new starts, lengths and the column
  //    lengths (for the workspace). Rows are independent: each is summed
  //    where it lies, its sums and columns written over its first words, and
  //    only then moved to its place among the kept terms.
  //    A compression that records its plan notes, for every raw term in
  //    summation order, its raw position (at the same place as the row's
  //    terms: every raw term is summed once), and where each kept term's
  //    run begins.
  std::int64_t kept = 0;
  std::int64_t longest_row = 0;
  LargeVector<std::int64_t> new_start(static_cast<std::size_t>(n) + 1, 0);  // 0-based, by row
  LargeVector<std::uint32_t> run_start(record ? size : 0, 0);  // by kept term, at its row's words
  if (record) plan.sum_order.resize(size);
  for_each_row_group([&](int r, std::int64_t first, std::int64_t end) {
    std::int64_t count = 0;
    if (first < end) {
      SortWord* const row = &words[static_cast<std::size_t>(first)];
      double* const row_value = &row_values[static_cast<std::size_t>(first)];
      sort_words(row, end - first);
      thread_local std::vector<double> sums;
      sums.clear();
      // A run's column goes over a word the sum has read already.
      sum_row(
          row, row_value, end - first,
          [&](int col, double sum) {
            row[count++] = sort_word(col, 0);
            sums.push_back(sum);
          },
          [&](std::int64_t i, bool starts_run) {
            if (!record) return;
            const auto at = static_cast<std::size_t>(first + i);
            plan.sum_order[at] = raw_of[static_cast<std::size_t>(first + position_of(row[i]))];
            if (starts_run)
              run_start[static_cast<std::size_t>(first) + sums.size()] = static_cast<std::uint32_t>(at);
          });
      std::copy(sums.begin(), sums.end(), row_value);
    }
    new_start[static_cast<std::size_t>(r)] = count;
  });
  for (int r = 1; r <= n; ++r) {
    const std::int64_t count = new_start[static_cast<std::size_t>(r)];
    new_start[static_cast<std::size_t>(r)] = kept;
    kept += count;
    longest_row = std::max(longest_row, count);
  }
  if (record) plan.term_start.resize(static_cast<std::size_t>(kept) + 1);
  for_each_row_group([&](int r, std::int64_t first, [[maybe_unused]] std::int64_t end) {
    const std::int64_t to = new_start[static_cast<std::size_t>(r)];
    const std::int64_t count = (r < n ? new_start[static_cast<std::size_t>(r) + 1] : kept) - to;
    assert(count <= end - first);
    for (std::int64_t j = 0; j < count; ++j) {
      rows[to + j] = r;
      cols[to + j] = key_of(words[static_cast<std::size_t>(first + j)]);
      vals[to + j] = row_values[static_cast<std::size_t>(first + j)];
    }
    if (record)
      std::copy(run_start.begin() + first, run_start.begin() + first + count, plan.term_start.begin() + to);
  });
  for (int r = 1; r <= n; ++r) matrix.row_start(r) = new_start[static_cast<std::size_t>(r)] + 1;
  matrix.term_count = kept;
  // Their pages go on to the next stage.
  return_to_pool(words);
  return_to_pool(row_values);
  Table1<std::int64_t> column_count(n);
  for (std::int64_t k = 0; k < kept; ++k) column_count(cols[k]) += 1;

  // 5. Room for three times the longest row, and for the longest column: in
  //    the upper triangle a column can be much longer than any row (an arrow
  //    matrix), and gather_column must not write past the end. A workspace
  //    already larger than needed is kept.
  std::int64_t longest_column = 0;
  for (std::int64_t count : column_count) longest_column = std::max(longest_column, count);
  const std::int64_t request = std::max(3 * longest_row, longest_column);
  size_gather_workspace(workspace, request);
  if (record) {
    plan.term_start[static_cast<std::size_t>(kept)] = static_cast<std::uint32_t>(nz);
    plan.rows.assign(rows, rows + kept);
    plan.cols.assign(cols, cols + kept);
    plan.row_start.assign(matrix.row_start.begin(), matrix.row_start.end());
    plan.gather_request = request;
    plan.ready = true;
  }
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
  for (std::int64_t p = index.first(slot); p < index.first(slot + 1); ++p)
    matrix.values(index.positions(p)) = v;
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
  workspace.plan = CompressionPlan{};
}

void move_matrix_pages_to_pool(SparseMatrix& matrix) {
  matrix.term_count = 0;
  matrix.row_start.release();
  return_to_pool(matrix.row_indices);
  return_to_pool(matrix.col_indices);
  return_to_pool(matrix.values);
}

}  // namespace quorix
