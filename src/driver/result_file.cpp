#include "driver/result_file.hpp"

#include <stdlib.h>  // mkstemp
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace quorix {

PendingResultFile::PendingResultFile(std::string final_name) : final_name_(std::move(final_name)) {}

PendingResultFile::~PendingResultFile() {
  if (committed_ || temporary_name_.empty()) return;
  out_.close();
  std::remove(temporary_name_.c_str());
}

bool PendingResultFile::create(std::string& error) {
  std::string pattern = final_name_ + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  temporary_name_ = name.data();
  // mkstemp makes the file private to its owner; give it the permissions a
  // newly written file would get.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, static_cast<mode_t>(0666 & ~mask));
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
  return true;
}

}  // namespace quorix
