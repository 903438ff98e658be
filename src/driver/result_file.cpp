#include "driver/result_file.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

namespace quorix {

namespace {

// Temporary names the signal handler removes. A handler may only make
// async-signal-safe calls, so the names sit in fixed storage and a slot is
// marked used only once its name is complete.
constexpr int kSignalSlots = 8;
constexpr std::size_t kSlotLength = 4096;
char pending_names[kSignalSlots][kSlotLength];
std::atomic<bool> pending_used[kSignalSlots];

extern "C" void remove_pending_files(int signal_number) {
  for (int slot = 0; slot < kSignalSlots; ++slot)
    if (pending_used[slot].load()) unlink(pending_names[slot]);
  // The handler was reset on entry and the signal is blocked until it
  // returns: it then ends the process as it would have without us.
  raise(signal_number);
}

// The signals that end the process by default and can be caught: those
// sent from outside (Ctrl-C and Ctrl-\ in a terminal, kill, a batch system's time or file
// size limits, timers) and those of a fault. SIGPIPE is not among them: a
// closed standard output does not stop a run.
constexpr int kEndingSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
    SIGXFSZ,   SIGABRT, SIGIO,   SIGSYS,  SIGTRAP, SIGILL,  SIGBUS,  SIGFPE,    SIGSEGV,
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// The signals that come from outside, blocked while a temporary file is made.
sigset_t outside_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : kEndingSignals)
    if (signal_number != SIGILL && signal_number != SIGBUS && signal_number != SIGFPE &&
        signal_number != SIGSEGV && signal_number != SIGTRAP && signal_number != SIGSYS)
      sigaddset(&set, signal_number);
  return set;
}

void remove_pending_files_on_signals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (const int signal_number : kEndingSignals) {
    // A signal ignored on purpose (as under nohup) stays ignored, and one
    // another part of the process handles (a debugging tool's fault
    // handler) stays with it.
    struct sigaction current {};
    sigaction(signal_number, nullptr, &current);
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = remove_pending_files;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(signal_number, &action, nullptr);
  }
}

int claim_signal_slot(const std::string& name) {
  if (name.size() >= kSlotLength) return -1;
  for (int slot = 0; slot < kSignalSlots; ++slot) {
    if (pending_used[slot].load()) continue;
    std::memcpy(pending_names[slot], name.c_str(), name.size() + 1);
    pending_used[slot].store(true);
    return slot;
  }
  return -1;
}

void release_signal_slot(int& slot) {
  if (slot >= 0) pending_used[slot].store(false);
  slot = -1;
}

// A hidden name beside `final_name` whose last component is no longer than
// the final one's: ".plate~Ab3dE9" for "plate.dat.out". Very short names get
// what randomness fits, or a longer name when not even that does.
std::string temporary_name_for(const std::string& final_name, std::mt19937_64& random) {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  auto random_chars = [&](std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += kChars[random() % (sizeof kChars - 1)];
    return text;
  };
  const std::size_t slash = final_name.rfind('/');
  const std::size_t base_start = slash == std::string::npos ? 0 : slash + 1;
  const std::string folder = final_name.substr(0, base_start);
  const std::string base = final_name.substr(base_start);
  if (base.size() >= 8) return folder + "." + base.substr(0, base.size() - 8) + "~" + random_chars(6);
  if (base.size() >= 2) return folder + "." + random_chars(base.size() - 1);
  return folder + "." + base + "~" + random_chars(6);
}

}  // namespace

PendingResultFile::PendingResultFile(std::string final_name) : final_name_(std::move(final_name)) {}

PendingResultFile::~PendingResultFile() {
  if (committed_ || temporary_name_.empty()) return;
  out_.close();
  std::remove(temporary_name_.c_str());
  release_signal_slot(signal_slot_);
}

bool PendingResultFile::create(std::string& error) {
  remove_pending_files_on_signals();
  std::mt19937_64 random(std::random_device{}() ^ static_cast<std::uint64_t>(getpid()));
  // The signals wait while the file is made and its name recorded, so that
  // none can come between the two.
  const sigset_t stopping = outside_signals();
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &stopping, &before);
  int fd = -1;
  std::string name;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    name = temporary_name_for(final_name_, random);
    // The mode is what any newly written file gets (the umask applies).
    fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  const int open_error = errno;
  if (fd >= 0) {
    temporary_name_ = name;
    signal_slot_ = claim_signal_slot(temporary_name_);
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (fd < 0) {
    error = std::strerror(open_error);
    return false;
  }
  close(fd);
  out_.open(temporary_name_, std::ios::binary | std::ios::trunc);
  if (!out_) {
    error = "cannot open " + temporary_name_;
    return false;
  }
  return true;
}

bool PendingResultFile::commit(std::string& error) {
  errno = 0;
  out_.flush();
  const bool written = static_cast<bool>(out_);
  out_.close();
  if (!written || out_.fail()) {
    error = errno != 0 ? std::strerror(errno) : "writing failed";
    return false;
  }
  if (std::rename(temporary_name_.c_str(), final_name_.c_str()) != 0) {
    error = std::strerror(errno);
    return false;
  }
  committed_ = true;
  release_signal_slot(signal_slot_);
  return true;
}

void keep_running_without_console() { std::signal(SIGPIPE, SIG_IGN); }

bool result_file_replaceable(const std::string& name, std::string& error) {
  struct stat status {};
  if (stat(name.c_str(), &status) != 0) return true;  // nothing there to replace
  if (!S_ISREG(status.st_mode)) {
    error = "it exists and is not a regular file";
    return false;
  }
  if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(name.c_str(), W_OK) != 0) {
    error = "it exists and is read-only; make it writable or remove it to replace it";
    return false;
  }
  return true;
}

}  // namespace quorix
