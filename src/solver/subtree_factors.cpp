// Subtrees of the assembly tree factorized side by side (subtree_factors.hpp).

#include "solver/subtree_factors.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <mutex>
#include <queue>
#include <utility>

#include "parallel/task_pool.hpp"
#include "solver/front_kernels.hpp"
#include "sparse/large_memory.hpp"

namespace quorix {

namespace {

std::atomic<double> split_tasks_per_thread{SubtreeSplit{}.tasks_per_thread};
std::atomic<double> split_min_task_work{SubtreeSplit{}.min_task_work};
std::atomic<int> split_max_root_front{SubtreeSplit{}.max_root_front};

// Multiply-adds of a front of order f with p pivots, as the forecast counts
// them, and the words of the front itself.
double front_work(double f, double p) { return front_operations(f, p) + f * (f + 1) / 2; }

// The tree as the one-thread run's stack makes it: a node's sons are the
// remainders it pops. Per node its father (0 for none), the first node of
// its subtree, the subtree's node count and work.
struct Tree {
  std::vector<int> father, first, count, first_son, next_brother;
  std::vector<double> work;
};

// The one-thread run's storage bookkeeping, worked out from the forecast:
// the layout of every node, the tree, and the stack bottoms around each
// node. False when that run would compress its storage or run short, or when
// its stack would come down to any front: then nothing is shared out.
struct Forecast {
  std::vector<NodeLayout> layout;
  Tree tree;
  std::vector<std::int64_t> real_bottom_before, real_bottom_after, int_bottom_before, int_bottom_after;
  std::int64_t front_end = 0;  // one past the last real word of any front
};

bool forecast_run(const FactorSpace& s, Forecast& out) {
  const int n = s.n, nnodes = s.nnodes;
  const std::int64_t int_base = s.liw - s.total + 1;
  const std::int64_t real_base = s.la - s.total + 1;
  if (s.fronts.size() < nnodes || s.total < n) return false;

  // Where the row of each pivot position starts among the input rows.
  std::vector<std::int64_t> row_start(static_cast<std::size_t>(n) + 2, s.total);
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

  std::int64_t next_int = 2, next_real = 1;
  std::int64_t int_bottom = int_base, real_bottom = real_base;
  std::vector<std::pair<int, int>> stack;  // (remainder order, node), top last
  int consumed = 0;
  std::int64_t int_end = 0;
  out.front_end = 0;
  for (int k = 1; k <= nnodes; ++k) {
    const int f = s.fronts(k), p = s.iplan(n + k), sons = s.iplan(2 * n + k);
    if (p < 1 || f < p || sons < 0 || static_cast<std::size_t>(sons) > stack.size() || consumed + p > n)
      return false;
    const auto at = static_cast<std::size_t>(k);
    out.layout[at] = {next_real, next_int, row_start[static_cast<std::size_t>(consumed) + 1], consumed};
    out.real_bottom_before[at] = real_bottom;
    out.int_bottom_before[at] = int_bottom;
    // Integer room for the block, real room for the front.
    if (int_bottom <= next_int + f + 1) return false;
    const std::int64_t front_last = next_real + triangle_words(f) - 1;
    const std::int64_t top_son = sons > 0 ? triangle_words(stack.back().first) : 1;
    if (!(next_real <= real_bottom && front_last <= real_bottom + top_son - 2)) return false;
    out.front_end = std::max(out.front_end, front_last + 1);
    int_end = std::max(int_end, next_int + f + 2);
    tree.first[at] = k;
    tree.work[at] = front_work(f, p);
    for (int son = 0; son < sons; ++son) {
      const auto [order, node] = stack.back();
      stack.pop_back();
      int_bottom += order + 1;
      real_bottom += triangle_words(order);
      const auto c = static_cast<std::size_t>(node);
      tree.father[c] = k;
      tree.next_brother[c] = tree.first_son[at];
      tree.first_son[at] = node;
      tree.first[at] = std::min(tree.first[at], tree.first[c]);
      tree.count[at] += tree.count[c];
      tree.work[at] += tree.work[c];
    }
    consumed += p;
    next_int += p == 1 ? f + 1 : f + 2;
    next_real += pivot_row_words(f, p);
    const int remainder = f - p;
    if (remainder > 0 && k < nnodes) {
      if (int_bottom - (remainder + 1) < next_int) return false;
      int_bottom -= remainder + 1;
      real_bottom -= triangle_words(remainder);
      stack.emplace_back(remainder, k);
    }
    out.real_bottom_after[at] = real_bottom;
    out.int_bottom_after[at] = int_bottom;
  }
  out.layout[static_cast<std::size_t>(nnodes) + 1] = {next_real, next_int, s.total, consumed};
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
std::vector<SubtreeTask> choose_tasks(const Tree& tree, int nnodes, int threads, FrontOrder front) {
  double total = 0.0;
  std::priority_queue<std::pair<double, int>> open;
  for (int k = 1; k <= nnodes; ++k) {
    if (tree.father[static_cast<std::size_t>(k)] != 0) continue;
    total += tree.work[static_cast<std::size_t>(k)];
    open.emplace(tree.work[static_cast<std::size_t>(k)], k);
  }
  const double largest = total / (threads * split_tasks_per_thread.load(std::memory_order_relaxed));
  const double smallest = split_min_task_work.load(std::memory_order_relaxed);
  const int widest = split_max_root_front.load(std::memory_order_relaxed);
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

void set_subtree_split(SubtreeSplit split) {
  split_tasks_per_thread.store(split.tasks_per_thread, std::memory_order_relaxed);
  split_min_task_work.store(split.min_task_work, std::memory_order_relaxed);
  split_max_root_front.store(split.max_root_front, std::memory_order_relaxed);
}

std::unique_ptr<SubtreeSchedule> plan_subtrees(const FactorSpace& s, int threads) {
  if (threads < 2) return nullptr;
  Forecast forecast;
  if (!forecast_run(s, forecast)) return nullptr;
  auto schedule = std::make_unique<SubtreeSchedule>();
  schedule->tasks = choose_tasks(forecast.tree, s.nnodes, threads, [&](int k) { return s.fronts(k); });
  if (schedule->tasks.size() < 2) return nullptr;
  schedule->layout = std::move(forecast.layout);

  const auto size = static_cast<std::size_t>(s.nnodes) + 2;
  schedule->task_from.assign(size, -1);
  std::vector<char> in_task(size, 0);
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

// What one thread needs to factorize subtrees: front positions, the panel,
// a buffer for fronts that do not fit in place, and a stack. All straight
// from the system, so that they go back to it with the workspace.
struct SubtreeWorkspace {
  explicit SubtreeWorkspace(int n) : position(LargeArray<int>::from_system(n)) {}
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

constexpr int kCounted = -1;  // a variable met once, counted in the front order
constexpr int kListed = -2;   // written into the front's index list

// One task: its nodes one after the other, as the one-thread run works them
// but for where fronts and remainders are held. False when a front differs
// from the forecast, or another task has failed.
bool factorize_subtree(const FactorSpace& s, const SubtreeSchedule& schedule, SubtreeTask& task,
                       SubtreeWorkspace& w, const std::atomic<bool>& failed) {
  const View1<int> position(w.position.get(), s.n);
  const View1<const int> input_ints(s.int_space.data(), s.liw);
  const View1<const double> input_reals(s.real_space.data(), s.la);
  const NodeLayout& begin = schedule.layout[static_cast<std::size_t>(task.first_node)];
  std::int64_t next_real = begin.real_start, next_int = begin.int_start;
  std::int64_t int_pos = s.liw - s.total + 1 + begin.input_start;
  std::int64_t real_pos = s.la - s.total + 1 + begin.input_start;
  int consumed = begin.consumed;
  std::int64_t zero_end = next_real;  // real words next_real .. zero_end - 1 are zero
  if (w.stack_ints.size() < task.stack_ints) w.stack_ints = LargeArray<int>::from_system(task.stack_ints);
  if (w.stack_reals.size() < task.stack_reals)
    w.stack_reals = LargeArray<double>::from_system(task.stack_reals);
  std::int64_t ints_top = 0, reals_top = 0;
  w.items.clear();

  for (int node = task.first_node; node <= task.last_node; ++node) {
    if (failed.load(std::memory_order_relaxed)) return false;
    const int planned = s.iplan(s.n + node), sons = s.iplan(2 * s.n + node);
    const auto son_item = [&](int son) -> const SubtreeWorkspace::Item& {  // 0: the topmost
      return w.items[w.items.size() - 1 - static_cast<std::size_t>(son)];
    };
    // a. The front's variables: those of the sons' lists and of the input
    //    rows, each once.
    auto for_each_variable = [&](auto&& visit) {
      for (int son = 0; son < sons; ++son) {
        const auto& item = son_item(son);
        for (int t = 0; t < item.length; ++t)
          visit(w.stack_ints[static_cast<std::size_t>(item.ints + t)], true);
      }
      std::int64_t pos = int_pos;
      for (int row = 0; row < planned; ++row) {
        visit(-s.int_space(pos), false);
        for (++pos; pos <= s.liw && s.int_space(pos) > 0; ++pos) visit(s.int_space(pos), false);
      }
    };
    int front_order = 0, delayed = 0;
    for_each_variable([&](int v, bool stacked) {
      if (position(v) != 0) return;
      position(v) = kCounted;
      ++front_order;
      if (stacked && s.iplan(v) <= consumed) ++delayed;
    });
    // b. The index list, in the block's place.
    int* const list = s.int_space.data() + (next_int + 1);
    {
      int listed = 0;
      for_each_variable([&](int v, bool) {
        if (position(v) != kCounted) return;
        position(v) = kListed;
        list[listed++] = v;
      });
    }
    if (front_order != s.fronts(node) || delayed != 0) {
      for (int l = 0; l < front_order; ++l) position(list[l]) = 0;
      return false;
    }
    std::sort(list, list + front_order, [&](int x, int y) { return s.iplan(x) < s.iplan(y); });
    for (int l = 1; l <= front_order; ++l) position(list[l - 1]) = l;

    // c. The front: in place when it ends short of the next task's blocks.
    const std::int64_t front_words = triangle_words(front_order);
    const std::int64_t front_last = next_real + front_words - 1;
    const bool in_place = front_last < task.place_limit;
    double* memory;
    if (in_place) {
      memory = s.real_space.data() + (next_real - 1);
      const std::int64_t from = std::max(next_real, zero_end);
      if (from <= front_last)
        std::fill(s.real_space.data() + (from - 1), s.real_space.data() + front_last, 0.0);
      zero_end = std::max(zero_end, front_last + 1);
    } else {
      if (w.buffer.size() < front_words) {
        w.buffer.reset();
        w.buffer = LargeArray<double>::from_system(front_words);
      }
      memory = w.buffer.get();
      std::fill(memory, memory + front_words, 0.0);
    }
    const Front a{memory, front_order};

    // d. The son triangles, topmost first, then the input rows.
    for (int son = 0; son < sons; ++son) {
      const auto& item = son_item(son);
      int* const local = w.stack_ints.get() + item.ints;
      for (int t = 0; t < item.length; ++t) local[t] = position(local[t]);
      add_son_rows(a, w.stack_reals.get() + item.reals, local, item.length, 1, item.length);
    }
    if (sons > 0) {
      const auto lowest = son_item(sons - 1);
      ints_top = lowest.ints;
      reals_top = lowest.reals;
      w.items.resize(w.items.size() - static_cast<std::size_t>(sons));
    }
    assemble_input_rows(a, position, input_ints, input_reals, planned, int_pos, real_pos);
    consumed += planned;
    for (int l = 0; l < front_order; ++l) position(list[l]) = 0;

    // e. The pivots: all the planned ones, or the forecast is off.
    const PivotCounts counts = eliminate_threshold_pivots(a, list, planned, s.u, s.tolerance, w.panel);
    if (counts.pivots != planned) return false;
    task.two_by_two += counts.two_by_two;
    task.negative += counts.negative;
    task.largest_front = std::max(task.largest_front, front_order);
    task.operations += front_operations(front_order, planned);

    // f. The block.
    std::int64_t remainder_list;
    if (planned == 1) {
      s.int_space(next_int) = -front_order;
      std::memmove(s.int_space.data() + next_int, list, static_cast<std::size_t>(front_order) * sizeof(int));
      remainder_list = next_int + 2;
      next_int += front_order + 1;
    } else {
      s.int_space(next_int) = front_order;
      s.int_space(next_int + 1) = planned;
      remainder_list = next_int + 2 + planned;
      next_int += front_order + 2;
    }
    const std::int64_t block_words = pivot_row_words(front_order, planned);
    if (!in_place)
      std::memcpy(s.real_space.data() + (next_real - 1), memory,
                  static_cast<std::size_t>(block_words) * sizeof(double));
    next_real += block_words;

    // g. The remainder: pushed, its words cleared for the next front when in
    //    place; the root's is left where it is, or copied from the buffer.
    const int remainder = front_order - planned;
    if (remainder == 0) continue;
    const int* const remainder_vars = s.int_space.data() + (remainder_list - 1);
    const double* const triangle = memory + block_words;
    const std::int64_t remainder_words = triangle_words(remainder);
    if (node == task.last_node) {
      task.root_list = remainder_vars;
      if (in_place) {
        task.root_triangle = triangle;
      } else {
        task.root_copy = LargeArray<double>::from_system(remainder_words);
        std::copy(triangle, triangle + remainder_words, task.root_copy.get());
        task.root_triangle = task.root_copy.get();
      }
      continue;
    }
    std::copy(remainder_vars, remainder_vars + remainder, w.stack_ints.get() + ints_top);
    std::copy(triangle, triangle + remainder_words, w.stack_reals.get() + reals_top);
    w.items.push_back({ints_top, reals_top, remainder});
    ints_top += remainder;
    reals_top += remainder_words;
    if (in_place) std::fill(s.real_space.data() + (next_real - 1), s.real_space.data() + front_last, 0.0);
  }
  return true;
}

}  // namespace

SubtreeRun::SubtreeRun(const FactorSpace& space, SubtreeSchedule& schedule, TaskPool& pool)
    : space_(space),
      schedule_(schedule),
      pool_(pool),
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
    made->panel = PanelPivots(space_.panel_pivots);
    made->panel.pool = &pool_;
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
