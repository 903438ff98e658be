// Analysis phase of the multifrontal solver: from the pattern of a symmetric
// matrix (no values) it chooses a pivot order by minimum degree, groups the
// pivots into the nodes of an assembly tree, numbered in postorder, and
// forecasts the storage and the operation count of the factorization.
//
// The ordering works on the quotient graph (George and Liu, "Computer Solution
// of Large Sparse Positive Definite Systems", 1981; George and Liu, SIAM
// Review 31, 1989): each eliminated variable becomes an element, the clique of
// its uneliminated neighbours, held as one list; variables with the same
// adjacency are merged into supervariables and eliminated together. Because
// every later floating-point operation of the program follows the pivot order,
// the ties below are broken exactly as written; do not "simplify" them.

#include "solver/analysis_phase.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "solver/elimination_tree.hpp"
#include "solver/factorization_phase.hpp"
#include "solver/solver_listings.hpp"
#include "solver/storage_walk.hpp"
#include "sparse/large_memory.hpp"

namespace quorix {

namespace {

const char* const kPhase = "MFANAL";

// Drops entry k, whose row or column lies outside 1..N: IFLAG 1, IERROR counts
// such entries, the warning names the first ten.
void ignore_entry(Solver& solver, std::int64_t k, int row, int col, int& iflag) {
  iflag = 1;
  ++solver.info.IERROR;
  write_ignored_entry_warning(solver, kPhase, solver.info.IERROR, k, row, col);
}

// a + b + c without overflow (the storage bounds for absurd NZ).
std::int64_t saturated_sum(std::int64_t a, std::int64_t b, std::int64_t c) {
  const std::int64_t top = std::numeric_limits<std::int64_t>::max();
  if (a > top - b) return top;
  if (a + b > top - c) return top;
  return a + b + c;
}

// Whether every entry's row and column lie in 1..N.
bool entries_in_range(int n, std::int64_t nz, View1<const int> rows, View1<const int> cols) {
  const int* const r = rows.data();
  const int* const c = cols.data();
  bool in_range = true;
  for (std::int64_t k = 0; k < nz; ++k)
    in_range &= static_cast<unsigned>(r[k]) - 1u < static_cast<unsigned>(n) &&
                static_cast<unsigned>(c[k]) - 1u < static_cast<unsigned>(n);
  return in_range;
}

// Elimination tree and front orders of a pivot order supplied by the caller
// (IFLAG = 1 on entry), handed to build_assembly_tree as a tree of one-variable
// nodes.
//   iplan: in IPLAN(.,1) the supplied positions, which must be a permutation
//   of 1..N (else IFLAG -8 and nothing else done); out IPLAN(.,2) the variables
//   in decreasing position (the order they enter their father's children list,
//   so that each node's sons are walked in increasing supplied position).
//   tree_work: out, 2N: tree_work(v) the front order of v, tree_work(N + v)
//   its father. int_space: work, LIW >= NZ + 3N (twice NZ more spares an
//   allocation). lower_start, upper_start: work, N + 1 each. known: the tree
//   of this order over the entries' pattern, worked out by the caller, or
//   null; it is taken when it has N variables and every entry is in range
//   (else the entries are gone through as without it, which names the ones
//   out of range).
void supplied_order_tree(Solver& solver, int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
                         View1<int> int_space, std::int64_t liw, View1<int> iplan, View1<int> tree_work,
                         View1<std::int64_t> lower_start, View1<std::int64_t> upper_start,
                         const EliminationTree* known, int& iflag) {
  View1<int> position = iplan;                  // N: position of each variable
  View1<int> variable_at = iplan.from(n + 1);   // N: variable at each position
  View1<int> parent = int_space;                // N: father in the elimination tree
  View1<int> ancestor = int_space.from(n + 1);  // N: path-compressed ancestor
  View1<int> column_count = int_space.from(2 * static_cast<std::int64_t>(n) + 1);  // N
  const std::int64_t lists_base = 3 * static_cast<std::int64_t>(n) + 1;

  // ---- The order: position(v) in 1..N, a permutation. Anything else is the
  // caller's mistake, which no order made up here would mend: IFLAG -8, the
  // first variable whose position is out of range or taken in IERROR.
  for (int k = 1; k <= n; ++k) variable_at(k) = 0;
  for (int v = 1; v <= n; ++v) {
    const int k = position(v);
    if (k < 1 || k > n || variable_at(k) != 0) {
      solver.info.IERROR = v;
      iflag = -8;
      return;
    }
    variable_at(k) = v;
  }

  // ---- Hand over: one variable per node, front order = its column count.
  const auto hand_over = [&](auto count_of, auto father_of) {
    for (int v = 1; v <= n; ++v) {
      tree_work(v) = count_of(v);
      tree_work(n + v) = father_of(v);
    }
    std::reverse(variable_at.data(), variable_at.data() + n);
  };
  solver.info.IERROR = 0;
  const auto size_n = static_cast<std::size_t>(n);
  if (known != nullptr && known->father.size() == size_n && known->column_count.size() == size_n &&
      entries_in_range(n, nz, rows, cols)) {
    const auto at = [](int v) { return static_cast<std::size_t>(v) - 1; };
    hand_over([&](int v) { return known->column_count[at(v)]; }, [&](int v) { return known->father[at(v)]; });
    return;
  }

  // ---- Lower and upper lists: for each off-diagonal entry (i, j) in range,
  // the later of i and j in the order lists the earlier one, and the earlier
  // the later (repeats are harmless). Lower list v occupies
  // int_space(lower_start(v) .. lower_start(v + 1) - 1); the upper lists
  // follow them where int_space has room (else in memory of their own), list
  // u at upper(upper_start(u) .. upper_start(u + 1) - 1). Each list is filled
  // from its end down, which leaves its start where it belongs.
  for (int v = 1; v <= n + 1; ++v) lower_start(v) = upper_start(v) = 0;
  for (std::int64_t k = 1; k <= nz; ++k) {
    const int i = rows(k), j = cols(k);
    if (i < 1 || i > n || j < 1 || j > n) {
      ignore_entry(solver, k, i, j, iflag);
      continue;
    }
    if (i == j) continue;
    const bool i_later = position(i) > position(j);
    ++lower_start(i_later ? i : j);
    ++upper_start(i_later ? j : i);
  }
  const auto ends_from_counts = [n](View1<std::int64_t> start, std::int64_t first) {
    for (int v = 1; v <= n; ++v) start(v) = first += start(v);
    start(n + 1) = first;
    return first;
  };
  const std::int64_t lower_end = ends_from_counts(lower_start, lists_base);
  const std::int64_t listed = lower_end - lists_base;
  const bool own_memory = lower_end - 1 + listed > liw;
  LargeVector<int> upper_store(own_memory ? static_cast<std::size_t>(listed) : 0, 0);
  const View1<int> upper = own_memory ? View1<int>(upper_store) : int_space;
  ends_from_counts(upper_start, own_memory ? 1 : lower_end);
  for (std::int64_t k = 1; k <= nz; ++k) {
    const int i = rows(k), j = cols(k);
    if (i < 1 || i > n || j < 1 || j > n || i == j) continue;
    const bool i_later = position(i) > position(j);
    const int later = i_later ? i : j, earlier = i_later ? j : i;
    int_space(--lower_start(later)) = earlier;
    upper(--upper_start(earlier)) = later;
  }

  // ---- The elimination tree, then the column counts of L, diagonal
  //      included.
  const auto each_in = [](View1<const int> lists, View1<const std::int64_t> start) {
    return [=](int v, auto&& visit) {
      for (std::int64_t q = start(v); q < start(v + 1); ++q) visit(lists(q));
    };
  };
  elimination_tree(n, variable_at, each_in(int_space, lower_start), parent, ancestor);
  column_counts(n, parent, each_in(upper, upper_start), column_count);
  hand_over(column_count, parent);
}

}  // namespace

// ===========================================================================
// Graph building
// ===========================================================================

std::int64_t build_adjacency(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                             View1<const int> cols, View1<int> int_space, View1<std::int64_t> list_start,
                             View1<std::int64_t> list_end, View1<int> met, int& iflag) {
  // ---- Step 1: c(i) = number of off-diagonal entries (i, j) or (j, i) in
  // range, repeats included, counted in list_start(i). Diagonal entries are
  // dropped; out-of-range ones reported and dropped.
  solver.info.IERROR = 0;
  for (int i = 1; i <= n; ++i) list_start(i) = 0;
  for (std::int64_t k = 1; k <= nz; ++k) {
    const int i = rows(k), j = cols(k);
    if (i < 1 || i > n || j < 1 || j > n) {
      ignore_entry(solver, k, i, j, iflag);
      continue;
    }
    if (i == j) continue;
    ++list_start(i);
    ++list_start(j);
  }

  // ---- Step 2: list i gets c(i) + 1 words (length word, then entries) in
  // increasing i; none when c(i) = 0. All L = sum (c(i) + 1) words cleared.
  std::int64_t next_list = 1;
  for (int i = 1; i <= n; ++i) {
    const std::int64_t count = list_start(i);
    if (count == 0) {
      list_end(i) = 0;
      continue;
    }
    list_start(i) = next_list;
    list_end(i) = next_list + 1;  // next entry to write
    next_list += count + 1;
  }
  const std::int64_t lists_end = next_list;
  for (std::int64_t q = 1; q < lists_end; ++q) int_space(q) = 0;

  // ---- Step 3: each pair (i, j), i < j, goes into list i as -j. The pairs
  // are read again from rows and cols (which this phase never changes), in
  // entry order, so the larger-index neighbours of a list keep the order of
  // their entries whatever LIW is.
  for (std::int64_t k = 1; k <= nz; ++k) {
    const int i = rows(k), j = cols(k);
    if (i < 1 || i > n || j < 1 || j > n || i == j) continue;
    const int low = std::min(i, j), high = std::max(i, j);
    int_space(list_end(low)++) = -high;
  }

  // ---- Step 4: sweep i = 1..N. Each -j in list i becomes j and i is
  // appended to list j (so list j receives its smaller neighbours in
  // increasing order). A j met before in list i repeats a pair: it is cleared
  // and its mirror never written, which leaves a cleared word in list j.
  for (int i = 1; i <= n; ++i) met(i) = 0;
  bool repeated = false;
  for (int i = 1; i <= n; ++i) {
    if (list_start(i) == 0) continue;
    for (std::int64_t q = list_start(i) + 1; q < list_end(i); ++q) {
      const int word = int_space(q);
      if (word >= 0) continue;  // a smaller neighbour, already mirrored
      const int j = -word;
      if (met(j) == i) {
        int_space(q) = 0;
        repeated = true;
        continue;
      }
      met(j) = i;
      int_space(q) = j;
      int_space(list_end(j)++) = i;
    }
  }

  // ---- Step 5: write the length words; after repeats, close up the lists
  // (dropping the cleared words) first.
  if (!repeated) {
    for (int i = 1; i <= n; ++i)
      if (list_start(i) != 0) int_space(list_start(i)) = static_cast<int>(list_end(i) - list_start(i) - 1);
    return lists_end;
  }
  std::int64_t write = 1;
  for (int i = 1; i <= n; ++i) {
    if (list_start(i) == 0) continue;
    const std::int64_t from = list_start(i);
    int length = 0;
    for (std::int64_t q = from + 1; q < list_end(i); ++q)
      if (int_space(q) != 0) int_space(write + ++length) = int_space(q);
    int_space(write) = length;
    list_start(i) = write;
    write += length + 1;
  }
  return write;
}

// ===========================================================================
// Compression of the quotient graph's storage
// ===========================================================================

std::int64_t compress_adjacency(int n, View1<int> int_space, View1<std::int64_t> list_start,
                                std::int64_t element_start, std::int64_t write_end) {
  // Mark: the length word of each live list moves into list_start(i) and
  // -i takes its place. No other word below the free end is negative.
  for (int i = 1; i <= n; ++i) {
    const std::int64_t start = list_start(i);
    if (start <= 0) continue;
    list_start(i) = int_space(start);
    int_space(start) = -i;
  }
  // Sweep: move each marked list down to the next free word.
  std::int64_t to = 1;
  std::int64_t q = 1;
  while (q < element_start) {
    const int word = int_space(q);
    if (word >= 0) {
      ++q;
      continue;
    }
    const int i = -word;
    const std::int64_t length = list_start(i);
    list_start(i) = to;
    int_space(to) = static_cast<int>(length);
    for (std::int64_t t = 1; t <= length; ++t) int_space(to + t) = int_space(q + t);
    to += length + 1;
    q += length + 1;
  }
  // The partly built element follows; its length word (at element_start,
  // perhaps just beyond the space) is not written yet.
  for (std::int64_t t = 1; t < write_end - element_start; ++t)
    int_space(to + t) = int_space(element_start + t);
  return to;
}

// ===========================================================================
// Minimum-degree ordering
// ===========================================================================
//
// Flags during the elimination of one pivot p (the "marking counter" c falls
// by one for each variable whose degree is computed, so no flag is ever
// cleared between them):
//   flag(p) = -1 while p's element is built, -c afterwards (an element);
//   variable v: 0 if v is in the new element, c if counted in the current
//   degree, > c if not counted yet, -1 if eliminated or merged into another
//   variable or into the dense root;
//   element e: -c if used in the current degree, < -c if not yet, -1 if
//   absorbed into another element.
// size(v) is the number of variables of supervariable v, then its front order
// once eliminated. Degree list links: next(v), previous(v) (or -degree when v
// heads its list), head(d).

int minimum_degree_order(const SolverControls& controls, int n, View1<int> int_space, std::int64_t liw,
                         std::int64_t free_position, View1<std::int64_t> list_start, View1<int> size,
                         View1<int> flag, View1<int> next, View1<int> previous, View1<int> head) {
  // The counter must stay >= 2, so that -c never reads as "absorbed".
  const int flag_top = std::max(controls.integer_limit, 3);

  auto push = [&](int v, int degree) {  // at the head of list `degree`
    const int first = head(degree);
    next(v) = first;
    if (first != 0) previous(first) = v;
    previous(v) = -degree;
    head(degree) = v;
  };
  auto unlink = [&](int v) {
    const int before = previous(v), after = next(v);
    if (before > 0)
      next(before) = after;
    else
      head(-before) = after;
    if (after != 0) previous(after) = before;
  };

  // ---- Step 1: empty degree lists, every flag high, every size 1.
  for (int d = 1; d <= n; ++d) head(d) = 0;
  for (int v = 1; v <= n; ++v) {
    flag(v) = flag_top;
    size(v) = 1;
  }
  int counter = flag_top;
  int compressions = 0;
  int root = 0;  // the dense root: variables found adjacent to all others, eliminated last
  // The first variable to join becomes the root (returns true); later ones are
  // absorbed into it.
  auto join_dense_root = [&](int v) {
    if (root == 0) {
      root = v;
      list_start(v) = 0;
      return true;
    }
    list_start(v) = -root;
    size(root) += size(v);
    size(v) = 0;
    flag(v) = -1;
    return false;
  };
  int eliminated = 0;
  int min_degree = 1;
  std::int64_t free_end = free_position;

  // ---- Step 2: a variable without neighbours is eliminated at once (a tree
  // root of its own); the others enter list degree = neighbours + 1, pushed
  // in increasing index so that among equal degrees the highest index leads.
  for (int v = 1; v <= n; ++v) {
    if (list_start(v) == 0) {
      flag(v) = -1;
      ++eliminated;
      continue;
    }
    push(v, int_space(list_start(v)) + 1);
  }

  // A member absorbed into the dense root stands for the root.
  auto representative = [&](int v) { return root != 0 && v != root && list_start(v) == -root ? root : v; };

  // ---- Step 3: eliminate until at most one single variable is left outside
  // the dense root.
  while (static_cast<std::int64_t>(eliminated) + 1 + (root == 0 ? 0 : size(root)) < n) {
    // ---- 3a. Pivot: the head (most recently pushed) of the lowest non-empty
    // degree list.
    int degree = min_degree;
    while (head(degree) == 0) ++degree;
    assert(degree <= n);
    min_degree = degree;
    const int pivot = head(degree);
    unlink(pivot);
    eliminated += size(pivot);
    flag(pivot) = -1;

    // ---- 3b. New element = union of the pivot's variables and of the
    // variables of its elements, which are absorbed into it. It is built at
    // the free end: element_start holds its length word (written in 3d), its
    // entries follow up to write - 1.
    std::int64_t element_start = free_end;
    std::int64_t write = free_end + 1;
    int element_size = 0;
    auto take = [&](int v) {
      v = representative(v);
      if (flag(v) <= 0) return;  // eliminated, merged or already taken
      flag(v) = 0;
      if (v != root) unlink(v);
      if (write > liw) {
        const std::int64_t moved = compress_adjacency(n, int_space, list_start, element_start, write);
        write = moved + (write - element_start);
        element_start = moved;
        ++compressions;
        assert(write <= liw);
      }
      int_space(write++) = v;
      element_size += size(v);
    };
    // Compression may move any list: positions are re-read after each take.
    const int pivot_length = int_space(list_start(pivot));
    for (int t = 1; t <= pivot_length; ++t) {
      const int entry = int_space(list_start(pivot) + t);
      if (flag(entry) < -1) {  // a live element
        const int element_length = int_space(list_start(entry));
        for (int u = 1; u <= element_length; ++u) take(int_space(list_start(entry) + u));
        flag(entry) = -1;
        list_start(entry) = -pivot;
      } else {
        take(entry);
      }
    }
    size(pivot) += element_size;  // the order of the pivot's front

    if (write == element_start + 1) {  // nothing left to couple: a tree root
      list_start(pivot) = 0;
      continue;
    }

    // ---- 3c. Degrees of the new element's variables. threshold = the
    // dense_ratio fraction of the uneliminated variables, to the nearest
    // integer (halves away from zero).
    const double dense_limit = controls.dense_ratio * static_cast<double>(n - eliminated);
    const std::int64_t threshold = !(dense_limit < 4e18)    ? std::numeric_limits<std::int64_t>::max()
                                   : !(dense_limit > -4e18) ? std::numeric_limits<std::int64_t>::min()
                                                            : std::llround(dense_limit);
    for (std::int64_t q = element_start + 1; q < write; ++q) {
      const int v = int_space(q);
      if (v == root) continue;
      if (counter < 3) {  // the counter is spent: start again from the top
        counter = flag_top;
        for (int u = 1; u <= n; ++u) {
          if (flag(u) > 0) flag(u) = flag_top;
          if (flag(u) < -1) flag(u) = -flag_top;
        }
      }
      --counter;

      // degree(v) = |new element| + the sizes of the variables reached through
      // v's other elements and v's variable neighbours, each counted once.
      // v's list is rewritten in place: absorbed elements and variables
      // already reached are dropped, the others keep their order, and the new
      // element goes in front.
      std::int64_t v_degree = element_size;
      const std::int64_t start = list_start(v);
      const int length = int_space(start);
      int kept = 0;
      for (int t = 1; t <= length; ++t) {
        int entry = int_space(start + t);
        if (flag(entry) < -1) {  // a live element
          const std::int64_t element = list_start(entry);
          const int element_length = int_space(element);
          bool inside = true;  // all its variables are in the new element
          std::int64_t reached = 0;
          for (int u = 1; u <= element_length; ++u) {
            const int x = representative(int_space(element + u));
            const int x_flag = flag(x);
            if (x_flag <= 0) continue;  // in the new element, or gone
            inside = false;
            if (x_flag > counter) {
              reached += size(x);
              flag(x) = counter;
            }
          }
          if (inside) {  // absorbed into the pivot's element
            flag(entry) = -1;
            list_start(entry) = -pivot;
            continue;
          }
          v_degree += reached;
          flag(entry) = -counter;
          int_space(start + ++kept) = entry;
          continue;
        }
        entry = representative(entry);
        if (flag(entry) > counter) {  // a variable not reached yet
          v_degree += size(entry);
          flag(entry) = counter;
          int_space(start + ++kept) = entry;
        }
      }
      // v reached the pivot, as a variable or through an absorbed element,
      // so at least one word was dropped.
      assert(kept < length);
      for (int t = kept; t >= 1; --t) int_space(start + t + 1) = int_space(start + t);
      int_space(start + 1) = pivot;
      int_space(start) = kept + 1;

      if (v_degree >= threshold) {
        // v is coupled to (nearly) every variable left: it joins the dense
        // root, and the root stands for it in the new element.
        if (!join_dense_root(v)) int_space(q) = root;
        continue;
      }
      const int d = static_cast<int>(std::min<std::int64_t>(v_degree, n));
      // Supervariables: walk list d from its head while its variables start
      // with the new element (those whose degree was computed in this step).
      // The first u whose every entry has |flag| <= counter reaches nothing
      // that v does not; with equal degrees their adjacencies are equal, and u
      // is merged into v, which takes u's place in the list.
      bool merged = false;
      for (int u = head(d); u != 0; u = next(u)) {
        const std::int64_t u_start = list_start(u);
        if (int_space(u_start + 1) != pivot) break;
        const int u_length = int_space(u_start);
        bool covered = true;
        for (int t = 1; t <= u_length && covered; ++t)
          covered = std::abs(flag(int_space(u_start + t))) <= counter;
        if (!covered) continue;
        list_start(u) = -v;
        size(v) += size(u);
        size(u) = 0;
        flag(u) = -1;
        next(v) = next(u);
        previous(v) = previous(u);
        if (previous(u) > 0)
          next(previous(u)) = v;
        else
          head(d) = v;
        if (next(u) != 0) previous(next(u)) = v;
        merged = true;
        break;
      }
      if (!merged) {
        push(v, d);
        min_degree = std::min(min_degree, d);
      }
    }

    // ---- 3d. The element keeps its variables of non-zero size (the dense
    // root once, though several members may have been replaced by it); they
    // are flagged c, the pivot becomes element -c.
    int kept = 0;
    bool root_kept = false;
    for (std::int64_t q = element_start + 1; q < write; ++q) {
      const int v = int_space(q);
      if (size(v) == 0) continue;
      if (v == root) {
        if (root_kept) continue;
        root_kept = true;
      }
      flag(v) = counter;
      int_space(element_start + ++kept) = v;
    }
    flag(pivot) = -counter;
    int_space(element_start) = kept;
    list_start(pivot) = element_start;
    free_end = element_start + kept + 1;
  }

  // ---- Step 4: what is left joins the dense root (the first becomes the
  // root if there is none); elements never absorbed hang from the root.
  for (int d = 1; d <= n; ++d) {
    for (int v = head(d); v != 0; v = next(v)) join_dense_root(v);
  }
  for (int v = 1; v <= n; ++v)
    if (list_start(v) > 0) list_start(v) = -root;
  return compressions;
}

// ===========================================================================
// Assembly tree
// ===========================================================================

int build_assembly_tree(int n, View1<const int> father, View1<const int> size, View1<const int> push_order,
                        int min_node_pivots, View1<int> first_child, View1<int> next_sibling,
                        View1<int> positions, View1<int> eliminated, View1<int> sons, View1<int> fronts) {
  // ---- Children lists, each variable entering at the head of its father's
  // list: first the merged variables (size 0), then the others; so a list
  // holds the sons, then the members, each part in reverse push order. The
  // roots form one more list the same way.
  auto pushed = [&](int k) { return push_order.size() == 0 ? k : push_order(k); };
  for (int v = 1; v <= n; ++v) first_child(v) = 0;
  for (int k = 1; k <= n; ++k) {
    const int v = pushed(k);
    if (size(v) != 0) continue;
    next_sibling(v) = first_child(father(v));
    first_child(father(v)) = v;
  }
  int first_root = 0;
  for (int k = 1; k <= n; ++k) {
    const int v = pushed(k);
    if (size(v) == 0) continue;
    if (father(v) == 0) {
      next_sibling(v) = first_root;
      first_root = v;
    } else {
      next_sibling(v) = first_child(father(v));
      first_child(father(v)) = v;
    }
  }

  // ---- Depth-first walk: a variable is numbered once all its children are.
  // Members therefore get consecutive numbers just before their
  // representative, after its sons' subtrees. Each variable of non-zero size
  // closes a node: p = its members + itself, f = its size, s = its sons. The
  // node just closed is then its last son; the two are merged when
  //   s = 1 and f(son) - p(son) = f (the son's remainder is the new front), or
  //   p < min_node_pivots and p(son) < min_node_pivots (s >= 1),
  // giving p(son) + p pivots, front f + p(son) and s(son) + s - 1 sons.
  int position = 0;
  int nodes = 0;
  int members = 0;
  for (int tree = first_root; tree != 0; tree = next_sibling(tree)) {
    int v = tree;
    while (first_child(v) != 0) v = first_child(v);
    while (true) {
      positions(v) = ++position;
      if (size(v) == 0) {
        ++members;
      } else {
        const int p = members + 1;
        const int f = size(v);
        members = 0;
        int s = 0;
        for (int c = first_child(v); c != 0; c = next_sibling(c))
          if (size(c) != 0) ++s;
        const bool merge = nodes > 0 && s > 0 &&
                           ((s == 1 && fronts(nodes) - eliminated(nodes) == f) ||
                            (p < min_node_pivots && eliminated(nodes) < min_node_pivots));
        if (merge) {
          fronts(nodes) = f + eliminated(nodes);
          eliminated(nodes) += p;
          sons(nodes) += s - 1;
        } else {
          ++nodes;
          eliminated(nodes) = p;
          fronts(nodes) = f;
          sons(nodes) = s;
        }
      }
      if (v == tree) break;
      if (next_sibling(v) != 0) {
        v = next_sibling(v);
        while (first_child(v) != 0) v = first_child(v);
      } else {
        v = father(v);
      }
    }
  }
  assert(position == n);
  return nodes;
}

// ===========================================================================
// Storage forecast
// ===========================================================================

void forecast_storage(SolverInfo& info, int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
                      View1<const int> positions, int nnodes, View1<const int> eliminated,
                      View1<const int> sons, View1<const int> fronts, View1<std::int64_t> charges,
                      View1<int> stack) {
  // ---- E = N + the off-diagonal entries in range (repeats included). Each
  // is charged to the earlier of its two variables, each diagonal to its
  // own: charges(k) is what the variable at position k consumes.
  for (int k = 1; k <= n; ++k) charges(k) = 1;
  std::int64_t entries = n;
  for (std::int64_t k = 1; k <= nz; ++k) {
    const int i = rows(k), j = cols(k);
    if (i < 1 || i > n || j < 1 || j > n || i == j) continue;
    ++entries;
    ++charges(std::min(positions(i), positions(j)));
  }

  // ---- Walk the nodes as the factorization will: a front of order f is a
  // packed triangle of f(f+1)/2 reals that may overlap the topmost son
  // remainder; its integers are the f indices plus a header. The peaks are
  // taken with the input entries all kept (RT, IT) or consumed as their rows
  // are assembled (RN, IN).
  struct Peaks {
    View1<const int> eliminated, fronts;
    View1<std::int64_t> charges;
    int n;
    std::int64_t entries, remaining;
    std::int64_t rt, rn, it, in;
    std::int64_t last_position = 0;
    double ops = 0.0;
    bool front(int k, const StorageState& before, std::int64_t top_son_words, int) {
      const std::int64_t p = eliminated(k), f = fronts(k);
      std::int64_t front_reals = triangle_words(f);
      if (top_son_words > 0) front_reals += 1 - top_son_words;
      const std::int64_t held = before.stacked_reals + before.factor_reals + front_reals;
      rt = std::max(rt, entries + held);
      rn = std::max(rn, remaining + held);
      const std::int64_t held_ints = before.stacked_ints + f + before.factor_ints + 2;
      it = std::max(it, entries + held_ints);
      in = std::max(in, remaining + held_ints);
      for (std::int64_t t = 1; t <= p && last_position + t <= n; ++t) remaining -= charges(last_position + t);
      last_position += p;
      ops += front_operations(static_cast<double>(f), static_cast<double>(p));
      return true;
    }
    void son(int, int) {}
    bool after(int, const StorageState& state, bool pushed) {
      if (pushed) {
        it = std::max(it, entries + state.factor_ints + state.stacked_ints);
        in = std::max(in, remaining + state.factor_ints + state.stacked_ints);
      }
      return true;
    }
  } peaks{eliminated, fronts, charges, n, entries, entries, entries, entries, entries, entries, 0, 0.0};
  const StorageState factors = *walk_factor_storage(nnodes, eliminated, sons, fronts, stack, peaks);
  const double ops = peaks.ops;
  const std::int64_t rfacts = factors.factor_reals, ifacts = factors.factor_ints;
  const std::int64_t rt = peaks.rt, rn = peaks.rn, it = peaks.it, in = peaks.in;

  // ---- The totals: never below the input entries plus the diagonal
  // accumulators.
  const std::int64_t base = n + std::max(nz, entries);
  info.OPS = ops;
  info.RFACTS = rfacts;
  info.IFACTS = ifacts;
  info.RTOTAL = std::max(rt, base);
  info.RNEEDS = std::min(std::max(rn, base), info.RTOTAL);
  info.ITOTAL = std::max(nz, it);
  info.INEEDS = std::min(std::max(nz, in), info.ITOTAL);
}

// ===========================================================================
// The phase
// ===========================================================================

void MFANAL(Solver& solver, int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
            View1<int> int_space, std::int64_t liw, View1<int> iplan, View1<int> tree_work, int& nnodes,
            int& iflag, const EliminationTree* supplied_tree) {
  const SolverControls& controls = solver.controls;
  SolverInfo& info = solver.info;
  const bool listing = controls.diagnostic_level >= 1 && controls.diagnostic_unit > 0;
  if (listing) write_analysis_entry_listing(solver, n, nz, rows, cols, liw, iplan, iflag);
  nnodes = 0;

  // ---- Checks, in this order.
  if (n < 1 || n > controls.integer_limit) {
    iflag = -1;
    write_solver_error(solver, kPhase, iflag, n);
    return;
  }
  if (nz < 0) {
    iflag = -2;
    write_solver_error(solver, kPhase, iflag, nz);
    return;
  }
  const bool supplied = iflag == 1;
  const std::int64_t needed =
      saturated_sum(supplied ? nz : saturated_sum(nz, nz, 0), 3 * static_cast<std::int64_t>(n), 1);
  if (liw < needed) {
    info.IERROR = needed;
    iflag = -3;
    write_solver_error(solver, kPhase, iflag, liw);
    return;
  }
  assert(int_space.size() >= liw && iplan.size() >= 3 * static_cast<std::int64_t>(n) &&
         tree_work.size() >= 2 * static_cast<std::int64_t>(n));
  iflag = 0;  // success, unless entries are ignored (1)

  // Positions into int_space are 64-bit, so they live here rather than in
  // the 32-bit IPLAN and tree_work.
  LargeVector<std::int64_t> list_start_store(static_cast<std::size_t>(n) + 1, 0);
  LargeVector<std::int64_t> list_end_store(static_cast<std::size_t>(n) + 1, 0);
  View1<std::int64_t> list_start(list_start_store);
  View1<std::int64_t> list_end(list_end_store);
  View1<int> size = tree_work;                // N
  View1<int> father = tree_work.from(n + 1);  // N
  const std::int64_t n64 = n;

  View1<const int> push_order;
  if (supplied) {
    // ---- Supplied order: elimination tree of one-variable nodes.
    supplied_order_tree(solver, n, nz, rows, cols, int_space, liw, iplan, tree_work, list_start, list_end,
                        supplied_tree, iflag);
    if (iflag < 0) {
      write_solver_error(solver, kPhase, iflag, info.IERROR);
      return;
    }
    push_order = iplan.from(n + 1);
    info.NCOMPA = 0;
  } else {
    // ---- Computed order: graph, minimum degree, then the tree links.
    View1<int> flag = father;
    const std::int64_t free_position =
        build_adjacency(solver, n, nz, rows, cols, int_space, list_start, list_end, flag, iflag);
    info.NCOMPA = minimum_degree_order(controls, n, int_space, liw, free_position, list_start, size, flag,
                                       iplan, iplan.from(n + 1), iplan.from(2 * n64 + 1));
    for (int v = 1; v <= n; ++v) father(v) = list_start(v) < 0 ? static_cast<int>(-list_start(v)) : 0;
  }

  // ---- Assembly tree and forecast. The children lists take int_space(1 ..
  // 2N), the front orders its last N words.
  View1<int> fronts = node_front_orders(int_space, n, liw);
  nnodes = build_assembly_tree(n, father, size, push_order, controls.min_node_pivots, int_space,
                               int_space.from(n64 + 1), iplan, iplan.from(n64 + 1), iplan.from(2 * n64 + 1),
                               fronts);
  forecast_storage(info, n, nz, rows, cols, iplan, nnodes, iplan.from(n64 + 1), iplan.from(2 * n64 + 1),
                   fronts, list_start, int_space);

  if (listing) write_analysis_exit_listing(solver, n, iplan, nnodes, iflag);
}

}  // namespace quorix
