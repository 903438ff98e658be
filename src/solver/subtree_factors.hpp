#pragma once
// Independent subtrees of the assembly tree factorized side by side.
//
// The fronts of a subtree need nothing from outside it but their input rows,
// and every front is eliminated by the same steps wherever it is held: a
// subtree can be factorized on a thread of its own, in storage of its own,
// as long as its factor blocks end up where the one-thread factorization
// puts them. Those places follow from the analysis's forecast of every
// front's order, which the factorization meets exactly when no pivot is
// delayed. So:
//
//  1. From the forecast, the storage states the one-thread run would pass
//     through are worked out beforehand. If it would ever compress its
//     storage or run short, or its stack would come down to the fronts,
//     nothing is shared out: the one-thread run follows.
//  2. Subtrees are chosen as tasks and handed to the pool in node order.
//     Each task writes its blocks at their forecast places, assembles its
//     fronts there when they end short of the next task's blocks (in a
//     buffer of its own otherwise) and keeps the remainders of its fronts
//     on a stack of its own; its root's remainder is left for the fronts
//     above.
//  3. Meanwhile the calling thread works the fronts outside the tasks one
//     after the other, as the one-thread run does; where a task comes, it
//     waits for it and takes its blocks, statistics and root remainder as if
//     its fronts had just been worked. A front that would reach into the
//     blocks of a later task is assembled in a buffer and its pivot rows
//     copied into place.
//
// A front that does not match the forecast (a pivot delayed, another order)
// stops the tasks, and the whole factorization is worked again one front
// after the other: the result never depends on the thread count.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "parallel/task_pool.hpp"
#include "solver/factorization_phase.hpp"
#include "solver/front_step.hpp"
#include "sparse/large_memory.hpp"

namespace quorix {

// Where the one-thread run holds a node's front and block.
struct NodeLayout {
  std::int64_t real_start = 0;   // next factor real before the node (its front and block start there)
  std::int64_t int_start = 0;    // next factor integer before the node
  std::int64_t input_start = 0;  // word of its first input row within the input rows (0-based)
  int consumed = 0;              // pivot positions of the nodes before it
};

struct SubtreeTask {
  int first_node = 0, last_node = 0;             // the subtree is nodes first_node .. last_node
  std::int64_t stack_ints = 0, stack_reals = 0;  // the most its own stack holds
  std::int64_t place_limit = 0;                  // its fronts stay below this real word, or go to a buffer
  // What it leaves for the fronts above it.
  bool done = false;  // its fronts matched the forecast
  int two_by_two = 0, negative = 0, largest_front = 0;
  double operations = 0.0;                // as the forecast counts them
  int root_remainder = 0;                 // the order of its root's remainder, whose variables and packed
  const int* root_list = nullptr;         // triangle are here: in place after the root's block,
  const double* root_triangle = nullptr;  // or in root_copy
  LargeArray<double> root_copy;
};

struct SubtreeSchedule {
  LargeVector<NodeLayout> layout;  // by node, 1 .. nnodes + 1 (the last: after all nodes)
  std::vector<SubtreeTask> tasks;  // in node order
  LargeVector<int> task_from;      // by node: the task whose first node it is, or -1
  LargeVector<char> buffered;      // by node outside the tasks: its front goes to a buffer
  std::int64_t buffer_words = 0;   // the largest such front
  std::int64_t buffer_start = 0;   // where in real_space they go, or 0: in memory of their own
  int last_buffered = 0;

  SubtreeTask* task_starting_at(int node) {
    const int t = task_from[static_cast<std::size_t>(node)];
    return t < 0 ? nullptr : &tasks[static_cast<std::size_t>(t)];
  }
};

// The schedule for `threads` threads (shared out as `tuning` says), or none (one front after the other).
// The input rows must be in place at the top of the storage.
std::unique_ptr<SubtreeSchedule> plan_subtrees(const FactorSpace& space, int threads,
                                               const SolverTuning& tuning);

struct SubtreeWorkspace;

// The tasks of a schedule on the pool's threads, handed out in node order a
// few ahead of the one the caller waits for: the threads keep busy, and only
// a few tasks' remainders wait to be taken. Destroying it waits for all.
class SubtreeRun {
 public:
  SubtreeRun(const FactorSpace& space, SubtreeSchedule& schedule, TaskPool& pool, const SolverTuning& tuning);
  ~SubtreeRun();
  SubtreeRun(const SubtreeRun&) = delete;
  SubtreeRun& operator=(const SubtreeRun&) = delete;

  // Waits for the task (working on queued ones meanwhile); true when its
  // fronts matched the forecast.
  bool wait(const SubtreeTask& task);
  // Waits for every task; true when all matched the forecast.
  bool wait_all();
  // Tells the tasks not begun, or between fronts, to stop.
  void stop() { failed_.store(true); }

 private:
  std::unique_ptr<SubtreeWorkspace> take_workspace();
  void run(SubtreeTask& task);
  // Hands the tasks before `count` to the pool, those not handed out yet.
  void hand_out(std::size_t count);

  const FactorSpace& space_;
  SubtreeSchedule& schedule_;
  TaskPool& pool_;
  const SolverTuning tuning_;
  const std::size_t ahead_;  // tasks handed out beyond the one waited for
  std::atomic<bool> failed_{false};
  std::atomic<int> unstarted_;  // tasks no thread has begun
  std::mutex shelf_mutex_;
  std::vector<std::unique_ptr<SubtreeWorkspace>> shelf_;
  std::vector<std::shared_ptr<TaskPool::Task>> jobs_;  // by task
};

}  // namespace quorix
