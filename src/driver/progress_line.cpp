#include "driver/progress_line.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>

namespace quorix {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr std::size_t kDefaultWidth = 80;
const char kErase[] = "\r\033[K";  // to the line's start, clear to its end

}  // namespace

// Forwards to a stream's own buffer, erasing the progress line before any
// text and passing a completed line on at once.
class ProgressLine::ClearingBuffer : public std::streambuf {
 public:
  ClearingBuffer(ProgressLine& line, std::streambuf* target) : line_(line), target_(target) {}
  std::streambuf* target() const { return target_; }

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    line_.erase();
    const int written = target_->sputc(static_cast<char>(c));
    if (c == '\n') target_->pubsync();
    return written;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    line_.erase();
    const std::streamsize written = target_->sputn(text, count);
    if (std::memchr(text, '\n', static_cast<std::size_t>(count)) != nullptr) target_->pubsync();
    return written;
  }
  int sync() override { return target_->pubsync(); }

 private:
  ProgressLine& line_;
  std::streambuf* target_;
};

ProgressLine::ProgressLine(bool enabled) : enabled_(enabled) {
  if (!enabled_) return;
  std::cout.flush();
  terminal_ = std::cerr.rdbuf();
  out_ = std::make_unique<ClearingBuffer>(*this, std::cout.rdbuf());
  err_ = std::make_unique<ClearingBuffer>(*this, terminal_);
  std::cout.rdbuf(out_.get());
  std::cerr.rdbuf(err_.get());
}

ProgressLine::~ProgressLine() {
  if (!enabled_) return;
  erase();
  std::cout.flush();
  std::cout.rdbuf(out_->target());
  std::cerr.rdbuf(err_->target());
}

void ProgressLine::stage(const char* name) {
  stage_ = name;
  share_ = -1.0;
  draw();
}

void ProgressLine::factor_share(double share) {
  stage_ = "factorizing";
  share_ = share;
  draw();
}

void ProgressLine::iteration(int step, int steps, int iteration, double displacement_ratio, double residual) {
  char text[160];
  std::snprintf(text, sizeof text, "step %d/%d iteration %d: ratio %.1e residual %.1e", step, steps,
                iteration, displacement_ratio, residual);
  iteration_ = text;
  draw();
}

void ProgressLine::erase() {
  if (!shown_) return;
  terminal_->sputn(kErase, sizeof kErase - 1);
  terminal_->pubsync();
  shown_ = false;
}

void ProgressLine::draw() {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  std::string text = "quorix: " + stage_;
  if (share_ >= 0.0) {
    char percent[16];
    std::snprintf(percent, sizeof percent, " %3.0f%%", share_ * 100.0);
    text += percent;
  }
  if (!iteration_.empty()) text += " | " + iteration_;
  // One character short of the terminal's width, so that the line never wraps.
  winsize size{};
  const std::size_t width =
      ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col : kDefaultWidth;
  if (text.size() > width - 1) text.resize(width - 1);
  const std::string line = kErase + text;
  terminal_->sputn(line.data(), static_cast<std::streamsize>(line.size()));
  terminal_->pubsync();
  shown_ = true;
}

}  // namespace quorix
