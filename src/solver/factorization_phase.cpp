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
// The dense work on each front is done by the kernels of front_kernels.cpp.

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

#include "parallel/task_pool.hpp"
#include "solver/front_kernels.hpp"
#include "solver/front_step.hpp"
#include "solver/subtree_factors.hpp"
#include "sparse/large_memory.hpp"
#include "sparse/page_pool.hpp"

namespace quorix {

namespace {

constexpr const char* phase = "MFFACT";

// The top of one storage array (see the file comment): the stack occupies
// stack_bottom .. stack_end-1.
struct TopRegion {
  std::int64_t stack_bottom;
  std::int64_t stack_end;
};

// Moves the stack up against the unconsumed input rows, which start at
// input_start, freeing the words the consumed rows held for the factors.
// Returns false when there is no such gap (nothing to gain, nothing counted).
template <class T>
bool compress_factor_storage(View1<T> space, TopRegion& top, std::int64_t input_start) {
  const std::int64_t gap = input_start - top.stack_end;
  if (gap == 0) return false;
  const std::int64_t words = top.stack_end - top.stack_bottom;
  if (words > 0) {
    T* const bottom = space.data() + (top.stack_bottom - 1);
    std::memmove(bottom + gap, bottom, static_cast<std::size_t>(words) * sizeof(T));
  }
  top.stack_bottom += gap;
  top.stack_end = input_start;
  return true;
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
// its cycle of destinations. Both give the same rows. With a pool, and at
// least `parallel_entries` entries, the counting and the direct distribution
// work in parts side by side.
std::int64_t sort_entries(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                          View1<const int> cols, View1<const double> values, View1<double> real_space,
                          std::int64_t la, View1<int> int_space, std::int64_t liw, View1<const int> iplan,
                          View1<int> tree_work, int& iflag, bool report_ignored, TaskPool* pool,
                          std::int64_t parallel_entries) {
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

  // With a pool the entries are counted, and in the direct distribution
  // below placed, in consecutive parts side by side: part p counts its rows'
  // entries in counts[p] and places them in the part of each row the
  // one-thread distribution gives them (a row holds its entries by entry
  // number), so the rows come out the same.
  // Each part counts into an array of N + 1, which are then added row by row:
  // beyond a few parts that costs more memory and time than the parts save.
  constexpr int kMaxParts = 8;
  const int parts = pool != nullptr && nz >= parallel_entries ? std::min(pool->threads(), kMaxParts) : 1;
  // Part p: entries part_begin(p) .. part_begin(p + 1) - 1.
  const auto part_begin = [&](int p) { return 1 + nz * p / parts; };
  std::vector<LargeVector<int>> counts(static_cast<std::size_t>(parts > 1 ? parts : 0));
  // The diagonal entries in range of each part, by entry number: their
  // values are added to their variables' sums in that order once the rows
  // have their places, without another pass over all entries.
  std::vector<LargeVector<std::int64_t>> diagonals(static_cast<std::size_t>(parts));
  const auto sum_diagonals = [&](auto&& add) {
    for (const LargeVector<std::int64_t>& part : diagonals)
      for (const std::int64_t k : part) add(k);
  };

  // ---- Off-diagonal counts per row in tree_work; ignored entries reported.
  for (int v = 1; v <= n; ++v) tree_work(v) = 0;
  info.IERROR = 0;
  std::int64_t total = n;
  // What the loop reads is copied in first, where the list's growth cannot
  // reach it, and stays in registers.
  const auto count_part = [rows, cols, iplan, n](std::int64_t begin, std::int64_t end, auto count_row,
                                                 LargeVector<std::int64_t>& diagonal,
                                                 std::int64_t& rows_total, std::int64_t& ignored) {
    diagonal.reserve(static_cast<std::size_t>(std::min<std::int64_t>(end - begin, n)));
    std::int64_t listed = 0, skipped = 0;
    for (std::int64_t k = begin; k < end; ++k) {
      const int i = rows(k), j = cols(k);
      if (i < 1 || i > n || j < 1 || j > n) {
        ++skipped;
      } else if (i != j) {
        ++count_row(iplan(i) < iplan(j) ? i : j);
        ++listed;
      } else {
        diagonal.push_back(k);
      }
    }
    rows_total += listed;
    ignored += skipped;
  };
  std::int64_t ignored = 0;
  if (parts > 1) {
    std::vector<std::int64_t> part_total(static_cast<std::size_t>(parts), 0), part_ignored(part_total);
    pool->for_each_unit(parts, [&](int p) {
      LargeVector<int>& count = counts[static_cast<std::size_t>(p)];
      count.assign(static_cast<std::size_t>(n) + 1, 0);
      const auto row_count = [counted = count.data()](int v) -> int& { return counted[v]; };
      count_part(part_begin(p), part_begin(p + 1), row_count, diagonals[static_cast<std::size_t>(p)],
                 part_total[static_cast<std::size_t>(p)], part_ignored[static_cast<std::size_t>(p)]);
    });
    for (int p = 0; p < parts; ++p) {
      total += part_total[static_cast<std::size_t>(p)];
      ignored += part_ignored[static_cast<std::size_t>(p)];
      const LargeVector<int>& count = counts[static_cast<std::size_t>(p)];
      for (int v = 1; v <= n; ++v) tree_work(v) += count[static_cast<std::size_t>(v)];
    }
  } else {
    const auto row_count = [tree_work](int v) -> int& { return tree_work(v); };
    count_part(1, nz + 1, row_count, diagonals[0], total, ignored);
  }
  if (ignored > 0) {
    iflag = 1;
    for (std::int64_t k = 1; k <= nz; ++k) {
      const int i = rows(k), j = cols(k);
      if (i >= 1 && i <= n && j >= 1 && j <= n) continue;
      ++info.IERROR;
      if (report_ignored) write_ignored_entry_warning(solver, phase, info.IERROR, k, i, j);
    }
  }

  // ---- Room for the rows, and for the diagonal sums beside them.
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

  // ---- Word s = 0 .. total-1 of the rows is real_space(real_base + s) and
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
    // at the first entry word of row v, its marker just before. The values
    // are read where the caller has them.
    const View1<const double> value = values.size() >= nz ? values : View1<const double>(real_space);
    const auto place_part = [&](std::int64_t begin, std::int64_t end, auto&& next_word) {
      for (std::int64_t k = end - 1; k >= begin; --k) {
        int owner, other;
        if (!off_diagonal(k, owner, other)) continue;
        const int word = --next_word(owner);
        real_space(real_base + word) = value(k);
        int_space(int_base + word) = other;
      }
    };
    if (parts > 1) {
      // Part p's entries of row v end where the later parts' begin: its
      // count becomes that end, and goes down as they are placed.
      for (int v = 1; v <= n; ++v) {
        int end = tree_work(v);
        for (int p = parts - 1; p >= 0; --p) {
          int& count = counts[static_cast<std::size_t>(p)][static_cast<std::size_t>(v)];
          const int entries = count;
          count = end;
          end -= entries;
        }
        tree_work(v) = end;
      }
      pool->for_each_unit(parts, [&](int p) {
        LargeVector<int>& next = counts[static_cast<std::size_t>(p)];
        place_part(part_begin(p), part_begin(p + 1),
                   [&](int v) -> int& { return next[static_cast<std::size_t>(v)]; });
      });
    } else {
      place_part(1, nz + 1, [&](int v) -> int& { return tree_work(v); });
    }
    for (int v = 1; v <= n; ++v) {
      real_space(real_base + tree_work(v) - 1) = 0.0;
      int_space(int_base + tree_work(v) - 1) = -v;
    }
    sum_diagonals([&](std::int64_t k) { real_space(real_base + tree_work(rows(k)) - 1) += value(k); });
    return total;
  }

  // In place. Diagonal sums in real_space(LA-N+1 .. LA).
  const std::int64_t sums = la - n;  // sum of variable v at sums + v
  for (int v = 1; v <= n; ++v) real_space(sums + v) = 0.0;
  sum_diagonals([&](std::int64_t k) { real_space(sums + rows(k)) += real_space(k); });
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

// ---- The fronts one after the other -----------------------------------------

// The shared storage of the file comment, as the front step sees it: the
// blocks from word 1, the stack of son remainders below the input rows, a
// compression when a front or a list does not fit. With a schedule of
// subtrees (subtree_factors.hpp) a compression means the schedule was wrong:
// the step stops with schedule_failed() set and without a message; the
// schedule's buffered fronts are assembled in a buffer and their pivot rows
// copied into place.
class SharedStorage {
 public:
  SharedStorage(Solver& solver, const FactorSpace& space, FrontCursor& cursor, bool release_input,
                std::int64_t release_piece, const SubtreeSchedule* schedule)
      : solver_(solver),
        info_(solver.info),
        real_space_(space.real_space),
        fronts_(space.fronts),
        la_(space.la),
        int_space_(space.int_space),
        liw_(space.liw),
        cursor_(cursor),
        int_top_{space.int_input_base(), space.int_input_base()},
        real_top_{space.real_input_base(), space.real_input_base()},
        int_input_base_(space.int_input_base()),
        real_input_base_(space.real_input_base()),
        last_node_(space.nnodes),
        release_input_(release_input),
        release_piece_(release_piece),
        schedule_(schedule) {
    cursor_.int_input = int_input_base_;
    cursor_.real_input = real_input_base_;
  }

  // The front step's part (front_step.hpp).
  template <class Visit>
  void for_each_son_variable(int sons, Visit&& visit) const;
  bool accept_front(int node, int front_order, int delayed) {
    return schedule_ == nullptr || as_scheduled(front_order == fronts_(node) && delayed == 0);
  }
  bool make_list_room(int front_order, int& iflag);
  double* place_front(int node, int sons, int front_order, int delayed, int& iflag);
  void assemble_sons(const Front& a, int sons, int delayed, View1<int> position);
  void input_assembled() { release_assembled_input(); }
  bool pivots_as_planned(int pivots, int planned) {
    return schedule_ == nullptr || as_scheduled(pivots == planned);
  }
  void keep_block(const Front& a, std::int64_t words);
  bool push_remainder(int node, int remainder, const int* list, const double* triangle, int& iflag);

  // After every front, pushed or not: a buffer no later front needs goes.
  void finish_front(int node);
  // A task's blocks are in place and the cursor after them: its input rows
  // are passed over, and the words above its blocks are not known to be zero.
  void skip_task_input(std::int64_t input_words);
  // The root remainder of a task that is done, in place after its block or
  // in the task's copy.
  bool push_task_remainder(const SubtreeTask& task, int& iflag);
  // Whether the next input row is the one at `input_word` among the rows.
  bool input_at(std::int64_t input_word) const { return cursor_.int_input == int_input_base_ + input_word; }
  bool schedule_failed() const { return schedule_failed_; }
  bool released_input() const { return int_released_ > 0 || real_released_ > 0; }

 private:
  template <class T>
  bool compress(View1<T> space, TopRegion& top, std::int64_t input_start, int& counter);
  // With a schedule, every front must be the one the forecast placed: a
  // larger front or remainder would reach into the words of a task still
  // running. One that is not stops the loop, as a failed schedule.
  bool as_scheduled(bool as_forecast) {
    if (!as_forecast) schedule_failed_ = true;
    return as_forecast;
  }
  // Gives the pages of the input rows assembled so far back to the system,
  // a few megabytes at a time: they are never read again (a compression
  // writes the stack over them).
  void release_assembled_input();

  Solver& solver_;
  SolverInfo& info_;
  const View1<double> real_space_;
  const View1<const int> fronts_;  // forecast front orders (read only with a schedule)
  const std::int64_t la_;
  const View1<int> int_space_;
  const std::int64_t liw_;
  FrontCursor& cursor_;
  TopRegion int_top_;
  TopRegion real_top_;
  const std::int64_t int_input_base_;   // int word of the first input row
  const std::int64_t real_input_base_;  // real word of the first input row
  std::int64_t zero_end_ = 1;    // real words next_real .. zero_end-1 are zero; zero_end <= stack bottom
  std::int64_t front_last_ = 0;  // last real word of the current front
  const int last_node_;
  const bool release_input_;  // give the input rows' pages back as they are assembled
  const std::int64_t release_piece_;
  std::int64_t int_released_ = 0, real_released_ = 0;  // input words given back, from the first
  const SubtreeSchedule* schedule_;
  bool schedule_failed_ = false;
  bool buffered_ = false;           // the current front is in a buffer
  LargeArray<double> buffer_;       // for the schedule's buffered fronts, when not in real_space
  double* buffer_front_ = nullptr;  // where the buffered front is
};

template <class T>
bool SharedStorage::compress(View1<T> space, TopRegion& top, std::int64_t input_start, int& counter) {
  if (schedule_ != nullptr) {
    schedule_failed_ = true;
    return false;
  }
  if (compress_factor_storage(space, top, input_start)) ++counter;
  return true;
}

// The lists of the top `sons` remainders follow one another up from the
// stack bottom, each after its length word.
template <class Visit>
void SharedStorage::for_each_son_variable(int sons, Visit&& visit) const {
  std::int64_t pos = int_top_.stack_bottom;
  for (int s = 0; s < sons; ++s) {
    assert(pos < int_top_.stack_end);
    const int length = int_space_(pos);
    assert(length > 0 && pos + length < int_top_.stack_end);
    for (int t = 1; t <= length; ++t) visit(int_space_(pos + t));
    pos += remainder_ints(length);
  }
}

// The block header (2 words) and the index list (front_order words) from
// next_int must end below the stack.
bool SharedStorage::make_list_room(int front_order, int& iflag) {
  const auto fits = [&] { return front_list_fits(cursor_.next_int, front_order, int_top_.stack_bottom); };
  if (fits()) return true;
  if (!compress(int_space_, int_top_, cursor_.int_input, info_.NCOMPI)) return false;
  if (fits()) return true;
  iflag = -3;
  info_.IERROR = liw_ - int_top_.stack_bottom + cursor_.next_int + front_order + 2;
  write_solver_error(solver_, phase, -3, liw_);
  return false;
}

// The front, front_order(front_order+1)/2 real words from next_real, may
// reach into the topmost son triangle (assembled first) short of its last
// word, while its delayed rows, delayed(2 front_order - delayed + 1)/2 words,
// end below the stack. Compresses when it does not fit; the words not known
// to be zero are cleared. A buffered front is cleared in the buffer instead.
double* SharedStorage::place_front(int node, int sons, int front_order, int delayed, int& iflag) {
  const std::int64_t next_real = cursor_.next_real;
  const std::int64_t front_words = triangle_words(front_order);
  const std::int64_t delayed_words = pivot_row_words(front_order, delayed);
  front_last_ = next_real + front_words - 1;
  auto top_son_words = [&]() -> std::int64_t {
    return sons > 0 ? triangle_words(int_space_(int_top_.stack_bottom)) : 1;
  };
  auto fits = [&] {
    return front_fits(next_real, front_order, delayed, real_top_.stack_bottom, top_son_words());
  };
  if (!fits()) {
    if (!compress(real_space_, real_top_, cursor_.real_input, info_.NCOMPR)) return nullptr;
    if (!fits()) {
      iflag = -4;
      info_.IERROR = la_ - real_top_.stack_bottom +
                     std::max(next_real + delayed_words, front_last_ - top_son_words() + 2);
      write_solver_error(solver_, phase, -4, la_);
      return nullptr;
    }
  }
  buffered_ = schedule_ != nullptr && schedule_->buffered[static_cast<std::size_t>(node)];
  if (buffered_) {
    if (schedule_->buffer_start > 0) {
      buffer_front_ = real_space_.data() + (schedule_->buffer_start - 1);
    } else {
      if (buffer_.size() < front_words) {
        buffer_.reset();
        buffer_ = LargeArray<double>::from_system(schedule_->buffer_words);
      }
      buffer_front_ = buffer_.get();
    }
    std::fill(buffer_front_, buffer_front_ + front_words, 0.0);
    return buffer_front_;
  }
  const std::int64_t from = std::max(next_real, zero_end_);
  const std::int64_t to = std::min(front_last_, real_top_.stack_bottom - 1);
  if (from <= to) std::fill(real_space_.data() + (from - 1), real_space_.data() + to, 0.0);
  zero_end_ = std::max(zero_end_, to + 1);
  assert(zero_end_ <= real_top_.stack_bottom && front_last_ < real_top_.stack_end);
  return real_space_.data() + (next_real - 1);
}

// Each son triangle, topmost first, is added at the front positions of its
// variables and popped. Its list, popped with it, is turned into front
// positions first.
void SharedStorage::assemble_sons(const Front& a, int sons, int delayed, View1<int> position) {
  const std::int64_t delayed_words = pivot_row_words(a.order, delayed);
  const std::int64_t stack_bottom_before = real_top_.stack_bottom;
  for (int s = 0; s < sons; ++s) {
    const int length = int_space_(int_top_.stack_bottom);
    assert(int_top_.stack_bottom + remainder_ints(length) <= int_top_.stack_end &&
           real_top_.stack_bottom + triangle_words(length) <= real_top_.stack_end);
    int* const local = int_space_.data() + int_top_.stack_bottom;  // local[t-1]: position of variable t
    for (int t = 0; t < length; ++t) local[t] = position(local[t]);
    double* const son = real_space_.data() + (real_top_.stack_bottom - 1);
    const std::int64_t son_words = triangle_words(length);
    if (s == 0 && !buffered_ && front_last_ >= real_top_.stack_bottom) {
      // The front reaches into this triangle. Its leading rows, those of
      // variables delayed here, land in the front's delayed rows, below the
      // stack. The rest is a triangle of order length - lead over variables
      // in pivot order; moved down to the front's first non-delayed row,
      // each of its entries lands at or above its own word, so read from
      // the last word down it never overwrites an unread one.
      int lead = 0;
      while (lead < length && local[lead] <= delayed) ++lead;
      assert(std::is_sorted(local + lead, local + length) && (lead == length || local[lead] > delayed));
      add_son_rows(a, son, local, length, 1, lead);
      const std::int64_t lead_words = row_offset(lead + 1, length);
      const std::int64_t rest_words = son_words - lead_words;
      double* const rest = a.first + delayed_words;
      std::memmove(rest, son + lead_words, static_cast<std::size_t>(rest_words) * sizeof(double));
      std::fill(std::max(rest + rest_words, son + lead_words), son + son_words, 0.0);
      add_son_rows(a, rest, local + lead, length - lead, 1, length - lead);
    } else {
      add_son_rows(a, son, local, length, 1, length);
    }
    int_top_.stack_bottom += remainder_ints(length);
    real_top_.stack_bottom += son_words;
  }
  if (zero_end_ >= stack_bottom_before) zero_end_ = real_top_.stack_bottom;
}

void SharedStorage::keep_block(const Front& a, std::int64_t words) {
  if (!buffered_) return;
  std::memcpy(real_space_.data() + (cursor_.next_real - 1), a.first,
              static_cast<std::size_t>(words) * sizeof(double));
  zero_end_ = std::max(zero_end_, cursor_.next_real + words);
}

// The remainder's list with a length word on the integer stack, its triangle
// on the real stack (already in place when it ends at the stack bottom,
// otherwise copied up and the vacated words cleared). Nothing at the last
// node, where it is dropped.
bool SharedStorage::push_remainder(int node, int remainder, const int* list, const double* triangle,
                                   int& iflag) {
  if (node == last_node_) return true;
  const std::int64_t list_words = remainder_ints(remainder);
  const auto fits = [&] { return int_top_.stack_bottom - list_words >= cursor_.next_int; };
  if (!fits()) {
    if (!compress(int_space_, int_top_, cursor_.int_input, info_.NCOMPI)) return false;
    if (!fits()) {
      iflag = -3;
      info_.IERROR = liw_ - int_top_.stack_bottom + cursor_.next_int + list_words;
      write_solver_error(solver_, phase, -3, liw_);
      return false;
    }
  }
  // Without a pivot the list lies above next_int, where the stack may now
  // reach: copy it before writing the length word.
  assert(int_top_.stack_end <= cursor_.int_input && real_top_.stack_end <= cursor_.real_input);
  int_top_.stack_bottom -= list_words;
  std::memmove(int_space_.data() + int_top_.stack_bottom, list,
               static_cast<std::size_t>(remainder) * sizeof(int));
  int_space_(int_top_.stack_bottom) = remainder;
  const std::int64_t words = triangle_words(remainder);
  const std::int64_t next_real = cursor_.next_real;
  double* const in_place = real_space_.data() + (next_real - 1);
  if (triangle != in_place) {
    // From a buffer, to where it would stand had the front been in place.
    const std::int64_t to = real_top_.stack_bottom - words;
    std::memcpy(real_space_.data() + (to - 1), triangle, static_cast<std::size_t>(words) * sizeof(double));
    real_top_.stack_bottom = to;
    zero_end_ = std::min(zero_end_, to);
  } else if (front_last_ == real_top_.stack_bottom - 1) {
    real_top_.stack_bottom = next_real;
    zero_end_ = next_real;
  } else {
    const std::int64_t to = real_top_.stack_bottom - words;
    std::memmove(real_space_.data() + (to - 1), in_place, static_cast<std::size_t>(words) * sizeof(double));
    const std::int64_t vacated_end = std::min(front_last_, to - 1);  // last source word not overwritten
    if (vacated_end >= next_real) std::fill(in_place, real_space_.data() + vacated_end, 0.0);
    real_top_.stack_bottom = to;
    zero_end_ = std::min(zero_end_, to);
  }
  return true;
}

void SharedStorage::finish_front(int node) {
  if (buffered_ && node == schedule_->last_buffered) buffer_.reset();
  buffered_ = false;
}

bool SharedStorage::push_task_remainder(const SubtreeTask& task, int& iflag) {
  front_last_ = cursor_.next_real + triangle_words(task.root_remainder) - 1;
  return push_remainder(task.last_node, task.root_remainder, task.root_list, task.root_triangle, iflag);
}

void SharedStorage::skip_task_input(std::int64_t input_words) {
  cursor_.int_input += input_words;
  cursor_.real_input += input_words;
  release_assembled_input();
  zero_end_ = cursor_.next_real;  // what lies above is not known
}

void SharedStorage::release_assembled_input() {
  if (!release_input_) return;
  const std::int64_t piece = release_piece_;  // bytes
  auto release = [&](auto* space, std::int64_t base, std::int64_t input_start, std::int64_t& released) {
    const auto size = static_cast<std::int64_t>(sizeof(*space));
    const std::int64_t words = (input_start - base) * size / piece * piece / size;
    if (words <= released) return;
    discard_pages(space + (base - 1 + released), static_cast<std::size_t>((words - released) * size));
    released = words;
  };
  release(int_space_.data(), int_input_base_, cursor_.int_input, int_released_);
  release(real_space_.data(), real_input_base_, cursor_.real_input, real_released_);
}

// Assembles and partly eliminates the front of every tree node in turn.
//
// With a schedule of subtrees (subtree_factors.hpp) whose tasks are done,
// each task is taken as a whole where its first node comes: its blocks are
// in place, its root's remainder goes on the stack, and the storage state
// becomes the one its fronts would have left. Nothing else changes. Should
// the storage state call for a compression, which the schedule rules out,
// the loop stops with schedule_failed() set and without a message.
class FrontLoop {
 public:
  FrontLoop(Solver& solver, const FactorSpace& space, View1<int> tree_work, const FactorOptions& options,
            bool release_input, SubtreeSchedule* schedule = nullptr, SubtreeRun* run = nullptr)
      : solver_(solver),
        info_(solver.info),
        space_(space),
        position_(tree_work),
        storage_(solver, space, cursor_, release_input, options.tuning.input_release_piece, schedule),
        panel_(space.panel_pivots, options.pool, options.tuning),
        choice_{space.u, space.tolerance, &panel_, &solver},
        schedule_(schedule),
        run_(run) {}

  // Runs every node. iflag is left as it is, or set to 2 (definite mode: a
  // change of sign), 3 (fewer pivots than N) or an error.
  void run(int& mfront, int& iflag);
  bool schedule_failed() const { return storage_.schedule_failed() || task_failed_; }
  bool released_input() const { return storage_.released_input(); }

 private:
  // Takes a task of the schedule as if its fronts had just been worked.
  bool take_task(SubtreeTask& task, int& iflag);
  // Tells factor_progress the share of the forecast operations done after
  // `node`, in steps of a hundredth and at the last node.
  void tell_progress(int node);

  Solver& solver_;
  SolverInfo& info_;
  const FactorSpace& space_;
  const View1<int> position_;  // front positions, in tree_work
  FrontCursor cursor_;
  SharedStorage storage_;
  PanelPivots panel_;
  PivotChoice choice_;
  int block_count_ = 0;
  int mfront_ = 0;
  int last_front_order_ = 0;  // of the front just done
  int last_pivots_ = 0;
  double operations_done_ = 0.0;  // as the forecast counts them, over the fronts so far
  double share_told_ = 0.0;
  SubtreeSchedule* schedule_;
  SubtreeRun* run_;  // where the schedule's tasks run
  bool task_failed_ = false;
};

void FrontLoop::tell_progress(int node) {
  if (!solver_.factor_progress) return;
  operations_done_ += front_operations(last_front_order_, last_pivots_);
  const double share = info_.OPS > 0.0 ? std::min(1.0, operations_done_ / info_.OPS) : 1.0;
  if (node == space_.nnodes) {
    solver_.factor_progress(1.0);
  } else if (share >= share_told_ + 0.01) {
    share_told_ = share;
    solver_.factor_progress(share);
  }
}

bool FrontLoop::take_task(SubtreeTask& task, int& iflag) {
  const LargeVector<NodeLayout>& layout = schedule_->layout;
  const NodeLayout& begin = layout[static_cast<std::size_t>(task.first_node)];
  const NodeLayout& end = layout[static_cast<std::size_t>(task.last_node) + 1];
  if (!run_->wait(task) || cursor_.next_real != begin.real_start || cursor_.next_int != begin.int_start ||
      cursor_.consumed != begin.consumed || !storage_.input_at(begin.input_start)) {
    task_failed_ = true;
    return false;
  }
  cursor_.consumed = end.consumed;
  cursor_.next_int = end.int_start;
  cursor_.next_real = end.real_start;
  storage_.skip_task_input(end.input_start - begin.input_start);
  choice_.pivots_taken += end.consumed - begin.consumed;
  block_count_ += task.last_node - task.first_node + 1;
  mfront_ = std::max(mfront_, task.largest_front);
  info_.NTWO += task.two_by_two;
  info_.negative_pivot_count += task.negative;
  operations_done_ += task.operations;
  if (task.root_remainder == 0 || task.last_node == space_.nnodes) return true;
  const bool pushed = storage_.push_task_remainder(task, iflag);
  task.root_copy.reset();
  return pushed;
}

void FrontLoop::run(int& mfront, int& iflag) {
  mfront = 0;
  info_.NCOMPR = 0;
  info_.NCOMPI = 0;
  info_.NTWO = 0;
  info_.negative_pivot_count = 0;
  for (int v = 1; v <= space_.n; ++v) position_(v) = kNotInFront;
  for (int node = 1; node <= space_.nnodes; ++node) {
    SubtreeTask* task = schedule_ != nullptr ? schedule_->task_starting_at(node) : nullptr;
    bool ok;
    if (task != nullptr) {
      ok = take_task(*task, iflag);
      node = task->last_node;
      last_front_order_ = last_pivots_ = 0;
    } else {
      const FrontOutcome front = factorize_front(space_, cursor_, position_, choice_, storage_, node, iflag);
      storage_.finish_front(node);
      mfront_ = std::max(mfront_, front.front_order);
      ok = front.done;
      if (front.eliminated) {
        info_.NTWO += front.counts.two_by_two;
        info_.negative_pivot_count += front.counts.negative;
        if (front.counts.pivots > 0) ++block_count_;
        last_front_order_ = front.front_order;
        last_pivots_ = front.counts.pivots;
      }
    }
    mfront = mfront_;
    if (!ok) return;
    tell_progress(node);
  }

  // ---- Finish: block count (negated when 2x2 pivots were used), storage
  //      used by the factors, and the rank when short of N. ----
  space_.int_space(1) = info_.NTWO > 0 ? -block_count_ : block_count_;
  info_.RUSAGE = cursor_.next_real - 1;
  info_.IUSAGE = cursor_.next_int - 1;
  if (choice_.pivots_taken != space_.n) {
    iflag = 3;
    info_.IERROR = choice_.pivots_taken;
    write_singular_warning(solver_, choice_.pivots_taken);
  }
}

}  // namespace

PivotCounts eliminate_definite_pivots(const Front& a, int fully_summed, PivotChoice& choice, int& iflag) {
  PivotCounts counts;
  int& p = counts.pivots;
  PanelPivots& panel = *choice.panel;
  SolverInfo& info = choice.solver->info;
  for (int j = 1; j <= fully_summed; ++j) {
    if (panel.count > 0) update_candidate_row(a, panel, j);
    const double d = a.at(j, j);
    const std::int64_t stage = choice.pivots_taken + p + 1;
    if (std::abs(d) <= choice.tolerance) {
      iflag = -5;
      info.IERROR = stage;
      write_solver_error(*choice.solver, phase, -5, 0);
      return counts;
    }
    const int sign = d < 0.0 ? -1 : 1;
    if (choice.expected_sign != 0 && sign != choice.expected_sign) {
      if (iflag != 2) {
        iflag = 2;
        info.IERROR = 0;
      }
      ++info.IERROR;
      if (info.IERROR <= 10) write_sign_change_warning(*choice.solver, stage);
      if (choice.u < 0.0) {
        iflag = -6;
        info.IERROR = stage;
        write_solver_error(*choice.solver, phase, -6, 0);
        return counts;
      }
    }
    choice.expected_sign = sign;
    counts.negative += hold_one_by_one(a, panel, p, d);
    ++p;
  }
  if (panel.count > 0) apply_panel(a, panel, p + 1);
  return counts;
}

// ---- The phase ----------------------------------------------------------

void factorize(Solver& solver, int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
               View1<double> real_space, std::int64_t la, View1<int> int_space, std::int64_t liw,
               View1<const int> iplan, int nnodes, int& mfront, View1<int> tree_work, int& iflag,
               const FactorOptions& options) {
  assert(1 <= options.panel_pivots && options.panel_pivots <= max_panel_pivots);
  const SolverControls& controls = solver.controls;
  SolverInfo& info = solver.info;
  const bool listing = controls.diagnostic_level >= 1 && controls.diagnostic_unit > 0;
  info.subtree_tasks = 0;
  // The values go to real_space(1..NZ) unless the rows can be sorted from
  // where the caller has them (see sort_entries).
  View1<const double> values = options.values;
  if (values.size() >= nz && (listing || la < 2 * nz + n)) {
    const std::int64_t copied = std::min(nz, la);
    if (copied > 0) std::copy(values.data(), values.data() + copied, real_space.data());
    values = View1<const double>();
  }
  iflag = 0;
  if (listing)
    write_factorization_entry_listing(solver, n, nz, rows, cols, real_space, la, liw, iplan, nnodes);
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
      sort_entries(solver, n, nz, rows, cols, values, real_space, la, int_space, liw, iplan, tree_work, iflag,
                   options.report_ignored, options.pool, options.tuning.parallel_sort_entries);
  if (iflag < 0) return;
  // The caller's input is now ours in sorted form: the caller may let it go,
  // and its pages come to the factors' words that no one has touched yet.
  const bool input_gone = static_cast<bool>(options.input_sorted);
  if (input_gone) {
    options.input_sorted();
    const std::int64_t fresh_end = std::min(options.fresh_end, la - total);
    if (options.fresh_from < fresh_end)
      move_pool_pages_to(real_space.data() + options.fresh_from,
                         static_cast<std::size_t>(fresh_end - options.fresh_from) * sizeof(double));
    return_pool_pages_to_system();
  }

  // Subtrees side by side when the threshold pivoting of a run without
  // listings lets them (the definite mode's sign test runs through all
  // fronts in order), then, should the fronts not match the forecast, one
  // front after the other from the start.
  bool factorized = false;
  const double u = clamped_threshold(controls);
  const FactorSpace space{n,
                          nnodes,
                          real_space,
                          la,
                          int_space,
                          liw,
                          total,
                          iplan,
                          options.planned_fronts,
                          u,
                          controls.definite_zero_tolerance,
                          options.panel_pivots};
  TaskPool* const pool = options.pool;
  if (pool != nullptr && pool->threads() > 1 && u > 0.0 && !listing &&
      options.planned_fronts.size() >= nnodes) {
    std::unique_ptr<SubtreeSchedule> schedule = plan_subtrees(space, pool->threads(), options.tuning);
    if (schedule) {
      const int sorted_iflag = iflag;
      const std::int64_t sorted_ierror = info.IERROR;
      info.subtree_tasks = static_cast<int>(schedule->tasks.size());
      SubtreeRun run(space, *schedule, *pool, options.tuning);
      // Input rows given back as they are assembled must be sorted again
      // should the run fall back to one front after the other: only where
      // the caller's values are there to sort them from, or where the caller
      // gave them up and will hand them in again.
      const bool resortable = values.size() >= nz || input_gone;
      FrontLoop loop(solver, space, tree_work, options, options.release_input && resortable, schedule.get(),
                     &run);
      loop.run(mfront, iflag);
      if (loop.schedule_failed()) run.stop();
      factorized = run.wait_all() && !loop.schedule_failed();
      if (!factorized) {
        if (loop.released_input()) {
          if (input_gone) {
            iflag = kInputGone;
            info.subtree_tasks = 0;
            return;
          }
          int resorted = 0;  // as before: the statistics and warnings are the first sort's
          sort_entries(solver, n, nz, rows, cols, values, real_space, la, int_space, liw, iplan, tree_work,
                       resorted, false, options.pool, options.tuning.parallel_sort_entries);
        }
        iflag = sorted_iflag;
        info.IERROR = sorted_ierror;
        info.subtree_tasks = 0;
      }
    }
  }
  if (!factorized) FrontLoop(solver, space, tree_work, options, options.release_input).run(mfront, iflag);
  if (listing && iflag >= 0) write_factorization_exit_listing(solver, mfront, iflag, real_space, int_space);
}

void factorize_with_panel(Solver& solver, int n, std::int64_t nz, View1<const int> rows,
                          View1<const int> cols, View1<double> real_space, std::int64_t la,
                          View1<int> int_space, std::int64_t liw, View1<const int> iplan, int nnodes,
                          int& mfront, View1<int> tree_work, int& iflag, int panel_pivots) {
  FactorOptions options;
  options.panel_pivots = panel_pivots;
  options.pool = solver.pool;
  options.tuning = solver.tuning;
  factorize(solver, n, nz, rows, cols, real_space, la, int_space, liw, iplan, nnodes, mfront, tree_work,
            iflag, options);
}

void MFFACT(Solver& solver, int n, std::int64_t nz, View1<const int> rows, View1<const int> cols,
            View1<double> real_space, std::int64_t la, View1<int> int_space, std::int64_t liw,
            View1<const int> iplan, int nnodes, int& mfront, View1<int> tree_work, int& iflag) {
  factorize_with_panel(solver, n, nz, rows, cols, real_space, la, int_space, liw, iplan, nnodes, mfront,
                       tree_work, iflag, default_panel_pivots);
}

}  // namespace quorix
