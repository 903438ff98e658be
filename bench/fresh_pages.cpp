// What memory costs on first touch on this machine: a run's large arrays are
// fresh pages from the system, which clears each one when it is first
// written. Maps `gib` GiB in huge pages (or in ordinary 4 KiB pages with
// `small`), writes it once (the first touch), writes it again (memory already
// given), and gives it back; repeated, since the first round may also pay for
// memory the machine has not handed to the process's system yet. A pause
// between rounds shows how long memory given back stays cheap to take again
// (a virtual machine may hand it back to its host after a while).
//
//   fresh_pages [gib] [rounds] [huge|small] [pause seconds]

#include <sys/mman.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
  const double gib = argc > 1 ? std::atof(argv[1]) : 1.0;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const bool huge = argc <= 3 || std::strcmp(argv[3], "small") != 0;
  const double pause = argc > 4 ? std::atof(argv[4]) : 0.0;
  const auto bytes = static_cast<std::size_t>(gib * (1 << 30));
  using clock = std::chrono::steady_clock;
  for (int round = 1; round <= rounds; ++round) {
    if (round > 1) std::this_thread::sleep_for(std::chrono::duration<double>(pause));
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
      std::perror("mmap");
      return 1;
    }
    if (huge) madvise(memory, bytes, MADV_HUGEPAGE);
    const auto start = clock::now();
    std::memset(memory, 1, bytes);
    const auto touched = clock::now();
    std::memset(memory, 2, bytes);
    const auto again = clock::now();
    munmap(memory, bytes);
    std::printf("round %d: first touch %.3f s/GiB, written again %.3f s/GiB\n", round,
                std::chrono::duration<double>(touched - start).count() / gib,
                std::chrono::duration<double>(again - touched).count() / gib);
  }
  return 0;
}
