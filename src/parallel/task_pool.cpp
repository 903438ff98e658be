#include "parallel/task_pool.hpp"

#include <cstdlib>
#include <iostream>
#include <system_error>
#include <utility>

#include "parallel/thread_count.hpp"

namespace quorix {

TaskPool::TaskPool(int threads) {
  try {
    for (int t = 1; t < threads; ++t) workers_.emplace_back([this] { work_loop(); });
  } catch (const std::system_error&) {
    // Fewer threads than asked for: the results do not depend on the count.
  }
}

TaskPool::~TaskPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  workers_.clear();  // joins
}

void TaskPool::work_loop() {
  for (;;) {
    std::shared_ptr<Task> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    run(*task);
  }
}

bool TaskPool::run(Task& task) {
  int expected = Task::kQueued;
  if (!task.state_.compare_exchange_strong(expected, Task::kRunning, std::memory_order_acq_rel)) return false;
  try {
    task.work_();
  } catch (...) {
    task.failure_ = std::current_exception();
  }
  task.work_ = nullptr;
  {
    std::lock_guard lock(mutex_);
    task.state_.store(Task::kDone, std::memory_order_release);
  }
  done_.notify_all();
  return true;
}

std::shared_ptr<TaskPool::Task> TaskPool::submit(std::function<void()> work) {
  auto task = std::make_shared<Task>(std::move(work));
  if (workers_.empty()) return task;  // the waiter runs it
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(task);
  }
  wake_.notify_one();
  return task;
}

TaskGroup::~TaskGroup() {
  try {
    wait();
  } catch (...) {
  }
}

void TaskGroup::run(std::function<void()> work) {
  if (pool_ == nullptr) return work();
  tasks_.push_back(pool_->submit(std::move(work)));
}

void TaskGroup::wait() {
  std::exception_ptr first;
  for (const auto& task : tasks_) {
    try {
      pool_->wait(*task);
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  tasks_.clear();
  if (first) std::rethrow_exception(first);
}

void TaskPool::wait(Task& task) {
  if (!run(task)) wait_for_others(task);
  if (task.failure_) std::rethrow_exception(std::exchange(task.failure_, nullptr));
}

void TaskPool::wait_for_others(Task& task) {
  std::unique_lock lock(mutex_);
  while (!task.done()) {
    if (!queue_.empty()) {
      std::shared_ptr<Task> other = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      run(*other);
      lock.lock();
      continue;
    }
    done_.wait(lock, [&] { return task.done() || !queue_.empty(); });
  }
}

void TaskPool::for_each_unit(int units, const std::function<void(int)>& body) {
  if (units <= 0) return;
  if (workers_.empty() || units == 1) {
    for (int unit = 0; unit < units; ++unit) body(unit);
    return;
  }
  // The units are claimed one by one from a shared counter. A helper that
  // starts after all are claimed touches only the counter, which it shares.
  // A unit that throws makes the rest be skipped: claimed and counted, not run.
  struct Units {
    std::atomic<int> next{0};
    std::atomic<int> finished{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;  // the first, written by the thread that set `failed`
  };
  auto shared = std::make_shared<Units>();
  const std::function<void(int)>* const work = &body;
  auto claim_and_run = [this, shared, work, units] {
    for (int unit; (unit = shared->next.fetch_add(1, std::memory_order_relaxed)) < units;) {
      if (!shared->failed.load(std::memory_order_relaxed)) {
        try {
          (*work)(unit);
        } catch (...) {
          if (!shared->failed.exchange(true, std::memory_order_relaxed))
            shared->failure = std::current_exception();
        }
      }
      if (shared->finished.fetch_add(1, std::memory_order_acq_rel) + 1 == units) {
        { std::lock_guard lock(mutex_); }
        done_.notify_all();
      }
    }
  };
  const int helpers = std::min(units - 1, static_cast<int>(workers_.size()));
  {
    std::lock_guard lock(mutex_);
    for (int h = 0; h < helpers; ++h) queue_.push_back(std::make_shared<Task>(claim_and_run));
  }
  if (helpers == 1) {
    wake_.notify_one();
  } else {
    wake_.notify_all();
  }
  claim_and_run();
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return shared->finished.load(std::memory_order_acquire) == units; });
  lock.unlock();
  if (shared->failure) std::rethrow_exception(shared->failure);
}

void for_each_unit(TaskPool* pool, int units, const std::function<void(int)>& body) {
  if (pool != nullptr) {
    pool->for_each_unit(units, body);
    return;
  }
  for (int unit = 0; unit < units; ++unit) body(unit);
}

namespace {

std::mutex shared_pool_mutex;
std::unique_ptr<TaskPool> shared_pool;

}  // namespace

TaskPool& shared_task_pool() {
  std::lock_guard lock(shared_pool_mutex);
  if (!shared_pool) {
    const int threads = thread_count_setting(std::getenv("QUORIX_THREADS"), affinity_cpu_count(), std::cerr);
    shared_pool = std::make_unique<TaskPool>(threads);
  }
  return *shared_pool;
}

}  // namespace quorix
