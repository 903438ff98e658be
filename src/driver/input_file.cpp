#include "driver/input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorix {

bool read_whole_file(const std::string& name, std::string& text, std::string& error) {
  const int fd = open(name.c_str(), O_RDONLY);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  struct stat status {};
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
    text.reserve(static_cast<std::size_t>(status.st_size));
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      close(fd);
      return false;
    }
    text.append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  return true;
}

}  // namespace quorix
