#include "sparse/sparse_matrix.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "parallel/task_pool.hpp"

namespace quorix {
namespace {

using Term = std::tuple<int, int, double>;  // row, column, value

// ---------------------------------------------------------------------------
// Reference: the two-pass compression written out plainly on 1-based vectors
// (entry 0 unused), one statement per step, with no attention to speed.
// ---------------------------------------------------------------------------

// Sorts positions first .. first + n - 1 by key.
void reference_shell_sort(std::int64_t first, std::int64_t n, std::vector<int>& keys,
                          std::vector<int>& carried, std::vector<double>& vals) {
  auto at = [first](std::int64_t k) { return static_cast<std::size_t>(first - 1 + k); };
  std::int64_t h = 1;
  do {
    h = 3 * h + 1;
  } while (h <= n);
  do {
    h = h / 3;
    for (std::int64_t i = h + 1; i <= n; ++i) {
      const int key = keys[at(i)];
      const int car = carried[at(i)];
      const double val = vals[at(i)];
      std::int64_t j = i;
      while (j > h && keys[at(j - h)] > key) {
        keys[at(j)] = keys[at(j - h)];
        carried[at(j)] = carried[at(j - h)];
        vals[at(j)] = vals[at(j - h)];
        j = j - h;
      }
      keys[at(j)] = key;
      carried[at(j)] = car;
      vals[at(j)] = val;
    }
  } while (h > 1);
}

struct ReferenceMatrix {
  int order = 0;
  std::vector<int> rows{0};
  std::vector<int> cols{0};
  std::vector<double> vals{0.0};
  std::vector<std::int64_t> row_start;  // 1..order
  std::int64_t count = 0;
};

void reference_compress(ReferenceMatrix& m) {
  const int n = m.order;
  const std::int64_t nz = m.count;
  m.row_start.assign(static_cast<std::size_t>(n) + 1, 0);
  reference_shell_sort(1, nz, m.rows, m.cols, m.vals);
  for (std::int64_t k = 1; k <= nz; ++k) m.row_start[static_cast<std::size_t>(m.rows[k])] += 1;
  std::int64_t running = 1;
  for (int r = 1; r <= n; ++r) {
    const std::int64_t count = m.row_start[r];
    m.row_start[r] = running;
    running += count;
  }
  for (int r = 1; r <= n; ++r) {
    const std::int64_t first = m.row_start[r];
    const std::int64_t last = r < n ? m.row_start[r + 1] - 1 : nz;
    reference_shell_sort(first, last - first + 1, m.cols, m.rows, m.vals);
    if (last < first) continue;
    int current = m.cols[first];
    std::int64_t p = first;
    for (std::int64_t i = first + 1; i <= last; ++i) {
      if (m.cols[i] == current) {
        m.vals[p] = m.vals[p] + m.vals[i];
        m.rows[i] = 0;
      } else {
        current = m.cols[i];
        p = i;
      }
    }
  }
  std::fill(m.row_start.begin(), m.row_start.end(), 0);
  std::int64_t kept = 0;
  for (std::int64_t k = 1; k <= nz; ++k) {
    if (m.rows[k] == 0) continue;
    ++kept;
    m.rows[kept] = m.rows[k];
    m.cols[kept] = m.cols[k];
    m.vals[kept] = m.vals[k];
    m.row_start[m.rows[kept]] += 1;
  }
  m.count = kept;
  running = 1;
  for (int r = 1; r <= n; ++r) {
    const std::int64_t count = m.row_start[r];
    m.row_start[r] = running;
    running += count;
  }
}

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// Puts raw terms straight into the record, as assembly would leave them.
void put_terms(SparseMatrix& m, const std::vector<Term>& terms) {
  clear_sparse_matrix(m);
  for (const auto& [r, c, v] : terms) {
    ++m.term_count;
    m.row_indices(m.term_count) = r;
    m.col_indices(m.term_count) = c;
    m.values(m.term_count) = v;
  }
}

std::vector<Term> stored_terms(const SparseMatrix& m) {
  std::vector<Term> out;
  for (std::int64_t k = 1; k <= m.term_count; ++k)
    out.emplace_back(m.row_indices(k), m.col_indices(k), m.values(k));
  return out;
}

std::vector<Term> gathered_terms(const GatherWorkspace& w) {
  std::vector<Term> out;
  for (std::int64_t k = 1; k <= w.gathered_count; ++k)
    out.emplace_back(w.gathered_rows(k), w.gathered_cols(k), w.gathered_values(k));
  return out;
}

// A random assembly: `elements` element matrices of size m on equation
// numbers drawn from a window of `band` equations that moves through 1..order,
// like a mesh numbered strip by strip. Values spread over many orders of
// magnitude and both signs, so that the order of summation shows in the
// last bits.
struct Assembly {
  int order;
  int m;
  std::vector<std::vector<int>> dofs;
  std::vector<std::vector<double>> matrices;  // row by row
};

Assembly random_assembly(unsigned seed, int order, int elements, int m, int band) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-20, 20);
  Assembly a{order, m, {}, {}};
  for (int e = 0; e < elements; ++e) {
    const int low =
        1 + static_cast<int>(static_cast<long long>(order - band) * e / std::max(1, elements - 1));
    std::uniform_int_distribution<int> pick(low, low + band - 1);
    std::vector<int> d(static_cast<std::size_t>(m));
    for (int& x : d) x = pick(rng);
    std::vector<double> k(static_cast<std::size_t>(m * m));
    for (double& x : k) x = std::ldexp(mantissa(rng), exponent(rng));
    a.dofs.push_back(std::move(d));
    a.matrices.push_back(std::move(k));
  }
  return a;
}

void assemble(SparseMatrix& matrix, const Assembly& a) {
  clear_sparse_matrix(matrix);
  for (std::size_t e = 0; e < a.dofs.size(); ++e)
    add_element_matrix(matrix, a.matrices[e].data(), a.dofs[e].data(), a.m);
}

ReferenceMatrix reference_of(const SparseMatrix& assembled) {
  ReferenceMatrix r;
  r.order = assembled.order;
  r.count = assembled.term_count;
  for (std::int64_t k = 1; k <= assembled.term_count; ++k) {
    r.rows.push_back(assembled.row_indices(k));
    r.cols.push_back(assembled.col_indices(k));
    r.vals.push_back(assembled.values(k));
  }
  return r;
}

// The stored matrix as (row, column) -> value, for comparison with a dense sum.
std::map<std::pair<int, int>, double> as_map(const SparseMatrix& m) {
  std::map<std::pair<int, int>, double> out;
  for (std::int64_t k = 1; k <= m.term_count; ++k) out[{m.row_indices(k), m.col_indices(k)}] = m.values(k);
  return out;
}

// A small assembled and compressed matrix of order 12: overlapping 4 x 4
// elements with shuffled equation numbers, equations 7 and 12 unused.
struct SmallModel {
  SparseMatrix matrix;
  GatherWorkspace workspace;
  std::map<std::pair<int, int>, double> expected;  // upper triangle, summed in assembly order
};

SmallModel small_model() {
  SmallModel s;
  const std::vector<std::vector<int>> dofs = {
      {3, 1, 4, 2}, {5, 3, 6, 4}, {9, 6, 8, 5}, {11, 10, 9, 8}, {2, 1, 11, 10}};
  init_sparse_matrix(s.matrix, 12, static_cast<std::int64_t>(dofs.size()) * 10);
  clear_sparse_matrix(s.matrix);
  double next = 1.0;
  for (const auto& d : dofs) {
    std::vector<double> k(16);
    for (int j = 0; j < 4; ++j)
      for (int c = j; c < 4; ++c) {  // symmetric, with small integers so every sum is exact
        k[static_cast<std::size_t>(j * 4 + c)] = k[static_cast<std::size_t>(c * 4 + j)] = next;
        s.expected[{std::min(d[j], d[c]), std::max(d[j], d[c])}] += next;
        next += 1.0;
      }
    add_element_matrix(s.matrix, k.data(), d.data(), 4);
  }
  compress_sparse_matrix(s.matrix, s.workspace, &shared_task_pool());
  return s;
}

// ---------------------------------------------------------------------------
// shell_sort_terms
// ---------------------------------------------------------------------------

TEST(ShellSortTerms, ZeroOrOneTermIsLeftUnchanged) {
  std::vector<int> keys{7, 9};
  std::vector<int> carried{1, 2};
  std::vector<double> vals{0.5, 0.25};
  for (std::int64_t n : {0, 1}) {
    shell_sort_terms(n, keys, carried, vals);
    EXPECT_EQ(keys, (std::vector<int>{7, 9}));
    EXPECT_EQ(carried, (std::vector<int>{1, 2}));
    EXPECT_EQ(vals, (std::vector<double>{0.5, 0.25}));
  }
  shell_sort_terms(0, View1<int>(), View1<int>(), View1<double>());  // empty arrays: nothing to touch
}

TEST(ShellSortTerms, FourTermsSortStably) {
  // Four terms get a gap-4 pass, which compares nothing, and a plain
  // insertion pass, which never moves equal keys past each other.
  for (int code = 0; code < 81; ++code) {
    std::vector<int> keys(4);
    for (int i = 0, c = code; i < 4; ++i, c /= 3) keys[static_cast<std::size_t>(i)] = 1 + c % 3;
    std::vector<int> carried{1, 2, 3, 4};
    std::vector<double> vals{10.0, 20.0, 30.0, 40.0};
    std::vector<int> expected{1, 2, 3, 4};
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
      return keys[static_cast<std::size_t>(a - 1)] < keys[static_cast<std::size_t>(b - 1)];
    });
    std::vector<int> sorted_keys = keys;
    std::sort(sorted_keys.begin(), sorted_keys.end());
    shell_sort_terms(4, keys, carried, vals);
    EXPECT_EQ(keys, sorted_keys) << "input code " << code;
    EXPECT_EQ(carried, expected) << "input code " << code;
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(vals[static_cast<std::size_t>(i)], 10.0 * carried[static_cast<std::size_t>(i)]);
  }
}

TEST(ShellSortTerms, GapPassesReorderEqualKeys) {
  // Hand-worked: with five terms the gap-4 pass swaps terms 1 and 5, carrying
  // term 5 ahead of the equal keys 2..4; the insertion pass then finds the
  // keys in order. The sort is not stable, and this is the order it leaves.
  std::vector<int> keys{2, 1, 1, 1, 1};
  std::vector<int> carried{1, 2, 3, 4, 5};
  std::vector<double> vals{1.5, 2.5, 3.5, 4.5, 5.5};
  shell_sort_terms(5, keys, carried, vals);
  EXPECT_EQ(keys, (std::vector<int>{1, 1, 1, 1, 2}));
  EXPECT_EQ(carried, (std::vector<int>{5, 2, 3, 4, 1}));
  EXPECT_EQ(vals, (std::vector<double>{5.5, 2.5, 3.5, 4.5, 1.5}));
}

TEST(ShellSortTerms, MatchesReferenceOnRandomInput) {
  std::mt19937 rng(12345);
  for (std::int64_t n : {2, 3, 5, 12, 13, 14, 39, 40, 41, 200, 1093, 3000, 100000}) {
    for (int distinct : {2, 7, 1000}) {
      std::uniform_int_distribution<int> pick(1, distinct);
      std::vector<int> keys(static_cast<std::size_t>(n) + 1, 0);
      std::vector<int> carried(keys.size(), 0);
      std::vector<double> vals(keys.size(), 0.0);
      for (std::size_t i = 1; i < keys.size(); ++i) {
        keys[i] = pick(rng);
        carried[i] = static_cast<int>(i);
        vals[i] = 0.5 * static_cast<double>(i);
      }
      std::vector<int> ref_keys = keys;
      std::vector<int> ref_carried = carried;
      std::vector<double> ref_vals = vals;
      reference_shell_sort(1, n, ref_keys, ref_carried, ref_vals);
      std::vector<int> stable_keys(keys.begin() + 1, keys.end());
      std::stable_sort(stable_keys.begin(), stable_keys.end());

      shell_sort_terms(n, View1<int>(keys.data() + 1, n), View1<int>(carried.data() + 1, n),
                       View1<double>(vals.data() + 1, n));
      EXPECT_TRUE(std::equal(stable_keys.begin(), stable_keys.end(), keys.begin() + 1)) << "n " << n;
      EXPECT_EQ(carried, ref_carried) << "n " << n << ", " << distinct << " keys";
      EXPECT_EQ(vals, ref_vals) << "n " << n << ", " << distinct << " keys";
      for (std::size_t i = 1; i < keys.size(); ++i)  // every term kept its own carried value and value
        ASSERT_EQ(vals[i], 0.5 * static_cast<double>(carried[i]));
    }
  }
}

// ---------------------------------------------------------------------------
// add_element_matrix
// ---------------------------------------------------------------------------

TEST(AddElementMatrix, TakesUpperTriangleColumnByColumnInGlobalOrder) {
  // Entry (j, c) is 10 j + c: not symmetric, so the test sees which entry was
  // taken. Equation numbers 5, 2, 9 are not ascending: entry (1, 2) lies
  // below the global diagonal and is stored at (2, 5).
  const std::vector<double> k{11, 12, 13, 21, 22, 23, 31, 32, 33};
  const std::vector<int> dofs{5, 2, 9};
  SparseMatrix m;
  init_sparse_matrix(m, 9, 6);
  clear_sparse_matrix(m);
  add_element_matrix(m, k.data(), dofs.data(), 3);
  EXPECT_EQ(stored_terms(m),
            (std::vector<Term>{{5, 5, 11}, {2, 5, 12}, {2, 2, 22}, {5, 9, 13}, {2, 9, 23}, {9, 9, 33}}));
}

TEST(AddElementMatrix, AppendsAfterStoredTermsAndRepeatsDuplicates) {
  const std::vector<double> k{1, 2, 2, 3};
  const std::vector<int> dofs{4, 3};
  SparseMatrix m;
  init_sparse_matrix(m, 4, 6);
  clear_sparse_matrix(m);
  add_element_matrix(m, k.data(), dofs.data(), 2);
  add_element_matrix(m, k.data(), dofs.data(), 2);
  EXPECT_EQ(m.term_count, 6);
  EXPECT_EQ(stored_terms(m),
            (std::vector<Term>{{4, 4, 1}, {3, 4, 2}, {3, 3, 3}, {4, 4, 1}, {3, 4, 2}, {3, 3, 3}}));
}

// ---------------------------------------------------------------------------
// compress_sparse_matrix
// ---------------------------------------------------------------------------

TEST(CompressSparseMatrix, SumsDuplicatesInTheOrderTheSortsLeaveThem) {
  // Four duplicates of one pair: 1e16 + 1 rounds back to 1e16, so the sum
  // depends on the order. Both sorts move the last term ahead of the three
  // equal ones (see GapPassesReorderEqualKeys), so the run is summed as
  // ((-1e16 + 1e16) + 1) + 1 = 2; in assembly order the sum would be 0.
  struct Case {
    const char* name;
    std::vector<Term> raw;
    std::vector<Term> compressed;
  };
  const std::vector<Case> cases = {
      {"row sort",
       {{2, 3, 7.0}, {1, 3, 1e16}, {1, 3, 1.0}, {1, 3, 1.0}, {1, 3, -1e16}},
       {{1, 3, 2.0}, {2, 3, 7.0}}},
      {"column sort",
       {{1, 4, 7.0}, {1, 3, 1e16}, {1, 3, 1.0}, {1, 3, 1.0}, {1, 3, -1e16}},
       {{1, 3, 2.0}, {1, 4, 7.0}}},
  };
  for (const Case& c : cases) {
    SparseMatrix m;
    GatherWorkspace w;
    init_sparse_matrix(m, 4, 5);
    put_terms(m, c.raw);
    compress_sparse_matrix(m, w, &shared_task_pool());
    EXPECT_EQ(stored_terms(m), c.compressed) << c.name;
  }
}

TEST(CompressSparseMatrix, MatchesReferenceTermForTerm) {
  struct Case {
    unsigned seed;
    int order, elements, m, band;
  };
  // Seeds 4 and 5 stress the passes: equation numbers drawn from the whole
  // range (terms travel far, down to the first positions of their
  // sequences), and a few equations shared by thousands of terms (long runs
  // of equal keys, whose order is what is being checked). Seeds 6 and 7 are
  // large enough for the passes and the rows to be shared out among threads,
  // where the parts must join into exactly the one-thread order.
  const std::vector<Case> cases = {
      {1, 6, 40, 3, 6},   {2, 30, 400, 20, 30},        {3, 600, 800, 20, 60},    {4, 400, 1500, 20, 400},
      {5, 9, 6000, 3, 9}, {6, 12000, 1600, 20, 12000}, {7, 20000, 1400, 20, 300}};
  for (const auto& [c, threads] : {std::pair{cases[0], 1},
                                   {cases[1], 1},
                                   {cases[2], 3},
                                   {cases[3], 3},
                                   {cases[4], 1},
                                   {cases[5], 3},
                                   {cases[5], 2},
                                   {cases[6], 3}}) {
    SCOPED_TRACE(threads);
    TaskPool pool(threads);
    const Assembly a = random_assembly(c.seed, c.order, c.elements, c.m, c.band);
    SparseMatrix m;
    GatherWorkspace w;
    init_sparse_matrix(m, c.order, static_cast<std::int64_t>(c.elements) * c.m * (c.m + 1) / 2);
    assemble(m, a);
    ReferenceMatrix ref = reference_of(m);
    const std::vector<Term> raw = stored_terms(m);
    reference_compress(ref);
    compress_sparse_matrix(m, w, &pool);

    ASSERT_EQ(m.term_count, ref.count) << "seed " << c.seed;
    for (int r = 1; r <= c.order; ++r) ASSERT_EQ(m.row_start(r), ref.row_start[static_cast<std::size_t>(r)]);
    int differing_from_assembly_order = 0;
    std::map<std::pair<int, int>, double> in_assembly_order;
    for (const auto& [r, col, v] : raw) in_assembly_order[{r, col}] += v;
    for (std::int64_t k = 1; k <= m.term_count; ++k) {
      const auto kk = static_cast<std::size_t>(k);
      ASSERT_EQ(m.row_indices(k), ref.rows[kk]) << "term " << k;
      ASSERT_EQ(m.col_indices(k), ref.cols[kk]) << "term " << k;
      ASSERT_EQ(bits(m.values(k)), bits(ref.vals[kk])) << "term " << k << " seed " << c.seed;
      if (bits(m.values(k)) != bits(in_assembly_order[{ref.rows[kk], ref.cols[kk]}]))
        ++differing_from_assembly_order;
    }
    // The data must be able to tell summation orders apart, or the bit
    // comparison above proves nothing.
    if (c.seed != 1) {
      EXPECT_GT(differing_from_assembly_order, 0) << "seed " << c.seed;
    }
  }
}

// Short rows are sorted by another route than long ones: every length from 1
// to past the switch, each row with few distinct columns (long runs of equal
// keys), the terms of all rows shuffled together.
TEST(CompressSparseMatrix, RowsOfEveryLengthMatchTheReference) {
  constexpr int kRows = 150;
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::vector<Term> terms;
  for (int r = 1; r <= kRows; ++r) {
    std::uniform_int_distribution<int> col(r, std::min(kRows, r + r / 4));
    for (int k = 0; k < r; ++k) terms.emplace_back(r, col(rng), std::ldexp(mantissa(rng), exponent(rng)));
  }
  std::shuffle(terms.begin(), terms.end(), rng);
  for (int threads : {1, 3}) {
    TaskPool pool(threads);
    SparseMatrix m;
    GatherWorkspace w;
    init_sparse_matrix(m, kRows, static_cast<std::int64_t>(terms.size()));
    put_terms(m, terms);
    ReferenceMatrix ref = reference_of(m);
    reference_compress(ref);
    compress_sparse_matrix(m, w, &pool);
    ASSERT_EQ(m.term_count, ref.count);
    for (std::int64_t k = 1; k <= m.term_count; ++k) {
      const auto kk = static_cast<std::size_t>(k);
      ASSERT_EQ(m.col_indices(k), ref.cols[kk]) << "term " << k;
      ASSERT_EQ(bits(m.values(k)), bits(ref.vals[kk]))
          << "row " << m.row_indices(k) << " threads " << threads;
    }
  }
}

TEST(CompressSparseMatrix, LeavesOrderedUniqueUpperTriangleHoldingTheSums) {
  const Assembly a = random_assembly(7, 200, 500, 20, 40);
  SparseMatrix m;
  GatherWorkspace w;
  init_sparse_matrix(m, 200, 500 * 210);
  assemble(m, a);
  std::map<std::pair<int, int>, double> dense;
  for (std::int64_t k = 1; k <= m.term_count; ++k) dense[{m.row_indices(k), m.col_indices(k)}] += m.values(k);
  compress_sparse_matrix(m, w, &shared_task_pool());

  EXPECT_EQ(m.term_count, static_cast<std::int64_t>(dense.size()));
  for (std::int64_t k = 1; k <= m.term_count; ++k) {
    EXPECT_LE(m.row_indices(k), m.col_indices(k));
    if (k > 1) {
      EXPECT_LT(std::make_pair(m.row_indices(k - 1), m.col_indices(k - 1)),
                std::make_pair(m.row_indices(k), m.col_indices(k)));
    }
    const double sum = dense[{m.row_indices(k), m.col_indices(k)}];
    EXPECT_NEAR(m.values(k), sum, 1e-9 * std::abs(sum) + 1e-12);  // some other order of the same sum
  }
  for (int r = 1; r <= 200; ++r) {
    const std::int64_t end = r < 200 ? m.row_start(r + 1) : m.term_count + 1;
    for (std::int64_t k = m.row_start(r); k < end; ++k) ASSERT_EQ(m.row_indices(k), r);
  }
}

TEST(CompressSparseMatrix, EmptyRowsGetEqualStarts) {
  // Equations 1, 3 and 6 (the last) belong to no element.
  const std::vector<double> k(9, 1.0);
  const std::vector<int> dofs{5, 2, 4};
  SparseMatrix m;
  GatherWorkspace w;
  init_sparse_matrix(m, 6, 6);
  clear_sparse_matrix(m);
  add_element_matrix(m, k.data(), dofs.data(), 3);
  compress_sparse_matrix(m, w, &shared_task_pool());
  EXPECT_EQ(stored_terms(m),
            (std::vector<Term>{{2, 2, 1}, {2, 4, 1}, {2, 5, 1}, {4, 4, 1}, {4, 5, 1}, {5, 5, 1}}));
  EXPECT_EQ(std::vector<std::int64_t>(m.row_start.begin(), m.row_start.end()),
            (std::vector<std::int64_t>{1, 1, 4, 4, 6, 7}));
  for (int s : {1, 3, 6}) {
    gather_row(m, s, w);
    EXPECT_EQ(w.gathered_count, 0) << "row " << s;
    gather_column(m, s, w);
    EXPECT_EQ(w.gathered_count, 0) << "column " << s;
  }
}

TEST(CompressSparseMatrix, ClearAndReassembleEqualsFreshRecord) {
  const Assembly first = random_assembly(21, 50, 120, 20, 20);
  const Assembly second = random_assembly(22, 50, 60, 20, 12);  // fewer terms: stale data stays behind
  SparseMatrix reused;
  GatherWorkspace reused_workspace;
  init_sparse_matrix(reused, 50, 120 * 210);
  assemble(reused, first);
  compress_sparse_matrix(reused, reused_workspace, &shared_task_pool());
  assemble(reused, second);
  compress_sparse_matrix(reused, reused_workspace, &shared_task_pool());

  SparseMatrix fresh;
  GatherWorkspace fresh_workspace;
  init_sparse_matrix(fresh, 50, 60 * 210);
  assemble(fresh, second);
  compress_sparse_matrix(fresh, fresh_workspace, &shared_task_pool());

  EXPECT_EQ(reused.term_count, fresh.term_count);
  EXPECT_EQ(std::vector<std::int64_t>(reused.row_start.begin(), reused.row_start.end()),
            std::vector<std::int64_t>(fresh.row_start.begin(), fresh.row_start.end()));
  const std::vector<Term> a = stored_terms(reused);
  const std::vector<Term> b = stored_terms(fresh);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(std::get<0>(a[i]), std::get<0>(b[i]));
    EXPECT_EQ(std::get<1>(a[i]), std::get<1>(b[i]));
    EXPECT_EQ(bits(std::get<2>(a[i])), bits(std::get<2>(b[i])));
  }
}

// One workspace compressing the same raw pattern again and again, with new
// values, then a new pattern of as many terms: every record is the one a
// fresh workspace gives, bit for bit. The plan is recorded only when the
// caller says the pattern repeats, and then large enough to be recorded by
// several threads at once.
TEST(CompressSparseMatrix, RepeatedPatternGivesTheFreshRecord) {
  for (const bool repeats : {false, true}) {
    SCOPED_TRACE(repeats);
    TaskPool pool(repeats ? 3 : 1);
    Assembly a = random_assembly(23, 60, 90, 20, 16);
    if (repeats) a = random_assembly(23, 20000, 1300, 20, 300);
    const int order = a.order;
    SparseMatrix reused;
    GatherWorkspace reused_workspace;
    reused_workspace.patterns_repeat = repeats;
    init_sparse_matrix(reused, order, 1400 * 210);
    for (int round = 0; round < 5; ++round) {
      SCOPED_TRACE(round);
      if (round == 4) a = random_assembly(24, order, repeats ? 1300 : 90, 20, repeats ? 300 : 16);
      for (auto& k : a.matrices)
        for (double& x : k) x *= 1.0 + 0.1 * round;
      assemble(reused, a);
      compress_sparse_matrix(reused, reused_workspace, &pool);
      SparseMatrix fresh;
      GatherWorkspace fresh_workspace;
      init_sparse_matrix(fresh, order, 1400 * 210);
      assemble(fresh, a);
      compress_sparse_matrix(fresh, fresh_workspace, &pool);
      EXPECT_EQ(reused_workspace.plan.ready, repeats);
      ASSERT_EQ(reused.term_count, fresh.term_count);
      EXPECT_EQ(std::vector<std::int64_t>(reused.row_start.begin(), reused.row_start.end()),
                std::vector<std::int64_t>(fresh.row_start.begin(), fresh.row_start.end()));
      EXPECT_EQ(reused_workspace.gathered_rows.size(), fresh_workspace.gathered_rows.size());
      for (std::int64_t k = 1; k <= fresh.term_count; ++k) {
        ASSERT_EQ(reused.row_indices(k), fresh.row_indices(k));
        ASSERT_EQ(reused.col_indices(k), fresh.col_indices(k));
        ASSERT_EQ(bits(reused.values(k)), bits(fresh.values(k)));
      }
    }
  }
}

TEST(CompressSparseMatrix, SizesWorkspaceForColumnsLongerThanRows) {
  // An arrow: every equation i < n is coupled to n only. Rows hold two terms,
  // column n holds all n; three times the longest row is 6.
  const int n = 50;
  SparseMatrix m;
  GatherWorkspace w;
  init_sparse_matrix(m, n, 3 * (n - 1));
  clear_sparse_matrix(m);
  for (int i = 1; i < n; ++i) {
    const std::vector<double> k{1.0, 0.5 * i, 0.5 * i, 1.0};
    const std::vector<int> dofs{i, n};
    add_element_matrix(m, k.data(), dofs.data(), 2);
  }
  compress_sparse_matrix(m, w, &shared_task_pool());
  EXPECT_GE(w.gathered_rows.size(), n);
  EXPECT_EQ(w.gathered_cols.size(), w.gathered_rows.size());
  EXPECT_EQ(w.gathered_values.size(), w.gathered_rows.size());
  const int size_before = w.gathered_rows.size();
  gather_column(m, n, w);
  ASSERT_EQ(w.gathered_count, n);
  EXPECT_EQ(w.gathered_rows.size(), size_before);  // the gather did not have to grow it
  for (int i = 1; i < n; ++i)
    EXPECT_EQ(gathered_terms(w)[static_cast<std::size_t>(i - 1)], Term(i, n, 0.5 * i));
  EXPECT_EQ(gathered_terms(w).back(), Term(n, n, static_cast<double>(n - 1)));
}

TEST(CompressSparseMatrix, KeepsALargerWorkspace) {
  SmallModel s = small_model();
  s.workspace.gathered_rows = Table1<int>(1000);
  s.workspace.gathered_cols = Table1<int>(1000);
  s.workspace.gathered_values = Table1<double>(1000);
  clear_sparse_matrix(s.matrix);
  const std::vector<double> k{2.0};
  const std::vector<int> dofs{3};
  add_element_matrix(s.matrix, k.data(), dofs.data(), 1);
  compress_sparse_matrix(s.matrix, s.workspace, &shared_task_pool());
  EXPECT_EQ(s.workspace.gathered_rows.size(), 1000);
  gather_row(s.matrix, 3, s.workspace);
  EXPECT_EQ(gathered_terms(s.workspace), (std::vector<Term>{{3, 3, 2.0}}));
}

TEST(CompressSparseMatrix, ZeroedTermsStayInTheRecord) {
  SmallModel s = small_model();
  const std::int64_t count = s.matrix.term_count;
  set_row_values(s.matrix, 4, 0.0);
  set_column_values(s.matrix, 4, 0.0);
  EXPECT_EQ(s.matrix.term_count, count);
  gather_row(s.matrix, 4, s.workspace);
  EXPECT_EQ(gathered_terms(s.workspace), (std::vector<Term>{{4, 4, 0.0}, {4, 5, 0.0}, {4, 6, 0.0}}));
}

// ---------------------------------------------------------------------------
// Row and column access
// ---------------------------------------------------------------------------

TEST(GatherRowAndColumn, ReturnEveryStoredTermInOrder) {
  SmallModel s = small_model();
  for (int e = 1; e <= 12; ++e) {
    std::vector<Term> row;
    std::vector<Term> column;
    for (const auto& [key, v] : s.expected) {
      if (key.first == e) row.emplace_back(key.first, key.second, v);
      if (key.second == e) column.emplace_back(key.first, key.second, v);
    }
    gather_row(s.matrix, e, s.workspace);
    EXPECT_EQ(gathered_terms(s.workspace), row) << "row " << e;
    gather_column(s.matrix, e, s.workspace);
    EXPECT_EQ(gathered_terms(s.workspace), column) << "column " << e;
    EXPECT_LE(s.workspace.gathered_count, s.workspace.gathered_rows.size());
  }
}

TEST(GatherRowAndColumn, GrowAWorkspaceSizedForAnotherMatrix) {
  SmallModel s = small_model();
  GatherWorkspace tiny;  // never sized by a compression
  gather_column(s.matrix, 9, tiny);
  EXPECT_EQ(gathered_terms(tiny), (std::vector<Term>{{5, 9, s.expected[{5, 9}]},
                                                     {6, 9, s.expected[{6, 9}]},
                                                     {8, 9, s.expected[{8, 9}]},
                                                     {9, 9, s.expected[{9, 9}]}}));
  gather_row(s.matrix, 1, tiny);
  EXPECT_EQ(tiny.gathered_count, 6);  // columns 1, 2, 3, 4, 10, 11
  EXPECT_GE(tiny.gathered_rows.size(), 6);
}

TEST(SetValues, ChangeExactlyTheAddressedTerms) {
  struct Case {
    const char* name;
    void (*apply)(SparseMatrix&);
    bool (*hit)(int r, int c);
  };
  const std::vector<Case> cases = {
      {"column 6", [](SparseMatrix& m) { set_column_values(m, 6, -1.0); }, [](int, int c) { return c == 6; }},
      {"column 1", [](SparseMatrix& m) { set_column_values(m, 1, -1.0); }, [](int, int c) { return c == 1; }},
      {"row 5", [](SparseMatrix& m) { set_row_values(m, 5, -1.0); }, [](int r, int) { return r == 5; }},
      {"row 12 (empty)", [](SparseMatrix& m) { set_row_values(m, 12, -1.0); },
       [](int r, int) { return r == 12; }},
      {"diagonal 8", [](SparseMatrix& m) { set_term_value(m, 8, 8, -1.0); },
       [](int r, int c) { return r == 8 && c == 8; }},
      {"term (3, 6)", [](SparseMatrix& m) { set_term_value(m, 3, 6, -1.0); },
       [](int r, int c) { return r == 3 && c == 6; }},
      {"absent term (1, 9)", [](SparseMatrix& m) { set_term_value(m, 1, 9, -1.0); },
       [](int r, int c) { return r == 1 && c == 9; }},
  };
  for (const Case& c : cases) {
    SmallModel s = small_model();
    const std::int64_t count = s.matrix.term_count;
    c.apply(s.matrix);
    EXPECT_EQ(s.matrix.term_count, count) << c.name;
    std::map<std::pair<int, int>, double> expected = s.expected;
    for (auto& [key, v] : expected)
      if (c.hit(key.first, key.second)) v = -1.0;
    EXPECT_EQ(as_map(s.matrix), expected) << c.name;
  }
}

}  // namespace
}  // namespace quorix
