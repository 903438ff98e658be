#pragma once
// How many threads the program works with: by default one for every CPU the
// process may run on (its affinity mask), or the number the environment
// variable QUORIX_THREADS gives.

#include <iosfwd>

namespace quorix {

// The thread count for a value of QUORIX_THREADS (null when unset): a whole
// number from 1 to max_threads, blanks around it allowed. Anything else
// writes one line about it to `warnings` and gives `fallback`.
inline constexpr int max_threads = 256;
int thread_count_setting(const char* value, int fallback, std::ostream& warnings);

// CPUs in the process's affinity mask, from 1 to max_threads.
int affinity_cpu_count();

}  // namespace quorix
