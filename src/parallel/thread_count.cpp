#include "parallel/thread_count.hpp"

#include <sched.h>

#include <cctype>
#include <cstdlib>
#include <ostream>
#include <string>

namespace quorix {

int affinity_cpu_count() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  const int count = CPU_COUNT(&set);
  return count < 1 ? 1 : count > max_threads ? max_threads : count;
}

int thread_count_setting(const char* value, int fallback, std::ostream& warnings) {
  if (value == nullptr) return fallback;
  std::string text(value);
  const auto first = text.find_first_not_of(" \t");
  const auto last = text.find_last_not_of(" \t");
  text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  bool digits = !text.empty() && text.size() <= 9;
  for (char c : text) digits = digits && std::isdigit(static_cast<unsigned char>(c));
  const long count = digits ? std::strtol(text.c_str(), nullptr, 10) : 0;
  if (count >= 1 && count <= max_threads) return static_cast<int>(count);
  warnings << "quorix: QUORIX_THREADS=\"" << value << "\" is not a whole number from 1 to " << max_threads
           << "; using " << fallback << " thread" << (fallback == 1 ? "" : "s") << '\n';
  return fallback;
}

}  // namespace quorix
