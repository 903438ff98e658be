// The task pool runs every unit and task exactly once, on any thread count,
// and the thread count setting takes only sensible values.

#include "parallel/task_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "parallel/thread_count.hpp"

namespace quorix {
namespace {

TEST(TaskPool, RunsEveryUnitAndTaskOnce) {
  for (int threads : {1, 2, 5}) {
    SCOPED_TRACE(threads);
    TaskPool pool(threads);
    EXPECT_EQ(pool.threads(), threads);
    for (int units : {0, 1, 3, 1000}) {
      std::vector<std::atomic<int>> calls(static_cast<std::size_t>(units));
      pool.for_each_unit(units, [&](int u) { calls[static_cast<std::size_t>(u)].fetch_add(1); });
      for (const auto& c : calls) EXPECT_EQ(c.load(), 1);
    }
    // Tasks that hand units to the pool themselves, waited for out of order.
    std::vector<long> sums(6, 0);
    std::vector<std::shared_ptr<TaskPool::Task>> tasks;
    for (std::size_t t = 0; t < sums.size(); ++t) {
      tasks.push_back(pool.submit([&pool, &sums, t] {
        std::vector<long> parts(100, 0);
        pool.for_each_unit(100,
                           [&](int u) { parts[static_cast<std::size_t>(u)] = u * static_cast<long>(t); });
        for (long p : parts) sums[t] += p;
      }));
    }
    for (std::size_t t = sums.size(); t-- > 0;) {
      pool.wait(*tasks[t]);
      EXPECT_TRUE(tasks[t]->done());
      EXPECT_EQ(sums[t], 4950 * static_cast<long>(t));
    }
  }
}

// A unit or task that throws (say, out of memory) hands its exception to the
// caller, after every call under way has returned; the pool stays usable.
TEST(TaskPool, ThrowsWhatAUnitOrTaskThrewOnTheCaller) {
  for (int threads : {1, 2, 5}) {
    SCOPED_TRACE(threads);
    TaskPool pool(threads);
    std::atomic<int> running{0};
    auto body = [&](int u) {
      if (u == 3) throw std::bad_alloc();
      running.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      running.fetch_sub(1);
    };
    EXPECT_THROW(pool.for_each_unit(200, body), std::bad_alloc);
    EXPECT_EQ(running.load(), 0);  // nothing still running after the throw
    auto task = pool.submit([] { throw std::runtime_error("task"); });
    EXPECT_THROW(pool.wait(*task), std::runtime_error);
    // A group waits for all its tasks before it throws the first failure.
    std::atomic<int> finished{0};
    TaskGroup group(&pool);
    group.run([] { throw std::bad_alloc(); });
    for (int t = 0; t < 8; ++t)
      group.run([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        finished.fetch_add(1);
      });
    EXPECT_THROW(group.wait(), std::bad_alloc);
    EXPECT_EQ(finished.load(), 8);
    std::atomic<int> calls{0};
    pool.for_each_unit(50, [&](int) { calls.fetch_add(1); });
    EXPECT_EQ(calls.load(), 50);
  }
}

TEST(ThreadCount, TakesWholeNumbersAndReportsAnythingElse) {
  EXPECT_GE(affinity_cpu_count(), 1);
  struct Case {
    const char* value;
    int expected;
    bool reported;
  };
  for (const Case& c :
       {Case{nullptr, 7, false}, Case{"3", 3, false}, Case{" 12 ", 12, false}, Case{"1", 1, false},
        Case{"0", 7, true}, Case{"-2", 7, true}, Case{"two", 7, true}, Case{"", 7, true},
        Case{"2.5", 7, true}, Case{"257", 7, true}, Case{"99999999999", 7, true}}) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    std::ostringstream warnings;
    EXPECT_EQ(thread_count_setting(c.value, 7, warnings), c.expected);
    EXPECT_EQ(warnings.str().empty(), !c.reported);
    if (c.reported) {
      EXPECT_EQ(warnings.str(), std::string("quorix: QUORIX_THREADS=\"") + c.value +
                                    "\" is not a whole number from 1 to 256; using 7 threads\n");
    }
  }
}

}  // namespace
}  // namespace quorix
