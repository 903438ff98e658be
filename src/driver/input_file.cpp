#include "driver/input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sparse/large_memory.hpp"

namespace quorix {

bool read_whole_file(const std::string& name, std::string& text, std::string& error) {
  const int fd = open(name.c_str(), O_RDONLY);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  // Read straight into the text, sized one beyond the file so that the read
  // that finds its end needs no more room; a file that grows meanwhile is
  // read on to its end.
  struct stat status {};
  std::size_t size = 0;
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
    size = static_cast<std::size_t>(status.st_size);
  const std::size_t room = std::max<std::size_t>(size + 1, 1 << 16);
  text.reserve(room);
  advise_huge_pages(text.data(), text.capacity());
  text.resize(room);
  std::size_t filled = 0;
  for (;;) {
    if (filled == text.size()) text.resize(2 * text.size());
    const ssize_t n = read(fd, text.data() + filled, text.size() - filled);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      close(fd);
      text.clear();
      return false;
    }
    filled += static_cast<std::size_t>(n);
  }
  text.resize(filled);
  close(fd);
  return true;
}

}  // namespace quorix
