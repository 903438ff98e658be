#pragma once
// One line on a terminal's standard error that tells how a long run goes:
// the stage, the share of the factorization done, the Newton iteration with
// its two measures. It is redrawn in place and erased at the end. Standard
// output and error go on as before: any line written to either first erases
// the progress line, which the next update draws again.

#include <chrono>
#include <iosfwd>
#include <memory>
#include <streambuf>
#include <string>

namespace quorix {

class ProgressLine {
 public:
  // Shows nothing unless `enabled` (standard error is a terminal).
  explicit ProgressLine(bool enabled);
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  // Erases the line and gives std::cout and std::cerr their buffers back.
  ~ProgressLine();

  void stage(const char* name);
  void factor_share(double share);
  void iteration(int step, int steps, int iteration, double displacement_ratio, double residual);
  // Removes the line from the terminal (it comes back with the next update).
  void erase();

 private:
  void draw();
  class ClearingBuffer;

  bool enabled_;
  std::string stage_;
  std::string iteration_;  // the last iteration's step and measures, or empty
  double share_ = -1.0;    // of the factorization, or < 0 when not factorizing
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_draw_{};
  std::streambuf* terminal_ = nullptr;  // standard error's own buffer
  std::unique_ptr<ClearingBuffer> out_, err_;
};

}  // namespace quorix
