#pragma once
#include <chrono>

#include "analysis/analysis.hpp"

namespace quorix {

// Adds the time since the previous lap to one field of a StageTimes record,
// when there is a record to fill.
class StageClock {
 public:
  explicit StageClock(StageTimes* times) : times_(times), last_(std::chrono::steady_clock::now()) {}
  void count_solve() {
    if (times_) ++times_->solves;
  }
  void lap(double StageTimes::*field) {
    if (!times_) return;
    const auto now = std::chrono::steady_clock::now();
    times_->*field += std::chrono::duration<double>(now - last_).count();
    last_ = now;
  }

 private:
  StageTimes* times_;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace quorix
