#pragma once
// A small pool of worker threads for the independent parts of a computation.
// Idle workers sleep on a condition variable; nothing spins. The thread that
// hands work to the pool takes part in it, so a pool of one thread has no
// workers and runs everything on the caller, in order.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quorix {

class TaskPool {
 public:
  // A piece of work handed to the pool: run by a worker, or by the thread
  // that waits for it when no worker has taken it yet.
  class Task {
   public:
    explicit Task(std::function<void()> work) : work_(std::move(work)) {}
    bool done() const { return state_.load(std::memory_order_acquire) == kDone; }

   private:
    friend class TaskPool;
    static constexpr int kQueued = 0, kRunning = 1, kDone = 2;
    std::function<void()> work_;
    std::exception_ptr failure_;  // what the work threw, for wait() to rethrow
    std::atomic<int> state_{kQueued};
  };

  // `threads` >= 1 threads in all: the caller and threads - 1 workers. Should
  // the system refuse a thread, the pool works with those it has.
  explicit TaskPool(int threads);
  ~TaskPool();
  TaskPool(const TaskPool&) = delete;
  TaskPool& operator=(const TaskPool&) = delete;

  int threads() const { return static_cast<int>(workers_.size()) + 1; }

  // Calls body(unit) once for every unit 0 .. units-1, on the calling thread
  // and on idle workers, and returns when all calls have returned. Units are
  // handed out in increasing order; which thread runs which is not fixed, so
  // the calls must be independent of each other. Should a call throw, the
  // units not yet begun are skipped and, once every call under way has
  // returned, the first exception caught is thrown again here.
  void for_each_unit(int units, const std::function<void(int)>& body);

  // Queues `work` for a worker; wait() for the returned task before reading
  // what it wrote.
  std::shared_ptr<Task> submit(std::function<void()> work);
  // Returns when `task` is done, throwing again what its work threw. While it
  // is not done, the caller runs queued tasks itself (this one first, if no
  // worker has taken it).
  void wait(Task& task);

 private:
  void work_loop();
  // Runs the task unless another thread has taken it; true when it ran here.
  bool run(Task& task);
  // Returns when `task`, taken by another thread, is done; runs queued tasks
  // meanwhile.
  void wait_for_others(Task& task);

  std::vector<std::jthread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_;  // work queued, or stopping
  std::condition_variable done_;  // a task or a unit finished
  std::deque<std::shared_ptr<Task>> queue_;
  bool stopping_ = false;
};

// Tasks that read or write what their caller's scope holds: wait() returns
// when every one is done, throwing again the first failure; a scope left
// early (an exception) still waits for them all, dropping what they throw.
class TaskGroup {
 public:
  explicit TaskGroup(TaskPool* pool) : pool_(pool) {}
  ~TaskGroup();
  TaskGroup(const TaskGroup&) = delete;
  TaskGroup& operator=(const TaskGroup&) = delete;
  // Hands `work` to the pool, or runs it here and now without one.
  void run(std::function<void()> work);
  void wait();

 private:
  TaskPool* pool_;
  std::vector<std::shared_ptr<TaskPool::Task>> tasks_;
};

// Calls body(unit) for every unit 0 .. units-1: on `pool` as its
// for_each_unit does, or, without a pool, one after the other on the calling
// thread.
void for_each_unit(TaskPool* pool, int units, const std::function<void(int)>& body);

// The pool the program works with, made on first use with the thread count
// of QUORIX_THREADS or, without it, one thread per CPU the process may run on.
// A malformed QUORIX_THREADS is reported on standard error once. The library
// is handed its pool by the caller; this one is for the programs' runs, the
// benchmarks and the tests.
TaskPool& shared_task_pool();

}  // namespace quorix
