#pragma once
// How many threads the program works with: by default one for every CPU the
// process may run on (its affinity mask), or the number the environment
// variable QUORIX_THREADS gives.

#include <iosfwd>

namespace quorix {

// CPUs in the process's affinity mask (at least 1).
int affinity_cpu_count();

// The thread count for a value of QUORIX_THREADS (null when unset): a whole
// number from 1 to max_threads, blanks around it allowed. Anything else
// writes one line about it to `warnings` and gives `fallback`.
inline constexpr int max_threads = 256;
int thread_count_setting(const char* value, int fallback, std::ostream& warnings);

}  // namespace quorix
