// Subtrees of the assembly tree factorized side by side (subtree_factors.hpp).

#include "solver/subtree_factors.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <queue>
#include <utility>

#include "parallel/task_pool.hpp"
#include "solver/front_kernels.hpp"
#include "solver/storage_walk.hpp"
#include "sparse/large_memory.hpp"

namespace quorix {

namespace {

// Multiply-adds of a front of order f with p pivots, as the forecast counts
// them, and the words of the front itself.
double front_work(double f, double p) { return front_operations(f, p) + f * (f + 1) / 2; }

// The tree as the one-thread run's stack makes it: a node's sons are the
// remainders it pops. Per node its father (0 for none), the first node of
// its subtree, the subtree's node count and work.
struct Tree {
  LargeVector<int> father, first, count, first_son, next_brother;
  LargeVector<double> work;
};

// The one-thread run's storage bookkeeping, worked out from the forecast:
// the layout of every node, the tree, and the stack bottoms around each
// node. False when that run would compress its storage or run short, or when
// its stack would come down to any front: then nothing is shared out.
struct Forecast {
  LargeVector<NodeLayout> layout;
  Tree tree;
  LargeVector<std::int64_t> real_bottom_before, real_bottom_after, int_bottom_before, int_bottom_after;
  std::int64_t front_end = 0;  // one past the last real word of any front
};

bool forecast_run(const FactorSpace& s, Forecast& out) {
  const int n = s.n, nnodes = s.nnodes;
  const std::int64_t int_base = s.int_input_base();
  const std::int64_t real_base = s.real_input_base();
  if (s.fronts.size() < nnodes || s.total < n) return false;

  // Where the row of each pivot position starts among the input rows.
  LargeVector<std::int64_t> row_start(static_cast<std::size_t>(n) + 2, s.total);
  {
    int q = 0;
    for (std::int64_t w = 0; w < s.total; ++w) {
      if (s.int_space(int_base + w) >= 0) continue;
      if (++q > n) return false;
      row_start[static_cast<std::size_t>(q)] = w;
    }
    if (q != n) return false;
  }

  const auto size = static_cast<std::size_t>(nnodes) + 2;
  out.layout.assign(size, NodeLayout{});
  out.real_bottom_before.assign(size, 0);
  out.real_bottom_after.assign(size, 0);
  out.int_bottom_before.assign(size, 0);
  out.int_bottom_after.assign(size, 0);
  Tree& tree = out.tree;
  tree.father.assign(size, 0);
  tree.first.assign(size, 0);
  tree.count.assign(size, 1);
  tree.first_son.assign(size, 0);
  tree.next_brother.assign(size, 0);
  tree.work.assign(size, 0.0);

  // The walk in the arrays' words: the blocks from word 1 (int_space(1) is
  // the block count), the stack down from the input rows.
  struct Places {
    const FactorSpace& s;
    Forecast& out;
    const LargeVector<std::int64_t>& row_start;
    std::int64_t int_base, real_base;
    int consumed = 0;
    std::int64_t int_end = 0;
    bool front(int k, const StorageState& before, std::int64_t top_son_words, int missing_sons) {
      const int f = s.fronts(k), p = s.iplan(s.n + k);
      if (p < 1 || f < p || missing_sons > 0 || consumed + p > s.n) return false;
      const std::int64_t next_real = before.factor_reals + 1, next_int = before.factor_ints + 1;
      const std::int64_t real_bottom = real_base - before.stacked_reals;
      const std::int64_t int_bottom = int_base - before.stacked_ints;
      const auto at = static_cast<std::size_t>(k);
      out.layout[at] = {next_real, next_int, row_start[static_cast<std::size_t>(consumed) + 1], consumed};
      out.real_bottom_before[at] = real_bottom;
      out.int_bottom_before[at] = int_bottom;
      // Integer room for the block, real room for the front.
      if (!front_list_fits(next_int, f, int_bottom) ||
          !front_fits(next_real, f, 0, real_bottom, top_son_words > 0 ? top_son_words : 1))
        return false;
      out.front_end = std::max(out.front_end, next_real + triangle_words(f));
      int_end = std::max(int_end, next_int + f + 2);
      out.tree.first[at] = k;
      out.tree.work[at] = front_work(f, p);
      consumed += p;
      return true;
    }
    void son(int k, int node) {
      Tree& tree = out.tree;
      const auto at = static_cast<std::size_t>(k), c = static_cast<std::size_t>(node);
      tree.father[c] = k;
      tree.next_brother[c] = tree.first_son[at];
      tree.first_son[at] = node;
      tree.first[at] = std::min(tree.first[at], tree.first[c]);
      tree.count[at] += tree.count[c];
      tree.work[at] += tree.work[c];
    }
    bool after(int k, const StorageState& state, bool pushed) {
      const auto at = static_cast<std::size_t>(k);
      out.real_bottom_after[at] = real_base - state.stacked_reals;
      out.int_bottom_after[at] = int_base - state.stacked_ints;
      return !pushed || out.int_bottom_after[at] >= state.factor_ints + 1;
    }
  } places{s, out, row_start, int_base, real_base, 0, 0};
  LargeVector<int> stack(static_cast<std::size_t>(nnodes), 0);
  out.front_end = 0;
  const std::optional<StorageState> end =
      walk_factor_storage(nnodes, s.iplan.from(static_cast<std::int64_t>(s.n) + 1),
                          s.iplan.from(2 * static_cast<std::int64_t>(s.n) + 1), s.fronts,
                          View1<int>(stack.data(), nnodes), places);
  if (!end) return false;
  const std::int64_t int_end = places.int_end;
  out.layout[static_cast<std::size_t>(nnodes) + 1] = {end->factor_reals + 1, end->factor_ints + 1, s.total,
                                                      places.consumed};
  // The stack must keep clear of every front and block, whatever runs when.
  const std::int64_t lowest_real =
      *std::min_element(out.real_bottom_after.begin() + 1, out.real_bottom_after.begin() + nnodes + 1);
  const std::int64_t lowest_int =
      *std::min_element(out.int_bottom_after.begin() + 1, out.int_bottom_after.begin() + nnodes + 1);
  return lowest_real > out.front_end && lowest_int > int_end;
}

// The subtrees worth a thread: split from the roots down, largest first,
// while a subtree holds more than its share of the work. The last node is
// never in a task.
template <class FrontOrder>
std::vector<SubtreeTask> choose_tasks(const Tree& tree, int nnodes, int threads, const SolverTuning& tuning,
                                      FrontOrder front) {
  double total = 0.0;
  std::priority_queue<std::pair<double, int>> open;
  for (int k = 1; k <= nnodes; ++k) {
    if (tree.father[static_cast<std::size_t>(k)] != 0) continue;
    total += tree.work[static_cast<std::size_t>(k)];
    open.emplace(tree.work[static_cast<std::size_t>(k)], k);
  }
  const double largest = total / (threads * tuning.tasks_per_thread);
  const double smallest = tuning.min_task_work;
  const int widest = tuning.max_root_front;
  std::vector<SubtreeTask> tasks;
  while (!open.empty()) {
    const auto [work, k] = open.top();
    open.pop();
    const auto at = static_cast<std::size_t>(k);
    // A subtree is the nodes first .. k when it has that many.
    const bool whole = tree.count[at] == k - tree.first[at] + 1;
    if (k != nnodes && whole && work <= largest && front(k) <= widest) {
      if (work >= smallest) {
        SubtreeTask task;
        task.first_node = tree.first[at];
        task.last_node = k;
        tasks.push_back(std::move(task));
      }
      continue;
    }
    for (int son = tree.first_son[at]; son != 0; son = tree.next_brother[static_cast<std::size_t>(son)])
      open.emplace(tree.work[static_cast<std::size_t>(son)], son);
  }
  std::sort(tasks.begin(), tasks.end(),
            [](const SubtreeTask& a, const SubtreeTask& b) { return a.first_node < b.first_node; });
  return tasks;
}

}  // namespace

std::unique_ptr<SubtreeSchedule> plan_subtrees(const FactorSpace& s, int threads,
                                               const SolverTuning& tuning) {
  if (threads < 2) return nullptr;
  Forecast forecast;
  if (!forecast_run(s, forecast)) return nullptr;
  auto schedule = std::make_unique<SubtreeSchedule>();
  schedule->tasks =
      choose_tasks(forecast.tree, s.nnodes, threads, tuning, [&](int k) { return s.fronts(k); });
  if (schedule->tasks.size() < 2) return nullptr;
  schedule->layout = std::move(forecast.layout);

  const auto size = static_cast<std::size_t>(s.nnodes) + 2;
  schedule->task_from.assign(size, -1);
  LargeVector<char> in_task(size, 0);
  for (std::size_t t = 0; t < schedule->tasks.size(); ++t) {
    SubtreeTask& task = schedule->tasks[t];
    schedule->task_from[static_cast<std::size_t>(task.first_node)] = static_cast<int>(t);
    std::fill(in_task.begin() + task.first_node, in_task.begin() + task.last_node + 1, 1);
    // Its own stack holds at most what the one-thread run's stack grows by
    // within it (the root's remainder is kept apart).
    const auto first = static_cast<std::size_t>(task.first_node);
    for (auto k = first; k < static_cast<std::size_t>(task.last_node); ++k) {
      task.stack_reals =
          std::max(task.stack_reals, forecast.real_bottom_before[first] - forecast.real_bottom_after[k]);
      task.stack_ints =
          std::max(task.stack_ints, forecast.int_bottom_before[first] - forecast.int_bottom_after[k]);
    }
  }

  // A front outside the tasks that would reach into the blocks of a later
  // task goes to a buffer.
  schedule->buffered.assign(size, 0);
  std::int64_t next_task_start = std::numeric_limits<std::int64_t>::max();
  for (int k = s.nnodes; k >= 1; --k) {
    const auto at = static_cast<std::size_t>(k);
    if (in_task[at]) {
      if (schedule->task_from[at] >= 0) next_task_start = schedule->layout[at].real_start;
      continue;
    }
    const std::int64_t words = triangle_words(s.fronts(k));
    if (schedule->layout[at].real_start + words > next_task_start) {
      schedule->buffered[at] = 1;
      schedule->buffer_words = std::max(schedule->buffer_words, words);
      schedule->last_buffered = std::max(schedule->last_buffered, k);
    }
  }

  // A task's fronts stay below the next task's blocks; the last task's
  // below the end of its root's front. Beyond that, up to the end of all
  // fronts, lie the blocks of the last fronts, which come after every
  // buffered one: there the buffered fronts are assembled when they fit.
  for (std::size_t t = 0; t < schedule->tasks.size(); ++t) {
    SubtreeTask& task = schedule->tasks[t];
    const auto root = static_cast<std::size_t>(task.last_node);
    const std::int64_t root_front_end =
        schedule->layout[root].real_start + triangle_words(s.fronts(task.last_node));
    task.place_limit =
        t + 1 < schedule->tasks.size()
            ? schedule->layout[static_cast<std::size_t>(schedule->tasks[t + 1].first_node)].real_start
            : std::max(root_front_end, schedule->layout[root + 1].real_start);
    task.root_remainder = s.fronts(task.last_node) - s.iplan(s.n + task.last_node);
  }
  const std::int64_t tail = schedule->tasks.back().place_limit;
  if (forecast.front_end - tail >= schedule->buffer_words) schedule->buffer_start = tail;
  return schedule;
}

// What one thread needs to factorize subtrees: front positions (one for
// every variable), the panel, a buffer for fronts that do not fit in place,
// and a stack. The buffer and the stack are as large as the tasks so far
// have needed, and no larger: a machine of many threads holds as many
// workspaces, and the tasks of a small model need little.
struct SubtreeWorkspace {
  explicit SubtreeWorkspace(int n) : position(LargeArray<int>::zeroed(n)) {}
  LargeArray<int> position;  // position[v - 1]: front position of variable v, 0 outside the front
  PanelPivots panel;
  LargeArray<double> buffer;
  LargeArray<int> stack_ints;
  LargeArray<double> stack_reals;
  struct Item {
    std::int64_t ints, reals;  // where its list and triangle start on the stack
    int length;
  };
  std::vector<Item> items;
};

namespace {

// A task's storage, as the front step sees it: its blocks at their forecast
// places in the shared arrays, its fronts there too when they end short of
// the next task's blocks (in the workspace's buffer otherwise), the
// remainders of its fronts on the workspace's stack. Its root's remainder is
// left for the fronts above. A front that differs from the forecast stops it.
class TaskStorage {
 public:
  TaskStorage(const FactorSpace& s, SubtreeTask& task, SubtreeWorkspace& w, const FrontCursor& cursor)
      : s_(s), task_(task), w_(w), cursor_(cursor), zero_end_(cursor.next_real) {
    if (w.stack_ints.size() < task.stack_ints) w.stack_ints = LargeArray<int>(task.stack_ints);
    if (w.stack_reals.size() < task.stack_reals) w.stack_reals = LargeArray<double>(task.stack_reals);
    w.items.clear();
  }

  template <class Visit>
  void for_each_son_variable(int sons, Visit&& visit) const {
    for (int son = 0; son < sons; ++son) {
      const auto& item = son_item(son);
      for (int t = 0; t < item.length; ++t) visit(w_.stack_ints[static_cast<std::size_t>(item.ints + t)]);
    }
  }
  bool accept_front(int node, int front_order, int delayed) const {
    return front_order == s_.fronts(node) && delayed == 0;
  }
  bool make_list_room(int, int&) const { return true; }
  double* place_front(int node, int sons, int front_order, int delayed, int& iflag);
  void assemble_sons(const Front& a, int sons, int delayed, View1<int> position);
  void input_assembled() const {}
  bool pivots_as_planned(int pivots, int planned) const { return pivots == planned; }
  void keep_block(const Front& a, std::int64_t words) const {
    if (!in_place_)
      std::memcpy(s_.real_space.data() + (cursor_.next_real - 1), a.first,
                  static_cast<std::size_t>(words) * sizeof(double));
  }
  bool push_remainder(int node, int remainder, const int* list, const double* triangle, int& iflag);

 private:
  const SubtreeWorkspace::Item& son_item(int son) const {  // 0: the topmost
    return w_.items[w_.items.size() - 1 - static_cast<std::size_t>(son)];
  }

  const FactorSpace& s_;
  SubtreeTask& task_;
  SubtreeWorkspace& w_;
  const FrontCursor& cursor_;
  std::int64_t zero_end_;  // real words next_real .. zero_end - 1 are zero
  std::int64_t front_last_ = 0;
  bool in_place_ = true;
  std::int64_t ints_top_ = 0, reals_top_ = 0;  // the stack's first free words
};

double* TaskStorage::place_front(int, int, int front_order, int, int&) {
  const std::int64_t front_words = triangle_words(front_order);
  front_last_ = cursor_.next_real + front_words - 1;
  in_place_ = front_last_ < task_.place_limit;
  if (in_place_) {
    const std::int64_t from = std::max(cursor_.next_real, zero_end_);
    if (from <= front_last_)
      std::fill(s_.real_space.data() + (from - 1), s_.real_space.data() + front_last_, 0.0);
    zero_end_ = std::max(zero_end_, front_last_ + 1);
    return s_.real_space.data() + (cursor_.next_real - 1);
  }
  if (w_.buffer.size() < front_words) {
    w_.buffer.reset();
    w_.buffer = LargeArray<double>(front_words);
  }
  std::fill(w_.buffer.get(), w_.buffer.get() + front_words, 0.0);
  return w_.buffer.get();
}

void TaskStorage::assemble_sons(const Front& a, int sons, int, View1<int> position) {
  for (int son = 0; son < sons; ++son) {
    const auto& item = son_item(son);
    int* const local = w_.stack_ints.get() + item.ints;
    for (int t = 0; t < item.length; ++t) local[t] = position(local[t]);
    add_son_rows_keeping_son(a, w_.stack_reals.get() + item.reals, local, item.length);
  }
  if (sons > 0) {
    const auto lowest = son_item(sons - 1);
    ints_top_ = lowest.ints;
    reals_top_ = lowest.reals;
    w_.items.resize(w_.items.size() - static_cast<std::size_t>(sons));
  }
}

// Pushed, its words cleared for the next front when in place; the root's is
// left where it is, or copied from the buffer.
bool TaskStorage::push_remainder(int node, int remainder, const int* list, const double* triangle, int&) {
  const std::int64_t words = triangle_words(remainder);
  if (node == task_.last_node) {
    task_.root_list = list;
    if (in_place_) {
      task_.root_triangle = triangle;
    } else {
      task_.root_copy = LargeArray<double>(words);
      std::copy(triangle, triangle + words, task_.root_copy.get());
      task_.root_triangle = task_.root_copy.get();
    }
    return true;
  }
  std::copy(list, list + remainder, w_.stack_ints.get() + ints_top_);
  std::copy(triangle, triangle + words, w_.stack_reals.get() + reals_top_);
  w_.items.push_back({ints_top_, reals_top_, remainder});
  ints_top_ += remainder;
  reals_top_ += words;
  if (in_place_)
    std::fill(s_.real_space.data() + (cursor_.next_real - 1), s_.real_space.data() + front_last_, 0.0);
  return true;
}

// One task: its nodes one after the other, as the one-thread run works them
// but for where fronts and remainders are held. False when a front differs
// from the forecast, or another task has failed.
bool factorize_subtree(const FactorSpace& s, const SubtreeSchedule& schedule, SubtreeTask& task,
                       SubtreeWorkspace& w, const std::atomic<bool>& failed) {
  const NodeLayout& begin = schedule.layout[static_cast<std::size_t>(task.first_node)];
  FrontCursor cursor{begin.int_start, begin.real_start, s.int_input_base() + begin.input_start,
                     s.real_input_base() + begin.input_start, begin.consumed};
  PivotChoice choice{s.u, s.tolerance, &w.panel};
  TaskStorage storage(s, task, w, cursor);
  const View1<int> position(w.position.get(), s.n);
  int iflag = 0;
  for (int node = task.first_node; node <= task.last_node; ++node) {
    if (failed.load(std::memory_order_relaxed)) return false;
    const FrontOutcome front = factorize_front(s, cursor, position, choice, storage, node, iflag);
    if (!front.done) return false;
    task.two_by_two += front.counts.two_by_two;
    task.negative += front.counts.negative;
    task.largest_front = std::max(task.largest_front, front.front_order);
    task.operations += front_operations(front.front_order, front.counts.pivots);
  }
  return true;
}

}  // namespace

SubtreeRun::SubtreeRun(const FactorSpace& space, SubtreeSchedule& schedule, TaskPool& pool,
                       const SolverTuning& tuning)
    : space_(space),
      schedule_(schedule),
      pool_(pool),
      tuning_(tuning),
      ahead_(4 * static_cast<std::size_t>(pool.threads())),
      unstarted_(static_cast<int>(schedule.tasks.size())) {
  jobs_.reserve(schedule_.tasks.size());
  hand_out(ahead_);
}

// The factorization waits for every task before it ends. Should an exception
// (out of memory) end it early, the tasks not begun are stopped and those
// running waited for; what they throw besides is dropped, the first
// exception being on its way to the caller already.
SubtreeRun::~SubtreeRun() {
  stop();
  for (const auto& job : jobs_) {
    try {
      pool_.wait(*job);
    } catch (...) {
    }
  }
}

void SubtreeRun::hand_out(std::size_t count) {
  while (jobs_.size() < std::min(count, schedule_.tasks.size())) {
    SubtreeTask& task = schedule_.tasks[jobs_.size()];
    jobs_.push_back(pool_.submit([this, &task] { run(task); }));
  }
}

bool SubtreeRun::wait(const SubtreeTask& task) {
  const auto t = static_cast<std::size_t>(&task - schedule_.tasks.data());
  hand_out(t + 1 + ahead_);
  pool_.wait(*jobs_[t]);
  return task.done;
}

bool SubtreeRun::wait_all() {
  if (!failed_.load()) hand_out(schedule_.tasks.size());
  for (const auto& job : jobs_) pool_.wait(*job);
  return !failed_.load() && jobs_.size() == schedule_.tasks.size();
}

std::unique_ptr<SubtreeWorkspace> SubtreeRun::take_workspace() {
  std::lock_guard lock(shelf_mutex_);
  if (shelf_.empty()) {
    auto made = std::make_unique<SubtreeWorkspace>(space_.n);
    made->panel = PanelPivots(space_.panel_pivots, &pool_, tuning_);
    return made;
  }
  auto taken = std::move(shelf_.back());
  shelf_.pop_back();
  return taken;
}

void SubtreeRun::run(SubtreeTask& task) {
  unstarted_.fetch_sub(1);
  if (failed_.load(std::memory_order_relaxed)) return;
  std::unique_ptr<SubtreeWorkspace> workspace;
  try {
    workspace = take_workspace();
    task.done = factorize_subtree(space_, schedule_, task, *workspace, failed_);
  } catch (...) {
    failed_.store(true, std::memory_order_relaxed);
    throw;
  }
  if (!task.done) failed_.store(true, std::memory_order_relaxed);
  // A failed task may leave its workspace unclean; once every task has
  // begun no more workspaces are taken, and their memory goes back to the
  // system.
  std::lock_guard lock(shelf_mutex_);
  if (unstarted_.load() == 0) {
    shelf_.clear();
  } else if (task.done) {
    shelf_.push_back(std::move(workspace));
  }
}

}  // namespace quorix
